// String resources of the running executable.
#pragma once

#include <windows.h>

#include <string>

// The whole string, read in place rather than through a buffer that could
// cut it; empty when there is none.
std::wstring LoadResourceString(UINT id);
