// What the cache server is given by the program that runs it: where its
// files live, where it listens, where misses come from and how they are
// fetched. The server includes nothing of its callers.
#pragma once

#include <functional>
#include <string>

// What a CDN fetch reports to, in this order: the final answer's header
// fields, its head once, then its body in pieces. OnHead or OnBody returning
// false ends the fetch.
class ICdnReceiver {
public:
    // Further request fields ("Name: value" lines, each ending in CRLF) the
    // fetch sends, such as a conditional request's validators.
    virtual std::string RequestFields() const { return std::string(); }
    // Each header field of the final answer, before OnHead.
    virtual void OnHeaderField(const std::string& name, const std::string& value)
    {
        (void)name;
        (void)value;
    }
    // status: the HTTP status code; reason: its text; contentLength: -1
    // when the answer announces none. Called before any body byte.
    virtual bool OnHead(int status, const std::string& reason, long long contentLength) = 0;
    virtual bool OnBody(const char* bytes, size_t length) = 0;
    // Asked between pieces and, where the client allows, while it waits for
    // the network: false means nobody wants the answer any more.
    virtual bool KeepGoing() = 0;
    // Before a redirect is followed: its status and the absolute URL it leads to.
    virtual bool OnRedirect(int status, const std::string& target) = 0;

protected:
    ~ICdnReceiver() = default;
};

// 4 GiB: a season of resources of a large web game.
constexpr long long kDefaultCacheBudgetBytes = 4LL << 30;
// A hit moves its file's time at most this often.
constexpr int kDefaultRecencyTouchSeconds = 600;

// CDN connections the fetch keeps open for later misses, per CDN host:
// more than the browsers ask for at once (6 a host each, and the game
// window and the login page may both be loading), so that a miss seldom
// waits for a connection set-up.
constexpr int kCdnKeptConnectionsPerHost = 16;
// The CDN hosts whose connections are kept at once: the base and one that
// it redirects to.
constexpr int kCdnHostsKept = 2;
// A kept CDN connection idle this long is not used again: CDNs close idle
// connections after about a minute, and one closed under a request costs a
// retry.
constexpr int kCdnConnectionIdleSeconds = 30;

enum class CdnFetchResult {
    kComplete, // the whole announced body arrived
    kFailed,   // no answer, or the body broke off
    kTimedOut, // the CDN stopped answering
};

// Fetches url into the receiver. Runs on a thread of its own, which is left
// running when the server stops during a fetch that does not end: whatever
// the function uses must stay valid until it returns.
using CdnFetch = std::function<CdnFetchResult(const std::string& url, ICdnReceiver& receiver)>;

struct CacheServerConfig {
    // The cache folder, created if missing.
    std::string folder;
    // The first port to listen on; 0 lets the system choose.
    int firstPort = 0;
    // Another port to try when one cannot be listened on (may be empty).
    std::function<int()> drawPort;
    // The resource CDN base URL (ends in "/"). Read at every miss, so the
    // caller may change it while the server runs; only serving threads
    // call it, and they have all ended when Stop returns.
    std::function<std::string()> cdnBase;
    CdnFetch fetch;

    // A keep-alive connection idle this long is closed.
    int idleTimeoutMs = 60000;
    // A miss whose CDN has not answered in this time gets 504; its fetch
    // ends by this limit and the next one, whether anyone reads it or not.
    int cdnAnswerTimeoutMs = 30000;
    // A miss whose body stops arriving for this long is cut off.
    int cdnStallTimeoutMs = 30000;
    // Past this many simultaneous connections a new one replaces the
    // connection idle longest between requests, or is closed when none is.
    int maxConnections = 256;
    // Limits slow peers cannot stretch (0: the server's own, see
    // generic_server.h): a request header's time from its first byte, a
    // response's time without progress, and the least rate a reader must
    // keep up over a window of time spent waiting for it.
    int headerTimeoutMs = 0;
    int sendStallTimeoutMs = 0;
    int minSendBytesPerSecond = 0;
    int sendRateWindowMs = 0;

    // The size budget of the folder's cache files (0: unbounded) and how
    // often a hit may move its file's time; see cache_budget.h.
    long long cacheBudgetBytes = kDefaultCacheBudgetBytes;
    int recencyTouchSeconds = kDefaultRecencyTouchSeconds;
};

// The wz_cdn folder of the process's current folder, ending in a separator.
std::string CurrentFolderCache();
// The wz_cdn folder of the given folder, ending in a separator.
std::string CacheFolderIn(const std::string& folder);
