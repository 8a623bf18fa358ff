#!/usr/bin/env bash
# Runs ctest for each preset given; for the fuzz preset, a short run of every
# fuzz target. Called inside scripts/netns-run.sh.
set -uo pipefail
cd "$(dirname "$0")/.."
failed=()
for preset in "$@"; do
  echo "== tests: $preset"
  if [ "$preset" = fuzz ]; then
    scripts/run-fuzz.sh smoke || failed+=("$preset")
    continue
  fi
  if ! ctest --preset "$preset" -j2; then
    failed+=("$preset")
  fi
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "FAILED presets: ${failed[*]}"
  exit 1
fi
echo "all presets passed: $*"
