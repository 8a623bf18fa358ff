#!/usr/bin/env bash
# The Windows build of velkarin, run under Wine against the Linux simulator:
# list shows the simulated devices as a table, as JSON and as CSV, with
# Latin-1 letters in UTF-8; set configures one of them, one named by an
# identifier with an umlaut, one with a password with umlauts from
# VELKARIN_PASSWORD, and a bad entry or a letter beyond Latin-1 is refused.
#   wine_smoke_test.sh win32|win64 path/to/velkarin.exe path/to/velkarin-devsim
# Sends datagrams: runs only inside scripts/netns-run.sh, as ctest of the
# Windows presets does.
set -euo pipefail
source "$(dirname "$0")/../../tests/support/wine_cli_test.sh" wine_smoke_test "$@"

# What the simulator sends for "Prüfstand-Ä" and "Prüf-1" (Latin-1), and the
# same texts as the simulator, the tool and its user write them (UTF-8).
id_latin1=$'Pr\xfc''f-1'
pruef_utf8='Prüfstand-Ä'
id_utf8='Prüf-1'
# A device's password "Grüße" (the simulator takes it in UTF-8, as typed).
secret_utf8='Grüße'

fail() {
  echo "FAIL ($arch): $*" >&2
  [ -f "$dir/devsim.log" ] && { echo "--- simulator log:" >&2; cat "$dir/devsim.log" >&2; }
  exit 1
}

devsim_start fleet "$devsim" --log "$dir/devsim.log" --max-runtime 300 \
  --device 'serial=1A2B,name="Pump 7",dhcp=0,ip=192.168.1.20,netmask=255.255.255.0,gateway=192.168.1.1' \
  --device "serial=C0DE,name=Café,dhcp=1,ip=192.168.1.21,netmask=255.255.255.0,gateway=192.168.1.1" \
  --device "serial=D00D,name=${pruef_utf8},deviceId=${id_utf8},dhcp=0,ip=192.168.1.22,netmask=255.255.255.0,gateway=192.168.1.1" \
  --device "serial=E0E0,name=Lock,dhcp=1,ip=192.168.1.23,netmask=255.255.255.0,gateway=192.168.1.1,onCommand=require-auth,password=${secret_utf8}" \
  || fail "simulator not ready"

# velkarin.exe ARGS... -> stdout without carriage returns; exit status kept.
# A UTF-8 locale, so that Wine hands the program the arguments' real letters.
run() {
  local status=0
  LC_ALL=C.UTF-8 "$wine_run" "$arch" "$exe" "$@" >"$dir/out" 2>"$dir/err" || status=$?
  tr -d '\r' <"$dir/out" >"$dir/out.txt"
  return $status
}

run list || fail "list ended with $?: $(cat "$dir/err")"
# Redirected: UTF-8, the columns counted in characters.
expected="Snr     Name         DHCP  IP            Netmask        Gateway      Status  Interface
001A2B  Pump 7       No    192.168.1.20  255.255.255.0  192.168.1.1  -       lo
00C0DE  Café         Yes   192.168.1.21  255.255.255.0  192.168.1.1  -       lo
00D00D  ${pruef_utf8}  No    192.168.1.22  255.255.255.0  192.168.1.1  -       lo
00E0E0  Lock         Yes   192.168.1.23  255.255.255.0  192.168.1.1  -       lo"
[ "$(cat "$dir/out.txt")" = "$expected" ] || fail "list printed:
$(cat "$dir/out.txt")
expected:
$expected"

run list --json || fail "list --json ended with $?"
grep -q '"serial": 6699,' "$dir/out.txt" || fail "no serial 1A2B in: $(cat "$dir/out.txt")"
grep -q '"name": "Caf\\u00e9",' "$dir/out.txt" || fail "no escaped name in: $(cat "$dir/out.txt")"
grep -q '"name": "Pr\\u00fcfstand-\\u00c4",' "$dir/out.txt" || fail "no umlauts in: $(cat "$dir/out.txt")"
grep -q '"deviceId": "Pr\\u00fcf-1",' "$dir/out.txt" || fail "no identifier in: $(cat "$dir/out.txt")"

# CSV: a byte-order mark for spreadsheets on Windows, then UTF-8 rows ended by CRLF.
run list --csv || fail "list --csv ended with $?: $(cat "$dir/err")"
printf '\xef\xbb\xbfserialText,name,dhcp,ipAddress,netmask,gateway,status,interface\r\n%s\r\n%s\r\n%s\r\n%s\r\n' \
  '001A2B,Pump 7,No,192.168.1.20,255.255.255.0,192.168.1.1,-,lo' \
  '00C0DE,Café,Yes,192.168.1.21,255.255.255.0,192.168.1.1,-,lo' \
  "00D00D,${pruef_utf8},No,192.168.1.22,255.255.255.0,192.168.1.1,-,lo" \
  '00E0E0,Lock,Yes,192.168.1.23,255.255.255.0,192.168.1.1,-,lo' >"$dir/expected.csv"
cmp -s "$dir/out" "$dir/expected.csv" || fail "list --csv printed:
$(od -c "$dir/out" | head -20)"

# --output: the program writes the file itself, by a name with an umlaut, so no
# shell re-encodes it; semicolons for a German Excel. The file is a plan.
list_file="$dir/Geräteliste.csv"
run list --csv --separator ';' --output "Z:${list_file//\//\\}" ||
  fail "list --csv --output ended with $?: $(cat "$dir/err")"
[ ! -s "$dir/out" ] || fail "list --csv --output printed: $(cat "$dir/out")"
tr ',' ';' <"$dir/expected.csv" >"$dir/expected-semicolons.csv"
cmp -s "$list_file" "$dir/expected-semicolons.csv" || fail "list --csv --output wrote:
$(od -c "$list_file" | head -20)"
run apply "Z:${list_file//\//\\}" --dry-run || fail "apply of the listed file ended with $?: $(cat "$dir/err")"
[ "$(grep -c 'already done$' "$dir/out.txt")" -eq 4 ] || fail "apply --dry-run printed: $(cat "$dir/out.txt")"
grep -q "${pruef_utf8}" "$dir/out.txt" || fail "apply --dry-run lost the umlauts: $(cat "$dir/out.txt")"

run set 1A2B --ip 10.0.0.5 --netmask 255.0.0.0 --gateway 10.0.0.1 ||
  fail "set ended with $?: $(cat "$dir/out.txt")"
grep -qx '001A2B: configured' "$dir/out.txt" || fail "set printed: $(cat "$dir/out.txt")"
grep -q 'RX .*hex=' "$dir/devsim.log" || fail "the simulator logged nothing"

# The identifier typed in UTF-8 reaches the device in its Latin-1 bytes.
run set D00D --device-id "$id_utf8" --dhcp || fail "set --device-id ended with $?: $(cat "$dir/out.txt") $(cat "$dir/err")"
grep -qx '00D00D: configured' "$dir/out.txt" || fail "set --device-id printed: $(cat "$dir/out.txt")"
id_hex=$(printf '%s' "$id_latin1 " | od -An -tx1 | tr -d ' \n' | tr a-f A-F)
grep -q "RX .*hex=$id_hex" "$dir/devsim.log" || fail "no command led by the bytes $id_hex"

# The environment read as wide characters: the umlauts reach the device as
# its Latin-1 bytes, whatever the ANSI code page.
VELKARIN_PASSWORD=$secret_utf8 run set E0E0 --dhcp ||
  fail "set with VELKARIN_PASSWORD ended with $?: $(cat "$dir/out.txt") $(cat "$dir/err")"
grep -qx '00E0E0: configured' "$dir/out.txt" || fail "set with a password printed: $(cat "$dir/out.txt")"

# The same typed at the hidden prompt: Wine's console on a terminal reads it
# as wide characters, and shows none of it.
python3 - "$wine_run" "$arch" "$exe" "$secret_utf8" >"$dir/prompt" 2>&1 <<'PY' ||
import os, pty, re, select, sys, time
run, arch, exe, secret = sys.argv[1:]
pid, fd = pty.fork()
if pid == 0:
    os.environ["LC_ALL"] = "C.UTF-8"
    os.execv(run, [run, arch, exe, "set", "E0E0", "--dhcp", "--password"])
raw, typed, status, end = b"", False, None, time.time() + 120
text = lambda: re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]", b"", raw).decode("utf-8", "replace")
while status is None and time.time() < end:
    if select.select([fd], [], [], 0.2)[0]:
        try:
            raw += os.read(fd, 4096)
        except OSError:
            pass
    if not typed and "Password:" in text():
        time.sleep(0.5)  # the console may still be setting up its read
        for c in secret + "\r":
            os.write(fd, c.encode())
        typed = True
    done, code = os.waitpid(pid, os.WNOHANG)
    if done == pid:
        status = os.waitstatus_to_exitcode(code)
print(text())
sys.exit(0 if status == 0 and "00E0E0: configured" in text() and secret not in text() else 1)
PY
  fail "the password typed at the prompt: $(cat "$dir/prompt")"

status=0
run set D00D --device-id 'Prüf€' --dhcp || status=$?
[ $status -eq 2 ] || fail "an identifier beyond Latin-1 ended with $status instead of 2"
grep -q "invalid --device-id 'Prüf€': U+20AC '€' is not a Latin-1 character" "$dir/err" ||
  fail "the euro sign not named: $(cat "$dir/err")"

status=0
run set 1A2B --ip 192.168.0.300 --netmask 255.255.255.0 || status=$?
[ $status -eq 2 ] || fail "a bad address ended with $status instead of 2"
grep -q "invalid IP address '192.168.0.300'" "$dir/err" || fail "bad address not named: $(cat "$dir/err")"

echo "velkarin.exe ($arch) under Wine: list, list --json, list --csv, list --csv --output applied back, set, set by an identifier with an umlaut and usage errors as expected"
