#!/usr/bin/env bash
# Runs the libFuzzer targets built by the fuzz preset (build/fuzz).
#   scripts/run-fuzz.sh smoke [target...]  each target briefly from its seeds
#                                          (FUZZ_SMOKE_SECONDS, default 8)
#   scripts/run-fuzz.sh long [target...]   each target for FUZZ_SECONDS
#                                          (default 600), or for FUZZ_RUNS
#                                          executions when that is set
# Targets run one after the other, one process each. Inputs that find new
# paths go to build/fuzz/work/<target> (long runs keep them for the next
# run), never into the seeds in fuzz/corpus. An input that fails a check or
# trips a sanitizer is kept as build/fuzz/artifacts/<target>-crash-* and the
# script fails.
set -uo pipefail
cd "$(dirname "$0")/.."

mode=${1:-smoke}
shift || true
build=${FUZZ_BUILD_DIR:-build/fuzz}
case "$mode" in
  smoke) limit=(-max_total_time="${FUZZ_SMOKE_SECONDS:-8}") ;;
  long)
    if [ -n "${FUZZ_RUNS:-}" ]; then
      limit=(-runs="$FUZZ_RUNS")
    else
      limit=(-max_total_time="${FUZZ_SECONDS:-600}")
    fi
    ;;
  *)
    echo "usage: $0 smoke|long [target...]" >&2
    exit 2
    ;;
esac

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for dir in fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi

mkdir -p "$build/artifacts" "$build/logs"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

failed=()
for target in "${targets[@]}"; do
  binary=$build/fuzz/$target
  if [ ! -x "$binary" ]; then
    echo "fuzz: $binary is missing (cmake --preset fuzz && cmake --build --preset fuzz)" >&2
    failed+=("$target")
    continue
  fi
  if [ "$mode" = smoke ]; then
    work=$scratch/$target
  else
    work=$build/work/$target
  fi
  mkdir -p "$work"
  log=$build/logs/$target-$mode.log
  start=$(date +%s)
  "$binary" "${limit[@]}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$target-" "$work" "fuzz/corpus/$target" >"$log" 2>&1
  status=$?
  seconds=$(($(date +%s) - start))
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [ $status -eq 0 ]; then
    printf 'fuzz %-22s %12s executions in %4d s, no fault\n' "$target" "${runs:-?}" "$seconds"
  else
    printf 'fuzz %-22s FAILED after %d s (exit %d), log %s\n' "$target" "$seconds" "$status" "$log"
    grep -E 'check failed|ERROR|SUMMARY|runtime error|Test unit written' -A3 "$log" | head -40
    failed+=("$target")
  fi
done

# The same results as JUnit, for scripts/test-all.sh's count.
if [ -n "${FUZZ_JUNIT:-}" ]; then
  {
    printf '<?xml version="1.0" encoding="UTF-8"?>\n'
    printf '<testsuite name="fuzz-%s" tests="%d" failures="%d">\n' "$mode" "${#targets[@]}" "${#failed[@]}"
    for target in "${targets[@]}"; do
      if [[ " ${failed[*]} " == *" $target "* ]]; then
        printf '  <testcase name="%s"><failure message="see %s"/></testcase>\n' "$target" \
          "$build/logs/$target-$mode.log"
      else
        printf '  <testcase name="%s"/>\n' "$target"
      fi
    done
    printf '</testsuite>\n'
  } >"$FUZZ_JUNIT"
fi

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: FAILED targets: ${failed[*]}"
  exit 1
fi
echo "fuzz: all ${#targets[@]} targets passed ($mode)"
