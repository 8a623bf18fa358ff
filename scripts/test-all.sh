#!/usr/bin/env bash
# Every suite of `make test`, after the builds, in lanes side by side, each in a
# private network namespace of its own (its own port 8001 and wineservers);
# then the static analysis. Prints each lane's log in full, then one closing
# count.
set -uo pipefail
cd "$(dirname "$0")/.."
logs=build/test-logs
mkdir -p "$logs"
rm -f "$logs"/*.log "$logs"/*.xml
# Each preset's results as JUnit, for the closing count.
export VELKARIN_JUNIT_DIR=$PWD/$logs

# Lanes side by side, each in a namespace of its own: the Linux presets, the
# fuzz smoke runs, and the Windows presets one after the other: with a Wine lane
# for each, the page tests of one lost their network in one run, for a cause
# not yet found.
lanes=() linux_presets=() windows_presets=()
for p in "$@"; do
  case $p in
    win*) windows_presets+=("$p") ;;
    fuzz) lanes+=("$p") ;;
    *) linux_presets+=("$p") ;;
  esac
done
[ ${#linux_presets[@]} -ne 0 ] && lanes=(linux "${lanes[@]}")
[ ${#windows_presets[@]} -ne 0 ] && lanes+=(windows)

status=0
pids=()
for lane in "${lanes[@]}"; do
  presets=("$lane")
  [ "$lane" = linux ] && presets=("${linux_presets[@]}")
  [ "$lane" = windows ] && presets=("${windows_presets[@]}")
  scripts/netns-run.sh scripts/run-tests.sh "${presets[@]}" >"$logs/$lane.log" 2>&1 &
  pids+=($!)
done
for pid in "${pids[@]}"; do
  wait "$pid" || status=1
done
for lane in "${lanes[@]}"; do
  echo "==================== $lane tests"
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
