// The size budget of the cache folder. A keeper thread indexes the folder
// once at launch, then removes the least recently used cache files whenever
// the folder has grown past the budget, until it is down to the low-water
// mark. Requests only note hits and stores, which costs a lock and a set
// insertion; the keeper does every file operation.
//
// Recency is the cache file's modification time: a stored file carries the
// time it was written, and a hit moves the time to now, at most once per
// touch interval per file and always from the keeper. The folder stays
// flat, files keep their MD5 names and bare bodies, and the recency survives
// restarts and is seen by every instance that shares the folder. Only names
// of 32 lower-case hexadecimal digits are ours: temporary ".part" files and
// anything else are neither counted nor removed.
//
// Before it removes a file the keeper looks at it once more and spares it
// when it was used or rewritten since the folder was listed. A response that
// has the file open keeps reading it: an open file survives its removal
// here, and the Windows layer opens files sharing deletion; where a removal
// fails anyway it is tried again on a later round. Another instance on the
// same folder counts its own stores, so the folder may pass the budget
// until either instance lists it again; an instance near the budget lists
// it at its next round after storing.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

// A round of eviction ends at this share of the budget, so that rounds
// come at most once per tenth of the budget newly stored.
constexpr int kCacheLowWaterPercent = 90;

struct CacheBudgetCounts {
    bool indexed = false;
    long long indexMs = 0;   // how long the launch indexing took
    long long files = 0;     // cache files found by the last listing
    long long bytes = 0;     // the folder's size as the keeper knows it
    long long evicted = 0;   // files removed since launch
};

class CCacheBudget {
public:
    // folder ends in a separator; budgetBytes > 0.
    CCacheBudget(std::string folder, long long budgetBytes, int touchSeconds);
    ~CCacheBudget();
    CCacheBudget(const CCacheBudget&) = delete;
    CCacheBudget& operator=(const CCacheBudget&) = delete;

    // Starts the keeper: indexing, then eviction as needed.
    bool Start();
    // Ends the keeper after it has saved the hits noted so far.
    void Stop();

    // A request was served from this cache file.
    void NoteHit(const std::string& file);
    // A fetch put a file of this size into the cache.
    void NoteStored(const std::string& file, long long bytes);

    // The keeper's work, callable without the thread: listing the folder,
    // saving noted hits as file times, and a round of eviction when the
    // folder is over budget.
    void Index();
    void SaveHits();
    void EvictIfOver();

    CacheBudgetCounts Counts();

private:
    void KeeperLoop();
    // The folder's cache files, by name and stamp.
    struct Listed {
        std::string name;
        long long bytes;
        long long stampMs;
    };
    // files may be null; count receives how many there are.
    long long List(std::vector<Listed>* files, long long* count);
    bool Stopping();

    const std::string m_folder;
    const long long m_budget;
    const long long m_lowWater;
    const long long m_touchMs;

    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_stop = false;
    bool m_wakeRequested = false;
    std::unordered_set<std::string> m_hits; // files hit since the last save
    long long m_bytes = 0;
    long long m_storedSinceListing = 0;
    long long m_retryAtMs = 0;
    CacheBudgetCounts m_counts;
    std::thread m_keeper;
};

// True for the names of cache files: 32 lower-case hexadecimal digits.
bool IsCacheFileName(const std::string& name);
// True for a cache file's metadata name ("<cache file>.meta"). Metadata is
// not counted; it goes with its body, and without one at the next listing.
bool IsEntryMetaName(const std::string& name);
