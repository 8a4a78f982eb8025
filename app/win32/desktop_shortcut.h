// The desktop shortcut every ordinary start writes, so that it follows the
// program wherever it was installed.
#pragma once

#include <string>

// Writes "<window title>.lnk" on the desktop pointing at <current folder>\<exeName>
// with the current folder as working folder; nothing when the program runs
// from the desktop folder itself.
bool CreateDesktopShortcut(const std::wstring& exeName);

// Writes one shortcut file (created or replaced).
bool CreateShellLink(const std::wstring& target, const std::wstring& file, const std::wstring& workingFolder);
