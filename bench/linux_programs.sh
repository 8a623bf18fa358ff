# Sourced by the shell benches that drive the linux build's velkarin and
# velkarin-devsim (not a bench itself: scripts/run-bench.sh runs only the
# executable ones). Sets root, build, cli and devsim.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VELKARIN_BENCH_LINUX_BUILD:-$root/build/linux}
cli=$build/tools/cli/velkarin
devsim=$build/tools/devsim/velkarin-devsim
bench_name=$(basename "$0" .sh)

# Ends the bench unless it runs inside scripts/netns-run.sh.
bench_require_netns() {
  if [ "${VELKARIN_IN_NETNS:-}" != 1 ]; then
    echo "$bench_name: runs only inside scripts/netns-run.sh" >&2
    exit 1
  fi
}

# Skips the bench (status 0) when velkarin or velkarin-devsim is not built.
bench_require_programs() {
  for f in "$cli" "$devsim"; do
    [ -x "$f" ] || { echo "$bench_name: skipped, $f is not built"; exit 0; }
  done
}
