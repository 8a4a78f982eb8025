#!/usr/bin/env bash
# Builds the program and runs its win64 twin under wine64 (this machine
# cannot run the 32-bit product itself). On your display if there is one;
# otherwise headless under Xvfb, with a screenshot after a few seconds.
#   run.sh [program arguments...]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh"
bash "$here/scripts/build.sh" win32 win64

export WINEDEBUG=-all WINEPREFIX="$here/build/wine/play"
# No Z: drive: the program would otherwise install itself onto the Linux root.
bash "$here/scripts/wine-prefix.sh" "$WINEPREFIX" --no-z
game="$WINEPREFIX/drive_c/Kestrun"
mkdir -p "$game"
cp "$here/build/win64/Kestrun.exe" "$game/Kestrun.exe"
echo "run: product (32-bit) at build/win32/Kestrun.exe; running its twin from C:\\Kestrun"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  cd "$game" && exec /usr/lib/wine/wine64 Kestrun.exe "$@"
fi

shots="$here/build/screenshots"
mkdir -p "$shots"
source "$here/scripts/xvfb.sh"
start_xvfb
# Xvfb has no window manager: let Wine stack the login window's two layers
# itself, as Windows does, and blend its soft edges through a compositor.
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
xcompmgr -c -o 0 -r 0 2>/dev/null &
compositor=$!
trap 'WINEPREFIX=$WINEPREFIX /usr/lib/wine/wineserver -k 2>/dev/null || true; kill $compositor $XVFB_PID 2>/dev/null || true' EXIT
(cd "$game" && /usr/lib/wine/wine64 Kestrun.exe "$@") &
sleep "${KESTRUN_SHOT_DELAY:-8}"
import -window root "$shots/run.png"
echo "run: no display, so it ran under Xvfb; screenshot: $shots/run.png"
