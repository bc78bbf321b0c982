#!/usr/bin/env bash
# Writes seed corpora for the fuzz targets into OUT/<target> (default
# build/fuzz/seeds), read from the shared captures in place, so that no
# capture is copied into the repository:
#   frame-fuzz: every distinct frame of every capture, plus frames built
#               around the text seeds of fuzz/corpus/scan-fuzz (SADP XML,
#               WS-Discovery, DHIP, SSDP), an SADP Ethernet frame and mDNS,
#               and the same payloads in the probe-answer form the target
#               reads (two port selector bytes, then the datagram);
#   scan-fuzz:  the UDP payloads found in the captures.
# Usage: scripts/fuzz-seeds.sh [OUT] [CAPTURES_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/fuzz/seeds}
captures=${2:-../shared/captures}
mkdir -p "$out/frame-fuzz" "$out/scan-fuzz"
python3 - "$out" "$captures" fuzz/corpus/scan-fuzz <<'PY'
import hashlib, os, struct, sys

out, captures, texts = sys.argv[1:4]


def frames_of(path):
    """Frames of a classic pcap (either byte order, micro or nano seconds)
    or of a pcapng file (enhanced and simple packet blocks)."""
    data = open(path, "rb").read()
    if len(data) < 24:
        return
    magic = data[:4]
    if magic in (b"\xd4\xc3\xb2\xa1", b"\x4d\x3c\xb2\xa1", b"\xa1\xb2\xc3\xd4", b"\xa1\xb2\x3c\x4d"):
        e = "<" if magic[0] in (0xD4, 0x4D) else ">"
        if struct.unpack(e + "I", data[20:24])[0] != 1:
            return  # not Ethernet
        off = 24
        while off + 16 <= len(data):
            caplen = struct.unpack(e + "I", data[off + 8:off + 12])[0]
            off += 16
            if caplen > len(data) - off:
                return
            yield data[off:off + caplen]
            off += caplen
    elif magic == b"\x0a\x0d\x0d\x0a":
        e = "<" if data[8:12] == b"\x4d\x3c\x2b\x1a" else ">"
        off = 0
        while off + 12 <= len(data):
            btype, blen = struct.unpack(e + "II", data[off:off + 8])
            if blen < 12 or off + blen > len(data):
                return
            body = data[off + 8:off + blen - 4]
            if btype == 6 and len(body) >= 20:
                caplen = struct.unpack(e + "I", body[12:16])[0]
                yield body[20:20 + caplen]
            elif btype == 3 and len(body) >= 4:
                yield body[4:]
            off += blen


def udp_payload(frame):
    """The UDP payload of an (optionally VLAN-tagged) IPv4 or IPv6 frame."""
    if len(frame) < 14:
        return None
    off, etype = 12, struct.unpack(">H", frame[12:14])[0]
    while etype in (0x8100, 0x88A8, 0x9100) and off + 6 <= len(frame):
        off += 4
        etype = struct.unpack(">H", frame[off:off + 2])[0]
    ip = frame[off + 2:]
    if etype == 0x0800 and len(ip) >= 20 and ip[9] == 17:
        udp = ip[(ip[0] & 15) * 4:]
    elif etype == 0x86DD and len(ip) >= 40 and ip[6] == 17:
        udp = ip[40:]
    else:
        return None
    return udp[8:] if len(udp) > 8 else None


def write(target, content, name):
    digest = hashlib.sha1(content).hexdigest()[:16]
    path = os.path.join(out, target, f"{name}-{digest}")
    if not os.path.exists(path):
        with open(path, "wb") as f:
            f.write(content)
        return 1
    return 0


def mac(text):
    return bytes.fromhex(text.replace(":", ""))


PEER = mac("44:19:b6:01:02:03")


def ipv4_udp(dst_mac, src, dst, sport, dport, payload, vlan=False):
    udp = struct.pack(">HHHH", sport, dport, 8 + len(payload), 0) + payload
    ip = struct.pack(">BBHHHBBH4s4s", 0x45, 0, 20 + len(udp), 0, 0, 64, 17, 0,
                     bytes(src), bytes(dst)) + udp
    tag = b"\x81\x00\x00\x0a" if vlan else b""
    return dst_mac + PEER + tag + b"\x08\x00" + ip


def ipv6_udp(dst_mac, sport, dport, payload):
    udp = struct.pack(">HHHH", sport, dport, 8 + len(payload), 0) + payload
    src = bytes.fromhex("fe800000000000004619b6fffe010203")
    dst = bytes.fromhex("ff0200000000000000000000000000fb")
    return dst_mac + PEER + b"\x86\xdd" + struct.pack(">IHBB", 0x60000000, len(udp), 17, 255) + src + dst + udp


def dhip(body):
    return struct.pack("<I4sQIIII", 32, b"DHIP", 0, len(body), 0, len(body), 0) + body


def sadp_l2():
    p = bytearray(150)
    p[0:2] = b"\x21\x01"
    p[8:10] = b"\x06\x04"
    p[14:20] = PEER
    p[20:24] = bytes([192, 168, 1, 64])
    name = b"DS-2CD2143G2-I20220101AAWRJ12345678"
    p[36:36 + len(name)] = name
    p[102:102 + 18] = b"V5.7.3build 220112"
    return mac("ff:ff:ff:ff:ff:ff") + PEER + b"\x80\x33" + bytes(p)


def mdns_response():
    return (bytes.fromhex("000084000000000100000000") + b"\x05cam-1\x05local\x00" +
            bytes.fromhex("00018001000000780004c0a80140"))


count = {"frame-fuzz": 0, "scan-fuzz": 0}
# Frames of the shared captures, each once.
if os.path.isdir(captures):
    for name in sorted(os.listdir(captures)):
        path = os.path.join(captures, name)
        if not name.endswith((".pcap", ".pcapng", ".cap")) or not os.path.isfile(path):
            continue
        stem = os.path.splitext(name)[0]
        for frame in frames_of(path):
            count["frame-fuzz"] += write("frame-fuzz", frame, stem)
            payload = udp_payload(frame)
            if payload:
                count["scan-fuzz"] += write("scan-fuzz", payload, stem)
else:
    print(f"fuzz-seeds: no captures at {captures}", file=sys.stderr)

# Frames around the text seeds, to the ports that decode them. The probe
# answer form is two selector bytes (indices into the target's port list:
# 1900 -> 1, 3702 -> 2, 5353 -> 3, 37020 -> 7, 37810 -> 8) and the datagram.
group = mac("01:00:5e:7f:ff:fa")
src, mcast = [192, 168, 1, 64], [239, 255, 255, 250]
routes = {".xml": [(37020, 7), (3702, 2)], ".json": [(37810, 8)], ".txt": [(1900, 1)]}
for name in sorted(os.listdir(texts)) if os.path.isdir(texts) else []:
    stem, ext = os.path.splitext(name)
    body = open(os.path.join(texts, name), "rb").read()
    for port, selector in routes.get(ext, []):
        payload = dhip(body) if ext == ".json" else body
        count["frame-fuzz"] += write("frame-fuzz", ipv4_udp(group, src, mcast, port, port, payload), f"made-{stem}")
        count["frame-fuzz"] += write("frame-fuzz", ipv4_udp(group, src, mcast, 40000, port, payload, vlan=True), f"made-vlan-{stem}")
        count["frame-fuzz"] += write("frame-fuzz", bytes([selector, selector]) + payload, f"reply-{stem}")
count["frame-fuzz"] += write("frame-fuzz", sadp_l2(), "made-sadp-l2")
count["frame-fuzz"] += write("frame-fuzz", ipv4_udp(mac("01:00:5e:00:00:fb"), src, [224, 0, 0, 251], 5353, 5353, mdns_response()), "made-mdns")
count["frame-fuzz"] += write("frame-fuzz", ipv6_udp(mac("33:33:00:00:00:fb"), 5353, 5353, mdns_response()), "made-mdns6")
count["frame-fuzz"] += write("frame-fuzz", bytes([3, 3]) + mdns_response(), "reply-mdns")
print(f"fuzz-seeds: {count['frame-fuzz']} new frame seeds, {count['scan-fuzz']} new scan seeds in {out}")
PY
