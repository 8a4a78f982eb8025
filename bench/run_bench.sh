#!/usr/bin/env bash
# Cache server benchmark (not a test): our native server against nginx on
# loopback, serving the same files from disk, measured with wrk over
# keep-alive connections; then the miss path (first request through our
# server, with nginx as the CDN, against a direct fetch from nginx).
#   bench/run_bench.sh [SECONDS_PER_RUN]     (default 4)
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

# nginx: one server block for the hit runs, one logging block as the CDN.
nginx_port=$(free_port)
origin_port=$(free_port)
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
}
CONF
/usr/sbin/nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -g 'user root;' &
nginx_pid=$!

"$here/build/native/kestrun_cache_host" "$cache" 0 "http://127.0.0.1:$origin_port/" > "$work/host.out" &
host_pid=$!
cleanup() {
  kill "$host_pid" 2>/dev/null || true
  kill "$nginx_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 100); do grep -q '^listening' "$work/host.out" && break; sleep 0.05; done
our_port=$(sed -n 's/^listening //p' "$work/host.out")
for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$nginx_port/wz_cdn/f1k.bin" && break; sleep 0.05; done

rss_kib() { sed -n "s/^$1:[[:space:]]*\([0-9]*\) kB/\1/p" "/proc/$host_pid/status"; }

# run_wrk PORT PATH CONNS -> "req/s p50_ms p99_ms"
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
errors = re.search(r"Non-2xx or 3xx responses: (\d+)|Socket errors: (.*)", text)
print(rps, ms(p50), ms(p99), "errors" if errors else "ok")'
}

rows=$work/rows
: > "$rows"
rss_growth=""
for s in "${sizes[@]}"; do
  name=${s%%:*}
  for conns in 1 32; do
    read -r o_rps o_p50 o_p99 o_err <<< "$(run_wrk "$our_port" "/wz_cdn/f$name.bin" "$conns")"
    rss_growth="$rss_growth $(rss_kib VmRSS)"
    read -r n_rps n_p50 n_p99 n_err <<< "$(run_wrk "$nginx_port" "/wz_cdn/f$name.bin" "$conns")"
    echo "hit $name $conns $o_rps $o_p50 $o_p99 $n_rps $n_p50 $n_p99 $o_err $n_err" >> "$rows"
  done
done
# Memory after a further long run of the smallest hit: it must not have grown.
run_wrk "$our_port" /wz_cdn/f1k.bin 32 > /dev/null
rss_after=$(rss_kib VmRSS)
peak=$(rss_kib VmHWM)

# Misses: each request is a path the cache has not seen (a fresh query string).
miss_rows=$work/miss
: > "$miss_rows"
for s in 64k:65536 1m:1048576 8m:8388608; do
  name=${s%%:*}
  ours=0 direct=0
  for i in $(seq 10); do
    t=$(curl -s -o /dev/null -w '%{time_total}' -H 'Connection: Keep-Alive' "http://127.0.0.1:$our_port/wz_cdn/f$name.bin?m=$i$RANDOM")
    ours=$(/usr/bin/python3 -c "print($ours + $t)")
    t=$(curl -s -o /dev/null -w '%{time_total}' "http://127.0.0.1:$origin_port/wz_cdn/f$name.bin?m=$i")
    direct=$(/usr/bin/python3 -c "print($direct + $t)")
  done
  echo "miss $name $ours $direct" >> "$miss_rows"
done
# Sixteen concurrent first requests for one path: how many reach the CDN.
: > "$work/nginx/logs/origin.log"
pids=()
for i in $(seq 16); do curl -s -o /dev/null "http://127.0.0.1:$our_port/wz_cdn/f8m.bin?shared=1" & pids+=($!); done
wait "${pids[@]}"
shared_fetches=$(grep -c 'shared=1' "$work/nginx/logs/origin.log" || true)

/usr/bin/python3 - "$rows" "$miss_rows" "$peak" "$rss_after" "$shared_fetches" "$secs" "$rss_growth" > "$out/results.md" <<'PY'
import sys
rows, miss, peak, after, shared, secs, growth = sys.argv[1:8]
print(f"Cache hits, wrk -H 'Connection: Keep-Alive', {secs} s per run, loopback, 2 shared cores")
print()
print("| body | conns | ours req/s | nginx req/s | ratio | ours p50/p99 ms | nginx p50/p99 ms | p99 ratio |")
print("|---|---|---|---|---|---|---|---|")
for line in open(rows):
    _, size, conns, orps, op50, op99, nrps, np50, np99, oerr, nerr = line.split()
    flag = "" if oerr == nerr == "ok" else " (errors)"
    print(f"| {size} | {conns} | {float(orps):.0f} | {float(nrps):.0f} | {float(orps)/float(nrps):.2f}{flag} | "
          f"{float(op50):.2f} / {float(op99):.2f} | {float(np50):.2f} / {float(np99):.2f} | {float(op99)/float(np99):.2f} |")
print()
print("Misses, 10 first requests per size (ours: fetch from nginx as the CDN, store, serve; direct: the same fetch from nginx)")
print()
print("| body | ours mean ms | direct mean ms | ratio |")
print("|---|---|---|---|")
for line in open(miss):
    _, size, ours, direct = line.split()
    print(f"| {size} | {float(ours)*100:.2f} | {float(direct)*100:.2f} | {float(ours)/float(direct):.2f} |")
print()
print(f"Our server's resident memory: peak {int(peak)/1024:.1f} MiB; after each hit run (MiB):"
      f" {' '.join(f'{int(k)/1024:.1f}' for k in growth.split())}; after a further 1 KiB run: {int(after)/1024:.1f} MiB.")
print(f"16 concurrent first requests for one 8 MiB path made {shared} CDN fetch(es).")
PY
cat "$out/results.md"
