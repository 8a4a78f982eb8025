#!/usr/bin/env bash
# A start shows the translucent login window centred on the work area with
# its control layer laid exactly over it, and the login page's browser in the
# picture's frame, which asks a local origin for the start page; ending the
# window the way a login does opens the game window, whose exit ends the
# program cleanly. Leaves a
# screenshot in build/screenshots/login_window.png.
source "$(dirname "$0")/lib.sh"
e2e_screen
e2e_prefix
dir=$(e2e_install Games)
e2e_unmanaged_windows
# A desktop picture behind, so that the translucency can be seen and checked.
backdrop=$(mktemp --suffix=.png)
/usr/bin/python3 - "$backdrop" <<'PY'
import sys
from PIL import Image, ImageDraw
w, h = 1600, 900
img = Image.new("RGB", (w, h))
d = ImageDraw.Draw(img)
for y in range(h):
    t = y / h
    d.line([(0, y), (w, y)], fill=(int(40 + 30 * t), int(92 + 40 * t), int(150 + 40 * t)))
img.save(sys.argv[1])
PY
display -borderwidth 0 -geometry +0+0 "$backdrop" &
backdrop_pid=$!
# With a compositing manager the X server blends the picture's alpha with
# what lies beneath; without one, Wine cuts the fully transparent pixels
# away and shows the rest opaque.
compositor_pid=
if command -v xcompmgr >/dev/null; then
  xcompmgr -c -o 0 -r 0 2>/dev/null &
  compositor_pid=$!
fi
sleep 1

# The test URL stands in for the platform's login page (it carries no login
# marker, so nothing is captured).
site=$(mktemp -d)
mkdir -p "$site/velmora"
echo '<html><title>login</title></html>' > "$site/velmora/login.html"
origin_start "$site"
# From a batch file, so that the quotes reach the program as written.
printf 'Kestrun.exe yw_test_url="http://127.0.0.1:%s/velmora/login.html"\r\n' "$ORIGIN_PORT" > "$dir/login.bat"
(cd "$dir" && exec timeout 60 "$E2E_WINE" cmd /c login.bat) &
prog=$!
check "login window appears" winctl wait OrvikVelmora 30000
sleep 2 # let the layered windows reach the X server
windows=$(winctl list)
echo "$windows" | sed 's/^/    /'
# Xvfb's screen is 1600 x 900 and Wine reserves no taskbar: the picture's
# corner is ((1600 - 1379) / 2, (900 - 702) / 2).
check "picture window centred at its picture's size" \
  [ "$(echo "$windows" | grep -c 'OrvikVelmora.*110,99 1379x702')" -ge 1 ]
check "control layer lies exactly over the picture" \
  [ "$(echo "$windows" | grep -c 'OrvikVelmora.*110,99 1379x702')" -eq 2 ]
rm -f "$shots/login_window.png"
import -window root "$shots/login_window.png"
check "screenshot written" [ -s "$shots/login_window.png" ]
# The picture shows: its frame's gold border at the login page's corner,
# and the desktop's black beyond the picture's transparent edges.
pixel() { /usr/bin/python3 -c "from PIL import Image; print('%d,%d,%d' % Image.open('$shots/login_window.png').convert('RGB').getpixel(($1, $2)))"; }
gold=$(pixel $((110 + 466 - 3)) $((99 + 300)))
echo "    frame pixel: $gold"
check "frame border is gold" bash -c "IFS=, read r g b <<< '$gold'; [ \$r -gt 150 ] && [ \$g -gt 110 ] && [ \$b -lt 140 ]"
edge=$(pixel 112 101)
desk=$(/usr/bin/python3 -c "from PIL import Image; print('%d,%d,%d' % Image.open('$backdrop').getpixel((112, 101)))")
echo "    edge pixel: $edge (desktop: $desk)"
check "picture is transparent at its edge" [ "$edge" = "$desk" ]
# Buttons at (1112, 140) and (1148, 140) on the picture: the close button's
# rim is gold and its disc differs from the black plate around it.
cross=$(pixel $((110 + 1148 + 15)) $((99 + 140 + 15)))
echo "    close button centre: $cross"
check "close button is drawn" bash -c "IFS=, read r g b <<< '$cross'; [ \$r -gt 120 ] && [ \$g -gt 120 ] && [ \$b -gt 120 ]"
plate=$(pixel $((110 + 1148 + 33)) $((99 + 140 + 15)))
check "plate beside the buttons is black" [ "$plate" = "0,0,0" ]
# The browser fills the frame at (466, 197), 645 x 421 on the picture; Wine
# renders no page, so it stays blank white where the picture is dark.
page=$(pixel $((110 + 466 + 322)) $((99 + 197 + 210)))
echo "    page centre: $page"
check "browser covers the page's place" bash -c "IFS=, read r g b <<< '$page'; [ \$r -gt 200 ] && [ \$g -gt 200 ] && [ \$b -gt 200 ]"
check "browser asked the origin for the start page" grep -q '^GET /velmora/login.html ' "$ORIGIN_LOG"
kill $backdrop_pid $compositor_pid 2>/dev/null
rm -f "$backdrop"
check "destroy reaches the login window" winctl destroy OrvikVelmora
check "the game window follows and takes the exit" winctl endgame 30000
wait "$prog"
rc=$?
timeout 30 /usr/lib/wine/wineserver -w
check "program ends with 0 after the game phase" [ "$rc" = 0 ]
origin_stop
rm -rf "$site"
e2e_done
