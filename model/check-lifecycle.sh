#!/usr/bin/env bash
# Checks the lifecycle model over its whole state space with spin: the sound
# model has no error, and every seeded fault is found, as the kind it is.
# pan runs twice per build: -E counts assertion violations only (a freed engine
# touched, or left unfreed), -A invalid end states only (deadlocks). -b makes a
# search cut short by the depth limit an error too.
set -euo pipefail
model="$(cd "$(dirname "$0")" && pwd)/lifecycle.pml"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# switch  assertions  deadlocks   (0: none may be found, 1: some must be)
cases=(
  "SOUND                            0 0"
  "FAULT_RUNNING_AFTER_THREAD_START 1 0"
  "FAULT_STOP_PLAIN_SLEEP           0 1"
  "FAULT_FREE_WITHOUT_HOLD          1 0"
  "FAULT_NOTIFY_UNDER_LOCK          0 1"
)

# The count of pan's stable "errors: N" line; fails when it is missing.
errors() {
  ./pan -b "$1" >pan.out 2>&1 || true
  sed -n 's/.*errors: \([0-9][0-9]*\).*/\1/p' pan.out | grep . || { cat pan.out >&2; return 1; }
}

status=0
for entry in "${cases[@]}"; do
  read -r switch want_assert want_deadlock <<<"$entry"
  spin -a "-D$switch" "$model" >spin.out || { cat spin.out >&2; exit 1; }
  gcc -DSAFETY -o pan pan.c
  asserts=$(errors -E)
  deadlocks=$(errors -A)
  got_assert=$((asserts > 0))
  got_deadlock=$((deadlocks > 0))
  if [ "$got_assert" = "$want_assert" ] && [ "$got_deadlock" = "$want_deadlock" ]; then
    verdict=ok
  else
    verdict=UNEXPECTED
    status=1
  fi
  echo "$verdict $switch: assertion errors $asserts, invalid end state errors $deadlocks"
done
exit "$status"
