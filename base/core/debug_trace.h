// Diagnostics for an attached debugger (Windows) or stderr when KESTRUN_TRACE
// is set (native builds). No log file, no levels.
#pragma once

void DebugTrace(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Emits one formatted line; implemented by each platform layer.
void EmitTrace(const char* text);
