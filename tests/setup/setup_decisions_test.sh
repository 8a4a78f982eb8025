#!/usr/bin/env bash
# Set-up's decisions when the package mirror is out of step: scripts/setup.sh
# runs against stub apt-get, dpkg and dpkg-query on PATH (the real package
# database is never touched) and a kernel probe that says i386 code runs.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bin=$work/bin state=$work/state
mkdir -p "$bin" "$work/tree/scripts"
cp "$root/scripts/setup.sh" "$work/tree/scripts/"
printf '#!/usr/bin/env bash\n[ "${1:-}" = --kernel ]\n' > "$work/tree/scripts/wine-arch.sh"

# The package database: "absent" lists packages not installed (all others
# are), "i386_pkgs" the installed i386 ones, "arches" the foreign
# architectures; "unresolvable" lists packages apt cannot install.
cat > "$bin/dpkg-query" <<'STUB'
#!/usr/bin/env bash
case "$*" in
  *'${Status}'*) grep -qx -- "${@: -1}" "$STUB/absent" && exit 1; printf 'install ok installed' ;;
  *'${Architecture}'*) echo "amd64 installed"; sed 's/.*/i386 installed/' "$STUB/i386_pkgs" ;;
  *) exit 2 ;;
esac
STUB
cat > "$bin/dpkg" <<'STUB'
#!/usr/bin/env bash
case $1 in
  --print-foreign-architectures) cat "$STUB/arches" ;;
  --add-architecture) echo "$2" >> "$STUB/arches" ;;
  --remove-architecture)
    if [ -s "$STUB/${2}_pkgs" ]; then
      echo "dpkg: error: cannot remove architecture '$2' currently in use by the database" >&2; exit 2
    fi
    grep -vx -- "$2" "$STUB/arches" > "$STUB/arches.new"; mv "$STUB/arches.new" "$STUB/arches" ;;
  *) exit 2 ;;
esac
STUB
# update fails as the out-of-step mirror does while i386 is configured.
cat > "$bin/apt-get" <<'STUB'
#!/usr/bin/env bash
echo "$* | foreign: $(tr '\n' ' ' < "$STUB/arches")" >> "$STUB/calls"
case " $* " in
  *" update "*)
    if grep -qx i386 "$STUB/arches"; then
      echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (71284 != 71208). Mirror sync in progress?" >&2
      exit 100
    fi ;;
  *" install "*)
    for a in "$@"; do
      if grep -qx -- "$a" "$STUB/unresolvable"; then
        echo "E: Unable to correct problems, you have held broken packages." >&2; exit 100
      fi
    done
    for a in "$@"; do
      grep -vx -- "$a" "$STUB/absent" > "$STUB/absent.new"; mv "$STUB/absent.new" "$STUB/absent"
      case $a in *:i386) echo "$a" >> "$STUB/i386_pkgs" ;; esac
    done ;;
  *" source "*) mkdir -p libwebp-1.2.4/src/webp ;;
  *) exit 2 ;;
esac
STUB
printf '#!/usr/bin/env bash\nexec "$@"\n' > "$bin/sudo"
chmod +x "$bin"/*

fails=0
check() {
  if eval "$2"; then echo "ok    $1"; else echo "FAIL  $1"; fails=$((fails + 1)); fi
}

# scenario FOREIGN-ARCHES ABSENT UNRESOLVABLE: a fresh state, then set-up;
# leaves its output in $out and its exit status in $rc.
scenario() {
  rm -rf "$state" "$work/deps" "$work/etc"
  mkdir -p "$state" "$work/etc/sources.list.d"
  printf '%s\n' $1 > "$state/arches"; printf '%s\n' $2 > "$state/absent"
  printf '%s\n' $3 > "$state/unresolvable"; : > "$state/i386_pkgs"; : > "$state/calls"
  printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: bookworm\nComponents: main\n' \
    > "$work/etc/sources.list.d/debian.sources"
  for t in i686-w64-mingw32 x86_64-w64-mingw32; do
    mkdir -p "$work/deps/webp-small-$t/lib"; : > "$work/deps/webp-small-$t/lib/libwebpdecoder.a"
    mkdir -p "$work/deps/curl-schannel-$t/lib"; : > "$work/deps/curl-schannel-$t/lib/libcurl.a"
  done
  out=$(PATH="$bin:$PATH" STUB=$state KESTRUN_DEPS=$work/deps KESTRUN_APT_ETC=$work/etc \
        KESTRUN_SETUP_RETRY_SECONDS=0 timeout 60 bash "$work/tree/scripts/setup.sh" 2>&1)
  rc=$?
  echo "$out" | sed 's/^/    /'
}

echo "== set-up adds i386; its index is out of step and wine32:i386 unresolvable"
scenario "" "wrk wine32:i386" "wine32:i386"
check "set-up finishes" '[ $rc = 0 ] && grep -q "setup: done" <<<"$out"'
check "the missing package is installed" '! grep -qx wrk "$state/absent"'
check "a failed update is tried twice, then set-up goes on" \
  '[ $(grep -c "update failed" <<<"$out") = 2 ] && grep -q "unexpected size" <<<"$out"'
check "the i386 architecture is removed again" '! grep -qx i386 "$state/arches"'
check "the twin is chosen, with apt's reason" \
  'grep -q "held broken packages" <<<"$out" && grep -q "will use the x86_64 twin" <<<"$out"'
check "the libwebp sources come after an update without i386" \
  '[ "$(grep -E "^(update|source)" "$state/calls" | tail -n 2 | sed "s/ .*foreign: */|/")" = "update|
source|" ] && [ -d "$work/deps/libwebp-1.2.4" ] && [ -f "$work/etc/sources.list.d/debian-src.sources" ]'

echo "== i386 was there before set-up; every update fails"
scenario "i386" "wrk wine32:i386" "wine32:i386"
check "set-up finishes and installs from the indexes that arrived" \
  '[ $rc = 0 ] && ! grep -qx wrk "$state/absent" && [ -d "$work/deps/libwebp-1.2.4" ]'
check "an architecture set-up did not add stays" \
  'grep -qx i386 "$state/arches" && grep -q "it was there before set-up" <<<"$out"'

echo "== a needed package cannot be installed"
scenario "" "wrk nginx-light" "nginx-light"
check "set-up fails, naming the package and apt's reason" \
  '[ $rc != 0 ] && grep -q "nginx-light cannot be installed" <<<"$out" &&
   grep -q "held broken packages" <<<"$out" && grep -q "cannot be installed: nginx-light$" <<<"$out"'
check "the others are still installed" '! grep -qx wrk "$state/absent"'

echo "setup decisions: $fails failed"
[ "$fails" = 0 ]
