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
# a version file that trickles in holds start-up no longer than its time
# limit. A check that takes a while shows the update window: a slow line
# updates a program started from another folder, beside the program; the
# player can skip the download; a stalled or trickling download is given up.
# The origin's request log shows what was asked.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/install_lib.sh"

port=18517
fixed_origin_port "$port"

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

# The update window: found by its title ("Kestrun 更新"), its parts by id.
update_window=Kestrun
percent() { winctl text "$update_window" 1103 2>/dev/null | tr -dc '0-9'; }
# ends_login RUN-PID: ends the login window that follows and waits for the run.
ends_login() {
  e2e_login_then_exit >/dev/null 2>&1
  wait "$1"
  timeout 30 /usr/lib/wine/wineserver -w 2>/dev/null || true
}

echo "a version file that trickles in, a byte every 3 s"
publish 1.0.02 "$v2_md5"
restart_origin --trickle 'ver\.txt' --trickle-interval 3
dir=$(install_v1 Trickled)
started=$SECONDS
(cd "$dir" && timeout 150 "$E2E_WINE" Kestrun.exe) &
run=$!
check "the update window shows the check after a second" winctl wait "$update_window" 10000
check "it says it is checking, without a percentage" \
  [ "$(winctl text "$update_window" 1101 | tr -d '\r\n')/$(percent)" = "正在检查更新…/" ]
winctl wait OrvikVelmora 120000 >/dev/null 2>&1
shown=$?
waited=$((SECONDS - started))
# The whole file would take over 3 minutes; the check gives up after 10 s.
within() { [ "$1" = 0 ] && [ "$2" -ge 9 ] && [ "$2" -le 40 ]; }
check "the login window appears after the version file's 10 s (${waited} s)" within "$shown" "$waited"
ends_login "$run"
check "the version file was asked, the executable never" [ "$(asked ver.txt)/$(asked Kestrun_v2.exe)" = 1/0 ]
check "everything stays in place" unchanged "$dir"

installed=$v1k
cp "$signed" "$folder/ver.txt"
echo "a keyed build on a slow line (30 KB/s), started from another folder"
restart_origin --rate 'Kestrun_v2' --rate-bps 30000
game=$(install_v1 Game)
elsewhere="$WINEPREFIX/drive_c/Elsewhere"
mkdir -p "$elsewhere"
started=$SECONDS
(cd "$elsewhere" && timeout 240 "$E2E_WINE" 'C:\Game\Kestrun.exe') &
run=$!
check "the update window appears when the download starts" winctl wait "$update_window" 10000
sleep 3
first=$(percent)
sleep 4
second=$(percent)
check "its percentage advances (${first:-none}% then ${second:-none}%)" \
  [ -n "$first" ] && [ -n "$second" ] && [ "$second" -gt "$first" ] && [ "$second" -lt 100 ]
check "it answers its messages while the download runs" [ "$(winctl send "$update_window" 0 0 0 | tr -d '\r')" = 0 ]
# The relaunched new version opens the login window.
winctl wait OrvikVelmora 240000 >/dev/null 2>&1
waited=$((SECONDS - started))
check "the new version's login window follows, after more than 20 s (${waited} s)" [ "$waited" -gt 20 ]
ends_login "$run"
check "the program in C:\\Game is now the second build" [ "$(md5_of "$game/Kestrun.exe")" = "$v2_md5" ]
check "nothing is left beside it but the cache folder" [ "$(ls "$game" | tr '\n' ' ')" = "Kestrun.exe wz_cdn " ]
check "nothing was written to the current folder" [ -z "$(ls -A "$elsewhere")" ]
check "the executable was asked once" [ "$(asked Kestrun_v2.exe)" = 1 ]

echo "the player skips a slow download"
restart_origin --rate 'Kestrun_v2' --rate-bps 30000
dir=$(install_v1 Skipped)
(cd "$dir" && timeout 120 "$E2E_WINE" Kestrun.exe) &
run=$!
winctl wait "$update_window" 10000 >/dev/null 2>&1
for _ in $(seq 50); do [ "$(percent)" -gt 0 ] 2>/dev/null && break; sleep 0.2; done
check "the download is under way ($(percent)%)" [ "$(percent)" -gt 0 ]
# BN_CLICKED from the skip button (1104).
took=$(winctl postwait "$update_window" 0x111 1104 0 OrvikVelmora 10000 | tr -d '\r')
check "skip reaches the login window within a second (${took:-never} ms)" [ -n "$took" ] && [ "$took" -le 1000 ]
check "the update window is gone" [ -z "$(winctl list | grep -a "^$update_window")" ]
ends_login "$run"
check "nothing is installed or left over" unchanged "$dir"

# gives_up NAME OPTIONS LOW HIGH: the download, served so, is given up
# between LOW and HIGH seconds after the window appears, and the login
# window follows with everything in place.
gives_up() {
  local name=$1 options=$2 low=$3 high=$4 dir run started waited
  # shellcheck disable=SC2086
  restart_origin $options
  dir=$(install_v1 "$name")
  # Timed from the start: how soon the window is found depends on the
  # machine, and the pace is judged from the download's own start.
  started=$SECONDS
  (cd "$dir" && timeout 120 "$E2E_WINE" Kestrun.exe) &
  run=$!
  check "the update window shows the download" winctl wait "$update_window" 10000
  winctl wait OrvikVelmora 90000 >/dev/null 2>&1
  waited=$((SECONDS - started))
  check "the login window follows after ${waited} s (${low}..${high} s)" [ "$waited" -ge "$low" ] && [ "$waited" -le "$high" ]
  ends_login "$run"
  check "nothing is installed or left over" unchanged "$dir"
}
echo "a download that stalls half-way"
gives_up Stalled "--stall Kestrun_v2" 13 30
echo "a download that trickles at 4 KB/s, under the minimum rate"
gives_up TooSlow "--rate Kestrun_v2 --rate-bps 4000" 8 25

e2e_done
