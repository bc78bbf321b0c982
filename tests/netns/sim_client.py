#!/usr/bin/env python3
"""Sends the discovery requests into the lab from its host namespace and
checks that every simulated device answers from its own MAC and address,
and that the simulated switch's LLDP announcements reach the adapter.

  sim_client.py SIM [--decoder NORVANE_DECODE] [--pcap OUT.pcap] [--peers]

Runs inside the lab's host namespace (adapter nvs0). The requests and the
expected answers come from the simulator itself (--requests, and the lab's
expect.jsonl). Every frame seen on nvs0 is recorded; with --decoder the
capture also goes through norvane-decode, whose decoded fields must match.
With --peers, the real peers listed in peers.txt must answer too (SSDP).
"""
import json
import os
import socket
import struct
import subprocess
import sys
import time

ETH_P_ALL = 0x0003
IFACE = "nvs0"
LISTEN_SECONDS = 1.5


def fail(msg):
    print("FAIL:", msg)
    return 1


def host_address():
    subnet = os.environ["NORVANE_LAB_SUBNET"]
    return subnet + ".1", subnet + ".255"


def own_mac():
    with open(f"/sys/class/net/{IFACE}/address") as f:
        return bytes.fromhex(f.read().strip().replace(":", ""))


def udp_socket(bind_ip, port):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_BINDTODEVICE, IFACE.encode())
    s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 1)
    s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(bind_ip if bind_ip != "0.0.0.0" else host_address()[0]))
    s.bind((bind_ip, port))
    return s


def inquiry_frame(mac, ip):
    body = bytearray(66)
    body[0:4] = b"\x21\x02\x01\x42"
    body[4:8] = struct.pack(">I", 1)
    body[8:12] = b"\x06\x04\x03\x00"
    body[14:20] = mac
    body[20:24] = socket.inet_aton(ip)
    body[24:30] = b"\xff" * 6
    total = sum(struct.unpack(">33H", bytes(body)))
    while total > 0xFFFF:
        total = (total & 0xFFFF) + (total >> 16)
    check = ~total & 0xFFFF
    body[12] = check & 0xFF
    body[13] = check >> 8
    return b"\xff" * 6 + mac + b"\x80\x33" + bytes(body)


def parse(frame):
    """(src mac text, ethertype, src ip, sport, dport) of a frame."""
    if len(frame) < 14:
        return None
    src = ":".join(f"{b:02X}" for b in frame[6:12])
    etype = struct.unpack(">H", frame[12:14])[0]
    if etype == 0x0800 and len(frame) >= 14 + 28:
        ihl = (frame[14] & 15) * 4
        if frame[23] == 17 and len(frame) >= 14 + ihl + 8:
            sport, dport = struct.unpack(">HH", frame[14 + ihl:14 + ihl + 4])
            return src, etype, socket.inet_ntoa(frame[26:30]), sport, dport
        return src, etype, socket.inet_ntoa(frame[26:30]), 0, 0
    return src, etype, "", 0, 0


def write_pcap(path, frames):
    with open(path, "wb") as f:
        f.write(struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 1))
        for t, frame in frames:
            f.write(struct.pack("<IIII", int(t), int((t % 1) * 1e6), len(frame), len(frame)))
            f.write(frame)


def main(argv):
    sim = argv[1]
    decoder = argv[argv.index("--decoder") + 1] if "--decoder" in argv else None
    pcap = argv[argv.index("--pcap") + 1] if "--pcap" in argv else None
    check_peers = "--peers" in argv
    lab = os.environ["NORVANE_LAB_DIR"]
    subnet = os.environ["NORVANE_LAB_SUBNET"]
    me, directed = host_address()
    mac = own_mac()
    expect = [json.loads(line) for line in open(os.path.join(lab, "expect.jsonl"))]
    if not expect:
        return fail("no expectations in expect.jsonl")
    requests = []
    for line in subprocess.run([sim, "--subnet", subnet, "--requests"], check=True,
                               capture_output=True, text=True).stdout.splitlines():
        dest, port, own, payload = line.split()
        requests.append((dest, int(port), own == "1", bytes.fromhex(payload)))

    cap = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(ETH_P_ALL))
    cap.bind((IFACE, 0))
    cap.setblocking(False)

    main_sock = udp_socket(me, 0)
    main_port = main_sock.getsockname()[1]
    port_socks = {}
    for dest, port, own, payload in requests:
        sock = main_sock
        if own:
            if port not in port_socks:
                port_socks[port] = udp_socket("0.0.0.0", port)
            sock = port_socks[port]
        targets = [directed, "255.255.255.255"] if dest == "255.255.255.255" else [dest]
        for t in targets:
            sock.sendto(payload, (t, port))
    raw = socket.socket(socket.AF_PACKET, socket.SOCK_RAW)
    raw.bind((IFACE, 0))
    raw.send(inquiry_frame(mac, me))
    started = time.time()

    frames = []
    while time.time() - started < LISTEN_SECONDS:
        try:
            data, addr = cap.recvfrom(65536)
        except BlockingIOError:
            time.sleep(0.01)
            continue
        if addr[2] == socket.PACKET_OUTGOING:
            continue
        frames.append((time.time(), data))
    if pcap:
        write_pcap(pcap, frames)
    print(f"{len(frames)} frames in {LISTEN_SECONDS} s; main socket port {main_port}")

    parsed = [p for p in (parse(f) for _, f in frames) if p]
    errors = 0
    # Each simulated device speaks only from its own MAC and address.
    devices = {e["wire_mac"]: e["wire_ip"] for e in expect}
    for src, etype, ip, sport, dport in parsed:
        if src in devices and etype == 0x0800 and ip != devices[src]:
            errors += fail(f"frame from {src} carries {ip}, not {devices[src]}")
    for e in expect:
        port = main_port if e["port"] == 50123 else e["port"]
        if e["path"] in ("frame", "lldp"):
            # A raw SADP reply, or a switch's announcement (which comes
            # unasked, every second) that the bridge must let through.
            etype = 0x8033 if e["path"] == "frame" else 0x88CC
            hit = [p for p in parsed if p[0] == e["wire_mac"] and p[1] == etype]
        else:
            hit = [p for p in parsed if p[0] == e["wire_mac"] and p[1] == 0x0800 and
                   p[2] == e["wire_ip"] and p[4] == port]
        state = "ok" if hit else "MISSING"
        print(f"{state:8} {e['device']:12} {e['path']:5} {e['protocol']:8} {e['wire_ip']:12} "
              f"{e['wire_mac']} -> port {port}")
        if not hit:
            errors += 1
    if check_peers:
        for line in open(os.path.join(lab, "peers.txt")):
            ip, proto, _ = line.split(None, 2)
            if proto != "SSDP":
                continue
            hit = [p for p in parsed if p[2] == ip and p[3] == 1900 and p[4] == main_port]
            print(f"{'ok' if hit else 'MISSING':8} peer {ip} SSDP answer")
            errors += 0 if hit else 1

    if decoder and pcap:
        out = subprocess.run([decoder, pcap], check=True, capture_output=True, text=True).stdout
        decoded = [json.loads(line) for line in out.splitlines()]
        for e in expect:
            keys = ("protocol", "name", "model", "info")
            hit = [d for d in decoded if d["source_mac"] == e["wire_mac"] and
                   all(d.get(k, "") == e[k] for k in keys)]
            if not hit:
                errors += fail(f"norvane-decode does not show {e['device']} {e['protocol']} "
                               f"as {[e[k] for k in keys]}")
        print(f"norvane-decode: {len(decoded)} frames kept")
    print("PASS" if errors == 0 else f"{errors} problems")
    return 0 if errors == 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
