#!/usr/bin/env bash
# The cache folder's size budget under Wine: the Windows cache host with a
# budget of 1,000,000 bytes over a wz_cdn folder that is full of old files.
# Fresh fetches push it over; the oldest cache files go, the fresh ones and
# an old one just used stay, and files that are not cache files are left.
source "$(dirname "$0")/lib.sh"
e2e_prefix
work=$(mktemp -d)
wine_loader=$E2E_WINE
build=$E2E_BUILD
budget=1000000
size=100000

md5_of() { printf '%s' "$1" | md5sum | cut -d' ' -f1; }
cache_bytes() { find "$cache" -maxdepth 1 -type f -regextype posix-extended -regex '.*/[0-9a-f]{32}' -printf '%s\n' | awk '{s += $1} END {print s + 0}'; }

origin="$work/origin"
mkdir -p "$origin/wz_cdn/new"
for i in 1 2 3 4 5 6; do head -c $size /dev/urandom > "$origin/wz_cdn/new/$i.bin"; done
origin_start "$origin"

# Ten old cache files of 100,000 bytes, file N last used N+30 days ago: the
# folder is exactly at its budget. Beside them a note, not a cache file.
dir="$WINEPREFIX/drive_c/Budget"
cache="$dir/wz_cdn"
mkdir -p "$cache"
cp "$build/kestrun_cache_host.exe" "$dir/"
for i in $(seq 10); do
  f="$cache/$(md5_of "/wz_cdn/old/$i.bin")"
  head -c $size /dev/zero | tr '\0' "$((i % 10))" > "$f"
  touch -d "$((i + 30)) days ago" "$f"
done
# Old files 1 to 9 have metadata beside them (the keeper does not read it),
# and one metadata file has lost its body.
for i in $(seq 9); do printf 'meta' > "$cache/$(md5_of "/wz_cdn/old/$i.bin").meta"; done
printf 'meta' > "$cache/$(md5_of /wz_cdn/orphan.bin).meta"
printf 'not ours' > "$cache/notes.txt"
touch -d '90 days ago' "$cache/notes.txt"

out="$work/host.out"
fifo="$work/stdin"
mkfifo "$fifo"
(cd "$dir" && timeout 300 "$wine_loader" kestrun_cache_host.exe --budget=$budget --touch=0 - 0 \
  "http://127.0.0.1:$ORIGIN_PORT/" 5 < "$fifo" > "$out" 2>&1) &
host_pid=$!
sleep 600 > "$fifo" &
input_pid=$!
for _ in $(seq 400); do grep -q '^listening\|^failed' "$out" && break; sleep 0.05; done
port=$(tr -d '\r' < "$out" | sed -n 's/^listening //p')
check "host listens with a budget" [ -n "$port" ]
# A temporary file of another instance's fetch under way, put in after the
# launch has swept those of ended processes: eviction must leave it alone.
part="$(md5_of /wz_cdn/new/9.bin).77-0.part"
head -c $((3 * budget)) /dev/zero > "$cache/$part"

# The oldest file is used once more before the fresh ones come.
curl -s -m 20 -o "$work/old10" "http://127.0.0.1:$port/wz_cdn/old/10.bin"
check "an old file is served from the cache" cmp -s "$work/old10" "$cache/$(md5_of /wz_cdn/old/10.bin)"
check "indexing at launch removes nothing within the budget" [ "$(cache_bytes)" = $budget ]

ok=1
for i in 1 2 3 4 5 6; do
  curl -s -m 20 -o "$work/new$i" "http://127.0.0.1:$port/wz_cdn/new/$i.bin"
  cmp -s "$work/new$i" "$origin/wz_cdn/new/$i.bin" || ok=0
done
check "fresh resources are served whole" [ $ok = 1 ]
for _ in $(seq 200); do [ "$(cache_bytes)" -le $budget ] && break; sleep 0.05; done
check "the folder is back within its budget" [ "$(cache_bytes)" -le $budget ]
fresh=0
for i in 1 2 3 4 5 6; do [ -f "$cache/$(md5_of "/wz_cdn/new/$i.bin")" ] && fresh=$((fresh + 1)); done
check "every fresh file stays" [ $fresh = 6 ]
check "the old file just used stays" [ -f "$cache/$(md5_of /wz_cdn/old/10.bin)" ]
gone=""
for i in 9 8 7 6 5 4; do [ -f "$cache/$(md5_of "/wz_cdn/old/$i.bin")" ] || gone="$gone $i"; done
check "the least recently used old files went (gone:$gone)" [ "$gone" = " 9 8 7 6 5 4" ]
check "a file that is not ours stays" [ -f "$cache/notes.txt" ]
metas=""
for i in 9 8 7 6 5 4; do [ -f "$cache/$(md5_of "/wz_cdn/old/$i.bin").meta" ] && metas="$metas $i"; done
check "the files that went took their metadata (left:$metas)" [ -z "$metas" ]
check "metadata of a file that stays stays" [ -f "$cache/$(md5_of /wz_cdn/old/1.bin).meta" ]
check "metadata without its file is removed" [ ! -f "$cache/$(md5_of /wz_cdn/orphan.bin).meta" ]
check "a temporary file being written stays" [ -f "$cache/$part" ]
check "the hit moved its file's time" [ -n "$(find "$cache" -name "$(md5_of /wz_cdn/old/10.bin)" -mmin -5)" ]

kill "$input_pid"
wait "$host_pid"
check "host stops in order" grep -q '^stopping' "$out"
origin_stop
rm -rf "$work"
e2e_done
