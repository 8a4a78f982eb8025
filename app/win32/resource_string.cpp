#include "app/win32/resource_string.h"

std::wstring LoadResourceString(UINT id)
{
    const wchar_t* text = nullptr;
    // Length 0 asks for a pointer into the resource itself.
    const int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<wchar_t*>(&text), 0);
    return length > 0 && text ? std::wstring(text, length) : std::wstring();
}
