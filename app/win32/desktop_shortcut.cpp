#include "app/win32/desktop_shortcut.h"

bool CreateDesktopShortcut(const std::wstring&)
{
    return false; // not built yet
}
