#!/usr/bin/env bash
# Every suite of `make test`, after the builds: the Linux presets and the fuzz
# smoke runs in one private network namespace, the Windows presets under Wine
# in another, side by side (each namespace has its own port 8001 and its own
# wineservers); then the static analysis. Prints each lane's log in full, then
# one closing count.
set -uo pipefail
cd "$(dirname "$0")/.."
logs=build/test-logs
mkdir -p "$logs"
rm -f "$logs"/*.log "$logs"/*.xml
# Each preset's results as JUnit, for the closing count.
export VELKARIN_JUNIT_DIR=$PWD/$logs

linux_presets=() windows_presets=()
for p in "$@"; do
  case $p in
    win*) windows_presets+=("$p") ;;
    *) linux_presets+=("$p") ;;
  esac
done

status=0
pids=()
if [ ${#linux_presets[@]} -ne 0 ]; then
  scripts/netns-run.sh scripts/run-tests.sh "${linux_presets[@]}" \
    >"$logs/linux.log" 2>&1 &
  pids+=($!)
fi
if [ ${#windows_presets[@]} -ne 0 ]; then
  scripts/netns-run.sh scripts/run-tests.sh "${windows_presets[@]}" >"$logs/windows.log" 2>&1 &
  pids+=($!)
fi
for pid in "${pids[@]}"; do
  wait "$pid" || status=1
done
for lane in linux windows; do
  [ -f "$logs/$lane.log" ] || continue
  echo "==================== $lane presets"
  cat "$logs/$lane.log"
done

echo "==================== static analysis"
scripts/run-static-analysis.sh || status=1

# One closing count over every ctest run and fuzz target above, from their
# JUnit results; a preset that left none (it did not get to run) is a failure.
passed=0 failed=0
for preset in "$@"; do
  xml=$logs/$preset.xml
  if [ ! -s "$xml" ]; then
    echo "tests: no results from $preset"
    failed=$((failed + 1))
    continue
  fi
  total=$(xmllint --xpath 'string(/testsuite/@tests)' "$xml")
  bad=$(xmllint --xpath 'string(/testsuite/@failures)' "$xml")
  passed=$((passed + total - bad)) failed=$((failed + bad))
done
[ $status -ne 0 ] && [ $failed -eq 0 ] && failed=1
echo "tests: $passed passed, $failed failed"
exit $status
