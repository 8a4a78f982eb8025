#include "base/core/debug_trace.h"

#include <cstdio>
#include <cstdlib>

// Natively the trace goes to stderr, and only when asked for.
void EmitTrace(const char* text)
{
    static const bool enabled = std::getenv("KESTRUN_TRACE") != nullptr;
    if (enabled)
        std::fprintf(stderr, "%s\n", text);
}
