#!/usr/bin/env bash
# The clear-cache command empties the resource cache folder wz_cdn of the
# program's own folder, whatever the current folder, entries' metadata too: read-only files and nested folders go, every "desktop.ini"
# stays with the folders that hold one; it ends with its completion message.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/install_lib.sh"
e2e_prefix
dir=$(e2e_install Games)
cache="$dir/wz_cdn"
mkdir -p "$cache/ab/cd" "$cache/keep/inner" "$cache/empty"
echo a > "$cache/0123456789abcdef0123456789abcdef"
echo meta > "$cache/0123456789abcdef0123456789abcdef.meta"
cp "$E2E_BUILD/clearcache.exe" "$dir/"
elsewhere="$WINEPREFIX/drive_c/Elsewhere"
mkdir -p "$elsewhere/wz_cdn"
echo other > "$elsewhere/wz_cdn/0123456789abcdef0123456789abcdef"
echo ro > "$cache/readonly.bin"
chmod a-w "$cache/readonly.bin"
echo b > "$cache/ab/cd/file.png"
echo c > "$cache/ab/file.js"
echo ini > "$cache/desktop.ini"
echo ini > "$cache/keep/inner/Desktop.ini"
echo d > "$cache/keep/inner/other.bin"
echo e > "$cache/keep/gone.bin"
echo f > "$dir/beside-the-cache.txt"
# A linked folder inside the cache leads outside it: only the link may go.
mkdir -p "$dir/elsewhere"
echo precious > "$dir/elsewhere/precious.txt"
ln -s ../elsewhere "$cache/linked"

out=$(cd "$elsewhere" && timeout 60 "$E2E_WINE" "$dir/clearcache.exe" | tr -d '\r')
check "the command ends" [ $? = 0 ]
check "the current folder's wz_cdn is not the program's: left alone" [ -f "$elsewhere/wz_cdn/0123456789abcdef0123456789abcdef" ]
check "completion message with its caption" [ "$out" = "$(printf 'caption=提示\ntext=清空完成！')" ]
# Wine cannot remove a Unix folder link through RemoveDirectoryW, so the link
# itself is left out of the listing; what matters is that its target survives.
remaining=$(cd "$cache" && find . ! -path ./linked | sort | tr '\n' ' ')
check "only desktop.ini files and their folders remain" \
  [ "$remaining" = ". ./desktop.ini ./keep ./keep/inner ./keep/inner/Desktop.ini " ]
check "files beside the cache stay" [ -f "$dir/beside-the-cache.txt" ]
check "a linked folder's target keeps its files" [ -f "$dir/elsewhere/precious.txt" ]

echo "no resource cache at all"
rm -rf "$cache"
out=$(cd "$dir" && timeout 60 "$E2E_WINE" "$dir/clearcache.exe" | tr -d '\r')
check "the completion message comes all the same" [ "$out" = "$(printf 'caption=提示\ntext=清空完成！')" ]

e2e_done
