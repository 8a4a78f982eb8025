#!/usr/bin/python3
"""A small HTTP origin on loopback that stands in for the resource CDN in
tests. It serves files below a root folder and logs every request line, and
can misbehave on purpose for chosen paths:

  origin.py --root DIR --port-file FILE --log FILE
            [--no-length REGEX] [--short REGEX] [--stall REGEX] [--hang REGEX]
            [--delay SECONDS] [--delay-match REGEX] [--port PORT]

  --no-length  answer matching paths without Content-Length (chunked)
  --short      announce the full length but send only half the body, then close
  --stall      send the header and part of the body, then stop sending
  --hang       read the request and never answer it
  --delay      wait this long before answering any request (for concurrency tests)
  --delay-match  with --delay: wait only for matching paths
  --pause      send half the body, wait --pause-seconds, then the rest in
               eight pieces 0.1 s apart (a slow body that does complete)
  --trickle    send the body of matching paths a byte every --trickle-interval s
  --rate       send the body of matching paths at --rate-bps bytes a second,
               in pieces ten times a second (a slow line)
  --extra      answer on a kept connection, then 0.2 s later send a second,
               unasked answer ("EXTRA!") on it, as a broken CDN might
  --two-lengths  announce two different Content-Length values (the body's
               and a shorter one)
  --length-and-chunked  send a Content-Length beside a chunked body
  --redirect PATTERN=STATUS=LOCATION  answer matching paths with STATUS and
               that Location, where "{port}" is the origin's port (may be
               given more than once)

Kept connections (the fetch's connection pool):
  --extra-now  like --extra, but the unasked answer goes out in the same
               write as the asked one
  --close-idle SECONDS  close a kept connection that has been idle this long
  --tls-cert FILE --tls-key FILE  serve https with this certificate
Requests in absolute form ("GET http://host/path", as sent to a proxy) are
served from the path, and logged as sent.

Entry freshness options:
  --header PATTERN=NAME: VALUE  add that field to the answers of matching
               paths (a Content-Type given so replaces the default one); may
               be given more than once
  --validators PATTERN  give matching paths an ETag (the body's MD5) and a
               Last-Modified (the file's time), and answer a request whose
               If-None-Match or If-Modified-Since still holds with 304
  --cond-fail PATTERN=STATUS  answer conditional requests for matching paths
               with STATUS, or never when STATUS is "hang"
  Each conditional request is logged once more as "IF <target> <validators>"
  (with " pragma=<value>" when it has one), and each 304 as "304 <target>".

The port it listens on (chosen by the system unless --port fixes it, for
programs built with the origin's address) is written to --port-file.
Missing files get 404 with a short body that has a Content-Length. It stops by
itself after --lifetime seconds (default 1800)."""
import argparse
import email.utils
import hashlib
import os
import re
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--port-file", required=True)
    ap.add_argument("--log", required=True)
    ap.add_argument("--no-length")
    ap.add_argument("--short")
    ap.add_argument("--stall")
    ap.add_argument("--hang")
    ap.add_argument("--delay", type=float, default=0.0)
    ap.add_argument("--delay-match")
    ap.add_argument("--lifetime", type=float, default=1800.0)
    ap.add_argument("--port", type=int, default=0)
    # Adds the client's port to each line, to tell connections apart.
    ap.add_argument("--log-peer", action="store_true")
    # Paths answered on a connection that stays open for the next request.
    ap.add_argument("--keep-alive")
    ap.add_argument("--trickle")
    ap.add_argument("--pause")
    ap.add_argument("--pause-seconds", type=float, default=1.5)
    ap.add_argument("--trickle-interval", type=float, default=3.0)
    ap.add_argument("--rate")
    ap.add_argument("--rate-bps", type=int, default=30000)
    ap.add_argument("--extra")
    ap.add_argument("--two-lengths")
    ap.add_argument("--length-and-chunked")
    ap.add_argument("--redirect", action="append", default=[])
    # Kept connections.
    ap.add_argument("--extra-now")
    ap.add_argument("--close-idle", type=float)
    ap.add_argument("--tls-cert")
    ap.add_argument("--tls-key")
    # Entry freshness: answer fields, validators and 304s, failing revalidations.
    ap.add_argument("--header", action="append", default=[])
    ap.add_argument("--validators")
    ap.add_argument("--cond-fail", action="append", default=[])
    args = ap.parse_args()
    lock = threading.Lock()

    def matches(pattern, path):
        return pattern is not None and re.search(pattern, path) is not None

    def extra_fields(path):
        fields = []
        for rule in args.header:
            pattern, field = rule.split("=", 1)
            if matches(pattern, path):
                name, _, value = field.partition(":")
                fields.append((name.strip(), value.strip()))
        return fields

    def validators(full, body):
        etag = '"%s"' % hashlib.md5(body).hexdigest()
        return etag, email.utils.formatdate(int(os.path.getmtime(full)), usegmt=True)

    # The answer to a conditional request, when it gets one of its own:
    # a forced failure, or 304 while the validators still hold.
    def conditional_answer(handler, full, body):
        inm = handler.headers.get("If-None-Match")
        ims = handler.headers.get("If-Modified-Since")
        if inm is None and ims is None:
            return False
        with lock, open(args.log, "a") as log:
            pragma = handler.headers.get("Pragma")
            asked = f" pragma={pragma}" if pragma is not None else ""
            log.write(f"IF {handler.path} {inm or ''} {ims or ''}{asked}\n")
        for rule in args.cond_fail:
            pattern, status = rule.split("=", 1)
            if matches(pattern, handler.path):
                if status == "hang":
                    time.sleep(args.lifetime)
                    return True
                handler.send_response(int(status))
                handler.send_header("Content-Length", "4")
                handler.end_headers()
                handler.wfile.write(b"fail")
                return True
        if body is None or not matches(args.validators, handler.path):
            return False
        etag, modified = validators(full, body)
        if inm is not None:
            holds = etag in [v.strip() for v in inm.split(",")] or inm.strip() == "*"
        else:
            since = email.utils.parsedate_to_datetime(ims).timestamp() if ims else 0
            holds = int(os.path.getmtime(full)) <= since
        if not holds:
            return False
        with lock, open(args.log, "a") as log:
            log.write(f"304 {handler.path}\n")
        handler.send_response(304)
        handler.send_header("ETag", etag)
        for name, value in extra_fields(handler.path):
            if name.lower() != "content-type":
                handler.send_header(name, value)
        handler.end_headers()
        return True

    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"
        # A kept connection idle this long is closed (the request read times out).
        timeout = args.close_idle

        def log_message(self, fmt, *a):
            pass

        def do_GET(self):
            with lock, open(args.log, "a") as log:
                # The request target as sent: the handler folds a leading "//".
                target = self.requestline.split(" ")[1] if " " in self.requestline else self.path
                peer = f" {self.client_address[1]}" if args.log_peer else ""
                log.write(f"{self.command} {target} {self.headers.get('User-Agent', '')}{peer}\n")
            # A proxy's request: the target is a whole URL.
            absolute = re.match(r"https?://[^/]*(/.*)?$", self.path)
            if absolute:
                self.path = absolute.group(1) or "/"
            if matches(args.hang, self.path):
                time.sleep(args.lifetime)
                return
            if args.delay and (args.delay_match is None or matches(args.delay_match, self.path)):
                time.sleep(args.delay)
            for rule in args.redirect:
                pattern, status, location = rule.split("=", 2)
                if matches(pattern, self.path):
                    body = b"moved"
                    self.send_response(int(status))
                    self.send_header("Location", location.replace("{port}", str(self.server.server_address[1])))
                    self.send_header("Content-Length", str(len(body)))
                    self.end_headers()
                    self.wfile.write(body)
                    return
            # The CDN URL has a doubled slash at the join; the file name is
            # the path without its leading slashes and without the query.
            rel = self.path.split("?", 1)[0].lstrip("/")
            full = os.path.realpath(os.path.join(args.root, rel))
            found = full.startswith(os.path.realpath(args.root) + os.sep) and os.path.isfile(full)
            stored = None
            if found:
                with open(full, "rb") as f:
                    stored = f.read()
            if conditional_answer(self, full, stored):
                return
            if not full.startswith(os.path.realpath(args.root) + os.sep) or not os.path.isfile(full):
                body = b"not found"
                self.send_response(404)
                self.send_header("Content-Length", str(len(body)))
                self.send_header("Connection", "close")
                self.end_headers()
                self.wfile.write(body)
                self.close_connection = True
                return
            with open(full, "rb") as f:
                body = f.read()
            self.send_response(200)
            fields = extra_fields(self.path)
            if not any(name.lower() == "content-type" for name, _ in fields):
                self.send_header("Content-Type", "application/octet-stream")
            for name, value in fields:
                self.send_header(name, value)
            if matches(args.validators, self.path):
                etag, modified = validators(full, body)
                self.send_header("ETag", etag)
                self.send_header("Last-Modified", modified)
            if not matches(args.keep_alive, self.path):
                self.send_header("Connection", "close")
                self.close_connection = True
            if matches(args.two_lengths, self.path):
                self.send_header("Content-Length", str(len(body)))
                self.send_header("Content-Length", str(len(body) // 2))
                self.end_headers()
                self.wfile.write(body)
                return
            if matches(args.length_and_chunked, self.path):
                self.send_header("Content-Length", str(len(body)))
                self.send_header("Transfer-Encoding", "chunked")
                self.end_headers()
                self.wfile.write(b"%x\r\n" % len(body) + body + b"\r\n0\r\n\r\n")
                return
            if matches(args.no_length, self.path):
                self.send_header("Transfer-Encoding", "chunked")
                self.end_headers()
                if body:
                    self.wfile.write(b"%x\r\n" % len(body) + body + b"\r\n")
                self.wfile.write(b"0\r\n\r\n")
                return
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            if matches(args.short, self.path):
                self.wfile.write(body[: len(body) // 2])
                self.wfile.flush()
                return
            if matches(args.pause, self.path):
                half = len(body) // 2
                self.wfile.write(body[:half])
                self.wfile.flush()
                time.sleep(args.pause_seconds)
                step = (len(body) - half + 7) // 8
                for at in range(half, len(body), step):
                    self.wfile.write(body[at:at + step])
                    self.wfile.flush()
                    time.sleep(0.1)
                return
            if matches(args.stall, self.path):
                self.wfile.write(body[: len(body) // 2])
                self.wfile.flush()
                time.sleep(args.lifetime)
                return
            if matches(args.extra_now, self.path):
                self.wfile.write(body + b"HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nEXTRA!")
                return
            self.wfile.write(body)
            if matches(args.extra, self.path):
                self.wfile.flush()
                time.sleep(0.2)
                self.wfile.write(b"HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nEXTRA!")

    class Server(ThreadingHTTPServer):
        def handle_error(self, request, client_address):
            # A client that gives up on an answer (no Content-Length, a
            # time-out) is expected here; anything else is reported.
            if not isinstance(sys.exc_info()[1], ConnectionError):
                super().handle_error(request, client_address)

    # The self-update test's trickle: after the header, the body of matching
    # paths goes out one byte every --trickle-interval seconds, so that no
    # single read ever waits long enough to time out.
    class TrickleWriter:
        def __init__(self, out):
            self.out = out

        def write(self, data):
            for i in range(len(data)):
                self.out.write(data[i:i + 1])
                self.out.flush()
                time.sleep(args.trickle_interval)

        def __getattr__(self, name):
            return getattr(self.out, name)

    # A slow line: the body at --rate-bps, a tenth of it every 0.1 s.
    class RateWriter:
        def __init__(self, out):
            self.out = out

        def write(self, data):
            piece = max(1, args.rate_bps // 10)
            for i in range(0, len(data), piece):
                self.out.write(data[i:i + piece])
                self.out.flush()
                time.sleep(0.1)

        def __getattr__(self, name):
            return getattr(self.out, name)

    class TrickleHandler(Handler):
        def end_headers(self):
            super().end_headers()
            if matches(args.trickle, self.path):
                self.wfile = TrickleWriter(self.wfile)
            elif matches(args.rate, self.path):
                self.wfile = RateWriter(self.wfile)

    server = Server(("127.0.0.1", args.port), TrickleHandler)
    server.daemon_threads = True
    if args.tls_cert:
        import ssl
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.tls_cert, args.tls_key)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    with open(args.port_file + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    os.replace(args.port_file + ".tmp", args.port_file)
    threading.Timer(args.lifetime, server.shutdown).start()
    server.serve_forever()
    return 0


if __name__ == "__main__":
    sys.exit(main())
