// SHA-256 and ECDSA P-256 verification with OpenSSL's libcrypto, for the
// native build.
#pragma once

#include "app/core/update_signature.h"

class OpenSslSignatureVerifier : public ISignatureVerifier {
public:
    bool Sha256(const unsigned char* bytes, size_t length, Sha256Digest& digest) override;
    bool VerifyP256Sha256(const P256PublicKey& publicKey, const P256Signature& signature,
                          const unsigned char* bytes, size_t length) override;
};
