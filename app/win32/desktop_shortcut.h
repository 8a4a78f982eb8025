#pragma once

#include <string>

// Writes the desktop shortcut to <current folder>\<exeName>.
bool CreateDesktopShortcut(const std::wstring& exeName);
