#!/usr/bin/env bash
# The native cache server host against the test origin.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/cache_server_cases.sh"
work=$(mktemp -d)
host=${KESTRUN_CACHE_HOST:-$E2E_ROOT/build/native/kestrun_cache_host}

# host_start CDN_BASE: a fresh cache folder; HOST_FIRST_PORT picks the first port.
host_start() {
  CACHE_DIR="$work/cache.$RANDOM"
  HOST_OUT="$work/host.out"
  : > "$HOST_OUT"
  timeout 600 "$host" "$CACHE_DIR" "${HOST_FIRST_PORT:-0}" "$1" > "$HOST_OUT" 2>&1 &
  HOST_PID=$!
  for _ in $(seq 100); do grep -q '^listening\|^failed' "$HOST_OUT" && break; sleep 0.05; done
  HOST_PORT=$(sed -n 's/^listening //p' "$HOST_OUT")
  unset HOST_FIRST_PORT
}

host_stop() {
  local t0=$SECONDS
  kill -TERM "$HOST_PID"
  wait "$HOST_PID"
  HOST_STOP_RC=$?
  HOST_STOP_SECONDS=$((SECONDS - t0))
  grep -q "^stopped" "$HOST_OUT" || HOST_STOP_RC=99
  # A sanitizer report fails the run.
  if grep -q "Sanitizer" "$HOST_OUT"; then HOST_STOP_RC=98; cat "$HOST_OUT"; fi
}

run_cases "$work" yes
rm -rf "$work"
[ "$E2E_FAILS" -eq 0 ]
