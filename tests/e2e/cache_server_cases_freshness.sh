# The cache server's entry cases: what the CDN's answer says is kept beside
# each body and decides how long it is served, how it is asked after, with
# which type it goes out, and that a damaged body is fetched again. Sourced
# by cache_server_cases.sh; uses its host_start, host_stop and helpers. A
# restart on the same folder is asked of host_start with HOST_CACHE_DIR
# (native) or HOST_PROGRAM_DIR (Wine).

# conditional_count PATH: conditional requests the origin had for PATH.
conditional_count() { grep -c -F -- "IF $1 " "$ORIGIN_LOG" || true; }
not_modified_count() { grep -c -x -F -- "304 $1" "$ORIGIN_LOG" || true; }
# wait_for SECONDS COMMAND...: polls until the command succeeds.
wait_for() {
  local limit=$1
  shift
  local end=$((SECONDS + limit))
  until "$@"; do [ $SECONDS -lt $end ] || return 1; sleep 0.1; done
}
body_is() { [ "$(curl -s -m 20 "$(url "$1")")" = "$2" ]; }

run_freshness_cases() {
  local work=$1
  local o="$work/fresh-origin" h="$work/fresh-h.txt" b="$work/fresh-b.bin"
  mkdir -p "$o/wz_cdn"
  printf 'age-v1' > "$o/wz_cdn/age2.js"
  printf 'kept-out' > "$o/wz_cdn/nostore.js"
  printf 'nocache-v1' > "$o/wz_cdn/nocache.js"
  printf 'body{}' > "$o/wz_cdn/style.css"
  printf 'down-v1' > "$o/wz_cdn/down.js"
  printf 'strict-v1' > "$o/wz_cdn/strict.js"
  printf 'ten-v1' > "$o/wz_cdn/ten.js"
  printf 'gone-v1' > "$o/wz_cdn/gone.js"
  head -c 200000 /dev/urandom > "$o/wz_cdn/trunc.bin"
  head -c 200000 /dev/urandom > "$o/wz_cdn/flip.bin"
  origin_start "$o" --validators 'age2|nocache|down|strict|ten|gone' \
    --header 'age2=Cache-Control: max-age=2' --header 'nostore=Cache-Control: no-store' \
    --header 'nocache=Cache-Control: no-cache' --header 'down=Cache-Control: no-cache' \
    --header 'strict=Cache-Control: max-age=1, must-revalidate' --header 'ten=Cache-Control: max-age=1' \
    --header 'gone=Cache-Control: max-age=1' \
    --header 'style=Content-Type: text/css; charset=utf-8' \
    --cond-fail 'down=hang' --cond-fail 'strict=503' --delay 0.5 --delay-match 'ten'
  host_start "http://127.0.0.1:$ORIGIN_PORT/"
  local dir=$CACHE_DIR

  # max-age=2: a hit within it asks nothing.
  curl -s -m 20 -o "$b" "$(url /wz_cdn/age2.js)"
  curl -s -m 20 -o "$b" "$(url /wz_cdn/age2.js)"
  check "max-age: a hit within it asks nothing" bash -c "[ '$(cat "$b")' = age-v1 ] && [ $(origin_count //wz_cdn/age2.js) = 1 ]"
  check "max-age: the metadata is kept beside the body" bash -c "
    grep -qx 'fresh 2' '$dir/$(md5_of /wz_cdn/age2.js).meta' && grep -q '^etag \"' '$dir/$(md5_of /wz_cdn/age2.js).meta'"
  # After it, a changed body reaches the browser within two requests.
  sleep 2.2
  printf 'age-v2' > "$o/wz_cdn/age2.js"
  touch -d '+5 seconds' "$o/wz_cdn/age2.js"
  local first second
  first=$(curl -s -m 20 "$(url /wz_cdn/age2.js)")
  wait_for 5 bash -c "[ \"\$(cat '$dir/$(md5_of /wz_cdn/age2.js)')\" = age-v2 ]"
  second=$(curl -s -m 20 "$(url /wz_cdn/age2.js)")
  check "max-age: once stale, the stored body is served at once" [ "$first" = age-v1 ]
  check "max-age: the changed body comes with the next request" [ "$second" = age-v2 ]
  check "max-age: one conditional request brought it" [ "$(conditional_count /wz_cdn/age2.js)" = 1 ]
  # An unchanged body costs one conditional request, answered 304; then hits.
  sleep 2.2
  curl -s -m 20 -o "$b" "$(url /wz_cdn/age2.js)"
  wait_for 5 bash -c "[ \$(grep -c -x -F -- '304 /wz_cdn/age2.js' '$ORIGIN_LOG') = 1 ]"
  sleep 0.3
  curl -s -m 20 -o "$b" "$(url /wz_cdn/age2.js)"
  check "max-age: unchanged costs one conditional request, answered 304, then hits" bash -c "
    [ '$(cat "$b")' = age-v2 ] && [ $(conditional_count /wz_cdn/age2.js) = 2 ] &&
    [ $(not_modified_count /wz_cdn/age2.js) = 1 ] && [ $(origin_count //wz_cdn/age2.js) = 3 ]"
  check "a conditional request asks no CDN edge to skip its cache" bash -c "
    grep -q '^IF /wz_cdn/age2.js ' '$ORIGIN_LOG' && ! grep -q '^IF .* pragma=' '$ORIGIN_LOG'"

  # no-store is passed on and never written.
  curl -s -m 20 -o "$b" "$(url /wz_cdn/nostore.js)"
  curl -s -m 20 -o /dev/null "$(url /wz_cdn/nostore.js)"
  check "no-store: served, asked each time, never written" bash -c "[ '$(cat "$b")' = kept-out ] &&
    [ $(origin_count //wz_cdn/nostore.js) = 2 ] && ! ls '$dir' | grep -q '$(md5_of /wz_cdn/nostore.js)'"

  # no-cache: asked before each use; a change is served at once.
  curl -s -m 20 -o /dev/null "$(url /wz_cdn/nocache.js)"
  check "no-cache: unchanged, served after a 304" body_is /wz_cdn/nocache.js nocache-v1
  printf 'nocache-v2' > "$o/wz_cdn/nocache.js"
  touch -d '+5 seconds' "$o/wz_cdn/nocache.js"
  check "no-cache: a change at the origin is served at once" body_is /wz_cdn/nocache.js nocache-v2
  check "no-cache: one conditional request per use" bash -c "[ $(conditional_count /wz_cdn/nocache.js) = 2 ] &&
    [ $(not_modified_count /wz_cdn/nocache.js) = 1 ]"

  # The type: the CDN's own, else the extension without the query.
  curl -s -m 20 -D "$h" -o /dev/null "$(url '/wz_cdn/style.css?v=3')"
  check "css?v=3 goes out with the CDN's type" grep -q '^Content-Type: text/css; charset=utf-8' "$h"
  printf 'legacy{}' > "$dir/$(md5_of '/wz_cdn/legacy.css?v=3')"
  curl -s -m 20 -D "$h" -o "$b" "$(url '/wz_cdn/legacy.css?v=3')"
  check "an entry without metadata for css?v=3 is text/css" grep -q '^Content-Type: text/css' "$h"
  check "responses tell the browser to ask again each time" grep -q '^Cache-Control: no-cache' "$h"

  # The CDN down or failing while an entry must be revalidated.
  curl -s -m 20 -o /dev/null "$(url /wz_cdn/down.js)"
  curl -s -m 20 -o /dev/null "$(url /wz_cdn/strict.js)"
  sleep 1.2
  local t0 took
  t0=$(now_ms)
  curl -s -m 20 -o "$b" "$(url /wz_cdn/down.js)"
  took=$(( $(now_ms) - t0 ))
  echo "  (a hanging revalidation answered in $took ms)"
  check "CDN not answering: the stored body, within the short deadline" bash -c "
    [ '$(cat "$b")' = down-v1 ] && [ $took -ge 2500 ] && [ $took -lt 4500 ]"
  check "CDN failing, must-revalidate: 504" bash -c "
    [ \"\$(curl -s -m 20 -o /dev/null -w '%{http_code}' '$(url /wz_cdn/strict.js)')\" = 504 ]"

  # Ten requests for one expired entry make one conditional request.
  curl -s -m 20 -o /dev/null "$(url /wz_cdn/ten.js)"
  sleep 1.2
  local i pids=()
  for i in $(seq 10); do curl -s -m 20 -o "$work/ten.$i" "$(url /wz_cdn/ten.js)" & pids+=($!); done
  wait "${pids[@]}"
  sleep 1
  check "ten requests for one expired entry: one conditional request" [ "$(conditional_count /wz_cdn/ten.js)" = 1 ]
  check "ten requests for one expired entry: all served" bash -c "[ \$(cat '$work'/ten.* | grep -o ten-v1 | wc -l) = 10 ]"

  # A resource the CDN no longer has leaves the cache at its revalidation.
  curl -s -m 20 -o /dev/null "$(url /wz_cdn/gone.js)"
  sleep 1.2
  rm "$o/wz_cdn/gone.js"
  curl -s -m 20 -o "$b" "$(url /wz_cdn/gone.js)"
  wait_for 5 bash -c "[ ! -e '$dir/$(md5_of /wz_cdn/gone.js)' ] && [ ! -e '$dir/$(md5_of /wz_cdn/gone.js).meta' ]"
  check "a 404 at revalidation removes the entry, body and metadata" bash -c "[ '$(cat "$b")' = gone-v1 ] &&
    [ \"\$(curl -s -m 20 -o /dev/null -w '%{http_code}' '$(url /wz_cdn/gone.js)')\" = 404 ]"

  # A legacy body is never fetched again.
  curl -s -m 20 -o "$b" "$(url '/wz_cdn/legacy.css?v=3')"
  check "a body without metadata is served and never fetched" bash -c "
    [ '$(cat "$b")' = 'legacy{}' ] && [ $(grep -c 'legacy.css' "$ORIGIN_LOG") = 0 ]"

  # Damaged bodies are fetched again: a truncated one at once, one with a
  # changed byte by the next run, which checks each entry once.
  curl -s -m 20 -o /dev/null "$(url /wz_cdn/trunc.bin)"
  curl -s -m 20 -o /dev/null "$(url /wz_cdn/flip.bin)"
  truncate -s 100000 "$dir/$(md5_of /wz_cdn/trunc.bin)"
  curl -s -m 20 -o "$b" "$(url /wz_cdn/trunc.bin)"
  check "a truncated body is fetched again" bash -c "cmp -s '$b' '$o/wz_cdn/trunc.bin' &&
    [ $(origin_count //wz_cdn/trunc.bin) = 2 ]"
  host_stop
  printf '\xff' | dd of="$dir/$(md5_of /wz_cdn/flip.bin)" bs=1 seek=1234 conv=notrunc 2>/dev/null
  HOST_CACHE_DIR=$dir HOST_PROGRAM_DIR=$(dirname "$dir") host_start "http://127.0.0.1:$ORIGIN_PORT/"
  curl -s -m 20 -o "$b" "$(url /wz_cdn/flip.bin)"
  check "a body with a changed byte is fetched again by the next run" bash -c "cmp -s '$b' '$o/wz_cdn/flip.bin' &&
    [ $(origin_count //wz_cdn/flip.bin) = 2 ] && cmp -s '$dir/$(md5_of /wz_cdn/flip.bin)' '$o/wz_cdn/flip.bin'"
  check "no metadata without its body" bash -c "cd '$dir' && for m in *.meta; do [ -f \"\${m%.meta}\" ] || exit 1; done"
  host_stop
  origin_stop
}
