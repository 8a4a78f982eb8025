#!/usr/bin/env bash
# Launch with a large cache folder (not a test, never run by CI, never fails
# on speed): FILES (100000) cache files, our native server started ROUNDS (3)
# times without a budget and with the default one, taking turns. Reports the
# keeper's indexing time and, for both, the time from the start of the
# process to the end of its first hit and that hit's own time, medians.
#   bench/launch_index.sh
# Appends the result to build/bench/launch_index.md.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
files=${FILES:-100000}
rounds=${ROUNDS:-3}
out=$here/build/bench
mkdir -p "$out"
work=$(mktemp -d -p "$out")
trap 'rm -rf "$work"' EXIT
py=/usr/bin/python3
bash "$here/scripts/build.sh" native >/dev/null
host=$here/build/native/kestrun_cache_host

# FILES cache files of 1 to 64 KiB (sparse: the listing reads names, sizes
# and times, never bodies), and the one the first request asks for.
$py - "$work/cache" "$files" <<'PY'
import hashlib, os, random, sys
folder, count = sys.argv[1], int(sys.argv[2])
os.makedirs(folder)
rng = random.Random(7)
for i in range(count):
    name = hashlib.md5(("/wz_cdn/res/%d.png" % i).encode()).hexdigest()
    with open(os.path.join(folder, name), "wb") as f:
        f.truncate(rng.randint(1024, 65536))
with open(os.path.join(folder, hashlib.md5(b"/wz_cdn/first.png").hexdigest()), "wb") as f:
    f.write(b"x" * 4096)
PY

# run BUDGET_OPTION: "launch_to_hit_ms hit_ms index_ms"
run() {
  local t0 port hit index
  : > "$work/host.out"
  : > "$work/host.err"
  t0=$(date +%s%N)
  KESTRUN_TRACE=1 "$host" "$1" "$work/cache" 0 "http://127.0.0.1:9/" > "$work/host.out" 2> "$work/host.err" &
  local pid=$!
  for _ in $(seq 2000); do grep -q '^listening' "$work/host.out" && break; sleep 0.005; done
  port=$(sed -n 's/^listening //p' "$work/host.out")
  hit=$(curl -s -o /dev/null -w '%{time_total}' "http://127.0.0.1:$port/wz_cdn/first.png")
  local launched=$((($(date +%s%N) - t0) / 1000000))
  for _ in $(seq 600); do grep -q 'indexed' "$work/host.err" && break; [ "$1" = --budget=0 ] && break; sleep 0.05; done
  index=$(sed -n 's/.* in \([0-9]*\) ms$/\1/p' "$work/host.err")
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  echo "$launched $($py -c "print(round($hit * 1000, 2))") ${index:--}"
}

for _ in $(seq "$rounds"); do
  run --budget=0 >> "$work/none"
  run --budget=4294967296 >> "$work/budget"
done
$py - "$work" "$files" "$rounds" >> "$out/launch_index.md" <<'PY'
import statistics, sys
work, files, rounds = sys.argv[1:]
def col(name, i):
    with open("%s/%s" % (work, name)) as f:
        return statistics.median(float(line.split()[i]) for line in f)
print("%s cache files, median of %s launches each: indexing %.0f ms; from process start to the end of the first "
      "hit %.0f ms without a budget and %.0f ms with one; the first hit itself %.2f ms and %.2f ms."
      % (files, rounds, col("budget", 2), col("none", 0), col("budget", 0), col("none", 1), col("budget", 1)))
PY
tail -1 "$out/launch_index.md"
