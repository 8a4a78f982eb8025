#include "cacheserver/core/cache_budget.h"

#include "base/core/debug_trace.h"
#include "cacheserver/core/cache_files.h"
#include "cacheserver/core/entry_meta.h"
#include "cacheserver/core/server_platform.h"

#include <algorithm>
#include <chrono>
#include <system_error>
#include <utility>

namespace {

constexpr size_t kCacheNameLength = 32;
// The keeper saves hits and looks at the budget this often, and sooner
// when a store passes the budget.
constexpr auto kKeeperRound = std::chrono::seconds(5);
// Past this many unsaved hits the keeper is woken to save them; hits
// beyond twice as many are not noted (their files only look older).
constexpr size_t kHitsBeforeSave = 16384;
// A round that could not get under the budget (files that would not go)
// is tried again after this long, not on every store.
constexpr long long kRetryAfterMs = 30000;

bool IsLowerHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

} // namespace

bool IsEntryMetaName(const std::string& name)
{
    return name.size() == kCacheNameLength + 5 && IsCacheFileName(name.substr(0, kCacheNameLength)) &&
           name.compare(kCacheNameLength, 5, ".meta") == 0;
}

bool IsCacheFileName(const std::string& name)
{
    return name.size() == kCacheNameLength && std::all_of(name.begin(), name.end(), IsLowerHexDigit);
}

CCacheBudget::CCacheBudget(std::string folder, long long budgetBytes, int touchSeconds)
    : m_folder(std::move(folder)), m_budget(budgetBytes), m_lowWater(budgetBytes / 100 * kCacheLowWaterPercent),
      m_touchMs(static_cast<long long>(touchSeconds) * 1000)
{
}

CCacheBudget::~CCacheBudget()
{
    Stop();
}

bool CCacheBudget::Start()
{
    if (m_keeper.joinable())
        return true;
    try {
        m_keeper = std::thread(&CCacheBudget::KeeperLoop, this);
    } catch (const std::system_error&) {
        DebugTrace("cache budget: no keeper thread, the folder is not bounded");
        return false;
    }
    return true;
}

void CCacheBudget::Stop()
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_keeper.joinable())
        m_keeper.join();
}

bool CCacheBudget::Stopping()
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_stop;
}

void CCacheBudget::NoteHit(const std::string& file)
{
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_hits.size() >= kHitsBeforeSave) {
        m_wakeRequested = true;
        m_wake.notify_one();
        if (m_hits.size() >= 2 * kHitsBeforeSave)
            return;
    }
    m_hits.insert(file);
}

void CCacheBudget::NoteStored(const std::string&, long long bytes)
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_bytes += bytes;
    m_storedSinceListing += bytes;
    if (m_bytes > m_budget) {
        m_wakeRequested = true;
        m_wake.notify_one();
    }
}

CacheBudgetCounts CCacheBudget::Counts()
{
    std::lock_guard<std::mutex> hold(m_lock);
    CacheBudgetCounts counts = m_counts;
    counts.bytes = m_bytes;
    return counts;
}

void CCacheBudget::KeeperLoop()
{
    Index();
    EvictIfOver();
    std::unique_lock<std::mutex> hold(m_lock);
    while (!m_stop) {
        m_wake.wait_for(hold, kKeeperRound, [this] { return m_stop || m_wakeRequested; });
        m_wakeRequested = false;
        hold.unlock();
        SaveHits();
        EvictIfOver();
        hold.lock();
    }
    hold.unlock();
    // What was used in this run is remembered by the next.
    SaveHits();
}

long long CCacheBudget::List(std::vector<Listed>* files, long long* count)
{
    long long total = 0;
    std::unordered_set<std::string> bodies;
    std::vector<std::string> metas;
    CacheListFiles(m_folder, [&](const std::string& name, const CacheFileStamp& stamp) {
        if (IsEntryMetaName(name))
            metas.push_back(name);
        if (!IsCacheFileName(name))
            return true;
        bodies.insert(name);
        total += stamp.bytes;
        ++*count;
        if (files)
            files->push_back(Listed{name, stamp.bytes, stamp.stampMs});
        return !Stopping();
    });
    // Metadata whose body went (with a removal that failed half-way, or by
    // another hand) describes nothing.
    for (const std::string& meta : metas)
        if (!Stopping() && !bodies.count(meta.substr(0, kCacheNameLength)))
            SrvRemoveFile(m_folder + meta);
    return total;
}

void CCacheBudget::Index()
{
    const auto started = std::chrono::steady_clock::now();
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_storedSinceListing = 0;
    }
    long long files = 0;
    const long long total = List(nullptr, &files);
    const long long ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
    std::lock_guard<std::mutex> hold(m_lock);
    m_bytes = total + m_storedSinceListing;
    m_counts.indexed = true;
    m_counts.indexMs = ms;
    m_counts.files = files;
    DebugTrace("cache budget: indexed %lld files, %lld bytes in %lld ms", files, total, ms);
}

void CCacheBudget::SaveHits()
{
    std::unordered_set<std::string> hits;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        hits.swap(m_hits);
    }
    const long long now = CacheNowMs();
    for (const std::string& file : hits) {
        CacheFileStamp stamp;
        if (CacheStampOf(file, &stamp) && stamp.stampMs <= now - m_touchMs)
            CacheSetStamp(file, now);
    }
}

void CCacheBudget::EvictIfOver()
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        // Another instance's stores are seen only in a listing: past the
        // low-water mark, a round after stores of its own looks again.
        const bool mayBeOver = m_bytes > m_budget || (m_storedSinceListing > 0 && m_bytes > m_lowWater);
        if (!mayBeOver || CacheNowMs() < m_retryAtMs)
            return;
        m_storedSinceListing = 0;
    }
    // The folder itself is the truth: other instances store into it and
    // the cache clearing empties it.
    std::vector<Listed> files;
    long long count = 0;
    long long total = List(&files, &count);
    if (total > m_budget)
        std::sort(files.begin(), files.end(),
                  [](const Listed& a, const Listed& b) { return a.stampMs < b.stampMs; });
    else
        files.clear();
    long long removed = 0;
    for (const Listed& listed : files) {
        if (total <= m_lowWater || Stopping())
            break;
        const std::string path = m_folder + listed.name;
        {
            std::lock_guard<std::mutex> hold(m_lock);
            if (m_hits.count(path))
                continue; // in use right now
        }
        CacheFileStamp now;
        if (!CacheStampOf(path, &now)) {
            total -= listed.bytes; // gone meanwhile
            continue;
        }
        if (now.stampMs != listed.stampMs)
            continue; // used or rewritten since the listing
        if (SrvRemoveFile(path)) {
            SrvRemoveFile(EntryMetaFileFor(path));
            total -= now.bytes;
            ++removed;
        }
    }
    std::lock_guard<std::mutex> hold(m_lock);
    m_bytes = total + m_storedSinceListing;
    m_counts.files = count - removed;
    m_counts.evicted += removed;
    if (m_bytes > m_budget)
        m_retryAtMs = CacheNowMs() + kRetryAfterMs;
    if (removed > 0)
        DebugTrace("cache budget: removed %lld files, %lld bytes left", removed, m_bytes);
}
