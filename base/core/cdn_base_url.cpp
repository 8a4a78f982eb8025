#include "base/core/cdn_base_url.h"

CdnBaseUrl::CdnBaseUrl(const char* initial)
    : m_value(std::make_shared<const std::string>(initial))
{
}

std::string CdnBaseUrl::Get() const
{
    return *std::atomic_load(&m_value);
}

void CdnBaseUrl::Set(const std::string& url)
{
    std::atomic_store(&m_value, std::make_shared<const std::string>(url));
}

namespace {

bool StartsWithNoCase(const std::string& text, const char* prefix)
{
    size_t i = 0;
    for (; prefix[i]; ++i) {
        if (i >= text.size())
            return false;
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

// The port the authority names (after any user information and host),
// `defaultPort` when it names none, -1 when it is no port.
int AuthorityPort(const std::string& authority, int defaultPort)
{
    const size_t at = authority.rfind('@');
    const std::string hostPort = at == std::string::npos ? authority : authority.substr(at + 1);
    size_t colon = std::string::npos;
    if (!hostPort.empty() && hostPort[0] == '[') {
        const size_t close = hostPort.find(']');
        if (close == std::string::npos)
            return -1;
        if (close + 1 < hostPort.size()) {
            if (hostPort[close + 1] != ':')
                return -1;
            colon = close + 1;
        }
    } else {
        colon = hostPort.find(':');
        if (colon != std::string::npos && hostPort.find(':', colon + 1) != std::string::npos)
            return -1;
    }
    if (colon == std::string::npos || colon + 1 == hostPort.size())
        return defaultPort;
    long port = 0;
    for (size_t i = colon + 1; i < hostPort.size(); ++i) {
        const char c = hostPort[i];
        if (c < '0' || c > '9')
            return -1;
        port = port * 10 + (c - '0');
        if (port > 65535)
            return -1;
    }
    return static_cast<int>(port);
}

} // namespace

bool IsAcceptableCdnBase(const std::string& url, int ownPort)
{
    constexpr size_t kMaxBytes = 2048;
    size_t authorityStart = 0;
    int defaultPort = 0;
    if (StartsWithNoCase(url, "http://")) {
        authorityStart = 7;
        defaultPort = 80;
    } else if (StartsWithNoCase(url, "https://")) {
        authorityStart = 8;
        defaultPort = 443;
    } else {
        return false;
    }
    if (url.size() > kMaxBytes)
        return false;
    for (unsigned char c : url)
        if (c <= 0x20 || c == 0x7F)
            return false;
    const size_t authorityEnd = url.find_first_of("/?#", authorityStart);
    const std::string authority = url.substr(authorityStart, authorityEnd == std::string::npos
                                                                 ? std::string::npos
                                                                 : authorityEnd - authorityStart);
    if (authority.find('\\') != std::string::npos)
        return false;
    const int port = AuthorityPort(authority, defaultPort);
    return port >= 0 && port != ownPort;
}

bool IsAllowedPageCdnBase(const std::string& url, int ownPort, const TrustedSites& trusted,
                          const std::string& builtIn)
{
    if (!IsAcceptableCdnBase(url, ownPort) || !trusted.IsTrusted(url))
        return false;
    return !StartsWithNoCase(builtIn, "https://") || StartsWithNoCase(url, "https://");
}

std::string JoinCdnUrl(const std::string& base, const std::string& path)
{
    const bool baseEndsInSlash = !base.empty() && base.back() == '/';
    const bool pathStartsWithSlash = !path.empty() && path[0] == '/';
    if (baseEndsInSlash || pathStartsWithSlash || path.empty())
        return base + path;
    return base + "/" + path;
}
