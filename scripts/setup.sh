#!/usr/bin/env bash
# One-time machine set-up for building and testing Kestrun on Debian 12.
# Idempotent: every step checks whether it is already done, so a second run
# takes a second or two. Downloads only through apt.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
deps="${KESTRUN_DEPS:-$here/build/deps}"
mkdir -p "$deps"

packages=(
  cmake ninja-build ccache g++ binutils pkg-config file
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  libgtest-dev libgmock-dev libcurl4-openssl-dev libssl-dev openssl libwebp-dev webp
  wine64 fonts-dejavu-core xvfb xauth x11-utils xcompmgr imagemagick iproute2 python3 python3-pil curl dpkg-dev
  wrk nginx-light clang libclang-rt-14-dev
)

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# 32-bit Wine through multiarch, so that the PE32 product itself runs under
# test. Only where the kernel runs i386 code; elsewhere, or when it cannot be
# installed, the tests use the x86_64 twin under wine64 and say so.
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
  if bash "$here/scripts/wine-arch.sh" --kernel; then
    echo "setup: installing 32-bit Wine (wine32:i386)"
    dpkg --print-foreign-architectures | grep -qx i386 || as_root dpkg --add-architecture i386
    if ! { as_root apt-get update -qq &&
           as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null; }; then
      echo "setup: 32-bit Wine could not be installed; the tests will use the x86_64 twin"
    fi
  else
    echo "setup: this kernel does not run i386 code; the tests will use the x86_64 twin"
  fi
fi

# libwebp has no mingw build in Debian: take Debian's source package and
# cross-build only its decoder for both Windows targets.
webp_src=$(ls -d "$deps"/libwebp-1.* 2>/dev/null | head -n 1 || true)
if [ -z "$webp_src" ]; then
  srclist=/etc/apt/sources.list.d/debian-src.sources
  if [ ! -f "$srclist" ] && ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ /etc/apt/sources.list; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | as_root tee "$srclist" >/dev/null
    as_root apt-get update -qq
  fi
  (cd "$deps" && apt-get source -qq libwebp >/dev/null 2>&1)
  webp_src=$(ls -d "$deps"/libwebp-1.* | head -n 1)
fi

# It decodes the skins once at start-up: built for size, without the SIMD
# variants of its functions (170 KB of the product otherwise). The folder's
# name changed with these options, so older builds are redone.
for triplet in i686-w64-mingw32 x86_64-w64-mingw32; do
  prefix="$deps/webp-small-$triplet"
  [ -f "$prefix/lib/libwebpdecoder.a" ] && continue
  echo "setup: cross-building the libwebp decoder for $triplet"
  bdir="$deps/webp-small-build-$triplet"
  rm -rf "$bdir"
  cmake -S "$webp_src" -B "$bdir" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchain-${triplet%%-*}.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=OFF -DWEBP_BUILD_ANIM_UTILS=OFF -DWEBP_BUILD_CWEBP=OFF \
    -DWEBP_BUILD_DWEBP=OFF -DWEBP_BUILD_GIF2WEBP=OFF -DWEBP_BUILD_IMG2WEBP=OFF \
    -DWEBP_BUILD_VWEBP=OFF -DWEBP_BUILD_WEBPINFO=OFF -DWEBP_BUILD_WEBPMUX=OFF \
    -DWEBP_BUILD_EXTRAS=OFF -DWEBP_BUILD_LIBWEBPMUX=OFF -DWEBP_ENABLE_SIMD=OFF >/dev/null
  cmake --build "$bdir" --target webpdecoder >/dev/null
  mkdir -p "$prefix/lib" "$prefix/include/webp"
  cp "$bdir/libwebpdecoder.a" "$prefix/lib/"
  cp "$webp_src"/src/webp/{decode.h,types.h} "$prefix/include/webp/"
done

echo "setup: done"
