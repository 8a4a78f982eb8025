#!/usr/bin/python3
"""A hostile CDN for the self-update test: answers each GET for a file below
--root with its true Content-Length, then sends the body one byte every
--interval seconds, so that no single read ever waits long enough to time
out. Missing files get 404. Logs each request line as origin.py does.

  trickle_origin.py --root DIR --port PORT --log FILE [--interval S] [--lifetime S]
"""
import argparse
import os
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--port", type=int, required=True)
    ap.add_argument("--log", required=True)
    ap.add_argument("--interval", type=float, default=2.0)
    ap.add_argument("--lifetime", type=float, default=300.0)
    args = ap.parse_args()
    lock = threading.Lock()

    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, fmt, *a):
            pass

        def do_GET(self):
            with lock, open(args.log, "a") as log:
                log.write(f"GET {self.path} {self.headers.get('User-Agent', '')}\n")
            full = os.path.realpath(os.path.join(args.root, self.path.split("?", 1)[0].lstrip("/")))
            if not full.startswith(os.path.realpath(args.root) + os.sep) or not os.path.isfile(full):
                self.send_error(404)
                return
            with open(full, "rb") as f:
                body = f.read()
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.send_header("Connection", "close")
            self.end_headers()
            for i in range(len(body)):
                self.wfile.write(body[i:i + 1])
                self.wfile.flush()
                time.sleep(args.interval)

    class Server(ThreadingHTTPServer):
        def handle_error(self, request, client_address):
            # The client giving up on the trickle is the expected end.
            if not isinstance(sys.exc_info()[1], ConnectionError):
                super().handle_error(request, client_address)

    server = Server(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True
    threading.Timer(args.lifetime, server.shutdown).start()
    server.serve_forever()
    return 0


if __name__ == "__main__":
    sys.exit(main())
