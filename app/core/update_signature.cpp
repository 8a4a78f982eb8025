#include "app/core/update_signature.h"

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

bool DecodeHex(const std::string& text, unsigned char* bytes, size_t count)
{
    if (!bytes || text.size() != count * 2)
        return false;
    for (size_t i = 0; i < count; ++i) {
        const int high = HexDigit(text[2 * i]);
        const int low = HexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes[i] = static_cast<unsigned char>(high << 4 | low);
    }
    return true;
}

UpdateSigning::UpdateSigning(const std::string& publicKeyHex, ISignatureVerifier& verifier)
    : m_hasKey(!publicKeyHex.empty()), m_verifier(verifier)
{
    m_keyValid = m_hasKey && DecodeHex(publicKeyHex, m_key.data(), m_key.size());
}

bool UpdateSigning::MayAccept(const std::string& signatureHex) const
{
    if (!m_hasKey)
        return true;
    P256Signature signature;
    return m_keyValid && DecodeHex(signatureHex, signature.data(), signature.size());
}

bool UpdateSigning::Accepts(const std::string& signatureHex, const unsigned char* bytes, size_t length) const
{
    if (!m_hasKey)
        return true;
    P256Signature signature;
    if (!m_keyValid || !bytes || !DecodeHex(signatureHex, signature.data(), signature.size()))
        return false;
    return m_verifier.VerifyP256Sha256(m_key, signature, bytes, length);
}
