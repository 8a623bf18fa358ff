#!/usr/bin/env bash
# Runs a command inside a private network namespace of its own, where a
# broadcast to 255.255.255.255 loops back to this machine and never leaves it.
#   scripts/netns-run.sh [--own] COMMAND [ARGS...]
# --own makes a namespace even inside one: a test that uses the devices' port
# then has it to itself and may run beside the others.
# Wine creates its sockets in the wineserver, so a Wine program must meet a
# wineserver of its own namespace. Each run has a mount namespace of its own
# too, in which scripts/wine-prefix.sh gives the prefixes' server folders a
# private mount: the run's Wine sessions are its own even on prefixes that
# other runs use at the same time. It ends them as it ends.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

if [ "${1:-}" = --own ]; then
  shift
  VELKARIN_IN_NETNS=
  # Wine sessions of its own, so a display of its own (tests/page/with-xvfb.sh).
  unset VELKARIN_SHARED_DISPLAY
fi
if [ "${VELKARIN_IN_NETNS:-}" != 1 ]; then
  run=$$.$(date +%s%N)  # names what this run mounts (scripts/wine-prefix.sh)
  if [ "$(id -u)" -eq 0 ]; then
    exec unshare --net --mount env VELKARIN_IN_NETNS=1 VELKARIN_NETNS_RUN="$run" "$0" "$@"
  else
    exec unshare --map-root-user --net --mount env VELKARIN_IN_NETNS=1 VELKARIN_NETNS_RUN="$run" "$0" "$@"
  fi
fi

ip link set lo up
ip route add default dev lo src 127.0.0.1
# Refuse to go on anywhere but in a namespace with loopback alone. grep reads
# everything (no -q): under pipefail, a writer killed by SIGPIPE after an early
# match would turn the refusal into going on.
if ip -o link show | awk -F': ' '{print $2}' | grep -vx 'lo' >/dev/null; then
  echo "netns-run: not in a private network namespace; refusing" >&2
  exit 1
fi

status=0
"$@" || status=$?
"$here/wine-prefix.sh" kill-all || true
# And any other wineserver started here (a test's prefix of its own).
for pid in $(pgrep -x 'wineserver(64)?' || true); do
  if [ "$(readlink "/proc/$pid/ns/mnt" 2>/dev/null)" = "$(readlink /proc/self/ns/mnt)" ]; then
    kill "$pid" 2>/dev/null || true
  fi
done
exit $status
