#include "app/core/version_file.h"

#include <cstring>

std::string ReadVersionKey(const std::string& text, const std::string& key)
{
    if (key.empty())
        return std::string();
    size_t at = text.find(key);
    while (at != std::string::npos) {
        const size_t value = at + key.size();
        if (value < text.size() && text[value] == '=') {
            const size_t end = text.find_first_of("\r\n", value + 1);
            return text.substr(value + 1, end == std::string::npos ? std::string::npos : end - value - 1);
        }
        at = text.find(key, at + 1);
    }
    return std::string();
}

VersionFile ParseVersionFile(const char* body, size_t length)
{
    VersionFile file;
    if (!body)
        return file;
    const void* zero = std::memchr(body, '\0', length);
    const std::string text(body, zero ? static_cast<const char*>(zero) - body : length);
    file.version = ReadVersionKey(text, "version");
    file.md5 = ReadVersionKey(text, "md5");
    file.exe = ReadVersionKey(text, "exe");
    file.sig = ReadVersionKey(text, "sig");
    return file;
}
