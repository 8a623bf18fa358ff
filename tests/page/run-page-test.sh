#!/usr/bin/env bash
# Runs one page test program under Wine on a virtual display of its own.
#   run-page-test.sh win32|win64 PROGRAM.exe [ARGS...]
# A Wine program that dies without a word can still end with status 0, so the
# run counts only when Google Test reported its end.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
arch=$1
shift
log=$(mktemp)
trap 'rm -f "$log"' EXIT
"$here/with-xvfb.sh" "$here/../../scripts/wine-run.sh" "$arch" "$@" 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
if [ "$status" -eq 0 ] && ! grep -q '^\[  PASSED  \]' "$log"; then
  echo "run-page-test: the program ended before reporting its tests" >&2
  status=1
fi
exit "$status"
