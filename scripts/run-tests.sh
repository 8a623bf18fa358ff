#!/usr/bin/env bash
# Runs ctest for each preset given. Called inside scripts/netns-run.sh.
set -uo pipefail
cd "$(dirname "$0")/.."
failed=()
for preset in "$@"; do
  echo "== tests: $preset"
  if ! ctest --preset "$preset" -j2; then
    failed+=("$preset")
  fi
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "FAILED presets: ${failed[*]}"
  exit 1
fi
echo "all presets passed: $*"
