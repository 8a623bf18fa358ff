# Sourced first by the Wine tests of velkarin.exe against the Linux simulator,
# with the test's name and its own arguments:
#   source tests/support/wine_cli_test.sh NAME win32|win64 path/to/velkarin.exe path/to/velkarin-devsim
# Sets arch, exe, devsim, wine_run (scripts/wine-run.sh) and dir, a fresh
# folder that the simulators use as well; brings scripts/devsim.sh. Ends the
# test outside scripts/netns-run.sh (it sends datagrams) or when the
# simulator is not built; on exit ends the simulators and removes dir.
wine_cli_test=$1
arch=$2
exe=$3
devsim=$4
wine_run=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)/wine-run.sh
source "$(dirname "$wine_run")/devsim.sh"

devsim_require_netns "$wine_cli_test"
if [ ! -x "$devsim" ]; then
  echo "$wine_cli_test: no simulator at $devsim (build the linux preset first)" >&2
  exit 1
fi
dir=$(mktemp -d "/tmp/velkarin-$wine_cli_test.XXXXXX")
devsim_dir=$dir
trap 'devsim_stop; rm -rf "$dir"' EXIT
