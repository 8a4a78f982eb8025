# The cache server's end-to-end cases, shared by the native run and the run
# under Wine: a real client (curl, or a raw socket session) against the real
# server, with tests/origin/origin.py standing in for the CDN. The including
# script defines host_start CDN_BASE (sets HOST_PORT, HOST_OUT, CACHE_DIR;
# the host runs with HOST_LIMIT seconds as its idle and CDN time limits) and
# host_stop (sets HOST_STOP_RC and HOST_STOP_MS) and then calls run_cases.
HOST_LIMIT=5
source "$(dirname "${BASH_SOURCE[0]}")/cache_server_cases_connections.sh"
source "$(dirname "${BASH_SOURCE[0]}")/cache_server_cases_freshness.sh"
source "$(dirname "${BASH_SOURCE[0]}")/cache_server_cases_threads.sh"

md5_of() { printf '%s' "$1" | md5sum | cut -d' ' -f1; }
origin_count() { grep -c -F -- "GET $1 " "$ORIGIN_LOG" || true; }
url() { echo "http://127.0.0.1:$HOST_PORT$1"; }

# raw_session OP...: one connection; OPs are send:<Python bytes literal>,
# sleep:<seconds>, recv (one whole response, printed with escapes) and
# closed[:<seconds>] (prints "closed" or "open" after up to 3 s, or as given).
raw_session() {
  /usr/bin/python3 - "$HOST_PORT" "$@" <<'PY'
import socket, sys, time
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=10)
pending = b""  # bytes of the next response that came with the last one
def recv_response():
    global pending
    data, pending = pending, b""
    while b"\r\n\r\n" not in data:
        piece = s.recv(65536)
        if not piece:
            return data
        data += piece
    head, _, body = data.partition(b"\r\n\r\n")
    length = 0
    for line in head.split(b"\r\n"):
        if line.lower().startswith(b"content-length:"):
            length = int(line.split(b":")[1])
    while len(body) < length:
        piece = s.recv(65536)
        if not piece:
            break
        body += piece
    body, pending = body[:length], body[length:]
    return head + b"\r\n\r\n" + body
for op in sys.argv[2:]:
    kind, _, arg = op.partition(":")
    if kind == "send":
        try:
            s.sendall(eval(arg, {}))
        except OSError:
            print("send-failed")
    elif kind == "sleep":
        time.sleep(float(arg))
    elif kind == "recv":
        print(repr(recv_response()))
    elif kind == "closed":
        s.settimeout(float(arg) if arg else 3)
        try:
            print("closed" if s.recv(1) == b"" else "open")
        except socket.timeout:
            print("open")
        except OSError:
            print("closed")
PY
}

prepare_origin_files() {
  local o=$1
  mkdir -p "$o/wz_cdn/ui" "$o/wz_cdn/1.0.3"
  printf 'PNGDATA-%s' {1..40} > "$o/wz_cdn/ui/a.png"
  printf 'mna page' > "$o/mna.html"
  printf 'swf' > "$o/wz_cdn/ui/MAIN.SWF"
  head -c $((8 << 20)) /dev/urandom > "$o/wz_cdn/big.bin"
  head -c 300000 /dev/urandom > "$o/wz_cdn/shared.bin"
  head -c 100000 /dev/urandom > "$o/wz_cdn/nolen.bin"
  head -c 100000 /dev/urandom > "$o/wz_cdn/short.bin"
  head -c 100000 /dev/urandom > "$o/wz_cdn/stall.bin"
  head -c 100000 /dev/urandom > "$o/wz_cdn/hang.bin"
  head -c 240000 /dev/urandom > "$o/wz_cdn/left.bin"
  : > "$o/wz_cdn/empty.txt"
}

now_ms() { date +%s%3N; }

run_cases() {
  local work=$1
  local origin="$work/origin"
  mkdir -p "$origin"
  prepare_origin_files "$origin"
  origin_start "$origin" --no-length 'nolen' --short 'short' --stall 'stall' --hang 'hang' --pause 'left' --delay 1.5 --delay-match 'shared' \
    --keep-alive 'kept' --extra 'kept-extra' --two-lengths 'twolen' --length-and-chunked 'lenchunk' \
    --redirect 'perm\.png=301=/wz_cdn/ui/a.png?via=perm' --redirect 'temp\.png=302=/wz_cdn/ui/a.png?via=temp' \
    --redirect 'away\.png=301=http://localhost:{port}/wz_cdn/ui/a.png?via=away' \
    --redirect 'local\.png=302=file:///C:/windows/win.ini'
  host_start "http://127.0.0.1:$ORIGIN_PORT/"
  check "server announced a port" [ -n "${HOST_PORT:-}" ]
  check "server listens on loopback only" bash -c "ss -ltnH | grep -q '127.0.0.1:$HOST_PORT ' && ! ss -ltnH | grep -qE '(0.0.0.0|\*|\[::\]):$HOST_PORT '"

  # Miss: fetched with the doubled slash, the agent text, stored under the MD5 name.
  local h="$work/h.txt" b="$work/b.bin"
  curl -s -m 20 -D "$h" -o "$b" "$(url /wz_cdn/ui/a.png)"
  check "miss serves the origin's bytes" cmp -s "$b" "$origin/wz_cdn/ui/a.png"
  check "miss is stored under the MD5 of the path" cmp -s "$CACHE_DIR/$(md5_of /wz_cdn/ui/a.png)" "$origin/wz_cdn/ui/a.png"
  check "CDN URL has the doubled slash and the agent" grep -qE '^GET //wz_cdn/ui/a.png Agent-?[0-9]+$' "$ORIGIN_LOG"
  check "response is HTTP/1.0 200 with the fixed fields" bash -c "head -1 '$h' | grep -q '^HTTP/1.0 200 OK' &&
    grep -q '^Server: TarnwellWebServer/0.1b' '$h' && grep -q '^Content-Type: image/png' '$h' &&
    grep -q '^Accept-Ranges: bytes' '$h' && grep -q '^Connection: close' '$h' &&
    grep -qE '^Date: [A-Z][a-z]{2}, [0-9]{2} [A-Z][a-z]{2} [0-9]{4} [0-9:]{8} GMT' '$h'"

  # Hit: from disk, the origin is not asked again.
  printf 'changed on the origin' > "$origin/wz_cdn/ui/a.png.new"
  curl -s -m 20 -o "$b" "$(url /wz_cdn/ui/a.png)"
  check "hit is served from the cache" cmp -s "$b" "$CACHE_DIR/$(md5_of /wz_cdn/ui/a.png)"
  check "hit does not reach the origin" [ "$(origin_count //wz_cdn/ui/a.png)" = 1 ]

  # Query strings are separate files; the type by the last dot before the query.
  curl -s -m 20 -D "$h" -o /dev/null "$(url '/wz_cdn/ui/a.png?v=2')"
  curl -s -m 20 -o /dev/null "$(url '/wz_cdn/ui/a.png?v=3')"
  check "each query string is its own fetch and file" bash -c "[ -f '$CACHE_DIR/$(md5_of '/wz_cdn/ui/a.png?v=2')' ] &&
    [ -f '$CACHE_DIR/$(md5_of '/wz_cdn/ui/a.png?v=3')' ] && [ \$(grep -c 'a.png?v=' '$ORIGIN_LOG') = 2 ]"
  check "extension with a query is typed without the query" grep -q '^Content-Type: image/png' "$h"
  curl -s -m 20 -D "$h" -o /dev/null "$(url /wz_cdn/ui/MAIN.SWF)"
  check "upper-case SWF is flash" grep -q '^Content-Type: application/x-shockwave-flash' "$h"

  # Other methods: 501 with the /mna.html page.
  curl -s -m 20 -D "$h" -o "$b" -X POST "$(url /wz_cdn/ui/a.png)"
  check "POST gets 501 with the mna page" bash -c "head -1 '$h' | grep -q '^HTTP/1.0 501 Not Implemented' && [ \"\$(cat '$b')\" = 'mna page' ]"

  # Keep-alive, a request in pieces, and keep-alive staying on.
  local out
  out=$(raw_session "send:b'GET /wz_cdn/ui/a.png HT'" sleep:0.3 "send:b'TP/1.0\r\nConnection: Keep-Alive\r'" sleep:0.3 \
    "send:b'\n\r\n'" recv "send:b'GET /wz_cdn/empty.txt HTTP/1.0\r\n\r\n'" recv closed)
  check "request in pieces is answered once whole" bash -c "sed -n 1p <<< \"\$1\" | grep -q 'Connection: Keep-Alive.*PNGDATA-40'" _ "$out"
  check "keep-alive stays on for a request without it" bash -c "sed -n 2p <<< \"\$1\" | grep -q 'Content-Length: 0.r.nConnection: Keep-Alive'" _ "$out"
  check "kept-alive connection stays open" [ "$(sed -n 3p <<< "$out")" = open ]
  out=$(raw_session "send:b'GET /wz_cdn/ui/a.png HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\nGET /wz_cdn/empty.txt HTTP/1.0\r\n\r\nGET /mna.html HTTP/1.0\r\n\r\n'" \
    recv recv recv)
  check "requests pipelined in one send are all answered, in order" bash -c "sed -n 1p <<< \"\$1\" | grep -q 'PNGDATA-40' &&
    sed -n 2p <<< \"\$1\" | grep -q 'Content-Type: text/plain' && sed -n 3p <<< \"\$1\" | grep -q 'mna page'" _ "$out"
  out=$(raw_session "send:b'GET /wz_cdn/empty.txt HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n'" recv "closed:$((HOST_LIMIT + 3))")
  check "an idle kept-alive connection is closed after the limit" [ "$(sed -n 2p <<< "$out")" = closed ]

  # A large body, fetched and then from disk, several sends long.
  curl -s -m 20 -o "$b" "$(url /wz_cdn/big.bin)"
  check "8 MiB miss arrives whole" cmp -s "$b" "$origin/wz_cdn/big.bin"
  curl -s -m 20 --limit-rate 20M -o "$b" "$(url /wz_cdn/big.bin)"
  check "8 MiB hit to a slow reader arrives whole" cmp -s "$b" "$origin/wz_cdn/big.bin"

  # Concurrent misses of one path share one fetch (the origin answers it slowly).
  local i pids=()
  for i in 1 2 3 4 5 6; do curl -s -m 20 -o "$work/shared.$i" "$(url /wz_cdn/shared.bin)" & pids+=($!); done
  wait "${pids[@]}"
  check "six concurrent misses all get the whole body" bash -c "for i in 1 2 3 4 5 6; do cmp -s '$work/shared.'\$i '$origin/wz_cdn/shared.bin' || exit 1; done"
  check "six concurrent misses made one CDN fetch" [ "$(origin_count //wz_cdn/shared.bin)" = 1 ]

  # Only a whole 200 answer is a resource; everything else is passed on
  # honestly and never stored.
  curl -s -m 20 -D "$h" -o "$b" "$(url /wz_cdn/nolen.bin)"
  check "answer without Content-Length gives an empty 502" bash -c "head -1 '$h' | grep -q '^HTTP/1.0 502 Bad Gateway' &&
    grep -q '^Content-Length: 0' '$h' && [ ! -s '$b' ]"
  check "answer without Content-Length is not stored" [ ! -e "$CACHE_DIR/$(md5_of /wz_cdn/nolen.bin)" ]
  local rc
  curl -s -m 20 -o "$b" "$(url /wz_cdn/short.bin)"; rc=$?
  check "short body ends the response short (curl: partial file)" bash -c "[ $rc = 18 ] && [ \$(stat -c %s '$b') = 50000 ]"
  check "short body is not stored" [ ! -e "$CACHE_DIR/$(md5_of /wz_cdn/short.bin)" ]
  curl -s -m 20 -D "$h" -o "$b" "$(url /wz_cdn/absent.png)"
  check "origin 404 is passed on with its page" bash -c "head -1 '$h' | grep -q '^HTTP/1.0 404 Not Found' &&
    grep -q '^Content-Type: image/png' '$h' && [ \"\$(cat '$b')\" = 'not found' ]"
  check "origin 404 is not stored" [ ! -e "$CACHE_DIR/$(md5_of /wz_cdn/absent.png)" ]
  curl -s -m 20 -o "$b" "$(url /wz_cdn/absent.png)"
  check "origin 404 is asked again next time" [ "$(origin_count //wz_cdn/absent.png)" = 2 ]
  local t0
  t0=$(now_ms)
  curl -s -m 60 -D "$h" -o "$b" "$(url /wz_cdn/hang.bin)"
  check "CDN that never answers gives an empty 504 after the limit" bash -c "head -1 '$h' | grep -q '^HTTP/1.0 504 Gateway Timeout' &&
    grep -q '^Content-Length: 0' '$h' && [ \$(( \$(date +%s%3N) - $t0 )) -lt $(( (HOST_LIMIT + 3) * 1000 )) ]"
  t0=$(now_ms)
  curl -s -m 60 -o "$b" "$(url /wz_cdn/stall.bin)"; rc=$?
  check "stalled CDN body is cut off after the limit" bash -c "[ $rc = 18 ] && [ \$(stat -c %s '$b') = 50000 ] &&
    [ \$(( \$(date +%s%3N) - $t0 )) -lt $(( (HOST_LIMIT + 3) * 1000 )) ]"
  check "stalled body is not stored" [ ! -e "$CACHE_DIR/$(md5_of /wz_cdn/stall.bin)" ]

  # A miss streams: the first bytes of a slow body arrive long before its end.
  local first
  first=$(/usr/bin/python3 - "$HOST_PORT" <<'PY'
import socket, sys, time
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=10)
t0 = time.time()
s.sendall(b"GET /wz_cdn/stall.bin?again HTTP/1.0\r\n\r\n")
data = b""
while b"\r\n\r\n" not in data or len(data.partition(b"\r\n\r\n")[2]) < 50000:
    piece = s.recv(65536)
    if not piece:
        break
    data += piece
print(f"{time.time() - t0:.1f}")
PY
)
  check "half a stalled body arrives at once ($first s)" awk "BEGIN { exit !($first < 2) }"

  # Bad requests.
  out=$(raw_session "send:b'NOSPACE\r\n\r\n'" closed)
  check "request without a space is closed unanswered" [ "$out" = closed ]
  out=$(raw_session "send:b'GET /wz_cdn/x.png\r\nHost: a\r\n\r\n'" recv)
  check "path with control characters gets an empty 400" bash -c "grep -q 'HTTP/1.0 400 Bad Request.*Content-Length: 0' <<< \"\$1\"" _ "$out"
  check "path with control characters never reaches the CDN" bash -c "! grep -q 'x.png' '$ORIGIN_LOG'"
  out=$(raw_session "send:b'GET /' + b'a' * 70000" closed)
  check "endless request is cut off" bash -c "grep -qE 'closed|send-failed' <<< \"\$1\"" _ "$out"

  # A misbehaving CDN: a head that frames its body two ways is refused.
  local p
  for p in twolen lenchunk; do
    curl -s -m 20 -D "$h" -o "$b" "$(url "/wz_cdn/ui/a.png?$p")"
    check "CDN head with two body lengths ($p) gives an empty 502, not stored" bash -c "head -1 '$h' | grep -q '^HTTP/1.0 502' &&
      [ ! -s '$b' ] && [ ! -e '$CACHE_DIR/$(md5_of "/wz_cdn/ui/a.png?$p")' ]"
  done
  # Bytes sent past a body on a kept CDN connection never answer the next miss.
  curl -s -m 20 -o "$b" "$(url '/wz_cdn/ui/a.png?kept-extra')"
  sleep 0.6
  curl -s -m 20 -o "$b" "$(url '/wz_cdn/ui/a.png?kept-after')"
  check "unasked CDN bytes are not the next miss's answer" cmp -s "$b" "$origin/wz_cdn/ui/a.png"
  check "unasked CDN bytes are not stored for the next path" cmp -s "$CACHE_DIR/$(md5_of '/wz_cdn/ui/a.png?kept-after')" "$origin/wz_cdn/ui/a.png"
  # Redirects are followed; only permanent hops on the CDN's host are kept.
  for p in perm:stored temp:passed away:passed; do
    curl -s -m 20 -D "$h" -o "$b" "$(url "/wz_cdn/${p%%:*}.png")"
    check "redirect ${p%%:*}: the target's body is served" bash -c "head -1 '$h' | grep -q '^HTTP/1.0 200' && cmp -s '$b' '$origin/wz_cdn/ui/a.png'"
    if [ "${p##*:}" = stored ]; then
      check "redirect ${p%%:*}: stored" [ -e "$CACHE_DIR/$(md5_of "/wz_cdn/${p%%:*}.png")" ]
    else
      check "redirect ${p%%:*}: not stored" [ ! -e "$CACHE_DIR/$(md5_of "/wz_cdn/${p%%:*}.png")" ]
    fi
  done

  curl -s -m 20 -D "$h" -o "$b" "$(url /wz_cdn/local.png)"
  check "a redirect to a local file gives an empty 502" bash -c "head -1 '$h' | grep -q '^HTTP/1.0 502' && [ ! -s '$b' ]"

  # Requests: dot segments never reach the CDN, a GET with a body ends the
  # connection, a bare LF ends a line.
  for p in '/wz_cdn/../mna.html' '/wz_cdn/%2E%2e/mna.html' '/wz_cdn/./ui/a.png'; do
    out=$(raw_session "send:b'GET $p HTTP/1.0\r\n\r\n'" recv)
    check "dot segments in $p give 400" bash -c "grep -q 'HTTP/1.0 400 Bad Request' <<< \"\$1\"" _ "$out"
  done
  check "dot segments never reach the CDN" bash -c "! grep -qiE '/(\.|%2e)' '$ORIGIN_LOG'"
  out=$(raw_session "send:b'GET /wz_cdn/ui/a.png HTTP/1.0\r\nConnection: Keep-Alive\r\nContent-Length: 27\r\n\r\nGET /mna.html HTTP/1.0\r\n\r\n'" recv closed)
  check "GET with a body gets 400 and the connection closes" bash -c "sed -n 1p <<< \"\$1\" | grep -q 'HTTP/1.0 400 Bad Request' &&
    [ \"\$(sed -n 2p <<< \"\$1\")\" = closed ]" _ "$out"
  out=$(raw_session "send:b'GET /wz_cdn/ui/a.png HTTP/1.0\nConnection: Keep-Alive\n\n'" recv)
  check "a request with bare LF line ends is answered at once" bash -c "grep -q 'HTTP/1.0 200 OK.*PNGDATA-40' <<< \"\$1\"" _ "$out"

  # A client that leaves a slow miss after its first bytes (a reload): the
  # fetch runs on and is stored, and the next request is a hit.
  /usr/bin/python3 - "$HOST_PORT" <<'PY'
import socket, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=10)
s.sendall(b"GET /wz_cdn/left.bin HTTP/1.0\r\n\r\n")
data = b""
while len(data) < 1000:
    piece = s.recv(65536)
    if not piece:
        break
    data += piece
s.close()
PY
  for _ in $(seq 100); do [ -e "$CACHE_DIR/$(md5_of /wz_cdn/left.bin)" ] && break; sleep 0.1; done
  check "a miss its client left is stored whole" cmp -s "$CACHE_DIR/$(md5_of /wz_cdn/left.bin)" "$origin/wz_cdn/left.bin"
  curl -s -m 20 -o "$b" "$(url /wz_cdn/left.bin)"
  check "the next request for it is a hit" bash -c "cmp -s '$b' '$origin/wz_cdn/left.bin' && [ $(origin_count //wz_cdn/left.bin) = 1 ]"

  # Keep-alive as any browser asks for it.
  out=$(raw_session "send:b'GET /wz_cdn/ui/a.png HTTP/1.1\r\nHost: x\r\nconnection: keep-alive\r\n\r\n'" recv \
    "send:b'GET /wz_cdn/empty.txt HTTP/1.1\r\nHost: x\r\nconnection: keep-alive\r\n\r\n'" recv closed:1)
  check "a lower-case keep-alive client gets two answers over one connection" bash -c "
    sed -n 1p <<< \"\$1\" | grep -q 'Connection: Keep-Alive.*PNGDATA-40' &&
    sed -n 2p <<< \"\$1\" | grep -q 'HTTP/1.0 200 OK.*Content-Length: 0.r.nConnection: Keep-Alive' &&
    [ \"\$(sed -n 3p <<< \"\$1\")\" = open ]" _ "$out"

  # Targets and heads that some reader on the way could take for another
  # request are refused, and nothing of them reaches the CDN.
  for p in '/..%2fsecret.txt' '/%2e%2e%2fsecret.txt' '/x/..#secret' '/a\\..\\..\\secret.txt' \
    '/wz_cdn/ui/a.png?x=/../secret' '/wz_cdn/a%5csecret' '/wz_cdn/%zzsecret'; do
    out=$(raw_session "send:b'GET $p HTTP/1.0\r\n\r\n'" recv)
    check "target $p gets 400" bash -c "grep -q 'HTTP/1.0 400 Bad Request' <<< \"\$1\"" _ "$out"
  done
  out=$(raw_session "send:b'GET /wz_cdn/' + b'secret' * 350 + b' HTTP/1.0\r\n\r\n'" recv)
  check "a target past 2,083 characters gets 414" bash -c "grep -q 'HTTP/1.0 414 URI Too Long' <<< \"\$1\"" _ "$out"
  out=$(raw_session "send:b'GET /wz_cdn/ui/a.png HTTP/1.0\r\nContent-Length : 40\r\n\r\nGET /wz_cdn/secret.png HTTP/1.0\r\n\r\n'" recv closed)
  check "a blank before a header's colon gets 400 and the connection ends" bash -c "
    sed -n 1p <<< \"\$1\" | grep -q 'HTTP/1.0 400 Bad Request' && [ \"\$(sed -n 2p <<< \"\$1\")\" = closed ]" _ "$out"
  out=$(raw_session "send:b'GET /wz_cdn/secret.png HTTP/1.0\r\nX-A: b\r\n c\r\n\r\n'" recv)
  check "a folded header line gets 400" bash -c "grep -q 'HTTP/1.0 400 Bad Request' <<< \"\$1\"" _ "$out"
  check "refused targets and heads never reach the CDN" bash -c "! grep -q secret '$ORIGIN_LOG'"
  raw_session "send:b'GET /wz_cdn/\xc3\xa9.png HTTP/1.0\r\n\r\n'" recv > /dev/null
  check "bytes from 0x80 reach the CDN percent-encoded" grep -q '^GET //wz_cdn/%C3%A9.png ' "$ORIGIN_LOG"

  # After a request it cannot parse, the server lingers: the answer before
  # it arrives whole although a further request lies unread.
  local got
  got=$(/usr/bin/python3 - "$HOST_PORT" <<'PY'
import socket, sys, time
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=20)
s.sendall(b"GET /wz_cdn/big.bin HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\nNOSPACE\r\n\r\n")
time.sleep(0.3)
s.sendall(b"GET /wz_cdn/empty.txt HTTP/1.0\r\n\r\n")
time.sleep(0.5)
data = b""
while True:
    try:
        piece = s.recv(1 << 20)
    except OSError:
        break
    if not piece:
        break
    data += piece
print(len(data.partition(b"\r\n\r\n")[2]))
PY
)
  check "after an unparseable request the answer before it arrives whole ($got bytes)" [ "$got" = $((8 << 20)) ]

  # Slow peers at the cap of 256: a newcomer takes the place of the header
  # that has trickled longest, and of the idle kept-alive connection that
  # has waited longest.
  local crowd
  crowd=$(/usr/bin/python3 - "$HOST_PORT" <<'PY'
import select, socket, subprocess, sys, time
port = int(sys.argv[1])
def connect():
    s = socket.create_connection(("127.0.0.1", port), timeout=10)
    return s
def served():
    r = subprocess.run(["curl", "-s", "-m", "5", "-o", "/dev/null", "-w", "%{http_code}",
                        f"http://127.0.0.1:{port}/wz_cdn/ui/a.png"], capture_output=True, text=True)
    return r.stdout == "200"
def closed(s, seconds):
    s.settimeout(seconds)
    try:
        return s.recv(1) == b""
    except socket.timeout:
        return False
    except OSError:
        return True
# One byte each, never a whole header.
slow = []
t0 = time.time()
for _ in range(256):
    try:
        s = connect(); s.sendall(b"G"); slow.append(s)
    except OSError:
        pass
# The first past the grace of a young header, all well before the header's limit.
time.sleep(max(0.0, t0 + 1.2 - time.time()))
# Connections left from earlier cases may have made the last tricklers
# displace the first ones already: the oldest one still open is the one to go.
gone = set(select.select(slow, [], [], 0.05)[0])
first = next(i for i, s in enumerate(slow) if s not in gone)
print("admitted" if served() else "locked-out")
c0, c1, cl = closed(slow[first], 2), closed(slow[first + 1], 0.2), closed(slow[-1], 0.2)
print("oldest-went" if c0 and not c1 and not cl else f"wrong-one {first} {c0} {c1} {cl} {time.time() - t0:.2f}")
for s in slow:
    s.close()
time.sleep(0.5)
# Idle kept-alive connections: each asked once and waits.
idle = []
for _ in range(256):
    s = connect()
    s.sendall(b"GET /wz_cdn/empty.txt HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n")
    data = b""
    while b"\r\n\r\n" not in data:
        data += s.recv(4096)
    idle.append(s)
print("idle-made-room" if served() else "refused")
for s in idle:
    s.close()
PY
)
  check "256 trickling headers: a newcomer is served" bash -c "grep -qx admitted <<< \"\$1\"" _ "$crowd"
  check "256 trickling headers: the one trickling longest made room" bash -c "grep -qx oldest-went <<< \"\$1\" || { grep wrong-one <<< \"\$1\"; false; }" _ "$crowd"
  check "256 idle kept-alive connections make room for a new client" bash -c "grep -qx idle-made-room <<< \"\$1\"" _ "$crowd"

  # The server stops in order, and soon, with an idle keep-alive connection
  # and a request whose CDN has stalled in the middle of the body.
  raw_session "send:b'GET /mna.html HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n'" recv sleep:30 > /dev/null 2>&1 &
  local idle=$!
  curl -s -m 30 -o /dev/null "$(url /wz_cdn/stall.bin?stop)" &
  local stalled=$!
  sleep 1
  host_stop
  check "server stops in order during a stalled fetch" [ "$HOST_STOP_RC" = 0 ]
  echo "  (stop took ${HOST_STOP_MS} ms)"
  check "stop takes under 2 s" [ "$HOST_STOP_MS" -lt 2000 ]
  check "stop leaves no temporary file of the stalled fetch" bash -c "! ls '$CACHE_DIR' | grep -q 'part'"
  kill "$idle" "$stalled" 2>/dev/null; wait "$idle" "$stalled" 2>/dev/null

  # A taken port: the launch moves to a fresh port at once.
  local holder taken
  holder=$(mktemp -u)
  /usr/bin/python3 -c "
import socket, sys, time
s = socket.socket(); s.bind(('127.0.0.1', 0)); s.listen(1)
open(sys.argv[1], 'w').write(str(s.getsockname()[1])); time.sleep(120)" "$holder" &
  local holder_pid=$!
  for _ in $(seq 100); do [ -s "$holder" ] && break; sleep 0.05; done
  taken=$(cat "$holder")
  t0=$SECONDS
  HOST_FIRST_PORT=$taken host_start "http://127.0.0.1:$ORIGIN_PORT/"
  check "taken port: started within 5 s" [ $((SECONDS - t0)) -lt 5 ]
  check "taken port: another port was announced" bash -c "[ -n '${HOST_PORT:-}' ] && [ '${HOST_PORT:-}' != '$taken' ]"
  curl -s -m 20 -o "$b" "$(url /wz_cdn/ui/a.png)"
  check "taken port: the announced port serves the cache" cmp -s "$b" "$origin/wz_cdn/ui/a.png"
  host_stop
  kill "$holder_pid" 2>/dev/null; wait "$holder_pid" 2>/dev/null
  origin_stop
  run_connection_cases "$work"
  run_freshness_cases "$work"
  run_thread_cases "$work"
}
