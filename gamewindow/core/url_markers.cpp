#include "gamewindow/core/url_markers.h"

namespace {

bool ContainsAfterFirst(const std::string& text, const char* marker)
{
    return text.find(marker, 1) != std::string::npos;
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
