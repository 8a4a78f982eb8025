#!/usr/bin/env bash
# Prints which Windows build this machine can test: "win32" (the PE32
# product under the 32-bit Wine loader) when the kernel runs i386 code and
# /usr/lib/wine/wine starts, otherwise "win64" (the x86_64 twin under
# wine64). With -v the reason goes to the standard error; with --kernel it
# prints nothing and only answers, by its exit status, whether i386 code runs.
#   wine-arch.sh [-v | --kernel]
set -uo pipefail
verbose=${1:-}
say() { [ "$verbose" = -v ] && echo "wine-arch: $*" >&2; return 0; }

# A static i386 program that only exits with 42: no 32-bit library needed,
# so it tells the kernel's support apart from missing 32-bit packages.
runs_i386() {
  local dir rc
  dir=$(mktemp -d) || return 1
  printf '.globl _start\n_start:\n  movl $1, %%eax\n  movl $42, %%ebx\n  int $0x80\n' > "$dir/exit42.s"
  if as --32 -o "$dir/exit42.o" "$dir/exit42.s" 2>/dev/null &&
     ld -m elf_i386 -o "$dir/exit42" "$dir/exit42.o" 2>/dev/null; then
    "$dir/exit42" 2>/dev/null
    rc=$?
  else
    rc=-1
  fi
  rm -rf "$dir"
  [ "$rc" = 42 ]
}

if [ "$verbose" = --kernel ]; then
  command -v as >/dev/null && command -v ld >/dev/null && runs_i386
  exit
fi

if ! command -v as >/dev/null || ! command -v ld >/dev/null; then
  say "no binutils to make the i386 probe; testing the x86_64 twin"
  echo win64
elif ! runs_i386; then
  say "this kernel does not run i386 code; testing the x86_64 twin"
  echo win64
elif ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  say "no working 32-bit Wine (/usr/lib/wine/wine); testing the x86_64 twin"
  echo win64
else
  say "i386 code and 32-bit Wine run; testing the 32-bit product"
  echo win32
fi
