// MD5 (RFC 1321) as 32 lower-case hexadecimal characters. Used to name cache
// files and to verify downloaded executables; safe to call from any thread.
#pragma once

#include <cstddef>
#include <string>

std::string Md5Hex(const void* bytes, size_t length);

// True when expected equals the digest of the bytes, ignoring letter case.
bool Md5Matches(const std::string& expected, const void* bytes, size_t length);
