#!/usr/bin/env bash
# Runs the native suite and the native cache-server end-to-end cases under
# AddressSanitizer and ThreadSanitizer (builds in build/asan and build/tsan).
# Too slow for every CI run:  run_sanitizers.sh [address|thread ...]
set -uo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
kinds=("$@")
[ ${#kinds[@]} -gt 0 ] || kinds=(address thread)
status=0
for kind in "${kinds[@]}"; do
  case $kind in address) dir=$here/build/asan ;; thread) dir=$here/build/tsan ;; *) echo "unknown: $kind" >&2; exit 2 ;; esac
  [ -f "$dir/build.ninja" ] || cmake -S "$here" -B "$dir" -G Ninja -DKESTRUN_SANITIZE="$kind" >/dev/null
  cmake --build "$dir" --target kestrun_tests kestrun_cache_host -- -j2 >/dev/null || { status=1; continue; }
  echo "== $kind: native suite"
  (cd "$dir" && TSAN_OPTIONS=halt_on_error=1 ASAN_OPTIONS=detect_leaks=1 ./kestrun_tests 2>&1) | tail -n 3 || status=1
  echo "== $kind: cache server end to end"
  # The end-to-end script takes the host from build/native; point it here.
  KESTRUN_CACHE_HOST="$dir/kestrun_cache_host" TSAN_OPTIONS=halt_on_error=1 \
    timeout 600 bash "$here/tests/e2e/cache_server_native_test.sh" > "$dir/e2e.log" 2>&1 || status=1
  grep -v '^  ok' "$dir/e2e.log"
done
exit $status
