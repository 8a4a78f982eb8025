#include "app/core/update_signature.h"
#include "app/tests/signature_test_vector.h"
#include "app/win32/signature_bcrypt.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class BCryptVerifier : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(DecodeHex(signature_vector::kPublicKeyHex, key.data(), key.size()));
        ASSERT_TRUE(DecodeHex(signature_vector::kSignatureHex, sig.data(), sig.size()));
    }
    bool Verify(const P256PublicKey& k, const P256Signature& s, const std::string& bytes)
    {
        return verifier.VerifyP256Sha256(k, s, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    }

    BCryptSignatureVerifier verifier;
    P256PublicKey key;
    P256Signature sig;
    const std::string message = signature_vector::kMessage;
};

} // namespace

// The signature openssl made, with r shorter than 32 bytes, verifies through
// the system's BCrypt exactly as through libcrypto natively.
TEST_F(BCryptVerifier, AcceptsTheOpensslSignatureOfTheSignedBytesOnly)
{
    EXPECT_TRUE(Verify(key, sig, message));

    std::string other = message;
    other[0] ^= 0x20;
    EXPECT_FALSE(Verify(key, sig, other));

    P256Signature flipped = sig;
    flipped[40] ^= 1;
    EXPECT_FALSE(Verify(key, flipped, message));
    EXPECT_FALSE(Verify(key, P256Signature{}, message));
}

TEST_F(BCryptVerifier, RefusesUnderAnotherOrAnInvalidKey)
{
    P256PublicKey offCurve = key;
    offCurve[63] ^= 1;
    EXPECT_FALSE(Verify(offCurve, sig, message));
    EXPECT_FALSE(Verify(P256PublicKey{}, sig, message));
}
