#!/usr/bin/env bash
# Builds a fuzz target with clang (libFuzzer + ASan) into build/fuzz (the
# server code instrumented for coverage too) and runs it for a bounded time:
#   run_fuzz.sh [SECONDS] [request|meta]
# "request" (the default) fuzzes the request handling, "meta" the reader of
# the entries' metadata files.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-60}
which=${2:-request}
dir=$here/build/fuzz
if [ ! -f "$dir/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$here" -B "$dir" -G Ninja -DKESTRUN_FUZZ=ON \
    -DKESTRUN_SANITIZE=address -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link >/dev/null
fi
if [ "$which" = meta ]; then
  cmake --build "$dir" --target entry_meta_fuzz -- -j2
  corpus=$dir/meta_corpus
  mkdir -p "$corpus"
  printf 'kestrun-entry 1\nlength 3\nchecksum 0123456789abcdef\nstored 5\nfresh -1\nflags -\n' > "$corpus/bare"
  printf 'kestrun-entry 1\nlength 48213\nchecksum 9ae3c1f05b7d2e44\nstored 1796904000\nfresh 600\nflags no-cache must-revalidate\ntype text/css; charset=utf-8\netag "5f3a-1c"\nlast-modified Thu, 10 Dec 2026 12:00:00 GMT\n' > "$corpus/full"
  cd "$dir"
  exec ./entry_meta_fuzz -max_total_time="$seconds" -max_len=5000 -timeout=10 meta_corpus
fi
cmake --build "$dir" --target http_request_fuzz -- -j2
corpus=$dir/corpus
mkdir -p "$corpus"
printf 'GET /wz_cdn/a.png HTTP/1.1\r\nConnection: Keep-Alive\r\n\r\n' > "$corpus/get"
printf 'POST /x HTTP/1.0\r\n\r\n' > "$corpus/post"
printf 'GET /a\r\nHost: x\r\n\r\n' > "$corpus/nospace2"
printf 'GET /a/..%%2f%%e9\\b?x=/../y#z HTTP/1.1\r\nconnection: keep-alive , close\r\n\r\n' > "$corpus/target"
printf 'GET /a HTTP/1.1\r\nContent-Length : 3\r\nX: a\r\n b\r\n\r\n' > "$corpus/head"
cd "$dir"
./http_request_fuzz -max_total_time="$seconds" -max_len=4096 -timeout=10 corpus
