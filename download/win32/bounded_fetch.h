// The body of one URL, fetched on a thread of its own so that the caller
// waits no longer than a time limit: a peer that trickles its answer or
// never ends it cannot hold the caller. A fetch that runs late is left to
// end by itself and its bytes are dropped.
#pragma once

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

// True when the answer carried a Content-Length, its body kept rule within
// capacity bytes, and all of it arrived within timeLimitMs.
bool FetchBodyWithin(const wchar_t* url, size_t capacity, BodyRule rule, unsigned long timeLimitMs, FetchedBody& body);
