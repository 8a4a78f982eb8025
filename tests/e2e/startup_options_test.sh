#!/usr/bin/env bash
# The twin starts with each command-line option, reaches the login window,
# and ends cleanly once the login window and then the game window are ended; the delfile option
# deletes exactly the file it names.
source "$(dirname "$0")/lib.sh"
e2e_screen
e2e_prefix
dir=$(e2e_install Games)

# login_then_end COMMAND-LINE: runs the line through cmd /c (exactly as
# written), waits for the login window, ends it the way a login does, ends
# the game window that follows through its close button, and
# leaves the exit code in E2E_RC and whether the window came in E2E_SHOWN.
login_then_end() {
  (cd "$dir" && exec timeout 60 "$E2E_WINE" cmd /c "$1") &
  local prog=$!
  E2E_SHOWN=no
  if winctl wait OrvikVelmora 30000; then
    E2E_SHOWN=yes
    e2e_login_then_exit
  fi
  wait "$prog"
  E2E_RC=$?
  timeout 30 /usr/lib/wine/wineserver -w
}

login_then_end 'Kestrun.exe'
check "plain start shows the login window" [ "$E2E_SHOWN" = yes ]
check "plain start exits with 0" [ "$E2E_RC" = 0 ]

login_then_end 'Kestrun.exe re_open'
check "re_open start shows the login window" [ "$E2E_SHOWN" = yes ]
check "re_open start exits with 0" [ "$E2E_RC" = 0 ]

login_then_end 'Kestrun.exe yw_test_url="http://127.0.0.1:9/login"'
check "test-url start shows the login window" [ "$E2E_SHOWN" = yes ]
check "test-url start exits with 0" [ "$E2E_RC" = 0 ]

mkdir -p "$WINEPREFIX/drive_c/old place=1"
echo old > "$WINEPREFIX/drive_c/old place=1/Kestrun.exe"
echo keep > "$WINEPREFIX/drive_c/old place=1/keep.txt"
login_then_end 'Kestrun.exe delfile=C:\old place=1\Kestrun.exe'
check "delfile start shows the login window" [ "$E2E_SHOWN" = yes ]
check "delfile start exits with 0" [ "$E2E_RC" = 0 ]
check "delfile removed the named file" [ ! -e "$WINEPREFIX/drive_c/old place=1/Kestrun.exe" ]
check "delfile left its neighbour" [ -e "$WINEPREFIX/drive_c/old place=1/keep.txt" ]

e2e_done
