#!/usr/bin/env python3
"""Publisher tool: prints the version file of a release.

    sign_update.py KEY.pem EXECUTABLE VERSION [EXE-NAME]

KEY.pem is the private key from make_update_key.sh, EXECUTABLE the file to
publish and VERSION its version text. EXE-NAME, the name under which the
executable is published next to the version file, defaults to the file's own
name. The output has the keys "version", "md5", "exe" and "sig": the format
tag, ":" and the ECDSA P-256 signature over the release statement (see the
README, "Signed self-updates") as the hex digits of r||s (32 bytes each).

VERSION must be dotted decimal numbers ("1.0.02", one to nine digits each)
and EXE-NAME a plain file name (letters, digits, ".", "_" and "-", no ".."),
so that every client reads back exactly what was signed.
"""
import hashlib
import os
import re
import subprocess
import sys

FORMAT_TAG = "Kestrun-Release-1"
# The client's limit on an executable it downloads.
MAX_EXE_BYTES = 32 * 1024 * 1024
VERSION_RULE = re.compile(r"[0-9]{1,9}(\.[0-9]{1,9})*")
EXE_NAME_RULE = re.compile(r"[A-Za-z0-9_][A-Za-z0-9._-]*")


def release_statement(version, exe_name, body):
    """The bytes the signature covers, exactly as the client rebuilds them."""
    return ("%s\nversion=%s\nexe=%s\nsha256=%s\n" % (
        FORMAT_TAG, version, exe_name, hashlib.sha256(body).hexdigest())).encode("ascii")


def refusal(version, exe_name):
    """Why the client would misread this version or name, or None."""
    for what, text in (("version", version), ("exe name", exe_name)):
        for bad in ("=", "\r", "\n", "/", "\\", "..", "\0"):
            if bad in text:
                return "%s %r contains %r" % (what, text, bad)
    if not VERSION_RULE.fullmatch(version):
        return "version %r is not dotted decimal numbers (like 1.0.02)" % version
    if not EXE_NAME_RULE.fullmatch(exe_name):
        return "exe name %r is not a plain file name" % exe_name
    return None


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
    why = refusal(version, name)
    if why:
        sys.stderr.write("refused: %s\n" % why)
        return 2
    with open(exe, "rb") as f:
        body = f.read()
    if not 0 < len(body) <= MAX_EXE_BYTES:
        sys.stderr.write("refused: the executable must have 1 to %d bytes\n" % MAX_EXE_BYTES)
        return 2
    der = subprocess.run(["openssl", "dgst", "-sha256", "-sign", key],
                         input=release_statement(version, name, body),
                         check=True, stdout=subprocess.PIPE).stdout
    try:
        sig = der_to_raw(der)
    except ValueError as error:
        sys.stderr.write("unexpected signature from openssl: %s\n" % error)
        return 1
    sys.stdout.buffer.write(("version=%s\r\nmd5=%s\r\nexe=%s\r\nsig=%s:%s\r\n" % (
        version, hashlib.md5(body).hexdigest(), name, FORMAT_TAG, sig.hex())).encode("ascii"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
