#!/usr/bin/env python3
"""A minimal ONVIF-style WS-Discovery peer for the lab: Debian ships no ONVIF
device daemon, so this one plays a camera. It announces itself with Hello,
answers every Probe with a ProbeMatches naming the camera through ONVIF
scopes, and says Bye when stopped (SIGTERM).

    onvif_peer.py OWN_IPV4
"""
import signal
import socket
import struct
import sys
import uuid

GROUP = "239.255.255.250"
PORT = 3702
DEVICE = "urn:uuid:6e6f7276-616e-6500-0000-000000000017"
TYPES = "dn:NetworkVideoTransmitter tds:Device"
SCOPES = ("onvif://www.onvif.org/type/video_encoder "
          "onvif://www.onvif.org/name/NV%20Lab%20Camera "
          "onvif://www.onvif.org/hardware/NV-IPC-4K "
          "onvif://www.onvif.org/location/country/poland")

ENVELOPE = ('<?xml version="1.0" encoding="UTF-8"?>'
            '<s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope" '
            'xmlns:a="http://schemas.xmlsoap.org/ws/2004/08/addressing" '
            'xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery" '
            'xmlns:dn="http://www.onvif.org/ver10/network/wsdl" '
            'xmlns:tds="http://www.onvif.org/ver10/device/wsdl">'
            '<s:Header><a:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/{action}</a:Action>'
            '<a:MessageID>urn:uuid:{message}</a:MessageID>{relates}'
            '<a:To>{to}</a:To>'
            '<d:AppSequence InstanceId="1" MessageNumber="{number}"/></s:Header>'
            '<s:Body>{body}</s:Body></s:Envelope>')


def endpoint(xaddr, with_details=True):
    details = ""
    if with_details:
        details = (f"<d:Types>{TYPES}</d:Types><d:Scopes>{SCOPES}</d:Scopes>"
                   f"<d:XAddrs>{xaddr}</d:XAddrs>")
    return (f"<a:EndpointReference><a:Address>{DEVICE}</a:Address></a:EndpointReference>"
            f"{details}<d:MetadataVersion>1</d:MetadataVersion>")


class Peer:
    def __init__(self, address):
        self.xaddr = f"http://{address}/onvif/device_service"
        self.number = 0
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind(("", PORT))
        membership = struct.pack("4s4s", socket.inet_aton(GROUP), socket.inet_aton(address))
        self.sock.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP, membership)
        self.sock.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(address))
        self.sock.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 1)

    def message(self, action, body, relates="", to="urn:schemas-xmlsoap-org:ws:2005:04:discovery"):
        self.number += 1
        return ENVELOPE.format(action=action, message=uuid.uuid4(), relates=relates, to=to,
                               number=self.number, body=body).encode()

    def hello(self):
        body = f"<d:Hello>{endpoint(self.xaddr)}</d:Hello>"
        self.sock.sendto(self.message("Hello", body), (GROUP, PORT))

    def bye(self):
        body = f"<d:Bye>{endpoint(self.xaddr, with_details=False)}</d:Bye>"
        self.sock.sendto(self.message("Bye", body), (GROUP, PORT))

    def answer(self, data, sender):
        text = data.decode("utf-8", "replace")
        if ":Probe>" not in text and "<Probe>" not in text:
            return  # Hello, Bye, ProbeMatches of other peers
        start = text.find("MessageID>")
        relates = ""
        if start >= 0:
            end = text.find("<", start)
            relates = f"<a:RelatesTo>{text[start + 10:end]}</a:RelatesTo>"
        body = f"<d:ProbeMatches><d:ProbeMatch>{endpoint(self.xaddr)}</d:ProbeMatch></d:ProbeMatches>"
        to = "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous"
        self.sock.sendto(self.message("ProbeMatches", body, relates, to), sender)

    def run(self):
        self.hello()
        while True:
            data, sender = self.sock.recvfrom(65536)
            self.answer(data, sender)


def main():
    peer = Peer(sys.argv[1])

    def stop(_signum, _frame):
        peer.bye()
        sys.exit(0)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    peer.run()


if __name__ == "__main__":
    main()
