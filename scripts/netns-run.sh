#!/usr/bin/env bash
# Runs a command inside a private network namespace of its own, where a
# broadcast to 255.255.255.255 loops back to this machine and never leaves it.
#   scripts/netns-run.sh COMMAND [ARGS...]
# Wine creates its sockets in the wineserver, so any wineserver of our
# prefixes that runs outside is ended first, and ours is ended afterwards.
# VELKARIN_NETNS_WINE names the prefixes this run owns (default both); runs
# side by side each name their own.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

if [ "${VELKARIN_IN_NETNS:-}" != 1 ]; then
  "$here/wine-prefix.sh" kill ${VELKARIN_NETNS_WINE-win32 win64} || true
  if [ "$(id -u)" -eq 0 ]; then
    exec unshare --net env VELKARIN_IN_NETNS=1 "$0" "$@"
  else
    exec unshare --map-root-user --net env VELKARIN_IN_NETNS=1 "$0" "$@"
  fi
fi

ip link set lo up
ip route add default dev lo src 127.0.0.1
# Refuse to go on anywhere but in a namespace with loopback alone.
if ip -o link show | awk -F': ' '{print $2}' | grep -vqx 'lo'; then
  echo "netns-run: not in a private network namespace; refusing" >&2
  exit 1
fi

status=0
"$@" || status=$?
"$here/wine-prefix.sh" kill ${VELKARIN_NETNS_WINE-win32 win64} || true
exit $status
