# Sourced by the shell benches that drive the linux build's velkarin and
# velkarin-devsim (not a bench itself: scripts/run-bench.sh runs only the
# executable ones). Sets root, build, cli and devsim, and brings the
# simulator's library (scripts/devsim.sh).
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VELKARIN_BENCH_LINUX_BUILD:-$root/build/linux}
cli=$build/tools/cli/velkarin
devsim=$build/tools/devsim/velkarin-devsim
bench_name=$(basename "$0" .sh)
source "$root/scripts/devsim.sh"

# Ends the bench unless it runs inside scripts/netns-run.sh.
bench_require_netns() { devsim_require_netns "$bench_name"; }

# Skips the bench (status 0) when velkarin or velkarin-devsim is not built.
bench_require_programs() {
  for f in "$cli" "$devsim"; do
    [ -x "$f" ] || { echo "$bench_name: skipped, $f is not built"; exit 0; }
  done
}

# The common start of a bench that drives simulators: inside the namespace,
# both programs built, runs=${RUNS:-DEFAULT_RUNS}, a folder $work that the
# simulators use as well, and an EXIT trap that runs CLEANUP (if given), ends
# the simulators and removes $work.
#   bench_start DEFAULT_RUNS [CLEANUP]
bench_start() {
  bench_require_netns
  bench_require_programs
  runs=${RUNS:-$1}
  work=$(mktemp -d)
  devsim_dir=$work
  trap "${2:+$2; }devsim_stop; rm -rf \"\$work\"" EXIT
}
