#!/usr/bin/env bash
# Duration of `velkarin set` against the floor its timers set. Runs inside the
# private namespace (make bench); needs the linux build.
#
# The floor of one run is what the tool cannot do faster: every discovery poll
# of its two searches (the transaction's, then the wait for the device to
# announce itself again) lasts at least 250 ms, and the reply wait at least
# 3000 ms. The polls are counted from the simulator's log of what it received.
set -uo pipefail
source "$(dirname "$0")/linux_programs.sh"
bench_start 5
devsim_start one "$devsim" --log "$work/log" \
  --device 'serial=A1B2,name=Bench,ip=10.0.0.5,netmask=255.255.255.0,gateway=10.0.0.1' || exit 1

polls() { grep -c ' RX .*len=5 hex=3020312041' "$work/log" 2>/dev/null || true; }
total_over=0
printf '%-4s %10s %10s %8s %9s\n' run "took ms" "floor ms" polls "over %"
for i in $(seq "$runs"); do
  before=$(polls)
  ip="10.0.1.$i"
  start=$(date +%s%N)
  "$cli" set 00A1B2 --ip "$ip" --netmask 255.255.255.0 --gateway 10.0.1.254 >"$work/out" 2>&1
  status=$?
  end=$(date +%s%N)
  after=$(polls)
  n=$((after - before))
  took=$(((end - start) / 1000000))
  floor=$((n * 250 + 3000))
  over=$(awk -v t="$took" -v f="$floor" 'BEGIN{printf "%.2f", (t-f)*100/f}')
  printf '%-4s %10d %10d %8d %9s\n' "$i" "$took" "$floor" "$n" "$over"
  if [ $status -ne 0 ]; then
    echo "run $i failed (exit $status):"; cat "$work/out"; exit 1
  fi
  total_over=$(awk -v a="$total_over" -v b="$over" 'BEGIN{print a+b}')
done
mean=$(awk -v a="$total_over" -v n="$runs" 'BEGIN{printf "%.2f", a/n}')
verdict=$(awk -v m="$mean" 'BEGIN{print (m < 2.0) ? "met" : "NOT met"}')
echo "velkarin set: mean ${mean}% above the floor (target: within 2%): $verdict"
