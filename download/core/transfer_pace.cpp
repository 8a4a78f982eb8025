#include "download/core/transfer_pace.h"

PaceVerdict JudgePace(const TransferPace& pace, unsigned long long elapsedMs, unsigned long long sinceByteMs,
                      unsigned long long received)
{
    if (sinceByteMs >= pace.stallMs)
        return PaceVerdict::kStalled;
    // bytes / seconds < rate, without dividing: received * 1000 < rate * ms.
    // Neither side overflows for any body the caller allows (a few GB at most).
    if (elapsedMs >= pace.graceMs && received * 1000 < static_cast<unsigned long long>(pace.minBytesPerSecond) * elapsedMs)
        return PaceVerdict::kTooSlow;
    return PaceVerdict::kGoOn;
}
