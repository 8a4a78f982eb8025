// File name of the desktop shortcut.
#pragma once

#include <string>

// The window title as an executable's name, "<title>.exe", with everything
// from its last "." replaced by ".lnk".
std::wstring ShortcutFileName(const std::wstring& title);
