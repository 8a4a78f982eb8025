#include "app/win32/signature_bcrypt.h"

#include "framework/handles.h"

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>

namespace {

struct AlgorithmTraits {
    using Type = BCRYPT_ALG_HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::BCryptCloseAlgorithmProvider(h, 0); }
};
struct KeyTraits {
    using Type = BCRYPT_KEY_HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::BCryptDestroyKey(h); }
};
struct HashTraits {
    using Type = BCRYPT_HASH_HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::BCryptDestroyHash(h); }
};
using ScopedAlgorithm = UniqueHandle<AlgorithmTraits>;
using ScopedKey = UniqueHandle<KeyTraits>;
using ScopedHash = UniqueHandle<HashTraits>;

ScopedAlgorithm OpenAlgorithm(const wchar_t* name)
{
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, name, nullptr, 0)))
        return ScopedAlgorithm();
    return ScopedAlgorithm(algorithm);
}

} // namespace

// BCryptHash would do this in one call, but only from Windows 10 on; a hash
// object the system allocates itself (null buffer) works from Windows 7.
bool BCryptSignatureVerifier::Sha256(const unsigned char* bytes, size_t length, Sha256Digest& digest)
{
    if (!bytes)
        return false;
    const ScopedAlgorithm algorithm = OpenAlgorithm(BCRYPT_SHA256_ALGORITHM);
    if (!algorithm)
        return false;
    BCRYPT_HASH_HANDLE raw = nullptr;
    if (!BCRYPT_SUCCESS(BCryptCreateHash(algorithm.Get(), &raw, nullptr, 0, nullptr, 0, 0)))
        return false;
    const ScopedHash hash(raw);
    // BCryptHashData takes a ULONG length; feed larger inputs in pieces.
    constexpr size_t kPiece = 1u << 30;
    while (length > 0) {
        const size_t piece = std::min(length, kPiece);
        if (!BCRYPT_SUCCESS(BCryptHashData(hash.Get(), const_cast<PUCHAR>(bytes), static_cast<ULONG>(piece), 0)))
            return false;
        bytes += piece;
        length -= piece;
    }
    return BCRYPT_SUCCESS(BCryptFinishHash(hash.Get(), digest.data(), static_cast<ULONG>(digest.size()), 0));
}

bool BCryptSignatureVerifier::VerifyP256Sha256(const P256PublicKey& publicKey, const P256Signature& signature,
                                               const unsigned char* bytes, size_t length)
{
    if (!bytes)
        return false;
    Sha256Digest digest;
    if (!Sha256(bytes, length, digest))
        return false;

    const ScopedAlgorithm ecdsa = OpenAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM);
    if (!ecdsa)
        return false;
    // BCRYPT_ECCPUBLIC_BLOB: the header, then X and Y.
    unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + kP256PublicKeyBytes];
    BCRYPT_ECCKEY_BLOB header;
    header.dwMagic = BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
    header.cbKey = kP256PublicKeyBytes / 2;
    std::copy_n(reinterpret_cast<const unsigned char*>(&header), sizeof header, blob);
    std::copy(publicKey.begin(), publicKey.end(), blob + sizeof header);
    BCRYPT_KEY_HANDLE raw = nullptr;
    if (!BCRYPT_SUCCESS(BCryptImportKeyPair(ecdsa.Get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &raw, blob,
                                            static_cast<ULONG>(sizeof blob), 0)))
        return false;
    const ScopedKey key(raw);

    P256Signature rs = signature; // the call takes non-const buffers
    return BCryptVerifySignature(key.Get(), nullptr, digest.data(), static_cast<ULONG>(digest.size()), rs.data(),
                                 static_cast<ULONG>(rs.size()), 0) == 0;
}
