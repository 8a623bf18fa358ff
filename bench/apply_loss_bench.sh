#!/usr/bin/env bash
# velkarin apply on a network that loses datagrams: a plan of 40 devices at
# 0 %, 5 %, 20 % and 40 % loss each way (nftables in this private namespace),
# side by side in alternating runs; then a plan of 1000 at 0 % and at 5 %.
# Each run gives every device a new address, so every row is configured and
# verified.
#   40 rows, 5 %:  40/40 configured, time <= 1.5x the 0 % time
#   40 rows, 20 %: >= 39/40 configured, time <= 2x the 0 % time
#   40 rows, 40 %: every row configured or failed with its reason (no row
#                  said configured that the device did not take), <= 4x
#   1000 rows, 5 %: 1000/1000 configured, under 30 s
# Runs inside the private namespace (make bench); needs the linux build and nft.
set -uo pipefail
source "$(dirname "$0")/linux_programs.sh"
command -v nft >/dev/null || { echo "$bench_name: skipped, nft is not installed"; exit 0; }
bench_start 3 'nft flush ruleset'

lose() {  # PERCENT: of the datagrams to and from port 8001, both ways
  nft flush ruleset
  [ "$1" -eq 0 ] && return 0
  nft -f - <<NFT
table inet lossy {
  chain out {
    type filter hook output priority 0; policy accept;
    udp dport 8001 numgen random mod 100 < $1 drop
    udp sport 8001 numgen random mod 100 < $1 drop
  }
}
NFT
}
# plan FILE RUN COUNT: devices 100000 upwards, half DHCP, half fixed.
plan() {
  {
    echo "serial,dhcp,ip,netmask,gateway"
    for i in $(seq 0 $(($3 - 1))); do
      if [ $(((i + $2) % 2)) -eq 0 ]; then
        printf '%X,yes,,,\n' $((0x100000 + i))
      else
        printf '%X,no,10.%d.%d.%d,255.255.0.0,10.%d.255.254\n' $((0x100000 + i)) $((10 + $2)) $((i / 250)) $((i % 250 + 1)) $((10 + $2))
      fi
    done
  } >"$1"
}
# apply PLAN PERCENT: prints "MS CONFIGURED"
apply() {
  lose "$2" || return 1
  local start end
  start=$(date +%s%N)
  "$cli" apply "$1" --yes --quiet --report "$work/report.csv" >"$work/out" 2>&1
  end=$(date +%s%N)
  nft flush ruleset
  echo "$(((end - start) / 1000000)) $(grep -c ',configured' "$work/report.csv")"
}
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

devsim_start fleet "$devsim" --fleet 40 --log "$work/log" || exit 1
false40=0
printf '%-4s %14s %14s %14s %14s\n' run "0% ms (rows)" "5% ms (rows)" "20% ms (rows)" \
  "40% ms (rows)"
: >"$work/t0"; : >"$work/t5"; : >"$work/t20"; : >"$work/t40"
worst5=40; worst20=40; worst40=40
run=0
for r in $(seq "$runs"); do
  line=$(printf '%-4s' "$r")
  for p in 0 5 20 40; do
    run=$((run + 1))
    plan "$work/plan.csv" "$run" 40
    from=$(wc -l <"$work/log")
    read -r ms rows < <(apply "$work/plan.csv" "$p") || exit 1
    # A row said configured must be one whose device took its configuration.
    if [ "$p" -eq 40 ]; then
      for s in $(awk -F, 'NR > 1 && $10 ~ /^configured/ {print $2}' "$work/report.csv"); do
        tail -n +"$((from + 1))" "$work/log" | grep "device $s: applied" >/dev/null ||
          false40=$((false40 + 1))
      done
    fi
    echo "$ms" >>"$work/t$p"
    [ "$p" -eq 5 ] && [ "$rows" -lt "$worst5" ] && worst5=$rows
    [ "$p" -eq 20 ] && [ "$rows" -lt "$worst20" ] && worst20=$rows
    [ "$p" -eq 40 ] && [ "$rows" -lt "$worst40" ] && worst40=$rows
    line="$line $(printf '%14s' "$ms ($rows)")"
  done
  echo "$line"
done
devsim_stop
t0=$(median <"$work/t0"); t5=$(median <"$work/t5"); t20=$(median <"$work/t20")
t40=$(median <"$work/t40")
awk -v a="$t5" -v b="$t0" -v w="$worst5" 'BEGIN { r = a / b; printf "40 rows at 5%% loss: %.2fx the 0%% time (target <= 1.5), fewest configured %d/40 (target 40): %s\n", r, w, (r <= 1.5 && w == 40) ? "met" : "NOT met" }'
awk -v a="$t20" -v b="$t0" -v w="$worst20" 'BEGIN { r = a / b; printf "40 rows at 20%% loss: %.2fx the 0%% time (target <= 2), fewest configured %d/40 (target >= 39): %s\n", r, w, (r <= 2 && w >= 39) ? "met" : "NOT met" }'
awk -v a="$t40" -v b="$t0" -v w="$worst40" -v f="$false40" 'BEGIN { r = a / b; printf "40 rows at 40%% loss: %.2fx the 0%% time (target <= 4), fewest configured %d/40, rows said configured that their device did not take: %d (target 0): %s\n", r, w, f, (r <= 4 && f == 0) ? "met" : "NOT met" }'

devsim_start thousand "$devsim" --fleet 1000 || exit 1
plan "$work/plan.csv" 90 1000
read -r ms0 rows0 < <(apply "$work/plan.csv" 0) || exit 1
plan "$work/plan.csv" 91 1000
read -r ms5 rows5 < <(apply "$work/plan.csv" 5) || exit 1
echo "1000 rows at 0% loss: $ms0 ms, $rows0 configured"
awk -v t="$ms5" -v n="$rows5" 'BEGIN { printf "1000 rows at 5%% loss: %d ms, %d configured (target: all, under 30000 ms): %s\n", t, n, (n == 1000 && t < 30000) ? "met" : "NOT met" }'
