#include "download/core/transfer_pace.h"

#include <gtest/gtest.h>

TEST(TransferPace, StallAndMinimumRateEndADownloadAndNothingElseDoes)
{
    // The self-update's rule: 15 s without a byte, or under 8 KiB/s on
    // average once 10 s have passed.
    const TransferPace pace{15000, 8192, 10000};
    const struct {
        unsigned long long elapsedMs, sinceByteMs, received;
        PaceVerdict verdict;
    } cases[] = {
        {0, 0, 0, PaceVerdict::kGoOn},
        {9999, 9999, 0, PaceVerdict::kGoOn},              // nothing yet, but within the grace
        {10000, 100, 81920, PaceVerdict::kGoOn},          // exactly 8 KiB/s at the end of the grace
        {10000, 100, 81919, PaceVerdict::kTooSlow},       // a byte short
        {30000, 0, 30000ULL * 30, PaceVerdict::kGoOn},    // an honest 30 KB/s line, long after 20 s
        {600000, 0, 600ULL * 8192, PaceVerdict::kGoOn},   // 10 minutes at the minimum: still going
        {600000, 0, 600ULL * 8000, PaceVerdict::kTooSlow}, // a trickle just under it is cut off
        {14999, 14999, 0, PaceVerdict::kTooSlow},         // silent from the start: too slow after 10 s
        {40000, 14999, 40ULL * 50000, PaceVerdict::kGoOn}, // a fast line pausing just under the stall limit
        {40000, 15000, 40ULL * 50000, PaceVerdict::kStalled},
        {20000, 16000, 4ULL << 20, PaceVerdict::kStalled},  // a fast start, then silence
    };
    for (const auto& c : cases)
        EXPECT_EQ(JudgePace(pace, c.elapsedMs, c.sinceByteMs, c.received), c.verdict)
            << c.elapsedMs << " ms, " << c.sinceByteMs << " ms since a byte, " << c.received << " bytes";
}
