// The metadata of the cache's entries as this run knows them. An entry's
// body is checked against its metadata's checksum the first time a run
// serves it (while the hit reads it: see MakeCacheHitResponse); later hits
// only compare its length. What this process stores is known checked, and
// a body known to have no metadata is not looked for again.
#pragma once

#include "cacheserver/core/entry_meta.h"
#include "cacheserver/core/server_platform.h"

#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>

struct CdnAnswerFields;

enum class EntryKind {
    kWithout,   // no metadata: an entry of an older cache, or no entry at all
    kUnchecked, // metadata whose body this run has not checked yet
    kChecked,   // metadata that its body matched
    kDamaged,   // metadata that describes nothing
};

class CCacheEntries {
public:
    EntryKind Look(const std::string& file, EntryMeta* meta);
    // The body matched this metadata, or a fetch stored it so.
    void Checked(const std::string& file, const EntryMeta& meta);
    // Checks an entry this run knows nothing of yet and notes it when its
    // body matches; a store meanwhile wins.
    void CheckUnknown(const std::string& file);
    // A 304 came for the file: its metadata is renewed from the answer.
    void Renew(const std::string& file, const CdnAnswerFields& notModified, long long now);
    // The entry goes, body and metadata.
    void Remove(const std::string& file);

private:
    std::mutex m_lock;
    std::unordered_map<std::string, EntryMeta> m_checked;
    std::unordered_set<std::string> m_without;
};

// True when the open file's first length bytes have the checksum.
bool FileHasChecksum(SrvFile* file, long long length, uint64_t checksum);
