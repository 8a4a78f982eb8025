#!/usr/bin/env bash
# One-time machine set-up for building and testing Kestrun on Debian 12.
# Idempotent: every step checks whether it is already done, so a second run
# takes a second or two. Downloads only through apt.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
deps="${KESTRUN_DEPS:-$here/build/deps}"
mkdir -p "$deps"

# libgnutls30: Wine's Schannel (the https of the Windows builds' CDN fetch)
# runs on the host's GnuTLS, which wine64 only recommends.
packages=(
  cmake ninja-build ccache g++ binutils pkg-config file
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  libgtest-dev libgmock-dev libcurl4-openssl-dev libssl-dev openssl libwebp-dev webp
  wine64 libgnutls30:amd64 fonts-dejavu-core xvfb xauth x11-utils xcompmgr imagemagick iproute2 python3 python3-pil curl dpkg-dev
  wrk nginx-light clang libclang-rt-14-dev slowhttptest
)

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }
installed() { [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = 'install ok installed' ]; }

# Where apt's sources are; the set-up test points it at a folder of its own.
apt_etc=${KESTRUN_APT_ETC:-/etc/apt}
# Pause before the one retry of a failed apt step.
retry_seconds=${KESTRUN_SETUP_RETRY_SECONDS:-5}
apt_log=$(mktemp)
trap 'rm -f "$apt_log"' EXIT

# Runs one apt-get command as root; its output is kept in $apt_log.
apt_run() { as_root env DEBIAN_FRONTEND=noninteractive apt-get "$@" >"$apt_log" 2>&1; }
# apt's reasons from the last command: its error and dependency lines.
apt_reasons() {
  { grep -E '^(E|W|Err):|Depends:|held broken|[Uu]nmet' "$apt_log" || tail -n 5 "$apt_log"; } |
    sed -n '1,12s/^/setup:   /p'
}

# A mirror that is out of step (one architecture's index mid-sync) makes
# update fail while the other indexes arrive. So a failed update is retried
# once and then set-up goes on: the install that follows decides.
apt_update() {
  local try rc
  for try in 1 2; do
    if apt_run update -qq; then return 0; else rc=$?; fi
    echo "setup: apt-get update failed (exit status $rc, try $try of 2):"
    apt_reasons
    [ "$try" = 1 ] && sleep "$retry_seconds"
  done
  echo "setup: going on with the package indexes that did arrive"
}

# Installs packages set-up needs; fails only when one of them cannot be
# installed, naming each such package with apt's reason.
apt_install_needed() {
  local p cannot=()
  apt_run install -y -qq --no-install-recommends "$@" && return 0
  # One at a time: the batch's failure does not say which package it was.
  for p in "$@"; do
    installed "$p" && continue
    apt_run install -y -qq --no-install-recommends "$p" && continue
    echo "setup: $p cannot be installed:"
    apt_reasons
    cannot+=("$p")
  done
  [ ${#cannot[@]} -eq 0 ] && return 0
  echo "setup: failed: needed packages cannot be installed: ${cannot[*]}"
  return 1
}

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  apt_update
  apt_install_needed "${missing[@]}" || exit 1
fi

# Any i386 package the package database still knows (installed, half
# installed, or its configuration files kept) keeps the architecture in use.
i386_in_use() {
  dpkg-query -W -f='${Architecture} ${db:Status-Status}\n' 2>/dev/null |
    awk '$1 == "i386" && $2 != "not-installed" { used = 1 } END { exit !used }'
}

# Removes the i386 architecture again after a failed attempt, when set-up
# added it and nothing of it is installed, so no later update fetches its
# indexes from a mirror that cannot serve them.
undo_i386() {
  if [ "$1" != yes ]; then
    echo "setup: the i386 architecture stays: it was there before set-up"
  elif i386_in_use; then
    echo "setup: the i386 architecture stays: i386 packages are installed"
  elif as_root dpkg --remove-architecture i386 >"$apt_log" 2>&1; then
    echo "setup: removed the i386 architecture again"
  else
    echo "setup: the i386 architecture could not be removed again:"
    apt_reasons
  fi
}

# 32-bit Wine through multiarch, so that the PE32 product itself runs under
# test. Only where the kernel runs i386 code; elsewhere, or when it cannot be
# installed, the tests use the x86_64 twin under wine64 and say so.
if ! installed wine32:i386; then
  if bash "$here/scripts/wine-arch.sh" --kernel; then
    echo "setup: installing 32-bit Wine (wine32:i386)"
    added_i386=no
    foreign=$(dpkg --print-foreign-architectures)
    if grep -qx i386 <<<"$foreign"; then
      have_i386=yes
    elif as_root dpkg --add-architecture i386 >"$apt_log" 2>&1; then
      have_i386=yes added_i386=yes
    else
      have_i386=no
      echo "setup: the i386 architecture could not be added:"
      apt_reasons
    fi
    if [ "$have_i386" = yes ]; then
      apt_update
      if apt_run install -y -qq --no-install-recommends wine32:i386 ||
         { sleep "$retry_seconds"; apt_run install -y -qq --no-install-recommends wine32:i386; }; then
        have_i386=done
      else
        echo "setup: 32-bit Wine (wine32:i386) cannot be installed:"
        apt_reasons
        undo_i386 "$added_i386"
      fi
    fi
    [ "$have_i386" = done ] ||
      echo "setup: 32-bit Wine could not be installed; the tests will use the x86_64 twin"
  else
    echo "setup: this kernel does not run i386 code; the tests will use the x86_64 twin"
  fi
fi

# debian_source PACKAGE GLOB: Debian's source package in $deps, fetched
# once (with one retry) unless a folder matching GLOB is there; sets
# source_dir. Fails, saying why, when it cannot be fetched.
debian_source() {
  source_dir=$(ls -d "$deps"/$2 2>/dev/null | head -n 1 || true)
  [ -n "$source_dir" ] && return 0
  local srclist=$apt_etc/sources.list.d/debian-src.sources
  if [ ! -f "$srclist" ] && ! grep -rqs '^Types:.*deb-src' "$apt_etc/sources.list.d/" "$apt_etc/sources.list"; then
    sed 's/^Types: deb$/Types: deb-src/' "$apt_etc/sources.list.d/debian.sources" | as_root tee "$srclist" >/dev/null
    apt_update
  fi
  if ! (cd "$deps" && apt-get source -qq "$1" >"$apt_log" 2>&1) &&
     ! { sleep "$retry_seconds"; (cd "$deps" && apt-get source -qq "$1" >"$apt_log" 2>&1); }; then
    echo "setup: failed: the $1 sources cannot be fetched (apt-get source $1):"
    apt_reasons
    return 1
  fi
  source_dir=$(ls -d "$deps"/$2 2>/dev/null | head -n 1 || true)
  [ -n "$source_dir" ] || { echo "setup: failed: apt-get source $1 left no $2 in $deps"; return 1; }
}

# cross_cmake SOURCE BUILD TRIPLET [OPTIONS...]: a fresh static, size-built
# configuration of a source tree for one Windows target.
cross_cmake() {
  local src=$1 bdir=$2 triplet=$3
  shift 3
  rm -rf "$bdir"
  cmake -S "$src" -B "$bdir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchain-${triplet%%-*}.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_SHARED_LIBS=OFF "$@" >/dev/null
}

# libwebp has no mingw build in Debian: take Debian's source package and
# cross-build only its decoder for both Windows targets.
debian_source libwebp 'libwebp-1.*' || exit 1
webp_src=$source_dir

# It decodes the skins once at start-up: built for size, without the SIMD
# variants of its functions (170 KB of the product otherwise). The folder's
# name changed with these options, so older builds are redone.
for triplet in i686-w64-mingw32 x86_64-w64-mingw32; do
  prefix="$deps/webp-small-$triplet"
  [ -f "$prefix/lib/libwebpdecoder.a" ] && continue
  echo "setup: cross-building the libwebp decoder for $triplet"
  bdir="$deps/webp-small-build-$triplet"
  cross_cmake "$webp_src" "$bdir" "$triplet" -DWEBP_BUILD_ANIM_UTILS=OFF -DWEBP_BUILD_CWEBP=OFF \
    -DWEBP_BUILD_DWEBP=OFF -DWEBP_BUILD_GIF2WEBP=OFF -DWEBP_BUILD_IMG2WEBP=OFF \
    -DWEBP_BUILD_VWEBP=OFF -DWEBP_BUILD_WEBPINFO=OFF -DWEBP_BUILD_WEBPMUX=OFF \
    -DWEBP_BUILD_EXTRAS=OFF -DWEBP_BUILD_LIBWEBPMUX=OFF -DWEBP_ENABLE_SIMD=OFF
  cmake --build "$bdir" --target webpdecoder >/dev/null
  mkdir -p "$prefix/lib" "$prefix/include/webp"
  cp "$bdir/libwebpdecoder.a" "$prefix/lib/"
  cp "$webp_src"/src/webp/{decode.h,types.h} "$prefix/include/webp/"
done

# The cache server's CDN fetch on Windows is libcurl with Schannel (the
# system's TLS and certificate store), also from Debian's source: HTTP and
# HTTPS only, with every other protocol and feature left out for size. NTLM
# stays, so that a proxy asking for Windows sign-in still lets the player in.
for triplet in i686-w64-mingw32 x86_64-w64-mingw32; do
  prefix="$deps/curl-schannel-$triplet"
  [ -f "$prefix/lib/libcurl.a" ] && continue
  debian_source curl 'curl-7.*' || exit 1
  curl_src=$source_dir
  echo "setup: cross-building libcurl (Schannel, HTTP only) for $triplet"
  bdir="$deps/curl-schannel-build-$triplet"
  cross_cmake "$curl_src" "$bdir" "$triplet" -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF \
    -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DHTTP_ONLY=ON \
    -DCURL_DISABLE_COOKIES=ON -DCURL_DISABLE_ALTSVC=ON -DCURL_DISABLE_HSTS=ON \
    -DCURL_DISABLE_DOH=ON -DCURL_DISABLE_MIME=ON -DCURL_DISABLE_NETRC=ON \
    -DCURL_DISABLE_PROGRESS_METER=ON -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF \
    -DUSE_LIBIDN2=OFF -DCURL_USE_LIBPSL=OFF -DCURL_USE_LIBSSH2=OFF -DENABLE_UNICODE=OFF
  cmake --build "$bdir" --target libcurl >/dev/null
  mkdir -p "$prefix/lib" "$prefix/include/curl"
  cp "$(find "$bdir" -name libcurl.a | head -n 1)" "$prefix/lib/"
  cp "$curl_src"/include/curl/*.h "$prefix/include/curl/"
done

echo "setup: done"
