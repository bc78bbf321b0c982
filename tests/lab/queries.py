#!/usr/bin/env python3
"""The observer's questions to the lab peers, so that their answers are
captured too: mDNS (multicast and legacy unicast), LLMNR over IPv4 and IPv6,
SSDP M-SEARCH and WS-Discovery Probe (for a WSD device and for an ONVIF
camera). Prints one line per answer received.

    queries.py OWN_IPV4 [INTERFACE]
"""
import select
import socket
import struct
import sys
import time
import uuid

LISTEN_SECONDS = 2.5


def dns_name(name):
    out = b""
    for label in name.rstrip(".").split("."):
        out += bytes([len(label)]) + label.encode()
    return out + b"\0"


def dns_query(ident, questions):
    """questions: list of (name, type)."""
    header = struct.pack(">HHHHHH", ident, 0, len(questions), 0, 0, 0)
    return header + b"".join(dns_name(n) + struct.pack(">HH", t, 1) for n, t in questions)


def udp4(own, port=0, reuse=False):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    if reuse:
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.bind(("", port))
    sock.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(own))
    sock.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 1)
    return sock


def m_search(target):
    return ("M-SEARCH * HTTP/1.1\r\n"
            "HOST: 239.255.255.250:1900\r\n"
            'MAN: "ssdp:discover"\r\n'
            "MX: 1\r\n"
            f"ST: {target}\r\n"
            "USER-AGENT: Linux/6 UPnP/1.1 NorvaneLab/1.0\r\n\r\n").encode()


def probe(types, namespace):
    return ('<?xml version="1.0" encoding="UTF-8"?>'
            '<s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope" '
            'xmlns:a="http://schemas.xmlsoap.org/ws/2004/08/addressing" '
            'xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery" '
            f'{namespace}>'
            '<s:Header><a:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</a:Action>'
            f'<a:MessageID>urn:uuid:{uuid.uuid4()}</a:MessageID>'
            '<a:To>urn:schemas-xmlsoap-org:ws:2005:04:discovery</a:To></s:Header>'
            f'<s:Body><d:Probe><d:Types>{types}</d:Types></d:Probe></s:Body></s:Envelope>').encode()


def main():
    own = sys.argv[1]
    interface = sys.argv[2] if len(sys.argv) > 2 else "eth0"
    sockets = {}

    # mDNS: a multicast query from port 5353 and a legacy unicast one.
    mdns = udp4(own, 5353, reuse=True)
    mdns.sendto(dns_query(0, [("_services._dns-sd._udp.local", 12), ("_http._tcp.local", 12),
                              ("nvlab-camera.local", 1)]), ("224.0.0.251", 5353))
    sockets[mdns] = "mDNS multicast"
    legacy = udp4(own)
    legacy.sendto(dns_query(0x1234, [("nvlab-camera.local", 1)]), ("224.0.0.251", 5353))
    sockets[legacy] = "mDNS legacy"

    # LLMNR over IPv4 and IPv6.
    llmnr = udp4(own)
    llmnr.sendto(dns_query(0x4c4c, [("nvlab-printer", 1)]), ("224.0.0.252", 5355))
    sockets[llmnr] = "LLMNR IPv4"
    llmnr6 = socket.socket(socket.AF_INET6, socket.SOCK_DGRAM)
    llmnr6.bind(("", 0))
    scope = socket.if_nametoindex(interface)
    llmnr6.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_MULTICAST_IF, scope)
    llmnr6.sendto(dns_query(0x4c36, [("nvlab-printer", 28)]), ("ff02::1:3", 5355, 0, scope))
    sockets[llmnr6] = "LLMNR IPv6"

    # SSDP searches.
    ssdp = udp4(own)
    for target in ("ssdp:all", "upnp:rootdevice"):
        ssdp.sendto(m_search(target), ("239.255.255.250", 1900))
    sockets[ssdp] = "SSDP"

    # WS-Discovery: wsdd answers only wsdp:Device; the ONVIF peer answers all.
    wsd = udp4(own)
    wsd.sendto(probe("wsdp:Device", 'xmlns:wsdp="http://schemas.xmlsoap.org/ws/2006/02/devprof"'),
               ("239.255.255.250", 3702))
    wsd.sendto(probe("dn:NetworkVideoTransmitter",
                     'xmlns:dn="http://www.onvif.org/ver10/network/wsdl"'),
               ("239.255.255.250", 3702))
    sockets[wsd] = "WS-Discovery"

    deadline = time.monotonic() + LISTEN_SECONDS
    while True:
        left = deadline - time.monotonic()
        if left <= 0:
            break
        ready, _, _ = select.select(list(sockets), [], [], left)
        for sock in ready:
            data, sender = sock.recvfrom(65536)
            print(f"{sockets[sock]}: {len(data)} bytes from {sender[0]} port {sender[1]}")
    for sock in sockets:
        sock.close()


if __name__ == "__main__":
    main()
