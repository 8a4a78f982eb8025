// The body of one URL, fetched on a thread of its own so that the caller
// waits no longer than its bounds allow: a peer that trickles its answer or
// never ends it cannot hold the caller. A fetch that is given up is left to
// end by itself (it stops at its next read) and its bytes are dropped.
#pragma once

#include "download/core/download_client.h"
#include "download/core/transfer_pace.h"

#include <cstddef>
#include <memory>

enum class BodyRule {
    kUpToCapacity,         // whatever arrives until the end or a failed read, at most the capacity
    kWholeContentLength,   // exactly Content-Length bytes, more than none, at most the capacity
};

struct FetchedBody {
    std::unique_ptr<unsigned char[]> bytes;
    size_t size = 0;
};

// How long the caller waits: a fixed total, a pace to keep, or both; a
// fetch with neither is refused. `watch` (optional) sees the progress and
// may end the fetch.
struct FetchBounds {
    unsigned long timeLimitMs = 0; // 0: no fixed total
    const TransferPace* pace = nullptr;
    const DownloadWatch* watch = nullptr;
};

// True when the answer carried a Content-Length, its body kept rule within
// capacity bytes, and all of it arrived within bounds.
bool FetchBodyWithin(const wchar_t* url, size_t capacity, BodyRule rule, const FetchBounds& bounds, FetchedBody& body);
