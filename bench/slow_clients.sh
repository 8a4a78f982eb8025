#!/usr/bin/env bash
# Slow-client benchmark (not a test, never fails): slowhttptest with 1,000
# connections, slow headers (-H) and slow reads (-X, 32 bytes every 5 s)
# for SECONDS each, against our native cache host and the Windows host
# under Wine, with a real client asking for a cached resource once a second
# beside them. Reports the real client's longest refusal, its refused
# probes, and the server process's peak resident memory and threads.
#   bench/slow_clients.sh [SECONDS]      (default 60; RATE=50 new connections/s)
# Wine runs the x86_64 twin unless KESTRUN_WINE_ARCH says otherwise.
# Prints a table and writes it to build/bench/slow_clients.md.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-60}
rate=${RATE:-50}
arch=${KESTRUN_WINE_ARCH:-win64}
case $arch in win32) loader=/usr/lib/wine/wine ;; *) loader=/usr/lib/wine/wine64 ;; esac
out=$here/build/bench
work=$(mktemp -d)
mkdir -p "$out"
ulimit -n 4096
command -v slowhttptest >/dev/null || { echo "bench: slowhttptest is missing (apt-get install slowhttptest)"; exit 1; }
bash "$here/scripts/build.sh" native "$arch" >/dev/null

source "$here/tools/slowload/hosts.sh"

table=$out/slow_clients.md
{
  echo "| server | attack | probes | refused | longest refusal (s) | peak memory (MiB) | peak threads |"
  echo "|---|---|---|---|---|---|---|"
} > "$table"

# measure SERVER PORT PROCESS MODE: one attack, one row. A fresh server per
# attack, so that each peak is its own.
measure() {
  local server=$1 port=$2 process=$3 mode=$4 r
  r=$(/usr/bin/python3 "$here/tools/slowload/slow_attack.py" --port "$port" --mode "$mode" --seconds "$secs" \
    --rate "$rate" --process "$process" --probe-bytes 3000)
  echo "$r" | grep '^refusal' || true
  v() { sed -n "s/^$1 //p" <<< "$r"; }
  echo "| $server | $mode | $(v probes) | $(v refused) | $(v longest_refusal_s) | $(v peak_rss_mib) | $(v peak_threads) |" >> "$table"
}

for mode in slowloris slowread; do
  fill_cache "$work/native-$mode"
  "$here/build/native/kestrun_cache_host" "$work/native-$mode" 0 "http://127.0.0.1:9/" > "$work/native.out" 2>&1 &
  pid=$!
  measure native "$(wait_listening "$work/native.out")" kestrun_cache_host "$mode"
  kill -TERM "$pid"; wait "$pid" || true

  export WINEPREFIX=$here/build/wine/$arch/bench-slow WINEDEBUG=-all WINEARCH=$arch
  bash "$here/scripts/wine-prefix.sh" "$WINEPREFIX" --no-z >/dev/null
  dir="$WINEPREFIX/drive_c/Slow-$mode"
  mkdir -p "$dir"
  cp "$here/build/$arch/kestrun_cache_host.exe" "$dir/"
  fill_cache "$dir/wz_cdn"
  rm -f "$work/stdin"; mkfifo "$work/stdin"
  (cd "$dir" && "$loader" kestrun_cache_host.exe - 0 "http://127.0.0.1:9/" < "$work/stdin" > "$work/wine.out" 2>&1) &
  pid=$!
  sleep $((secs * 3)) > "$work/stdin" &
  input=$!
  measure "Wine ($arch)" "$(wait_listening "$work/wine.out")" kestrun_cache_host.exe "$mode"
  kill "$input"; wait "$pid" || true
  /usr/lib/wine/wineserver -k 2>/dev/null || true
done

{
  echo
  echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $(uname -r), load average $(cut -d' ' -f1-3 /proc/loadavg)"
  echo "\`bench/slow_clients.sh $secs\` (RATE=$rate), slowhttptest $(slowhttptest -h 2>&1 | sed -n 's/.*version \([0-9.]*\).*/\1/p' | head -1)"
} >> "$table"
cat "$table"
rm -rf "$work"
