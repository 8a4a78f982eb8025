#include "gamewindow/core/login_url.h"

#include "base/core/debug_trace.h"

#include <regex>

std::string RegexReplaceAll(const std::string& input, const std::string& pattern, const std::string& replacement)
{
    if (input.size() > kRegexInputMaxBytes)
        return input;
    try {
        return std::regex_replace(input, std::regex(pattern, std::regex::ECMAScript), replacement);
    } catch (const std::regex_error&) {
        return input;
    }
}

std::string GetQueryParam(const std::string& text, const std::string& key)
{
    if (text.size() > kRegexInputMaxBytes)
        return std::string();
    std::smatch match;
    try {
        // The key goes in unescaped: callers pass fixed names.
        const std::regex pattern("(^|&)" + key + "=([^&]*)(&|$)", std::regex::ECMAScript);
        if (!std::regex_search(text, match, pattern))
            return std::string();
    } catch (const std::regex_error&) {
        return std::string();
    }
    for (size_t i = 0; i < match.size() && i < 4; ++i)
        DebugTrace("Request %d : %s", static_cast<int>(i), match[i].str().c_str());
    return match[0].str();
}

std::string LocalCacheBaseUrl(int port)
{
    return "http://localhost:" + std::to_string(port) + "/wz_cdn/";
}

bool RewriteLoginText(const std::string& url, bool testMode, int localPort, LoginRewrite* out)
{
    if (!out || url.size() > kLoginUrlMaxBytes)
        return false;
    std::string::size_type p = url.find("vexalogin");
    if (testMode && (p == std::string::npos || p == 0))
        p = url.find("login_kq?");
    if (p == std::string::npos || p == 0)
        return false;

    const std::string base = LocalCacheBaseUrl(localPort);
    std::string u = url + "&wd20170319=1";
    if (u.find("&showlogin=") == std::string::npos) {
        u += testMode ? "&showlogin=yw_test&clientloginPath=" : "&showlogin=5&clientloginPath=";
        u += base;
    } else {
        u += "&clientloginPath=" + base;
        DebugTrace("before url = %s", u.c_str());
        // The "&" the pattern wants after the value is always there: the
        // text appended above begins with one.
        u = RegexReplaceAll(u, "&showlogin=[^&]*[&]{1}", testMode ? "&showlogin=yw_test&" : "&showlogin=5&");
        DebugTrace("after url = %s", u.c_str());
    }
    out->pf = GetQueryParam(u, "pf");
    out->serverId = GetQueryParam(u, "serverId");
    out->gameUrl = std::move(u);
    return true;
}
