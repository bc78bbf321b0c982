#!/usr/bin/env python3
"""A stand-in for the two registry servers, for the WinHTTP tests.

Runs inside the test's own network namespace only. Listens with TLS 1.2 and
1.3 on ADDRESS:443 and with TLS 1.3 alone on TLS13_ADDRESS:443, and serves:

  /oui/oui.csv, /oui28/mam.csv, /oui36/oui36.csv, /iab/iab.csv
                          the files of REGISTRY_DIR
  /download/automated/data/manuf
                          MANUF_FILE
  /test/...               the odd answers the download must reject

Every request line and its headers go to WORK/requests.log. While the file
WORK/fail-all exists, every registry answers 503.

Usage: registry_server.py WORK CERT KEY REGISTRY_DIR MANUF_FILE ADDRESS TLS13_ADDRESS
"""
import os
import socket
import ssl
import sys
import threading
import time

work, cert, key, registries, manuf, address, tls13_address = sys.argv[1:8]

FILES = {
    "/oui/oui.csv": os.path.join(registries, "oui.csv"),
    "/oui28/mam.csv": os.path.join(registries, "mam.csv"),
    "/oui36/oui36.csv": os.path.join(registries, "oui36.csv"),
    "/iab/iab.csv": os.path.join(registries, "iab.csv"),
    "/download/automated/data/manuf": manuf,
}
log_lock = threading.Lock()


def log(text):
    with log_lock:
        with open(os.path.join(work, "requests.log"), "a", encoding="utf-8") as f:
            f.write(text + "\n")


def head(status, headers):
    lines = [f"HTTP/1.1 {status}"] + [f"{k}: {v}" for k, v in headers] + ["", ""]
    return "\r\n".join(lines).encode()


def chunked(body, size=4096):
    out = b""
    for i in range(0, len(body), size):
        part = body[i:i + size]
        out += f"{len(part):x}\r\n".encode() + part + b"\r\n"
    return out + b"0\r\n\r\n"


def answer(conn, path):
    base = [("Content-Type", "text/csv"), ("Connection", "close")]
    if path in FILES:
        if os.path.exists(os.path.join(work, "fail-all")):
            conn.sendall(head("503 Service Unavailable", base + [("Content-Length", "0")]))
            return
        with open(FILES[path], "rb") as f:
            body = f.read()
        conn.sendall(head("200 OK", base + [("Content-Length", str(len(body)))]) + body)
    elif path == "/test/ok":
        body = b"0123456789" * 1000
        conn.sendall(head("200 OK", base + [("Content-Length", str(len(body)))]) + body)
    elif path == "/test/length0":
        conn.sendall(head("200 OK", base + [("Content-Length", "0")]))
    elif path == "/test/toolarge":
        conn.sendall(head("200 OK", base + [("Content-Length", "16777217")]) + b"x" * 65536)
    elif path == "/test/chunked":
        conn.sendall(head("200 OK", base + [("Transfer-Encoding", "chunked")]) +
                     chunked(b"abcdefghij" * 30000))
    elif path == "/test/chunked-empty":
        conn.sendall(head("200 OK", base + [("Transfer-Encoding", "chunked")]) + b"0\r\n\r\n")
    elif path == "/test/chunked-huge":
        # Above the 8 MiB a caller may allow, without announcing it.
        conn.sendall(head("200 OK", base + [("Transfer-Encoding", "chunked")]))
        block = b"z" * 65536
        for _ in range(130):
            conn.sendall(f"{len(block):x}\r\n".encode() + block + b"\r\n")
        conn.sendall(b"0\r\n\r\n")
    elif path == "/test/longer":
        conn.sendall(head("200 OK", base + [("Content-Length", "1000")]) + b"L" * 5000)
    elif path == "/test/shorter":
        conn.sendall(head("200 OK", base + [("Content-Length", "100000")]) + b"S" * 40000)
    elif path == "/test/redirect":
        conn.sendall(head("302 Found", base + [("Location", "/test/ok"), ("Content-Length", "0")]))
    elif path == "/test/slow":
        conn.sendall(head("200 OK", base + [("Content-Length", "2000000")]))
        for _ in range(2000):
            conn.sendall(b"w" * 1000)
            time.sleep(0.05)
    else:
        conn.sendall(head("404 Not Found", base + [("Content-Length", "0")]))


def serve(raw, context):
    while True:
        try:
            client, _ = raw.accept()
        except OSError:
            return
        threading.Thread(target=handle, args=(client, context), daemon=True).start()


def handle(client, context):
    try:
        conn = context.wrap_socket(client, server_side=True)
    except (ssl.SSLError, OSError) as e:
        log(f"TLS-FAILED {type(e).__name__}")
        client.close()
        return
    try:
        data = b""
        while b"\r\n\r\n" not in data and len(data) < 65536:
            part = conn.recv(4096)
            if not part:
                break
            data += part
        request = data.split(b"\r\n\r\n", 1)[0].decode("latin-1")
        log(request.replace("\r\n", "\n") + "\n--")
        lines = request.split("\r\n")
        parts = lines[0].split(" ") if lines else []
        if len(parts) >= 2:
            answer(conn, parts[1])
    except (ssl.SSLError, OSError):
        pass
    finally:
        try:
            conn.close()
        except OSError:
            pass


def listener(addr, context):
    raw = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    raw.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    raw.bind((addr, 443))
    raw.listen(16)
    return threading.Thread(target=serve, args=(raw, context), daemon=True)


both = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
both.minimum_version = ssl.TLSVersion.TLSv1_2
both.load_cert_chain(cert, key)
only13 = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
only13.minimum_version = ssl.TLSVersion.TLSv1_3
only13.load_cert_chain(cert, key)
threads = [listener(address, both), listener(tls13_address, only13)]
for t in threads:
    t.start()
open(os.path.join(work, "server.ready"), "w").close()
for t in threads:
    t.join()
