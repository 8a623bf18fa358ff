#!/usr/bin/env bash
# Captures a simulated fleet being listed and configured by the real tool, then
# checks that the Wireshark dissector names every datagram as the simulator's
# own byte log has it. Run inside scripts/netns-run.sh:
#   check-dissector.sh VELKARIN VELKARIN_DEVSIM DISSECTOR.lua
set -euo pipefail
cli=$1 devsim=$2 lua=$3
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../../scripts/devsim.sh"

if ip -o link show | awk -F': ' '{print $2}' | grep -vx lo >/dev/null; then
  echo "check-dissector: not in a private network namespace; refusing" >&2
  exit 1
fi

work=$(mktemp -d)
pids=()
cleanup() {  # keeps the capture and the logs of a failed run
  local status=$?
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  devsim_stop
  if [ "$status" = 0 ]; then rm -rf "$work"; else echo "check-dissector: files in $work" >&2; fi
}
trap cleanup EXIT

wait_for() {  # wait_for TEST...: up to 5 s
  for _ in $(seq 100); do "$@" && return 0; sleep 0.05; done
  echo "check-dissector: timed out waiting for: $*" >&2
  return 1
}

# Too long for the host: an announcement, and a reply that follows the first
# device's real one, with two other replies that do not count.
jq '.devices += [{serial: "9DE004", raw: ("text:" + "B" * 1100)}]
    | .devices[0].extraReplies = ["text:10A5E4 7 1", "text:junk", "text:10A5E4 5 1" + " " * 130]' \
  "$here/fleet.json" >"$work/fleet.json"

# Other suites may run beside this one on ports of their own: only the
# devices' port, and what devices without an address send from 0.0.0.0.
dumpcap -q -i lo -f 'udp and (port 8001 or src host 0.0.0.0)' -w "$work/capture.pcapng" 2>"$work/dumpcap.err" &
pids+=($!)
dumpcap_pid=$!
# dumpcap opens the interface before it writes the file's header.
wait_for test -s "$work/capture.pcapng"

devsim_dir=$work
devsim_start sim "$devsim" --port 8001 --config "$work/fleet.json" --log "$work/sim.log" \
  --stop-file "$work/stop" --max-runtime 120
devsim_pid=$(devsim_pid sim)
pids+=("$devsim_pid")

# Forms 3 and 4 come from no tool of ours; bash sends them, and one that is
# no command at all.
for command in "0050C2AA0002 3 1 0 10.8.0.7 255.255.0.0 10.8.0.1 2" \
               "0050C2AA0002 4 1 1   " "8CD003 4 x"; do
  printf '%s' "$command" >/dev/udp/127.0.0.1/8001
done

# Each run: expected exit status, then the tool's arguments.
runs=(
  "0 list --json"
  "0 set 10A5E4 --ip 10.1.0.50 --netmask 255.255.0.0 --gateway 10.1.0.1"
  "0 set A1B2 --dhcp"
  "0 set 30C7A6 --ip 10.3.0.50 --netmask 255.255.0.0 --password s3cret"
  "13 set 40D8B7 --dhcp"
)
tool_pids=()
for run in "${runs[@]}"; do
  # shellcheck disable=SC2086 # the arguments are words on purpose
  "$cli" ${run#* } >"$work/tool-${#tool_pids[@]}.out" 2>&1 &
  tool_pids+=($!)
done
failed=0
for i in "${!runs[@]}"; do
  status=0
  wait "${tool_pids[$i]}" || status=$?
  if [ "$status" != "${runs[$i]%% *}" ]; then
    echo "check-dissector: velkarin ${runs[$i]#* } exited $status" >&2
    cat "$work/tool-$i.out" >&2
    failed=1
  fi
done

touch "$work/stop"
wait "$devsim_pid" || true
# The kernel hands dumpcap its frames in blocks, a block only when full or
# after a timeout, and dumpcap drops what it has not read when interrupted:
# wait until the file holds every datagram the simulator logged.
logged=$(grep -c ' [RT]X ' "$work/sim.log")
captured() {
  local frames
  frames=$(capinfos -c -M "$work/capture.pcapng" 2>/dev/null | awk '/^Number of packets:/ {print $NF}')
  [ "${frames:-0}" -ge "$logged" ]
}
for _ in $(seq 100); do captured && break; sleep 0.2; done
kill -INT "$dumpcap_pid"
wait "$dumpcap_pid" || true

fields=(frame.number udp.srcport udp.dstport udp.payload _ws.expert.message _ws.expert.severity
        _ws.lua.error)
# Every field the dissector declares.
mapfile -t -O ${#fields[@]} fields < <(grep -o 'ProtoField\.[a-z0-9]*("velkarin\.[a-z0-9_.]*"' "$lua" |
                                       cut -d'"' -f2)
args=()
for field in "${fields[@]}"; do args+=(-e "$field"); done
# A factory-new device of the simulator answers from a port the system picks
# (it has no address to bind), to the tool's own: when the lower of the two is
# one that Wireshark knows for another protocol, that protocol would take the
# datagram before the heuristic could.
tshark -r "$work/capture.pcapng" -X "lua_script:$lua" -o udp.try_heuristic_first:TRUE \
  -Y 'udp and not icmp' -T json "${args[@]}" \
  >"$work/dissected.json" 2>"$work/tshark.err" || { cat "$work/tshark.err" >&2; exit 1; }
# tshark warns about running as root; anything else it says is a failure.
if grep -v '^Running as user "root" and group "root"\. This could be dangerous\.$' \
    "$work/tshark.err" >&2; then
  failed=1
fi

jq -n -r --rawfile log "$work/sim.log" --slurpfile frames "$work/dissected.json" \
  -f "$here/compare.jq" >"$work/problems"
if [ -s "$work/problems" ]; then
  head -n 40 "$work/problems" >&2
  echo "check-dissector: $(wc -l <"$work/problems") disagreements" >&2
  failed=1
fi
echo "check-dissector: $(grep -c ' [RT]X ' "$work/sim.log") datagrams of the simulator's log compared"
exit $failed
