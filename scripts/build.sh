#!/usr/bin/env bash
# Configures and builds the three builds: native, win32 (the product) and
# win64 (the twin that runs under wine64, with the Win32 test runner).
#   build.sh [native|win32|win64 ...]   (default: all three)
# Extra CMake arguments go in KESTRUN_CMAKE_ARGS.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
builds=("$@")
[ ${#builds[@]} -gt 0 ] || builds=(native win32 win64)
for b in "${builds[@]}"; do
  case $b in
    native) tc=() ;;
    win32) tc=(-DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchain-i686.cmake") ;;
    win64) tc=(-DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchain-x86_64.cmake") ;;
    *) echo "build.sh: unknown build $b" >&2; exit 2 ;;
  esac
  dir="$here/build/$b"
  if [ ! -f "$dir/build.ninja" ]; then
    # shellcheck disable=SC2086
    cmake -S "$here" -B "$dir" -G Ninja "${tc[@]}" ${KESTRUN_CMAKE_ARGS:-} >/dev/null
  fi
  echo "build: $b"
  cmake --build "$dir"
done
