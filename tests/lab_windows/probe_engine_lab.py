#!/usr/bin/env python3
"""The probe engine under Wine on a real veth, checked from the far side.

Namespaces (all created here, removed at the end):
  nvd-h  the host: nvd0 10.78.0.1/24 is the adapter under test; nvd2
         10.78.1.1/24 is a second adapter that holds the default and the
         multicast routes, so anything not tied to the selected adapter
         would leave there.
  nvd-f  the far side of nvd0: tcpdump and a responder that answers every
         probe to its sender.
  nvd-o  the far side of nvd2: tcpdump and a sender that keeps aiming
         datagrams at the host's port 37810 through the wrong adapter.
In the host namespace another process holds UDP port 37020, so the SADP
probes must leave from the engine's main socket.

  probe_engine_lab.py EXE WINE_BUILD_DIR

Exits 77 when not root or a tool is missing.
"""
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
HOST, FAR, OTHER = "nvd-h", "nvd-f", "nvd-o"


def run(*cmd, check=True, **kw):
    return subprocess.run(cmd, check=check, **kw)


def ns(name, *cmd, **kw):
    return run("ip", "netns", "exec", name, *cmd, **kw)


def cleanup():
    for name in (HOST, FAR, OTHER):
        out = subprocess.run(["ip", "netns", "pids", name], capture_output=True, text=True)
        for pid in out.stdout.split():
            try:
                os.kill(int(pid), signal.SIGKILL)
            except (ProcessLookupError, ValueError):
                pass
        subprocess.run(["ip", "netns", "del", name], capture_output=True)


def setup():
    cleanup()
    for name in (HOST, FAR, OTHER):
        run("ip", "netns", "add", name)
        ns(name, "ip", "link", "set", "lo", "up")
    run("ip", "-n", HOST, "link", "add", "nvd0", "type", "veth", "peer", "name", "nvd1",
        "netns", FAR)
    run("ip", "-n", HOST, "link", "add", "nvd2", "type", "veth", "peer", "name", "nvd3",
        "netns", OTHER)
    for n, dev, addr in ((HOST, "nvd0", "10.78.0.1/24"), (FAR, "nvd1", "10.78.0.2/24"),
                         (HOST, "nvd2", "10.78.1.1/24"), (OTHER, "nvd3", "10.78.1.2/24")):
        run("ip", "-n", n, "addr", "add", addr, "dev", dev)
        run("ip", "-n", n, "link", "set", dev, "up")
    run("ip", "-n", HOST, "route", "add", "default", "via", "10.78.1.2", "dev", "nvd2")
    run("ip", "-n", HOST, "route", "add", "224.0.0.0/4", "dev", "nvd2")
    run("ip", "-n", FAR, "route", "add", "224.0.0.0/4", "dev", "nvd1")
    run("ip", "-n", OTHER, "route", "add", "224.0.0.0/4", "dev", "nvd3")


RESPONDER = r"""
import select, socket, struct, sys, time
ports = [37020, 37810, 10001, 5678, 3702, 1900]
socks = []
for p in ports:
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("0.0.0.0", p))
    for g in ("239.255.255.250", "239.255.255.251"):
        s.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                     socket.inet_aton(g) + socket.inet_aton("10.78.0.2"))
    socks.append((p, s))
print("ready", flush=True)
end = time.time() + float(sys.argv[1])
while time.time() < end:
    r, _, _ = select.select([s for _, s in socks], [], [], 0.2)
    for p, s in socks:
        if s in r:
            data, peer = s.recvfrom(65535)
            s.sendto(b"reply:%d" % p, peer)
"""

INTRUDER = r"""
import socket, sys, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
end = time.time() + float(sys.argv[1])
while time.time() < end:
    s.sendto(b"through the other adapter", ("10.78.1.1", 37810))
    time.sleep(0.1)
"""

HOLDER = r"""
import socket, sys, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("0.0.0.0", 37020))
print("ready", flush=True)
time.sleep(float(sys.argv[1]))
"""


def udp_from_host(pcap):
    out = run("tshark", "-r", pcap, "-Y", "udp && !icmp && (ip.src==10.78.0.1 || ip.src==10.78.1.1)",
              "-T", "fields", "-e", "ip.src", "-e", "ip.dst", "-e", "udp.srcport",
              "-e", "udp.dstport", "-e", "ip.ttl", capture_output=True, text=True)
    return [line.split("\t") for line in out.stdout.splitlines() if line.strip()]


def main():
    if len(sys.argv) != 3:
        print("usage: probe_engine_lab.py EXE WINE_BUILD_DIR", file=sys.stderr)
        return 2
    exe, build = sys.argv[1], os.path.abspath(sys.argv[2])
    if os.geteuid() != 0:
        print("SKIP: needs root for network namespaces")
        return SKIP
    for tool in ("ip", "tcpdump", "tshark", "wine", "wineserver"):
        if not shutil.which(tool):
            print(f"SKIP: {tool} missing")
            return SKIP
    work = tempfile.mkdtemp(prefix="nvd-")
    procs = []
    failures = []
    try:
        setup()
        env = dict(os.environ)
        env.update(WINEPREFIX=os.path.join(build, "wineprefix-nvd"), WINEDEBUG="-all",
                   WINEDLLOVERRIDES="mscoree,mshtml=", WINEARCH="win64")
        env.pop("DISPLAY", None)
        for name, dev in ((FAR, "nvd1"), (OTHER, "nvd3")):
            procs.append(subprocess.Popen(
                ["ip", "netns", "exec", name, "tcpdump", "-i", dev, "-U", "-n", "-w",
                 os.path.join(work, dev + ".pcap")], stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL))
        responder = subprocess.Popen(["ip", "netns", "exec", FAR, "python3", "-c", RESPONDER, "60"],
                                     stdout=subprocess.PIPE, text=True)
        procs.append(responder)
        holder = subprocess.Popen(["ip", "netns", "exec", HOST, "python3", "-c", HOLDER, "60"],
                                  stdout=subprocess.PIPE, text=True)
        procs.append(holder)
        responder.stdout.readline()
        holder.stdout.readline()
        procs.append(subprocess.Popen(["ip", "netns", "exec", OTHER, "python3", "-c", INTRUDER,
                                       "60"]))
        # The whole Wine session lives in the host namespace.
        ns(HOST, "sh", "-c", "wineserver -p </dev/null >/dev/null 2>&1; "
           "wine wineboot </dev/null >/dev/null 2>&1", env=env, check=False)
        time.sleep(1.0)  # tcpdump is listening
        result = ns(HOST, "wine", exe, "10.78.0.1", env=env, check=False, capture_output=True,
                    text=True, timeout=120)
        ns(HOST, "wineserver", "-k", env=env, check=False)
        time.sleep(0.5)
        lines = [json.loads(l) for l in result.stdout.splitlines() if l.startswith("{")]
        print(result.stdout)
        if result.returncode != 0:
            failures.append(f"exe exited {result.returncode}: {result.stderr[-400:]}")

        def expect(cond, what):
            if not cond:
                failures.append(what)

        adapters = {l["label"]: l for l in lines if "adapter" in l}
        expect(set(adapters) == {"nvd0", "nvd2"}, f"adapters {sorted(adapters)}")
        a = adapters.get("nvd0", {})
        expect(a.get("ipv4") == "10.78.0.1" and a.get("broadcast") == "10.78.0.255",
               f"nvd0 addresses {a}")
        expect(a.get("connected") is True, "nvd0 connected")
        searches = [l for l in lines if "search" in l]
        expect([s["count"] for s in searches] == [16, 16], f"search counts {searches}")
        main_port = next((l["main_port"] for l in lines if "main_port" in l), None)
        replies = [l for l in lines if "reply" in l]
        expect(all(r["reply"] == "10.78.0.2" for r in replies),
               "only the far side's answers are handed over: "
               + str({r["reply"] for r in replies}))
        local = {r["local_port"] for r in replies}
        expect(local == {main_port, 37810, 10001, 5678}, f"answer local ports {sorted(local)}")
        for r in replies:
            expect(r["payload"] == f"reply:{r['source_port']}", f"reply payload {r}")
        after = next((l for l in lines if "after" in l), {})
        expect(after.get("port_sockets") == 0 and after.get("port_37810_free") is True,
               f"port sockets released: {after}")

        stop(procs)
        procs = []
        far = udp_from_host(os.path.join(work, "nvd1.pcap"))
        other = udp_from_host(os.path.join(work, "nvd3.pcap"))
        expect(not other, f"{len(other)} datagrams left through the other adapter: {other[:5]}")
        expect(len(far) == 32, f"{len(far)} datagrams on the selected adapter, expected 32")
        expect(all(f[0] == "10.78.0.1" and f[4] == "1" for f in far),
               "source 10.78.0.1 and TTL 1 on every probe")
        expected = {("239.255.255.250", "37020"): 1, ("10.78.0.255", "37020"): 1,
                    ("255.255.255.255", "37020"): 1, ("239.255.255.251", "37810"): 2,
                    ("10.78.0.255", "37810"): 1, ("255.255.255.255", "37810"): 1,
                    ("10.78.0.255", "10001"): 2, ("255.255.255.255", "10001"): 2,
                    ("10.78.0.255", "5678"): 1, ("255.255.255.255", "5678"): 1,
                    ("239.255.255.250", "3702"): 2, ("239.255.255.250", "1900"): 1}
        seen = {}
        for f in far[:16]:
            seen[(f[1], f[3])] = seen.get((f[1], f[3]), 0) + 1
        expect(seen == expected, f"first search destinations {seen}")
        sources = [(f[2], f[3]) for f in far]
        expect(sources[:16] == sources[16:], "second search reuses the same source ports")
        by_dest = {f[3]: f[2] for f in far}
        expect(by_dest.get("37020") == str(main_port),
               "SADP leaves from the main socket while 37020 is held")
        for port in ("10001", "5678"):
            expect(by_dest.get(port) == port, f"port {port} probes leave from their own port")
    finally:
        stop(procs)
        cleanup()
        shutil.rmtree(work, ignore_errors=True)
    for f in failures:
        print("FAIL:", f)
    print("probe engine lab:", "failed" if failures else "passed")
    return 1 if failures else 0


def stop(procs):
    for p in procs:
        if p.poll() is None:
            p.terminate()
    for p in procs:
        try:
            p.wait(timeout=5)
        except subprocess.TimeoutExpired:
            p.kill()


if __name__ == "__main__":
    sys.exit(main())
