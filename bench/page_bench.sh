#!/usr/bin/env bash
# Figures of the page under Wine (32-bit build): first rows after the engine's
# first publish, rebuild of 200 rows, module size. Runs inside the private
# namespace (make bench); needs the linux and win32 builds.
#   VELKARIN_BENCH_WIN_BUILD / VELKARIN_BENCH_LINUX_BUILD pick other folders.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
win_build=${VELKARIN_BENCH_WIN_BUILD:-$root/build/win32}
linux_build=${VELKARIN_BENCH_LINUX_BUILD:-$root/build/linux}
bench=$win_build/tests/page/page_bench.exe
dll=$win_build/src/entry/Velkarin.dll
devsim=$linux_build/tools/devsim/velkarin-devsim
source "$root/scripts/devsim.sh"
devsim_require_netns page_bench
for f in "$bench" "$dll" "$devsim"; do
  if [ ! -e "$f" ]; then
    echo "page_bench: skipped, $f is not built (make build-win32 build-linux)"
    exit 0
  fi
done
devsim_dir=$(mktemp -d)
trap 'devsim_stop; rm -rf "$devsim_dir"' EXIT
devsim_start fleet "$devsim" --fleet 200 || exit 1
# Wine's session ends before the virtual display does, as in scripts/demo.sh:
# its programs would report the display going away ("X connection broken").
# shellcheck disable=SC2016
VELKARIN_DLL="Z:$dll" "$root/tests/page/with-xvfb.sh" bash -c \
  'status=0; "$@" || status=$?; "$0" kill win32 >/dev/null 2>&1; exit $status' \
  "$root/scripts/wine-prefix.sh" "$root/scripts/wine-run.sh" win32 "$bench" "$@"
