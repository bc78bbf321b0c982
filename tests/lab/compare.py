#!/usr/bin/env python3
"""Compares norvane-decode with tshark on the same captures.

    compare.py --decoder PATH [--tshark PATH] [--require PROTO,...] CAPTURE...

For every frame that tshark dissects as LLDP, CDP, mDNS, LLMNR, SSDP or
WS-Discovery, the fields that tshark shows are turned into what Norvane
should report for that frame (the device fields of its discovery record), and
compared with the JSON line that norvane-decode prints for the frame:

- LLDP: system name, system description and port (in "info"), management or
  chassis address, chassis MAC, LLDP-MED model name; shutdown LLDPDUs and
  malformed ones must not be reported as LLDP;
- CDP: device id, platform, port, addresses;
- mDNS and LLMNR: the host name of an address record for the sender, and the
  first service type; an mDNS answer whose records all expire now is a
  goodbye (LLMNR has none);
- SSDP: SERVER, else the NT or ST target; ssdp:byebye is a goodbye, searches
  are not devices;
- WS-Discovery: Types, and the ONVIF name and hardware scopes; a Bye is a
  goodbye.

A goodbye is reported with its protocol, no device texts and
"departure":true; every other frame without "departure".

tshark is read with -T fields; the WS-Discovery XML is read from -T pdml,
which keeps the element nesting and the raw bytes of long texts (tshark shows
UDP/3702 as XML only with the xml_udp heuristic).

Exit status: 0 when everything agrees, 1 on a disagreement (each one is
listed), 77 when norvane-decode or tshark is missing (the test is skipped).
Standard library only.
"""
import argparse
import ipaddress
import json
import os
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

SKIP = 77
AGG = "\x1f"  # tshark aggregator between occurrences of one field

FIELDS = [
    "frame.number", "eth.src", "eth.dst", "ip.src", "ipv6.src", "udp.srcport", "udp.dstport",
    "lldp.tlv.type", "lldp.tlv.len", "lldp.chassis.subtype", "lldp.chassis.id.mac", "lldp.chassis.id.ip4",
    "lldp.chassis.id.ip6", "lldp.port.subtype", "lldp.port.id", "lldp.port.id.mac",
    "lldp.port.desc", "lldp.time_to_live", "lldp.tlv.system.name", "lldp.tlv.system.desc",
    "lldp.mgn.addr.ip4", "lldp.mgn.addr.ip6", "lldp.media.model",
    "cdp.version", "cdp.ttl", "cdp.deviceid", "cdp.platform", "cdp.portid",
    "cdp.nrgyz.ip_address", "cdp.nrgyz.ipv6_address",
    "dns.flags.response", "dns.flags.rcode", "dns.resp.name", "dns.resp.type", "dns.resp.class",
    "dns.resp.ttl", "dns.a", "dns.aaaa",
    "http.request.method", "http.request.uri", "http.request.version", "http.response.version",
    "http.response.code", "http.response.phrase", "http.request.line", "http.response.line",
    "http.unknown_header", "http.server",
]

ONVIF_SCOPE = b"onvif://www.onvif.org/"

# ------------------------------------------------------------ text rules ----


def tshark_bytes(text):
    """Undoes tshark's escaping of a field value (\\n, \\r, \\t, \\xHH ...)."""
    simple = {"a": 7, "b": 8, "f": 12, "n": 10, "r": 13, "t": 9, "v": 11, "\\": 92, '"': 34}
    out = bytearray()
    i = 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            nxt = text[i + 1]
            if nxt in simple:
                out.append(simple[nxt])
                i += 2
                continue
            if nxt == "x" and i + 3 < len(text):
                try:
                    out.append(int(text[i + 2:i + 4], 16))
                    i += 4
                    continue
                except ValueError:
                    pass
        out += c.encode("utf-8", "surrogateescape")
        i += 1
    return bytes(out)


def lldp_text(raw):
    """Printable bytes of the first 255, cut at a zero byte, each run of
    blanks and control bytes between words as one space."""
    out = bytearray()
    gap = False
    for b in raw[:255]:
        if b == 0:
            break
        if b >= 0x21 and b != 0x7F:
            if gap and out:
                out.append(0x20)
            gap = False
            out.append(b)
        else:
            gap = True
    return bytes(out)


def clean_text(raw):
    """Cut at a zero byte, controls as spaces, trimmed, at most 192 bytes."""
    raw = raw.split(b"\0", 1)[0]
    return bytes(0x20 if (b < 0x21 or b == 0x7F) else b for b in raw).strip(b" ")[:192]


def as_json_text(raw):
    """The text norvane-decode writes for these bytes, as Python reads it:
    well-formed UTF-8 as it is, any other byte as the character of its value."""
    text = raw.decode("utf-8", "surrogateescape")
    return "".join(chr(ord(c) - 0xDC00) if 0xDC80 <= ord(c) <= 0xDCFF else c for c in text)


def address(text):
    try:
        return ipaddress.ip_address(text.split("%", 1)[0])
    except ValueError:
        return None


def usable(addr):
    """The address rule: no unspecified, loopback, multicast or reserved
    IPv4, no multicast, unspecified or loopback IPv6."""
    if addr is None:
        return False
    if addr.version == 4:
        first = addr.packed[0]
        return first not in (0, 127) and first < 224
    return addr.packed[0] != 0xFF and addr not in (ipaddress.IPv6Address("::"),
                                                    ipaddress.IPv6Address("::1"))


def best_address(texts):
    """First usable IPv4, else first usable IPv6 (the preference rule)."""
    addrs = [a for a in (address(t) for t in texts) if usable(a)]
    for a in addrs:
        if a.version == 4:
            return a
    return addrs[0] if addrs else None


def mac_upper(text):
    return text.upper() if text else ""


def unicast_mac(text):
    if not text or len(text) != 17:
        return False
    first = int(text[0:2], 16)
    return first & 1 == 0 and text.replace(":", "").strip("0") != ""


# ------------------------------------------------------------- tshark ----


def run_tshark(tshark, capture):
    cmd = [tshark, "-n", "-r", capture, "--enable-heuristic", "xml_udp", "-T", "fields",
           "-E", "header=n", "-E", "separator=/t", "-E", "occurrence=a", "-E",
           "aggregator=" + AGG]
    for field in FIELDS:
        cmd += ["-e", field]
    out = subprocess.run(cmd, check=True, capture_output=True).stdout.decode("utf-8", "replace")
    frames = {}
    for line in out.splitlines():
        values = line.split("\t")
        if len(values) != len(FIELDS):
            continue
        row = {f: (v.split(AGG) if v else []) for f, v in zip(FIELDS, values)}
        frames[int(row["frame.number"][0])] = row
    return frames


def xml_tree(field):
    """PDML xml.tag field to (local name, raw text, children)."""
    show = field.get("show", "")
    name = show[1:].split(" ", 1)[0].split(">", 1)[0].rstrip("/")
    local = name.split(":", 1)[1] if ":" in name else name
    text = b""
    children = []
    for child in field.findall("field"):
        if child.get("name") == "xml.cdata" and not text:
            text = bytes.fromhex(child.get("value", ""))
        elif child.get("name") == "xml.tag":
            children.append(xml_tree(child))
    return (local, text, children)


def find(node, local):
    """First element in document order with this local name (any depth)."""
    for child in node[2]:
        if child[0] == local:
            return child
        hit = find(child, local)
        if hit is not None:
            return hit
    return None


def run_tshark_wsd(tshark, capture):
    """WS-Discovery messages as {frame: (Hello, ProbeMatch or Bye element, or None)}."""
    cmd = [tshark, "-n", "-r", capture, "--enable-heuristic", "xml_udp", "-Y",
           "udp.port == 3702 && xml", "-T", "pdml"]
    result = subprocess.run(cmd, check=True, capture_output=True)
    frames = {}
    root = ElementTree.fromstring(result.stdout)
    for packet in root.findall("packet"):
        number = None
        document = ("", b"", [])
        for proto in packet.findall("proto"):
            if proto.get("name") == "geninfo":
                for field in proto.findall("field"):
                    if field.get("name") == "num":
                        number = int(field.get("show"))
            if proto.get("name") == "xml":
                document = ("", b"", [xml_tree(f) for f in proto.findall("field")
                                      if f.get("name") == "xml.tag"])
        if number is None:
            continue
        body = find(document, "Body")
        message = None
        if body is not None:
            message = find(body, "Hello") or find(body, "ProbeMatch") or find(body, "Bye")
        frames[number] = message
    return frames


# ------------------------------------------------------- expectations ----

# An expectation is None (the frame must not be reported as this protocol)
# or a dict of the fields Norvane must report.


def first(row, field, default=""):
    values = row[field]
    return values[0] if values else default


def last(row, field, default=""):
    values = row[field]
    return values[-1] if values else default


def expect_lldp(row):
    types = [int(t) for t in row["lldp.tlv.type"]]
    lengths = [int(n) for n in row["lldp.tlv.len"]]
    ttl = first(row, "lldp.time_to_live")
    if types[:3] != [1, 2, 3] or types[-1] != 0 or ttl in ("", "0"):
        return None  # malformed, no End, or a shutdown LLDPDU
    if len(lengths) == len(types) and lengths[-1] != 0:
        return None  # tshark takes any type 0 as the end; an End TLV has no value
    source = mac_upper(first(row, "eth.src"))
    if not unicast_mac(source):
        return None
    mac = ""
    chassis_mac = first(row, "lldp.chassis.id.mac")
    if first(row, "lldp.chassis.subtype") == "4" and unicast_mac(chassis_mac):
        mac = chassis_mac.upper()
    port = b""
    subtype = last(row, "lldp.port.subtype")
    if subtype == "3":
        port_mac = last(row, "lldp.port.id.mac")
        port = port_mac.upper().encode() if unicast_mac(port_mac) else b""
    elif subtype in ("1", "2", "5", "7"):
        port = lldp_text(tshark_bytes(last(row, "lldp.port.id")))
    if not port:
        port = lldp_text(tshark_bytes(last(row, "lldp.port.desc")))
    info = b"Port " + port if port else b""
    description = lldp_text(tshark_bytes(last(row, "lldp.tlv.system.desc")))
    if description:
        info += (b" | " if info else b"") + description
    ip = best_address(row["lldp.mgn.addr.ip4"] + row["lldp.mgn.addr.ip6"])
    if ip is None:
        ip = best_address(row["lldp.chassis.id.ip4"] + row["lldp.chassis.id.ip6"])
    return {
        "protocol": "LLDP",
        "ip": ip,
        "mac": mac or source,
        "name": as_json_text(lldp_text(tshark_bytes(last(row, "lldp.tlv.system.name")))),
        "model": as_json_text(lldp_text(tshark_bytes(last(row, "lldp.media.model")))),
        "info": as_json_text(info),
    }


def expect_cdp(row):
    version = first(row, "cdp.version")
    if version not in ("1", "2") or first(row, "cdp.ttl") in ("", "0"):
        return None
    name = lldp_text(tshark_bytes(last(row, "cdp.deviceid")))
    if not name:
        return None
    port = b""
    for value in row["cdp.portid"]:
        text = lldp_text(tshark_bytes(value))
        if text:
            port = text
    addresses = row["cdp.nrgyz.ip_address"] + row["cdp.nrgyz.ipv6_address"]
    return {
        "protocol": "CDP",
        # Norvane prefers the management list over the address list; when the
        # two differ, any usable address of the preferred family is accepted.
        "ip_choices": candidates(addresses),
        "mac": mac_upper(first(row, "eth.src")),
        "name": as_json_text(name),
        "model": as_json_text(lldp_text(tshark_bytes(last(row, "cdp.platform")))),
        "info": as_json_text(b"Port " + port) if port else "",
    }


def candidates(texts):
    addrs = [a for a in (address(t) for t in texts) if usable(a)]
    v4 = [a for a in addrs if a.version == 4]
    return v4 or addrs or [None]


def source_address(row):
    return address(first(row, "ip.src") or first(row, "ipv6.src"))


def expect_dns(row, protocol):
    if first(row, "dns.flags.response") != "1" or first(row, "dns.flags.rcode") != "0":
        return None
    names, types = row["dns.resp.name"], row["dns.resp.type"]
    classes, ttls = row["dns.resp.class"], row["dns.resp.ttl"]
    if not types:
        return None
    # tshark splits the owner name of an SRV record into other fields, so
    # that record has no dns.resp.name; it is never an address or a PTR.
    srv = "33"
    if len(names) + types.count(srv) == len(types):
        names = list(names)
        names = [names.pop(0) if rtype != srv else "" for rtype in types]
    if not (len(names) == len(types) == len(classes) == len(ttls)):
        return "unaligned"  # an OPT or unusual record: tshark's lists do not line up
    if protocol == "mDNS" and all(int(c, 0) & 0x7FFF == 1 and t == "0"
                                  for c, t in zip(classes, ttls)):
        return {"protocol": protocol, "name": "", "info": "", "departure": True}
    a_values, aaaa_values = list(row["dns.a"]), list(row["dns.aaaa"])
    sender = source_address(row)
    host = b""
    service = b""
    for name, rtype, rclass, ttl in zip(names, types, classes, ttls):
        value = None
        if rtype == "1" and a_values:
            value = address(a_values.pop(0))
        elif rtype == "28" and aaaa_values:
            value = address(aaaa_values.pop(0))
        live = int(rclass, 0) & 0x7FFF == 1 and ttl != "0"
        if not live:
            continue
        owner = tshark_bytes(name)
        if value is not None and value == sender and usable(sender):
            host = clean_text(owner)
        if (rtype == "12" and not service and owner.startswith(b"_") and
                (b"._tcp." in owner or b"._udp." in owner)):
            service = clean_text(owner)
    if not host and not service:
        return None
    return {"protocol": protocol, "name": as_json_text(host), "info": as_json_text(service)}


def header_lines(row):
    """Header (name, value) pairs. tshark lists every header line of a
    response, but for a request only the headers it does not know, and the
    SERVER header as a field of its own."""
    lines = row["http.request.line"] + row["http.response.line"] + row["http.unknown_header"]
    headers = []
    if not any(tshark_bytes(line).upper().startswith(b"SERVER:") for line in lines):
        headers = [(b"SERVER", tshark_bytes(value).strip(b" \t\r\n")) for value in row["http.server"]]
    for line in lines:
        text = tshark_bytes(line).split(b"\n", 1)[0]
        if b":" not in text:
            continue
        name, value = text.split(b":", 1)
        headers.append((name.strip(b" \t\r").upper(), value.strip(b" \t\r\n")))
    return headers


def expect_ssdp(row):
    if (first(row, "http.request.method") == "NOTIFY" and first(row, "http.request.uri") == "*"
            and first(row, "http.request.version") == "HTTP/1.1"):
        target_header, notify = b"NT", True
    elif (first(row, "http.response.version") == "HTTP/1.1" and
          first(row, "http.response.code") == "200" and row["http.response.phrase"]):
        target_header, notify = b"ST", False
    else:
        return None
    target = server = nts = b""
    usn = False
    for name, value in header_lines(row):
        if name == target_header:
            target = value
        elif name == b"SERVER":
            server = value
        elif name == b"USN":
            usn = bool(value)
        elif name == b"NTS":
            nts = value
    if not target or not usn:
        return None
    if notify and nts.lower() == b"ssdp:byebye":
        return {"protocol": "SSDP", "info": "", "departure": True}
    info = clean_text(server) if server else b""
    return {"protocol": "SSDP", "info": as_json_text(info or clean_text(target))}


def scope_value(scopes, prefix):
    rest = scopes
    while rest:
        rest = rest.strip(b" \t\r\n")
        token = rest
        for i, b in enumerate(rest):
            if b in b" \t\r\n":
                token = rest[:i]
                break
        if token.startswith(prefix):
            out = bytearray()
            value = token[len(prefix):]
            i = 0
            while i < len(value) and len(out) < 192:
                if (value[i:i + 1] == b"%" and i + 2 < len(value) and
                        all(chr(c) in "0123456789abcdefABCDEF" for c in value[i + 1:i + 3])):
                    out.append(int(value[i + 1:i + 3], 16))
                    i += 3
                else:
                    out.append(value[i])
                    i += 1
            return clean_text(bytes(out))
        if len(token) == len(rest):
            return b""
        rest = rest[len(token) + 1:]
    return b""


def xml_text(raw):
    entities = [(b"&amp;", b"&"), (b"&quot;", b'"'), (b"&apos;", b"'"), (b"&lt;", b"<"),
                (b"&gt;", b">")]
    out = bytearray()
    i = 0
    while i < len(raw) and len(out) < 192:
        if raw[i:i + 1] == b"&":
            for entity, char in entities:
                if raw.startswith(entity, i):
                    out += char
                    i += len(entity)
                    break
            else:
                out.append(raw[i])
                i += 1
        else:
            out.append(raw[i])
            i += 1
    return clean_text(bytes(out))


def expect_wsd(message):
    if message is None:
        return None
    parts = {}
    for local in ("Scopes", "Types", "XAddrs"):
        element = find(message, local)
        parts[local] = element[1] if element is not None else b""
    onvif = ONVIF_SCOPE in parts["Scopes"] or b"NetworkVideoTransmitter" in parts["Types"]
    if message[0] == "Bye":
        if not message[1] and not message[2]:
            return None  # an empty Bye names no endpoint
        return {"protocol": "ONVIF" if onvif else "WS-Discovery", "name": "", "model": "",
                "info": "", "departure": True}
    if not any(parts.values()):
        return None
    return {
        "protocol": "ONVIF" if onvif else "WS-Discovery",
        "name": as_json_text(scope_value(parts["Scopes"], ONVIF_SCOPE + b"name/")),
        "model": as_json_text(scope_value(parts["Scopes"], ONVIF_SCOPE + b"hardware/")),
        "info": as_json_text(xml_text(parts["Types"])),
    }


# ------------------------------------------------------------ compare ----


class Report:
    def __init__(self):
        self.agreed = {}
        self.problems = []
        self.unaligned = 0

    def agree(self, family):
        self.agreed[family] = self.agreed.get(family, 0) + 1

    def problem(self, capture, frame, family, text):
        self.problems.append(f"{os.path.basename(capture)} frame {frame} ({family}): {text}")


def compare_frame(report, capture, number, family, expected, line, protocols):
    got_protocol = line.get("protocol", "") if line else ""
    if expected is None:
        if got_protocol in protocols:
            report.problem(capture, number, family,
                           f"tshark shows no {family} device here, norvane-decode reports "
                           f"{got_protocol} {line}")
        return
    if line is None:
        report.problem(capture, number, family, f"norvane-decode kept no frame; tshark gives "
                       f"{printable(expected)}")
        return
    diffs = []
    for field in ("protocol", "mac", "name", "model", "info"):
        if field in expected and line.get(field, "") != expected[field]:
            diffs.append(f"{field}: norvane {line.get(field, '')!r} tshark {expected[field]!r}")
    departure = expected.get("departure", False)
    if line.get("departure", False) != departure:
        diffs.append(f"departure: norvane {line.get('departure', False)} tshark {departure}")
    if "ip" in expected or "ip_choices" in expected:
        got = address(line.get("ip", "")) if line.get("ip") else None
        choices = expected.get("ip_choices", [expected.get("ip")])
        if got not in choices:
            want = " or ".join(str(c) if c else "''" for c in choices)
            diffs.append(f"ip: norvane {line.get('ip', '')!r} tshark {want}")
    if diffs:
        report.problem(capture, number, family, "; ".join(diffs))
    else:
        report.agree(family)


def printable(expected):
    return {k: (str(v) if k != "ip_choices" else [str(c) for c in v]) for k, v in expected.items()}


class Skip(Exception):
    pass


def compare_capture(report, decoder, tshark, capture):
    result = subprocess.run([decoder, capture], capture_output=True)
    if result.returncode == SKIP:
        raise Skip(result.stderr.decode("utf-8", "replace").strip())
    if result.returncode != 0:
        report.problem(capture, "-", "norvane-decode",
                       f"exit status {result.returncode}: "
                       f"{result.stderr.decode('utf-8', 'replace').strip()}")
    lines = {}
    for text in result.stdout.decode("utf-8", "replace").splitlines():
        if text.strip():
            obj = json.loads(text)
            lines[obj["frame"]] = obj
    rows = run_tshark(tshark, capture)
    wsd = {}
    if any(3702 in (int(first(r, "udp.srcport", "0")), int(first(r, "udp.dstport", "0")))
           for r in rows.values()):
        wsd = run_tshark_wsd(tshark, capture)
    for number, row in sorted(rows.items()):
        line = lines.get(number)
        src_port = int(first(row, "udp.srcport", "0"))
        dst_port = int(first(row, "udp.dstport", "0"))
        if row["lldp.tlv.type"]:
            compare_frame(report, capture, number, "LLDP", expect_lldp(row), line, {"LLDP"})
        elif row["cdp.version"]:
            compare_frame(report, capture, number, "CDP", expect_cdp(row), line, {"CDP"})
        elif src_port == 5355 and row["dns.flags.response"]:
            expected = expect_dns(row, "LLMNR")
            if expected == "unaligned":
                report.unaligned += 1
            else:
                compare_frame(report, capture, number, "LLMNR", expected, line, {"LLMNR"})
        elif src_port == 5353 and row["dns.flags.response"]:
            expected = expect_dns(row, "mDNS")
            if expected == "unaligned":
                report.unaligned += 1
            else:
                compare_frame(report, capture, number, "mDNS", expected, line, {"mDNS"})
        elif 1900 in (src_port, dst_port) and (row["http.request.method"] or
                                               row["http.response.code"]):
            compare_frame(report, capture, number, "SSDP", expect_ssdp(row), line, {"SSDP"})
        elif 3702 in (src_port, dst_port) and number in wsd:
            compare_frame(report, capture, number, "WS-Discovery", expect_wsd(wsd[number]), line,
                          {"ONVIF", "WS-Discovery"})


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--decoder", required=True, help="path of norvane-decode")
    parser.add_argument("--tshark", default="tshark")
    parser.add_argument("--require", default="",
                        help="comma-separated families that must agree on at least one frame "
                             "(LLDP,CDP,mDNS,LLMNR,SSDP,WS-Discovery)")
    parser.add_argument("captures", nargs="*")
    args = parser.parse_args()

    if not os.access(args.decoder, os.X_OK):
        print(f"SKIP: {args.decoder} is not built yet")
        return SKIP
    tshark = shutil.which(args.tshark)
    if tshark is None:
        print("SKIP: tshark is not installed")
        return SKIP
    captures = [c for c in args.captures if os.path.isfile(c)]
    if not captures:
        print("SKIP: no captures to compare (the lab did not run?)")
        return SKIP

    report = Report()
    try:
        for capture in captures:
            compare_capture(report, args.decoder, tshark, capture)
    except Skip as why:
        print(f"SKIP: {why}")
        return SKIP

    for family in [f for f in args.require.split(",") if f]:
        if report.agreed.get(family, 0) == 0:
            report.problems.append(f"no {family} frame was decoded alike by both")
    summary = ", ".join(f"{k} {v}" for k, v in sorted(report.agreed.items())) or "none"
    print(f"frames decoded alike: {summary}")
    if report.unaligned:
        print(f"DNS answers not compared (tshark record lists do not line up): {report.unaligned}")
    for problem in report.problems:
        print(f"MISMATCH {problem}")
    agreed = sum(report.agreed.values())
    print(f"comparison: {agreed} frames agree, {len(report.problems)} disagreements")
    return 1 if report.problems else 0


if __name__ == "__main__":
    sys.exit(main())
