#!/usr/bin/env bash
# Builds the program and runs it: the 32-bit product under 32-bit Wine, or
# its x86_64 twin under wine64 where this machine cannot run 32-bit code
# (scripts/wine-arch.sh; KESTRUN_WINE_ARCH=win32|win64 chooses instead). On
# your display if there is one; otherwise headless under Xvfb, with a
# screenshot after a few seconds.
#   run.sh [program arguments...]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh"
export KESTRUN_WINE_ARCH=${KESTRUN_WINE_ARCH:-$(bash "$here/scripts/wine-arch.sh" -v)}
case $KESTRUN_WINE_ARCH in
  win32) loader=/usr/lib/wine/wine what="the 32-bit product" ;;
  win64) loader=/usr/lib/wine/wine64 what="its x86_64 twin" ;;
  *) echo "run: KESTRUN_WINE_ARCH must be win32 or win64" >&2; exit 2 ;;
esac
bash "$here/scripts/build.sh" "$KESTRUN_WINE_ARCH"

export WINEDEBUG=-all WINEPREFIX="$here/build/wine/$KESTRUN_WINE_ARCH/play"
# No Z: drive: the program would otherwise install itself onto the Linux root.
bash "$here/scripts/wine-prefix.sh" "$WINEPREFIX" --no-z
game="$WINEPREFIX/drive_c/Kestrun"
mkdir -p "$game"
cp "$here/build/$KESTRUN_WINE_ARCH/Kestrun.exe" "$game/Kestrun.exe"
echo "run: $what (build/$KESTRUN_WINE_ARCH/Kestrun.exe) from C:\\Kestrun under $loader"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  cd "$game" && exec "$loader" Kestrun.exe "$@"
fi

shots="$here/build/screenshots"
mkdir -p "$shots"
source "$here/scripts/xvfb.sh"
start_xvfb
# Xvfb has no window manager: let Wine stack the login window's two layers
# itself, as Windows does, and blend its soft edges through a compositor.
"$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
xcompmgr -c -o 0 -r 0 2>/dev/null &
compositor=$!
trap 'WINEPREFIX=$WINEPREFIX /usr/lib/wine/wineserver -k 2>/dev/null || true; kill $compositor $XVFB_PID 2>/dev/null || true' EXIT
(cd "$game" && "$loader" Kestrun.exe "$@") &
sleep "${KESTRUN_SHOT_DELAY:-8}"
import -window root "$shots/run.png"
echo "run: no display, so it ran under Xvfb; screenshot: $shots/run.png"
