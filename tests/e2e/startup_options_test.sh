#!/usr/bin/env bash
# The twin starts and ends cleanly with each command-line option, and the
# delfile option deletes exactly the file it names.
source "$(dirname "$0")/lib.sh"
e2e_prefix
dir=$(e2e_install Games)

e2e_run 60 "$dir" Kestrun.exe
check "plain start exits with 0" [ "$E2E_RC" = 0 ]

e2e_run 60 "$dir" Kestrun.exe re_open
check "re_open start exits with 0" [ "$E2E_RC" = 0 ]

e2e_run 60 "$dir" Kestrun.exe 'yw_test_url="http://127.0.0.1:9/login"'
check "test-url start exits with 0" [ "$E2E_RC" = 0 ]

mkdir -p "$WINEPREFIX/drive_c/old place=1"
echo old > "$WINEPREFIX/drive_c/old place=1/Kestrun.exe"
echo keep > "$WINEPREFIX/drive_c/old place=1/keep.txt"
e2e_run_line 60 "$dir" 'Kestrun.exe delfile=C:\old place=1\Kestrun.exe'
check "delfile start exits with 0" [ "$E2E_RC" = 0 ]
check "delfile removed the named file" [ ! -e "$WINEPREFIX/drive_c/old place=1/Kestrun.exe" ]
check "delfile left its neighbour" [ -e "$WINEPREFIX/drive_c/old place=1/keep.txt" ]

e2e_done
