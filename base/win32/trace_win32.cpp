#include "base/core/debug_trace.h"
#include "base/win32/wide_text.h"

#include <windows.h>

#include <memory>

void EmitTrace(const char* text)
{
    constexpr size_t kUnits = 131072;
    std::unique_ptr<wchar_t[]> wide(new (std::nothrow) wchar_t[kUnits]);
    if (!wide)
        return;
    ToWide(text, wide.get(), kUnits); // a longer text is cut, never overflowed
    OutputDebugStringW(wide.get());
    OutputDebugStringW(L"\n");
}
