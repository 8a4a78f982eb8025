#!/usr/bin/env bash
# Creates a private Wine prefix for running the Windows builds:
#   wine-prefix.sh DIR [--no-z]
# The user folders (Desktop, Documents, ...) become real folders inside the
# prefix, so nothing the program writes reaches the Linux home folder. With
# --no-z the Z: drive (the Linux root) is removed too, so the program cannot
# choose it as an install drive. Quick when the prefix already exists.
set -euo pipefail
mkdir -p "$1"; dir=$(cd "$1" && pwd)
noz=${2:-}
export WINEPREFIX=$dir WINEDEBUG=-all
if [ ! -f "$dir/system.reg" ]; then
  mkdir -p "$dir"
  /usr/lib/wine/wine64 wineboot -u >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
fi
for u in "$dir"/drive_c/users/*/; do
  for f in Desktop Documents Downloads Music Pictures Videos Templates; do
    if [ -L "$u$f" ]; then rm "$u$f"; mkdir -p "$u$f"; fi
  done
done
if [ "$noz" = "--no-z" ]; then rm -f "$dir/dosdevices/z:"; fi
exit 0
