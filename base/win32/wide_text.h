// Code-page conversions: narrow text is read in the ANSI code page and
// written in the OEM code page, as the rest of the program expects.
#pragma once

#include <cstddef>
#include <string>

// Converts into dest (capacity in units, terminator included). Always
// terminates; returns false when the text had to be cut to fit.
bool ToWide(const char* text, wchar_t* dest, size_t destUnits);
bool ToNarrow(const wchar_t* text, char* dest, size_t destBytes);

std::wstring ToWide(const std::string& text);
std::string ToNarrow(const std::wstring& text);
