# Sourced by tests and benchmarks: a host with several network segments, all
# inside private network namespaces that this helper makes and removes.
#
# NETWORK RULE: nothing here may send a datagram to a non-loopback address in
# the machine's own network namespace. segments_enter re-runs the caller in a
# new private namespace (the "host") and refuses to go on unless that holds
# no interface but lo; every veth link is made inside it, and each leads to a
# child namespace of its own (a "segment"). The machine's network is never
# touched, and all of it vanishes with the namespaces' processes.
#
#   source tests/support/segments.sh
#   segments_enter "$0" "$@"        # first line of the script: re-runs it
#   segments_add 1 10.71.1.2/24     # vh1 (10.71.1.1/24) <-> vs1 in segment 1
#   segments_add 3 192.168.213.7/24 # a segment whose address is in no
#                                   # subnet of the host
#   segments_default_route 1        # the host's default route: segment 1 only
#   segments_run 2 COMMAND...       # runs COMMAND in segment 2
#   segments_spawn 2 COMMAND...     # the same in the background, ended by cleanup
#   segments_cleanup                # (also run on exit)

segments_pids=()
segments_children=()

segments_enter() {
  if [ "${VELKARIN_SEGMENTS_HOST:-}" != 1 ]; then
    local unshare=(unshare --net)
    [ "$(id -u)" -eq 0 ] || unshare=(unshare --map-root-user --net)
    exec "${unshare[@]}" env VELKARIN_SEGMENTS_HOST=1 bash "$@"
  fi
  if ip -o link show | awk -F': ' '{print $2}' | grep -vqx lo; then
    echo "segments: the host namespace is not private (it has interfaces besides lo); refusing" >&2
    exit 1
  fi
  ip link set lo up
  # Answers from a segment whose address is in none of the host's subnets
  # arrive on an interface no route names; strict reverse-path filtering
  # would drop them. A real host with strict filtering needs the same.
  for conf in all default; do sysctl -qw "net.ipv4.conf.$conf.rp_filter=2"; done
  trap segments_cleanup EXIT
}

# segments_add N SEGMENT_ADDRESS/PREFIX [HOST_ADDRESS/PREFIX]
segments_add() {
  local n=$1 segment=$2 host=${3:-10.71.$1.1/24}
  unshare --net sleep infinity &
  local pid=$!
  segments_pids[n]=$pid
  # The child namespace exists once unshare has exec'd sleep.
  for _ in $(seq 50); do
    [ "$(readlink /proc/$pid/ns/net)" != "$(readlink /proc/self/ns/net)" ] && break
    sleep 0.02
  done
  ip link add "vh$n" type veth peer name "vs$n" netns "$pid"
  sysctl -qw "net.ipv4.conf.vh$n.rp_filter=2"
  ip addr add "$host" dev "vh$n"
  ip link set "vh$n" up
  nsenter -t "$pid" -n ip link set lo up
  nsenter -t "$pid" -n ip addr add "$segment" dev "vs$n"
  nsenter -t "$pid" -n ip link set "vs$n" up
  # The segment answers the host whatever the host's address, as a device
  # with no gateway answers the address a request came from.
  nsenter -t "$pid" -n ip route add default dev "vs$n"
}

segments_default_route() {
  ip route add default via "$(segments_peer_address "$1")" dev "vh$1"
}

segments_peer_address() {
  nsenter -t "${segments_pids[$1]}" -n ip -4 -o addr show dev "vs$1" | awk '{print $4}' | cut -d/ -f1
}

segments_run() {
  local n=$1
  shift
  nsenter -t "${segments_pids[n]}" -n "$@"
}

segments_spawn() {
  local n=$1
  shift
  nsenter -t "${segments_pids[n]}" -n "$@" &
  segments_children+=($!)
}

segments_cleanup() {
  local pid
  for pid in "${segments_children[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${segments_children[@]}"; do wait "$pid" 2>/dev/null; done
  segments_children=()
  for pid in "${segments_pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${segments_pids[@]}"; do wait "$pid" 2>/dev/null; done
  segments_pids=()
}
