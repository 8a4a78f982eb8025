// The trust rule against the URLs a hostile page or redirect could show.
#include "base/core/trusted_url.h"

#include <gtest/gtest.h>

TEST(TrustedSites, OnlyTheDomainsAndTheTestOriginAreTrusted)
{
    TrustedSites sites("orvik-games.net;Example.ORG.;127.0.0.2");
    sites.AddOrigin("http://127.0.0.1:18519/velmora/login.html?x=1");
    const struct {
        const char* url;
        bool trusted;
    } cases[] = {
        {"http://orvik-games.net/", true},
        {"https://passport.orvik-games.net/velmora/login.html", true},
        {"http://a.b.orvik-games.net:8080/vexalogin?pf=1", true},
        {"HTTP://PASSPORT.ORVIK-GAMES.NET/X", true},           // upper case
        {"http://passport.orvik-games.net./x", true},          // a trailing dot
        {"https://www.example.org#x", true},                   // a listed domain in any case
        {"http://evilorvik-games.net/", false},                // a look-alike suffix
        {"http://orvik-games.net.evil.example/", false},
        {"http://orvik-games.net@evil.example/", false},       // user information
        {"http://evil.example@orvik-games.net/", false},
        {"http://orvik-games.net\\@evil.example/", false},     // backslashes
        {"http://evil.example\\.orvik-games.net/", false},
        {"http:\\\\orvik-games.net\\", false},
        {"http://evil.example%2eorvik-games.net/", false},     // percent-encoding
        {"http:///orvik-games.net/", false},                   // an empty host
        {"http://..orvik-games.net/", false},
        {"http://x..orvik-games.net/", false},
        {"http://orvik-games.net:99999/", false},              // no port
        {"http://orvik-games.net :80/", false},
        {"http://orvik-games.net\t.evil/", false},
        {"file://orvik-games.net/c:/x", false},                // other schemes
        {"javascript:'//orvik-games.net/'", false},
        {"res://orvik-games.net/x", false},
        {"about:blank#https://orvik-games.net/", false},
        {"//orvik-games.net/", false},
        {"", false},
        {"https://evil.example/x?vexalogin", false},
        {"http://127.0.0.2/", true},                           // an address matches only itself
        {"http://x.127.0.0.2/", false},
        {"http://127.0.0.1:18519/game/vexalogin", true},       // the test origin, exactly
        {"https://127.0.0.1:18519/", false},
        {"http://127.0.0.1:18520/", false},
        {"http://localhost:18519/", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sites.IsTrusted(c.url), c.trusted) << c.url;
}

TEST(TrustedSites, OriginsAndDomainLists)
{
    UrlOrigin origin;
    ASSERT_TRUE(ParseUrlOrigin("HTTPS://A.Example.net.:8443/p?q#f", &origin));
    EXPECT_EQ(origin.scheme, "https");
    EXPECT_EQ(origin.host, "a.example.net");
    EXPECT_EQ(origin.port, 8443);
    EXPECT_FALSE(ParseUrlOrigin("http://[evil.example]/", &origin));

    // Empty entries, a leading dot and blanks in a list; nothing is trusted
    // by an empty list, and a test URL without an origin adds none.
    TrustedSites sites(";.orvik-games.net;;bad host;");
    EXPECT_EQ(sites.Domains(), std::vector<std::string>{"orvik-games.net"});
    sites.AddOrigin("about:blank");
    EXPECT_FALSE(sites.IsTrusted("about:blank"));
    EXPECT_FALSE(TrustedSites("").IsTrusted("http://orvik-games.net/"));
    EXPECT_TRUE(TrustedSites("[::1]").IsTrusted("http://[::1]:8080/"));
}
