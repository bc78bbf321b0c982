#!/usr/bin/env bash
# Capture lab: the Windows capture back-ends and the raw frame sender under
# Wine, inside two network namespaces of their own joined by one veth pair.
# The near namespace runs a whole Wine session (its own prefix and
# wineserver); the far namespace sends discovery frames and captures what the
# near side sends. Nothing leaves the two namespaces.
#
#   tests/capture_lab.sh PHASE TEST_EXE STANDIN_DLL WORKDIR
#
# PHASE: pktmon     Packet Monitor back-end, first without Pktmonapi.dll, then
#                   against the stand-in placed in the prefix's system32 (and
#                   removed again at the end);
#        npcap      capture of the far side's frames, stopping;
#        raw_sender the SADP inquiry seen on the far side, byte for byte;
#        link_down  the near interface removed while capturing (switching it
#                   off alone does not end a libpcap capture);
#        window     TEST_EXE is window_capture_lab_test.exe: the real window
#                   (under Xvfb in the near namespace) captures the far
#                   side's devices, sends one raw inquiry, then rides out a
#                   flood of NVC_FLOOD_SECONDS (default 10), and finally
#                   stops capturing when the interface is removed;
#        throughput TEST_EXE is norvane-capture-bench.exe: the far side floods
#                   for NVC_FLOOD_SECONDS (default 10) and the bench reports
#                   the frames per second it carried (a measurement, no test).
#                   NVC_FLOOD picks the flood: "mixed" (default; broadcast and
#                   ARP frames from far_frames.py), or "storm" or "video" from
#                   norvane-flood (NORVANE_FLOOD, default the native build's).
# Needs root (namespaces, and libpcap behind Wine's wpcap). Exits 77 when it
# cannot run here. Every process started is recorded and stopped by PID; the
# namespaces are deleted at the end, and a new run first removes what an
# interrupted one left.
set -uo pipefail

readonly SKIP=77
readonly HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
readonly NEAR=nvc-near FAR=nvc-far NEAR_IF=nvc-n0 FAR_IF=nvc-f0
readonly NEAR_IP=10.80.0.1 FAR_IP=10.80.0.2
readonly FLOOD_TOOL=${NORVANE_FLOOD:-$HERE/../build/native/tests/sim/norvane-flood}

skip() {
  echo "SKIP: $*"
  exit "$SKIP"
}
die() {
  echo "capture lab: $*" >&2
  exit 1
}

[[ $# -eq 4 ]] || die "usage: capture_lab.sh PHASE TEST_EXE STANDIN_DLL WORKDIR"
readonly PHASE=$1 TEST_EXE=$2 STANDIN=$3
[[ $(id -u) -eq 0 ]] || skip "the capture lab needs root to create network namespaces"
mkdir -p "$4" || die "cannot create $4"
readonly WORK=$(cd "$4" && pwd)
readonly PIDS="$WORK/pids" LOGS="$WORK/logs"

for tool in ip wine wineserver tcpdump /usr/bin/python3 flock; do
  command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed"
done
[[ -f $TEST_EXE && -f $STANDIN ]] || die "build capture_lab_test and Pktmonapi first"

exec 9>/tmp/nvc-capture-lab.lock
flock -w 300 9 || die "another capture lab run holds /tmp/nvc-capture-lab.lock"
mkdir -p "$LOGS"

# ----------------------------------------------------------- processes ----

LAB_NAME="capture lab"
source "$HERE/support/processes.sh"

# ------------------------------------------------------------- cleanup ----

export WINEPREFIX="$WORK/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
unset DISPLAY
readonly SYSTEM32="$WINEPREFIX/drive_c/windows/system32"

cleanup() {
  rm -f "$SYSTEM32/Pktmonapi.dll" "$SYSTEM32/pktmonapi.dll"
  if ip netns list 2>/dev/null | grep -qw "$NEAR"; then
    ip netns exec "$NEAR" wineserver -k </dev/null >/dev/null 2>&1
  fi
  stop_recorded
  delete_namespace "$NEAR"
  delete_namespace "$FAR"
}
cleanup
trap cleanup EXIT

# --------------------------------------------------------------- network ----

ip netns add "$NEAR" && ip netns add "$FAR" || skip "cannot create network namespaces"
ip -n "$NEAR" link add "$NEAR_IF" type veth peer name "$FAR_IF" netns "$FAR" || die "veth"
for side in "$NEAR $NEAR_IF $NEAR_IP" "$FAR $FAR_IF $FAR_IP"; do
  read -r ns ifname addr <<<"$side"
  ip netns exec "$ns" sysctl -qw net.ipv6.conf.all.disable_ipv6=1
  ip -n "$ns" link set lo up
  ip -n "$ns" addr add "$addr/24" dev "$ifname"
  ip -n "$ns" link set "$ifname" up
  ip -n "$ns" route add 224.0.0.0/4 dev "$ifname"
done
NEAR_MAC=$(cat "/sys/class/net/$NEAR_IF/address" 2>/dev/null ||
  ip netns exec "$NEAR" cat "/sys/class/net/$NEAR_IF/address")
readonly NEAR_MAC

# ----------------------------------------------------------------- Wine ----

near() { ip netns exec "$NEAR" "$@"; }

if [[ ! -f $WINEPREFIX/system.reg ]]; then
  echo "creating the lab's Wine prefix"
  near wine wineboot --init </dev/null >"$LOGS/wineboot.log" 2>&1
fi
near wineserver -p </dev/null >/dev/null 2>&1
near wine wineboot </dev/null >/dev/null 2>&1

win_path() { echo "Z:${1//\//\\}"; }

run_tests() {  # FILTER [VAR=VALUE...]
  local filter=$1
  shift
  near env NVC_IFACE="$NEAR_IF" "$@" wine "$TEST_EXE" --gtest_filter="$filter" </dev/null
}

far_sender() {  # [STOP_FILE]
  background far-sender ip netns exec "$FAR" /usr/bin/python3 "$HERE/capture/far_frames.py" \
    send "$FAR_IF" "$HERE/../fuzz/corpus" "$@" || die "far sender did not start"
}

status=0
case $PHASE in
  pktmon)
    rm -f "$SYSTEM32/Pktmonapi.dll" "$SYSTEM32/pktmonapi.dll"
    run_tests 'PktMonAbsent.*' || status=1
    cp "$STANDIN" "$SYSTEM32/Pktmonapi.dll" || die "cannot place the stand-in"
    run_tests 'PktMonStandin.*' || status=1
    rm -f "$SYSTEM32/Pktmonapi.dll"
    ;;
  npcap)
    far_sender
    run_tests 'NpcapLab.FramesFromTheFarSideReachTheCallback:NpcapLab.StoppingJoinsPromptlyAndEndsDelivery:NpcapLab.UnknownDeviceStartsNoCapture' ||
      status=1
    ;;
  raw_sender)
    background far-tcpdump ip netns exec "$FAR" tcpdump -i "$FAR_IF" -Q in -U -n --immediate-mode \
      -w "$WORK/inquiries.pcap" "ether proto 0x8033 and ether src $NEAR_MAC" || die "tcpdump"
    for _ in $(seq 100); do grep -q "listening on" "$LOGS/far-tcpdump.log" && break; sleep 0.05; done
    rm -f "$WORK/sent.txt"
    run_tests 'NpcapLab.RawInquiryLeavesOncePerSend' NVC_SENT_FILE="$(win_path "$WORK/sent.txt")" ||
      status=1
    sleep 0.5
    stop_named far-tcpdump INT
    /usr/bin/python3 "$HERE/capture/far_frames.py" check "$WORK/inquiries.pcap" "$WORK/sent.txt" \
      "$NEAR_MAC" || status=1
    ;;
  link_down)
    far_sender
    rm -f "$WORK/down"
    background link-down bash -c "while [ ! -e '$WORK/down' ]; do sleep 0.05; done
      ip -n $NEAR link delete $NEAR_IF" || die "watcher did not start"
    run_tests 'NpcapLab.InterfaceRemovedWhileCapturingGivesExactlyOneFailure' \
      NVC_DOWN_FILE="$(win_path "$WORK/down")" || status=1
    ;;
  window)
    command -v Xvfb >/dev/null 2>&1 || skip "Xvfb is not installed"
    n=90
    while [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]]; do n=$((n + 1)); done
    background xvfb ip netns exec "$NEAR" Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp ||
      die "Xvfb did not start"
    for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X$n ]] && break; sleep 0.1; done
    export DISPLAY=":$n"
    near wineserver -k </dev/null >/dev/null 2>&1  # a session that knows the display
    near wineserver -p </dev/null >/dev/null 2>&1
    near wine wineboot </dev/null >/dev/null 2>&1
    near wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
    background far-tcpdump ip netns exec "$FAR" tcpdump -i "$FAR_IF" -Q in -U -n --immediate-mode \
      -w "$WORK/window-inquiries.pcap" "ether proto 0x8033 and ether src $NEAR_MAC" || die "tcpdump"
    for _ in $(seq 100); do grep -q "listening on" "$LOGS/far-tcpdump.log" && break; sleep 0.05; done
    rm -f "$WORK"/flood* "$WORK"/paced* "$WORK/quiet"
    far_sender "$WORK/quiet"
    secs=${NVC_FLOOD_SECONDS:-10}
    # Two requests from the test, in order: a flood at full speed, then a
    # paced one (2000 frames/s for 5 s) that the capture can count whole.
    background flood-watch bash -c "
      while [ ! -e '$WORK/flood' ]; do sleep 0.05; done
      ip netns exec $FAR /usr/bin/python3 '$HERE/capture/far_frames.py' flood $FAR_IF $secs \
        '$WORK/flood.txt'
      touch '$WORK/flood.done'
      while [ ! -e '$WORK/paced' ]; do sleep 0.05; done
      ip netns exec $FAR /usr/bin/python3 '$HERE/capture/far_frames.py' flood $FAR_IF 5 \
        '$WORK/paced.txt' 2000
      touch '$WORK/paced.done'" || die "flood watcher did not start"
    rm -f "$WORK/down"
    background link-down bash -c "while [ ! -e '$WORK/down' ]; do sleep 0.05; done
      ip -n $NEAR link delete $NEAR_IF" || die "watcher did not start"
    run_tests "${NVC_WINDOW_FILTER:-*}" NVC_FLOOD_FILE="$WORK/flood" NVC_PACED_FILE="$WORK/paced" \
      NVC_DOWN_FILE="$WORK/down" NVC_QUIET_FILE="$WORK/quiet" || status=1
    [[ -s $WORK/flood.txt ]] && echo "far side flood: $(cat "$WORK/flood.txt") (frames bytes) in $secs s"
    [[ -s $WORK/paced.txt ]] && echo "far side paced: $(cat "$WORK/paced.txt") (frames bytes) in 5 s"
    sleep 0.3
    stop_named far-tcpdump INT
    # One search, so one raw inquiry, at each of the two windows' start.
    if [[ -z ${NVC_WINDOW_FILTER:-} ]]; then
      /usr/bin/python3 "$HERE/capture/far_frames.py" inquiries "$WORK/window-inquiries.pcap" \
        "$NEAR_MAC" 2 || status=1
    fi
    ;;
  throughput)
    secs=${NVC_FLOOD_SECONDS:-10}
    rm -f "$WORK/flood.txt"
    case ${NVC_FLOOD:-mixed} in
      mixed)
        background far-flood ip netns exec "$FAR" /usr/bin/python3 "$HERE/capture/far_frames.py" \
          flood "$FAR_IF" $((secs + 2)) "$WORK/flood.txt" || die "flood did not start"
        ;;
      storm | video)
        [[ -x $FLOOD_TOOL ]] || die "no $FLOOD_TOOL (native build, target norvane-flood)"
        background far-flood ip netns exec "$FAR" "$FLOOD_TOOL" "$FAR_IF" "$NVC_FLOOD" \
          $((secs + 2)) "$WORK/flood.txt" || die "flood did not start"
        ;;
      *) die "NVC_FLOOD is mixed, storm or video" ;;
    esac
    sleep 0.5
    near wine "$TEST_EXE" "$NEAR_IF" "$secs" </dev/null || status=1
    for _ in $(seq 100); do [[ -s $WORK/flood.txt ]] && break; sleep 0.1; done
    read -r sent sent_bytes <"$WORK/flood.txt"
    echo "far side sent $sent frames ($sent_bytes bytes) in $((secs + 2)) s:" \
      "$((sent / (secs + 2))) frames/s"
    ;;
  *) die "unknown phase $PHASE" ;;
esac
exit "$status"
