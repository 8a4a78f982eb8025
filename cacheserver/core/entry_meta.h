// What is kept beside a cache body about the CDN's answer: its length and
// checksum, its type, its validators and how long it stays fresh. It lives
// in "<body>.meta", a short text file of "key value" lines after a fixed
// first line; see docs/cache-server.md for the format. A body without one
// is an entry of an older cache and keeps its old treatment.
#pragma once

#include <cstdint>
#include <string>

// freshFor of an entry that stays fresh for good.
constexpr long long kFreshForGood = -1;
// A metadata file longer than this is not ours.
constexpr size_t kMaxEntryMetaBytes = 4096;

struct EntryMeta {
    long long length = 0;
    uint64_t checksum = 0;
    // Unix seconds at which the answer was as old as its Age said (its
    // arrival, less that age) and the seconds it is fresh from then on.
    long long storedAt = 0;
    long long freshFor = kFreshForGood;
    // Asked of the CDN before each use.
    bool noCache = false;
    // Once stale, never served without the CDN's word.
    bool mustRevalidate = false;
    std::string contentType;
    std::string etag;
    std::string lastModified;
};

std::string FormatEntryMeta(const EntryMeta& meta);
// False for anything that is not exactly what FormatEntryMeta writes
// (fields in any order, each once): such a file says nothing about its body.
bool ParseEntryMeta(const std::string& text, EntryMeta* meta);
// True when a value may go into the file and into a header: printable
// ASCII, no longer than a header field would reasonably be.
bool IsStorableFieldValue(const std::string& value);

// The metadata file of a cache file.
std::string EntryMetaFileFor(const std::string& file);
// Reads and parses the file's metadata; false when there is none or it is
// unreadable.
bool ReadEntryMeta(const std::string& file, EntryMeta* meta);
// Writes the metadata through a temporary file renamed over the old one.
bool WriteEntryMeta(const std::string& file, const EntryMeta& meta);
// Puts a complete temporary body in place as file with its metadata: the
// old metadata goes first, so that no reader pairs it with the new body,
// and the new one follows the body.
bool StoreEntry(const std::string& temporary, const std::string& file, const EntryMeta& meta);
// Removes a cache file and its metadata.
void RemoveEntry(const std::string& file);
