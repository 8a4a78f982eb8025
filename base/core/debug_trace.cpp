#include "base/core/debug_trace.h"

#include <cstdarg>
#include <cstdio>
#include <memory>

namespace {
constexpr size_t kTraceBytes = 262144;
}

void DebugTrace(const char* format, ...)
{
    // Heap, not stack: connection threads run with the default stack size.
    std::unique_ptr<char[]> text(new (std::nothrow) char[kTraceBytes]);
    if (!text)
        return;
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(text.get(), kTraceBytes, format, args);
    va_end(args);
    if (n < 0)
        return;
    EmitTrace(text.get()); // vsnprintf cut anything longer and terminated it
}
