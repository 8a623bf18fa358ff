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
rm -f "$logs"/*.log

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
  VELKARIN_NETNS_WINE= scripts/netns-run.sh scripts/run-tests.sh "${linux_presets[@]}" \
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

# One closing count over every ctest run and fuzz target above.
passed=0 failed=0
while read -r total bad; do
  passed=$((passed + total - bad)); failed=$((failed + bad))
done < <(cat "$logs"/*.log | sed -nE 's/.*tests passed, ([0-9]+) tests? failed out of ([0-9]+).*/\2 \1/p')
[ $status -ne 0 ] && [ $failed -eq 0 ] && failed=1
echo "tests: $passed passed, $failed failed"
exit $status
