// What the cache server is given by the program that runs it: where its
// files live, where it listens, where misses come from and how they are
// fetched. The server includes nothing of its callers.
#pragma once

#include <functional>
#include <string>

class COutBuf;

// Appends the body of url to body; 0 when the whole announced body arrived.
using CdnFetch = std::function<int(const std::string& url, COutBuf* body)>;

struct CacheServerConfig {
    // The cache folder, created if missing.
    std::string folder;
    // The first port to listen on; 0 lets the system choose.
    int firstPort = 0;
    // Another port to try when one cannot be listened on (may be empty).
    std::function<int()> drawPort;
    // The resource CDN base URL (ends in "/"). Read at every miss, so the
    // caller may change it while the server runs.
    std::function<std::string()> cdnBase;
    CdnFetch fetch;
};

// The wz_cdn folder of the process's current folder, ending in a separator.
std::string CurrentFolderCache();
