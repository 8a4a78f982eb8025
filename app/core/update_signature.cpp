#include "app/core/update_signature.h"

#include "base/core/hex_digit.h"

bool DecodeHex(const std::string& text, unsigned char* bytes, size_t count)
{
    if (!bytes || text.size() != count * 2)
        return false;
    for (size_t i = 0; i < count; ++i) {
        const int high = HexDigitValue(text[2 * i]);
        const int low = HexDigitValue(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes[i] = static_cast<unsigned char>(high << 4 | low);
    }
    return true;
}

bool ParseReleaseSignature(const std::string& value, P256Signature& signature)
{
    const std::string prefix = std::string(kReleaseFormatTag) + ":";
    return value.compare(0, prefix.size(), prefix) == 0 &&
           DecodeHex(value.substr(prefix.size()), signature.data(), signature.size());
}

UpdateSigning::UpdateSigning(const std::string& publicKeyHex, ISignatureVerifier& verifier)
    : m_hasKey(!publicKeyHex.empty()), m_verifier(verifier)
{
    m_keyValid = m_hasKey && DecodeHex(publicKeyHex, m_key.data(), m_key.size());
}

bool UpdateSigning::MayAccept(const std::string& sig) const
{
    if (!m_hasKey)
        return true;
    P256Signature signature;
    return m_keyValid && ParseReleaseSignature(sig, signature);
}

bool UpdateSigning::Accepts(const std::string& sig, const std::string& version, const std::string& exeName,
                            const unsigned char* bytes, size_t length) const
{
    if (!m_hasKey)
        return true;
    P256Signature signature;
    Sha256Digest digest;
    if (!m_keyValid || !bytes || !ParseReleaseSignature(sig, signature) || !m_verifier.Sha256(bytes, length, digest))
        return false;
    const std::string statement = ReleaseStatement(version, exeName, digest);
    return m_verifier.VerifyP256Sha256(m_key, signature, reinterpret_cast<const unsigned char*>(statement.data()),
                                       statement.size());
}
