#!/usr/bin/env python3
"""Bounded flood test of a running node, on loopback only.

Starts the node binary on a scratch application folder, plays its TCP receiver adapter and an xAP
peer, and prints the figures of two floods:

  xap    20,000 malformed datagrams to the node's xAP port: outgoing log messages, the largest
         one, and how long after the flood's end a BSC query is answered.
  noise  5 MiB of random receiver bytes: device records created, settings-file rewrites, how long
         valid packets sent after the noise wait to be decoded, and the node's peak RSS.

Every loop is bounded (fixed counts and deadlines); the node is stopped at the end. Exit status 0
when the checks given with --check hold (or when no check was asked for).

  bench/flood/flood.py --node build/release/src/app/quillon [--check] [--json FILE]
"""
import argparse
import ctypes
import json
import os
import random
import re
import select
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

XAP_PORT = 3639
ADMIT_PER_MINUTE = 20  # the node's admission rate of new device codes
DATAGRAMS = 20000
NOISE_BYTES = 5 * 1024 * 1024

# Devices with a location, so that the node publishes their packets and answers queries for them.
UNITS = {
    "21D0": "21D0~0~~False~~~Lounge~21D0~False~True~False~0~~Temperature~False~4.7~",
    "1A2D_1E5": "1A2D_1E5~0~~False~~~Garden~1A2D314535~False~True~False~0~~Temperature~False~4.7~",
    "45B5": "45B5~0~~False~~~Meter cupboard~45B5~False~True~False~0~~Watt~False~4.7~",
}
# Valid 48-bit receive events (count byte, data) sent after the noise, with the device code their
# xAP message names.
VALID = [
    ("21D0", bytes.fromhex("2021D01581")),
    ("1A2D", bytes.fromhex("501A2D10E50221503839 4B")),
    ("45B5", bytes.fromhex("3045B5012C0007")),
]


def free_tcp_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Inotify:
    """Counts renames onto the settings file (each atomic save is one). A thread reads the events
    as they come, since the kernel merges identical events that wait unread."""

    IN_MOVED_TO = 0x80

    def __init__(self, folder, name):
        self.libc = ctypes.CDLL(None, use_errno=True)
        self.fd = self.libc.inotify_init1(os.O_NONBLOCK)
        self.libc.inotify_add_watch(self.fd, folder.encode(), self.IN_MOVED_TO)
        self.name = name.encode()
        self.count = 0
        self.running = True
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def run(self):
        while self.running:
            ready, _, _ = select.select([self.fd], [], [], 0.1)
            if not ready:
                continue
            try:
                data = os.read(self.fd, 65536)
            except BlockingIOError:
                continue
            pos = 0
            while pos < len(data):
                _, mask, _, length = struct.unpack_from("iIII", data, pos)
                name = data[pos + 16 : pos + 16 + length].rstrip(b"\0")
                if mask & self.IN_MOVED_TO and name == self.name:
                    self.count += 1
                pos += 16 + length

    def poll(self):
        time.sleep(0.05)  # events already queued are read by the thread

    def stop(self):
        self.running = False
        self.thread.join()


class XapPeer:
    """Receives everything the node broadcasts (to the loopback address it was given)."""

    def __init__(self, address):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4 * 1024 * 1024)
        self.sock.bind((address, XAP_PORT))
        self.messages = []  # (arrival time, datagram)
        self.lock = threading.Lock()
        self.running = True
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def run(self):
        while self.running:
            ready, _, _ = select.select([self.sock], [], [], 0.1)
            if ready:
                data = self.sock.recv(70000)
                with self.lock:
                    self.messages.append((time.monotonic(), data))

    def since(self, t0):
        with self.lock:
            return [(t, d) for t, d in self.messages if t >= t0]

    def wait_for(self, predicate, t0, timeout):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for t, d in self.since(t0):
                if predicate(d):
                    return t
            time.sleep(0.005)
        return None

    def stop(self):
        self.running = False
        self.thread.join()
        self.sock.close()


def item(datagram, name):
    m = re.search(rb"(?mi)^" + re.escape(name) + rb"=(.*)$", datagram)
    return m.group(1).decode("latin-1") if m else ""


def malformed_datagrams(rng, count):
    """Datagrams that start like xAP but fail to parse: duplicate items, duplicate sections, lines
    without '=', some of them tens of kilobytes long."""
    for i in range(count):
        kind = i % 4
        if kind == 0:
            body = "".join(f"dup=value {j}\n" for j in range(rng.randint(2, 40)))
            yield f"xap-header\n{{\nv=13\nhop=1\nuid=FF.1234:00\nclass=x.y\nsource=a.b.c\n}}\nblock\n{{\n{body}}}\n"
        elif kind == 1:
            yield "xap-header\n{\nv=13\nv=13\nhop=1\n}\n" + "x" * rng.randint(100, 1400)
        elif kind == 2:
            blocks = "".join(f"same\n{{\nk{j}=v\n}}\n" for j in range(rng.randint(2, 30)))
            yield "xap-header\n{\nv=13\nhop=1\nuid=FF.1234:00\nclass=x.y\nsource=a.b.c\n}\n" + blocks
        else:
            # Large: a duplicate key whose parse error would copy 40 kB of raw text.
            yield ("xap-header\n{\nv=13\nhop=1\nuid=FF.1234:00\nclass=x.y\nsource=a.b.c\n}\nblock\n{\na=1\na=2\n"
                   + "filler=" + "z" * 40000 + "\n}\n")


def write_folder(root, serial_port, broadcast, http_port):
    for sub in ("Config", "Data", "Scripts", "HTML"):
        os.makedirs(os.path.join(root, sub), exist_ok=True)
    with open(os.path.join(root, "Config", "Quillon.ini"), "w", newline="\r\n") as f:
        f.write("[W800]\nUID=FF.0052:00\nSerialIP=127.0.0.1\n")
        f.write(f"SerialPort={serial_port}\nHTTPPort={http_port}\nMode=1\nDebugLog=0\n[W800Units]\n")
        for code, props in UNITS.items():
            f.write(f"{code}={props}\n")
    with open(os.path.join(root, "Config", "ovkXap.ini"), "w", newline="\r\n") as f:
        f.write(f"[Interface]\nInterfaceAddress=127.0.0.1\nBroadcastAddress={broadcast}\nStartHub=0\n")
    with open(os.path.join(root, "Scripts", "Quillon.txt"), "w") as f:
        f.write("Sub Main\nEnd Sub\n")


def unit_count(root):
    try:
        with open(os.path.join(root, "Config", "Quillon.ini"), "rb") as f:
            text = f.read().decode("latin-1")
    except OSError:
        return 0
    part = re.split(r"(?mi)^\[W800UNITS\]\s*$", text)
    if len(part) < 2:
        return 0
    section = re.split(r"(?m)^\[", part[1])[0]
    return sum(1 for line in section.splitlines() if "=" in line)


def rss_kib(pid, field):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith(field + ":"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--node", required=True, help="the quillon binary")
    ap.add_argument("--datagrams", type=int, default=DATAGRAMS)
    ap.add_argument("--noise-bytes", type=int, default=NOISE_BYTES)
    ap.add_argument("--seed", type=int, default=23)
    ap.add_argument("--json", help="also write the figures to this file")
    ap.add_argument("--keep", action="store_true", help="keep the scratch folder")
    ap.add_argument("--check", action="store_true", help="fail unless the figures meet the bounds")
    args = ap.parse_args()
    rng = random.Random(args.seed)

    root = tempfile.mkdtemp(prefix="quillon-flood-")
    # A loopback address of our own, so that no other xAP program on this machine sees the traffic.
    broadcast, peer = None, None
    for _ in range(50):
        broadcast = f"127.{rng.randint(1, 254)}.{rng.randint(1, 254)}.{rng.randint(1, 254)}"
        try:
            peer = XapPeer(broadcast)
            break
        except OSError:
            continue
    if peer is None:
        sys.exit("no loopback address with a free xAP port")

    adapter = socket.socket()
    adapter.bind(("127.0.0.1", 0))
    adapter.listen(1)
    write_folder(root, adapter.getsockname()[1], broadcast, free_tcp_port())
    watcher = Inotify(os.path.join(root, "Config"), "Quillon.ini")

    node = subprocess.Popen([args.node, "--app-dir", root, "--headless"], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    figures = {}
    try:
        t0 = time.monotonic()
        hb = peer.wait_for(lambda d: d.startswith(b"xap-hbeat") and b"port=" in d, t0, 20)
        if hb is None:
            sys.exit("the node sent no heartbeat")
        hbeat = [d for t, d in peer.since(t0) if d.startswith(b"xap-hbeat")][0]
        node_port = int(item(hbeat, b"port"))
        source = item(hbeat, b"source")
        adapter.settimeout(20)
        link, _ = adapter.accept()
        time.sleep(1.0)  # start-up messages out of the way

        # ---- xAP flood ------------------------------------------------------------------------
        udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        start = time.monotonic()
        for n, text in enumerate(malformed_datagrams(rng, args.datagrams)):
            udp.sendto(text.encode(), ("127.0.0.1", node_port))
            if n % 100 == 99:
                time.sleep(0.005)  # paced so that most datagrams reach the node's socket
        flood_end = time.monotonic()
        query = (f"xap-header\n{{\nv=13\nhop=1\nuid=FF.7777:00\nclass=xAPBSC.query\nsource=flood.test.peer\n"
                 f"target={source}:>\n}}\nrequest\n{{\n}}\n")
        udp.sendto(query.encode(), ("127.0.0.1", node_port))
        answered = peer.wait_for(lambda d: b"xAPBSC.info" in d or b"xapbsc.info" in d, flood_end, 60)
        time.sleep(3.0)  # log summaries of the flood's last second
        logs = [d for t, d in peer.since(start) if b"Homeseer.Event" in d]
        figures["xap_log_messages"] = len(logs)
        figures["xap_log_largest_bytes"] = max((len(d) for d in logs), default=0)
        figures["xap_query_answer_s"] = round(answered - flood_end, 3) if answered else None
        figures["xap_flood_send_s"] = round(flood_end - start, 2)

        # ---- receiver noise -------------------------------------------------------------------
        watcher.poll()
        watcher.count = 0
        units_before = unit_count(root)
        noise_start = time.monotonic()
        sent = 0
        link.settimeout(120)
        while sent < args.noise_bytes:
            chunk = min(4096, args.noise_bytes - sent)
            link.sendall(rng.randbytes(chunk))
            sent += chunk
            watcher.poll()
        noise_sent = time.monotonic()
        time.sleep(2.5)  # the receiver's time-out clears a half packet left by the noise
        delays = []
        for code, packet in VALID:
            t = time.monotonic()
            link.sendall(packet)
            got = peer.wait_for(lambda d, c=code.encode(): b"xapbsc." in d.lower() and c in d, t, 60)
            delays.append(round(got - t, 3) if got else None)
            watcher.poll()
        figures["noise_send_s"] = round(noise_sent - noise_start, 2)
        figures["valid_decode_delay_s"] = delays
        figures["rss_peak_mib"] = round(rss_kib(node.pid, "VmHWM") / 1024, 1)
        time.sleep(1.5)  # a coalesced write falls due
        watcher.poll()
        rewrites_running = watcher.count
        stop = time.monotonic()
        node.send_signal(signal.SIGTERM)
        try:
            node.wait(180)
        except subprocess.TimeoutExpired:
            pass
        figures["shutdown_s"] = round(time.monotonic() - stop, 2)
        watcher.poll()
        figures["settings_rewrites"] = rewrites_running
        figures["settings_rewrites_with_shutdown"] = watcher.count
        figures["records_created"] = unit_count(root) - units_before
        figures["settings_file_bytes"] = os.path.getsize(os.path.join(root, "Config", "Quillon.ini"))
        figures["log_file_bytes"] = os.path.getsize(os.path.join(root, "Data", "Quillon.txt")) if os.path.exists(
            os.path.join(root, "Data", "Quillon.txt")) else 0
        link.close()
    finally:
        if node.poll() is None:
            node.kill()
            node.wait()
        peer.stop()
        watcher.stop()
        adapter.close()
        if not args.keep:
            subprocess.run(["rm", "-rf", root])
        else:
            print("folder:", root)

    print(json.dumps(figures, indent=2))
    if args.json:
        with open(args.json, "w") as f:
            json.dump(figures, f, indent=2)
    if args.check:
        problems = []
        if figures["xap_log_messages"] > 60: problems.append("too many log messages")
        if figures["xap_log_largest_bytes"] > 1500: problems.append("a log message over 1500 bytes")
        if figures["xap_query_answer_s"] is None or figures["xap_query_answer_s"] > 1.0:
            problems.append("query not answered within 1 s")
        minutes = int(figures["noise_send_s"] // 60) + 1  # each started minute may admit its share
        if figures["records_created"] > ADMIT_PER_MINUTE * minutes: problems.append("too many records")
        if any(d is None or d > 2.0 for d in figures["valid_decode_delay_s"]): problems.append("valid packets late")
        if figures["rss_peak_mib"] > 40: problems.append("RSS over 40 MB")
        for p in problems:
            print("FAIL:", p)
        return 1 if problems else 0
    return 0


if __name__ == "__main__":
    sys.exit(main())
