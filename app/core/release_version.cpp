#include "app/core/release_version.h"

#include <algorithm>

namespace {

// Nine digits always fit an unsigned long, on 32- and 64-bit builds alike.
constexpr size_t kMaxComponentDigits = 9;

} // namespace

bool ParseReleaseVersion(const std::wstring& text, std::vector<unsigned long>& components)
{
    components.clear();
    size_t digits = 0;
    unsigned long value = 0;
    for (const wchar_t c : text) {
        if (c == L'.') {
            if (digits == 0)
                return false;
            components.push_back(value);
            digits = 0;
            value = 0;
        } else if (c >= L'0' && c <= L'9') {
            if (++digits > kMaxComponentDigits)
                return false;
            value = value * 10 + static_cast<unsigned long>(c - L'0');
        } else {
            return false;
        }
    }
    if (digits == 0)
        return false;
    components.push_back(value);
    return true;
}

bool IsNewerRelease(const std::wstring& remote, const std::wstring& local)
{
    std::vector<unsigned long> r, l;
    if (!ParseReleaseVersion(remote, r) || !ParseReleaseVersion(local, l))
        return false;
    const size_t count = std::max(r.size(), l.size());
    r.resize(count, 0);
    l.resize(count, 0);
    return std::lexicographical_compare(l.begin(), l.end(), r.begin(), r.end());
}
