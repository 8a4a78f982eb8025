// Which web pages the program trusts: the platform's and the game's own
// sites. Only their pages may reach the game page's script object, hand the
// login window the game's entry URL, move the resource CDN base or send the
// client a command. Narrow text; UI thread and server threads alike.
#pragma once

#include <string>
#include <vector>

// The scheme, host and port of an http or https URL.
struct UrlOrigin {
    std::string scheme; // "http" or "https"
    std::string host;   // lower case, without a trailing dot; IPv6 in brackets
    int port = 0;       // the default port of the scheme when none is named
};

// Reads the origin of `url` strictly: only "http://" and "https://" (any
// case), an authority without user information, percent-encoding,
// backslashes, blanks or control characters (parsers read those
// differently), a host of letters, digits, "-", "_" and "." with no empty
// label (or an IPv6 literal), and a numeric port up to 65535. False for
// anything else, `file:`, `javascript:`, `res:` and `about:` included.
bool ParseUrlOrigin(const std::string& url, UrlOrigin* out);

class TrustedSites {
public:
    TrustedSites() = default;
    // `domains`: names separated by ";" (a CMake list). A host is trusted
    // when it equals one of them or ends in "." and one; an IP address
    // matches only itself. Empty entries are skipped.
    explicit TrustedSites(const std::string& domains);

    // Also trusts the exact origin (scheme, host, port) of `url`: the test
    // URL of a test-mode run. Nothing when `url` has no origin.
    void AddOrigin(const std::string& url);

    bool IsTrusted(const std::string& url) const;
    bool IsTrustedOrigin(const UrlOrigin& origin) const;

    const std::vector<std::string>& Domains() const { return m_domains; }

private:
    std::vector<std::string> m_domains;
    std::vector<UrlOrigin> m_origins;
};
