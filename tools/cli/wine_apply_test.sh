#!/usr/bin/env bash
# The Windows build's `velkarin.exe apply` under Wine against the Linux
# simulator: the 50-row plan of the Linux test (46 devices of a fleet, one
# that refuses, one silent, one with a password, one absent), its report,
# and a rerun that sends nothing to the devices that are done.
#   wine_apply_test.sh win32|win64 path/to/velkarin.exe path/to/velkarin-devsim
# Sends datagrams: runs only inside scripts/netns-run.sh, as ctest of the
# Windows presets does.
set -euo pipefail
arch=$1
exe=$2
devsim=$3
here=$(cd "$(dirname "$0")" && pwd)
wine_run=$here/../../scripts/wine-run.sh
source "$here/../../scripts/devsim.sh"

devsim_require_netns wine_apply_test
if [ ! -x "$devsim" ]; then
  echo "wine_apply_test: no simulator at $devsim (build the linux preset first)" >&2
  exit 1
fi
dir=$(mktemp -d /tmp/velkarin-apply-wine.XXXXXX)
trap 'devsim_stop; rm -rf "$dir"' EXIT
fail() {
  echo "FAIL ($arch): $*" >&2
  exit 1
}

cat >"$dir/fleet.json" <<'JSON'
{
  "fleet": {"count": 46, "serialBase": "100000"},
  "devices": [
    {"serial": "A1", "ip": "10.0.1.1", "netmask": "255.0.0.0", "onCommand": "refuse"},
    {"serial": "B1", "ip": "10.0.1.2", "netmask": "255.0.0.0", "onCommand": "silent"},
    {"serial": "C1", "ip": "10.0.1.3", "netmask": "255.0.0.0", "deviceId": "LOCK-1",
     "onCommand": "require-auth", "password": "sesame"}
  ]
}
JSON
{
  printf 'serial,device_id,dhcp,ip,netmask,gateway\r\n'
  printf '100000,,no,10.0.0.1,255.0.0.0,10.0.0.254\r\n'
  for i in $(seq 1 45); do
    if [ $((i % 2)) -eq 1 ]; then
      printf '%X,,yes,,,\r\n' $((0x100000 + i))
    else
      printf '%X,,no,10.2.0.%d,255.255.0.0,10.2.255.254\r\n' $((0x100000 + i)) "$i"
    fi
  done
  printf 'A1,,no,10.3.0.1,255.255.0.0,\r\nB1,,no,10.3.0.2,255.255.0.0,\r\n'
  printf 'C1,lock-1,no,10.3.0.3/16,,\r\nDEAD,,yes,,,\r\n'
} >"$dir/plan.csv"
printf 'sesame\n' >"$dir/password"

devsim_dir=$dir
devsim_start fleet "$devsim" --log "$dir/devsim.log" --max-runtime 300 \
  --config "$dir/fleet.json" || fail "simulator not ready"

commands() { grep ' RX ' "$dir/devsim.log" | grep -vc 'text="0 1 A"' || true; }
# The files as the Windows program names them: a leading '/' would be an option.
win() { printf 'Z:%s' "${1//\//\\}"; }
# velkarin.exe apply; the report's "serial,result" pairs in $dir/results.
apply() {
  local status=0
  rm -f "$dir/report.csv"
  "$wine_run" "$arch" "$exe" apply "$(win "$dir/plan.csv")" --yes \
    --password-file "$(win "$dir/password")" --report "$(win "$dir/report.csv")" \
    >"$dir/out" 2>"$dir/err" || status=$?
  [ -f "$dir/report.csv" ] || fail "no report written (exit $status): $(cat "$dir/err")"
  tr -d '\r' <"$dir/report.csv" | tail -n +2 | awk -F, '{print $2 "," $9}' >"$dir/results"
  return $status
}
result_of() { grep "^$1," "$dir/results" | cut -d, -f2; }

status=0
apply || status=$?
[ $status -eq 7 ] || fail "apply ended with $status instead of 7: $(cat "$dir/err")"
[ "$(wc -l <"$dir/results")" -eq 50 ] || fail "the report has not 50 rows: $(cat "$dir/report.csv")"
[ "$(grep -c ',configured$' "$dir/results")" -eq 46 ] || fail "not 46 configured: $(cat "$dir/results")"
[ "$(result_of 100000)" = "already done" ] || fail "100000: $(result_of 100000)"
[ "$(result_of 0000A1)" = "refused by the device; the password may be wrong" ] || fail "0000A1: $(result_of 0000A1)"
[ "$(result_of 0000B1)" = "no reply from the device" ] || fail "0000B1: $(result_of 0000B1)"
[ "$(result_of 00DEAD)" = "not found" ] || fail "00DEAD: $(result_of 00DEAD)"
first=$(commands)
[ "$first" -eq 49 ] || fail "$first commands sent instead of 49"

status=0
apply || status=$?
[ $status -eq 7 ] || fail "the rerun ended with $status instead of 7: $(cat "$dir/err")"
[ "$(grep -c ',already done$' "$dir/results")" -eq 47 ] || fail "not 47 done: $(cat "$dir/results")"
# Only the refusing device (twice, with the password) and the silent one.
[ $(($(commands) - first)) -eq 3 ] || fail "the rerun sent $(($(commands) - first)) commands"

echo "velkarin.exe ($arch) under Wine: apply of a 50-row plan and its rerun as expected"
