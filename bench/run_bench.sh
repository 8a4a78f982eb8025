#!/usr/bin/env bash
# Cache server benchmark (not a test, never fails on speed): our native
# server against nginx on loopback, in the same run, serving the same files
# from disk, measured with wrk over keep-alive connections (requests/s, p50
# and p99, time-outs and socket errors, peak resident memory); then the miss
# path (time to first byte and total time of a first request through our
# server against a direct fetch from the CDN), with nginx as the CDN both
# at full speed and limited to 10 MB/s per connection.
#   bench/run_bench.sh [SECONDS_PER_RUN]     (default 4; ROUNDS=3 runs of each)
# Prints a table and writes it to build/bench/results.md.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-4}
out=$here/build/bench
work=$(mktemp -d)
mkdir -p "$out"

command -v wrk >/dev/null || { echo "bench: wrk is missing (apt-get install wrk)"; exit 1; }
[ -x /usr/sbin/nginx ] || { echo "bench: nginx is missing (apt-get install nginx-light)"; exit 1; }
bash "$here/scripts/build.sh" native >/dev/null

free_port() { /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
md5_of() { printf '%s' "$1" | md5sum | cut -d' ' -f1; }

# The same bodies for both servers: nginx's document root and our MD5-named cache.
docroot=$work/www
cache=$work/cache
mkdir -p "$docroot/wz_cdn" "$cache"
sizes=(1k:1024 64k:65536 1m:1048576 8m:8388608)
for s in "${sizes[@]}"; do
  name=${s%%:*} bytes=${s##*:}
  head -c "$bytes" /dev/urandom > "$docroot/wz_cdn/f$name.bin"
  cp "$docroot/wz_cdn/f$name.bin" "$cache/$(md5_of "/wz_cdn/f$name.bin")"
done

# nginx: one server block for the hit runs, two as the CDN (full speed and
# limited), both logging the requests they get.
nginx_port=$(free_port)
origin_port=$(free_port)
slow_port=$(free_port)
mkdir -p "$work/nginx/logs"
cat > "$work/nginx/nginx.conf" <<CONF
worker_processes 2;
daemon off;
error_log $work/nginx/logs/error.log;
pid $work/nginx/nginx.pid;
events { worker_connections 1024; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  keepalive_requests 1000000;
  keepalive_timeout 60;
  default_type application/octet-stream;
  client_body_temp_path $work/nginx/tmp;
  proxy_temp_path $work/nginx/tmp;
  fastcgi_temp_path $work/nginx/tmp;
  uwsgi_temp_path $work/nginx/tmp;
  scgi_temp_path $work/nginx/tmp;
  server { listen 127.0.0.1:$nginx_port; root $docroot; }
  server { listen 127.0.0.1:$origin_port; root $docroot; access_log $work/nginx/logs/origin.log; }
  # limit_rate alone lets a whole first sendfile chunk (2 MiB by default)
  # out at once, so bodies up to that size came at loopback speed; small
  # chunks make every size arrive at about 10 MB/s. Without tcp_nopush off,
  # a chunk smaller than a loopback segment would wait, corked, for the
  # next one on a kept-alive connection: a pause no real CDN makes.
  server {
    listen 127.0.0.1:$slow_port; root $docroot; access_log $work/nginx/logs/slow.log;
    limit_rate 10m; sendfile_max_chunk 32k; tcp_nopush off;
  }
}
CONF
/usr/sbin/nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -g 'user root;' &
nginx_pid=$!

"$here/build/native/kestrun_cache_host" "$cache" 0 "http://127.0.0.1:$origin_port/" > "$work/host.out" &
host_pid=$!
"$here/build/native/kestrun_cache_host" "$work/slowcache" 0 "http://127.0.0.1:$slow_port/" > "$work/slowhost.out" &
slow_host_pid=$!
cleanup() {
  kill "$host_pid" "$slow_host_pid" 2>/dev/null || true
  kill "$nginx_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 100); do grep -q '^listening' "$work/host.out" && grep -q '^listening' "$work/slowhost.out" && break; sleep 0.05; done
our_port=$(sed -n 's/^listening //p' "$work/host.out")
slow_our_port=$(sed -n 's/^listening //p' "$work/slowhost.out")
for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$nginx_port/wz_cdn/f1k.bin" && break; sleep 0.05; done

# Resident memory in KiB of our server (pid) or of nginx's workers (their
# sum), and how to forget the peak so far before a run.
nginx_workers() { pgrep -P "$nginx_pid" || true; }
status_kib() { sed -n "s/^$2:[[:space:]]*\([0-9]*\) kB/\1/p" "/proc/$1/status"; }
reset_peak() { for p in "$@"; do echo 5 > "/proc/$p/clear_refs"; done; }
peak_kib() { local sum=0 p; for p in "$@"; do sum=$((sum + $(status_kib "$p" VmHWM))); done; echo "$sum"; }

# run_wrk PORT PATH CONNS -> "req/s p50_ms p99_ms timeouts socket_errors non2xx"
run_wrk() {
  local threads=1
  [ "$3" -gt 1 ] && threads=2
  wrk -t"$threads" -c"$3" -d"${secs}s" --latency -H 'Connection: Keep-Alive' "http://127.0.0.1:$1$2" |
    /usr/bin/python3 -c '
import re, sys
text = sys.stdin.read()
def ms(v):
    m = re.match(r"([\d.]+)(us|ms|s)", v)
    return float(m.group(1)) * {"us": 0.001, "ms": 1, "s": 1000}[m.group(2)]
rps = re.search(r"Requests/sec:\s+([\d.]+)", text).group(1)
p50 = re.search(r"\n\s+50%\s+(\S+)", text).group(1)
p99 = re.search(r"\n\s+99%\s+(\S+)", text).group(1)
m = re.search(r"Socket errors: connect (\d+), read (\d+), write (\d+), timeout (\d+)", text)
timeouts = int(m.group(4)) if m else 0
socket_errors = sum(int(m.group(i)) for i in (1, 2, 3)) if m else 0
n = re.search(r"Non-2xx or 3xx responses: (\d+)", text)
print(rps, ms(p50), ms(p99), timeouts, socket_errors, n.group(1) if n else 0)'
}

# Each size and connection count runs ROUNDS times, ours and nginx one
# after the other, taking turns at going first; the table gives medians,
# which a shared machine's load spikes move less than single runs.
rounds=${ROUNDS:-3}
rows=$work/rows
: > "$rows"
rss_after=""
our_peak=0 nginx_peak=0
for round in $(seq "$rounds"); do
  for s in "${sizes[@]}"; do
    name=${s%%:*}
    for conns in 1 32; do
      heavy=no
      [ "$name" = 8m ] && [ "$conns" = 32 ] && heavy=yes
      for who in $( [ $((round % 2)) = 1 ] && echo "ours nginx" || echo "nginx ours"); do
        if [ "$who" = ours ]; then
          [ $heavy = yes ] && reset_peak "$host_pid"
          echo "$name $conns ours $(run_wrk "$our_port" "/wz_cdn/f$name.bin" "$conns")" >> "$rows"
          [ $heavy = yes ] && our_peak=$(( $(peak_kib "$host_pid") > our_peak ? $(peak_kib "$host_pid") : our_peak ))
          [ "$round" = 1 ] && rss_after="$rss_after $(status_kib "$host_pid" VmRSS)"
        else
          # shellcheck disable=SC2046
          [ $heavy = yes ] && reset_peak $(nginx_workers)
          echo "$name $conns nginx $(run_wrk "$nginx_port" "/wz_cdn/f$name.bin" "$conns")" >> "$rows"
          # shellcheck disable=SC2046
          [ $heavy = yes ] && nginx_peak=$(( $(peak_kib $(nginx_workers)) > nginx_peak ? $(peak_kib $(nginx_workers)) : nginx_peak ))
        fi
      done
    done
  done
done
# Memory after a further run of the smallest hit: it must not have grown.
run_wrk "$our_port" /wz_cdn/f1k.bin 32 > /dev/null
rss_after="$rss_after $(status_kib "$host_pid" VmRSS)"

# Misses: each first request is a path the cache has not seen (a fresh
# query string); the direct fetch asks the CDN for the same file.
# miss_times URL -> "ttfb_s total_s"
miss_times() { curl -s -o /dev/null -w '%{time_starttransfer} %{time_total}' "$1"; }
miss_rows=$work/miss
: > "$miss_rows"
for cdn in local:$origin_port:$our_port limited:$slow_port:$slow_our_port; do
  IFS=: read -r label cdn_port ours_port <<< "$cdn"
  runs=10
  for s in 64k 1m 8m; do
    for i in $(seq "$runs"); do
      echo "$label $s ours $(miss_times "http://127.0.0.1:$ours_port/wz_cdn/f$s.bin?m=$i$RANDOM")" >> "$miss_rows"
      echo "$label $s direct $(miss_times "http://127.0.0.1:$cdn_port/wz_cdn/f$s.bin?m=$i")" >> "$miss_rows"
    done
  done
done
# Sixteen concurrent first requests for one path: how many reach the CDN.
: > "$work/nginx/logs/origin.log"
pids=()
for i in $(seq 16); do curl -s -o /dev/null "http://127.0.0.1:$our_port/wz_cdn/f8m.bin?shared=1" & pids+=($!); done
wait "${pids[@]}"
shared_fetches=$(grep -c 'shared=1' "$work/nginx/logs/origin.log" || true)

/usr/bin/python3 - "$rows" "$miss_rows" "$our_peak" "$nginx_peak" "$shared_fetches" "$secs" "$rss_after" "$rounds" \
  > "$out/results.md" <<'PY'
import statistics, sys
rows, miss, our_peak, nginx_peak, shared, secs, after, rounds = sys.argv[1:9]
print(f"Cache hits: wrk --latency -H 'Connection: Keep-Alive', {secs} s per run (1 connection: 1 thread,"
      f" 32: 2 threads), loopback; median of {rounds} runs each, ours and nginx taking turns")
print()
print("| body | conns | ours req/s | nginx req/s | ours/nginx | ours p50 / p99 ms | nginx p50 / p99 ms"
      " | p99 ours/nginx | time-outs, socket errors ours / nginx |")
print("|---|---|---|---|---|---|---|---|---|")
runs = {}
for line in open(rows):
    size, conns, who, rps, p50, p99, timeouts, errors, bad = line.split()
    runs.setdefault((size, conns), {}).setdefault(who, []).append(
        (float(rps), float(p50), float(p99), int(timeouts), int(errors), int(bad)))
for (size, conns), by in runs.items():
    o, n = by["ours"], by["nginx"]
    med = lambda rs, i: statistics.median(r[i] for r in rs)
    tot = lambda rs, i: sum(r[i] for r in rs)
    bad = "" if tot(o, 5) == tot(n, 5) == 0 else f" (non-2xx: {tot(o, 5)} / {tot(n, 5)})"
    print(f"| {size.replace('k', ' KiB').replace('m', ' MiB')} | {conns} | {med(o, 0):.0f} | {med(n, 0):.0f}"
          f" | {med(o, 0) / med(n, 0):.2f} | {med(o, 1):.2f} / {med(o, 2):.2f} | {med(n, 1):.2f} / {med(n, 2):.2f}"
          f" | {med(o, 2) / med(n, 2):.2f} | {tot(o, 3)}, {tot(o, 4)} / {tot(n, 3)}, {tot(n, 4)}{bad} |")
print()
print(f"Peak resident memory during the 32-connection 8 MiB runs: ours {int(our_peak)/1024:.1f} MiB,"
      f" nginx's two workers together {int(nginx_peak)/1024:.1f} MiB. Ours after each hit run of the first"
      f" round and after a further 1 KiB run (MiB): {' '.join(f'{int(k)/1024:.1f}' for k in after.split())}.")
print()
times = {}
for line in open(miss):
    label, size, who, ttfb, total = line.split()
    times.setdefault((label, size, who), []).append((float(ttfb) * 1000, float(total) * 1000))
print("Misses: first requests through our server (fetch from the CDN, stream, store) against the same"
      " fetch made directly from the CDN; median of 10 runs")
print()
print("| CDN | body | ours first byte ms | direct first byte ms | difference ms"
      " | ours total ms | direct total ms | total ours/direct |")
print("|---|---|---|---|---|---|---|---|")
for label in ("local", "limited"):
    for size in ("64k", "1m", "8m"):
        ours, direct = times[(label, size, "ours")], times[(label, size, "direct")]
        ot = statistics.median(t for t, _ in ours); dt = statistics.median(t for t, _ in direct)
        oa = statistics.median(a for _, a in ours); da = statistics.median(a for _, a in direct)
        cdn = "nginx, full speed" if label == "local" else "nginx, limit_rate 10m"
        print(f"| {cdn} | {size.replace('k', ' KiB').replace('m', ' MiB')} | {ot:.2f} | {dt:.2f} | {ot - dt:+.2f}"
              f" | {oa:.2f} | {da:.2f} | {oa / da:.2f} |")
print()
print(f"16 concurrent first requests for one 8 MiB path made {shared} CDN fetch(es).")
PY
cat "$out/results.md"
