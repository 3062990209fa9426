#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The Studio's server under attack from this machine's loopback: header
floods, slow connections holding on, and bodies far over the upload limit,
chunked or not. Each attack runs against a Studio of its own, started under
GNU time so that its peak resident memory is measured as the benches
measure it; its resident memory afterwards comes from /proc.

    studio_server_test.py TEVRIN

Prints the figures: peak and resting memory after each attack, and how long
a request with the token waits while slow connections are held."""

import os
import re
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import checks  # noqa: E402
from checks import check  # noqa: E402

TOOL = os.path.abspath(sys.argv[1])
MB = 1 << 20
# AddressSanitizer keeps freed memory aside for a while: its figures say
# nothing of ours.
UNDER_ASAN = b"libasan" in subprocess.run(["ldd", TOOL], capture_output=True).stdout



class Studio:
    """`tevrin studio` on a project of its own, under GNU time."""

    def __init__(self, work, name):
        self.process = subprocess.Popen(
            ["/usr/bin/time", "-f", "peak-kb %M", TOOL, "studio", os.path.join(work, name), "--no-browser"],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=dict(os.environ, HOME=work))
        line = self.process.stdout.readline()
        match = re.search(r"http://127\.0\.0\.1:(\d+)(/s/[0-9a-f]+)/", line)
        if not match:
            raise RuntimeError(f"no address in {line!r}: {self.process.stderr.read()}")
        self.port, self.prefix = int(match.group(1)), match.group(2)
        deadline = time.time() + 10
        self.pid = None
        while self.pid is None and time.time() < deadline:
            children = subprocess.run(["pgrep", "-P", str(self.process.pid)], capture_output=True, text=True).stdout
            self.pid = int(children.split()[0]) if children.split() else None
            time.sleep(0.05)

    def resident(self):
        with open(f"/proc/{self.pid}/status") as f:
            return int(re.search(r"VmRSS:\s+(\d+)", f.read()).group(1)) * 1024

    def connect(self):
        return socket.create_connection(("127.0.0.1", self.port), timeout=30)

    def request(self, path, timeout=30):
        """A GET with the token: (status, seconds it took)."""
        started = time.time()
        with socket.create_connection(("127.0.0.1", self.port), timeout=timeout) as s:
            s.sendall(f"GET {self.prefix}/{path} HTTP/1.1\r\nHost: 127.0.0.1:{self.port}\r\n"
                      "Connection: close\r\n\r\n".encode())
            status = read_status(s)
        return status, time.time() - started

    def stop(self):
        """Ends it; its peak resident memory in bytes."""
        os.kill(self.pid, signal.SIGTERM)
        _, err = self.process.communicate(timeout=30)
        peaks = re.findall(r"peak-kb (\d+)", err)
        return int(peaks[-1]) * 1024 if peaks else 0


def read_status(s):
    data = b""
    try:
        while b"\r\n" not in data:
            chunk = s.recv(4096)
            if not chunk:
                break
            data += chunk
    except OSError:
        pass
    match = re.match(rb"HTTP/1\.1 (\d+)", data)
    return int(match.group(1)) if match else None


def settle(studio, seconds=3):
    """Its resident memory once the attack is over."""
    time.sleep(seconds)
    return studio.resident()


def flood(s, head, filler, limit):
    """Sends `head`, then `filler` over and over until the server stops
    taking it or `limit` bytes went: (bytes sent, the answer's status)."""
    sent = 0
    try:
        s.sendall(head)
        while sent < limit:
            s.sendall(filler)
            sent += len(filler)
    except OSError:
        pass
    s.settimeout(10)
    return sent, read_status(s)


def header_floods(work):
    studio = Studio(work, "floods")
    rest = studio.resident()
    host = f"Host: 127.0.0.1:{studio.port}\r\n".encode()
    line = b"X-Flood: " + b"a" * 200 + b"\r\n"
    cases = [
        ("headers without a token", b"GET /nothing HTTP/1.1\r\n", line, 403),
        ("headers with the token", f"GET {studio.prefix}/api/project HTTP/1.1\r\n".encode() + host, line, 431),
        ("one endless header line", f"GET {studio.prefix}/ HTTP/1.1\r\n".encode() + b"X-Flood: ", b"a" * 4096, 431),
        ("an endless request line", b"GET /s/" + b"a" * 64, b"a" * 4096, 414),
    ]
    for name, head, filler, status in cases:
        with studio.connect() as s:
            sent, got = flood(s, head, filler, 1536 * MB)
        check(f"{name}: refused with {status}", got == status, f"got {got}")
        check(f"{name}: cut off after little", sent < 8 * MB, f"{sent / MB:.1f} MB taken")
    after = settle(studio)
    status, _ = studio.request("api/project")
    check("after the floods a request with the token is answered", status == 200, f"got {status}")
    peak = studio.stop()
    check("header floods leave memory where it rested", UNDER_ASAN or after < rest + 16 * MB,
          f"{rest / MB:.1f} MB before, {after / MB:.1f} MB after")
    print(f"header floods: resting {rest / MB:.1f} MB, after {after / MB:.1f} MB, peak {peak / MB:.1f} MB")


def slow_connections(work):
    studio = Studio(work, "slow")
    stop = threading.Event()
    holders = []

    def hold(with_token):
        try:
            with studio.connect() as s:
                target = f"{studio.prefix}/api/project" if with_token else "/s/x"
                s.sendall(f"GET {target}".encode())
                while not stop.is_set():
                    s.sendall(b"X-Slow: 1\r\n")
                    stop.wait(2)
        except OSError:
            pass
    # Far more than the server has room for, half of them with the token.
    for n in range(80):
        thread = threading.Thread(target=hold, args=(n % 2 == 0,), daemon=True)
        thread.start()
        holders.append(thread)
    time.sleep(3)
    waits = []
    for _ in range(5):
        status, took = studio.request("api/project")
        check("a request with the token is answered while slow connections are held", status == 200, f"got {status}")
        waits.append(took)
        time.sleep(1)
    stop.set()
    for thread in holders:
        thread.join(timeout=10)
    studio.stop()
    check("and without waiting for them", max(waits) < 1.0, f"{max(waits):.2f} s")
    print(f"80 slow connections held: a token request waited {min(waits) * 1000:.0f}-{max(waits) * 1000:.0f} ms")


def large_bodies(work):
    studio = Studio(work, "bodies")
    rest = studio.resident()
    host = f"Host: 127.0.0.1:{studio.port}\r\n"
    target = f"POST {studio.prefix}/api/pictures?name=big.jpg HTTP/1.1\r\n{host}"
    chunk = b"\xff" * (1 * MB)
    framed = f"{len(chunk):x}\r\n".encode() + chunk + b"\r\n"
    with studio.connect() as s:
        sent, status = flood(s, (target + "Transfer-Encoding: chunked\r\n\r\n").encode(), framed, 400 * MB)
    check("a chunked upload of 400 MB is refused with 413", status == 413, f"got {status}")
    check("once past the limit", sent < 160 * MB, f"{sent / MB:.0f} MB taken")
    with studio.connect() as s:
        sent, status = flood(s, (target + f"Content-Length: {400 * MB}\r\n\r\n").encode(), chunk, 400 * MB)
    check("an upload that says it is 400 MB is refused with 413", status == 413, f"got {status}")
    check("before its body is read", sent < 64 * MB, f"{sent / MB:.0f} MB taken")
    after = settle(studio)
    peak = studio.stop()
    check("the peak stays near the upload limit", UNDER_ASAN or peak < rest + 300 * MB, f"{peak / MB:.0f} MB")
    check("and memory returns to rest", UNDER_ASAN or after < rest + 16 * MB,
          f"{rest / MB:.1f} MB before, {after / MB:.1f} after")
    print(f"400 MB uploads: resting {rest / MB:.1f} MB, peak {peak / MB:.1f} MB, after {after / MB:.1f} MB")


def main():
    with tempfile.TemporaryDirectory(prefix="tevrin-server-") as work:
        header_floods(work)
        slow_connections(work)
        large_bodies(work)
    return checks.summary("studio server tests")


if __name__ == "__main__":
    sys.exit(main())
