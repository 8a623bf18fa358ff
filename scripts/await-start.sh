# shellcheck shell=bash
# Sourced by scripts/devsim.sh and scripts/xvfb.sh: wait for a program started
# in the background to say it is ready.
#
#   await_start PID FILE OUTPUT WHAT SECONDS
#     returns 0 once FILE is not empty; 1, with OUTPUT and "WHAT did not
#     start" on stderr, when PID ends first or SECONDS pass
await_start() {
  local pid=$1 file=$2 output=$3 what=$4 seconds=$5 _
  for _ in $(seq $((seconds * 10))); do
    [ -s "$file" ] && return 0
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  cat "$output" >&2
  echo "$what did not start" >&2
  return 1
}
