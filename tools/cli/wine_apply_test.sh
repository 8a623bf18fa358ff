#!/usr/bin/env bash
# The Windows build's `velkarin.exe apply` under Wine against the Linux
# simulator: the 50-row plan of the Linux test (46 devices of a fleet, one
# that refuses, one silent, one with a password, one absent), saved as a
# German spreadsheet saves it, its report, and a rerun that sends nothing to
# the devices that are done. The plan, the report and the password file have
# names with umlauts, as German users name them.
#   wine_apply_test.sh win32|win64 path/to/velkarin.exe path/to/velkarin-devsim
# Sends datagrams: runs only inside scripts/netns-run.sh, as ctest of the
# Windows presets does.
set -euo pipefail
source "$(dirname "$0")/../../tests/support/wine_cli_test.sh" wine_apply_test "$@"

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
# As a German spreadsheet saves it: semicolons, Windows-1252 (0xFC 'ü',
# 0x96 '–'), CRLF, empty rows, a notes column, German truth values.
{
  printf 'serial;device_id;dhcp;ip;netmask;gateway;Bemerkung\r\n'
  printf '100000;;nein;10.0.0.1;255.0.0.0;10.0.0.254;gepr\xfcft\r\n;;;;;;\r\n'
  for i in $(seq 1 45); do
    if [ $((i % 2)) -eq 1 ]; then
      printf '%X;;ja;;;;Halle 2 \x96 S\xfcd\r\n' $((0x100000 + i))
    else
      printf '%X;;nein;10.2.0.%d;255.255.0.0;10.2.255.254;\r\n' $((0x100000 + i)) "$i"
    fi
  done
  printf 'A1;;nein;10.3.0.1;255.255.0.0;;\r\nB1;;nein;10.3.0.2;255.255.0.0;;\r\n;;;;;;\r\n'
  printf 'C1;lock-1;nein;10.3.0.3/16;;;\r\nDEAD;;ja;;;;\r\n'
} >"$dir/Prüfplan.csv"
printf 'sesame\n' >"$dir/Passwort-für-C1"

devsim_start fleet "$devsim" --log "$dir/devsim.log" --max-runtime 300 \
  --config "$dir/fleet.json" || fail "simulator not ready"

commands() { grep ' RX ' "$dir/devsim.log" | grep -vc 'text="0 1 A"' || true; }
# The files as the Windows program names them: a leading '/' would be an option.
win() { printf 'Z:%s' "${1//\//\\}"; }
# velkarin.exe apply; the report's "serial,result" pairs in $dir/results (the report
# takes the plan's semicolons).
apply() {
  local status=0
  rm -f "$dir"/Bericht*
  LC_ALL=C.UTF-8 "$wine_run" "$arch" "$exe" apply "$(win "$dir/Prüfplan.csv")" --yes \
    --password-file "$(win "$dir/Passwort-für-C1")" --report "$(win "$dir/Bericht-Müller.csv")" \
    >"$dir/out" 2>"$dir/err" || status=$?
  [ -f "$dir/Bericht-Müller.csv" ] ||
    fail "no report Bericht-Müller.csv (exit $status): $(ls "$dir") $(cat "$dir/err")"
  # Split by the unquoted semicolons: a result may hold one.
  tr -d '\r' <"$dir/Bericht-Müller.csv" | tail -n +2 | awk '{
    n = 0; f = ""; q = 0
    for (i = 1; i <= length($0); i++) {
      c = substr($0, i, 1)
      if (c == "\"") { q = !q; continue }
      if (c == ";" && !q) { a[++n] = f; f = ""; continue }
      f = f c
    }
    a[++n] = f
    print a[2] "," a[10]
  }' >"$dir/results"
  return $status
}
result_of() { grep "^$1," "$dir/results" | cut -d, -f2; }

status=0
apply || status=$?
[ $status -eq 7 ] || fail "apply ended with $status instead of 7: $(cat "$dir/err")"
grep -q 'not UTF-8 text, read as Windows-1252' "$dir/err" || fail "no word of Windows-1252: $(cat "$dir/err")"
[ "$(wc -l <"$dir/results")" -eq 50 ] || fail "the report has not 50 rows: $(cat "$dir/Bericht-Müller.csv")"
[ "$(grep -c ',configured$' "$dir/results")" -eq 46 ] || fail "not 46 configured: $(cat "$dir/results")"
[ "$(result_of 100000)" = "already done" ] || fail "100000: $(result_of 100000)"
[ "$(result_of 0000A1)" = "refused by the device; the password may be wrong" ] || fail "0000A1: $(result_of 0000A1)"
[ "$(result_of 0000B1)" = "no reply from the device" ] || fail "0000B1: $(result_of 0000B1)"
[ "$(result_of 00DEAD)" = "not found" ] || fail "00DEAD: $(result_of 00DEAD)"
# One command per device to configure (the refusing one is not asked
# again) and eight to the silent one.
first=$(commands)
[ "$first" -eq 55 ] || fail "$first commands sent instead of 55"

status=0
apply || status=$?
[ $status -eq 7 ] || fail "the rerun ended with $status instead of 7: $(cat "$dir/err")"
[ "$(grep -c ',already done$' "$dir/results")" -eq 47 ] || fail "not 47 done: $(cat "$dir/results")"
# Only the refusing device (once) and the silent one (eight times).
[ $(($(commands) - first)) -eq 9 ] || fail "the rerun sent $(($(commands) - first)) commands"

echo "velkarin.exe ($arch) under Wine: apply of a 50-row plan and its rerun as expected"
