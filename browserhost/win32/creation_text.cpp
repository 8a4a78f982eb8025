#include "browserhost/win32/creation_text.h"

#include <cwchar>
#include <cwctype>

namespace {

constexpr wchar_t kHtmlPrefix[] = L"MSHTML";
constexpr size_t kHtmlPrefixLength = 6;

bool StartsWithHtmlPrefix(const wchar_t* text)
{
    for (size_t i = 0; i < kHtmlPrefixLength; ++i)
        if (!text[i] || std::towupper(text[i]) != kHtmlPrefix[i])
            return false;
    return text[kHtmlPrefixLength] == L':';
}

} // namespace

CreationKind ClassifyCreationText(const wchar_t* text)
{
    if (StartsWithHtmlPrefix(text))
        return CreationKind::HtmlDocument;
    if (std::wcschr(text, L':'))
        return CreationKind::Url;
    return CreationKind::ClassName;
}

const wchar_t* CreationTextHtml(const wchar_t* text)
{
    return text + kHtmlPrefixLength + 1;
}
