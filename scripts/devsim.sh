# shellcheck shell=bash
# Sourced by scripts, benchmarks and tests: start velkarin-devsim in the
# background and wait until its port is bound.
#
#   source scripts/devsim.sh
#   devsim_require_netns NAME         # ends the script unless it runs inside
#                                     # scripts/netns-run.sh
#   devsim_dir=$work                  # where ready files and output go
#   devsim_start NAME PROGRAM ARGS... # returns 1, its output on stderr, when it
#                                     # does not come up within 15 s
#   devsim_port NAME                  # the port it bound (for --port 0)
#   devsim_pid NAME                   # its process
#   devsim_stop                       # ends every simulator started here
#
# The caller calls devsim_stop, usually from its EXIT trap.

devsim_require_netns() {
  [ "${VELKARIN_IN_NETNS:-}" = 1 ] && return 0
  echo "$1: runs only inside scripts/netns-run.sh" >&2
  exit 1
}

source "$(dirname "${BASH_SOURCE[0]}")/await-start.sh"

devsim_dir=${devsim_dir:-}
devsim_pids=()

devsim_start() {
  local name=$1 program=$2
  shift 2
  [ -n "$devsim_dir" ] || devsim_dir=$(mktemp -d)
  "$program" --ready-file "$devsim_dir/$name.ready" "$@" >"$devsim_dir/$name.out" 2>&1 &
  local pid=$!
  devsim_pids+=("$pid")
  echo "$pid" >"$devsim_dir/$name.pid"
  await_start "$pid" "$devsim_dir/$name.ready" "$devsim_dir/$name.out" "the simulator $name" 15
}

devsim_port() { sed -n 's/^port=//p' "$devsim_dir/$1.ready"; }

devsim_pid() { cat "$devsim_dir/$1.pid"; }

devsim_stop() {
  [ ${#devsim_pids[@]} -eq 0 ] && return 0
  kill "${devsim_pids[@]}" 2>/dev/null || true
  wait "${devsim_pids[@]}" 2>/dev/null || true
  devsim_pids=()
  return 0
}
