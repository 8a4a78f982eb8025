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
cp "$E2E_BUILD/gamewin.exe" "$dir/"
e2e_unmanaged_windows

www=$(mktemp -d)
mkdir -p "$www/game"
echo '<html><title>Velmora</title></html>' > "$www/game/login_kq"
origin_start "$www"
login="http://127.0.0.1:$ORIGIN_PORT/game/login_kq?a=1&pf=qq&serverId=7"
info() { winctl info OrvikVelmora | tr -d '\r'; }
window_line() { info | sed -n 's/^window //p'; }
child() { info | sed -n "s/^child $1 [^ ]* //p"; }
# press ID: a click on the middle of the game window's control ID.
press() {
  local wl wt cl ct cw ch
  IFS=', x' read -r _ _ wl wt _ _ <<< "$(window_line)"
  IFS=', x' read -r _ cl ct cw ch <<< "$(child "$1")"
  winctl drag $((wl + cl + cw / 2)) $((wt + ct + ch / 2)) $((wl + cl + cw / 2)) $((wt + ct + ch / 2))
}
# The window's template is in dialog units of its font, so its pixels follow
# the fonts this Wine finds (another machine's fonts give another size). The
# expected sizes are the template's units mapped here through the same font.
dlu() { winctl dlu 'C:\Games\gamewin.exe' 238 "$@" | tr -d '\r'; }
IFS=', x' read -r _ _ init_w init_h <<< "$(dlu 0 0 1360 1020)"
IFS=', x' read -r close_x close_y _ _ <<< "$(dlu 1329 3 26 25)"
echo "    the template's 1360x1020 units come to ${init_w}x${init_h} pixels here"
units_mapped() { [ "${init_w:-0}" -gt 0 ] && [ "${init_h:-0}" -gt 0 ] && [ -n "$close_y" ]; }
check "the template's units map to pixels" units_mapped
# centred W H: where a window of that size is centred on the 1600x900 work
# area, kept on it where it fits.
centred() {
  local x=$((800 - $1 / 2)) y=$((450 - $2 / 2))
  [ $((x + $1)) -gt 1600 ] && x=$((1600 - $1))
  [ $((y + $2)) -gt 900 ] && y=$((900 - $2))
  [ "$x" -lt 0 ] && x=0
  [ "$y" -lt 0 ] && y=0
  echo "$x,$y"
}
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
(cd "$dir" && exec timeout 120 "$E2E_WINE" gamewin.exe --test-mode --port 23456 --login-url "$login" \
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

press 1009 # to tray
sleep 1
check "to-tray button hides it" [ "$(window_line | cut -c1)" = 0 ]
winctl post OrvikVelmora 0x405 0 0x203
sleep 1
press 1008 # minimise
sleep 1
check "minimise button minimises it" [ "$(window_line | cut -c3)" = 1 ]
winctl send OrvikVelmora 0x112 0xF120 0 >/dev/null # SC_RESTORE
sleep 1
check "restored to the work area" [ "$(window_line)" = "1 0 0,0 1600x900" ]

# Restoring was a WM_SIZE of its own, so the window no longer counts as
# filling the work area: the first reset fills it, the second restores.
press 1010 && winctl menu 3 # menu button, "reset window"
sleep 1
check "after a restore, reset fills the work area" [ "$(window_line)" = "1 0 0,0 1600x900" ]
press 1010 && winctl menu 3
sleep 1
check "main menu resets the initial size, centred" \
  [ "$(window_line)" = "1 0 $(centred "$init_w" "$init_h") ${init_w}x${init_h}" ]
check "caption buttons follow the right edge" [ "$(child 1006 | cut -d' ' -f2)" = "$close_x,$close_y" ]
winctl send OrvikVelmora 0x203 0 50,10 >/dev/null
check "caption double-click fills the work area again" [ "$(window_line)" = "1 0 0,0 1600x900" ]
winctl drag 1598 400 1498 400
sleep 1
check "the right border resizes" [ "$(window_line)" = "1 0 0,0 1500x900" ]
check "caption buttons moved with it" [ "$(child 1006 | cut -d' ' -f2)" = "$((1500 - init_w + close_x)),$close_y" ]
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
check "wz_cdn emptied" test -d "$dir/wz_cdn" -a -z "$(ls -A "$dir/wz_cdn")"

rm -rf "$dir/yw_test"
press 1006 # close
wait "$prog"
check "test-mode exit ends the run without a question" grep -q "result=0" "$dir/run.log"
check "and saves a login-error picture" bmp_check "$dir/yw_test/login_error_&pf=qq&_&serverId=7&.bmp" 1500 900

echo "client command in the game URL"
rm -rf "$dir/yw_test"
: > "$ORIGIN_LOG"
(cd "$dir" && timeout 60 "$E2E_WINE" gamewin.exe --test-mode --port 23456 \
  --login-url "$login&client_cmd?loginerrcode=0" > "$dir/run.log" 2>&1)
check "the run ends by itself" grep -q "result=1" "$dir/run.log"
check "the picture of a successful login, yw_test made for it" bmp_check "$dir/yw_test/&pf=qq&_&serverId=7&.bmp" "$init_w" "$init_h"
check "the navigation was cancelled" bash -c "! grep -q client_cmd '$ORIGIN_LOG'"

echo "no browser"
(cd "$dir" && exec timeout 60 "$E2E_WINE" gamewin.exe --no-browser-host > "$dir/run.log" 2>&1) &
prog=$!
answer=$(winctl answer | tr -d '\r')
check "the player is told" [ "$answer" = "$(printf 'caption=提示\ntext=无法连接服务器')" ]
wait "$prog"
check "and the run ends" grep -q "result=1" "$dir/run.log"

origin_stop
e2e_done
