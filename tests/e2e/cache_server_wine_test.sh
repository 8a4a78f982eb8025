#!/usr/bin/env bash
# The Windows cache server (the host of the build under test, started as the
# program starts its server: the process-wide server on the wz_cdn folder of
# the current folder, stopped at process exit) under Wine, reached from Linux
# curl, with the test origin as the CDN.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/cache_server_cases.sh"
e2e_prefix
work=$(mktemp -d)
exe=$E2E_BUILD/kestrun_cache_host.exe

# host_start CDN_BASE: a fresh program folder on C: (or HOST_PROGRAM_DIR);
# HOST_FIRST_PORT is the first port to try. The host serves until its input ends.
host_start() {
  local dir=${HOST_PROGRAM_DIR:-"$WINEPREFIX/drive_c/Cache$RANDOM"}
  mkdir -p "$dir"
  cp "$exe" "$dir/"
  CACHE_DIR="$dir/wz_cdn"
  HOST_OUT="$work/host.out"
  : > "$HOST_OUT"
  local fifo="$work/stdin.$RANDOM"
  mkfifo "$fifo"
  (cd "$dir" && timeout 600 "$E2E_WINE" kestrun_cache_host.exe ${HOST_OPTION:+"$HOST_OPTION"} - "${HOST_FIRST_PORT:-0}" "$1" "$HOST_LIMIT" \
    < "$fifo" > "$HOST_OUT" 2>&1) &
  HOST_PID=$!
  # The writer lives in a process of its own, so no other child holds the pipe open.
  sleep 900 > "$fifo" &
  HOST_INPUT_PID=$!
  for _ in $(seq 400); do grep -q '^listening\|^failed' "$HOST_OUT" && break; sleep 0.05; done
  HOST_PORT=$(tr -d '\r' < "$HOST_OUT" | sed -n 's/^listening //p')
  unset HOST_FIRST_PORT
}

# host_file PATH: copied to C:, where the host finds it; echoes its Windows name.
host_file() {
  cp "$1" "$WINEPREFIX/drive_c/"
  echo "C:\\$(basename "$1")"
}

# host_proxy [HOST:PORT | script=URL]: the player's Internet Settings, as
# WinHTTP reads them (a fixed proxy, or a configuration script), or none.
host_proxy() {
  local key='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections'
  if [ $# -eq 0 ]; then
    "$E2E_WINE" reg delete "$key" /v DefaultConnectionSettings /f >/dev/null 2>&1
  else
    "$E2E_WINE" reg add "$key" /v DefaultConnectionSettings /t REG_BINARY /f /d "$(/usr/bin/python3 -c '
import struct, sys
# Version, change counter, flags (direct, and a proxy or a script), then
# the proxy, the bypass list and the script URL, each after its length.
arg = sys.argv[1].encode()
script = arg[7:] if arg.startswith(b"script=") else b""
proxy = b"" if script else arg
flags = 1 | (4 if script else 2)
blob = struct.pack("<III", 0x46, 1, flags)
for text in (proxy, b"", script):
    blob += struct.pack("<I", len(text)) + text
print((blob + bytes(32)).hex())' "$1")" >/dev/null 2>&1
  fi
  /usr/lib/wine/wineserver -w
}

host_stop() {
  local t0
  t0=$(date +%s%3N)
  kill "$HOST_INPUT_PID"
  wait "$HOST_PID"
  HOST_STOP_RC=$?
  HOST_STOP_MS=$(( $(date +%s%3N) - t0 ))
  grep -q '^stopping' "$HOST_OUT" || HOST_STOP_RC=99
}

run_cases "$work"
rm -rf "$work"
e2e_done
