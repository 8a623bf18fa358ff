# shellcheck shell=bash
# Sourced by scripts and tests: a virtual display of their own. X's socket
# belongs to the network namespace it was made in, so a script that runs in a
# namespace of its own starts its display there.
#
#   source scripts/xvfb.sh
#   xvfb_start DIR   # starts Xvfb on a free display and exports DISPLAY;
#                    # returns 1, Xvfb's output on stderr, when it does not
#                    # come up within 10 s
#   xvfb_pid         # its process, once started
#   xvfb_stop        # ends it
#
# The caller calls xvfb_stop, usually from its EXIT trap.

source "$(dirname "${BASH_SOURCE[0]}")/await-start.sh"

xvfb_pid=

xvfb_start() {
  local dir=$1
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
  xvfb_pid=$!
  await_start "$xvfb_pid" "$dir/display" "$dir/xvfb.log" Xvfb 10 || return 1
  DISPLAY=":$(head -n1 "$dir/display")"
  export DISPLAY
}

xvfb_stop() {
  [ -n "$xvfb_pid" ] || return 0
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=
}
