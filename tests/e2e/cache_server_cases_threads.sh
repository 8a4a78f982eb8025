# The cache server's threads under load, shared by the native run and the
# run under Wine (sourced by cache_server_cases.sh): hits beside trickling
# misses, clients that leave while their miss waits, a half-closed slow
# reader, and a miss paced by its CDN.

# threads_ms COMMAND...: the milliseconds COMMAND took.
threads_ms() {
  local t0
  t0=$(date +%s%N)
  "$@" > /dev/null 2>&1
  echo $(( ($(date +%s%N) - t0) / 1000000 ))
}

# threads_cpu_ticks PORT: user and system clock ticks of the process that
# listens on PORT (the host itself, under Wine too).
threads_cpu_ticks() {
  local pid
  pid=$(ss -Hltnp "sport = :$1" | sed -n 's/.*pid=\([0-9]*\).*/\1/p' | head -1)
  [ -n "$pid" ] || { echo 0; return; }
  awk '{ print $14 + $15 }' "/proc/$pid/stat"
}

# threads_hit_ms PATH: how long a whole answer to PATH took, or 99999 when
# it did not come whole with a 200.
threads_hit_ms() {
  local t0 code
  t0=$(date +%s%N)
  code=$(curl -s -m 10 -o /dev/null -w '%{http_code}' "$(url "$1")")
  if [ "$code" = 200 ]; then echo $(( ($(date +%s%N) - t0) / 1000000 )); else echo 99999; fi
}

run_thread_cases() {
  local work=$1
  local origin="$work/threads-origin"
  mkdir -p "$origin/wz_cdn/trickle" "$origin/wz_cdn/paced"
  head -c 3000 /dev/urandom > "$origin/wz_cdn/hit.bin"
  head -c 8388608 /dev/urandom > "$origin/wz_cdn/big.bin"
  local i
  for i in $(seq 24); do head -c 60 /dev/urandom > "$origin/wz_cdn/trickle/t$i.bin"; done
  origin_start "$origin" --trickle 'trickle' --trickle-interval 0.05 --hang 'hang'
  host_start "http://127.0.0.1:$ORIGIN_PORT/"
  curl -s -m 20 -o /dev/null "$(url /wz_cdn/hit.bin)"
  curl -s -m 60 -o /dev/null "$(url /wz_cdn/big.bin)"

  # A reader that sends its request, shuts down its sending side and takes
  # 800 bytes a second of an 8 MiB hit: the time rules cut it, and waiting
  # for it costs the server next to no CPU. A cut connection is closed in
  # order, so the peer could still read what the system had queued: the
  # cut shows as the server's end of it belonging to no process any more.
  local before after cut
  before=$(threads_cpu_ticks "$HOST_PORT")
  cut=$(/usr/bin/python3 - "$HOST_PORT" <<'PY'
import socket, subprocess, sys, time
port = int(sys.argv[1])
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
s.connect(("127.0.0.1", port))
s.sendall(b"GET /wz_cdn/big.bin HTTP/1.1\r\nHost: x\r\n\r\n")
s.shutdown(socket.SHUT_WR)
s.settimeout(0.2)
mine = s.getsockname()[1]
def held():
    out = subprocess.run(["ss", "-Htnp", "state", "all", "( sport = :%d and dport = :%d )" % (port, mine)],
                         capture_output=True, text=True).stdout
    return "pid=" in out
t0 = time.time()
got = 0
while time.time() - t0 < 20 and held():
    try:
        got += len(s.recv(200))
    except socket.timeout:
        pass
    except OSError:
        break
    time.sleep(0.25)
print("%.1f %d" % (time.time() - t0, got))
PY
)
  after=$(threads_cpu_ticks "$HOST_PORT")
  echo "  (half-closed slow reader: seconds and bytes read before the cut: $cut; server CPU $((after - before)) ticks)"
  check "threads: a half-closed slow reader is answered, then cut by the time rules" \
    /usr/bin/python3 -c "import sys; t, n = sys.argv[1].split(); sys.exit(0 if float(t) < 15 and int(n) > 0 else 1)" "$cut"
  # 100 ticks a second; a busy loop would cost the whole time.
  check "threads: the half-closed slow reader costs under 0.5 CPU-seconds" [ $((after - before)) -lt 50 ]
  # 24 misses whose CDN sends a byte every 50 ms (3 s each), and a hit
  # asked 0.3 s later.
  local pids=()
  for i in $(seq 24); do
    curl -s -m 20 -o "$work/trickle.$i" "$(url "/wz_cdn/trickle/t$i.bin")" &
    pids+=($!)
  done
  sleep 0.3
  local ms
  ms=$(threads_hit_ms /wz_cdn/hit.bin)
  echo "  (hit beside 24 trickling misses: $ms ms)"
  check "threads: a hit beside 24 trickling misses is answered within 300 ms" [ "$ms" -lt 300 ]
  wait "${pids[@]}"
  local whole=0
  for i in $(seq 24); do cmp -s "$work/trickle.$i" "$origin/wz_cdn/trickle/t$i.bin" && whole=$((whole + 1)); done
  check "threads: the 24 trickled misses arrive whole" [ "$whole" = 24 ]

  # 256 clients (the cap) ask for misses the CDN never answers and leave
  # after 1.5 s; the CDN's answer limit is HOST_LIMIT s, so only noticing
  # that they left frees their slots.
  /usr/bin/python3 - "$HOST_PORT" <<'PY'
import socket, sys, time
peers = []
for i in range(256):
    s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=5)
    s.sendall(b"GET /wz_cdn/hang/%d.bin HTTP/1.1\r\nHost: x\r\n\r\n" % i)
    peers.append(s)
time.sleep(1.5)
for s in peers:
    s.close()
PY
  local slow=0
  for i in 1 2 3; do
    ms=$(threads_hit_ms /wz_cdn/hit.bin)
    echo "  (hit $i after 256 leavers: $ms ms)"
    [ "$ms" -lt 300 ] || slow=$((slow + 1))
    sleep 1
  done
  check "threads: after 256 clients leave their misses, three hits are each answered within 300 ms" [ "$slow" = 0 ]

  host_stop
  origin_stop

  # A miss whose CDN sends a byte every 150 ms arrives at the CDN's pace:
  # no byte waits for a recheck.
  head -c 12 /dev/urandom > "$origin/wz_cdn/paced/p.bin"
  origin_start "$origin" --trickle 'paced' --trickle-interval 0.15
  host_start "http://127.0.0.1:$ORIGIN_PORT/"
  local gap
  gap=$(/usr/bin/python3 - "$HOST_PORT" <<'PY'
import socket, sys, time
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=10)
s.sendall(b"GET /wz_cdn/paced/p.bin HTTP/1.0\r\n\r\n")
data, times = b"", []
while True:
    piece = s.recv(4096)
    if not piece:
        break
    data += piece
    times.append(time.time())
body = data.partition(b"\r\n\r\n")[2]
gaps = [b - a for a, b in zip(times, times[1:])]
print("%d %.3f" % (len(body), max(gaps) if gaps else 99))
PY
)
  echo "  (paced miss: body bytes and longest gap between pieces: $gap)"
  check "threads: a miss paced at 150 ms a piece arrives whole at the CDN's pace" \
    /usr/bin/python3 -c "import sys; n, g = sys.argv[1].split(); sys.exit(0 if n == '12' and float(g) < 0.4 else 1)" "$gap"
  host_stop
  origin_stop
}
