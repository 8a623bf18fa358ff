#!/usr/bin/env bash
# velkarin apply: a plan of 50 devices against a plan of one, side by side in
# one run against the same simulator. Each run gives every device a new
# address, so that every row is configured and verified, none skipped as done.
# Runs inside the private namespace (make bench); needs the linux build.
set -uo pipefail
source "$(dirname "$0")/linux_programs.sh"
bench_start 3
# Device 100000 is the one-device plan's; 100001 to 100032 (hex) the fifty.
devsim_start fleet "$devsim" --fleet 51 --log "$work/log" || exit 1

# plan FILE RUN FIRST COUNT: COUNT devices from 100000+FIRST, run RUN's addresses.
plan() {
  {
    echo "serial,ip,netmask,gateway"
    for i in $(seq "$3" $(($3 + $4 - 1))); do
      printf '%X,10.%d.0.%d,255.255.0.0,10.%d.255.254\n' $((0x100000 + i)) $((10 + $2)) $((i + 1)) $((10 + $2))
    done
  } >"$1"
}
apply_ms() {
  local start end
  start=$(date +%s%N)
  "$cli" apply "$1" --yes --quiet >"$work/out" 2>&1
  local status=$?
  end=$(date +%s%N)
  if [ $status -ne 0 ]; then
    echo "apply_bench: $1 failed (exit $status):" >&2
    cat "$work/out" >&2
    return 1
  fi
  echo $(((end - start) / 1000000))
}

printf '%-4s %12s %12s %8s\n' run "1 device ms" "50 devices ms" ratio
sum1=0
sum50=0
for r in $(seq "$runs"); do
  plan "$work/one.csv" "$r" 0 1
  plan "$work/fifty.csv" "$r" 1 50
  one=$(apply_ms "$work/one.csv") || exit 1
  fifty=$(apply_ms "$work/fifty.csv") || exit 1
  grep -c configured "$work/out" | grep -qx 50 || { echo "apply_bench: not all 50 configured"; cat "$work/out"; exit 1; }
  printf '%-4s %12d %12d %8s\n' "$r" "$one" "$fifty" "$(awk -v a="$fifty" -v b="$one" 'BEGIN{printf "%.2f", a/b}')"
  sum1=$((sum1 + one))
  sum50=$((sum50 + fifty))
done
ratio=$(awk -v a="$sum50" -v b="$sum1" 'BEGIN{printf "%.2f", a/b}')
verdict=$(awk -v r="$ratio" 'BEGIN{print (r <= 3.0) ? "met" : "NOT met"}')
echo "velkarin apply: 50 devices take ${ratio}x the time of 1 (target: at most 3x): $verdict"
