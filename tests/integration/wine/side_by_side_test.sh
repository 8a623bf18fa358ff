#!/usr/bin/env bash
# Two runs side by side on the same Wine prefix, each in a private network
# namespace of its own (scripts/netns-run.sh) with a simulator of its own:
# each run's velkarin.exe must hear only its own run's device. Had the runs met
# one wineserver, both programs' sockets would live in one namespace.
#   side_by_side_test.sh win32|win64 path/to/velkarin.exe path/to/velkarin-devsim
set -uo pipefail
arch=$1 exe=$2 devsim=$3
root=$(cd "$(dirname "$0")/../../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One run: its own namespaces, simulator and wineserver; lists three times.
run() {  # SERIAL
  env -u VELKARIN_IN_NETNS "$root/scripts/netns-run.sh" bash -c '
    root=$1 devsim=$2 serial=$3 arch=$4 exe=$5 out=$6
    source "$root/scripts/devsim.sh"
    devsim_dir=$(mktemp -d)
    trap "devsim_stop; rm -rf $devsim_dir" EXIT
    devsim_start sim "$devsim" --device "serial=$serial,name=Run-$serial,ip=10.0.0.5,netmask=255.0.0.0" || exit 1
    "$root/scripts/wine-prefix.sh" ensure "$arch" || exit 1
    WINEPREFIX=$("$root/scripts/wine-prefix.sh" path "$arch") WINEDEBUG=-all
    export WINEPREFIX WINEDEBUG
    wineserver -p
    for n in 1 2 3; do wine "$exe" list --json --scan-seconds 1 >"$out.$n" 2>&1 || exit 1; done
  ' run "$root" "$devsim" "$1" "$arch" "$exe" "$work/$1"
}

run 00A001 &
first=$!
run 00B002 &
second=$!
status=0
wait $first || { echo "FAIL: the first run ended with $?" >&2; status=1; }
wait $second || { echo "FAIL: the second run ended with $?" >&2; status=1; }
for serial in 00A001 00B002; do
  for n in 1 2 3; do
    heard=$(tr -d '\r' <"$work/$serial.$n" | jq -r '[.[].serialText] | unique | join(" ")' 2>/dev/null)
    if [ "$heard" != "$serial" ]; then
      echo "FAIL: run $serial, listing $n heard [${heard}]: $(cat "$work/$serial.$n")" >&2
      status=1
    fi
  done
done
[ $status -eq 0 ] && echo "two runs side by side, each heard only its own device"
exit $status
