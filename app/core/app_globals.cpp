#include "app/core/app_globals.h"

#include "base/core/random_range.h"

int DrawLocalPort()
{
    return kLocalPortBase + static_cast<int>(RandomInRange(0.0, static_cast<double>(kLocalPortSpan)));
}

int g_localPort = DrawLocalPort();
bool g_testUrlMode = false;
std::wstring g_testUrl;
