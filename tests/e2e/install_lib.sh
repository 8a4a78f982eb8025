# Helpers of the install, update, shortcut and cache-clearing scripts (sourced
# after lib.sh).

# e2e_start_and_end SECONDS DIR EXE [ARGS...]: runs the exe with DIR as its
# current folder and waits, within SECONDS, until every process of the prefix
# has ended (a relaunched copy included). A window of the program that waits
# for the player is closed on the way. Leaves the first process's exit code in
# E2E_RC (124 when it hit the limit).
e2e_start_and_end() {
  local limit=$1 dir=$2 exe=$3
  shift 3
  (cd "$dir" && timeout "$limit" "$E2E_WINE" "$exe" "$@") &
  local pid=$! end=$((SECONDS + limit)) ended=0
  while [ "$SECONDS" -lt "$end" ]; do
    if winctl wait OrvikVelmora 1000 >/dev/null 2>&1; then
      e2e_end_program
    fi
    # The server ends a few seconds after the last process of the prefix.
    if ! kill -0 "$pid" 2>/dev/null && timeout 8 /usr/lib/wine/wineserver -w; then
      ended=1
      break
    fi
  done
  wait "$pid"
  E2E_RC=$?
  if [ "$ended" = 0 ]; then
    echo "  processes still running after ${limit}s"
    E2E_RC=124
    /usr/lib/wine/wineserver -k 2>/dev/null || true
  fi
}

# Links drive letter $1 to a fresh folder inside the prefix; echoes the folder.
e2e_map_drive() {
  local dir="$WINEPREFIX/drive_$1"
  rm -rf "$dir"
  mkdir -p "$dir"
  ln -sfn "$dir" "$WINEPREFIX/dosdevices/$1:"
  echo "$dir"
}

# lnkinfo FOLDER (Windows path): name, target and working folder of each shortcut.
lnkinfo() {
  "$E2E_WINE" "$E2E_BUILD/lnkinfo.exe" "$@"
}

md5_of() { md5sum "$1" | cut -d' ' -f1; }
