#!/usr/bin/env bash
# Builds everything and runs every test: the native suite, the Win32 test
# runner under wine64 and the end-to-end scripts, headless under Xvfb.
# Ends with one line "tests: N passed, N failed" and a non-zero exit on any
# failure (a broken build included).
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
logs="$here/build/test-logs"

bash scripts/setup.sh || { echo "tests: set-up failed"; exit 1; }
bash scripts/build.sh || { echo "tests: build failed"; exit 1; }
mkdir -p "$logs"

passed=0
failed=0
failures=()

# Adds the gtest counts of one log to the totals.
count_gtest() {
  local log=$1 name=$2 p f
  p=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) test.*/\1/p' "$log" | tail -n 1)
  f=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) test.*/\1/p' "$log" | tail -n 1)
  passed=$((passed + ${p:-0}))
  failed=$((failed + ${f:-0}))
  if [ -n "$f" ] || [ -z "$p" ]; then
    failures+=("$name")
    [ -z "$p$f" ] && failed=$((failed + 1))
  fi
}

# Includes follow the layers: nothing goes up a layer or sideways to a peer.
if python3 scripts/check_layers.py > "$logs/layers.log"; then
  passed=$((passed + 1))
else
  cat "$logs/layers.log"
  failed=$((failed + 1)); failures+=("includes that break the layers")
fi

# The product must be a 32-bit GUI executable that needs no DLL of ours, and
# ships without debug information.
product="$here/build/win32/Kestrun.exe"
if file "$product" | grep -q 'PE32 executable (GUI) Intel 80386' &&
   ! i686-w64-mingw32-objdump -p "$product" | grep 'DLL Name' | grep -qiv -E \
     'kernel32|user32|gdi32|msvcrt|ole32|oleaut32|shell32|comctl32|wininet|ws2_32|msimg32|advapi32|shlwapi|urlmon|bcrypt' &&
   ! i686-w64-mingw32-objdump -h "$product" | grep -q '\.debug_'; then
  passed=$((passed + 1))
else
  failed=$((failed + 1)); failures+=("product is not a stripped, self-contained PE32 GUI exe")
fi

echo "== native suite"
"$here/build/native/kestrun_tests" 2>&1 | tee "$logs/native.log" | grep -E '^\[  (FAILED|PASSED) |^\[==========\]' || true
count_gtest "$logs/native.log" "native suite"

# One X server for all Windows runs; Wine is stopped before it goes away.
source "$here/scripts/xvfb.sh"
start_xvfb
export WINEDEBUG=-all
cleanup() {
  for p in "$here"/build/wine/*/; do WINEPREFIX=${p%/} /usr/lib/wine/wineserver -k 2>/dev/null || true; done
  kill "$XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT

echo "== Win32 runner under wine64"
bash scripts/wine-prefix.sh "$here/build/wine/runner"
# Xvfb has no window manager: Wine maps the runner's windows itself instead
# of waiting for one at every map and unmap.
WINEPREFIX="$here/build/wine/runner" /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
(cd "$here/build/win64" && WINEPREFIX="$here/build/wine/runner" timeout 600 /usr/lib/wine/wine64 kestrun_win_tests.exe) \
  > "$logs/win.log" 2>&1
grep -E '^\[  (FAILED|PASSED) |^\[==========\]' "$logs/win.log" || tail -n 20 "$logs/win.log"
count_gtest "$logs/win.log" "Win32 runner"

echo "== end-to-end"
for script in "$here"/tests/e2e/*_test.sh; do
  name=$(basename "$script" .sh)
  if timeout 900 bash "$script" > "$logs/$name.log" 2>&1; then
    echo "  ok    $name"; passed=$((passed + 1))
  else
    echo "  FAIL  $name (log: build/test-logs/$name.log)"; tail -n 15 "$logs/$name.log" | sed 's/^/        /'
    failed=$((failed + 1)); failures+=("$name")
  fi
done

[ ${#failures[@]} -gt 0 ] && printf 'failed: %s\n' "${failures[@]}"
echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
