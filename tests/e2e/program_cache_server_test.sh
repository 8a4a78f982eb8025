#!/usr/bin/env bash
# The program itself serves its cache: while the twin shows its login window,
# Linux curl reaches the server on the announced loopback port, a cached
# resource comes back with the fixed header, and ending the login and then
# the game ends the process cleanly with its server.
source "$(dirname "$0")/lib.sh"
e2e_prefix
dir=$(e2e_install Games)

# A resource already in the cache: its file is named by the MD5 of the path.
mkdir -p "$dir/wz_cdn"
printf 'cached bytes' > "$dir/wz_cdn/$(printf '%s' '/wz_cdn/hello.txt' | md5sum | cut -d' ' -f1)"

(cd "$dir" && timeout 120 "$E2E_WINE" Kestrun.exe 'yw_test_url="http://127.0.0.1:9/login"') &
pid=$!
check "the login window appears" winctl wait OrvikVelmora 30000

# The server's port is drawn at random in 22325..32324; find it among the
# loopback listeners in that range that belong to this prefix's wineserver,
# which holds the program's sockets (other programs on this machine may
# listen in the range too).
our_wineserver() {
  local p
  for p in $(pgrep wineserver); do
    { tr '\0' '\n' < "/proc/$p/environ"; } 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && echo "$p"
  done
}
port=""
for _ in $(seq 50); do
  port=$(ss -Hltnp | grep "pid=$(our_wineserver)," | awk '{print $4}' | sed -n 's/^127\.0\.0\.1:\([0-9]*\)$/\1/p' |
         awk '$1 >= 22325 && $1 <= 32324' | head -n 1)
  [ -n "$port" ] && break
  sleep 0.2
done
check "the server listens on a loopback port of its range" [ -n "$port" ]
check "and on no other interface" [ -z "$(ss -Hltn | awk '{print $4}' | grep -E "^(0\.0\.0\.0|\*|\[::\]):$port\$")" ]

headers=$(mktemp)
body=$(curl -s -m 10 -D "$headers" -H 'Connection: Keep-Alive' "http://127.0.0.1:$port/wz_cdn/hello.txt")
check "a cached resource is served from disk" [ "$body" = "cached bytes" ]
check "with the fixed HTTP/1.0 header" grep -q '^HTTP/1.0 200 OK' "$headers"
check "its server token" grep -q '^Server: TarnwellWebServer/0.1b' "$headers"
check "and its Content-Type by extension" grep -q '^Content-Type: text/plain' "$headers"

e2e_login_then_exit
wait "$pid"
check "ending the login and then the game ends the program with 0" [ "$?" = 0 ]
check "the port is free again" [ -z "$(ss -Hltn | awk '{print $4}' | grep -E ":$port\$")" ]

e2e_done
