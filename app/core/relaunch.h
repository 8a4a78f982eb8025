// Command lines the program starts itself with.
#pragma once

#include <string>

// CreateProcessW takes at most 32767 units including the terminator.
constexpr size_t kMaxCommandLineUnits = 32766;

// "<exe>" followed by a blank and the arguments. The executable path is
// quoted so that a folder with blanks cannot start another program. Returns
// an empty text when the line cannot be built whole (too long, or a quote in
// the path), so callers skip the step instead of starting a cut path.
std::wstring BuildCommandLine(const std::wstring& exePath, const std::wstring& arguments);

// Joins a folder and a file name with exactly one backslash.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);

// The part of a path after its last backslash (the whole path if there is none).
std::wstring FileNameOf(const std::wstring& path);

// The part of a path before its last backslash: the folder of a file.
// Empty when there is no backslash.
std::wstring FolderOf(const std::wstring& path);
