#!/usr/bin/env bash
# Publisher tool: makes the ECDSA P-256 key pair that signs releases.
#   make_update_key.sh KEY.pem            writes the private key (mode 600, never
#                                         overwritten) and prints the public key
#   make_update_key.sh --public KEY.pem   prints the public key of an existing key
# The public key is printed as the 128 hex digits of X||Y that the build takes
# as KESTRUN_UPDATE_PUBLIC_KEY. Keep the private key off the repository.
set -euo pipefail

public_hex() {
  # The DER SubjectPublicKeyInfo of a P-256 key ends in 0x04 || X || Y.
  openssl ec -in "$1" -pubout -outform DER 2>/dev/null | tail -c 64 | od -An -v -tx1 | tr -d ' \n'
  echo
}

case ${1:-} in
  --public)
    [ $# = 2 ] || { echo "usage: $0 --public KEY.pem" >&2; exit 2; }
    public_hex "$2"
    ;;
  ''|-*)
    echo "usage: $0 KEY.pem | --public KEY.pem" >&2
    exit 2
    ;;
  *)
    [ ! -e "$1" ] || { echo "$1 exists; not overwriting a key" >&2; exit 1; }
    (umask 077 && openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1")
    public_hex "$1"
    ;;
esac
