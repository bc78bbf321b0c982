#!/usr/bin/env bash
# A private network for running Norvane (and its Windows tests) under Wine:
# a "host" namespace whose only adapter, nvs0, is a veth into a "far"
# namespace holding a bridge, the simulated devices (norvane-sim, one veth
# with its own MAC and address per device) and real peer daemons in
# namespaces of their own (minidlna, avahi-daemon, lldpd, wsdd). Nothing is
# connected to the machine's own interfaces.
#
#   tests/netns/lab.sh LAB up [--loopback] [--no-peers] [--sim PATH]
#   tests/netns/lab.sh LAB exec CMD...     run CMD in the host namespace
#   tests/netns/lab.sh LAB run [up options] -- CMD...
#                                          up, exec CMD, down, under the lab's
#                                          lock; exits with CMD's status
#   tests/netns/lab.sh LAB env             the lab's variables, for eval
#   tests/netns/lab.sh LAB down
#
# While the lab is up, tests running in it ask the far side for loads by
# writing one command into a file in $NORVANE_LAB_DIR/requests; the answer
# appears beside it under the same name plus ".done":
#   storm SECONDS        a broadcast storm (norvane-flood) through a port of
#   video SECONDS [MBIT] its own, or multicast video from 24 cameras; the
#                        answer is "FRAMES BYTES" sent, once the load ended
#   crowd N              N more SADP cameras (norvane-sim --crowd N) join the
#                        segment; the answer is their --expect lines
#   calm                 the crowd leaves again
#   goodbye KEY          the simulated device KEY says goodbye (norvane-sim
#                        --goodbye), and is back at the next search; the
#                        answer is one line per message it sent
#
# LAB is one of: test (scripts/test.sh), demo (scripts/run.sh), sim (the
# simulator's own namespace test). Each has fixed names and its own IPv4
# subnet, so different labs never clash:
#
#   test  namespaces nvst-*  10.79.1.0/24
#   demo  namespaces nvsr-*  10.79.2.0/24
#   sim   namespaces nvsn-*  10.79.3.0/24
#   (all: fd00:79::/64; host 10.79.L.1 / fd00:79::1, MAC 02:79:00:00:0L:01)
#
# --loopback gives a host namespace with only loopback. --no-peers leaves
# the daemons out. --sim names the norvane-sim binary (default: the native
# build's). Needs root; exits 77 when root or network namespaces are missing.
# Every process started is recorded (PID and start time) and stopped by PID;
# "up" first removes whatever an earlier run of the same lab left; "down"
# deletes the namespaces. Commands run inside get NORVANE_LAB_DIR (state:
# expect.jsonl, peers.txt, logs), NORVANE_LAB_SUBNET and NORVANE_LAB_NS.
set -uo pipefail

readonly SKIP=77
readonly HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
readonly ROOT=$(cd "$HERE/../.." && pwd)

die() {
  echo "lab: $*" >&2
  exit 1
}
skip() {
  echo "SKIP: $*"
  exit "$SKIP"
}

[[ $# -ge 2 ]] || die "usage: lab.sh test|demo|sim up|exec|run|env|down ..."
LAB=$1
COMMAND=$2
shift 2
case $LAB in
  test) PREFIX=nvst L=1 ;;
  demo) PREFIX=nvsr L=2 ;;
  sim) PREFIX=nvsn L=3 ;;
  *) die "unknown lab $LAB (test, demo or sim)" ;;
esac
readonly LAB PREFIX L
readonly SUBNET="10.79.$L"
readonly HOST_NS="$PREFIX-host" FAR_NS="$PREFIX-far"
readonly STATE=${NORVANE_LAB_STATE:-/tmp/nvs-lab-$LAB}
readonly PIDS="$STATE/pids" LOGS="$STATE/logs"
readonly LOCK="/tmp/nvs-lab-$LAB.lock"

# ----------------------------------------------------------- processes ----

LAB_NAME=lab
source "$ROOT/tests/support/processes.sh"

our_namespaces() { ip netns list 2>/dev/null | awk '{print $1}' | grep "^$PREFIX-" || true; }

# Whatever still runs inside our namespaces was started by this lab (or by
# a command run in it); it goes before the namespaces do.
teardown() {
  stop_recorded
  local ns
  for ns in $(our_namespaces); do delete_namespace "$ns"; done
}

require_root() {
  [[ $(id -u) -eq 0 ]] || skip "the lab needs root to create network namespaces"
  for tool in ip unshare nsenter mount flock; do
    command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed"
  done
}

# --------------------------------------------------------------- network ----

ns_sysctl() { ip netns exec "$1" sysctl -qw "${@:2}"; }

make_host() {
  ip netns add "$HOST_NS" || skip "network namespaces are not available here"
  ip -n "$HOST_NS" link set lo up
  # Windows filters no reverse path: new cameras answering from a factory
  # address outside the adapter's subnet reach its sockets, and must here.
  ns_sysctl "$HOST_NS" net.ipv6.conf.all.accept_dad=0 net.ipv6.conf.default.accept_dad=0 \
    net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.default.rp_filter=0
}

# The far side: a bridge (LLDP forwarded, no multicast snooping) with the
# host's veth on one port.
make_far() {
  ip netns add "$FAR_NS" || return 1
  ip -n "$FAR_NS" link set lo up
  # Several device interfaces share one subnet here: each answers ARP only
  # for its own address and speaks from it, and no reverse-path filter drops
  # what arrives through the "wrong" one of them.
  ns_sysctl "$FAR_NS" net.ipv4.conf.all.arp_ignore=1 net.ipv4.conf.all.arp_announce=2 \
    net.ipv4.conf.default.arp_ignore=1 net.ipv4.conf.default.arp_announce=2 \
    net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.default.rp_filter=0 \
    net.ipv6.conf.default.disable_ipv6=1 net.ipv6.conf.all.disable_ipv6=1
  ip -n "$FAR_NS" link add br0 type bridge || return 1
  ip -n "$FAR_NS" link set br0 type bridge group_fwd_mask 0x4000 mcast_snooping 0 stp_state 0
  ip -n "$FAR_NS" link set br0 up
  ip -n "$HOST_NS" link add nvs0 type veth peer name up0 netns "$FAR_NS" || return 1
  ip -n "$FAR_NS" link set up0 master br0 up
  ip -n "$HOST_NS" link set nvs0 address "02:79:00:00:0$L:01"
  ip -n "$HOST_NS" addr add "$SUBNET.1/24" dev nvs0
  ip -n "$HOST_NS" addr add fd00:79::1/64 dev nvs0 nodad
  ip -n "$HOST_NS" link set nvs0 up
  ip -n "$HOST_NS" route add 224.0.0.0/4 dev nvs0
}

# One veth per simulated device: d-KEY (the device's MAC and address) and
# its bridge port b-KEY.
add_devices() {
  local key kind ifname mac ip
  while read -r key kind ifname mac ip; do
    ip -n "$FAR_NS" link add "$ifname" type veth peer name "b-$key" || return 1
    ip -n "$FAR_NS" link set "$ifname" address "$mac"
    ip -n "$FAR_NS" addr add "$ip/24" dev "$ifname"
    ip -n "$FAR_NS" link set "$ifname" up
    ip -n "$FAR_NS" link set "b-$key" master br0 up
  done < <("$SIM" --subnet "$SUBNET" --list)
}

# Peer namespace NAME with eth0 on the bridge, address .N.
add_peer_host() {
  local name=$1 n=$2 ns="$PREFIX-$1" hex
  printf -v hex '%02x' "$n"
  ip netns add "$ns" || return 1
  ip -n "$ns" link set lo up
  ns_sysctl "$ns" net.ipv6.conf.all.accept_dad=0 net.ipv6.conf.default.accept_dad=0
  ip -n "$FAR_NS" link add "p-$name" type veth peer name eth0 netns "$ns" || return 1
  ip -n "$FAR_NS" link set "p-$name" master br0 up
  ip -n "$ns" link set eth0 address "02:79:00:00:0$L:$hex"
  ip -n "$ns" addr add "$SUBNET.$n/24" dev eth0
  ip -n "$ns" addr add "fd00:79::$n/64" dev eth0 nodad
  ip -n "$ns" link set eth0 up
  ip -n "$ns" route add 224.0.0.0/4 dev eth0
}

# ---------------------------------------------------------------- loads ----

# A bridge port for the floods, and the crowd's interfaces and simulator,
# made and removed on request (see the top of this file).
add_load_port() {
  ip -n "$FAR_NS" link add f-load type veth peer name b-load || return 1
  ip -n "$FAR_NS" link set b-load master br0 up
  ip -n "$FAR_NS" link set f-load up
}

# add_crowd N: the cameras' interfaces in one batch, then their simulator.
add_crowd() {
  local n=$1 key kind ifname mac ip i
  remove_crowd
  "$SIM" --subnet "$SUBNET" --crowd "$n" --list >"$STATE/crowd.list" || return 1
  while read -r key kind ifname mac ip; do
    echo "link add $ifname type veth peer name b-$key"
    echo "link set $ifname address $mac"
    echo "address add $ip/24 dev $ifname"
    echo "link set $ifname up"
    echo "link set b-$key master br0 up"
  done <"$STATE/crowd.list" >"$STATE/crowd.batch"
  ip -n "$FAR_NS" -batch "$STATE/crowd.batch" || return 1
  : >"$LOGS/crowd-sim.log"
  background crowd-sim ip netns exec "$FAR_NS" "$SIM" --subnet "$SUBNET" --crowd "$n" --serve ||
    return 1
  for ((i = 0; i < 100; i++)); do
    grep -q 'norvane-sim: ready' "$LOGS/crowd-sim.log" 2>/dev/null && break
    sleep 0.1
  done
  grep -q 'norvane-sim: ready' "$LOGS/crowd-sim.log" || return 1
  "$SIM" --subnet "$SUBNET" --crowd "$n" --expect
}

remove_crowd() {
  local pid started name ifname
  if [[ -f $PIDS ]]; then
    while read -r pid started name; do
      [[ $name == crowd-sim ]] && stop_pid "$pid" "$started"
    done <"$PIDS"
  fi
  [[ -f $STATE/crowd.list ]] || return 0
  while read -r _ _ ifname _ _; do echo "link delete $ifname"; done <"$STATE/crowd.list" \
    >"$STATE/crowd.batch"
  ip -n "$FAR_NS" -force -batch "$STATE/crowd.batch" 2>/dev/null
  rm -f "$STATE/crowd.list" "$STATE/crowd.batch"
}

# While a load runs, every bridge port but the host's is isolated: the load
# reaches the host as a real one would, and the devices still answer the
# host, but the bridge spends no time copying the load to every device and
# peer (nor they each one frame of it), so it comes as fast as the machine
# can send it.
isolate_ports() {
  local port
  for port in $(ip -n "$FAR_NS" -o link show master br0 | awk -F': ' '{print $2}' | cut -d@ -f1); do
    [[ $port == up0 ]] || bridge -n "$FAR_NS" link set dev "$port" isolated "$1"
  done
}

serve_requests() {
  local request command args
  while :; do
    for request in "$STATE"/requests/*; do
      [[ -f $request && $request != *.done && $request != *.tmp && $request != *.new ]] || continue
      read -r command args <"$request" || true
      # Written by Windows programs, the line may end in CR LF.
      command=${command%$'\r'} args=${args%$'\r'}
      echo "request $(basename "$request"): $command $args"
      case $command in
        storm | video)
          isolate_ports on
          # shellcheck disable=SC2086
          ip netns exec "$FAR_NS" "$FLOOD" f-load "$command" $args "$request.tmp" ||
            echo "failed" >"$request.tmp"
          isolate_ports off
          ;;
        crowd) add_crowd "$args" >"$request.tmp" || echo "failed" >>"$request.tmp" ;;
        calm) remove_crowd; : >"$request.tmp" ;;
        goodbye)
          ip netns exec "$FAR_NS" "$SIM" --subnet "$SUBNET" --only "$args" --goodbye \
            >"$request.tmp" || echo "failed" >>"$request.tmp"
          ;;
        *) echo "unknown request" >"$request.tmp" ;;
      esac
      rm -f "$request"
      mv "$request.tmp" "$request.done"
    done
    sleep 0.05
  done
}

start_loads() {
  FLOOD=${NORVANE_FLOOD:-$(dirname "$SIM")/norvane-flood}
  rm -rf "$STATE/requests" "$STATE/crowd.list"
  mkdir -p "$STATE/requests"
  chmod 777 "$STATE/requests"
  [[ -x $FLOOD ]] || { echo "lab: no norvane-flood beside $SIM; no loads" >&2; return 0; }
  add_load_port || return 1
  (
    trap - EXIT INT TERM
    exec 8>&- 9>&-
    serve_requests
  ) >"$LOGS/loads.log" 2>&1 </dev/null &
  record $! loads
}

# ---------------------------------------------------------------- peers ----

# spawn NAME NS HOSTNAME COMMAND...: own mount and UTS namespaces, a private
# /run and its own host name, so nothing touches the machine's /run or name.
spawn() {
  local name=$1 ns=$2 host=$3
  shift 3
  background "$name" ip netns exec "$PREFIX-$ns" unshare --mount --uts --propagation private -- \
    /bin/sh -c '
    mount -t tmpfs -o mode=755 nvs-run /run || exit 1
    mkdir -p /run/lldpd /run/dbus /run/avahi-daemon /run/minidlna /run/lock
    echo "$0" >/proc/sys/kernel/hostname || exit 1
    exec "$@"' "$host" "$@"
}

write_configs() {
  mkdir -p "$STATE/media" "$STATE/minidlna-db" "$STATE/minidlna-log"
  chmod 755 "$STATE"
  cat >"$STATE/lldpd.conf" <<CONF
configure system hostname $PREFIX-switch
configure system description "Norvane lab switch OS 2.1"
configure system platform "NV-SW-8P"
configure system ip management pattern $SUBNET.32
configure lldp tx-interval 5
CONF
  chmod 644 "$STATE/lldpd.conf"
  cat >"$STATE/avahi-daemon.conf" <<CONF
[server]
host-name=$PREFIX-printer
domain-name=local
use-ipv4=yes
use-ipv6=no
allow-interfaces=eth0
[wide-area]
enable-wide-area=no
[publish]
publish-hinfo=no
publish-workstation=no
publish-addresses=yes
[reflector]
enable-reflector=no
[rlimits]
CONF
  cat >"$STATE/minidlna.conf" <<CONF
network_interface=eth0
port=8200
media_dir=V,$STATE/media
db_dir=$STATE/minidlna-db
log_dir=$STATE/minidlna-log
friendly_name=NV Lab Media
serial=20240030
model_number=1
inotify=no
notify_interval=30
CONF
}

have() { command -v "$1" >/dev/null 2>&1; }

# The peers that are installed; a missing one is reported, not fatal.
start_peers() {
  local i
  : >"$STATE/peers.txt"
  if have minidlnad; then
    add_peer_host ssdp 30 || return 1
    spawn minidlna ssdp "$PREFIX-media" \
      minidlnad -S -f "$STATE/minidlna.conf" -P /run/minidlna/minidlna.pid || return 1
    echo "$SUBNET.30 SSDP MiniDLNA" >>"$STATE/peers.txt"
  else
    echo "lab: minidlna is not installed; no real SSDP peer" >&2
  fi
  if have avahi-daemon && have dbus-daemon; then
    add_peer_host mdns 31 || return 1
    spawn avahi mdns "$PREFIX-printer" /bin/sh -c '
      dbus-daemon --system --fork --print-pid=3 3>"$0" || exit 1
      exec avahi-daemon -f "$1" --no-drop-root --no-chroot --no-rlimits' \
      "$STATE/dbus.pid" "$STATE/avahi-daemon.conf" || return 1
    for ((i = 0; i < 50; i++)); do
      [[ -s $STATE/dbus.pid ]] && break
      sleep 0.1
    done
    [[ -s $STATE/dbus.pid ]] && record "$(cat "$STATE/dbus.pid")" dbus-daemon
    echo "$SUBNET.31 mDNS $PREFIX-printer" >>"$STATE/peers.txt"
  fi
  if have lldpd; then
    add_peer_host lldp 32 || return 1
    # -l -ccc: LLDP and CDP (v1 and v2) without waiting for a CDP neighbour.
    spawn lldpd lldp "$PREFIX-switch" \
      lldpd -d -l -ccc -I eth0 -u /run/lldpd.socket -O "$STATE/lldpd.conf" || return 1
    echo "$SUBNET.32 LLDP $PREFIX-switch" >>"$STATE/peers.txt"
  fi
  if have wsdd; then
    add_peer_host wsd 33 || return 1
    spawn wsdd wsd "$PREFIX-pc" wsdd -4 -i eth0 -n "${PREFIX^^}-PC" -w NVLAB -s || return 1
    echo "$SUBNET.33 WS-Discovery ${PREFIX^^}-PC" >>"$STATE/peers.txt"
  fi
}

start_sim() {
  add_devices || return 1
  "$SIM" --subnet "$SUBNET" --expect >"$STATE/expect.jsonl" || return 1
  background norvane-sim ip netns exec "$FAR_NS" "$SIM" --subnet "$SUBNET" --serve || return 1
  local i
  for ((i = 0; i < 100; i++)); do
    grep -q 'norvane-sim: ready' "$LOGS/norvane-sim.log" 2>/dev/null && return 0
    [[ -n $(start_time "$(awk '$3 == "norvane-sim" {print $1}' "$PIDS")") ]] || break
    sleep 0.1
  done
  echo "lab: norvane-sim did not get ready:" >&2
  cat "$LOGS/norvane-sim.log" >&2
  return 1
}

# ----------------------------------------------------------------- main ----

lab_env() {
  echo "export NORVANE_LAB_DIR=$STATE NORVANE_LAB_SUBNET=$SUBNET NORVANE_LAB_NS=$HOST_NS"
}

up() {
  local loopback=0 peers=1
  SIM=${NORVANE_SIM:-$ROOT/build/native/tests/sim/norvane-sim}
  while [[ $# -gt 0 ]]; do
    case $1 in
      --loopback) loopback=1 ;;
      --no-peers) peers=0 ;;
      --sim) SIM=$2; shift ;;
      *) die "unknown option $1" ;;
    esac
    shift
  done
  require_root
  mkdir -p "$STATE" "$LOGS" || die "cannot create $STATE"
  teardown
  rm -f "$STATE/expect.jsonl" "$STATE/peers.txt" "$STATE/dbus.pid"
  : >"$STATE/peers.txt"
  : >"$STATE/expect.jsonl"
  make_host
  if ((loopback)); then
    echo "lab $LAB: host namespace $HOST_NS (loopback only)"
    return 0
  fi
  [[ -x $SIM ]] || die "norvane-sim not found at $SIM (build it: cmake --build --preset native --target norvane-sim)"
  make_far || die "network setup failed"
  start_sim || die "the simulator did not start"
  start_loads || die "the load port could not be made"
  if ((peers)); then
    write_configs
    start_peers || die "a peer daemon did not start; logs in $LOGS"
  fi
  echo "lab $LAB: host namespace $HOST_NS, adapter nvs0 $SUBNET.1/24;" \
    "$(wc -l <"$STATE/expect.jsonl") expected answers from $("$SIM" --list | wc -l) simulated devices;" \
    "peers: $(awk '{print $2}' "$STATE/peers.txt" | tr '\n' ' ')"
}

in_host() {
  eval "$(lab_env)"
  ip netns exec "$HOST_NS" "$@"
}

case $COMMAND in
  up)
    exec 9>"$LOCK"
    flock -w 300 9 || die "another run holds $LOCK"
    up "$@"
    ;;
  exec)
    require_root
    ip netns list | awk '{print $1}' | grep -qx "$HOST_NS" || die "lab $LAB is not up"
    in_host "$@"
    ;;
  run)
    up_args=()
    while [[ $# -gt 0 && $1 != -- ]]; do up_args+=("$1"); shift; done
    [[ $# -gt 0 ]] && shift
    [[ $# -gt 0 ]] || die "run: no command after --"
    require_root
    exec 9>"$LOCK"
    flock -w 1800 9 || die "another run holds $LOCK"
    trap 'teardown' EXIT
    trap 'exit 130' INT TERM
    up "${up_args[@]}"
    in_host "$@" 9>&-
    status=$?
    exit "$status"
    ;;
  env) lab_env ;;
  down)
    require_root
    exec 9>"$LOCK"
    flock -w 300 9 || die "another run holds $LOCK"
    teardown
    rm -f "$PIDS"
    echo "lab $LAB: down"
    ;;
  *) die "unknown command $COMMAND" ;;
esac
