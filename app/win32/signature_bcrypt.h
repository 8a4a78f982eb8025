// SHA-256 and ECDSA P-256 verification with the system's own cryptography
// (BCrypt), so the product needs no library beyond the system DLLs.
#pragma once

#include "app/core/update_signature.h"

class BCryptSignatureVerifier : public ISignatureVerifier {
public:
    bool Sha256(const unsigned char* bytes, size_t length, Sha256Digest& digest) override;
    bool VerifyP256Sha256(const P256PublicKey& publicKey, const P256Signature& signature,
                          const unsigned char* bytes, size_t length) override;
};
