#!/usr/bin/env bash
# Self-update against a local origin: two builds of the twin that differ in
# their local version text and point at the origin. The installed first one
# downloads the second, checks its digest, swaps the files and relaunches it
# with " re_open"; the new one removes "Kestrun.exe.old" and asks nothing.
# A wrong digest, a missing Content-Length, an unchanged version and a second
# instance of the same folder leave everything in place. A third build carries
# the public key of a signing key made for the test: it installs only a
# strictly newer release whose sig= verifies over its statement (version,
# name and the downloaded bytes), so neither an older signed release nor a
# relabelled one gets in. An executable over the size limit is refused, and
# a version file that trickles in holds start-up no longer than the check's
# budget. The origin's request log shows what was asked.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/install_lib.sh"

# The twins carry the origin's address, so the origin gets a fixed port
# outside the range of the program's own server (22325..32324).
port=18517
if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
  echo "port $port is taken"
  exit 1
fi

# The signing key of this test, made once per build folder and never
# committed; the twin with the key is rebuilt only when the key is new.
keys="$E2E_ROOT/build/e2e-keys"
mkdir -p "$keys"
[ -f "$keys/update_key.pem" ] || bash "$E2E_ROOT/scripts/make_update_key.sh" "$keys/update_key.pem" >/dev/null
public_key=$(bash "$E2E_ROOT/scripts/make_update_key.sh" --public "$keys/update_key.pem")

# build_twin DIR VERSION [PUBLIC-KEY]: built for the word size under test,
# in folders of their own for each (a build folder keeps its compiler).
twins="$E2E_ROOT/build/e2e-twins-$KESTRUN_WINE_ARCH"
twin_cpu=x86_64
[ "$KESTRUN_WINE_ARCH" = win32 ] && twin_cpu=i686
build_twin() {
  local dir="$twins/$1"
  # Configured every time, so the address, version and key always match this script.
  cmake -S "$E2E_ROOT" -B "$dir" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$E2E_ROOT/cmake/toolchain-$twin_cpu.cmake" \
    -DKESTRUN_CDN_BASE_URL="http://127.0.0.1:$port/" -DKESTRUN_LOCAL_VERSION="$2" \
    -DKESTRUN_UPDATE_PUBLIC_KEY="${3:-}" >/dev/null || return 1
  timeout 600 cmake --build "$dir" --target Kestrun -j 2 >/dev/null
}
build_twin e2e-v1 1.0.01 && build_twin e2e-v2 1.0.02 && build_twin e2e-v1-key 1.0.01 "$public_key" ||
  { echo "twin builds failed"; exit 1; }
v1="$twins/e2e-v1/Kestrun.exe"
v2="$twins/e2e-v2/Kestrun.exe"
v1k="$twins/e2e-v1-key/Kestrun.exe"
v1_md5=$(md5_of "$v1")
v2_md5=$(md5_of "$v2")
v1k_md5=$(md5_of "$v1k")
check "the three twins differ" [ "$(printf '%s\n' "$v1_md5" "$v2_md5" "$v1k_md5" | sort -u | wc -l)" = 3 ]

e2e_prefix
# The trickle case waits for the login window.
e2e_screen
e2e_unmanaged_windows
cdn=$(mktemp -d)
folder="$cdn/weiduan/Pelu/guanfang"
mkdir -p "$folder"
cp "$v2" "$folder/Kestrun_v2.exe"
ORIGIN_PID=
trap 'origin_stop; rm -rf "$cdn"; kill ${XVFB_PID:-} 2>/dev/null || true' EXIT

# ver.txt with CRLF line ends; $1 version, $2 digest.
publish() {
  printf 'version=%s\r\nmd5=%s\r\nexe=Kestrun_v2.exe\r\n' "$1" "$2" > "$folder/ver.txt"
}
asked() { grep -c "^GET /weiduan/Pelu/guanfang/$1 " "$ORIGIN_LOG"; }
restart_origin() {
  origin_stop
  origin_start "$cdn" --port "$port" "$@"
}
# The build installed by install_v1: the first twin, or the one with the key.
installed=$v1
install_v1() {
  local dir
  dir=$(e2e_install "$1")
  cp "$installed" "$dir/Kestrun.exe"
  echo "$dir"
}
unchanged() {
  [ "$(md5_of "$1/Kestrun.exe")" = "$(md5_of "$installed")" ] && [ ! -e "$1/Kestrun.exe.tmp" ] && [ ! -e "$1/Kestrun.exe.old" ]
}

echo "a new version is published (a build without a key, an unsigned version file)"
# Keys after the first 255 bytes of the file count as well.
{ printf '# %0300d\r\n' 0; printf 'version=1.0.02\r\nmd5=%s\r\nexe=Kestrun_v2.exe\r\n' "${v2_md5^^}"; } > "$folder/ver.txt"
restart_origin
dir=$(install_v1 Update)
e2e_start_and_end 90 "$dir" Kestrun.exe
check "start exits with 0" [ "$E2E_RC" = 0 ]
check "the program is now the second build" [ "$(md5_of "$dir/Kestrun.exe")" = "$v2_md5" ]
check "the relaunched program removed Kestrun.exe.old" [ ! -e "$dir/Kestrun.exe.old" ]
check "no download is left over" [ ! -e "$dir/Kestrun.exe.tmp" ]
check "the version file was asked once: the relaunch asked nothing" [ "$(asked ver.txt)" = 1 ]
check "the executable was asked once" [ "$(asked Kestrun_v2.exe)" = 1 ]
check "nothing else was asked" [ "$(wc -l < "$ORIGIN_LOG")" = 2 ]
check "requests carry the Agent<ticks> user agent" [ -z "$(grep -v ' Agent-\?[0-9][0-9]*$' "$ORIGIN_LOG")" ]

# expect_no_update FOLDER EXPECTED-EXE-REQUESTS [origin options]: a start of
# the installed twin with the origin so configured changes nothing; counts
# the requests for $published.
published=Kestrun_v2.exe
expect_no_update() {
  local name=$1 downloads=$2 dir
  shift 2
  restart_origin "$@"
  dir=$(install_v1 "$name")
  e2e_start_and_end 60 "$dir" Kestrun.exe
  check "everything stays in place" unchanged "$dir"
  check "the executable was asked $downloads time(s)" [ "$(asked "$published")" = "$downloads" ]
}

echo "the digest does not match"
publish 1.0.02 "$v1_md5"
expect_no_update WrongDigest 1

echo "the executable comes without Content-Length"
publish 1.0.02 "$v2_md5"
expect_no_update NoLength 1 --no-length 'Kestrun_v2'

echo "the version file comes without Content-Length"
expect_no_update NoLengthVersion 0 --no-length 'ver\.txt'

echo "the published version is the local one"
publish 1.0.01 "$v2_md5"
expect_no_update SameVersion 0
check "only the version file was asked" [ "$(asked ver.txt)/$(wc -l < "$ORIGIN_LOG")" = 1/1 ]

echo "a second instance of the same folder"
publish 1.0.02 "$v2_md5"
# The first instance holds the folder's mutex while its request waits.
restart_origin --delay 6
dir=$(install_v1 TwoInstances)
(cd "$dir" && timeout 60 "$E2E_WINE" Kestrun.exe) &
first=$!
for _ in $(seq 200); do [ -s "$ORIGIN_LOG" ] && break; sleep 0.1; done
e2e_start_and_end 90 "$dir" Kestrun.exe
second_rc=$E2E_RC
wait "$first"
check "both instances end" [ "$second_rc" = 0 ]
check "only the first instance asked for the version file" [ "$(asked ver.txt)" = 1 ]

echo "an old file from an earlier update is in the way"
publish 1.0.02 "$v2_md5"
restart_origin
dir=$(install_v1 OldInTheWay)
echo old > "$dir/Kestrun.exe.old"
chmod a-w "$dir/Kestrun.exe.old"
e2e_start_and_end 90 "$dir" Kestrun.exe
check "the program is unchanged" [ "$(md5_of "$dir/Kestrun.exe")" = "$v1_md5" ]
check "the verified download is kept for the next start" [ "$(md5_of "$dir/Kestrun.exe.tmp")" = "$v2_md5" ]
check "the relaunched program asked nothing" [ "$(asked ver.txt)" = 1 ]

installed=$v1k
signed="$cdn/signed-ver.txt"
/usr/bin/python3 "$E2E_ROOT/scripts/sign_update.py" "$keys/update_key.pem" "$folder/Kestrun_v2.exe" 1.0.02 > "$signed"

echo "a signed release, for the build with the key"
cp "$signed" "$folder/ver.txt"
restart_origin
dir=$(install_v1 Signed)
e2e_start_and_end 90 "$dir" Kestrun.exe
check "start exits with 0" [ "$E2E_RC" = 0 ]
check "the program is now the second build" [ "$(md5_of "$dir/Kestrun.exe")" = "$v2_md5" ]
check "the relaunched program removed Kestrun.exe.old" [ ! -e "$dir/Kestrun.exe.old" ]
check "the version file and the executable were asked once each" \
  [ "$(asked ver.txt)/$(asked Kestrun_v2.exe)/$(wc -l < "$ORIGIN_LOG")" = 1/1/2 ]

echo "an attacker's executable, its digest, and the real release's signature"
# What a hostile network path can serve: other bytes under the same name and
# a version file whose md5 matches them; it cannot sign them.
cp "$folder/Kestrun_v2.exe" "$cdn/real.exe"
cp "$v1" "$folder/Kestrun_v2.exe"
sed "s/^md5=.*\r\$/md5=$v1_md5\r/" "$signed" > "$folder/ver.txt"
check "the forged version file differs from the signed one only in md5" \
  [ "$(diff "$signed" "$folder/ver.txt" | grep -c '^[<>] md5=')" = 2 ]
expect_no_update Forged 1
mv "$cdn/real.exe" "$folder/Kestrun_v2.exe"

echo "an unsigned version file, for the build with the key"
publish 1.0.02 "$v2_md5"
expect_no_update Unsigned 0

echo "the publisher's older signed release, served again"
# Genuinely signed with the same key, but older than the installed 1.0.01.
cp "$v1" "$folder/Kestrun_old.exe"
older="$cdn/older-ver.txt"
/usr/bin/python3 "$E2E_ROOT/scripts/sign_update.py" "$keys/update_key.pem" "$folder/Kestrun_old.exe" 1.0.00 > "$older"
cp "$older" "$folder/ver.txt"
published=Kestrun_old.exe
expect_no_update OlderRelease 0
check "only the version file was asked" [ "$(asked ver.txt)/$(wc -l < "$ORIGIN_LOG")" = 1/1 ]

echo "the older release's genuine statement under a changed version text"
sed 's/^version=.*\r$/version=9.9.99\r/' "$older" > "$folder/ver.txt"
check "the version file differs from the signed one only in its version" \
  [ "$(diff "$older" "$folder/ver.txt" | grep -c '^[<>] version=')" = 2 ]
# Newer than 1.0.01, so the executable is fetched; its signature refuses it.
expect_no_update Relabelled 1

installed=$v1
echo "an executable over the size limit (32 MiB), for a build without a key"
# The second build padded past the limit still runs and matches its digest:
# only the limit keeps it out.
cp "$v2" "$folder/Kestrun_big.exe"
truncate -s $((32 * 1024 * 1024 + 1)) "$folder/Kestrun_big.exe"
printf 'version=1.0.02\r\nmd5=%s\r\nexe=Kestrun_big.exe\r\n' "$(md5_of "$folder/Kestrun_big.exe")" > "$folder/ver.txt"
published=Kestrun_big.exe
expect_no_update OverTheLimit 1
rm -f "$folder/Kestrun_big.exe"
published=Kestrun_v2.exe

echo "a version file that trickles in, a byte every 3 s"
publish 1.0.02 "$v2_md5"
restart_origin --trickle 'ver\.txt' --trickle-interval 3
dir=$(install_v1 Trickled)
started=$SECONDS
(cd "$dir" && timeout 150 "$E2E_WINE" Kestrun.exe) &
run=$!
winctl wait OrvikVelmora 120000 >/dev/null 2>&1
shown=$?
waited=$((SECONDS - started))
# The whole file would take over 3 minutes; the check gives up after 20 s.
within() { [ "$1" = 0 ] && [ "$2" -ge 18 ] && [ "$2" -le 60 ]; }
check "the login window appears after the update check's 20 s (${waited} s)" within "$shown" "$waited"
e2e_login_then_exit >/dev/null 2>&1
wait "$run"
timeout 30 /usr/lib/wine/wineserver -w 2>/dev/null || true
check "the version file was asked, the executable never" [ "$(asked ver.txt)/$(asked Kestrun_v2.exe)" = 1/0 ]
check "everything stays in place" unchanged "$dir"

e2e_done
