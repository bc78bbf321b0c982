#!/usr/bin/env bash
# The simulator on its own lab segment: sends every discovery request from
# the host namespace and checks that each simulated device answers from its
# own MAC and address and that the answers decode (norvane-decode) to what
# the simulator expects; the real SSDP peer must answer too.
#
#   tests/netns/sim_test.sh NORVANE_SIM OUTDIR [NORVANE_DECODE]
#
# Needs root (exit 77 without it). Uses the "sim" lab (namespaces nvsn-*).
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
sim=${1:?norvane-sim}
out=${2:?output directory}
decoder=${3:-}
[[ $(id -u) -eq 0 ]] || { echo "SKIP: the namespace test needs root"; exit 77; }
command -v python3 >/dev/null || { echo "SKIP: python3 missing"; exit 77; }
mkdir -p "$out"
args=(--pcap "$out/sim.pcap" --peers)
[[ -n $decoder && -x $decoder ]] && args+=(--decoder "$decoder")
# Peers: only the SSDP one is checked here; the others cost start-up time.
"$here/lab.sh" sim run --sim "$sim" -- python3 "$here/sim_client.py" "$sim" "${args[@]}"
status=$?
# The run leaves nothing behind: no namespace, no process of the lab.
left=$(ip netns list | awk '{print $1}' | grep '^nvsn-' || true)
if [[ -n $left ]]; then
  echo "FAIL: namespaces left after the run: $left"
  exit 1
fi
exit "$status"
