#!/usr/bin/env bash
# Every suite of `make test`, after the builds, in lanes side by side, each in a
# private network namespace of its own (its own port 8001 and wineservers),
# and the static analysis beside them. Prints each lane's log in full, then one
# closing count.
set -uo pipefail
cd "$(dirname "$0")/.."
logs=build/test-logs
mkdir -p "$logs"
rm -f "$logs"/*.log "$logs"/*.xml
# Each preset's results as JUnit, for the closing count.
export VELKARIN_JUNIT_DIR=$PWD/$logs

# Lanes side by side, each in a namespace of its own: the Linux presets one
# after the other, the fuzz smoke runs, and each Windows preset (with its own
# Wine prefix and display). Their tests mostly wait on the network's timers.
lanes=() linux_presets=()
for p in "$@"; do
  case $p in
    win* | fuzz) lanes+=("$p") ;;
    *) linux_presets+=("$p") ;;
  esac
done
[ ${#linux_presets[@]} -ne 0 ] && lanes=(linux "${lanes[@]}")

status=0
pids=()
# The static analysis needs the processors, which the tests leave mostly idle:
# it runs beside them, yielding to them whenever they want one.
nice -n 19 scripts/run-static-analysis.sh >"$logs/static-analysis.log" 2>&1 &
analysis=$!
for lane in "${lanes[@]}"; do
  presets=("$lane")
  [ "$lane" = linux ] && presets=("${linux_presets[@]}")
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
wait "$analysis" || status=1
cat "$logs/static-analysis.log"

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
