#!/usr/bin/env bash
# The whole program in test mode, as a player's run goes: the login window
# opens the test URL, its navigation is captured and rewritten, the login
# window gives way to the game window, whose browser asks the origin for the
# rewritten URL with the local cache server's address, and that server
# answers. Then the endings: the game window's exit (a login-error
# picture), a client command in the captured URL (a success picture), and
# one in the test URL itself, which ends the login window while it is made.
# Leaves screenshots in build/screenshots/.
source "$(dirname "$0")/lib.sh"
e2e_screen
e2e_prefix
e2e_unmanaged_windows
dir=$(e2e_install Games)
www=$(mktemp -d)
origin_start "$www"
mkdir -p "$dir/wz_cdn"
printf 'cached bytes' > "$dir/wz_cdn/$(printf '%s' '/wz_cdn/hello.txt' | md5sum | cut -d' ' -f1)"

# bmp_ok FILE: a BMP whose size field and file size agree, 24 bits deep.
bmp_ok() {
  /usr/bin/python3 - "$1" <<'PY'
import struct, sys, os
data = open(sys.argv[1], "rb").read()
assert data[:2] == b"BM" and struct.unpack_from("<I", data, 2)[0] == len(data) == os.path.getsize(sys.argv[1])
w, h, planes, bits = struct.unpack_from("<iiHH", data, 18)
assert w > 0 and h > 0 and planes == 1 and bits == 24
assert len(data) == 54 + ((w * 24 + 31) // 32) * 4 * h
PY
}

# start_test_mode URL: the program in test mode on URL, from a batch file so
# that the quotes reach it as written (and the URL's "&" stays quoted).
start_test_mode() {
  printf 'Kestrun.exe yw_test_url="%s"\r\n' "$1" > "$dir/launch.bat"
  (cd "$dir" && exec timeout 120 "$E2E_WINE" cmd /c launch.bat)
}

echo "login, capture, game"
login="http://127.0.0.1:$ORIGIN_PORT/game/login_kq?x=1&pf=qq&serverId=7"
start_test_mode "$login" &
prog=$!
check "the login window appears" winctl wait OrvikVelmora 30000
check "the login browser asks the origin for the test URL" \
  bash -c "for i in \$(seq 100); do grep -qF 'GET /game/login_kq?x=1&pf=qq&serverId=7 ' '$ORIGIN_LOG' && exit 0; sleep 0.2; done; exit 1"
check "the capture closes the login window and opens the game window" game_window_up 30
sleep 2
import -window root "$shots/game_flow.png"
request=$(grep -F 'wd20170319=1' "$ORIGIN_LOG" | head -n 1)
echo "    game request: $request"
port=$(echo "$request" | sed -n 's#.*clientloginPath=http://localhost:\([0-9]*\)/wz_cdn/ .*#\1#p')
check "the game browser asks for the rewritten URL" \
  [ "$(echo "$request" | cut -d' ' -f2 | sed "s/$port/PORT/")" = \
    "/game/login_kq?x=1&pf=qq&serverId=7&wd20170319=1&showlogin=yw_test&clientloginPath=http://localhost:PORT/wz_cdn/" ]
check "the cache server listens on the port the game was given" \
  bash -c "ss -Hltn | awk '{print \$4}' | grep -qx '127.0.0.1:$port'"
check "and answers from its cache" [ "$(curl -s -m 10 "http://127.0.0.1:$port/wz_cdn/hello.txt")" = "cached bytes" ]
rm -rf "$dir/yw_test"
check "the game window takes the exit" winctl endgame 10000
wait "$prog"
rc=$?
timeout 30 /usr/lib/wine/wineserver -w
check "the test-mode exit ends the program with 0" [ "$rc" = 0 ]
check "and leaves a login-error picture" bmp_ok "$dir/yw_test/login_error_&pf=qq&_&serverId=7&.bmp"

# command_run URL: a test-mode run from a clean picture folder and request
# log; leaves the program's exit code in rc.
command_run() {
  rm -rf "$dir/yw_test"
  : > "$ORIGIN_LOG"
  start_test_mode "$1"
  rc=$?
  timeout 30 /usr/lib/wine/wineserver -w
}

echo "client command in the captured URL"
command_run "$login&client_cmd?loginerrcode=0"
check "the program ends by itself with 0" [ "$rc" = 0 ]
check "after a picture of a successful login" bmp_ok "$dir/yw_test/&pf=qq&_&serverId=7&.bmp"
check "the game browser's command never reached the origin" bash -c "! grep -q 'wd20170319' '$ORIGIN_LOG'"

echo "client command as the test URL itself"
command_run "http://127.0.0.1:$ORIGIN_PORT/p?client_cmd?loginerrcode=1"
check "the login window's first navigation ends the program with 0" [ "$rc" = 0 ]
check "after a login-error picture of the login window" bmp_ok "$dir/yw_test/login_error__.bmp"
check "the command never reached the origin" bash -c "! grep -q 'client_cmd' '$ORIGIN_LOG'"

origin_stop
rm -rf "$www"
e2e_done
