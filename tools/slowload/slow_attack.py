#!/usr/bin/python3
"""Drives slowhttptest against a cache server on loopback while a real
client asks it for one resource once a second, and reports what that
client saw and what the server's process cost.

  slow_attack.py --port PORT --mode slowloris|slowread --seconds N
                 (--pid PID | --process NAME) [--connections 1000]
                 [--rate 200] [--attack-path P] [--probe-path P]
                 [--probe-bytes N]

A probe is refused when it gets no whole answer (status 200 and the
announced number of bytes) within 1 s. The longest refusal is the span of
the longest run of refused probes in a row, from the start of its first to
the end of its last: one refused probe spans at most 1 s, two in a row at
least 2 s. Memory is the peak resident size of the server's process
(VmHWM, sampled as it runs). Prints "key value" lines. Loopback only; it
ends by itself after --seconds plus a few seconds of slowhttptest's own."""
import argparse
import os
import re
import socket
import subprocess
import sys
import threading
import time

PROBE_TIMEOUT = 1.0


def find_process(name):
    """The process whose command line names the given program (the host
    under Wine runs as a process of the loader)."""
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                argv = f.read().split(b"\0")
        except OSError:
            continue
        if argv and os.path.basename(argv[0].replace(b"\\", b"/")).decode(errors="replace") == name:
            return int(pid)
    return None


def status_fields(pid):
    fields = {}
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                key, _, value = line.partition(":")
                fields[key] = value.split()
    except OSError:
        pass
    return fields


def probe(port, path, expect_bytes):
    """None when one whole 200 answer came within the time limit, else why not."""
    deadline = time.monotonic() + PROBE_TIMEOUT
    try:
        s = socket.create_connection(("127.0.0.1", port), timeout=PROBE_TIMEOUT)
    except OSError as e:
        return f"connect: {e}"
    data = b""
    try:
        s.sendall(f"GET {path} HTTP/1.0\r\n\r\n".encode())
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                return f"timed out after {len(data)} bytes"
            s.settimeout(left)
            piece = s.recv(65536)
            if not piece:
                break
            data += piece
    except socket.timeout:
        return f"timed out after {len(data)} bytes"
    except OSError as e:
        return f"{e} after {len(data)} bytes"
    finally:
        s.close()
    head, _, body = data.partition(b"\r\n\r\n")
    if head.startswith(b"HTTP/1.0 200") and len(body) == expect_bytes:
        return None
    return f"closed after {len(data)} bytes"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--port", type=int, required=True)
    ap.add_argument("--mode", choices=["slowloris", "slowread"], required=True)
    ap.add_argument("--seconds", type=int, required=True)
    ap.add_argument("--pid", type=int)
    ap.add_argument("--process")
    ap.add_argument("--connections", type=int, default=1000)
    ap.add_argument("--rate", type=int, default=200)
    ap.add_argument("--attack-path", default="/wz_cdn/big.bin")
    ap.add_argument("--probe-path", default="/wz_cdn/probe.png")
    ap.add_argument("--probe-bytes", type=int, required=True)
    args = ap.parse_args()

    pid = args.pid or (find_process(args.process) if args.process else None)
    if not pid:
        print("error no-server-process")
        return 2

    url = f"http://127.0.0.1:{args.port}{args.attack_path}"
    common = ["-c", str(args.connections), "-r", str(args.rate), "-l", str(args.seconds), "-u", url, "-p", "3"]
    if args.mode == "slowloris":
        attack = ["slowhttptest", "-H", "-i", "5"] + common
    else:
        # A tiny receive window, 32 bytes taken every 5 s.
        attack = ["slowhttptest", "-X", "-k", "1", "-n", "5", "-z", "32", "-w", "256", "-y", "512"] + common
    tool = subprocess.Popen(attack, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)

    peak_rss = 0
    peak_threads = 0
    stop = threading.Event()

    def sample():
        nonlocal peak_rss, peak_threads
        while not stop.is_set():
            fields = status_fields(pid)
            if "VmHWM" in fields:
                peak_rss = max(peak_rss, int(fields["VmHWM"][0]))
            if "Threads" in fields:
                peak_threads = max(peak_threads, int(fields["Threads"][0]))
            stop.wait(0.25)

    sampler = threading.Thread(target=sample)
    sampler.start()

    # Probes once a second from the attack's start to its end.
    results = []
    start = time.monotonic()
    next_at = start + 1.0
    while time.monotonic() - start < args.seconds:
        delay = next_at - time.monotonic()
        if delay > 0:
            time.sleep(delay)
        t0 = time.monotonic()
        why = probe(args.port, args.probe_path, args.probe_bytes)
        results.append((t0, time.monotonic(), why is None))
        if why:
            print(f"refusal at {t0 - start:.1f} s: {why}")
        next_at = max(next_at + 1.0, time.monotonic())

    try:
        output, _ = tool.communicate(timeout=30)
    except subprocess.TimeoutExpired:
        tool.kill()
        output, _ = tool.communicate()
    stop.set()
    sampler.join()

    longest = 0.0
    run_start = None
    for t0, t1, ok in results:
        if ok:
            run_start = None
            continue
        if run_start is None:
            run_start = t0
        longest = max(longest, t1 - run_start)

    # slowhttptest's last status line: how many of its connections were open.
    plain = re.sub(r"\x1b\[[0-9;]*[A-Za-z]", "", output)
    connected = re.findall(r"connected:\s*(\d+)", plain)
    closed = re.findall(r"closed:\s*(\d+)", plain)
    print(f"mode {args.mode}")
    print(f"probes {len(results)}")
    print(f"refused {sum(1 for r in results if not r[2])}")
    print(f"longest_refusal_s {longest:.2f}")
    print(f"peak_rss_mib {peak_rss / 1024:.1f}")
    print(f"peak_threads {peak_threads}")
    print(f"attack_open_at_end {connected[-1] if connected else 'unknown'}")
    print(f"attack_closed_by_server {closed[-1] if closed else 'unknown'}")
    print(f"attack_exit {tool.returncode}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
