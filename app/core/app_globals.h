// Process-wide values set before or at the entry point.
#pragma once

#include <string>

constexpr int kLocalPortBase = 22325;
constexpr int kLocalPortSpan = 10000;
// The longest test URL: its buffer holds 8192 units with the terminator.
constexpr size_t kTestUrlMaxUnits = 8191;

// 22325 + a whole number 0..9999, drawn with RandomInRange.
int DrawLocalPort();

// Port of the local cache server. Drawn during static initialisation; the
// server launch replaces it with the port that really listens.
extern int g_localPort;
extern bool g_testUrlMode;
extern std::wstring g_testUrl;
