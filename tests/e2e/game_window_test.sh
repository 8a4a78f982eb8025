#!/usr/bin/env bash
# The game window on its own (tools/gamewin.cpp runs the game phase with a
# login URL passed through the login capture), driven by real messages and
# input: the rewritten URL reaches the origin, the tray callback and its
# menu, the main menu, F9, the caption buttons, the size toggle, resizing and
# dragging, cache clearing, and the two ways a test-mode run ends with a
# window picture in .\yw_test\. Leaves build/screenshots/game_window.png.
source "$(dirname "$0")/lib.sh"
e2e_screen
e2e_prefix
dir=$(e2e_install Games)
cp "$E2E_ROOT/build/win64/gamewin.exe" "$dir/"
e2e_unmanaged_windows

www=$(mktemp -d)
mkdir -p "$www/game"
echo '<html><title>Velmora</title></html>' > "$www/game/login_kq"
origin_start "$www"
login="http://127.0.0.1:$ORIGIN_PORT/game/login_kq?a=1&pf=qq&serverId=7"
info() { winctl info OrvikVelmora | tr -d '\r'; }
window_line() { info | sed -n 's/^window //p'; }
child() { info | sed -n "s/^child $1 [^ ]* //p"; }
bmp_check() { # FILE WIDTH HEIGHT: a whole 24-bit BMP of that size
  /usr/bin/python3 - "$@" <<'PY'
import os, struct, sys
path, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
d = open(path, "rb").read()
size, off = struct.unpack("<I", d[2:6])[0], struct.unpack("<I", d[10:14])[0]
hsize, bw, bh, planes, depth = struct.unpack("<IiiHH", d[14:30])
row = (bw * depth + 31) // 32 * 4
ok = d[:2] == b"BM" and size == len(d) and hsize == 40 and planes == 1 and (bw, bh) == (w, h) \
    and depth == 24 and off == 54 and size == off + row * bh
print(f"    {os.path.basename(path)}: {len(d)} bytes, {bw}x{bh}, {depth} bits")
sys.exit(0 if ok else 1)
PY
}

echo "test mode, login URL captured"
(cd "$dir" && exec timeout 120 /usr/lib/wine/wine64 gamewin.exe --test-mode --port 23456 --login-url "$login" \
  > "$dir/run.log" 2>&1) &
prog=$!
check "game window appears" winctl wait OrvikVelmora 30000
sleep 1
check "the browser asks the origin for the rewritten URL" \
  grep -qF "GET /game/login_kq?a=1&pf=qq&serverId=7&wd20170319=1&showlogin=yw_test&clientloginPath=http://localhost:23456/wz_cdn/ " "$ORIGIN_LOG"
rm -f "$shots/game_window.png"
import -window root "$shots/game_window.png"
check "screenshot written" [ -s "$shots/game_window.png" ]
info | sed 's/^/    /'
check "fills the work area" [ "$(window_line)" = "1 0 0,0 1600x900" ]
check "browser inset 3/29/3/3" [ "$(info | grep AtlAxWin90 | cut -d' ' -f5-)" = "3,29 1594x868" ]
check "restore button up, maximise button down" [ "$(child 1012 | cut -c1) $(child 1007 | cut -c1)" = "1 0" ]

winctl post OrvikVelmora 0x405 0 0x204 && winctl menu 1
sleep 1
check "tray menu hides the window" [ "$(window_line | cut -c1)" = 0 ]
winctl key 0x78
sleep 1
check "F9 from another program shows it" [ "$(window_line | cut -c1)" = 1 ]
winctl key 0x78
sleep 1
check "F9 hides it again" [ "$(window_line | cut -c1)" = 0 ]
winctl post OrvikVelmora 0x405 0 0x203
sleep 1
check "tray double-click shows it" [ "$(window_line | cut -c1)" = 1 ]

winctl drag 1511 15 1511 15 # the to-tray button's middle
sleep 1
check "to-tray button hides it" [ "$(window_line | cut -c1)" = 0 ]
winctl post OrvikVelmora 0x405 0 0x203
sleep 1
winctl drag 1535 15 1535 15 # minimise
sleep 1
check "minimise button minimises it" [ "$(window_line | cut -c3)" = 1 ]
winctl send OrvikVelmora 0x112 0xF120 0 >/dev/null # SC_RESTORE
sleep 1
check "restored to the work area" [ "$(window_line)" = "1 0 0,0 1600x900" ]

# Restoring was a WM_SIZE of its own, so the window no longer counts as
# filling the work area: the first reset fills it, the second restores.
winctl drag 1487 15 1487 15 && winctl menu 3 # menu button, "reset window"
sleep 1
check "after a restore, reset fills the work area" [ "$(window_line)" = "1 0 0,0 1600x900" ]
winctl drag 1487 15 1487 15 && winctl menu 3
sleep 1
check "main menu resets the initial size, centred" [ "$(window_line)" = "1 0 120,0 1360x1020" ]
check "caption buttons follow the right edge" [ "$(child 1006 | cut -d' ' -f2)" = "1329,3" ]
winctl send OrvikVelmora 0x203 0 50,10 >/dev/null
check "caption double-click fills the work area again" [ "$(window_line)" = "1 0 0,0 1600x900" ]
winctl drag 1598 400 1498 400
sleep 1
check "the right border resizes" [ "$(window_line)" = "1 0 0,0 1500x900" ]
check "caption buttons moved with it" [ "$(child 1006 | cut -d' ' -f2)" = "1469,3" ]
check "the browser follows" [ "$(info | grep AtlAxWin90 | cut -d' ' -f5-)" = "3,29 1494x868" ]
winctl drag 300 10 400 60
sleep 1
check "the caption band drags the window" [ "$(window_line)" = "1 0 100,50 1500x900" ]

mkdir -p "$dir/wz_cdn/ab/cd"
echo a > "$dir/wz_cdn/0123456789abcdef0123456789abcdef"
echo b > "$dir/wz_cdn/ab/cd/file.png"
winctl post OrvikVelmora 0x405 0 0x204 && winctl menu 2
answer=$(winctl answer | tr -d '\r')
check "cache clearing from the tray menu reports" [ "$answer" = "$(printf 'caption=提示\ntext=清空完成！')" ]
check "wz_cdn emptied" [ -d "$dir/wz_cdn" ] && [ -z "$(ls -A "$dir/wz_cdn")" ]

rm -rf "$dir/yw_test"
winctl drag 1575 65 1575 65 # the close button
wait "$prog"
check "test-mode exit ends the run without a question" grep -q "result=0" "$dir/run.log"
check "and saves a login-error picture" bmp_check "$dir/yw_test/login_error_&pf=qq&_&serverId=7&.bmp" 1500 900

echo "client command in the game URL"
rm -rf "$dir/yw_test"
: > "$ORIGIN_LOG"
(cd "$dir" && timeout 60 /usr/lib/wine/wine64 gamewin.exe --test-mode --port 23456 \
  --login-url "$login&client_cmd?loginerrcode=0" > "$dir/run.log" 2>&1)
check "the run ends by itself" grep -q "result=1" "$dir/run.log"
check "the picture of a successful login, yw_test made for it" bmp_check "$dir/yw_test/&pf=qq&_&serverId=7&.bmp" 1360 1020
check "the navigation was cancelled" bash -c "! grep -q client_cmd '$ORIGIN_LOG'"

echo "no browser"
(cd "$dir" && exec timeout 60 /usr/lib/wine/wine64 gamewin.exe --no-browser-host > "$dir/run.log" 2>&1) &
prog=$!
answer=$(winctl answer | tr -d '\r')
check "the player is told" [ "$answer" = "$(printf 'caption=提示\ntext=无法连接服务器')" ]
wait "$prog"
check "and the run ends" grep -q "result=1" "$dir/run.log"

origin_stop
e2e_done
