#include "app/core/release_statement.h"

const char kReleaseFormatTag[] = "Kestrun-Release-1";

std::string ReleaseStatement(const std::string& version, const std::string& exeName, const Sha256Digest& exeDigest)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string digest;
    for (const unsigned char byte : exeDigest) {
        digest += kDigits[byte >> 4];
        digest += kDigits[byte & 15];
    }
    return std::string(kReleaseFormatTag) + "\nversion=" + version + "\nexe=" + exeName + "\nsha256=" + digest + "\n";
}
