#include "gamewindow/core/url_markers.h"

namespace {

bool ContainsAfterFirst(const std::string& text, const char* marker)
{
    return text.find(marker, 1) != std::string::npos;
}

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

} // namespace

bool IsClientCommandUrl(const std::string& url)
{
    return ContainsAfterFirst(url, "client_cmd?");
}

bool ReportsLoginSuccess(const std::string& url)
{
    return ContainsAfterFirst(url, "loginerrcode=0");
}

bool CarriesGamePageMarker(const std::string& url)
{
    return ContainsAfterFirst(url, "vexalogin");
}

bool WantsNoScrollBars(const std::wstring& url)
{
    return url.find(L"openkey") != std::wstring::npos && url.find(L"openid") != std::wstring::npos;
}

bool IsAcceptableCdnBase(const std::string& url)
{
    constexpr size_t kMaxBytes = 2048;
    size_t hostStart = 0;
    if (StartsWithNoCase(url, "http://"))
        hostStart = 7;
    else if (StartsWithNoCase(url, "https://"))
        hostStart = 8;
    else
        return false;
    if (url.size() > kMaxBytes || url.back() != '/')
        return false;
    // A host before the first "/" of the path.
    if (url.size() <= hostStart || url[hostStart] == '/' || url[hostStart] == '?' || url[hostStart] == '#')
        return false;
    for (unsigned char c : url)
        if (c <= 0x20 || c == 0x7F)
            return false;
    return true;
}
