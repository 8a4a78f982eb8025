# The fetch's kept CDN connections, end to end: reuse, unasked bytes, a
# connection the CDN closed, https against a test authority, and the
# player's proxy. Sourced by cache_server_cases.sh; the including script
# also defines host_file PATH (the name the host opens PATH by) and
# host_proxy [HOST:PORT | script=URL] (sets the player's proxy, or a
# configuration script, for hosts started next; none without an argument;
# false when the host has no such setting). HOST_OPTION, when set, is passed to the host.

# peers PATTERN: how many connections the origin's requests matching PATTERN came over.
peers() { grep -E -- "$1" "$ORIGIN_LOG" | awk '{ print $NF }' | sort -u | wc -l; }

# tls_files DIR: a test authority with a certificate for localhost, one for
# another name, an expired one, and one for localhost from an authority
# nobody trusts.
tls_files() {
  local d=$1 ca
  mkdir -p "$d"
  for ca in ca other-ca; do
    openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=Kestrun test $ca" \
      -keyout "$d/$ca.key" -out "$d/$ca.pem" 2>/dev/null
  done
  # name CA CN: a server certificate signed by CA for CN.
  sign() {
    printf 'subjectAltName=DNS:%s\n' "$3" > "$d/$1.ext"
    openssl req -newkey rsa:2048 -nodes -subj "/CN=$3" -keyout "$d/$1.key" -out "$d/$1.csr" 2>/dev/null
    openssl x509 -req -in "$d/$1.csr" -CA "$d/$2.pem" -CAkey "$d/$2.key" -CAcreateserial -days 30 \
      -extfile "$d/$1.ext" -out "$d/$1.pem" 2>/dev/null
  }
  sign good ca localhost
  sign wrong-name ca other.test
  sign unknown other-ca localhost
  # Expired: openssl ca is the tool that takes dates in the past.
  openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" -keyout "$d/expired.key" -out "$d/expired.csr" 2>/dev/null
  mkdir -p "$d/db" && : > "$d/db/index" && echo 01 > "$d/db/serial"
  printf '[ca]\ndefault_ca=t\n[t]\ndatabase=%s/db/index\nserial=%s/db/serial\nnew_certs_dir=%s/db\npolicy=p\ndefault_md=sha256\nx509_extensions=e\n[p]\ncommonName=supplied\n[e]\nsubjectAltName=DNS:localhost\n' \
    "$d" "$d" "$d" > "$d/ca.cnf"
  openssl ca -batch -config "$d/ca.cnf" -cert "$d/ca.pem" -keyfile "$d/ca.key" -in "$d/expired.csr" \
    -startdate 20200101000000Z -enddate 20200201000000Z -out "$d/expired.pem" >/dev/null 2>&1
}

run_connection_cases() {
  local work=$1 origin="$1/kept" b="$1/kept.bin" h="$1/kept.h" i ok
  mkdir -p "$origin/wz_cdn"
  for i in $(seq 10); do head -c 20000 /dev/urandom > "$origin/wz_cdn/r$i.bin"; done

  origin_start "$origin" --log-peer --keep-alive '.' --extra-now 'now-extra' --close-idle 3
  host_start "http://127.0.0.1:$ORIGIN_PORT/"
  ok=yes
  for i in $(seq 10); do
    curl -s -m 20 -o "$b" "$(url "/wz_cdn/r$i.bin")"
    cmp -s "$b" "$origin/wz_cdn/r$i.bin" || ok=no
  done
  check "ten misses one after another arrive whole" [ "$ok" = yes ]
  check "ten misses reach the CDN over one connection ($(peers '/r[0-9]+\.bin '))" [ "$(peers '/r[0-9]+\.bin ')" = 1 ]

  # The CDN sends an unasked answer right behind the asked one.
  curl -s -m 20 -o "$b" "$(url '/wz_cdn/r1.bin?now-extra')"
  curl -s -m 20 -D "$h" -o "$b" "$(url '/wz_cdn/r2.bin?after-extra')"
  check "after unasked CDN bytes the next miss gets its own bytes or a 5xx" bash -c "
    cmp -s '$b' '$origin/wz_cdn/r2.bin' || head -1 '$h' | grep -q '^HTTP/1.0 5'"
  check "unasked CDN bytes are neither served nor stored" bash -c "! grep -q EXTRA! '$b' && ! grep -rqs EXTRA! '$CACHE_DIR'"

  # The CDN closes a kept connection between two misses.
  curl -s -m 20 -o "$b" "$(url '/wz_cdn/r3.bin?before-close')"
  sleep 4
  curl -s -m 20 -D "$h" -o "$b" "$(url '/wz_cdn/r4.bin?after-close')"
  check "a miss after the CDN closed the kept connection succeeds" bash -c "head -1 '$h' | grep -q '^HTTP/1.0 200' &&
    cmp -s '$b' '$origin/wz_cdn/r4.bin'"
  check "and goes out on a new connection" [ "$(peers 'before-close|after-close')" = 2 ]
  host_stop

  # The player's proxy: the CDN's name resolves nowhere, so only a fetch
  # through the proxy (the origin, which serves requests in a proxy's form) arrives.
  host_proxy "127.0.0.1:$ORIGIN_PORT"
  host_start "http://cdn.kestrun-proxied.invalid/"
  curl -s -m 20 -D "$h" -o "$b" "$(url /wz_cdn/r5.bin)"
  check "with a proxy set, a miss goes through it" bash -c "head -1 '$h' | grep -q '^HTTP/1.0 200' &&
    cmp -s '$b' '$origin/wz_cdn/r5.bin' && grep -q '^GET http://cdn.kestrun-proxied.invalid//wz_cdn/r5.bin ' '$ORIGIN_LOG'"
  host_stop
  # A configuration script (served by the origin) that names the proxy.
  printf 'function FindProxyForURL(url, host) { return "PROXY 127.0.0.1:%s"; }\n' "$ORIGIN_PORT" > "$origin/proxy.pac"
  if host_proxy "script=http://127.0.0.1:$ORIGIN_PORT/proxy.pac"; then
    host_start "http://cdn.kestrun-scripted.invalid/"
    curl -s -m 20 -D "$h" -o "$b" "$(url /wz_cdn/r6.bin)"
    check "with a configuration script, a miss goes through the proxy it names" bash -c "head -1 '$h' | grep -q '^HTTP/1.0 200' &&
      cmp -s '$b' '$origin/wz_cdn/r6.bin' && grep -q '^GET http://cdn.kestrun-scripted.invalid//wz_cdn/r6.bin ' '$ORIGIN_LOG'"
    host_stop
  fi
  host_proxy
  origin_stop

  # https: only the test authority is trusted, and only for its own names
  # and dates.
  local tls="$work/tls" name
  tls_files "$tls"
  HOST_OPTION="--trust-ca=$(host_file "$tls/ca.pem")"
  for name in good wrong-name expired unknown; do
    origin_start "$origin" --tls-cert "$tls/$name.pem" --tls-key "$tls/$name.key" --log-peer --keep-alive '.'
    host_start "https://localhost:$ORIGIN_PORT/"
    curl -s -m 20 -D "$h" -o "$b" "$(url "/wz_cdn/r6.bin?$name")"
    if [ "$name" = good ]; then
      check "https CDN from the trusted authority: the miss is served" bash -c "head -1 '$h' | grep -q '^HTTP/1.0 200' &&
        cmp -s '$b' '$origin/wz_cdn/r6.bin'"
      curl -s -m 20 -o "$b" "$(url "/wz_cdn/r7.bin?$name")"
      check "a second https miss is served over the same connection" bash -c "cmp -s '$b' '$origin/wz_cdn/r7.bin' &&
        [ \$(grep -cE 'r[67].bin' '$ORIGIN_LOG') = 2 ] && [ $(peers 'r[67].bin') = 1 ]"
    else
      check "https CDN with a certificate $name: 502, nothing stored" bash -c "head -1 '$h' | grep -q '^HTTP/1.0 502' &&
        [ ! -e '$CACHE_DIR/$(md5_of "/wz_cdn/r6.bin?$name")' ]"
    fi
    host_stop
    origin_stop
  done
  unset HOST_OPTION
}
