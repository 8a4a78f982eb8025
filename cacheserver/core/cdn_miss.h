// Misses: one CDN fetch per path at a time, on a thread of its own, written
// to a temporary file beside the cache file while every request that wants
// the path streams from that file as the bytes arrive. Only a complete 200
// answer is renamed into the cache. A fetch goes on when its requests leave
// (a reload, a reader cut off for being slow), so that what was started is
// stored; a later request for the path joins it.
#pragma once

#include "cacheserver/core/cache_server_config.h"
#include "cacheserver/core/responses.h"

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>

struct CdnMiss;

// Fetches that may run on with nobody reading them. A client that asks
// for many paths and leaves at once cannot make more than these run
// unattended; past them, the fetch a request leaves ends.
constexpr int kMaxUnattendedFetches = 32;

// The misses under way, by request path. Shared by the server and its
// fetch threads, which may outlive the server when a fetch never ends.
class CMissBoard : public std::enable_shared_from_this<CMissBoard> {
public:
    // budgetBytes: the cache's budget (0: unbounded); an unattended fetch
    // larger than it ends, as it could not stay in the cache.
    CMissBoard(CdnFetch fetch, int answerTimeoutMs, int stallTimeoutMs, long long budgetBytes);

    // The response for a path whose cache file was not there: joins the
    // fetch under way for the path, or finds the file stored meanwhile, or
    // starts a fetch of url.
    std::unique_ptr<CResponse> Respond(const std::string& path, const std::string& file, const std::string& url,
                                       const ResponseHead& head);
    // Tells every fetch that nobody wants it any more and waits up to
    // timeoutMs for their threads; those still running are left to end
    // by themselves.
    void CancelAll(int timeoutMs);
    // Fetch threads still running (for tests).
    int RunningFetches();

    // A request stopped waiting for the miss. The fetch goes on unless it
    // is one too many to run unattended.
    void Leave(const std::shared_ptr<CdnMiss>& miss);
    // The miss can no longer be joined; a later request starts afresh.
    void Forget(const std::shared_ptr<CdnMiss>& miss);
    void FetchEnded(unsigned fetchId);
    // Told of every file a fetch puts into the cache; set before any fetch.
    std::function<void(const std::string& file, long long bytes)> onStored;

    const int answerTimeoutMs;
    const int stallTimeoutMs;
    const long long budgetBytes;

private:
    static unsigned FetchThreadProc(void* arg);

    const CdnFetch m_fetch;
    std::mutex m_lock;
    std::map<std::string, std::shared_ptr<CdnMiss>> m_misses;
    std::condition_variable m_fetchEnded;
    // The temporary file of each fetch still running, by fetch ("" for a
    // scratch file), so that a stop can remove those it abandons.
    std::map<unsigned, std::string> m_running;
    unsigned m_tempCounter = 0;
};

// Temporary files are "<cache file>.<process id>-<n>.part": unique across
// processes, and never named like a cache file, so never served.
bool IsTemporaryFileName(const std::string& name);
// The id of the process that named a temporary file, or 0 when the name
// carries none.
unsigned long TemporaryFileOwner(const std::string& name);
