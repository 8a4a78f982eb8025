#include "app/core/shortcut_name.h"

std::wstring ShortcutFileName(const std::wstring& title)
{
    const std::wstring name = title + L".exe";
    return name.substr(0, name.rfind(L'.')) + L".lnk";
}
