#include "gamewindow/core/capture_name.h"

namespace {

bool IsHighSurrogate(wchar_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

bool NotAllowedInFileName(wchar_t c)
{
    if (c < 0x20 || c == 0x7F)
        return true;
    switch (c) {
    case L'\\':
    case L'/':
    case L':':
    case L'*':
    case L'?':
    case L'"':
    case L'<':
    case L'>':
    case L'|':
        return true;
    default:
        return false;
    }
}

} // namespace

std::wstring FileNameSafe(const std::wstring& text)
{
    std::wstring safe = text;
    for (wchar_t& c : safe)
        if (NotAllowedInFileName(c))
            c = L'_';
    return safe;
}

std::wstring CutUnits(const std::wstring& text, size_t maxUnits)
{
    if (text.size() <= maxUnits)
        return text;
    size_t keep = maxUnits;
    if (keep > 0 && IsHighSurrogate(text[keep - 1]))
        --keep;
    return text.substr(0, keep);
}

std::wstring CaptureTag(const std::string& pf, const std::string& serverId)
{
    const std::string bytes = pf + "_" + serverId;
    std::wstring tag;
    tag.reserve(bytes.size());
    for (unsigned char b : bytes)
        tag.push_back(static_cast<wchar_t>(b));
    return CutUnits(FileNameSafe(tag), kCaptureTagMaxUnits);
}

std::wstring CapturePath(const std::wstring& folder, bool loginSucceeded, const std::wstring& title,
                         const std::string& pf, const std::string& serverId)
{
    const std::wstring prefix = loginSucceeded ? L"" : L"login_error_";
    const std::wstring tag = CaptureTag(pf, serverId);
    const std::wstring extension = L".bmp";
    const size_t name = prefix.size() + tag.size() + extension.size();
    if (folder.size() + name > kCapturePathMaxUnits)
        return std::wstring();
    size_t room = kCapturePathMaxUnits - folder.size() - name;
    if (room > kCaptureNameMaxUnits - name)
        room = kCaptureNameMaxUnits - name;
    return folder + prefix + CutUnits(FileNameSafe(title), room) + tag + extension;
}
