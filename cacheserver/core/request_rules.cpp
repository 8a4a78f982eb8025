#include "cacheserver/core/request_rules.h"

#include "base/core/hex_digit.h"

#include <cstdio>
#include <functional>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool EqualsNoCase(const std::string& text, size_t from, size_t to, const char* word)
{
    size_t i = 0;
    for (; from + i < to && word[i] != '\0'; ++i) {
        char c = text[from + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != word[i])
            return false;
    }
    return from + i == to && word[i] == '\0';
}

bool IsDotSegment(const std::string& decoded, size_t from, size_t to)
{
    // A parameter after ";" is dropped by some servers before they resolve the path.
    const size_t semicolon = decoded.find(';', from);
    if (semicolon != std::string::npos && semicolon < to)
        to = semicolon;
    const size_t length = to - from;
    return (length == 1 || length == 2) && decoded.compare(from, length, std::string(length, '.')) == 0;
}

// Calls field(nameFrom, colon, valueFrom, valueTo) for each header line, the
// value without the blanks around it; false when a line is malformed.
bool ForEachHeaderLine(const std::string& request,
                       const std::function<void(size_t, size_t, size_t, size_t)>& field)
{
    size_t line = request.find('\n');
    while (line != std::string::npos) {
        ++line;
        const size_t lf = request.find('\n', line);
        if (lf == std::string::npos)
            return true;
        size_t end = lf;
        if (end > line && request[end - 1] == '\r')
            --end;
        if (end == line)
            return true; // the blank line ends the head
        if (request.find('\r', line) < end || IsBlank(request[line]))
            return false;
        const size_t colon = request.find(':', line);
        if (colon == std::string::npos || colon >= end || colon == line)
            return false;
        for (size_t i = line; i < colon; ++i)
            if (IsBlank(request[i]))
                return false;
        size_t from = colon + 1;
        size_t to = end;
        while (from < to && IsBlank(request[from]))
            ++from;
        while (to > from && IsBlank(request[to - 1]))
            --to;
        if (field)
            field(line, colon, from, to);
        line = lf;
    }
    return true;
}

} // namespace

TargetVerdict CheckRequestTarget(const std::string& target, std::string* cdnPath)
{
    if (target.size() > kMaxRequestTargetLength)
        return TargetVerdict::kTooLong;
    if (target.empty() || target[0] != '/')
        return TargetVerdict::kBad;
    std::string decoded;
    decoded.reserve(target.size());
    for (size_t i = 0; i < target.size(); ++i) {
        const unsigned char raw = static_cast<unsigned char>(target[i]);
        // Blanks and control characters would break the CDN's request line.
        if (raw <= 0x20 || raw == 0x7f)
            return TargetVerdict::kBad;
        if (raw != '%') {
            decoded += static_cast<char>(raw);
            continue;
        }
        const int high = i + 2 < target.size() ? HexDigitValue(target[i + 1]) : -1;
        const int low = high >= 0 ? HexDigitValue(target[i + 2]) : -1;
        if (low < 0)
            return TargetVerdict::kBad;
        const char c = static_cast<char>(high * 16 + low);
        // One reader splits the path at an escaped separator, another does not.
        if (c == '/' || c == '\\')
            return TargetVerdict::kBad;
        decoded += c;
        i += 2;
    }
    // A backslash is a slash to WinInet; what follows "#" never leaves libcurl.
    if (decoded.find_first_of("\\#") != std::string::npos)
        return TargetVerdict::kBad;
    // The query counts too: WinInet resolves dot segments in it as well.
    for (size_t from = 1; from <= decoded.size();) {
        size_t to = decoded.find_first_of("/?", from);
        if (to == std::string::npos)
            to = decoded.size();
        if (IsDotSegment(decoded, from, to))
            return TargetVerdict::kBad;
        from = to + 1;
    }
    if (cdnPath) {
        cdnPath->clear();
        for (const char c : target) {
            const unsigned char byte = static_cast<unsigned char>(c);
            if (byte < 0x80) {
                *cdnPath += c;
                continue;
            }
            char escape[4];
            std::snprintf(escape, sizeof escape, "%%%02X", byte);
            *cdnPath += escape;
        }
    }
    return TargetVerdict::kAccepted;
}

bool HeaderLinesWellFormed(const std::string& request)
{
    return ForEachHeaderLine(request, nullptr);
}

bool AsksKeepAlive(const std::string& request)
{
    bool asked = false;
    ForEachHeaderLine(request, [&](size_t name, size_t colon, size_t from, size_t to) {
        if (!EqualsNoCase(request, name, colon, "connection"))
            return;
        // A list of tokens, as HTTP allows: "keep-alive, Upgrade".
        while (from < to) {
            size_t comma = request.find(',', from);
            if (comma == std::string::npos || comma > to)
                comma = to;
            size_t a = from, b = comma;
            while (a < b && IsBlank(request[a]))
                ++a;
            while (b > a && IsBlank(request[b - 1]))
                --b;
            if (EqualsNoCase(request, a, b, "keep-alive"))
                asked = true;
            from = comma + 1;
        }
    });
    return asked;
}
