// The statement a publisher signs for a release, defined here and nowhere
// else in the program (scripts/sign_update.py writes the same bytes):
//
//   "Kestrun-Release-1\n"
//   "version=" VERSION "\n"
//   "exe=" EXE-NAME "\n"
//   "sha256=" 64 lower-case hex digits of the executable's SHA-256 "\n"
//
// VERSION and EXE-NAME are the version file's bytes, unchanged. Binding the
// version text and the name to the executable's digest is what keeps an old
// signed release from being served again as a new one.
#pragma once

#include <array>
#include <cstddef>
#include <string>

constexpr size_t kSha256Bytes = 32;
using Sha256Digest = std::array<unsigned char, kSha256Bytes>;

// The format of the statement and of the version file's "sig" value, which
// is this tag, ":" and the signature's hex digits. A later format gets a new
// tag, so the two can be told apart.
extern const char kReleaseFormatTag[];

std::string ReleaseStatement(const std::string& version, const std::string& exeName, const Sha256Digest& exeDigest);
