#include "app/core/trusted_sites.h"

#include "app/core/app_globals.h"
#include "build_config.h"

TrustedSites MakeTrustedSites(const char* domains, bool testMode, const std::wstring& testUrl)
{
    TrustedSites sites(domains ? domains : "");
    if (testMode) {
        // An origin is ASCII; any other unit becomes a character no host has.
        std::string narrow;
        narrow.reserve(testUrl.size());
        for (wchar_t c : testUrl)
            narrow += c > 0 && c < 0x80 ? static_cast<char>(c) : '\x7F';
        sites.AddOrigin(narrow);
    }
    return sites;
}

TrustedSites RunTrustedSites()
{
    return MakeTrustedSites(KESTRUN_TRUSTED_DOMAINS, g_testUrlMode, g_testUrl);
}
