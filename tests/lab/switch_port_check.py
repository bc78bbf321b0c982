#!/usr/bin/env python3
"""The switch port a real LLDP neighbour names, as tshark dissects it and as
norvane-decode lists it: for every chassis whose LLDPDUs carry an IEEE 802.1
Port VLAN ID, its device line (norvane-decode --devices) must give the port
id and the VLAN of its latest LLDPDU. The lab's lldpd switch announces VLAN
20 (tests/lab/lab.sh), so at least one chassis must.

  switch_port_check.py --decoder NORVANE_DECODE CAPTURE [--tshark TSHARK]
"""
import argparse
import json
import os
import shutil
import subprocess
import sys

from compare import SKIP, lldp_text, mac_upper, tshark_bytes, unicast_mac, as_json_text

FIELDS = ["lldp.chassis.subtype", "lldp.chassis.id.mac", "lldp.time_to_live", "lldp.port.subtype",
          "lldp.port.id", "lldp.port.id.mac", "lldp.ieee.802_1.port_vlan.id"]


def announced_ports(tshark, capture):
    """{chassis MAC: (port id, VLAN)} from each chassis's latest live LLDPDU
    that names a VLAN."""
    cmd = [tshark, "-n", "-r", capture, "-Y", "lldp", "-T", "fields", "-E", "separator=/t",
           "-E", "occurrence=l"]
    for field in FIELDS:
        cmd += ["-e", field]
    out = subprocess.run(cmd, check=True, capture_output=True).stdout.decode("utf-8", "replace")
    ports = {}
    for line in out.splitlines():
        row = dict(zip(FIELDS, line.split("\t")))
        chassis = mac_upper(row.get("lldp.chassis.id.mac", ""))
        vlan = row.get("lldp.ieee.802_1.port_vlan.id", "")
        if row.get("lldp.chassis.subtype") != "4" or not unicast_mac(chassis) or not vlan:
            continue
        if row.get("lldp.time_to_live") in ("", "0"):
            continue  # a shutdown LLDPDU
        subtype = row.get("lldp.port.subtype")
        port = ""
        if subtype == "3" and unicast_mac(row.get("lldp.port.id.mac", "")):
            port = mac_upper(row["lldp.port.id.mac"])
        elif subtype in ("1", "2", "5", "7"):
            port = as_json_text(lldp_text(tshark_bytes(row.get("lldp.port.id", ""))))
        ports[chassis] = (port, int(vlan))
    return ports


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--decoder", required=True)
    parser.add_argument("--tshark", default="tshark")
    parser.add_argument("capture")
    args = parser.parse_args()
    tshark = shutil.which(args.tshark)
    if not os.access(args.decoder, os.X_OK) or tshark is None or not os.path.isfile(args.capture):
        print("SKIP: norvane-decode, tshark or the lab's LLDP capture is missing")
        return SKIP
    want = announced_ports(tshark, args.capture)
    out = subprocess.run([args.decoder, "--devices", args.capture], check=True,
                         capture_output=True).stdout.decode("utf-8")
    rows = {r["mac"]: r for r in map(json.loads, out.splitlines())}
    problems = [] if want else ["no LLDP neighbour announced a Port VLAN ID"]
    for chassis, (port, vlan) in sorted(want.items()):
        row = rows.get(chassis, {})
        got = (row.get("port_id", ""), row.get("port_vlan", 0))
        print(f"{chassis}: tshark port {port!r} VLAN {vlan}; norvane-decode {got}")
        if got != (port, vlan):
            problems.append(f"{chassis}: norvane-decode {got}, tshark {(port, vlan)}")
    for problem in problems:
        print("MISMATCH", problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
