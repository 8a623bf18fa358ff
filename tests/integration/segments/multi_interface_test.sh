#!/usr/bin/env bash
# velkarin on a host with three network segments: the default scan hears all
# of them, including a device whose address is in no subnet of the host; one
# destination (--broadcast) hears only the segment of the default route; set
# configures a device behind the second interface; and apply verifies each
# device by what it announces on its own segment.
#   multi_interface_test.sh DEVSIM [VELKARIN...]
# VELKARIN is the command that runs the tool (default: this build's); for the
# Windows builds, "wine .../velkarin.exe". Everything runs in namespaces the
# helper makes (tests/support/segments.sh states the network rule).
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../support/segments.sh"
segments_enter "$0" "$@"
set -uo pipefail

devsim=$1
shift
cli=("$@")
[ ${#cli[@]} -gt 0 ] || cli=("$here/../../../build/linux/tools/cli/velkarin")
work=$(mktemp -d)
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# A Wine program's sockets live in its wineserver: start it in this namespace.
if [[ "${cli[0]}" == wine* ]]; then
  # Wine binds the session's desktop to the display of its first program, and
  # a display of the run outside this namespace is not always reachable from
  # in here: one of its own, before any Wine program, for the page below.
  source "$here/../../../scripts/xvfb.sh"
  xvfb_start "$work" || exit 1
  segments_children+=("$xvfb_pid")
  wineserver -k 2>/dev/null
  wineserver -p -f &
  segments_children+=($!)
  # Under load Wine now and then fails to start a program at all ("could not
  # be started", before velkarin runs): that start, and only that, is tried
  # once more.
  wine_cmd=("${cli[@]}")
  wine_cli() {
    local err status
    err=$(mktemp)
    "${wine_cmd[@]}" "$@" 2>"$err"
    status=$?
    if [ $status -ne 0 ] && grep -q 'ShellExecuteEx failed' "$err"; then
      "${wine_cmd[@]}" "$@" 2>"$err"
      status=$?
    fi
    cat "$err" >&2
    rm -f "$err"
    return $status
  }
  cli=(wine_cli)
fi

segments_add 1 10.71.1.2/24
# A labelled alias address: still one interface, scanned once.
ip addr add 10.71.1.201/24 brd + dev vh1 label vh1:1
segments_add 2 10.71.2.2/24
segments_add 3 192.168.213.7/24
segments_default_route 1

device() {  # serial name ip
  echo "serial=$1,name=$2,ip=$3,netmask=255.255.255.0,gateway=${3%.*}.1"
}
# Twins 5505 share a serial, one per segment, told apart by their identifiers.
segments_spawn 1 "$devsim" --device "$(device 1101 North-1 10.71.1.2)" \
  --device "$(device 1102 North-2 10.71.1.3)" \
  --device "$(device 5505 Twin-A 10.71.1.5),deviceId=TWIN-A" --output "$work/sim1.out" \
  --log "$work/sim1.log"
segments_spawn 2 "$devsim" --device "$(device 2201 East-1 10.71.2.2)" \
  --device "$(device 5505 Twin-B 10.71.2.5),deviceId=TWIN-B" --output "$work/sim2.out" \
  --log "$work/sim2.log"
segments_spawn 3 "$devsim" --device "$(device 3301 Stray 192.168.213.7)" --output "$work/sim3.out"

# The host routes through a gateway: the simulator refuses to run here.
"$devsim" --port 0 --max-runtime 1 >/dev/null 2>&1
status=$?
[ $status -eq 4 ] || fail "the simulator ran in the host namespace (exit $status)"

# "serial interface" per device heard, sorted.
heard() {
  "${cli[@]}" list --json "$@" 2>"$work/err" | tr -d '\r' |
    jq -r '.[] | "\(.serial) \(.interface // "-")"' | sort
}

# New links forward only once their up event is handled.
for _ in $(seq 50); do
  [ "$(heard | wc -l)" -eq 6 ] && break
  sleep 0.2
done

# arguments | expected "serial interface" lines (serials in decimal)
cases=(
  "|4353 vh1;4354 vh1;21765 vh1;8705 vh2;21765 vh2;13057 vh3"
  "--broadcast 255.255.255.255|4353 -;4354 -;21765 -"
  # Directed broadcasts to routed cells, each naming where its devices are.
  "--broadcast 10.71.1.255 --broadcast 10.71.2.255|4353 10.71.1.255:8001;4354 10.71.1.255:8001;21765 10.71.1.255:8001;8705 10.71.2.255:8001;21765 10.71.2.255:8001"
  "--interface vh2|8705 vh2;21765 vh2"
  "--interface vh3 --interface vh1|13057 vh3;4353 vh1;4354 vh1;21765 vh1"
  # The engine's cycle, as the page lists: behind every adapter too.
  "--cycle|4353 -;4354 -;21765 -;8705 -;21765 -;13057 -"
  "--cycle --interface vh2|8705 -;21765 -"
)
for c in "${cases[@]}"; do
  args=${c%%|*}
  want=$(echo "${c#*|}" | tr ';' '\n' | sort)
  # shellcheck disable=SC2086
  got=$(heard $args)
  [ "$got" = "$want" ] || fail "list $args: heard [$got], want [$want] ($(cat "$work/err"))"
done

# The table names the interface of each device.
table=$("${cli[@]}" list 2>/dev/null | tr -d '\r')
# Here-strings, not pipes: grep -q ends at its match, and a writer with lines
# still to write would die of SIGPIPE, which pipefail reports as a failure.
grep -Eq ' Status +Interface$' <<<"${table%%$'\n'*}" || fail "table header: $table"
grep -Eq '^003301 +Stray .* vh3$' <<<"$table" || fail "table row of the stray device: $table"
grep -Eq '^005505 +Twin-A .* serial-on-other-interface +vh1$' <<<"$table" ||
  fail "table row of a twin behind another interface: $table"

# The page on this host (the Windows lanes name its test host and module):
# an adapter plugged in while the page is open is searched from its next
# cycle on. The page lists the devices behind every adapter, and the device
# behind the new one is sent its one command by that adapter.
if [ -n "${VELKARIN_PAGE_DEMO:-}" ]; then
  requests() { grep -c 'text="0 1 A"' "$1"; }
  before=$(requests "$work/sim1.log")
  VELKARIN_DEMO_PAUSE_MS=0 VELKARIN_DEMO_LIST_MS=40000 wine "$VELKARIN_PAGE_DEMO" \
    "Z:${VELKARIN_PAGE_DLL//\//\\}" 004401 10.71.4.60 255.255.255.0 10.71.4.1 \
    >"$work/page" 2>&1 &
  page_pid=$!
  # The page has searched once: its adapters are known without the fourth.
  for _ in $(seq 300); do
    [ "$(requests "$work/sim1.log")" -gt "$before" ] && break
    sleep 0.1
  done
  segments_add 4 10.71.4.2/24
  segments_spawn 4 "$devsim" --device "$(device 4401 West-1 10.71.4.2)" --output "$work/sim4.out" \
    --log "$work/sim4.log"
  wait $page_pid
  status=$?
  page=$(tr -d '\r' <"$work/page")
  [ $status -eq 0 ] || fail "the page with an adapter plugged in: exit $status: $page (discovery requests heard: segment 1 $(requests "$work/sim1.log"), segment 4 $(requests "$work/sim4.log"))"
  grep -qx '7 devices listed' <<<"$page" || fail "the page listed: $page"
  commands() { grep ' RX ' "$1" | grep -vc 'text="0 1 A"'; }
  [ "$(commands "$work/sim4.log")" -eq 1 ] || fail "segment 4 received: $(grep ' RX ' "$work/sim4.log" | grep -v '0 1 A')"
  for n in 1 2; do
    [ "$(commands "$work/sim$n.log")" -eq 0 ] || fail "segment $n received a command from the page"
  done
  grep -q 'EV device 004401.*applied.*10\.71\.4\.60' "$work/sim4.log" || fail "device 4401 did not adopt: $(grep ' EV ' "$work/sim4.log")"
fi

# Sent by the default route, a command cannot reach the second segment...
"${cli[@]}" set 2201 --broadcast 255.255.255.255 --dhcp >"$work/set0" 2>&1
status=$?
[ $status -eq 12 ] || fail "set by the default route: exit $status, want 12: $(cat "$work/set0")"
# ...sent by the interface the device is heard on, it does.
"${cli[@]}" set 2201 --ip 10.71.2.50 --netmask 255.255.255.0 --gateway 10.71.2.1 >"$work/set1" 2>&1
status=$?
[ $status -eq 0 ] || fail "set on segment 2: exit $status: $(cat "$work/set1")"
grep -q '^002201: configured' "$work/set1" || fail "set on segment 2 said: $(cat "$work/set1")"
now=$("${cli[@]}" list --json --interface vh2 2>/dev/null | jq -r '.[] | select(.serial == 8705) | .ipAddress')
[ "$now" = 10.71.2.50 ] || fail "device 2201 announces $now after set"
# Without an identifier or an interface, either twin could take the command.
"${cli[@]}" set 5505 --dhcp >"$work/set5" 2>&1
status=$?
[ $status -eq 2 ] || fail "set 5505 behind two interfaces: exit $status, want 2: $(cat "$work/set5")"
grep -q 'different devices announce this serial behind vh1 and vh2' "$work/set5" ||
  fail "set 5505 behind two interfaces said: $(cat "$work/set5")"
# The identifier picks the twin's interface, in any case, as everywhere else.
"${cli[@]}" set 5505 --device-id twin-b --dhcp >"$work/set4" 2>&1
status=$?
[ $status -eq 0 ] || fail "set 5505 --device-id twin-b: exit $status: $(cat "$work/set4")"
# Named explicitly, the interface is used as given.
"${cli[@]}" set 3301 --interface vh3 --dhcp >"$work/set2" 2>&1
status=$?
[ $status -eq 0 ] || fail "set --interface vh3: exit $status: $(cat "$work/set2")"
"${cli[@]}" set 3301 --interface vh9 --dhcp >"$work/set3" 2>&1
status=$?
[ $status -eq 2 ] || fail "set --interface vh9 (no such interface): exit $status"

# apply across the segments, on a port of their own: twins with one serial on
# vh1 and vh2, and two devices on vh2 alone. The plan names the twin on vh2,
# which accepts and keeps its address; only its own announcement may verify
# it, not its twin's, which announces DHCP already. Of the others, one is
# silent for five seconds while it changes, which the wait outlasts, and one
# is gone for good.
port=8002
segments_spawn 1 "$devsim" --port $port --output "$work/sim1b.out" \
  --device "$(device 4242 Twin-1 10.71.1.42),dhcp=1"
segments_spawn 2 "$devsim" --port $port --output "$work/sim2b.out" \
  --device "$(device 4242 Twin-2 10.71.2.42),afterAccept=none" \
  --device "$(device 4343 East-3 10.71.2.43),afterAcceptDelayMs=5000,silentWhileChanging=true" \
  --device "$(device 4444 East-4 10.71.2.44),afterAccept=vanish"
printf 'serial,dhcp,ip,netmask,gateway,interface\n4242,yes,,,,vh2\n4343,yes,,,,\n4444,yes,,,,\n' \
  >"$work/plan.csv"
plan=$work/plan.csv
# A Windows program reads a leading '/' as an option: give it the drive path.
[[ "${cli[0]}" == wine* ]] && plan="Z:${plan//\//\\}"
apply=(apply "$plan" --yes --json --interface vh1 --interface vh2
  --broadcast "255.255.255.255:$port")
for _ in $(seq 50); do
  [ "$("${cli[@]}" "${apply[@]}" --dry-run 2>/dev/null | grep -c configure)" -eq 3 ] && break
  sleep 0.2
done
"${cli[@]}" "${apply[@]}" >"$work/apply" 2>"$work/apply.err"
status=$?
[ $status -eq 7 ] || fail "apply across segments: exit $status, want 7: $(cat "$work/apply.err")"
got=$(tr -d '\r' <"$work/apply" | jq -r '.[] | "\(.serialText) \(.interface) \(.result)"')
want="004242 vh2 not configured as sent
004343 vh2 configured
004444 vh2 accepted, not seen again within 15 s"
[ "$got" = "$want" ] || fail "apply across segments: [$got], want [$want]"

# A row without an interface for the twins is refused before anything is sent.
printf 'serial,dhcp,interface\n4242,yes,\n' >"$work/twins.csv"
plan=$work/twins.csv
[[ "${cli[0]}" == wine* ]] && plan="Z:${plan//\//\\}"
"${cli[@]}" apply "$plan" --dry-run --interface vh1 --interface vh2 \
  --broadcast "255.255.255.255:$port" >/dev/null 2>"$work/twins.err"
status=$?
[ $status -eq 2 ] || fail "a row for the twins without an interface: exit $status, want 2"
grep -q 'line 2, interface: different devices announce this serial' "$work/twins.err" ||
  fail "a row for the twins without an interface said: $(cat "$work/twins.err")"

# Two cells built alike, one address scheme: each gets 192.168.0.20 on, past
# the .21 its commissioned device announces; a plan of the devices without an
# address, applied.
port=8003
segments_spawn 1 "$devsim" --port $port --output "$work/cell1.out" \
  --device "$(device 6101 Cell1-Old 192.168.0.21)" \
  --device "serial=6102,name=Cell1-New,ip=0.0.0.0,netmask=0.0.0.0,gateway=0.0.0.0" \
  --device "serial=6103,name=Cell1-New2,ip=0.0.0.0,netmask=0.0.0.0,gateway=0.0.0.0"
segments_spawn 2 "$devsim" --port $port --output "$work/cell2.out" \
  --device "$(device 6201 Cell2-Old 192.168.0.21)" \
  --device "serial=6202,name=Cell2-New,ip=0.0.0.0,netmask=0.0.0.0,gateway=0.0.0.0"
cells=(--interface vh1 --interface vh2 --broadcast "255.255.255.255:$port")
for _ in $(seq 50); do
  [ "$(heard "${cells[@]}" | wc -l)" -eq 5 ] && break
  sleep 0.2
done
plan=$work/cells.csv
[[ "${cli[0]}" == wine* ]] && plan="Z:${plan//\//\\}"
"${cli[@]}" plan --from 192.168.0.20/24 --gateway 192.168.0.1 --without-address \
  --output "$plan" "${cells[@]}" 2>"$work/plan.err"
status=$?
[ $status -eq 0 ] || fail "plan of two cells: exit $status: $(cat "$work/plan.err")"
got=$(tr -d '\r' <"$work/cells.csv" | cut -d, -f1,5,8 | tail -n +2 | sort)
want="006102,192.168.0.20,vh1
006103,192.168.0.22,vh1
006202,192.168.0.20,vh2"
[ "$got" = "$want" ] || fail "plan of two cells: [$got], want [$want]"
"${cli[@]}" apply "$plan" --yes "${cells[@]}" >"$work/cells.out" 2>"$work/cells.err"
status=$?
[ $status -eq 0 ] || fail "apply of two cells: exit $status: $(cat "$work/cells.err")"
got=$("${cli[@]}" list --json "${cells[@]}" 2>/dev/null |
  tr -d '\r' | jq -r '.[] | "\(.serialText) \(.ipAddress) \(.interface)"' | sort)
want="006101 192.168.0.21 vh1
006102 192.168.0.20 vh1
006103 192.168.0.22 vh1
006201 192.168.0.21 vh2
006202 192.168.0.20 vh2"
[ "$got" = "$want" ] || fail "after apply of two cells: [$got], want [$want]"

# A watch of one cell: a device powered on there shows at once, one behind
# the other adapter never; an unknown adapter ends it with 2. (Signals to a
# program under Wine are Wine's: the watch is checked natively.)
if [[ "${cli[0]}" != wine_cli ]]; then
  "${cli[@]}" list --watch --interface vh9 >/dev/null 2>&1
  status=$?
  [ $status -eq 2 ] || fail "list --watch --interface vh9: exit $status, want 2"
  "${cli[@]}" list --watch --json --interface vh2 --broadcast "255.255.255.255:$port" \
    >"$work/watch" 2>"$work/watch.err" &
  watcher=$!
  for _ in $(seq 50); do
    [ -s "$work/watch" ] && break
    sleep 0.2
  done
  segments_spawn 2 "$devsim" --port $port --output "$work/cell2b.out" \
    --device "serial=6203,name=Cell2-On,ip=0.0.0.0,netmask=0.0.0.0,gateway=0.0.0.0"
  segments_spawn 1 "$devsim" --port $port --output "$work/cell1b.out" \
    --device "serial=6104,name=Cell1-On,ip=0.0.0.0,netmask=0.0.0.0,gateway=0.0.0.0"
  for _ in $(seq 50); do
    grep -q '"appeared"' "$work/watch" && break
    sleep 0.2
  done
  sleep 4  # three more scans: a device heard once has not left
  kill -INT $watcher
  wait $watcher
  status=$?
  [ $status -eq 0 ] || fail "watch ended with $status: $(cat "$work/watch.err")"
  got=$(tail -n +2 "$work/watch" | jq -r '"\(.event) \(.device.serialText) \(.device.interface)"')
  [ "$got" = "appeared 006203 vh2" ] || fail "watch of vh2 said [$got]: $(cat "$work/watch")"
  head -1 "$work/watch" | jq -e 'map(.interface) | unique == ["vh2"]' >/dev/null ||
    fail "watch of vh2 listed: $(head -1 "$work/watch")"
fi

rm -rf "$work"
if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "multi-interface checks passed"
