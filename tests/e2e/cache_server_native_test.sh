#!/usr/bin/env bash
# The native cache server host against the test origin.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/cache_server_cases.sh"
work=$(mktemp -d)
host=${KESTRUN_CACHE_HOST:-$E2E_ROOT/build/native/kestrun_cache_host}

# host_start CDN_BASE: a fresh cache folder (or HOST_CACHE_DIR); HOST_FIRST_PORT
# picks the first port.
host_start() {
  CACHE_DIR=${HOST_CACHE_DIR:-$work/cache.$RANDOM}
  HOST_OUT="$work/host.$RANDOM.out"
  : > "$HOST_OUT"
  http_proxy=${HOST_PROXY:-} timeout 600 "$host" ${HOST_OPTION:+"$HOST_OPTION"} "$CACHE_DIR" "${HOST_FIRST_PORT:-0}" "$1" "$HOST_LIMIT" > "$HOST_OUT" 2>&1 &
  HOST_PID=$!
  for _ in $(seq 100); do grep -q '^listening\|^failed' "$HOST_OUT" && break; sleep 0.05; done
  HOST_PORT=$(sed -n 's/^listening //p' "$HOST_OUT")
  unset HOST_FIRST_PORT
}

# The host reads its files where they are, and its proxy from the
# environment (only the host's: the test's own curl goes direct).
host_file() { echo "$1"; }
# A configuration script is Windows's alone: false.
host_proxy() {
  case ${1:-} in
    '') HOST_PROXY= ;;
    script=*) return 1 ;;
    *) HOST_PROXY="http://$1" ;;
  esac
}

host_stop() {
  local t0
  t0=$(date +%s%3N)
  kill -TERM "$HOST_PID"
  wait "$HOST_PID"
  HOST_STOP_RC=$?
  HOST_STOP_MS=$(( $(date +%s%3N) - t0 ))
  grep -q "^stopped" "$HOST_OUT" || HOST_STOP_RC=99
  # A sanitizer report fails the run.
  if grep -q "Sanitizer" "$HOST_OUT"; then HOST_STOP_RC=98; cat "$HOST_OUT"; fi
}

run_cases "$work"

# Two programs sharing one cache folder fetch the same path at once: each
# writes a temporary file of its own, and what is stored is whole.
origin="$work/origin"
origin_start "$origin" --delay 1 --delay-match 'twin'
head -c 3000000 /dev/urandom > "$origin/wz_cdn/twin.bin"
HOST_CACHE_DIR="$work/shared" host_start "http://127.0.0.1:$ORIGIN_PORT/"
first_pid=$HOST_PID first_port=$HOST_PORT first_out=$HOST_OUT
HOST_CACHE_DIR="$work/shared" host_start "http://127.0.0.1:$ORIGIN_PORT/"
curl -s -m 20 -o "$work/twin.1" "http://127.0.0.1:$first_port/wz_cdn/twin.bin" &
curl -s -m 20 -o "$work/twin.2" "http://127.0.0.1:$HOST_PORT/wz_cdn/twin.bin"
wait $!
check "two programs on one folder: both bodies whole" bash -c "cmp -s '$work/twin.1' '$origin/wz_cdn/twin.bin' &&
  cmp -s '$work/twin.2' '$origin/wz_cdn/twin.bin'"
check "two programs on one folder: the stored file is whole, no temporary file left" bash -c "
  cmp -s '$work/shared/$(md5_of /wz_cdn/twin.bin)' '$origin/wz_cdn/twin.bin' &&
  [ \$(ls '$work/shared' | grep -v '\.meta\$' | wc -l) = 1 ] && ! ls '$work/shared' | grep -q part"
host_stop
HOST_PID=$first_pid HOST_OUT=$first_out host_stop
origin_stop

rm -rf "$work"
[ "$E2E_FAILS" -eq 0 ]
