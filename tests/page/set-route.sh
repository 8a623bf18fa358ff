#!/bin/sh
# Takes away or gives back the default route of the private network namespace
# that the page tests run in, as a network that fails would:
#   set-route.sh down|up DONE-FILE
# Writes DONE-FILE once the route is as asked. Refuses anywhere but in a
# namespace with loopback alone, so it can never touch a real network.
set -eu
PATH=/usr/sbin:/sbin:$PATH
if ip -o link show | awk -F': ' '{print $2}' | grep -vqx lo; then
  echo "set-route: not in a private network namespace; refusing" >&2
  exit 1
fi
case "${1:-}" in
  down) ip route del default 2>/dev/null || true ;;
  up) ip route replace default dev lo src 127.0.0.1 ;;
  *) echo "usage: $0 down|up DONE-FILE" >&2; exit 2 ;;
esac
echo "$1" > "$2"
