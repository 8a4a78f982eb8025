// The desktop shortcut every ordinary start writes, so that it follows the
// program wherever it was installed.
#pragma once

#include <string>

// Writes "<window title>.lnk" on the desktop pointing at <programFolder>\<exeName>
// with the program's folder as working folder, wherever the program was
// started from; nothing when the program lives in the desktop folder itself.
bool CreateDesktopShortcut(const std::wstring& programFolder, const std::wstring& exeName);

// Writes one shortcut file (created or replaced).
bool CreateShellLink(const std::wstring& target, const std::wstring& file, const std::wstring& workingFolder);
