# Shared helpers of the end-to-end scripts: a private Wine prefix per script,
# the program under test copied into it, runs with a time limit, and checks.
#
# One variable picks what is tested: KESTRUN_WINE_ARCH=win32 runs the PE32
# product (build/win32) under the 32-bit loader, win64 the x86_64 twin
# (build/win64) under wine64. Unset, scripts/wine-arch.sh chooses: win32
# where this machine runs it. The scripts use E2E_WINE (the loader) and
# E2E_BUILD (the build folder) and never name either themselves.
set -uo pipefail
E2E_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
E2E_NAME=$(basename "$0" .sh)
KESTRUN_WINE_ARCH=${KESTRUN_WINE_ARCH:-$(bash "$E2E_ROOT/scripts/wine-arch.sh")}
case $KESTRUN_WINE_ARCH in
  win32) E2E_WINE=/usr/lib/wine/wine ;;
  win64) E2E_WINE=/usr/lib/wine/wine64 ;;
  *) echo "KESTRUN_WINE_ARCH must be win32 or win64, not '$KESTRUN_WINE_ARCH'" >&2; exit 2 ;;
esac
E2E_BUILD="$E2E_ROOT/build/$KESTRUN_WINE_ARCH"
export KESTRUN_WINE_ARCH E2E_WINE E2E_BUILD
export WINEARCH=$KESTRUN_WINE_ARCH WINEDEBUG=-all
# Prefixes of the two kinds live apart: one cannot be used by the other's loader.
E2E_PREFIXES="$E2E_ROOT/build/wine/$KESTRUN_WINE_ARCH"
export WINEPREFIX="$E2E_PREFIXES/$E2E_NAME"
E2E_FAILS=0

# A fresh prefix (the base one copied, C: only, user folders inside it).
e2e_prefix() {
  local base="$E2E_PREFIXES/base"
  echo "testing $E2E_BUILD under $E2E_WINE"
  if [ ! -f "$E2E_BUILD/Kestrun.exe" ]; then
    echo "no $E2E_BUILD/Kestrun.exe: run scripts/build.sh $KESTRUN_WINE_ARCH, or choose the other build with KESTRUN_WINE_ARCH"
    exit 1
  fi
  bash "$E2E_ROOT/scripts/wine-prefix.sh" "$base" --no-z
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
  cp -a "$base" "$WINEPREFIX"
}

# Copies the program under test into a folder of drive C: and echoes that folder.
e2e_install() {
  local dir="$WINEPREFIX/drive_c/$1"
  mkdir -p "$dir"
  cp "$E2E_BUILD/Kestrun.exe" "$dir/${2:-Kestrun.exe}"
  echo "$dir"
}

# e2e_run SECONDS DIR EXE [ARGS...]: runs the exe with DIR as its current
# folder; leaves its exit code in E2E_RC (124 on time-out).
e2e_run() {
  local limit=$1 dir=$2 exe=$3
  shift 3
  (cd "$dir" && timeout "$limit" "$E2E_WINE" "$exe" "$@")
  E2E_RC=$?
  timeout 30 /usr/lib/wine/wineserver -w
}

# e2e_run_line SECONDS DIR "COMMAND LINE": passes the line through cmd /c
# exactly as written (the loader itself would quote arguments with blanks).
e2e_run_line() {
  local limit=$1 dir=$2 line=$3
  (cd "$dir" && timeout "$limit" "$E2E_WINE" cmd /c "$line")
  E2E_RC=$?
  timeout 30 /usr/lib/wine/wineserver -w
}

# e2e_screen: an X server of the script's own when there is no display
# (stopped when the script ends); sets `shots`, the screenshot folder.
e2e_screen() {
  if [ -z "${DISPLAY:-}" ]; then
    source "$E2E_ROOT/scripts/xvfb.sh"
    start_xvfb
    trap 'kill $XVFB_PID 2>/dev/null || true' EXIT
  fi
  shots="$E2E_ROOT/build/screenshots"
  mkdir -p "$shots"
}

# e2e_unmanaged_windows: Xvfb has no window manager; let Wine stack and map
# the prefix's windows itself, as Windows would, instead of waiting for one
# (without it the owned control layer of the login window lies under the
# picture, and every map and unmap waits).
e2e_unmanaged_windows() {
  "$E2E_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
}

check() {
  local what=$1
  shift
  if "$@"; then echo "  ok    $what"; else echo "  FAIL  $what"; E2E_FAILS=$((E2E_FAILS + 1)); fi
}

e2e_done() {
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  [ "$E2E_FAILS" -eq 0 ]
}

# winctl ARGS...: the window tool (see tools/winctl.cpp), run in this prefix.
winctl() {
  "$E2E_WINE" "$E2E_BUILD/winctl.exe" "$@"
}

# game_window_up SECONDS: waits until the game window (the dialog with the
# to-tray button) is shown.
game_window_up() {
  local end=$((SECONDS + $1))
  while [ "$SECONDS" -lt "$end" ]; do
    winctl info OrvikVelmora 2>/dev/null | tr -d '\r' | grep -q '^child 1009 ' && return 0
    sleep 0.3
  done
  return 1
}

# e2e_end_program: ends what the program shows as a player would: the game
# window through its close button (confirming the exit question), else the
# login window the way a login does, which opens the game window.
e2e_end_program() {
  winctl endgame 0 >/dev/null 2>&1 || winctl destroy OrvikVelmora >/dev/null 2>&1
}

# e2e_login_then_exit: ends the login window the way a login does, then the
# game window that follows; fails when either does not come.
e2e_login_then_exit() {
  winctl destroy OrvikVelmora >/dev/null && winctl endgame 30000
}

# fixed_origin_port PORT: ends the script when PORT is taken. Builds that
# carry the origin's address need it on a fixed port, outside the range of
# the program's own server (22325..32324).
fixed_origin_port() {
  if (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; then
    echo "port $1 is taken"
    exit 1
  fi
}

# origin_start ROOT [origin.py options]: starts the test origin on loopback;
# sets ORIGIN_PORT, ORIGIN_LOG and ORIGIN_PID. Stopped by origin_stop.
origin_start() {
  local root=$1
  shift
  local dir
  dir=$(mktemp -d)
  ORIGIN_LOG="$dir/requests.log"
  : > "$ORIGIN_LOG"
  /usr/bin/python3 "$E2E_ROOT/tests/origin/origin.py" --root "$root" --port-file "$dir/port" \
    --log "$ORIGIN_LOG" --lifetime 900 "$@" &
  ORIGIN_PID=$!
  for _ in $(seq 100); do [ -s "$dir/port" ] && break; sleep 0.05; done
  ORIGIN_PORT=$(cat "$dir/port")
}

origin_stop() {
  kill "$ORIGIN_PID" 2>/dev/null || true
  wait "$ORIGIN_PID" 2>/dev/null || true
}
