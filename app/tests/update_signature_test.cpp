#include "app/core/release_statement.h"
#include "app/core/update_signature.h"
#include "app/posix/signature_openssl.h"
#include "app/tests/signature_test_vector.h"

#include <gtest/gtest.h>

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>

#include <cctype>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string Hex(const unsigned char* bytes, size_t length)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < length; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
    }
    return text;
}

const unsigned char* Bytes(const std::string& text)
{
    return reinterpret_cast<const unsigned char*>(text.data());
}

struct PkeyFree { void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); } };
struct MdCtxFree { void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); } };
struct SigFree { void operator()(ECDSA_SIG* p) const { ECDSA_SIG_free(p); } };

// A key pair made for this run, signing as the publisher tool does: openssl
// gives DER, the version file carries r||s.
class TestKey {
public:
    TestKey() : m_key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256")) {}

    std::string PublicHex() const
    {
        unsigned char point[1 + kP256PublicKeyBytes] = {};
        size_t length = 0;
        if (!m_key || EVP_PKEY_get_octet_string_param(m_key.get(), OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point,
                                                      &length) != 1 || length != sizeof point || point[0] != 0x04)
            return std::string();
        return Hex(point + 1, kP256PublicKeyBytes);
    }

    std::string SignHex(const std::string& bytes) const
    {
        std::unique_ptr<EVP_MD_CTX, MdCtxFree> md(EVP_MD_CTX_new());
        size_t length = 0;
        if (!m_key || !md || EVP_DigestSignInit(md.get(), nullptr, EVP_sha256(), nullptr, m_key.get()) != 1 ||
            EVP_DigestSign(md.get(), nullptr, &length, Bytes(bytes), bytes.size()) != 1)
            return std::string();
        std::vector<unsigned char> der(length);
        if (EVP_DigestSign(md.get(), der.data(), &length, Bytes(bytes), bytes.size()) != 1)
            return std::string();
        const unsigned char* in = der.data();
        std::unique_ptr<ECDSA_SIG, SigFree> sig(d2i_ECDSA_SIG(nullptr, &in, static_cast<long>(length)));
        unsigned char raw[kP256SignatureBytes];
        if (!sig || BN_bn2binpad(ECDSA_SIG_get0_r(sig.get()), raw, 32) != 32 ||
            BN_bn2binpad(ECDSA_SIG_get0_s(sig.get()), raw + 32, 32) != 32)
            return std::string();
        return Hex(raw, sizeof raw);
    }

private:
    std::unique_ptr<EVP_PKEY, PkeyFree> m_key;
};

// The "sig" value a publisher writes for version text, exe name and bytes.
std::string SignRelease(const TestKey& key, const std::string& version, const std::string& exe,
                        const std::string& bytes)
{
    Sha256Digest digest;
    OpenSslSignatureVerifier().Sha256(Bytes(bytes), bytes.size(), digest);
    return std::string(kReleaseFormatTag) + ":" + key.SignHex(ReleaseStatement(version, exe, digest));
}

class UpdateSignature : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(key.PublicHex().size(), 128u);
        ASSERT_EQ(sig.size(), strlen(kReleaseFormatTag) + 1 + 128);
    }
    bool Accepts(const std::string& publicHex, const std::string& sigValue, const std::string& bytes,
                 const std::string& version = "1.0.02", const std::string& exe = "Kestrun_1.0.02.exe")
    {
        return UpdateSigning(publicHex, verifier).Accepts(sigValue, version, exe, Bytes(bytes), bytes.size());
    }

    OpenSslSignatureVerifier verifier;
    TestKey key;
    const std::string release = std::string("MZ release\0bytes", 16);
    const std::string sig = SignRelease(key, "1.0.02", "Kestrun_1.0.02.exe", release);
};

} // namespace

TEST(ReleaseStatement, IsTheDocumentedTextOverTheExecutablesDigest)
{
    Sha256Digest digest;
    const std::string exe = "abc";
    ASSERT_TRUE(OpenSslSignatureVerifier().Sha256(Bytes(exe), exe.size(), digest));
    EXPECT_EQ(ReleaseStatement("1.0.02", "K.exe", digest),
              "Kestrun-Release-1\nversion=1.0.02\nexe=K.exe\n"
              "sha256=ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\n");
}

TEST_F(UpdateSignature, OnlyTheSignedReleaseUnderTheBuiltInKeyIsAccepted)
{
    EXPECT_TRUE(Accepts(key.PublicHex(), sig, release));
    EXPECT_TRUE(UpdateSigning(key.PublicHex(), verifier).MayAccept(sig));

    std::string swapped = release;
    swapped[3] ^= 1;
    EXPECT_FALSE(Accepts(key.PublicHex(), sig, swapped));
    EXPECT_FALSE(Accepts(key.PublicHex(), sig, release + "x"));
    EXPECT_FALSE(Accepts(TestKey().PublicHex(), sig, release));
    EXPECT_FALSE(Accepts(key.PublicHex(), SignRelease(TestKey(), "1.0.02", "Kestrun_1.0.02.exe", release), release));
    // The genuine bytes under another version text or name: a replay.
    for (const char* version : {"9.9.99", "", "1.0.0", "1.0.02 ", "1.0.020"})
        EXPECT_FALSE(Accepts(key.PublicHex(), sig, release, version)) << version;
    EXPECT_FALSE(Accepts(key.PublicHex(), sig, release, "1.0.02", "Kestrun.exe"));

    // Either letter case of the same digits is the same signature and key.
    std::string upper = sig, upperKey = key.PublicHex();
    for (size_t i = strlen(kReleaseFormatTag) + 1; i < upper.size(); ++i)
        upper[i] = static_cast<char>(toupper(upper[i]));
    for (char& c : upperKey)
        c = static_cast<char>(toupper(c));
    EXPECT_TRUE(Accepts(upperKey, upper, release));
}

TEST_F(UpdateSignature, MissingTruncatedGarbledOrUntaggedSignatureIsRefused)
{
    const UpdateSigning signing(key.PublicHex(), verifier);
    const size_t hexAt = strlen(kReleaseFormatTag) + 1;
    const std::string hex = sig.substr(hexAt);
    std::string flipped = sig;
    flipped[hexAt + 70] = flipped[hexAt + 70] == '0' ? '1' : '0';
    std::string garbled = sig;
    garbled[hexAt + 5] = 'g';
    // Each may pass or fail MayAccept; none may be accepted.
    const std::vector<std::string> refused = {
        "", sig.substr(0, sig.size() - 2), sig.substr(0, sig.size() - 1), sig + "0", sig + " ", " " + sig,
        sig + "\r", garbled, flipped, std::string(kReleaseFormatTag) + ":" + std::string(128, '0'),
        hex, "Kestrun-Release-2:" + hex, "kestrun-release-1:" + hex, std::string(kReleaseFormatTag) + hex,
    };
    for (const std::string& value : refused)
        EXPECT_FALSE(signing.Accepts(value, "1.0.02", "Kestrun_1.0.02.exe", Bytes(release), release.size()))
            << '"' << value << '"';
    // Malformed values end the check before any download.
    for (const std::string& value : {refused[0], refused[1], refused[3], refused[7], refused[10], refused[11]})
        EXPECT_FALSE(signing.MayAccept(value)) << '"' << value << '"';
}

TEST_F(UpdateSignature, BuildWithoutKeyTakesAnyOrNoSignature)
{
    const UpdateSigning signing("", verifier);
    EXPECT_FALSE(signing.HasKey());
    for (const std::string& value : {std::string(), std::string("zz"), sig})
        EXPECT_TRUE(signing.MayAccept(value) && signing.Accepts(value, "", "", Bytes(release), release.size()));
}

TEST_F(UpdateSignature, MalformedBuiltInKeyRefusesEveryUpdate)
{
    const std::string good = key.PublicHex();
    std::string offCurve = good;
    offCurve[127] = offCurve[127] == '0' ? '1' : '0';
    for (const std::string& bad : {good.substr(0, 126), good + "00", "x" + good.substr(1), offCurve}) {
        const UpdateSigning signing(bad, verifier);
        EXPECT_TRUE(signing.HasKey());
        EXPECT_FALSE(signing.Accepts(sig, "1.0.02", "Kestrun_1.0.02.exe", Bytes(release), release.size())) << bad;
    }
}

TEST(OpenSslSignatureVerifier, VerifiesTheSharedVectorWithItsShortR)
{
    P256PublicKey key;
    P256Signature sig;
    ASSERT_TRUE(DecodeHex(signature_vector::kPublicKeyHex, key.data(), key.size()));
    ASSERT_TRUE(DecodeHex(signature_vector::kSignatureHex, sig.data(), sig.size()));
    std::string message = signature_vector::kMessage;
    OpenSslSignatureVerifier verifier;
    EXPECT_TRUE(verifier.VerifyP256Sha256(key, sig, Bytes(message), message.size()));
    message[0] ^= 0x20;
    EXPECT_FALSE(verifier.VerifyP256Sha256(key, sig, Bytes(message), message.size()));
}
