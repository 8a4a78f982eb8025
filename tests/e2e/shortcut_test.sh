#!/usr/bin/env bash
# Every ordinary start writes the desktop shortcut to the running program,
# with its folder as working folder, whatever the current folder; a program
# in the desktop folder writes none. Its cache is in its own folder too.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/install_lib.sh"
e2e_prefix
desktop=$(ls -d "$WINEPREFIX"/drive_c/users/*/Desktop | grep -v /Public/ | head -n 1)
win_desktop='C:\users\'"$(basename "$(dirname "$desktop")")"'\Desktop'
link_name='OrvikVelmora极速登陆器.lnk'

links() { lnkinfo "$win_desktop" | tr -d '\r'; }

dir=$(e2e_install Games)
e2e_start_and_end 60 "$dir" Kestrun.exe
check "start exits with 0" [ "$E2E_RC" = 0 ]
check "the desktop holds the shortcut under the window title" [ -f "$desktop/$link_name" ]
check "target and working folder read back right" \
  [ "$(links)" = "$(printf '%s\tC:\\Games\\Kestrun.exe\tC:\\Games' "$link_name")" ]

echo "a deleted shortcut comes back, for another file name"
rm -f "$desktop/$link_name"
cp "$dir/Kestrun.exe" "$dir/Other Name.exe"
e2e_start_and_end 60 "$dir" "Other Name.exe"
check "the shortcut keeps its name and points at the running file" \
  [ "$(links)" = "$(printf '%s\tC:\\Games\\Other Name.exe\tC:\\Games' "$link_name")" ]

echo "started from another folder"
rm -f "$desktop/$link_name"
rm -rf "$dir/wz_cdn"
elsewhere="$WINEPREFIX/drive_c/Elsewhere"
mkdir -p "$elsewhere"
e2e_start_and_end 60 "$elsewhere" 'C:\Games\Kestrun.exe'
check "from another folder: the shortcut points at the program in its own folder" \
  [ "$(links)" = "$(printf '%s\tC:\\Games\\Kestrun.exe\tC:\\Games' "$link_name")" ]
check "from another folder: the cache is the program's own" bash -c "[ -d '$dir/wz_cdn' ] && [ ! -e '$elsewhere/wz_cdn' ]"

echo "started from the desktop folder"
rm -f "$desktop/$link_name"
cp "$dir/Kestrun.exe" "$desktop/Kestrun.exe"
e2e_start_and_end 60 "$desktop" Kestrun.exe
check "desktop start exits with 0" [ "$E2E_RC" = 0 ]
check "no shortcut is written" [ -z "$(ls "$desktop" | grep '\.lnk$')" ]

e2e_done
