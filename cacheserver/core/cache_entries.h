// The metadata of the cache's entries as this run has checked them. An
// entry's body is checked against its metadata's checksum the first time a
// run serves it; later hits only compare its length. What this process
// stores or renews is known checked.
#pragma once

#include "cacheserver/core/entry_meta.h"

#include <mutex>
#include <string>
#include <unordered_map>

struct CdnAnswerFields;

enum class EntryKind {
    kWithout, // no metadata: an entry of an older cache, or no entry at all
    kChecked, // metadata that its body matches
    kDamaged, // unreadable metadata, or a body that differs from it
};

class CCacheEntries {
public:
    EntryKind Look(const std::string& file, EntryMeta* meta);
    // A fetch stored the file with this metadata.
    void Stored(const std::string& file, const EntryMeta& meta);
    // A 304 came for the file: its metadata is renewed from the answer.
    void Renew(const std::string& file, const CdnAnswerFields& notModified, long long now);
    // The entry goes, body and metadata.
    void Remove(const std::string& file);

private:
    // Reads the body whole; true when its length and checksum match.
    static bool BodyMatches(const std::string& file, const EntryMeta& meta);

    std::mutex m_lock;
    std::unordered_map<std::string, EntryMeta> m_checked;
};
