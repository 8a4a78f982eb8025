// The server's clock. What has passed is kept at the clock's own
// resolution and never rounded down: a connection that is woken again and
// again within a millisecond still sees its time pass, so its limits hold.
// Limits are given in milliseconds and converted once.
#pragma once

#include <algorithm>
#include <chrono>
#include <climits>

using SrvClock = std::chrono::steady_clock;
using SrvTime = SrvClock::time_point;
using SrvDuration = SrvClock::duration;

inline SrvDuration SrvMilliseconds(long long ms)
{
    return std::chrono::duration_cast<SrvDuration>(std::chrono::milliseconds(ms));
}

// The milliseconds to wait so that `until` has come when the wait ends:
// rounded up, 0 once it has come.
inline int SrvMillisecondsUntil(SrvTime until)
{
    const SrvDuration left = until - SrvClock::now();
    if (left <= SrvDuration::zero())
        return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::min<long long>(ms, INT_MAX));
}

// A rate over a span of time; 0 for a span that has not begun.
inline long long SrvBytesPerSecond(long long bytes, SrvDuration span)
{
    if (span <= SrvDuration::zero())
        return 0;
    const double seconds = std::chrono::duration<double>(span).count();
    return static_cast<long long>(static_cast<double>(bytes) / seconds);
}
