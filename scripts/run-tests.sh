#!/usr/bin/env bash
# Runs ctest for each preset given; for the fuzz preset, a short run of every
# fuzz target. Called inside scripts/netns-run.sh. Each preset's results also
# go to $VELKARIN_JUNIT_DIR/PRESET.xml (JUnit), when that is set.
set -uo pipefail
cd "$(dirname "$0")/.."
failed=()

# Every Windows program of a run shares one virtual display: Wine binds its
# desktop process to the display of the first program that opens a window,
# and a display that went away with one test would break the next.
case " $* " in
  *" win"*)
    if [ "${VELKARIN_SHARED_DISPLAY:-}" != 1 ]; then
      exec tests/page/with-xvfb.sh env VELKARIN_SHARED_DISPLAY=1 "$0" "$@"
    fi
    ;;
esac
for preset in "$@"; do
  echo "== tests: $preset"
  if [ "$preset" = fuzz ]; then
    FUZZ_JUNIT=${VELKARIN_JUNIT_DIR:+$VELKARIN_JUNIT_DIR/fuzz.xml} scripts/run-fuzz.sh smoke ||
      failed+=("$preset")
    continue
  fi
  case $preset in
    win32 | win64)
      # Start the Wine session before the tests, persistent and with its
      # output elsewhere: the services that the first Wine program starts
      # inherit its output, and ctest would wait for them to end.
      scripts/wine-prefix.sh ensure "$preset"
      (
        export WINEPREFIX=$(scripts/wine-prefix.sh path "$preset") WINEDEBUG=-all
        wineserver -p
        timeout 120 wine cmd /c exit
      ) </dev/null >/dev/null 2>&1
      ;;
  esac
  filter=()
  # The thread sanitizer is for the code with threads of its own; the tools'
  # suites gain nothing from it and would only double their time (apply's
  # threads have net_cli_apply).
  [ "$preset" = linux-tsan ] && filter=(-E '^net_cli_[0-9]+$')
  junit=()
  [ -n "${VELKARIN_JUNIT_DIR:-}" ] && junit=(--output-junit "$VELKARIN_JUNIT_DIR/$preset.xml")
  # The tests mostly wait on the network's and the page's timers, and those
  # that use the devices' port have a namespace each: four at a time.
  if ! ctest --preset "$preset" -j4 "${filter[@]}" "${junit[@]}"; then
    failed+=("$preset")
  fi
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "FAILED presets: ${failed[*]}"
  exit 1
fi
echo "all presets passed: $*"
