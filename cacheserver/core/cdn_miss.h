// Misses: one CDN fetch per path at a time, on a thread of its own (one of
// a few kept for the next miss), written
// to a temporary file beside the cache file while every request that wants
// the path streams from that file as the bytes arrive. Only a complete 200
// answer is renamed into the cache. A fetch goes on when its requests leave
// (a reload, a reader cut off for being slow), so that what was started is
// stored; a later request for the path joins it.
#pragma once

#include "cacheserver/core/cache_server_config.h"
#include "cacheserver/core/entry_meta.h"
#include "cacheserver/core/responses.h"
#include "cacheserver/core/worker_pool.h"

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
// A revalidation whose CDN has not answered in this time is given up: the
// stored body is served (or 504 for an entry that must be revalidated).
constexpr int kRevalidationAnswerMs = 3000;
// Revalidations of stale entries that run behind the responses at once.
constexpr int kMaxBackgroundRevalidations = 4;
// Fetch threads kept waiting for the next miss, and for how long: as many
// as the browsers ask for at once, through a game load's bursts.
constexpr size_t kFetchThreadsKept = 16;
constexpr int kFetchThreadIdleMs = 10000;

struct CdnAnswerFields;

// A stored entry to be asked after, and what its answers do to it.
struct EntryRevalidation {
    std::string path;
    std::string file;
    std::string url;
    // Its validators as request fields (see ConditionalHeaders).
    std::string requestFields;
    // A failed revalidation gives 504 instead of the stored body.
    bool mustRevalidate = false;
    // Called on the fetch thread, under the miss's lock: a 304 renews the
    // entry; a 404, a 410 or a 200 that may not be stored removes it.
    std::function<void(const CdnAnswerFields& notModified)> onNotModified;
    std::function<void()> onGone;
    // The stored entry's response (null when it cannot be served).
    std::function<std::unique_ptr<CResponse>(const ResponseHead& head)> stored;
};

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
    // Asks the CDN after a stale entry that is served meanwhile: not while
    // a request waits for a miss, nor when the path is being fetched or
    // kMaxBackgroundRevalidations run already.
    void RevalidateBehind(const EntryRevalidation& entry);
    // The response for an entry that must be revalidated before it is
    // served: the stored body after a 304 or a CDN failure (504 for one that
    // must be revalidated), else the CDN's answer as a miss.
    std::unique_ptr<CResponse> RespondAfterRevalidation(const EntryRevalidation& entry, const ResponseHead& head);
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
    // Told of the metadata of every file a fetch puts into the cache.
    std::function<void(const std::string& file, const EntryMeta& meta)> onEntryStored;

    const int answerTimeoutMs;
    const int stallTimeoutMs;
    const long long budgetBytes;

private:
    struct FetchJob;
    static void RunFetch(FetchJob job);
    // Starts a fetch of url for the path (a revalidation when given one).
    // Called under m_lock; null when no fetch could be started.
    std::shared_ptr<CdnMiss> StartFetchLocked(const std::string& path, const std::string& file, const std::string& url,
                                              const EntryRevalidation* revalidation);

    const CdnFetch m_fetch;
    const std::shared_ptr<CWorkerPool> m_workers;
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
