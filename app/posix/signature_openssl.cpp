#include "app/posix/signature_openssl.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <algorithm>
#include <memory>

namespace {

struct PkeyFree { void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); } };
struct PkeyCtxFree { void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); } };
struct MdCtxFree { void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); } };
struct SigFree { void operator()(ECDSA_SIG* p) const { ECDSA_SIG_free(p); } };
struct DerFree { void operator()(unsigned char* p) const { OPENSSL_free(p); } };

// The key as libcrypto takes it: the uncompressed point 0x04 || X || Y on
// the named curve. Fails for a point that is not on the curve.
std::unique_ptr<EVP_PKEY, PkeyFree> ImportPublicKey(const P256PublicKey& publicKey)
{
    unsigned char point[1 + kP256PublicKeyBytes];
    point[0] = 0x04;
    std::copy(publicKey.begin(), publicKey.end(), point + 1);
    char group[] = "prime256v1";
    const OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
        OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point),
        OSSL_PARAM_construct_end(),
    };
    std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree> ctx(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    EVP_PKEY* key = nullptr;
    if (!ctx || EVP_PKEY_fromdata_init(ctx.get()) != 1 ||
        EVP_PKEY_fromdata(ctx.get(), &key, EVP_PKEY_PUBLIC_KEY, const_cast<OSSL_PARAM*>(params)) != 1)
        return nullptr;
    std::unique_ptr<EVP_PKEY, PkeyFree> owned(key);
    // fromdata takes the point as given; the curve check is separate.
    std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree> check(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
    if (!check || EVP_PKEY_public_check(check.get()) != 1)
        return nullptr;
    return owned;
}

} // namespace

bool OpenSslSignatureVerifier::Sha256(const unsigned char* bytes, size_t length, Sha256Digest& digest)
{
    unsigned int size = 0;
    return bytes && EVP_Digest(bytes, length, digest.data(), &size, EVP_sha256(), nullptr) == 1 &&
           size == digest.size();
}

bool OpenSslSignatureVerifier::VerifyP256Sha256(const P256PublicKey& publicKey, const P256Signature& signature,
                                                const unsigned char* bytes, size_t length)
{
    if (!bytes)
        return false;
    const auto key = ImportPublicKey(publicKey);
    if (!key)
        return false;

    // libcrypto verifies the DER form; BCrypt and the version file use r || s.
    std::unique_ptr<ECDSA_SIG, SigFree> sig(ECDSA_SIG_new());
    BIGNUM* r = BN_bin2bn(signature.data(), 32, nullptr);
    BIGNUM* s = BN_bin2bn(signature.data() + 32, 32, nullptr);
    if (!sig || !r || !s || ECDSA_SIG_set0(sig.get(), r, s) != 1) {
        BN_free(r);
        BN_free(s);
        return false;
    }
    unsigned char* der = nullptr;
    const int derLength = i2d_ECDSA_SIG(sig.get(), &der);
    std::unique_ptr<unsigned char, DerFree> ownedDer(der);
    if (derLength <= 0)
        return false;

    std::unique_ptr<EVP_MD_CTX, MdCtxFree> md(EVP_MD_CTX_new());
    return md && EVP_DigestVerifyInit(md.get(), nullptr, EVP_sha256(), nullptr, key.get()) == 1 &&
           EVP_DigestVerify(md.get(), der, static_cast<size_t>(derLength), bytes, length) == 1;
}
