#!/usr/bin/env python3
"""End-to-end tests of norvane-decode (standard library only).

    decode_test.py TOOL frames        hand-made capture: exact JSON of both modes, exact CSV
    decode_test.py TOOL cli           options, exit codes, vendor files, text escaping,
                                      CSV quoting and formula guard read back by csv
    decode_test.py TOOL captures DIR  every capture in DIR: exit 0, valid JSON, and a
                                      CSV that matches the JSON Lines field by field
    decode_test.py TOOL lab DIR       the same for the lab's captures; exit 77 (skipped)
                                      when the lab has not run

The frames are written as hex with one comment per field, so that the expected
device table can be checked by reading them.
"""

import csv
import datetime
import io
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile

FAILURES = []


def check(condition, message):
    if not condition:
        FAILURES.append(message)
        print("FAIL: " + message, file=sys.stderr)


def hexframe(*fields):
    """Joins (hex, comment) pairs; the comments only document the bytes."""
    return bytes.fromhex("".join(h for h, _ in fields))


# --- the frames -------------------------------------------------------------

MAC_A = "00:11:22:33:44:55"  # Hikvision block in the vendor file below
MAC_B = "00:AA:BB:CC:DD:01"  # the capturing host, never a device here
MAC_C = "00:1A:2B:3C:4D:5E"
MAC_D = "00:1D:2E:01:02:03"  # vendor name with non-ASCII letters
MAC_E = "00:50:56:AA:BB:CC"  # 28-bit block overriding its 24-bit block
MAC_F = "00:0C:29:11:22:33"
MAC_G = "00:25:90:00:00:07"
MAC_H = "00:1B:21:00:00:09"
MAC_I = "00:1B:21:00:00:0A"
MAC_J = "00:00:5E:00:53:01"
MAC_K = "00:00:5E:00:53:02"
MAC_L = "00:1B:21:00:00:0C"
MAC_M = "00:1B:21:00:00:0D"
MAC_N = "00:1B:21:00:00:0E"

FRAMES = [
    # 1: ARP reply from A (192.168.1.10) to the host.
    hexframe(("00aabbccdd01", "destination: host B"),
             ("001122334455", "source: A"),
             ("0806", "EtherType ARP"),
             ("0001", "hardware type Ethernet"), ("0800", "protocol type IPv4"),
             ("06", "hardware length"), ("04", "protocol length"),
             ("0002", "operation: reply"),
             ("001122334455", "sender hardware: A"), ("c0a8010a", "sender IP 192.168.1.10"),
             ("00aabbccdd01", "target hardware: B"), ("c0a80101", "target IP 192.168.1.1")),
    # 2: ARP probe from C: broadcast request with sender IP 0.0.0.0.
    hexframe(("ffffffffffff", "destination: broadcast"),
             ("001a2b3c4d5e", "source: C"),
             ("0806", "EtherType ARP"),
             ("0001", "hardware type"), ("0800", "protocol type"), ("06", "hlen"), ("04", "plen"),
             ("0001", "operation: request"),
             ("001a2b3c4d5e", "sender hardware: C"), ("00000000", "sender IP 0.0.0.0"),
             ("000000000000", "target hardware: unknown"), ("c0a80132", "target IP 192.168.1.50")),
    # 3: multicast IPv4 UDP from D, between ports that no decoder listens on.
    hexframe(("01005e010203", "destination: 239.1.2.3 group MAC"),
             ("001d2e010203", "source: D"),
             ("0800", "EtherType IPv4"),
             ("4500", "version 4, IHL 5, TOS"), ("0020", "total length 32"),
             ("0000", "identification"), ("0000", "flags, fragment offset"),
             ("01", "TTL"), ("11", "protocol UDP"), ("0000", "checksum"),
             ("c0a80114", "source 192.168.1.20"), ("ef010203", "destination 239.1.2.3"),
             ("1388", "UDP source port 5000"), ("1388", "destination port 5000"),
             ("000c", "UDP length 12"), ("0000", "checksum"), ("70696e67", "payload 'ping'")),
    # 4: IPv6 ICMPv6 echo request from E to ff02::1.
    hexframe(("333300000001", "destination: ff02::1 group MAC"),
             ("005056aabbcc", "source: E"),
             ("86dd", "EtherType IPv6"),
             ("60000000", "version 6, class, flow"), ("0008", "payload length 8"),
             ("3a", "next header ICMPv6"), ("ff", "hop limit"),
             ("fe80000000000000025056fffeaabbcc", "source fe80::250:56ff:feaa:bbcc"),
             ("ff020000000000000000000000000001", "destination ff02::1"),
             ("8000000000010001", "echo request")),
    # 5: multicast frame with an EtherType that nothing decodes.
    hexframe(("030000000001", "destination: a group address"),
             ("000c29112233", "source: F"),
             ("88b5", "EtherType 0x88B5 (local experimental)"),
             ("0001020304050607", "payload")),
    # 6: unicast TCP from G: ordinary traffic, dropped.
    hexframe(("00aabbccdd01", "destination: host B"),
             ("002590000007", "source: G"),
             ("0800", "EtherType IPv4"),
             ("4500", "version, IHL, TOS"), ("0028", "total length 40"), ("0000", "id"),
             ("4000", "don't fragment"), ("40", "TTL"), ("06", "protocol TCP"),
             ("0000", "checksum"), ("c0a80107", "source 192.168.1.7"),
             ("c0a80101", "destination 192.168.1.1"),
             ("0050c350", "ports 80 -> 50000"), ("00000001", "sequence"), ("00000000", "ack"),
             ("5010", "offset 5, ACK"), ("ffff", "window"), ("0000", "checksum"),
             ("0000", "urgent"), ("000000000000000000000000", "Ethernet padding to 64")),
    # 7: IGMPv3 report from A to 224.0.0.22 (multicast IPv4 without UDP).
    hexframe(("01005e000016", "destination: 224.0.0.22 group MAC"),
             ("001122334455", "source: A"),
             ("0800", "EtherType IPv4"),
             ("4500", "version, IHL, TOS"), ("001c", "total length 28"), ("0000", "id"),
             ("0000", "flags"), ("01", "TTL"), ("02", "protocol IGMP"), ("0000", "checksum"),
             ("c0a8010a", "source 192.168.1.10"), ("e0000016", "destination 224.0.0.22"),
             ("2200000000000000", "IGMPv3 report, no records")),
    # 8: ARP reply from F (192.168.1.30); F already has a row.
    hexframe(("00aabbccdd01", "destination: host B"),
             ("000c29112233", "source: F"),
             ("0806", "EtherType ARP"),
             ("0001", "hardware type"), ("0800", "protocol type"), ("06", "hlen"), ("04", "plen"),
             ("0002", "operation: reply"),
             ("000c29112233", "sender hardware: F"), ("c0a8011e", "sender IP 192.168.1.30"),
             ("00aabbccdd01", "target hardware: B"), ("c0a80101", "target IP 192.168.1.1")),
    # 9: multicast IPv4 UDP from H, 10.0.0.10.
    hexframe(("01005e010203", "destination: group MAC"),
             ("001b21000009", "source: H"),
             ("0800", "EtherType IPv4"),
             ("4500", "version, IHL"), ("0020", "total length 32"), ("0000", "id"),
             ("0000", "flags"), ("01", "TTL"), ("11", "UDP"), ("0000", "checksum"),
             ("0a00000a", "source 10.0.0.10"), ("ef010203", "destination 239.1.2.3"),
             ("13881388", "ports 5000 -> 5000"), ("000c", "UDP length 12"), ("0000", "checksum"),
             ("70696e67", "payload")),
    # 10: the same from I, 10.0.0.2 (sorts before 10.0.0.10 by address).
    hexframe(("01005e010203", "destination: group MAC"),
             ("001b2100000a", "source: I"),
             ("0800", "EtherType IPv4"),
             ("4500", "version, IHL"), ("0020", "total length 32"), ("0000", "id"),
             ("0000", "flags"), ("01", "TTL"), ("11", "UDP"), ("0000", "checksum"),
             ("0a000002", "source 10.0.0.2"), ("ef010203", "destination 239.1.2.3"),
             ("13881388", "ports"), ("000c", "UDP length 12"), ("0000", "checksum"),
             ("70696e67", "payload")),
    # 11: ARP reply sent by J on behalf of K (192.168.1.40), as a proxy does.
    hexframe(("00aabbccdd01", "destination: host B"),
             ("00005e005301", "source: J"),
             ("0806", "EtherType ARP"),
             ("0001", "hardware type"), ("0800", "protocol type"), ("06", "hlen"), ("04", "plen"),
             ("0002", "operation: reply"),
             ("00005e005302", "sender hardware: K"), ("c0a80128", "sender IP 192.168.1.40"),
             ("00aabbccdd01", "target hardware: B"), ("c0a80101", "target IP 192.168.1.1")),
    # 12: 802.1Q-tagged multicast IPv4 UDP from L, 192.168.1.60.
    hexframe(("01005e010203", "destination: group MAC"),
             ("001b2100000c", "source: L"),
             ("8100", "VLAN tag"), ("000a", "VLAN 10"),
             ("0800", "inner EtherType IPv4"),
             ("4500", "version, IHL"), ("0020", "total length 32"), ("0000", "id"),
             ("0000", "flags"), ("01", "TTL"), ("11", "UDP"), ("0000", "checksum"),
             ("c0a8013c", "source 192.168.1.60"), ("ef010203", "destination 239.1.2.3"),
             ("13881388", "ports"), ("000c", "UDP length 12"), ("0000", "checksum"),
             ("70696e67", "payload")),
    # 13: spanning-tree configuration BPDU from M (802.3 length 38).
    hexframe(("0180c2000000", "destination: bridge group"),
             ("001b2100000d", "source: M"),
             ("0026", "802.3 length 38"),
             ("424203", "LLC: DSAP, SSAP 0x42, UI"),
             ("0000", "protocol id"), ("00", "version"), ("00", "type: configuration"),
             ("00", "flags"), ("8000001b2100000d", "root id"), ("00000000", "root path cost"),
             ("8000001b2100000d", "bridge id"), ("8001", "port id"), ("0000", "message age"),
             ("1400", "max age"), ("0200", "hello"), ("0f00", "forward delay")),
    # 14: other multicast LLC (ISO network layer) from N, 802.3 length 6.
    hexframe(("09002b000004", "destination: ISO all end systems"),
             ("001b2100000e", "source: N"),
             ("0006", "802.3 length 6"),
             ("fefe03", "LLC: DSAP, SSAP 0xFE, UI"), ("810102", "payload")),
    # 15: EtherType 0x88B5 multicast from K, whose address came from frame 11.
    hexframe(("030000000001", "destination: group address"),
             ("00005e005302", "source: K"),
             ("88b5", "EtherType 0x88B5"),
             ("0001020304050607", "payload")),
]

# --- expected output ---------------------------------------------------------


def frame_line(frame, protocol, ip, mac, source_mac=None):
    return {"frame": frame, "protocol": protocol, "ip": ip, "mac": mac,
            "source_mac": source_mac or mac, "name": "", "model": "", "info": ""}


EXPECTED_FRAMES = [
    frame_line(1, "ARP", "192.168.1.10", MAC_A),
    frame_line(2, "ARP", "", MAC_C),
    frame_line(3, "IPv4", "192.168.1.20", MAC_D),
    frame_line(4, "IPv6", "fe80::250:56ff:feaa:bbcc", MAC_E),
    frame_line(5, "EtherType 0x88B5", "", MAC_F),
    # frame 6 (unicast TCP) is dropped
    frame_line(7, "IPv4", "192.168.1.10", MAC_A),
    frame_line(8, "ARP", "192.168.1.30", MAC_F),
    frame_line(9, "IPv4", "10.0.0.10", MAC_H),
    frame_line(10, "IPv4", "10.0.0.2", MAC_I),
    frame_line(11, "ARP", "192.168.1.40", MAC_K, MAC_J),
    frame_line(12, "IPv4", "192.168.1.60", MAC_L),
    frame_line(13, "STP", "", MAC_M),
    frame_line(14, "Ethernet LLC", "", MAC_N),
    frame_line(15, "EtherType 0x88B5", "", MAC_K),
]

VENDOR_DB = (
    "# IEEE MAC vendor database v1\n"
    "000C29\tVMware, Inc.\n"
    "001122\tHangzhou Hikvision Digital Technology Co.,Ltd.\n"
    "001D2E\tZażółć Gęślą Sp. z o.o.\n"
    "005056\tVMware, Inc.\n"
    "005056A\tUbiquiti Inc\n"
)


def frame_time(number):
    """Frame NUMBER's capture time as the device lines give it: the test's
    captures put frame n at 1700000000 + n - 1 seconds."""
    moment = datetime.datetime.fromtimestamp(1700000000 + number - 1, datetime.timezone.utc)
    return moment.strftime("%Y-%m-%dT%H:%M:%S.000Z")


def device(ip, mac, protocols, frames, vendor="", category=5, accent=0):
    """FRAMES: the numbers of the frames that made the row and last spoke
    for it."""
    return {"ip": ip, "mac": mac, "vendor": vendor, "name": "", "model": "",
            "protocols": protocols.split(", "), "info": "", "category": category,
            "accent": accent, "state": [], "first_seen": frame_time(frames[0]),
            "last_seen": frame_time(frames[1])}


def expected_devices(with_vendors):
    def v(text):
        return text if with_vendors else ""

    hik = (0, 1) if with_vendors else (5, 0)
    ubnt = (2, 4) if with_vendors else (5, 0)
    return [
        # A and C, H, J, K: bare ARP observations create no row; A's address,
        # learnt from frame 1, is filled in when frame 7 creates its row, and
        # K's (frame 11) when frame 15 does.
        device("10.0.0.2", MAC_I, "IPv4", (10, 10)),
        device("10.0.0.10", MAC_H, "IPv4", (9, 9)),
        device("192.168.1.10", MAC_A, "ARP, IPv4", (7, 7), v("Hikvision"), *hik),
        device("192.168.1.20", MAC_D, "IPv4", (3, 3), v("Zażółć Gęślą Sp. z o.o.")),
        # F's row is made by frame 5 and heard again in its ARP, frame 8.
        device("192.168.1.30", MAC_F, "EtherType 0x88B5, ARP", (5, 8), v("VMware, Inc.")),
        device("192.168.1.40", MAC_K, "ARP, EtherType 0x88B5", (15, 15)),
        device("192.168.1.60", MAC_L, "IPv4", (12, 12)),
        device("fe80::250:56ff:feaa:bbcc", MAC_E, "IPv6", (4, 4), v("Ubiquiti"), *ubnt),
        # rows without address last, in order of discovery
        device("", MAC_M, "STP", (13, 13)),
        device("", MAC_N, "Ethernet LLC", (14, 14)),
    ]


# --- CSV ---------------------------------------------------------------------

BOM = b"\xef\xbb\xbf"
CSV_HEADERS = ["Adres IP", "Adres MAC", "VENDOR", "Nazwa", "Model / opis", "Protok\u00f3\u0142",
               "Informacje", "Stan"]
CSV_KEYS = ["ip", "mac", "vendor", "name", "model", "protocols", "info"]
# The JSON state tokens and the list's words for them, in the list's order.
STATE_TEXTS = {"not-activated": "nieaktywne", "outside-subnet": "poza podsieci\u0105",
               "ip-conflict": "konflikt IP", "mask-differs": "inna maska",
               "gateway-outside": "brama poza podsieci\u0105", "gone": "od\u0142\u0105czone"}
FORMULA_STARTS = ("=", "+", "-", "@", "\t", "\r")


def guard(text):
    """A cell that a spreadsheet would evaluate gets a leading apostrophe."""
    return "'" + text if text.startswith(FORMULA_STARTS) else text


def csv_record(device):
    """A device object's CSV cells: its texts, and its state in the list's words."""
    texts = [STATE_TEXTS[token] for token in STATE_TEXTS if token in device["state"]]
    cells = [", ".join(device[k]) if k == "protocols" else device[k] for k in CSV_KEYS]
    return [guard(cell) for cell in cells] + [", ".join(texts)]


def expected_csv(devices):
    """The file for these device objects, as Python's own csv writer puts it."""
    out = io.StringIO(newline="")
    writer = csv.writer(out, lineterminator="\r\n")
    writer.writerow(CSV_HEADERS)
    for d in devices:
        writer.writerow(csv_record(d))
    return BOM + out.getvalue().encode("utf-8")


def read_csv(data, what):
    """Strict: byte order mark, UTF-8, CRLF after every record, RFC 4180 quoting."""
    check(data.startswith(BOM), f"{what}: no byte order mark")
    try:
        text = data[len(BOM):].decode("utf-8")
    except UnicodeDecodeError as e:
        check(False, f"{what}: CSV is not UTF-8: {e}")
        return []
    check(text.endswith("\r\n"), f"{what}: CSV does not end with CRLF")
    check("\n" not in text.replace("\r\n", ""), f"{what}: a bare line feed in the CSV")
    try:
        return list(csv.reader(io.StringIO(text, newline=""), strict=True))
    except csv.Error as e:
        check(False, f"{what}: not valid CSV: {e}")
        return []


def check_csv_matches(what, csv_bytes, objects):
    """The CSV holds the JSON Lines' device rows: same order, same fields."""
    records = read_csv(csv_bytes, what)
    check(records[:1] == [CSV_HEADERS], f"{what}: header {records[:1]}")
    check(len(records) - 1 == len(objects),
          f"{what}: {len(records) - 1} CSV records for {len(objects)} JSON lines")
    for number, (record, o) in enumerate(zip(records[1:], objects), 1):
        want = csv_record(o)
        check(record == want, f"{what}: record {number} is {record}, expected {want}")
    for record in records[1:]:
        for cell in record:
            check(not cell.startswith(FORMULA_STARTS), f"{what}: cell {cell!r} is a formula")
    check(csv_bytes == expected_csv(objects),
          f"{what}: CSV differs from Python's csv writer on the same fields")


# --- capture writers ---------------------------------------------------------


def pcap_bytes(frames, linktype=1, truncated_tail=None):
    out = struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, linktype)
    for i, frame in enumerate(frames):
        out += struct.pack("<IIII", 1700000000 + i, 0, len(frame), len(frame)) + frame
    if truncated_tail is not None:
        claimed, present = truncated_tail
        out += struct.pack("<IIII", 1700000100, 0, claimed, claimed) + bytes(present)
    return out


def pcapng_bytes(frames):
    def block(block_type, body):
        body += b"\0" * (-len(body) % 4)
        length = 12 + len(body)
        return struct.pack("<II", block_type, length) + body + struct.pack("<I", length)

    out = block(0x0A0D0D0A, struct.pack("<IHHq", 0x1A2B3C4D, 1, 0, -1))
    out += block(0x00000001, struct.pack("<HHI", 1, 0, 0))
    for i, frame in enumerate(frames):
        ts = (1700000000 + i) * 1000000
        out += block(0x00000006, struct.pack("<IIIII", 0, ts >> 32, ts & 0xFFFFFFFF,
                                             len(frame), len(frame)) + frame)
    return out


# --- running the tool --------------------------------------------------------


def run(tool, *args, stdin=None):
    proc = subprocess.run([tool, *args], input=stdin, capture_output=True, timeout=60)
    return proc.returncode, proc.stdout, proc.stderr.decode("utf-8", "replace")


def parse_lines(stdout, what):
    """Strict: UTF-8 throughout, one JSON object per line."""
    try:
        text = stdout.decode("utf-8")
    except UnicodeDecodeError as e:
        check(False, f"{what}: output is not UTF-8: {e}")
        return []
    objects = []
    for number, line in enumerate(text.splitlines(), 1):
        try:
            value = json.loads(line)
        except ValueError as e:
            check(False, f"{what}: line {number} is not JSON ({e}): {line!r}")
            continue
        check(isinstance(value, dict), f"{what}: line {number} is not an object")
        objects.append(value)
    check(text == "" or text.endswith("\n"), f"{what}: output does not end with a line feed")
    return objects


def exact_lines(objects):
    return "".join(json.dumps(o, ensure_ascii=False, separators=(",", ":")) + "\n"
                   for o in objects).encode("utf-8")


def compare(what, got_bytes, expected_objects):
    got = parse_lines(got_bytes, what)
    if got != expected_objects:
        for i in range(max(len(got), len(expected_objects))):
            g = got[i] if i < len(got) else None
            e = expected_objects[i] if i < len(expected_objects) else None
            if g != e:
                print(f"  {what} line {i + 1}:\n    got      {g}\n    expected {e}",
                      file=sys.stderr)
        check(False, f"{what}: decoded objects differ")
    check(got_bytes == exact_lines(expected_objects), f"{what}: output is not byte-exact")


# --- test groups -------------------------------------------------------------


def test_frames(tool, work):
    capture = os.path.join(work, "frames.pcap")
    with open(capture, "wb") as f:
        # the last record claims 60 bytes but only 10 follow: a cut capture
        f.write(pcap_bytes(FRAMES, truncated_tail=(60, 10)))
    vendors = os.path.join(work, "vendors.tsv")
    with open(vendors, "w", encoding="utf-8") as f:
        f.write(VENDOR_DB)

    rc, out, err = run(tool, capture)
    check(rc == 0, f"frames: exit code {rc}, stderr {err!r}")
    check("truncated" in err and "after frame 15" in err,
          f"frames: truncation not reported on stderr: {err!r}")
    compare("frames", out, EXPECTED_FRAMES)

    rc, out, err = run(tool, "--vendors", vendors, capture)
    check(rc == 0, f"frames with vendors: exit code {rc}")
    compare("frames with vendors", out, EXPECTED_FRAMES)

    rc, out, err = run(tool, "--devices", "--vendors", vendors, capture)
    check(rc == 0, f"devices: exit code {rc}, stderr {err!r}")
    check("truncated" in err, f"devices: truncation not reported: {err!r}")
    compare("devices", out, expected_devices(True))

    # The same frames as pcapng, complete: same lines, nothing on stderr.
    capture_ng = os.path.join(work, "frames.pcapng")
    with open(capture_ng, "wb") as f:
        f.write(pcapng_bytes(FRAMES))
    rc, out, err = run(tool, capture_ng)
    check(rc == 0 and err == "", f"pcapng: exit code {rc}, stderr {err!r}")
    compare("pcapng frames", out, EXPECTED_FRAMES)
    rc, out, err = run(tool, "--vendors=" + vendors, "--devices", capture_ng)
    check(rc == 0, f"pcapng devices: exit code {rc}")
    compare("pcapng devices", out, expected_devices(True))

    # The same devices as CSV, byte for byte; --format jsonl is the default.
    for args in (("--format", "csv"), ("--format=csv",)):
        rc, out, err = run(tool, "--devices", *args, "--vendors", vendors, capture_ng)
        check(rc == 0 and err == "", f"devices {args}: exit code {rc}, stderr {err!r}")
        check(out == expected_csv(expected_devices(True)), f"devices {args}: CSV {out!r}")
        check_csv_matches(f"devices {args}", out, expected_devices(True))
    rc, out, err = run(tool, "--format", "jsonl", "--devices", "--vendors", vendors, capture_ng)
    check(rc == 0, f"devices --format jsonl: exit code {rc}")
    compare("devices --format jsonl", out, expected_devices(True))
    rc, out, err = run(tool, "--format=jsonl", capture_ng)
    check(rc == 0, f"frames --format=jsonl: exit code {rc}")
    compare("frames --format=jsonl", out, EXPECTED_FRAMES)
    # A capture without devices: the header alone.
    rc, out, err = run(tool, "--devices", "--format", "csv", "-", stdin=pcap_bytes([FRAMES[5]]))
    check(rc == 0 and out == expected_csv([]), f"no devices as CSV: {rc}, {out!r}")

    # Standard input.
    with open(capture_ng, "rb") as f:
        rc, out, err = run(tool, "-", stdin=f.read())
    check(rc == 0, f"stdin: exit code {rc}, stderr {err!r}")
    compare("stdin frames", out, EXPECTED_FRAMES)

    # The default vendor database is the one beside the program: absent, no
    # vendors and no complaint; present, used.
    lonely = os.path.join(work, "bin")
    os.mkdir(lonely)
    copy = os.path.join(lonely, os.path.basename(tool))
    shutil.copy2(tool, copy)
    rc, out, err = run(copy, "--devices", capture_ng)
    check(rc == 0 and err == "", f"no default database: exit code {rc}, stderr {err!r}")
    compare("devices without database", out, expected_devices(False))
    with open(os.path.join(lonely, "mac-vendors.tsv"), "w", encoding="utf-8") as f:
        f.write(VENDOR_DB)
    rc, out, err = run(copy, "--devices", capture_ng)
    check(rc == 0, f"default database: exit code {rc}, stderr {err!r}")
    compare("devices with default database", out, expected_devices(True))
    # A damaged default database only warns.
    with open(os.path.join(lonely, "mac-vendors.tsv"), "wb") as f:
        f.write(b"not a vendor database\n")
    rc, out, err = run(copy, "--devices", capture_ng)
    check(rc == 0 and "warning" in err, f"damaged default database: {rc}, {err!r}")
    compare("devices with damaged default database", out, expected_devices(False))


# An LLDP announcement whose system name is not UTF-8 (0xFF) and holds a
# quote and a backslash: whatever the decoder makes of it, every line must be
# valid JSON, and a byte that is not UTF-8 must come out as \u00XX.
LLDP_ODD_NAME = hexframe(
    ("0180c200000e", "destination: nearest bridge"),
    ("001b2100000f", "source"),
    ("88cc", "EtherType LLDP"),
    ("0207", "chassis ID TLV, length 7"), ("04", "subtype MAC"), ("001b2100000f", "MAC"),
    ("0403", "port ID TLV, length 3"), ("07", "subtype local"), ("3031", "'01'"),
    ("0602", "TTL TLV, length 2"), ("0078", "120 s"),
    ("0a09", "system name TLV, length 9"), ("43616dff22655c7261", "'Cam' FF '\"e\\ra'"),
    ("0000", "end TLV"))

# A multicast frame the keep rule accepts whatever the decoders do.
PLAIN_MULTICAST = FRAMES[4]


def test_cli(tool, work):
    rc, out, err = run(tool, "--help")
    check(rc == 0, f"--help: exit code {rc}")
    check(b"--devices" in out and b"--vendors" in out and b"\\u00XX" in out,
          "--help does not describe the options and the byte escapes")

    for args, what in [((), "no arguments"), (("--frobnicate", "x.pcap"), "unknown option"),
                       (("a.pcap", "b.pcap"), "two captures"), (("--vendors",), "--vendors last"),
                       (("--devices", "--format", "xml", "x.pcap"), "unknown format"),
                       (("--devices", "--format=", "x.pcap"), "empty format"),
                       (("--devices", "--format"), "--format last"),
                       (("--format", "csv", "x.pcap"), "CSV of frames")]:
        rc, out, err = run(tool, *args)
        check(rc == 2 and out == b"" and err, f"{what}: exit code {rc}, stderr {err!r}")

    missing = os.path.join(work, "does-not-exist.pcap")
    rc, out, err = run(tool, missing)
    check(rc == 2 and out == b"" and "does-not-exist.pcap" in err,
          f"missing capture: exit code {rc}, stderr {err!r}")

    for name, content in [("empty.pcap", b""), ("garbage.pcap", b"this is not a capture" * 4)]:
        path = os.path.join(work, name)
        with open(path, "wb") as f:
            f.write(content)
        rc, out, err = run(tool, path)
        check(rc == 2 and out == b"" and err, f"{name}: exit code {rc}, stderr {err!r}")

    raw_ip = os.path.join(work, "raw-ip.pcap")
    with open(raw_ip, "wb") as f:
        f.write(pcap_bytes([FRAMES[2][14:]], linktype=101))
    rc, out, err = run(tool, raw_ip)
    check(rc == 2 and out == b"" and "Ethernet" in err,
          f"raw IP link type: exit code {rc}, stderr {err!r}")

    # A record length no writer produces: frames before it are printed, the
    # damage is an error (unlike a capture that is merely cut short).
    damaged = os.path.join(work, "damaged.pcap")
    with open(damaged, "wb") as f:
        f.write(pcap_bytes([PLAIN_MULTICAST]) +
                struct.pack("<IIII", 1700000001, 0, 0x7FFFFFF0, 0x7FFFFFF0) + bytes(64))
    rc, out, err = run(tool, damaged)
    check(rc == 2 and "damaged" in err, f"damaged capture: exit code {rc}, stderr {err!r}")
    check(len(parse_lines(out, "damaged capture")) == 1, "damaged capture: first frame lost")

    good = os.path.join(work, "good.pcap")
    with open(good, "wb") as f:
        f.write(pcap_bytes([PLAIN_MULTICAST]))
    vendor_cases = [
        ("missing", None),
        ("empty", b""),
        ("wrong header", b"# some other file\n001122\tX\n"),
        ("header only", b"# IEEE MAC vendor database v1\n"),
        ("invalid UTF-8 name", b"# IEEE MAC vendor database v1\n001122\tCam\xffera\n"),
        ("duplicate prefix", b"# IEEE MAC vendor database v1\n001122\tA\n001122\tB\n"),
    ]
    for what, content in vendor_cases:
        path = os.path.join(work, "vendors-" + what.replace(" ", "-") + ".tsv")
        if content is not None:
            with open(path, "wb") as f:
                f.write(content)
        for mode in ((), ("--devices",)):
            rc, out, err = run(tool, *mode, "--vendors", path, good)
            check(rc == 2 and out == b"" and "vendor" in err,
                  f"bad --vendors ({what}, {mode}): exit code {rc}, stderr {err!r}")

    odd = os.path.join(work, "odd-name.pcap")
    with open(odd, "wb") as f:
        f.write(pcap_bytes([LLDP_ODD_NAME, PLAIN_MULTICAST]))
    for mode in ((), ("--devices",)):
        rc, out, err = run(tool, *mode, odd)
        check(rc == 0, f"odd name {mode}: exit code {rc}, stderr {err!r}")
        objects = parse_lines(out, f"odd name {mode}")
        check(len(objects) >= 1, f"odd name {mode}: the plain multicast frame is missing")
        for o in objects:
            name = o.get("name", "")
            if name and not mode:
                # Frame lines keep the device's bytes: FF is escaped as a byte.
                check(b'Cam\\u00ff\\"e\\\\ra' in out, f"odd name escaped wrongly: {out!r}")
            if name and mode:
                # Device rows show the list's text (Windows-1252 for non-UTF-8).
                check(name == 'Cam\u00ff"e\\ra', f"odd name in device row: {name!r}")


def lldp_frame(mac, name):
    """An LLDP announcement from MAC (12 hex digits) with a system name (bytes)."""
    def tlv(kind, value):
        return struct.pack(">H", (kind << 9) | len(value)) + value

    source = bytes.fromhex(mac)
    return (bytes.fromhex("0180c200000e") + source + bytes.fromhex("88cc") +
            tlv(1, b"\x04" + source) +        # chassis ID: MAC
            tlv(2, b"\x07" + b"01") +         # port ID: local "01"
            tlv(3, b"\x00\x78") +             # TTL 120 s
            tlv(5, name) +                    # system name
            tlv(0, b""))                      # end


# System names a spreadsheet would misread: formulas behind every character
# that starts one, the separator, quotes, letters beyond ASCII, a tab inside.
CSV_NAMES = [
    "=cmd|' /C calc'!A0", "+48 600 700 800", "-Kamera", "@SUM(A1)", "=HYPERLINK(\"x\",\"y\")",
    "Kamera, \"wej\u015bcie\"", "\"quoted\"", "Za\u017c\u00f3\u0142\u0107 g\u0119\u015bl\u0105 ja\u017a\u0144",
    "\u76e3\u8996\u30ab\u30e1\u30e9 \u524d\u9580", "a=1", "'=x",
]


def test_csv_texts(tool, work):
    frames = [lldp_frame(f"02000000{i:04x}", name.encode("utf-8"))
              for i, name in enumerate(CSV_NAMES, 1)]
    frames.append(lldp_frame("020000000f00", b"tab\there"))       # shown with a space
    frames.append(lldp_frame("020000000f01", b"Caf\xe9 \x80"))    # Windows-1252
    path = os.path.join(work, "names.pcap")
    with open(path, "wb") as f:
        f.write(pcap_bytes(frames))
    rc, out, err = run(tool, "--devices", path)
    check(rc == 0, f"CSV names: exit code {rc}, stderr {err!r}")
    objects = parse_lines(out, "CSV names")
    names = [o["name"] for o in objects]
    check(sorted(names) == sorted(CSV_NAMES + ["tab here", "Caf\u00e9 \u20ac"]),
          f"CSV names: the device rows hold {names}")
    rc, csv_out, err = run(tool, "--devices", "--format", "csv", path)
    check(rc == 0, f"CSV names as CSV: exit code {rc}, stderr {err!r}")
    check_csv_matches("CSV names", csv_out, objects)
    # The guarded cells, read back: only the apostrophe was added.
    records = read_csv(csv_out, "CSV names")
    cells = {r[3] for r in records[1:]}
    for name in CSV_NAMES:
        check(guard(name) in cells, f"CSV names: {guard(name)!r} not read back")
    check("'=cmd|' /C calc'!A0" in cells and "'-Kamera" in cells and "'@SUM(A1)" in cells,
          f"CSV names: guard missing in {cells}")


FRAME_KEYS = {"frame": int, "protocol": str, "ip": str, "mac": str, "source_mac": str,
              "name": str, "model": str, "info": str}
DEVICE_KEYS = {"ip": str, "mac": str, "vendor": str, "name": str, "model": str,
               "protocols": list, "info": str, "category": int, "accent": int, "state": list}
# After those, only what the device stated, in this order; a goodbye frame ends
# in "departure": true.
SETTINGS_KEYS = {"activated": bool, "mask": str, "gateway": str, "dhcp": bool,
                 "http_port": int, "serial": str}
# A neighbour's device object then names the port its LLDP or CDP came from.
PORT_KEYS = {"port_id": str, "port_description": str, "port_vlan": int}
# And last, when its frames were captured: ISO 8601 UTC texts.
TIME_KEYS = {"first_seen": str, "last_seen": str}


def capture_files(directory):
    if not os.path.isdir(directory):
        return []
    return sorted(f for f in os.listdir(directory) if f.endswith((".pcap", ".pcapng", ".cap")))


def test_captures(tool, directory):
    files = capture_files(directory)
    check(files, f"no captures in {directory}")
    for name in files:
        path = os.path.join(directory, name)
        devices = []
        for mode, keys in (((), FRAME_KEYS), (("--devices",), DEVICE_KEYS)):
            what = f"{name} {' '.join(mode) or 'frames'}"
            rc, out, err = run(tool, *mode, path)
            check(rc == 0, f"{what}: exit code {rc}, stderr {err!r}")
            objects = parse_lines(out, what)
            last = 0
            for o in objects:
                optional = list(SETTINGS_KEYS) + (list(PORT_KEYS) + list(TIME_KEYS)
                                                  if mode else ["departure"])
                check(list(o) == list(keys) + [k for k in optional if k in o],
                      f"{what}: keys {list(o)}")
                check(0 < o.get("port_vlan", 1) < 4095, f"{what}: port_vlan {o}")
                for key, kind in {**keys, **SETTINGS_KEYS, **PORT_KEYS, **TIME_KEYS,
                                  "departure": bool}.items():
                    if key in keys or key in o:
                        check(type(o.get(key)) is kind, f"{what}: {key} is not {kind.__name__}")
                check(o.get("departure", True) is True and 0 < o.get("http_port", 1) < 65536,
                      f"{what}: departure or http_port: {o}")
                if "frame" in o:
                    check(o["frame"] > last, f"{what}: frame numbers not increasing")
                    last = o["frame"]
                    check(len(o["mac"]) == 17, f"{what}: kept frame without MAC: {o}")
                else:
                    check(0 <= o["category"] <= 5 and 0 <= o["accent"] <= 6,
                          f"{what}: category/accent out of range: {o}")
                    check(o.get("first_seen", "").endswith("Z")
                          and o["first_seen"] <= o.get("last_seen", ""),
                          f"{what}: times {o.get('first_seen')} {o.get('last_seen')}")
                    # No adapter: nothing told against its network.
                    tokens = [t for t in STATE_TEXTS if t not in ("outside-subnet", "mask-differs")]
                    check(o["state"] == [t for t in tokens if t in o["state"]],
                          f"{what}: state {o['state']}")
            if mode:
                devices = objects
            print(f"{what}: {len(objects)} lines")
        rc, out, err = run(tool, "--devices", "--format", "csv", path)
        check(rc == 0, f"{name} csv: exit code {rc}, stderr {err!r}")
        check_csv_matches(f"{name} csv", out, devices)


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    tool, group = os.path.abspath(sys.argv[1]), sys.argv[2]
    if group == "lab" and not os.path.exists(tool):
        print(f"{tool} is not built: skipped")
        return 77
    with tempfile.TemporaryDirectory(prefix="norvane-decode-") as work:
        if group == "frames":
            test_frames(tool, work)
        elif group == "cli":
            test_cli(tool, work)
            test_csv_texts(tool, work)
        elif group == "captures" and len(sys.argv) > 3:
            test_captures(tool, sys.argv[3])
        elif group == "lab" and len(sys.argv) > 3:
            if not capture_files(sys.argv[3]):
                print(f"no lab captures in {sys.argv[3]} (the lab has not run): skipped")
                return 77
            test_captures(tool, sys.argv[3])
        else:
            print(__doc__, file=sys.stderr)
            return 2
    if FAILURES:
        print(f"{len(FAILURES)} check(s) failed", file=sys.stderr)
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
