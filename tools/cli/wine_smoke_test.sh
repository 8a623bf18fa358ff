#!/usr/bin/env bash
# The Windows build of velkarin, run under Wine against the Linux simulator:
# list shows the simulated devices as a table and as JSON, set configures one
# of them, and a bad entry is refused.
#   wine_smoke_test.sh win32|win64 path/to/velkarin.exe path/to/velkarin-devsim
# Sends datagrams: runs only inside scripts/netns-run.sh, as ctest of the
# Windows presets does.
set -euo pipefail
arch=$1
exe=$2
devsim=$3
here=$(cd "$(dirname "$0")" && pwd)
wine_run=$here/../../scripts/wine-run.sh

if [ "${VELKARIN_IN_NETNS:-}" != 1 ]; then
  echo "wine_smoke_test: runs only inside scripts/netns-run.sh" >&2
  exit 1
fi
if [ ! -x "$devsim" ]; then
  echo "wine_smoke_test: no simulator at $devsim (build the linux preset first)" >&2
  exit 1
fi

e9=$'\xe9'  # a Latin-1 letter in a device name
dir=$(mktemp -d /tmp/velkarin-cli-wine.XXXXXX)
devsim_pid=
cleanup() {
  if [ -n "$devsim_pid" ]; then
    touch "$dir/stop"
    for _ in $(seq 50); do kill -0 "$devsim_pid" 2>/dev/null || break; sleep 0.1; done
    kill "$devsim_pid" 2>/dev/null || true
    wait "$devsim_pid" 2>/dev/null || true
  fi
  rm -rf "$dir"
}
trap cleanup EXIT

fail() {
  echo "FAIL ($arch): $*" >&2
  [ -f "$dir/devsim.log" ] && { echo "--- simulator log:" >&2; cat "$dir/devsim.log" >&2; }
  exit 1
}

"$devsim" --ready-file "$dir/ready" --stop-file "$dir/stop" --log "$dir/devsim.log" \
  --max-runtime 300 \
  --device 'serial=1A2B,name="Pump 7",dhcp=0,ip=192.168.1.20,netmask=255.255.255.0,gateway=192.168.1.1' \
  --device "serial=C0DE,name=Caf${e9},dhcp=1,ip=192.168.1.21,netmask=255.255.255.0,gateway=192.168.1.1" \
  >"$dir/devsim.out" 2>&1 &
devsim_pid=$!
for _ in $(seq 150); do [ -f "$dir/ready" ] && break; sleep 0.1; done
[ -f "$dir/ready" ] || fail "simulator not ready: $(cat "$dir/devsim.out")"

# velkarin.exe ARGS... -> stdout without carriage returns; exit status kept.
run() {
  local status=0
  "$wine_run" "$arch" "$exe" "$@" >"$dir/out" 2>"$dir/err" || status=$?
  tr -d '\r' <"$dir/out" >"$dir/out.txt"
  return $status
}

run list || fail "list ended with $?: $(cat "$dir/err")"
expected="Snr     Name    DHCP  IP            Netmask        Gateway      Status
001A2B  Pump 7  No    192.168.1.20  255.255.255.0  192.168.1.1  -
00C0DE  Caf${e9}    Yes   192.168.1.21  255.255.255.0  192.168.1.1  -"
[ "$(cat "$dir/out.txt")" = "$expected" ] || fail "list printed:
$(cat "$dir/out.txt")
expected:
$expected"

run list --json || fail "list --json ended with $?"
grep -q '"serial": 6699,' "$dir/out.txt" || fail "no serial 1A2B in: $(cat "$dir/out.txt")"
grep -q '"name": "Caf\\u00E9",' "$dir/out.txt" || fail "no escaped name in: $(cat "$dir/out.txt")"

run set 1A2B --ip 10.0.0.5 --netmask 255.0.0.0 --gateway 10.0.0.1 ||
  fail "set ended with $?: $(cat "$dir/out.txt")"
grep -qx '001A2B: configured' "$dir/out.txt" || fail "set printed: $(cat "$dir/out.txt")"
grep -q 'RX .*hex=' "$dir/devsim.log" || fail "the simulator logged nothing"

status=0
run set 1A2B --ip 192.168.0.300 --netmask 255.255.255.0 || status=$?
[ $status -eq 2 ] || fail "a bad address ended with $status instead of 2"
grep -q "invalid IP address '192.168.0.300'" "$dir/err" || fail "bad address not named: $(cat "$dir/err")"

echo "velkarin.exe ($arch) under Wine: list, list --json, set and a usage error as expected"
