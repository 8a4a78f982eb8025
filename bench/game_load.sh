#!/usr/bin/env bash
# Whole-game-load benchmark (not a test, never run by CI, never fails on
# speed). A synthetic game of RESOURCES (1000) resources, fixed seed, sits
# on a CDN that is nginx (limit_rate RATE per connection, 2m) behind a
# delay relay of our own that adds RTT_MS (40) to each new connection and
# each request. A browser-like client (6 keep-alive connections, list
# order) loads the whole game in these ways, interleaved, ROUNDS (3) times:
#   direct from the CDN; through our server with an empty, then a full
#   cache; through the Windows build of our server (the 32-bit host under
#   32-bit Wine, or the x86_64 twin's under wine64; WINDOWS=0 leaves it out) with an empty, then a full cache;
#   through nginx proxy_cache with an empty, then a full cache.
# The CDN connections each load opened are counted at the relay.
# Then our server with a budget of half the game loads it twice; the CDN's
# log tells how many resources it was asked for twice. The full cache is also
# loaded by a new process, whose first load checks every entry's checksum,
# at once and 2 s after its launch, and with the entries' metadata removed
# (the hit path of older caches).
#   bench/game_load.sh        (RESOURCES, ROUNDS, RTT_MS, RATE to change;
#                              WIN_HOST for another build of the Windows host)
# Prints the tables and writes them to build/bench/game_load.md.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
resources=${RESOURCES:-1000}
rounds=${ROUNDS:-3}
rtt_ms=${RTT_MS:-40}
rate=${RATE:-2m}
out=$here/build/bench
work=$(mktemp -d)
mkdir -p "$out"
py=/usr/bin/python3
tool="$py $here/bench/game_load.py"

[ -x /usr/sbin/nginx ] || { echo "bench: nginx is missing (apt-get install nginx-light)"; exit 1; }
bash "$here/scripts/build.sh" native >/dev/null
host=$here/build/native/kestrun_cache_host

# The Windows host in a Wine prefix of its own; its cache folder is on C:.
# It is the product's own 32-bit build under 32-bit Wine where this machine
# runs that (scripts/wine-arch.sh), else the x86_64 twin under wine64.
windows=no
if [ "${WINDOWS:-1}" = 1 ]; then
  win_arch=${KESTRUN_WINE_ARCH:-$(bash "$here/scripts/wine-arch.sh")}
  case $win_arch in
    win32) win_loader=/usr/lib/wine/wine ;;
    *) win_arch=win64 win_loader=/usr/lib/wine/wine64 ;;
  esac
  [ -x "$win_loader" ] || { echo "bench: $win_loader is missing (WINDOWS=0 leaves the Windows host out)"; exit 1; }
  [ -f "$here/build/$win_arch/build.ninja" ] || bash "$here/scripts/build.sh" "$win_arch" >/dev/null
  cmake --build "$here/build/$win_arch" --target kestrun_cache_host >/dev/null
  # WIN_HOST: another build of the host (an earlier one, say) in its place.
  win_host=${WIN_HOST:-$here/build/$win_arch/kestrun_cache_host.exe}
  export WINEPREFIX=$here/build/wine/$win_arch/bench WINEDEBUG=-all
  KESTRUN_WINE_ARCH=$win_arch bash "$here/scripts/wine-prefix.sh" "$WINEPREFIX" --no-z
  windows=yes
fi

free_port() { $py -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
wait_port_file() { for _ in $(seq 200); do [ -s "$1" ] && break; sleep 0.05; done; cat "$1"; }

game_bytes=$($tool make "$work/www" "$work/list" "$resources")
# A published game's files are not minutes old: from their Last-Modified,
# stored entries stay fresh for the day's cap, as they would for players.
find "$work/www" -type f -exec touch -d '30 days ago' {} +
list=$work/list

# The CDN: nginx, paced per connection in small chunks (see run_bench.sh),
# logging each request it serves.
cdn_port=$(free_port)
mkdir -p "$work/cdn/logs"
# nginx_head DIR WORKERS: the start of an nginx configuration living in DIR,
# up to inside its http block.
nginx_head() {
  cat <<CONF
worker_processes $2;
daemon off;
error_log $1/logs/error.log;
pid $1/nginx.pid;
events { worker_connections 1024; }
http {
  sendfile on;
  keepalive_requests 1000000;
  keepalive_timeout 60;
  default_type application/octet-stream;
  client_body_temp_path $work/tmp; proxy_temp_path $work/tmp;
  fastcgi_temp_path $work/tmp; uwsgi_temp_path $work/tmp; scgi_temp_path $work/tmp;
CONF
}
{ nginx_head "$work/cdn" 1; cat <<CONF
  log_format path '\$uri';
  access_log $work/cdn/logs/access.log path;
  server {
    listen 127.0.0.1:$cdn_port; root $work/www;
    limit_rate $rate; sendfile_max_chunk 32k; tcp_nopush off;
  }
}
CONF
} > "$work/cdn/nginx.conf"
mkdir -p "$work/tmp"
/usr/sbin/nginx -p "$work/cdn" -c "$work/cdn/nginx.conf" -g 'user root;' &
cdn_pid=$!
$tool delay "$work/delay.port" "$cdn_port" "$rtt_ms" "$work/cdn.conns" &
delay_pid=$!
delay_port=$(wait_port_file "$work/delay.port")

pids_to_stop=()
cleanup() {
  kill "${pids_to_stop[@]}" "$delay_pid" "$cdn_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$cdn_port/wz_cdn/res/0000.png" && break; sleep 0.05; done

# Peak resident memory in KiB: of a process, or summed over nginx's workers.
peak_kib() { local sum=0 p; for p in "$@"; do sum=$((sum + $(sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$p/status"))); done; echo "$sum"; }

# host_start FOLDER [OPTIONS]: our server on an empty folder, the relay as its CDN.
host_start() {
  local folder=$1
  shift
  rm -rf "$folder"
  "$host" "$@" "$folder" 0 "http://127.0.0.1:$delay_port/" > "$work/host.out" &
  host_pid=$!
  pids_to_stop+=("$host_pid")
  for _ in $(seq 400); do grep -q '^listening' "$work/host.out" && break; sleep 0.05; done
  host_port=$(sed -n 's/^listening //p' "$work/host.out")
  [ -n "$host_port" ] || { echo "bench: the host did not start:"; cat "$work/host.out"; exit 1; }
}
host_stop() { kill "$host_pid"; wait "$host_pid" 2>/dev/null || true; }
# host_restart FOLDER: our server again on a folder it filled before.
host_restart() {
  "$host" "$1" 0 "http://127.0.0.1:$delay_port/" > "$work/host.out" &
  host_pid=$!
  pids_to_stop+=("$host_pid")
  for _ in $(seq 100); do grep -q '^listening' "$work/host.out" && break; sleep 0.05; done
  host_port=$(sed -n 's/^listening //p' "$work/host.out")
}

# win_host_start: the Windows host on an empty folder of C:, serving until
# its input ends.
win_host_start() {
  rm -rf "$WINEPREFIX/drive_c/bench-cache"
  rm -f "$work/win.in" && mkfifo "$work/win.in"
  "$win_loader" "$win_host" 'C:\bench-cache' 0 "http://127.0.0.1:$delay_port/" \
    < "$work/win.in" > "$work/win.out" 2>&1 &
  win_pid=$!
  sleep 100000 > "$work/win.in" &
  win_input=$!
  pids_to_stop+=("$win_pid" "$win_input")
  for _ in $(seq 400); do grep -q '^listening' "$work/win.out" && break; sleep 0.05; done
  win_port=$(tr -d '\r' < "$work/win.out" | sed -n 's/^listening //p')
  [ -n "$win_port" ] || { echo "bench: the Windows host did not start:"; cat "$work/win.out"; exit 1; }
}
win_host_stop() { kill "$win_input"; wait "$win_pid" 2>/dev/null || true; /usr/lib/wine/wineserver -w; }

# nginx proxy_cache on an empty cache, the relay as its upstream, connections
# to it kept as ours are.
proxy_start() {
  proxy_port=$(free_port)
  rm -rf "$work/proxy"
  mkdir -p "$work/proxy/logs" "$work/proxy/cache"
  { nginx_head "$work/proxy" 2; cat <<CONF
  access_log off;
  proxy_cache_path $work/proxy/cache levels=1:2 keys_zone=game:16m max_size=10g inactive=1d use_temp_path=off;
  upstream cdn { server 127.0.0.1:$delay_port; keepalive 32; }
  server {
    listen 127.0.0.1:$proxy_port;
    location / {
      proxy_pass http://cdn;
      proxy_http_version 1.1;
      proxy_set_header Connection "";
      proxy_cache game;
      proxy_cache_valid 200 1d;
      proxy_cache_lock on;
    }
  }
}
CONF
  } > "$work/proxy/nginx.conf"
  /usr/sbin/nginx -p "$work/proxy" -c "$work/proxy/nginx.conf" -g 'user root;' &
  proxy_pid=$!
  pids_to_stop+=("$proxy_pid")
  for _ in $(seq 100); do [ -s "$work/proxy/nginx.pid" ] && pgrep -P "$proxy_pid" >/dev/null && break; sleep 0.05; done
  sleep 0.2
}
proxy_stop() { kill "$proxy_pid"; wait "$proxy_pid" 2>/dev/null || true; }
proxy_workers() { pgrep -P "$proxy_pid" -f 'worker process' || true; }

# load NAME PORT: one whole load, its JSON line kept under NAME with the
# number of connections made to the CDN during it.
cdn_connections() { [ -f "$work/cdn.conns" ] && wc -l < "$work/cdn.conns" || echo 0; }
load() {
  local before
  before=$(cdn_connections)
  $tool load "$2" "$list" >> "$work/$1.json"
  echo $(($(cdn_connections) - before)) >> "$work/$1.conns"
  echo "$1: $(tail -1 "$work/$1.json"), $(tail -1 "$work/$1.conns") CDN connections" >&2
}

for round in $(seq "$rounds"); do
  echo "round $round of $rounds" >&2
  load direct "$delay_port"
  host_start "$work/ours"
  load ours_empty "$host_port"
  load ours_full "$host_port"
  peak_kib "$host_pid" >> "$work/ours.kib"
  host_stop
  if [ "$windows" = yes ]; then
    win_host_start
    load win_empty "$win_port"
    load win_full "$win_port"
    win_host_stop
  fi
  host_restart "$work/ours"
  load ours_checked "$host_port"
  host_stop
  # The program shows its login window before the game loads: the launch's
  # own check of the folder has that time.
  host_restart "$work/ours"
  sleep 2
  load ours_settled "$host_port"
  host_stop
  find "$work/ours" -name '*.meta' -delete
  host_restart "$work/ours"
  load ours_legacy "$host_port"
  host_stop
  proxy_start
  load nginx_empty "$proxy_port"
  load nginx_full "$proxy_port"
  # shellcheck disable=SC2046
  peak_kib $(proxy_workers) >> "$work/nginx.kib"
  proxy_stop
done

# Eviction pressure: a budget of half the game, loaded twice.
: > "$work/cdn/logs/access.log"
budget=$((game_bytes / 2))
host_start "$work/budget" "--budget=$budget"
load budget_first "$host_port"
load budget_second "$host_port"
budget_files=$(find "$work/budget" -type f -regextype posix-extended -regex '.*/[0-9a-f]{32}' | wc -l)
budget_bytes=$(find "$work/budget" -type f -regextype posix-extended -regex '.*/[0-9a-f]{32}' -printf '%s\n' | awk '{s += $1} END {print s + 0}')
host_stop
twice=$(sort "$work/cdn/logs/access.log" | uniq -c | awk '$1 >= 2' | wc -l)
cdn_requests=$(wc -l < "$work/cdn/logs/access.log")

$py - "$work" "$resources" "$game_bytes" "$rounds" "$rtt_ms" "$rate" "$budget" "$twice" "$cdn_requests" \
  "$budget_files" "$budget_bytes" "${win_arch:-win64}" > "$out/game_load.md" <<'PY'
import json, os, statistics, sys
work, resources, game, rounds, rtt, rate, budget, twice, cdn_requests, kept_files, kept_bytes, win_arch = sys.argv[1:]
wine = "32-bit product, 32-bit Wine" if win_arch == "win32" else "x86_64 twin, wine64"
def runs(name):
    with open("%s/%s.json" % (work, name)) as f:
        return [json.loads(line) for line in f if line.strip()]
def med(name, key):
    return statistics.median(r[key] for r in runs(name))
def conns(name):
    with open("%s/%s.conns" % (work, name)) as f:
        return statistics.median(int(x) for x in f.read().split())
def kib(name):
    with open("%s/%s.kib" % (work, name)) as f:
        return max(int(x) for x in f.read().split())
direct = med("direct", "total")
print("Whole game load: %s resources, %.1f MiB (fixed seed), CDN nginx limit_rate %s per connection behind a "
      "%s ms relay, client 6 keep-alive connections in list order; median of %s runs, the five ways interleaved\n"
      % (resources, int(game) / 1048576, rate, rtt, rounds))
print("| way | total s | 50th resource s | 99th resource s | total / direct | CDN connections | errors |")
print("|---|---|---|---|---|---|---|")
rows = [("direct from the CDN", "direct"), ("Kestrun, empty cache", "ours_empty"), ("Kestrun, full cache", "ours_full"),
        ("Kestrun Windows host (%s), empty cache" % wine, "win_empty"),
        ("Kestrun Windows host (%s), full cache" % wine, "win_full"),
        ("nginx proxy_cache, empty cache", "nginx_empty"), ("nginx proxy_cache, full cache", "nginx_full")]
for label, name in rows:
    if not os.path.exists("%s/%s.json" % (work, name)):
        continue
    print("| %s | %.2f | %.2f | %.2f | %.3f | %d | %d |" % (
        label, med(name, "total"), med(name, "p50"), med(name, "p99"), med(name, "total") / direct, conns(name),
        sum(r["errors"] for r in runs(name))))
print()
print("Peak resident memory over a round's two loads (largest of %s rounds): Kestrun %.1f MiB, nginx proxy_cache's "
      "two workers together %.1f MiB." % (rounds, kib("ours") / 1024, kib("nginx") / 1024))
print()
legacy = med("ours_legacy", "total")
print("Checking entries (each entry's length and checksum once a run): a full-cache load by a new process at once "
      "%.2f s (%.3f of the same cache without its metadata files, the hit path before entries kept metadata, "
      "%.2f s); 2 s after its launch %.2f s (%.3f); a later load of the same process %.2f s (%.3f)." % (
          med("ours_checked", "total"), med("ours_checked", "total") / legacy, legacy,
          med("ours_settled", "total"), med("ours_settled", "total") / legacy,
          med("ours_full", "total"), med("ours_full", "total") / legacy))
print()
print("Ratios: full cache Kestrun/nginx %.2f; empty cache Kestrun/direct %.3f, Kestrun/nginx %.3f."
      % (med("ours_full", "total") / med("nginx_full", "total"), med("ours_empty", "total") / direct,
         med("ours_empty", "total") / med("nginx_empty", "total")))
if os.path.exists("%s/win_empty.json" % work):
    print()
    print("The Windows host, empty cache: %.3f of the direct load, %d CDN connections against the client's %d."
          % (med("win_empty", "total") / direct, conns("win_empty"), conns("direct")))
print()
first, second = runs("budget_first")[0], runs("budget_second")[0]
print("Eviction pressure: Kestrun with a budget of %.1f MiB (half the game), empty cache, the game loaded twice: "
      "first load %.2f s, second %.2f s; %s of %s resources were fetched from the CDN twice (%s CDN requests in all); "
      "%s files, %.1f MiB left in the folder." % (int(budget) / 1048576, first["total"], second["total"], twice,
                                                  resources, cdn_requests, kept_files, int(kept_bytes) / 1048576))
PY
cat "$out/game_load.md"
