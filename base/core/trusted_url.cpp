#include "base/core/trusted_url.h"

namespace {

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerText(const std::string& text)
{
    std::string out(text);
    for (char& c : out)
        c = Lower(c);
    return out;
}

bool StartsWithNoCase(const std::string& text, const char* prefix)
{
    size_t i = 0;
    for (; prefix[i]; ++i)
        if (i >= text.size() || Lower(text[i]) != prefix[i])
            return false;
    return true;
}

bool IsNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
}

// A lower-case host name without empty labels; a single trailing dot is
// dropped first (a fully qualified name), so "a.net." is "a.net".
bool NormaliseName(std::string* host)
{
    if (!host->empty() && host->back() == '.')
        host->pop_back();
    if (host->empty() || (*host)[0] == '.' || host->find("..") != std::string::npos)
        return false;
    for (char c : *host)
        if (!IsNameChar(c))
            return false;
    return host->back() != '.';
}

bool IsIpv4(const std::string& host)
{
    for (char c : host)
        if (!(c >= '0' && c <= '9') && c != '.')
            return false;
    return true;
}

// "[...]" with hexadecimal digits, ":" and "." inside.
bool IsIpv6Literal(const std::string& host)
{
    if (host.size() < 4 || host.front() != '[' || host.back() != ']')
        return false;
    for (size_t i = 1; i + 1 < host.size(); ++i) {
        const char c = host[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == ':' || c == '.'))
            return false;
    }
    return true;
}

// An address written as the host: a number for a resolver, never a name
// under a domain.
bool IsAddress(const std::string& host)
{
    return IsIpv6Literal(host) || IsIpv4(host);
}

bool SameOrigin(const UrlOrigin& a, const UrlOrigin& b)
{
    return a.scheme == b.scheme && a.host == b.host && a.port == b.port;
}

} // namespace

bool ParseUrlOrigin(const std::string& url, UrlOrigin* out)
{
    UrlOrigin origin;
    size_t start = 0;
    if (StartsWithNoCase(url, "http://")) {
        origin.scheme = "http";
        origin.port = 80;
        start = 7;
    } else if (StartsWithNoCase(url, "https://")) {
        origin.scheme = "https";
        origin.port = 443;
        start = 8;
    } else {
        return false;
    }
    const size_t end = url.find_first_of("/?#", start);
    const std::string authority =
        LowerText(url.substr(start, end == std::string::npos ? std::string::npos : end - start));
    for (unsigned char c : authority)
        if (c <= 0x20 || c >= 0x7F || c == '\\' || c == '@' || c == '%')
            return false;

    std::string host = authority;
    size_t colon = std::string::npos;
    if (!authority.empty() && authority[0] == '[') {
        const size_t close = authority.find(']');
        if (close == std::string::npos)
            return false;
        host = authority.substr(0, close + 1);
        if (close + 1 < authority.size()) {
            if (authority[close + 1] != ':')
                return false;
            colon = close + 1;
        }
        if (!IsIpv6Literal(host))
            return false;
    } else {
        colon = authority.find(':');
        if (colon != std::string::npos)
            host = authority.substr(0, colon);
        if (!NormaliseName(&host))
            return false;
    }
    if (colon != std::string::npos && colon + 1 < authority.size()) {
        long port = 0;
        for (size_t i = colon + 1; i < authority.size(); ++i) {
            const char c = authority[i];
            if (c < '0' || c > '9')
                return false;
            port = port * 10 + (c - '0');
            if (port > 65535)
                return false;
        }
        if (port == 0)
            return false;
        origin.port = static_cast<int>(port);
    }
    origin.host = host;
    if (out)
        *out = origin;
    return true;
}

TrustedSites::TrustedSites(const std::string& domains)
{
    size_t at = 0;
    while (at <= domains.size()) {
        size_t next = domains.find(';', at);
        if (next == std::string::npos)
            next = domains.size();
        std::string name = LowerText(domains.substr(at, next - at));
        if (!name.empty() && name[0] == '.')
            name.erase(0, 1); // ".example.net" names the same domain
        if (IsIpv6Literal(name) || NormaliseName(&name))
            m_domains.push_back(name);
        at = next + 1;
    }
}

void TrustedSites::AddOrigin(const std::string& url)
{
    UrlOrigin origin;
    if (ParseUrlOrigin(url, &origin))
        m_origins.push_back(origin);
}

bool TrustedSites::IsTrusted(const std::string& url) const
{
    UrlOrigin origin;
    return ParseUrlOrigin(url, &origin) && IsTrustedOrigin(origin);
}

bool TrustedSites::IsTrustedOrigin(const UrlOrigin& origin) const
{
    for (const UrlOrigin& o : m_origins)
        if (SameOrigin(o, origin))
            return true;
    const std::string& host = origin.host;
    const bool address = IsAddress(host);
    for (const std::string& domain : m_domains) {
        if (host == domain)
            return true;
        // An address, written as the host or trusted, matches only itself.
        if (address || IsAddress(domain) || host.size() <= domain.size())
            continue;
        const size_t dot = host.size() - domain.size() - 1;
        if (host[dot] == '.' && host.compare(dot + 1, std::string::npos, domain) == 0)
            return true;
    }
    return false;
}
