#!/usr/bin/env python3
"""Publisher tool: prints the version file of a release.

    sign_update.py KEY.pem EXECUTABLE VERSION [EXE-NAME]

KEY.pem is the private key from make_update_key.sh, EXECUTABLE the file to
publish and VERSION its version text. EXE-NAME, the name under which the
executable is published next to the version file, defaults to the file's own
name. The output has the keys "version", "md5", "exe" and "sig": the ECDSA
P-256 signature over the SHA-256 digest of the executable as the hex digits
of r||s (32 bytes each), the form the program verifies.
"""
import hashlib
import os
import subprocess
import sys


def read_der_integer(der, at):
    """One DER INTEGER at `at`: its value and the offset after it."""
    if at + 2 > len(der) or der[at] != 0x02 or der[at + 1] > 0x7F:
        raise ValueError("expected a short INTEGER")
    end = at + 2 + der[at + 1]
    if end > len(der):
        raise ValueError("INTEGER runs past the end")
    return int.from_bytes(der[at + 2:end], "big"), end


def der_integer(value):
    body = value.to_bytes(max(1, (value.bit_length() + 8) // 8), "big")
    return bytes([0x02, len(body)]) + body


def der_to_raw(der):
    """openssl writes SEQUENCE { INTEGER r, INTEGER s }; each integer may be
    shorter than 32 bytes or carry a leading zero byte. The program wants
    both left-padded to exactly 32 bytes."""
    if len(der) < 2 or der[0] != 0x30 or der[1] != len(der) - 2:
        raise ValueError("not a DER SEQUENCE")
    r, at = read_der_integer(der, 2)
    s, at = read_der_integer(der, at)
    if at != len(der) or r >= 1 << 256 or s >= 1 << 256 or r == 0 or s == 0:
        raise ValueError("not an ECDSA P-256 signature")
    # Encoding r and s again must give back exactly what openssl wrote.
    body = der_integer(r) + der_integer(s)
    if bytes([0x30, len(body)]) + body != der:
        raise ValueError("signature does not re-encode to itself")
    return r.to_bytes(32, "big") + s.to_bytes(32, "big")


def main(argv):
    if len(argv) not in (4, 5):
        sys.stderr.write(__doc__)
        return 2
    key, exe, version = argv[1], argv[2], argv[3]
    name = argv[4] if len(argv) == 5 else os.path.basename(exe)
    for text in (version, name):
        if not text or any(c in text for c in "\r\n\0"):
            sys.stderr.write("version and exe name must be one non-empty line each\n")
            return 2
    with open(exe, "rb") as f:
        body = f.read()
    der = subprocess.run(["openssl", "dgst", "-sha256", "-sign", key, exe],
                         check=True, stdout=subprocess.PIPE).stdout
    try:
        sig = der_to_raw(der)
    except ValueError as error:
        sys.stderr.write("unexpected signature from openssl: %s\n" % error)
        return 1
    sys.stdout.buffer.write(("version=%s\r\nmd5=%s\r\nexe=%s\r\nsig=%s\r\n" % (
        version, hashlib.md5(body).hexdigest(), name, sig.hex())).encode())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
