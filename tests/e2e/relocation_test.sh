#!/usr/bin/env bash
# With a further fixed drive the program copies itself to <drive>:\qzpk\,
# relaunches there with " delfile=", and the old file goes; the installed
# copy stays where it is. With C: alone nothing moves.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/install_lib.sh"
e2e_prefix
build_md5=$(md5_of "$E2E_BUILD/Kestrun.exe")

echo "C: alone"
dir=$(e2e_install Games)
e2e_start_and_end 60 "$dir" Kestrun.exe
check "start exits with 0" [ "$E2E_RC" = 0 ]
check "the program stays where it was" [ -f "$dir/Kestrun.exe" ]
check "no install folder on C:" [ ! -e "$WINEPREFIX/drive_c/qzpk" ]

echo "a fixed drive D: besides C:"
d=$(e2e_map_drive d)
dir=$(e2e_install "Program Files/Old place=1" "My Kestrun.exe")
e2e_start_and_end 60 "$dir" "My Kestrun.exe"
check "relocating start exits with 0" [ "$E2E_RC" = 0 ]
check "the copy is in D:\\qzpk under its own name" [ "$(md5_of "$d/qzpk/My Kestrun.exe" 2>/dev/null)" = "$build_md5" ]
check "the relaunched copy deleted the old file" [ ! -e "$dir/My Kestrun.exe" ]
check "only the old file went" [ -d "$dir" ]
desktop=$(ls -d "$WINEPREFIX"/drive_c/users/*/Desktop | grep -v Public | head -n 1)
links=$(lnkinfo 'C:\users\'"$(basename "$(dirname "$desktop")")"'\Desktop' | tr -d '\r')
check "the shortcut points at the installed copy" \
  [ "$(printf '%s\n' "$links" | cut -f2,3)" = "$(printf 'D:\\qzpk\\My Kestrun.exe\tD:\\qzpk')" ]

echo "the installed copy started again"
e2e_start_and_end 60 "$d/qzpk" "My Kestrun.exe"
check "installed start exits with 0" [ "$E2E_RC" = 0 ]
check "the installed copy is still there, whole" [ "$(md5_of "$d/qzpk/My Kestrun.exe" 2>/dev/null)" = "$build_md5" ]
# Besides the program only the cache server's folder, made by the running copy.
check "nothing else appeared in D:\\qzpk" [ "$(ls "$d/qzpk" | tr '\n' ' ')" = "My Kestrun.exe wz_cdn " ]
check "the cache folder is where the installed copy runs" [ -d "$d/qzpk/wz_cdn" ]

e2e_done
