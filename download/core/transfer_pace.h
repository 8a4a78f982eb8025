// When a download without a fixed time limit gives up: it goes on for as
// long as bytes keep coming at a useful rate, so an honest slow line
// finishes while a peer that stops, or trickles to hold the caller, is cut
// off.
#pragma once

struct TransferPace {
    // No byte for this long (waiting for the answer included) ends it.
    unsigned long stallMs;
    // An average since the request began below this many bytes a second
    // ends it, once graceMs have passed (connecting and a slow start are
    // not judged).
    unsigned long minBytesPerSecond;
    unsigned long graceMs;
};

enum class PaceVerdict { kGoOn, kStalled, kTooSlow };

// The verdict after elapsedMs since the request began, sinceByteMs since
// the last byte (or the beginning) and `received` body bytes.
PaceVerdict JudgePace(const TransferPace& pace, unsigned long long elapsedMs, unsigned long long sinceByteMs,
                      unsigned long long received);
