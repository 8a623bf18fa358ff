#!/usr/bin/env bash
# Discovery on three interfaces against discovery on one: the scan sends out
# of all of them at once, so three should cost hardly more than one. Builds
# its three segments in namespaces of its own (tests/support/segments.sh
# states the network rule). Alternating runs; medians. Target <= 1.05.
source "$(dirname "$0")/linux_programs.sh"
source "$root/tests/support/segments.sh"
bench_require_programs
segments_enter "$0" "$@"
set -uo pipefail
runs=${RUNS:-7}
for n in 1 2 3; do
  segments_add "$n" "10.71.$n.2/24"
  segments_spawn "$n" "$devsim" --device "serial=${n}00,ip=10.71.$n.2,netmask=255.255.255.0" \
    --output /dev/null
done
segments_default_route 1
# Measured once every segment answers.
for _ in $(seq 50); do
  [ "$("$cli" list --json 2>/dev/null | jq length)" = 3 ] && break
  sleep 0.2
done

timed() {
  local start end count
  start=$(date +%s%N)
  count=$("$cli" list --json "$@" | jq length)
  end=$(date +%s%N)
  echo "$(((end - start) / 1000000)) $count"
}
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
three=()
one=()
for _ in $(seq "$runs"); do
  read -r ms count < <(timed)
  [ "$count" = 3 ] || { echo "NOT met: three interfaces listed $count devices"; exit 1; }
  three+=("$ms")
  read -r ms count < <(timed --interface vh1)
  [ "$count" = 1 ] || { echo "NOT met: one interface listed $count devices"; exit 1; }
  one+=("$ms")
done
t=$(printf '%s\n' "${three[@]}" | median)
o=$(printf '%s\n' "${one[@]}" | median)
awk -v a="$t" -v b="$o" 'BEGIN { r = a / b;
  printf "three interfaces / one interface           %6d ms / %6d ms = %.3f (target <= 1.05): %s\n",
  a, b, r, (r <= 1.05) ? "met" : "NOT met" }'
