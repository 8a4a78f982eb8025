// The version file the CDN publishes next to the executable: "key=value"
// items separated by CR and/or LF, with other text allowed anywhere.
#pragma once

#include <cstddef>
#include <string>

// The value of `key`: the text after the first occurrence of key that is
// followed right away by "=", up to the first CR, LF or the end. Plain
// substring search, nothing trimmed, case-sensitive; empty when not found.
// Published files rely on this: "subversion=" counts for "version", while
// "version = x" does not.
std::string ReadVersionKey(const std::string& text, const std::string& key);

struct VersionFile {
    std::string version;
    std::string md5;
    std::string exe;
    std::string sig; // the publisher's signature, hex r||s; older clients ignore it
};

// The text of a fetched body ends at its first zero byte.
VersionFile ParseVersionFile(const char* body, size_t length);
