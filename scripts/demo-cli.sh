#!/usr/bin/env bash
# The command-line tool's part of the demo, against the fleet that answers on
# UDP port 8001: velkarin list, velkarin set on one device, velkarin list again.
#   sourced by scripts/demo.sh, which calls: demo_cli PATH/TO/velkarin
#   run alone: scripts/demo-cli.sh    starts the demo fleet itself, in a private
#                                     network namespace (VELKARIN_DEMO_LINUX_BUILD
#                                     picks another build folder than build/linux)

demo_cli() {
  local cli=$1
  echo "== velkarin list"
  "$cli" list || return $?
  echo "== velkarin set 0042F0 --ip 172.20.5.10 --netmask 255.255.255.0 --gateway 172.20.5.1"
  "$cli" set 0042F0 --ip 172.20.5.10 --netmask 255.255.255.0 --gateway 172.20.5.1 || return $?
  echo "== velkarin list (Lab-Bench has its new address)"
  "$cli" list || return $?
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  root=$(cd "$(dirname "$0")/.." && pwd)
  if [ "${VELKARIN_IN_NETNS:-}" != 1 ]; then
    exec "$root/scripts/netns-run.sh" "$0" "$@"
  fi
  linux_build=${VELKARIN_DEMO_LINUX_BUILD:-$root/build/linux}
  cli=$linux_build/tools/cli/velkarin
  devsim=$linux_build/tools/devsim/velkarin-devsim
  for f in "$cli" "$devsim"; do
    [ -x "$f" ] || { echo "demo: $f is missing; build the linux preset first" >&2; exit 1; }
  done
  source "$root/scripts/devsim.sh"
  devsim_dir=$(mktemp -d)
  trap 'devsim_stop; rm -rf "$devsim_dir"' EXIT
  echo "== simulated fleet on UDP port 8001 (private network namespace)"
  devsim_start fleet "$devsim" --config "$root/scripts/demo-fleet.json" || exit 1
  demo_cli "$cli"
fi
