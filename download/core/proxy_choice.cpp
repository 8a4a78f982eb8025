#include "download/core/proxy_choice.h"

#include <cctype>
#include <vector>

namespace {

std::vector<std::string> Entries(const std::string& list, const char* separators)
{
    std::vector<std::string> entries;
    std::string current;
    for (const char c : list) {
        const bool split = std::isspace(static_cast<unsigned char>(c)) || std::string(separators).find(c) != std::string::npos;
        if (!split) {
            current += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            continue;
        }
        if (!current.empty())
            entries.push_back(current);
        current.clear();
    }
    if (!current.empty())
        entries.push_back(current);
    return entries;
}

// Iterative "*" matching: the pattern's last star takes what is left over.
bool Matches(const std::string& pattern, const std::string& text)
{
    size_t p = 0, t = 0, star = std::string::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star != std::string::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

void DropPrefix(std::string* text, const char* prefix)
{
    const std::string p(prefix);
    if (text->compare(0, p.size(), p) == 0)
        text->erase(0, p.size());
}

} // namespace

std::string ProxyForScheme(const std::string& list, const std::string& scheme)
{
    std::string any, socks;
    for (const std::string& entry : Entries(list, ";")) {
        const size_t equals = entry.find('=');
        if (equals == std::string::npos) {
            if (any.empty())
                any = entry;
            continue;
        }
        if (equals + 1 == entry.size())
            continue;
        const std::string name = entry.substr(0, equals);
        if (name == scheme)
            return entry.substr(equals + 1);
        if (name == "socks" && socks.empty())
            socks = "socks4://" + entry.substr(equals + 1);
    }
    return any.empty() ? socks : any;
}

bool BypassesProxy(const std::string& host, int port, const std::string& bypass)
{
    const std::string withPort = host + ":" + std::to_string(port);
    for (std::string entry : Entries(bypass, ";,")) {
        if (entry == "<local>") {
            if (host.find('.') == std::string::npos && host.find(':') == std::string::npos)
                return true;
            continue;
        }
        DropPrefix(&entry, "http://");
        DropPrefix(&entry, "https://");
        // An IPv6 host is in brackets, so a colon after "]" or in a name names a port.
        const size_t close = entry.rfind(']');
        const bool hasPort = entry.find(':', close == std::string::npos ? 0 : close) != std::string::npos;
        if (Matches(entry, hasPort ? withPort : host))
            return true;
    }
    return false;
}
