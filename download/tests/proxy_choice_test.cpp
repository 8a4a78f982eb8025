// The proxy lists and bypass lists of Windows's Internet Settings.
#include "download/core/proxy_choice.h"

#include <gtest/gtest.h>

TEST(ProxyChoice, PicksTheSchemesEntryOverOneForEveryScheme)
{
    struct Case {
        const char* list;
        const char* scheme;
        const char* proxy;
    } const cases[] = {
        {"", "http", ""},
        {"proxy:8080", "https", "proxy:8080"},
        {"http=web:80;https=secure:443", "https", "secure:443"},
        {"http=web:80;https=secure:443", "http", "web:80"},
        {"ftp=files:21", "http", ""},
        // The scheme's own entry wins even after a general one.
        {"any:3128;https=secure:443", "https", "secure:443"},
        // Blanks separate like ";", and the first of equals wins.
        {"  first:1  second:2 ", "http", "first:1"},
        {"HTTPS=Secure:443", "https", "secure:443"},
        {"https=;any:1", "https", "any:1"},
        {"http://web:80", "http", "http://web:80"},
        // A prefix of the name is not the name.
        {"http=web:80", "https", ""},
        {"socks=sox:1080", "https", "socks4://sox:1080"},
        {"socks=sox:1080;http=web:80", "http", "web:80"},
        {"socks=sox:1080 any:3128", "https", "any:3128"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ProxyForScheme(c.list, c.scheme), c.proxy) << c.list << " / " << c.scheme;
}

TEST(ProxyChoice, BypassListMatchesNamesPatternsPortsAndLocal)
{
    struct Case {
        const char* host;
        int port;
        const char* bypass;
        bool direct;
    } const cases[] = {
        {"cdn.example.com", 80, "", false},
        {"cdn.example.com", 80, "cdn.example.com", true},
        {"cdn.example.com", 80, "CDN.Example.COM", true},
        {"cdn.example.com", 80, "*.example.com", true},
        {"example.com", 80, "*.example.com", false},
        {"cdn.example.com.evil.net", 80, "*.example.com", false},
        {"cdn.example.com", 80, "10.*;*.example.*", true},
        {"cdn.example.com", 80, "other.com, cdn.example.com", true},
        {"cdn.example.com", 80, "http://cdn.example.com", true},
        {"cdn.example.com", 8080, "cdn.example.com:80", false},
        {"cdn.example.com", 80, "cdn.example.com:80", true},
        {"intranet", 80, "<local>", true},
        {"cdn.example.com", 80, "<local>", false},
        {"[::1]", 80, "<local>", false},
        {"[::1]", 80, "[::1]", true},
        {"anything.at.all", 443, "*", true},
        {"a.b", 80, "a*b*c", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BypassesProxy(c.host, c.port, c.bypass), c.direct) << c.host << ":" << c.port << " / " << c.bypass;
}
