#!/usr/bin/env bash
# Builds everything and runs every test: set-up's decisions against stub
# package tools, the layer and product checks, the native suite, the Win32 test
# runner of both word sizes (i686 under 32-bit Wine, x86_64 under wine64)
# and the end-to-end scripts, headless under Xvfb. The end-to-end scripts
# test the PE32 product under 32-bit Wine where this machine runs it
# (scripts/wine-arch.sh), else the x86_64 twin; KESTRUN_WINE_ARCH=win32|win64
# chooses instead. Says which build they tested, then ends with one line
# "tests: N passed, N failed" and a non-zero exit on any failure (a broken
# build included).
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
logs="$here/build/test-logs"

bash scripts/setup.sh || { echo "tests: set-up failed"; exit 1; }
bash scripts/build.sh || { echo "tests: build failed"; exit 1; }
mkdir -p "$logs"

# What this machine runs: win32 where 32-bit Wine works, else win64.
runnable=$(bash scripts/wine-arch.sh -v)
if [ -n "${KESTRUN_WINE_ARCH:-}" ]; then
  chosen="chosen by KESTRUN_WINE_ARCH"
elif [ "$runnable" = win32 ]; then
  KESTRUN_WINE_ARCH=win32 chosen="this machine runs 32-bit Windows code"
else
  KESTRUN_WINE_ARCH=win64 chosen="32-bit Wine cannot run here (see wine-arch above), so the twin stands in"
fi
export KESTRUN_WINE_ARCH
case $KESTRUN_WINE_ARCH in
  win32) tested="the 32-bit product build/win32/Kestrun.exe under /usr/lib/wine/wine" ;;
  win64) tested="the x86_64 twin build/win64/Kestrun.exe under /usr/lib/wine/wine64, not the 32-bit product" ;;
  *) echo "tests: KESTRUN_WINE_ARCH must be win32 or win64"; exit 1 ;;
esac

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

# run_script SCRIPT: one test script, counted as one test.
run_script() {
  local name
  name=$(basename "$1" .sh)
  if timeout 900 bash "$1" > "$logs/$name.log" 2>&1; then
    echo "  ok    $name"; passed=$((passed + 1))
  else
    echo "  FAIL  $name (log: build/test-logs/$name.log)"; tail -n 15 "$logs/$name.log" | sed 's/^/        /'
    failed=$((failed + 1)); failures+=("$name")
  fi
}

# Set-up's decisions, against stub package tools.
echo "== set-up"
for script in "$here"/tests/setup/*_test.sh; do
  run_script "$script"
done

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
     'kernel32|user32|gdi32|msvcrt|ole32|oleaut32|shell32|comctl32|wininet|winhttp|ws2_32|msimg32|advapi32|shlwapi|urlmon|bcrypt|crypt32' &&
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
  for p in "$here"/build/wine/*/*/system.reg; do
    WINEPREFIX=${p%/system.reg} /usr/lib/wine/wineserver -k 2>/dev/null || true
  done
  kill "$XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT

# run_win_runner ARCH LOADER: the Win32 test runner of one build, in a
# prefix of that build's kind.
run_win_runner() {
  local arch=$1 loader=$2 prefix="$here/build/wine/$1/runner"
  echo "== Win32 runner, $arch build, under $loader"
  KESTRUN_WINE_ARCH=$arch bash scripts/wine-prefix.sh "$prefix"
  # Xvfb has no window manager: Wine maps the runner's windows itself instead
  # of waiting for one at every map and unmap.
  WINEPREFIX=$prefix "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  (cd "$here/build/$arch" && WINEPREFIX=$prefix timeout 600 "$loader" kestrun_win_tests.exe) \
    > "$logs/win-$arch.log" 2>&1
  grep -E '^\[  (FAILED|PASSED) |^\[==========\]' "$logs/win-$arch.log" || tail -n 20 "$logs/win-$arch.log"
  count_gtest "$logs/win-$arch.log" "Win32 runner ($arch)"
}
if [ "$runnable" = win32 ]; then
  run_win_runner win32 /usr/lib/wine/wine
else
  echo "== Win32 runner, win32 build: not run (32-bit Wine cannot run here, see wine-arch above)"
fi
run_win_runner win64 /usr/lib/wine/wine64

echo "== end-to-end: $tested"
for script in "$here"/tests/e2e/*_test.sh; do
  run_script "$script"
done

[ ${#failures[@]} -gt 0 ] && printf 'failed: %s\n' "${failures[@]}"
echo "end-to-end scripts tested $tested ($chosen)"
echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
