#!/usr/bin/env python3
"""Helpers of bench/game_load.sh (not a test, never run by CI).

  game_load.py make ROOT LIST [COUNT]    a synthetic game of COUNT resources
                                         (fixed seed) under ROOT/wz_cdn/,
                                         and its request list
  game_load.py delay PORT_FILE CDN_PORT RTT_MS [COUNT_FILE]
                                         the CDN's distance: a loopback relay
                                         that holds each new connection and
                                         each request for RTT_MS; appends a
                                         line to COUNT_FILE per connection
  game_load.py load PORT LIST [CONNS]    one game load the way a browser does
                                         it: CONNS (6) keep-alive connections
                                         taking the list in order; prints one
                                         JSON line (seconds, resources, bytes,
                                         errors)
"""
import asyncio
import json
import os
import random
import sys
import time

SEED = 20261208
KIB = 1024


def resource_size(rng):
    """A web game's mix: most pieces small, a quarter middling, a few big."""
    pick = rng.random()
    if pick < 0.73:
        return rng.randint(200, 16 * KIB)
    if pick < 0.98:
        return rng.randint(16 * KIB, 256 * KIB)
    return rng.randint(256 * KIB, 4096 * KIB)


def make(root, list_path, count):
    rng = random.Random(SEED)
    kinds = ["png", "png", "png", "jpg", "js", "json", "mp3", "swf"]
    folder = os.path.join(root, "wz_cdn", "res")
    os.makedirs(folder, exist_ok=True)
    total = 0
    with open(list_path, "w") as listing:
        for i in range(count):
            size = resource_size(rng)
            name = "%04d.%s" % (i, rng.choice(kinds))
            with open(os.path.join(folder, name), "wb") as f:
                f.write(rng.randbytes(size))
            # Versioned the way games ship their releases.
            listing.write("/wz_cdn/res/%s?v=%d %d\n" % (name, 1 + i % 7, size))
            total += size
    print(total)


async def delay_relay(port_file, cdn_port, rtt_ms, count_file):
    rtt = rtt_ms / 1000.0

    async def pipe(reader, writer, delay):
        try:
            while True:
                data = await reader.read(256 * KIB)
                if not data:
                    break
                if delay:
                    await asyncio.sleep(delay)
                writer.write(data)
                await writer.drain()
        except (ConnectionError, asyncio.IncompleteReadError):
            pass
        finally:
            try:
                writer.close()
            except Exception:
                pass

    async def relay(client_reader, client_writer):
        if count_file:
            with open(count_file, "a") as f:
                f.write("c\n")
        # A new connection costs a round trip before anything can be asked.
        await asyncio.sleep(rtt)
        try:
            cdn_reader, cdn_writer = await asyncio.open_connection("127.0.0.1", cdn_port)
        except OSError:
            client_writer.close()
            return
        # A request reaches the CDN and its answer starts back a round trip
        # later; the answer itself is paced by the CDN's rate limit.
        await asyncio.gather(pipe(client_reader, cdn_writer, rtt), pipe(cdn_reader, client_writer, 0))

    server = await asyncio.start_server(relay, "127.0.0.1", 0, backlog=256)
    with open(port_file + ".tmp", "w") as f:
        f.write(str(server.sockets[0].getsockname()[1]))
    os.rename(port_file + ".tmp", port_file)
    async with server:
        await server.serve_forever()


async def load(port, list_path, conns):
    entries = []
    with open(list_path) as listing:
        for line in listing:
            path, size = line.split()
            entries.append((path, int(size)))
    done = []
    errors = 0
    received = 0
    next_index = 0
    start = time.monotonic()

    async def connection():
        nonlocal next_index, errors, received
        reader = writer = None
        while next_index < len(entries):
            path, size = entries[next_index]
            next_index += 1
            for attempt in range(2):
                try:
                    if writer is None:
                        reader, writer = await asyncio.open_connection("127.0.0.1", port)
                    writer.write(("GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: Keep-Alive\r\n\r\n" % path).encode())
                    await writer.drain()
                    head = await reader.readuntil(b"\r\n\r\n")
                    lines = head.decode("latin-1").split("\r\n")
                    length, keep = 0, lines[0].startswith("HTTP/1.1 ")
                    for h in lines[1:]:
                        name, _, value = h.partition(":")
                        if name.lower() == "content-length":
                            length = int(value)
                        elif name.lower() == "connection":
                            keep = value.strip().lower() == "keep-alive"
                    await reader.readexactly(length)
                    received += length
                    if " 200 " not in lines[0] or length != size:
                        errors += 1
                    if not keep:
                        writer.close()
                        writer = None
                    break
                except (OSError, asyncio.IncompleteReadError, asyncio.LimitOverrunError):
                    if writer is not None:
                        writer.close()
                    writer = None
                    if attempt == 1:
                        errors += 1
            done.append(time.monotonic() - start)
        if writer is not None:
            writer.close()

    await asyncio.gather(*(connection() for _ in range(conns)))
    total = time.monotonic() - start
    done.sort()

    def nth(share):
        return done[max(0, -(-len(done) * share // 100) - 1)]

    print(json.dumps({"total": total, "p50": nth(50), "p99": nth(99), "resources": len(done),
                      "bytes": received, "errors": errors}))


def main(argv):
    if len(argv) >= 3 and argv[0] == "make":
        make(argv[1], argv[2], int(argv[3]) if len(argv) > 3 else 1000)
    elif len(argv) in (4, 5) and argv[0] == "delay":
        asyncio.run(delay_relay(argv[1], int(argv[2]), float(argv[3]), argv[4] if len(argv) == 5 else None))
    elif len(argv) >= 3 and argv[0] == "load":
        asyncio.run(load(int(argv[1]), argv[2], int(argv[3]) if len(argv) > 3 else 6))
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
