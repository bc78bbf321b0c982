#!/usr/bin/env bash
# Discovery lab: real Debian discovery daemons run as independent peers in
# private network namespaces joined by a bridge, and an observer namespace
# captures what they send (and what they answer to its queries) into pcap
# files for the decoder comparison (compare.py).
#
#   tests/lab/lab.sh OUTDIR
#
# Needs root. Exits 77 (skipped) when root, network namespaces or a peer
# daemon is missing. Nothing leaves the namespaces: every link is a veth pair
# inside them, with private addresses (10.77.0.0/24, fd00:77::/64). Every
# process started here is recorded with its start time and stopped by PID;
# the namespaces are deleted at the end. A second run first removes what an
# interrupted run left behind.
#
# Results in OUTDIR: lab.pcap (everything the observer saw) and one file per
# protocol (lldp, cdp, mdns, llmnr, ssdp, wsd .pcap), logs/ and run/.
set -uo pipefail

readonly SKIP=77
readonly PREFIX=nvlab
readonly HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

skip() {
  echo "SKIP: $*"
  exit "$SKIP"
}
die() {
  echo "lab: $*" >&2
  exit 1
}

[[ $# -eq 1 ]] || die "usage: lab.sh OUTDIR"
OUT=$(mkdir -p "$1" && cd "$1" && pwd) || die "cannot create $1"
readonly OUT RUN="$OUT/run" LOGS="$OUT/logs"
readonly PIDS="$RUN/pids"

[[ $(id -u) -eq 0 ]] || skip "the discovery lab needs root to create network namespaces"
for tool in ip unshare nsenter mount tcpdump python3 flock; do
  command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed"
done
missing=()
for tool in lldpd lldpcli avahi-daemon avahi-publish dbus-daemon dbus-send wsdd llmnrd minidlnad; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
[[ ${#missing[@]} -eq 0 ]] ||
  skip "peer daemons missing: ${missing[*]} (Debian packages: $(tr '\n' ' ' <"$HERE/packages.txt"))"

# One lab at a time on this machine: the namespace names are fixed.
exec 9>/tmp/norvane-lab.lock
flock -w 600 9 || die "another lab run holds /tmp/norvane-lab.lock"

# ----------------------------------------------------------- processes ----

# Stopping the recorded processes goes newest first, so that daemons say
# goodbye while the capture still runs (the capture is the oldest).
LAB_NAME=lab
source "$HERE/../support/processes.sh"

our_namespaces() { ip netns list 2>/dev/null | awk '{print $1}' | grep "^$PREFIX-" || true; }

# Everything left inside our namespaces was forked by a daemon started here.
cleanup() {
  stop_recorded
  local ns
  for ns in $(our_namespaces); do delete_namespace "$ns"; done
}

# --------------------------------------------------------------- network ----

# host name, namespace suffix, last address byte
readonly HOSTS=(
  "nvlab-observer cap 1"
  "nvlab-switch lldp 11"
  "nvlab-router cdp 12"
  "nvlab-camera mdns 13"
  "nvlab-pc wsd 14"
  "nvlab-printer llmnr 15"
  "nvlab-media ssdp 16"
  "nvlab-onvif onvif 17"
  "nvlab-gateway upnp 18"
)

in_ns() {
  local ns=$1
  shift
  ip netns exec "$PREFIX-$ns" "$@"
}

setup_network() {
  ip netns add "$PREFIX-br" || return 1
  in_ns br ip link set lo up
  in_ns br ip link add br0 type bridge || return 1
  # Forward LLDP (01:80:C2:00:00:0E) like a hub; no IGMP/MLD snooping, so
  # every multicast frame reaches every port.
  in_ns br ip link set br0 type bridge group_fwd_mask 0x4000 mcast_snooping 0 stp_state 0
  in_ns br ip link set br0 up
  local entry host ns n hex
  for entry in "${HOSTS[@]}"; do
    read -r host ns n <<<"$entry"
    printf -v hex '%02x' "$n"
    ip netns add "$PREFIX-$ns" || return 1
    in_ns "$ns" sysctl -qw net.ipv6.conf.all.accept_dad=0 net.ipv6.conf.default.accept_dad=0
    in_ns br ip link add "p-$ns" type veth peer name eth0 netns "$PREFIX-$ns" || return 1
    in_ns br ip link set "p-$ns" master br0 up
    in_ns "$ns" ip link set lo up
    in_ns "$ns" ip link set eth0 address "02:77:00:00:00:$hex"
    in_ns "$ns" ip addr add "10.77.0.$n/24" dev eth0
    in_ns "$ns" ip addr add "fd00:77::$n/64" dev eth0 nodad
    in_ns "$ns" ip link set eth0 up
    in_ns "$ns" ip route add 224.0.0.0/4 dev eth0
  done
  # miniupnpd wants an external interface: a veth pair inside its namespace.
  in_ns upnp ip link add ext0 type veth peer name ext1
  in_ns upnp ip addr add 10.78.0.2/24 dev ext0
  in_ns upnp ip link set ext0 up
  in_ns upnp ip link set ext1 up
}

# ---------------------------------------------------------------- peers ----

# spawn NAME NS HOSTNAME COMMAND...: runs the command in the namespace with
# its own mount and UTS namespaces, a private /run and its own host name.
spawn() {
  local name=$1 ns=$2 host=$3
  shift 3
  background "$name" ip netns exec "$PREFIX-$ns" unshare --mount --uts --propagation private -- \
    /bin/sh -c '
    mount -t tmpfs -o mode=755 nvlab-run /run || exit 1
    mkdir -p /run/lldpd /run/dbus /run/avahi-daemon /run/minidlna /run/lock
    echo "$0" >/proc/sys/kernel/hostname || exit 1
    exec "$@"' "$host" "$@"
}

# spawn_in PID NAME COMMAND...: runs the command inside the namespaces of an
# already running peer (to reach its private D-Bus).
spawn_in() {
  local target=$1 name=$2
  shift 2
  background "$name" nsenter --target "$target" --mount --uts --net -- "$@"
}

pid_of() { awk -v n="$1" '$3 == n {print $1}' "$PIDS"; }

# The switch also names its port's VLAN, 20, in an IEEE 802.1 Port VLAN ID
# TLV (00-80-C2, subtype 1). lldpd takes a port's VLAN from a VLAN-aware
# bridge (the port's PVID) or a VLAN interface on top of it, but this
# kernel has neither bridge VLAN filtering nor 802.1Q interfaces, so the
# TLV is given to lldpd as a custom TLV, which it sends as it is.
write_configs() {
  mkdir -p "$RUN/media" "$RUN/minidlna-db" "$RUN/minidlna-log"
  chmod 755 "$RUN"
  cat >"$RUN/lldp-switch.conf" <<'EOF'
configure system hostname nvlab-switch
configure system description "Norvane lab switch OS 2.1 build 42"
configure system ip management pattern 10.77.0.11,fd00:77::11
configure lldp tx-interval 4
configure lldp portidsubtype ifname
configure ports eth0 lldp portdescription "uplink to observer"
configure inventory model "NV-SW-24P"
configure inventory manufacturer "Norvane Lab"
configure lldp custom-tlv oui 00,80,c2 subtype 1 oui-info 00,14
EOF
  cat >"$RUN/lldp-router.conf" <<'EOF'
configure system hostname nvlab-router
configure system description "Norvane lab router 9.0"
configure system platform "NV-Router 9000"
configure system ip management pattern fd00:77::12,10.77.0.12
configure lldp tx-interval 4
EOF
  chmod 644 "$RUN"/*.conf
  cat >"$RUN/avahi-daemon.conf" <<'EOF'
[server]
host-name=nvlab-camera
domain-name=local
use-ipv4=yes
use-ipv6=yes
allow-interfaces=eth0
ratelimit-interval-usec=1000000
ratelimit-burst=1000
[wide-area]
enable-wide-area=no
[publish]
publish-hinfo=no
publish-workstation=no
publish-addresses=yes
[reflector]
enable-reflector=no
[rlimits]
EOF
  cat >"$RUN/minidlna.conf" <<EOF
network_interface=eth0
port=8200
media_dir=V,$RUN/media
db_dir=$RUN/minidlna-db
log_dir=$RUN/minidlna-log
friendly_name=NV Lab Media
serial=20240001
model_number=1
inotify=no
notify_interval=4
EOF
  cat >"$RUN/miniupnpd.conf" <<'EOF'
ext_ifname=ext0
listening_ip=eth0
http_port=5000
enable_natpmp=no
enable_upnp=yes
secure_mode=yes
system_uptime=yes
notify_interval=4
friendly_name=NV Lab Gateway
uuid=6e6f7276-616e-6500-0000-000000000018
serial=20240018
model_number=18
allow 1024-65535 10.77.0.0/24 1024-65535
deny 0-65535 0.0.0.0/0 0-65535
EOF
}

start_peers() {
  spawn lldpd-switch lldp nvlab-switch \
    lldpd -d -M 2 -I eth0 -u /run/lldpd.socket -O "$RUN/lldp-switch.conf" || return 1
  # -ccc sends CDPv1 and CDPv2 without waiting for a CDP neighbour; -l keeps LLDP on.
  spawn lldpd-router cdp nvlab-router \
    lldpd -d -l -ccc -I eth0 -u /run/lldpd.socket -O "$RUN/lldp-router.conf" || return 1

  # avahi needs a system bus: a private dbus-daemon in the same mount
  # namespace, whose PID is recorded once it has forked.
  spawn avahi mdns nvlab-camera /bin/sh -c '
    dbus-daemon --system --fork --print-pid=3 3>"$0" || exit 1
    exec avahi-daemon -f "$1" --no-drop-root --no-chroot --no-rlimits' \
    "$RUN/dbus.pid" "$RUN/avahi-daemon.conf" || return 1
  local i
  for ((i = 0; i < 50; i++)); do
    [[ -s $RUN/dbus.pid ]] && break
    sleep 0.1
  done
  [[ -s $RUN/dbus.pid ]] && record "$(cat "$RUN/dbus.pid")" dbus-daemon

  spawn wsdd wsd nvlab-pc wsdd -i eth0 -n NVLAB-PC -w NVLAB -s || return 1
  spawn llmnrd llmnr nvlab-printer llmnrd -i eth0 -H nvlab-printer -6 || return 1
  spawn minidlna ssdp nvlab-media \
    minidlnad -S -f "$RUN/minidlna.conf" -P /run/minidlna/minidlna.pid || return 1
  spawn onvif-sim onvif nvlab-onvif python3 "$HERE/onvif_peer.py" 10.77.0.17 || return 1
  # miniupnpd is a second SSDP speaker (IPv4 and IPv6); the lab goes on
  # without it if it refuses this setup.
  spawn miniupnpd upnp nvlab-gateway miniupnpd -d -f "$RUN/miniupnpd.conf" -P /run/miniupnpd.pid ||
    echo "lab: miniupnpd did not start (see $LOGS/miniupnpd.log); SSDP comes from minidlna only"

  # Services published through the daemon once it is up.
  # The daemon owns its bus name a moment after it reports its start-up.
  for ((i = 0; i < 100; i++)); do
    nsenter --target "$(pid_of avahi)" --mount -- dbus-send --system --print-reply \
      --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
      string:org.freedesktop.Avahi 2>/dev/null | grep -q 'boolean true' && break
    sleep 0.1
  done
  spawn_in "$(pid_of avahi)" avahi-publish-http \
    avahi-publish -s "NV Lab Camera" _http._tcp 80 "path=/index.html" || return 1
  spawn_in "$(pid_of avahi)" avahi-publish-rtsp \
    avahi-publish -s "NV Lab Camera stream" _rtsp._tcp 554 || return 1
}

# ----------------------------------------------------------------- main ----

mkdir -p "$RUN" "$LOGS"
cleanup
rm -f "$OUT"/*.pcap "$RUN/dbus.pid"
trap 'cleanup' EXIT
trap 'exit 130' INT TERM

if ! ip netns add "$PREFIX-probe" 2>/dev/null; then
  skip "network namespaces are not available here (ip netns add failed)"
fi
ip netns delete "$PREFIX-probe"

setup_network || die "network setup failed"
write_configs

background tcpdump ip netns exec "$PREFIX-cap" tcpdump -i eth0 -s 0 -U -n -w "$OUT/lab.pcap" ||
  die "tcpdump did not start"
for ((i = 0; i < 50; i++)); do
  grep -q 'listening on' "$LOGS/tcpdump.log" && break
  sleep 0.1
done

start_peers || die "a peer daemon did not start; logs in $LOGS"
echo "lab: peers running: $(awk '{print $3}' "$PIDS" | tr '\n' ' ')"

# Let the peers announce themselves, then ask them from the observer.
sleep 4
in_ns cap python3 "$HERE/queries.py" 10.77.0.1 | tee "$LOGS/queries.log"
sleep 6
in_ns cap python3 "$HERE/queries.py" 10.77.0.1 >>"$LOGS/queries.log"
sleep 2

# Stop the peers before the capture, so their goodbyes are captured too.
tcpdump_line=$(grep ' tcpdump$' "$PIDS")
grep -v ' tcpdump$' "$PIDS" >"$PIDS.peers"
mv "$PIDS.peers" "$PIDS"
stop_recorded
sleep 1
echo "$tcpdump_line" >"$PIDS"
stop_recorded
trap - EXIT
cleanup

[[ -s $OUT/lab.pcap ]] || die "nothing was captured"
split_capture() {
  tcpdump -r "$OUT/lab.pcap" -w "$OUT/$1.pcap" "$2" 2>/dev/null || die "cannot split $1"
}
split_capture lldp 'ether proto 0x88cc'
split_capture cdp 'ether dst 01:00:0c:cc:cc:cc'
split_capture mdns 'udp port 5353'
split_capture llmnr 'udp port 5355'
split_capture ssdp 'udp port 1900'
split_capture wsd 'udp port 3702'
for f in lab lldp cdp mdns llmnr ssdp wsd; do
  printf 'lab: %-5s %5s frames\n' "$f" "$(tcpdump -r "$OUT/$f.pcap" 2>/dev/null | wc -l)"
done
