#include "base/win32/wide_text.h"

#include <windows.h>

#include <climits>
#include <cstring>

namespace {

int WideLength(const char* text, int bytes)
{
    return MultiByteToWideChar(CP_ACP, 0, text, bytes, nullptr, 0);
}

int NarrowLength(const wchar_t* text, int units)
{
    return WideCharToMultiByte(CP_OEMCP, 0, text, units, nullptr, 0, nullptr, nullptr);
}

} // namespace

bool ToWide(const char* text, wchar_t* dest, size_t destUnits)
{
    if (!dest || destUnits == 0)
        return false;
    dest[0] = L'\0';
    if (!text)
        return true;
    const size_t bytes = std::strlen(text);
    if (bytes > INT_MAX)
        return false;
    const int room = destUnits - 1 > INT_MAX ? INT_MAX : static_cast<int>(destUnits - 1);
    int take = static_cast<int>(bytes);
    const bool whole = WideLength(text, take) <= room;
    if (!whole) {
        // A byte never yields more than one unit in the ANSI code pages, so
        // this prefix fits; a double-byte character split at the cut
        // becomes one replacement unit.
        take = take < room ? take : room;
    }
    const int units = take == 0 ? 0 : MultiByteToWideChar(CP_ACP, 0, text, take, dest, room);
    dest[units > 0 ? units : 0] = L'\0';
    return whole;
}

bool ToNarrow(const wchar_t* text, char* dest, size_t destBytes)
{
    if (!dest || destBytes == 0)
        return false;
    dest[0] = '\0';
    if (!text)
        return true;
    const size_t length = wcslen(text);
    if (length > INT_MAX)
        return false;
    const int room = destBytes - 1 > INT_MAX ? INT_MAX : static_cast<int>(destBytes - 1);
    int take = static_cast<int>(length);
    const bool whole = NarrowLength(text, take) <= room;
    if (!whole) {
        // Longest prefix that fits, found by halving; a surrogate pair is
        // never split.
        int lo = 0, hi = take;
        while (lo < hi) {
            const int mid = lo + (hi - lo + 1) / 2;
            if (NarrowLength(text, mid) <= room)
                lo = mid;
            else
                hi = mid - 1;
        }
        take = lo;
        if (take > 0 && IS_HIGH_SURROGATE(text[take - 1]))
            --take;
    }
    const int bytes = take == 0 ? 0 : WideCharToMultiByte(CP_OEMCP, 0, text, take, dest, room, nullptr, nullptr);
    dest[bytes > 0 ? bytes : 0] = '\0';
    return whole;
}

std::wstring ToWide(const std::string& text)
{
    if (text.empty() || text.size() > INT_MAX)
        return std::wstring();
    const int units = WideLength(text.data(), static_cast<int>(text.size()));
    std::wstring out(units > 0 ? units : 0, L'\0');
    if (units > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], units);
    return out;
}

std::string ToNarrow(const std::wstring& text)
{
    if (text.empty() || text.size() > INT_MAX)
        return std::string();
    const int bytes = NarrowLength(text.data(), static_cast<int>(text.size()));
    std::string out(bytes > 0 ? bytes : 0, '\0');
    if (bytes > 0)
        WideCharToMultiByte(CP_OEMCP, 0, text.data(), static_cast<int>(text.size()), &out[0], bytes, nullptr, nullptr);
    return out;
}
