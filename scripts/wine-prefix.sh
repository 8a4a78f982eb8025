#!/usr/bin/env bash
# Creates a private Wine prefix for running the Windows builds:
#   wine-prefix.sh DIR [--no-z]
# The user folders (Desktop, Documents, ...) become real folders inside the
# prefix, so nothing the program writes reaches the Linux home folder. With
# --no-z the Z: drive (the Linux root) is removed too, so the program cannot
# choose it as an install drive. Quick when the prefix already exists.
# KESTRUN_WINE_ARCH (win32 or win64, default win64) picks the prefix's kind
# and its loader; a prefix of one kind cannot serve the other, so give each
# kind folders of its own.
set -euo pipefail
mkdir -p "$1"; dir=$(cd "$1" && pwd)
noz=${2:-}
export WINEPREFIX=$dir WINEDEBUG=-all
case ${KESTRUN_WINE_ARCH:-win64} in
  win32) export WINEARCH=win32; loader=/usr/lib/wine/wine ;;
  win64) export WINEARCH=win64; loader=/usr/lib/wine/wine64 ;;
  *) echo "wine-prefix.sh: KESTRUN_WINE_ARCH must be win32 or win64" >&2; exit 2 ;;
esac
if [ ! -f "$dir/system.reg" ]; then
  mkdir -p "$dir"
  "$loader" wineboot -u >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
fi
for u in "$dir"/drive_c/users/*/; do
  for f in Desktop Documents Downloads Music Pictures Videos Templates; do
    if [ -L "$u$f" ]; then rm "$u$f"; mkdir -p "$u$f"; fi
  done
done
if [ "$noz" = "--no-z" ]; then rm -f "$dir/dosdevices/z:"; fi
exit 0
