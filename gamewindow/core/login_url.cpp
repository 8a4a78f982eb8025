#include "gamewindow/core/login_url.h"

#include "base/core/debug_trace.h"
#include "base/core/hex_digit.h"

#include <regex>

namespace {

// The standard traits read a digit (of a count, a back-reference or an
// escape) through a string stream, which would bring the whole stream
// library into the program for one character.
struct UrlRegexTraits : std::regex_traits<char> {
    int value(char ch, int radix) const
    {
        const int digit = HexDigitValue(ch);
        return digit < radix ? digit : -1;
    }
};

using UrlRegex = std::basic_regex<char, UrlRegexTraits>;
using TextIt = std::string::const_iterator;
using UrlMatch = std::match_results<TextIt>;

// Appends `format` with the match put in by the default (ECMAScript) rules,
// as the standard library's own formatting does: "$&", "$`", "$'", "$$" and
// "$n" or "$nn" for a group (nothing for a group the pattern lacks).
void AppendFormatted(const UrlMatch& match, const std::string& format, std::string& out)
{
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '$' || i + 1 == format.size()) {
            out += format[i];
            continue;
        }
        const char next = format[i + 1];
        if (next == '$') {
            out += '$';
        } else if (next == '&') {
            out += match[0].str();
        } else if (next == '`') {
            out += match.prefix().str();
        } else if (next == '\'') {
            out += match.suffix().str();
        } else if (isDigit(next)) {
            size_t group = static_cast<size_t>(next - '0');
            if (i + 2 < format.size() && isDigit(format[i + 2])) {
                group = group * 10 + static_cast<size_t>(format[i + 2] - '0');
                ++i;
            }
            if (group < match.size())
                out += match[group].str();
        } else {
            out += '$';
            continue; // the character after it is plain text
        }
        ++i;
    }
}

} // namespace

std::string RegexReplaceAll(const std::string& input, const std::string& pattern, const std::string& replacement)
{
    if (input.size() > kRegexInputMaxBytes)
        return input;
    try {
        const UrlRegex regex(pattern, std::regex_constants::ECMAScript);
        // As regex_replace: each match's prefix, the formatted match, and
        // after the last match its suffix.
        std::string out;
        TextIt rest = input.begin();
        for (std::regex_iterator<TextIt, char, UrlRegexTraits> it(input.begin(), input.end(), regex), end; it != end;
             ++it) {
            out.append(it->prefix().first, it->prefix().second);
            AppendFormatted(*it, replacement, out);
            rest = it->suffix().first;
        }
        out.append(rest, input.end());
        return out;
    } catch (const std::regex_error&) {
        return input;
    }
}

std::string GetQueryParam(const std::string& text, const std::string& key)
{
    if (text.size() > kRegexInputMaxBytes)
        return std::string();
    UrlMatch match;
    try {
        // The key goes in unescaped: callers pass fixed names.
        const UrlRegex pattern("(^|&)" + key + "=([^&]*)(&|$)", std::regex_constants::ECMAScript);
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
