#!/usr/bin/env bash
# The one-shot scan of `velkarin list` against the engine's cycle, and with a
# thousand devices against one. Runs inside the private namespace (make bench);
# needs the linux build. Each pair is measured in alternating runs; medians.
#   one device:        list / list --cycle            target <= 0.55
#   1000 devices:      list (1000) / list (1)         target <= 1.10, all listed
set -uo pipefail
source "$(dirname "$0")/linux_programs.sh"
bench_start 7
devsim_start one "$devsim" --port 0 --device 'serial=A1B2,name=Bench,ip=10.0.0.5,netmask=255.255.255.0' || exit 1
devsim_start fleet "$devsim" --port 0 --fleet 1000 || exit 1
one=$(devsim_port one)
fleet=$(devsim_port fleet)

# Milliseconds of one run; the listing's device count goes to $work/count.
timed() {
  local start end
  start=$(date +%s%N)
  "$cli" list --json "$@" >"$work/json" 2>"$work/err" || { cat "$work/err" >&2; return 1; }
  end=$(date +%s%N)
  jq length "$work/json" >"$work/count"
  echo $(((end - start) / 1000000))
}
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

: >"$work/scan1"; : >"$work/cycle1"; : >"$work/scan1000"
fleetCounts=""
for _ in $(seq "$runs"); do
  timed --interface lo --broadcast "255.255.255.255:$one" >>"$work/scan1" || exit 1
  timed --cycle --broadcast "255.255.255.255:$one" >>"$work/cycle1" || exit 1
  timed --interface lo --broadcast "255.255.255.255:$fleet" >>"$work/scan1000" || exit 1
  fleetCounts="$fleetCounts $(cat "$work/count")"
done
s1=$(median <"$work/scan1")
c1=$(median <"$work/cycle1")
s1000=$(median <"$work/scan1000")
report() {  # label numerator denominator target
  awk -v l="$1" -v a="$2" -v b="$3" -v t="$4" 'BEGIN {
    r = a / b; printf "%-44s %6d ms / %6d ms = %.3f (target <= %.2f): %s\n", l, a, b, r, t,
    (r <= t) ? "met" : "NOT met" }'
}
report "one device: scan / engine cycle" "$s1" "$c1" 0.55
report "1000 devices / one device, one scan each" "$s1000" "$s1" 1.10
echo "devices listed per 1000-device scan:$fleetCounts"
for n in $fleetCounts; do
  [ "$n" -eq 1000 ] || { echo "NOT met: a scan listed $n of 1000 devices"; exit 1; }
done
