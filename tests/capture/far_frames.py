#!/usr/bin/python3
"""The far side of the capture lab: frames a segment carries, and the check of
what the near side sent.

  far_frames.py send IFACE CORPUS_DIR [STOP]
                                           send the six frames every 200 ms
                                           (until the file STOP exists)
  far_frames.py flood IFACE SECONDS RESULT [RATE]
                                           broadcast and ARP as fast as the
                                           link takes them, or RATE frames/s;
                                           counts to RESULT
  far_frames.py check PCAP SENT NEAR_MAC   the inquiries captured on the far
                                           side equal those the near side
                                           says it sent (hex, one a line)
  far_frames.py inquiries PCAP NEAR_MAC N  exactly N well-formed inquiries
                                           from NEAR_MAC were captured

Each frame of `send` has a source MAC of its own (02:80:00:00:00:0N, the SADP
reply the camera's own), which the near side's test expects, one per kind. The
seeds of the DNS and SADP fuzz targets start with the target's selector byte,
which is dropped here.
"""
import os
import socket
import struct
import sys
import time


def mac(text):
    return bytes(int(part, 16) for part in text.split(":"))


FAR_IP = "10.80.0.2"


def ipv4_udp(src_mac, dst_mac, src_ip, dst_ip, sport, dport, payload, ttl=1):
    udp = struct.pack("!HHHH", sport, dport, 8 + len(payload), 0) + payload
    header = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + len(udp), 1, 0, ttl, 17, 0,
                         socket.inet_aton(src_ip), socket.inet_aton(dst_ip))
    checksum = 0
    for i in range(0, 20, 2):
        checksum += header[i] << 8 | header[i + 1]
    while checksum > 0xFFFF:
        checksum = (checksum & 0xFFFF) + (checksum >> 16)
    header = header[:10] + struct.pack("!H", ~checksum & 0xFFFF) + header[12:]
    return dst_mac + src_mac + b"\x08\x00" + header + udp


def arp_request(src_mac, src_ip, target_ip):
    body = struct.pack("!HHBBH6s4s6s4s", 1, 0x0800, 6, 4, 1, src_mac, socket.inet_aton(src_ip),
                       b"\0" * 6, socket.inet_aton(target_ip))
    return b"\xff" * 6 + src_mac + b"\x08\x06" + body


def frames(corpus):
    def read(path):
        with open(f"{corpus}/{path}", "rb") as f:
            return f.read()

    broadcast = b"\xff" * 6
    lldp_dst = mac("01:80:c2:00:00:0e")
    return [
        arp_request(mac("02:80:00:00:00:01"), FAR_IP, "10.80.0.1"),
        ipv4_udp(mac("02:80:00:00:00:02"), broadcast, FAR_IP, "255.255.255.255", 40000, 9999,
                 b"hello segment"),
        lldp_dst + mac("02:80:00:00:00:03") + b"\x88\xcc" + read("lldp-fuzz/switch"),
        ipv4_udp(mac("02:80:00:00:00:04"), mac("01:00:5e:00:00:fb"), FAR_IP, "224.0.0.251",
                 5353, 5353, read("dns-fuzz/camera-announcement.bin")[1:], ttl=255),
        ipv4_udp(mac("02:80:00:00:00:05"), mac("01:00:5e:7f:ff:fa"), FAR_IP, "239.255.255.250",
                 1900, 1900, read("ssdp-fuzz/media-server-notify.txt"), ttl=4),
        # A camera's reply comes from the MAC it names.
        broadcast + mac("44:19:b6:12:34:56") + b"\x80\x33" + read("sadp-fuzz/l2-reply")[1:],
    ]


def open_link(iface):
    s = socket.socket(socket.AF_PACKET, socket.SOCK_RAW)
    s.bind((iface, 0))
    return s


def send(iface, corpus, stop=None):
    s = open_link(iface)
    batch = frames(corpus)
    while not (stop and os.path.exists(stop)):
        for frame in batch:
            s.send(frame)
        time.sleep(0.2)


def flood(iface, seconds, result, rate=0):
    s = open_link(iface)
    src = mac("02:80:00:00:01:00")
    batch = [ipv4_udp(src, b"\xff" * 6, FAR_IP, "10.80.0.255", 40001, 9, b"x" * 18)
             for _ in range(4)] + [arp_request(src, FAR_IP, "10.80.0.%d" % n) for n in range(3, 7)]
    sent = 0
    sent_bytes = 0
    start = time.monotonic()
    end = start + float(seconds)
    while time.monotonic() < end:
        if rate and sent > (time.monotonic() - start) * rate:
            time.sleep(0.001)
            continue
        for frame in batch:
            try:
                s.send(frame)
            except BlockingIOError:
                continue
            except OSError:
                time.sleep(0.0005)
                continue
            sent += 1
            sent_bytes += len(frame)
    with open(result, "w") as f:
        f.write(f"{sent} {sent_bytes}\n")


def pcap_frames(path):
    with open(path, "rb") as f:
        data = f.read()
    endian = "<" if data[:4] in (b"\xd4\xc3\xb2\xa1", b"\x4d\x3c\xb2\xa1") else ">"
    at = 24
    while at + 16 <= len(data):
        _, _, caplen, _ = struct.unpack(endian + "IIII", data[at:at + 16])
        yield data[at + 16:at + 16 + caplen]
        at += 16 + caplen


def inquiry_problems(frame, near):
    """What is wrong with one captured inquiry from `near`."""
    problems = []
    expected = (b"\xff" * 6 + near + b"\x80\x33\x21\x02\x01\x42")
    if frame[:18] != expected or frame[22:26] != b"\x06\x04\x03\x00" or frame[28:34] != near:
        problems.append("fixed bytes")
    if frame[38:44] != b"\xff" * 6 or any(frame[44:]):
        problems.append("tail")
    words = bytearray(frame[:80])
    words[26], words[27] = words[27], words[26]
    total = sum(words[k] << 8 | words[k + 1] for k in range(14, 80, 2))
    while total > 0xFFFF:
        total = (total & 0xFFFF) + (total >> 16)
    if total != 0xFFFF:
        problems.append("checksum")
    return problems


def inquiries(pcap, near_mac, expected):
    near = mac(near_mac)
    seen = [fr for fr in pcap_frames(pcap) if fr[6:12] == near and fr[12:14] == b"\x80\x33"]
    problems = [f"{len(seen)} inquiries seen, {expected} expected"] if len(seen) != expected else []
    for i, frame in enumerate(seen):
        problems += [f"inquiry {i}: {p}" for p in inquiry_problems(frame, near)]
    for p in problems:
        print("far side:", p)
    if not problems:
        print(f"far side: {len(seen)} well-formed inquiries")
    return 0 if not problems else 1


def check(pcap, sent_file, near_mac):
    near = mac(near_mac)
    with open(sent_file) as f:
        sent = [bytes.fromhex(line.strip()) for line in f if line.strip()]
    seen = [fr for fr in pcap_frames(pcap) if fr[6:12] == near and fr[12:14] == b"\x80\x33"]
    problems = []
    if len(seen) != len(sent):
        problems.append(f"{len(seen)} inquiries seen on the far side, {len(sent)} sent")
    for i, (got, want) in enumerate(zip(seen, sent)):
        if got[:80] != want or any(got[80:]):
            problems.append(f"inquiry {i}: seen {got.hex()} sent {want.hex()}")
        words = bytearray(got[:80])
        words[26], words[27] = words[27], words[26]
        total = sum(words[k] << 8 | words[k + 1] for k in range(14, 80, 2))
        while total > 0xFFFF:
            total = (total & 0xFFFF) + (total >> 16)
        if total != 0xFFFF:
            problems.append(f"inquiry {i}: checksum does not verify")
    for p in problems:
        print("far side:", p)
    if not problems:
        print(f"far side: {len(seen)} inquiries, bytes as sent, checksums verify")
    return 0 if not problems else 1


if __name__ == "__main__":
    cmd = sys.argv[1]
    if cmd == "send":
        send(sys.argv[2], sys.argv[3], sys.argv[4] if len(sys.argv) > 4 else None)
    elif cmd == "flood":
        flood(sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5]) if len(sys.argv) > 5 else 0)
    elif cmd == "inquiries":
        sys.exit(inquiries(sys.argv[2], sys.argv[3], int(sys.argv[4])))
    elif cmd == "check":
        sys.exit(check(sys.argv[2], sys.argv[3], sys.argv[4]))
    else:
        sys.exit(f"unknown command {cmd}")
