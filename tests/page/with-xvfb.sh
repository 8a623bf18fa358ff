#!/usr/bin/env bash
# Runs a command on a virtual display of its own: starts Xvfb (picking a free
# display), sets DISPLAY, and stops Xvfb afterwards.
#   tests/page/with-xvfb.sh COMMAND [ARGS...]
set -euo pipefail
# Inside a test run that has started a display for all its programs.
if [ "${VELKARIN_SHARED_DISPLAY:-}" = 1 ] && [ -n "${DISPLAY:-}" ]; then
  exec "$@"
fi
source "$(cd "$(dirname "$0")" && pwd)/../../scripts/xvfb.sh"
work=$(mktemp -d)
cleanup() { xvfb_stop; rm -rf "$work"; }
trap cleanup EXIT
xvfb_start "$work" || exit 1
status=0
"$@" || status=$?
exit $status
