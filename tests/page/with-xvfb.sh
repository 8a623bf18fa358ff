#!/usr/bin/env bash
# Runs a command on a virtual display of its own: starts Xvfb (picking a free
# display), sets DISPLAY, and stops Xvfb afterwards.
#   tests/page/with-xvfb.sh COMMAND [ARGS...]
set -euo pipefail
# Inside a test run that has started a display for all its programs.
if [ "${VELKARIN_SHARED_DISPLAY:-}" = 1 ] && [ -n "${DISPLAY:-}" ]; then
  exec "$@"
fi
work=$(mktemp -d)
Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
cleanup() { kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb" 2>/dev/null || { cat "$work/xvfb.log" >&2; exit 1; }
  sleep 0.1
done
[ -s "$work/display" ] || { echo "with-xvfb: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"
status=0
"$@" || status=$?
exit $status
