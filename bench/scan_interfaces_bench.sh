#!/usr/bin/env bash
# Discovery on three interfaces against discovery on one: the scan, and the
# engine's cycle that the page lists, send out of all of them at once, so
# three should cost hardly more than one. Builds
# its three segments in namespaces of its own (tests/support/segments.sh
# states the network rule). Alternating runs; means, since a cycle's length
# comes in steps of its 60 ms idle receives. Target <= 1.05.
source "$(dirname "$0")/linux_programs.sh"
source "$root/tests/support/segments.sh"
bench_require_programs
segments_enter "$0" "$@"
set -uo pipefail
runs=${RUNS:-12}
for n in 1 2 3; do
  segments_add "$n" "10.71.$n.2/24"
  segments_spawn "$n" "$devsim" --device "serial=${n}00,ip=10.71.$n.2,netmask=255.255.255.0" \
    --output /dev/null
done
segments_default_route 1
# Measured once every segment answers.
for _ in $(seq 50); do
  [ "$("$cli" list --json 2>/dev/null | jq length)" = 3 ] && break
  sleep 0.2
done

timed() {
  local start end count
  start=$(date +%s%N)
  count=$("$cli" list --json "$@" | jq length)
  end=$(date +%s%N)
  echo "$(((end - start) / 1000000)) $count"
}
mean() { awk '{s += $1} END {printf "%d", s / NR}'; }
# One figure per discovery: the tool's scan, and the engine's cycle (--cycle).
compare() {
  local label=$1 three=() one=() ms count t o
  shift
  for _ in $(seq "$runs"); do
    read -r ms count < <(timed "$@")
    [ "$count" = 3 ] || { echo "NOT met: $label on three interfaces listed $count devices"; exit 1; }
    three+=("$ms")
    read -r ms count < <(timed "$@" --interface vh1)
    [ "$count" = 1 ] || { echo "NOT met: $label on one interface listed $count devices"; exit 1; }
    one+=("$ms")
  done
  t=$(printf '%s\n' "${three[@]}" | mean)
  o=$(printf '%s\n' "${one[@]}" | mean)
  awk -v l="$label" -v a="$t" -v b="$o" 'BEGIN { r = a / b;
    printf "%-14s three interfaces / one     %6d ms / %6d ms = %.3f (target <= 1.05): %s\n",
    l, a, b, r, (r <= 1.05) ? "met" : "NOT met" }'
}
compare scan
compare "engine cycle" --cycle
