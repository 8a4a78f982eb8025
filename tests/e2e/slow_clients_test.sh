#!/usr/bin/env bash
# 1,000 hostile local connections (slowhttptest: slow headers, then slow
# reads, 50 new ones a second) against the cache server, natively and the
# Windows host under Wine, with a real client asking for a resource once a
# second beside them: it is never refused for more than 1 s in a row, and
# the server stays under 64 MiB. Loopback only; each attack ends by itself.
source "$(dirname "$0")/lib.sh"
e2e_prefix
work=$(mktemp -d)
attack="/usr/bin/python3 $E2E_ROOT/tools/slowload/slow_attack.py"
seconds=${SLOW_CLIENTS_SECONDS:-25}
# slowhttptest holds one descriptor per connection.
ulimit -n 4096

command -v slowhttptest >/dev/null || { echo "slowhttptest is missing (scripts/setup.sh installs it)"; exit 1; }

source "$(dirname "$0")/../../tools/slowload/hosts.sh"

# attack_checks LABEL PORT PROCESS: both attacks, with their checks.
attack_checks() {
  local label=$1 port=$2 process=$3 mode out
  for mode in slowloris slowread; do
    out=$($attack --port "$port" --mode "$mode" --seconds "$seconds" --rate 50 --process "$process" --probe-bytes 3000)
    echo "$out" | sed 's/^/    /'
    check "$label $mode: probes ran" bash -c "[ \$(sed -n 's/^probes //p' <<< \"\$1\") -ge $((seconds - 2)) ]" _ "$out"
    check "$label $mode: the real client is never refused for more than 1 s in a row" \
      awk -v s="$(sed -n 's/^longest_refusal_s //p' <<< "$out")" 'BEGIN { exit !(s != "" && s <= 1.0) }'
    check "$label $mode: the server stays under 64 MiB" \
      awk -v m="$(sed -n 's/^peak_rss_mib //p' <<< "$out")" 'BEGIN { exit !(m > 0 && m < 64) }'
  done
}

# Natively.
fill_cache "$work/native"
timeout $((seconds * 2 + 120)) "$E2E_ROOT/build/native/kestrun_cache_host" "$work/native" 0 "http://127.0.0.1:9/" \
  > "$work/native.out" 2>&1 &
native_pid=$!
port=$(wait_listening "$work/native.out")
check "native host listens" [ -n "$port" ]
[ -n "$port" ] && attack_checks native "$port" kestrun_cache_host
kill -TERM "$native_pid" 2>/dev/null; wait "$native_pid" 2>/dev/null

# The Windows host under Wine, serving the wz_cdn folder of its own folder
# until its input ends.
dir="$WINEPREFIX/drive_c/Slow"
mkdir -p "$dir"
cp "$E2E_BUILD/kestrun_cache_host.exe" "$dir/"
fill_cache "$dir/wz_cdn"
mkfifo "$work/stdin"
(cd "$dir" && timeout $((seconds * 2 + 180)) "$E2E_WINE" kestrun_cache_host.exe - 0 "http://127.0.0.1:9/" \
  < "$work/stdin" > "$work/wine.out" 2>&1) &
wine_pid=$!
sleep 900 > "$work/stdin" &
input_pid=$!
port=$(wait_listening "$work/wine.out")
check "host under Wine listens" [ -n "$port" ]
[ -n "$port" ] && attack_checks wine "$port" kestrun_cache_host.exe
kill "$input_pid" 2>/dev/null
wait "$wine_pid" 2>/dev/null

rm -rf "$work"
e2e_done
