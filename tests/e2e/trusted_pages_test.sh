#!/usr/bin/env bash
# Only pages of the trusted sites hand the login window the game's entry URL.
# Two builds of the program under test start (not in test mode) at the same
# login address on a local origin, "?vexalogin" and all: one trusts only the
# default domains, so that page is foreign there, the other trusts the
# origin's address. The browser's first navigation is the only one Wine
# reports, so the start page itself has to be the foreign page. Then the
# first build in test mode on the same URL: the test URL's origin is trusted.
source "$(dirname "$0")/lib.sh"

port=18519
fixed_origin_port "$port"
login="http://127.0.0.1:$port/velmora/login.html?vexalogin&pf=qq&serverId=7"

# build_with DIR [CMAKE ARGS...]: the program for the word size under test,
# in a folder of its own, pointed at the origin for its login page and CDN
# (the start-up's update check then asks the origin, which has no version).
builds="$E2E_ROOT/build/e2e-trust-$KESTRUN_WINE_ARCH"
cpu=x86_64
[ "$KESTRUN_WINE_ARCH" = win32 ] && cpu=i686
build_with() {
  local dir="$builds/$1"
  shift
  # Configured every time, so the addresses always match this script.
  cmake -S "$E2E_ROOT" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$E2E_ROOT/cmake/toolchain-$cpu.cmake" \
    ${KESTRUN_DEPS:+-DKESTRUN_DEPS="$KESTRUN_DEPS"} \
    -DKESTRUN_LOGIN_URL="$login" -DKESTRUN_CDN_BASE_URL="http://127.0.0.1:$port/cdn/" "$@" >/dev/null || return 1
  timeout 900 cmake --build "$dir" --target Kestrun >/dev/null
}
build_with foreign -DKESTRUN_TRUSTED_DOMAINS=orvik-games.net &&
  build_with trusted -DKESTRUN_TRUSTED_DOMAINS="orvik-games.net;127.0.0.1" || { echo "builds failed"; exit 1; }

e2e_screen
e2e_prefix
e2e_unmanaged_windows
www=$(mktemp -d)
mkdir -p "$www/velmora"
echo '<html><title>login</title></html>' > "$www/velmora/login.html"
origin_start "$www" --port "$port"
trap 'origin_stop; rm -rf "$www"; kill ${XVFB_PID:-} 2>/dev/null || true' EXIT

asked_start_page() {
  for _ in $(seq 150); do
    grep -qF "GET /velmora/login.html?vexalogin&pf=qq&serverId=7 " "$ORIGIN_LOG" && return 0
    sleep 0.2
  done
  return 1
}
no_game_window() { ! game_window_up 5; }
game_asked() { grep -qF 'wd20170319=1' "$ORIGIN_LOG"; }
# start BUILD [ARGS...]: the build's program from a batch file (so that the
# quotes reach it as written), in a folder of its own.
start() {
  local build=$1 dir
  shift
  dir=$(e2e_install "Trust-$build")
  cp "$builds/$build/Kestrun.exe" "$dir/Kestrun.exe"
  printf 'Kestrun.exe %s\r\n' "$*" > "$dir/launch.bat"
  : > "$ORIGIN_LOG"
  (cd "$dir" && exec timeout 120 "$E2E_WINE" cmd /c launch.bat) &
  prog=$!
}
finish() {
  wait "$prog"
  rc=$?
  timeout 30 /usr/lib/wine/wineserver -w
}

echo "a foreign start page with the login marker"
start foreign
check "the login window appears" winctl wait OrvikVelmora 30000
check "its browser asks the foreign origin for the page" asked_start_page
check "the page is not captured: no game window comes" no_game_window
check "the login window stays" winctl wait OrvikVelmora 1000
check "and the game URL is never asked for" bash -c "! grep -qF wd20170319 '$ORIGIN_LOG'"
import -window root "$shots/trusted_pages_foreign.png"
check "the login window ends only as a player ends it, then the game window" e2e_login_then_exit
finish
check "the program ends with 0" [ "$rc" = 0 ]
check "the game window opened nothing" bash -c "! grep -qF wd20170319 '$ORIGIN_LOG'"

# captured_run CAPTURE-CHECK BUILD [ARGS...]: a start whose page is captured.
captured_run() {
  local capture=$1
  shift
  start "$@"
  check "its browser asks the origin for the page" asked_start_page
  check "$capture" game_window_up 30
  for _ in $(seq 50); do game_asked && break; sleep 0.2; done
  check "the game browser asks for the rewritten URL" game_asked
  check "the game window takes the exit" winctl endgame 10000
  finish
  check "the program ends with 0" [ "$rc" = 0 ]
}

echo "the same page where its site is trusted"
captured_run "the capture closes the login window and opens the game window" trusted

echo "the same page as the test URL of the first build"
captured_run "the test URL's origin is trusted: captured" foreign "yw_test_url=\"$login\""

e2e_done
