// Publisher signatures on self-updates. A release is signed with an ECDSA
// P-256 key over its statement (release_statement.h); the version file
// carries the signature as "sig=" followed by the format tag, ":" and r||s
// in hexadecimal, and a build may carry the publisher's public key X||Y,
// also in hexadecimal. Hexadecimal because the version file's keys are found
// by plain substring search: hex digits can never spell "exe=" or "md5=".
#pragma once

#include "app/core/release_statement.h"

#include <array>
#include <cstddef>
#include <string>
#include <vector>

constexpr size_t kP256PublicKeyBytes = 64; // X then Y, each 32 bytes big-endian
constexpr size_t kP256SignatureBytes = 64; // r then s, each 32 bytes big-endian

using P256PublicKey = std::array<unsigned char, kP256PublicKeyBytes>;
using P256Signature = std::array<unsigned char, kP256SignatureBytes>;

// The platform's cryptography: BCrypt on Windows, libcrypto natively.
class ISignatureVerifier {
public:
    virtual ~ISignatureVerifier() = default;
    // False only when the platform cannot hash.
    virtual bool Sha256(const unsigned char* bytes, size_t length, Sha256Digest& digest) = 0;
    // True only when signature is a valid ECDSA signature of SHA-256(bytes)
    // under publicKey; false for a key that is not a point of the curve.
    virtual bool VerifyP256Sha256(const P256PublicKey& publicKey, const P256Signature& signature,
                                  const unsigned char* bytes, size_t length) = 0;
};

// Decodes exactly count * 2 hexadecimal digits, either case, nothing else
// (no blanks, no prefix) into count bytes.
bool DecodeHex(const std::string& text, unsigned char* bytes, size_t count);

// The r||s of a "sig" value: the format tag, ":" and 128 hex digits, nothing
// else. False for any other text, a signature of another format included.
bool ParseReleaseSignature(const std::string& value, P256Signature& signature);

// What a build accepts as a published executable.
class UpdateSigning {
public:
    // publicKeyHex: the built-in key, 128 hex digits, or empty for a build
    // that carries none. A malformed key refuses every update rather than
    // quietly turning into no key.
    UpdateSigning(const std::string& publicKeyHex, ISignatureVerifier& verifier);

    bool HasKey() const { return m_hasKey; }

    // Whether a version file's "sig" value can let any executable in; lets
    // the caller skip a download that could never be installed.
    bool MayAccept(const std::string& sig) const;

    // Whether the downloaded bytes may be installed: always without a key,
    // otherwise only when sig verifies over the statement of this version
    // text, this exe name and exactly these bytes.
    bool Accepts(const std::string& sig, const std::string& version, const std::string& exeName,
                 const unsigned char* bytes, size_t length) const;

private:
    bool m_hasKey = false;
    bool m_keyValid = false;
    P256PublicKey m_key{};
    ISignatureVerifier& m_verifier;
};
