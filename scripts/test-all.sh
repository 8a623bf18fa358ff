#!/usr/bin/env bash
# Everything of `make test`: builds the presets given and runs their suites
# in lanes side by side, each lane in a private network namespace of its own;
# beside them the static analysis and the release check. Prints each lane's
# log in full, then one closing count.
#   scripts/test-all.sh PRESET...   (linux, linux-asan, linux-tsan, win32,
#                                    win64, fuzz)
# The Windows lane starts first: its tests wait on Wine and on the page's and
# the network's timers rather than on the processor, so it runs beside the
# Linux builds. The analysis and the release check only use the processor and
# run niced, so that the tests' timers keep their time.
set -uo pipefail
cd "$(dirname "$0")/.."
logs=build/test-logs
mkdir -p "$logs"
rm -f "$logs"/*.log "$logs"/*.xml
# Each preset's results as JUnit, for the closing count.
export VELKARIN_JUNIT_DIR=$PWD/$logs

linux_presets=() windows_presets=() fuzz=()
for p in "$@"; do
  case $p in
    win*) windows_presets+=("$p") ;;
    fuzz) fuzz=(fuzz) ;;
    *) linux_presets+=("$p") ;;
  esac
done

status=0
build() {
  for preset in "$@"; do
    echo "== build: $preset"
    cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -- --no-print-directory -s ||
      return 1
  done
}
nice_build() { (renice -n 10 $BASHPID >/dev/null && build "$@"); }
pids=() names=()
# lane NAME COMMAND...: in the background, its output in $logs/NAME.log.
lane() {
  local name=$1
  shift
  "$@" >"$logs/$name.log" 2>&1 &
  pids+=($!) names+=("$name")
}

# The analysis reads the compile databases alone, so it starts first, beside
# the builds, at the lowest priority.
for preset in linux "${windows_presets[@]}"; do
  cmake --preset "$preset" >/dev/null || status=1
done
lane analysis nice -n 19 scripts/run-static-analysis.sh

# The Windows tests start the Linux simulator (its preset configured above).
if [ ${#windows_presets[@]} -ne 0 ]; then
  if cmake --build --preset linux --target velkarin-devsim -- -s && build "${windows_presets[@]}"; then
    # Wine's clock is kept by its server: a server that waits for the
    # processor lets every Wine program's clock lag. As root, the lane goes
    # before the builds beside it.
    lane windows nice -n -10 scripts/netns-run.sh scripts/run-tests.sh "${windows_presets[@]}"
  else
    status=1
  fi
fi
# Built beside the Windows lane, niced so that Wine keeps its time; a lane
# each, as their suites mostly wait on the network's timers.
for preset in "${linux_presets[@]}"; do
  if nice_build "$preset"; then
    lane "$preset" scripts/netns-run.sh scripts/run-tests.sh "$preset"
  else
    status=1
  fi
done
if [ ${#fuzz[@]} -ne 0 ]; then
  if nice_build fuzz; then
    lane fuzz scripts/netns-run.sh scripts/run-tests.sh fuzz
  else
    status=1
  fi
fi
lane release nice -n 19 scripts/dist/check.sh

for i in "${!pids[@]}"; do
  wait "${pids[$i]}" || status=1
done
for name in "${names[@]}"; do
  echo "==================== $name"
  cat "$logs/$name.log"
done

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
