// How long a cache entry may be served without asking the CDN, read from
// the header fields of the CDN's answer, and what is asked once it may not.
// This cache has a single user: "private" and Set-Cookie do not keep an
// answer out of it.
#pragma once

#include "cacheserver/core/entry_meta.h"

#include <string>

// The header fields of a CDN answer that matter to the cache. Repeated
// fields are joined with ", ", as a list field may be.
struct CdnAnswerFields {
    std::string cacheControl;
    std::string expires;
    std::string date;
    std::string age;
    std::string etag;
    std::string lastModified;
    std::string contentType;
    std::string contentEncoding;
    std::string vary;
    bool hasExpires = false;
    // A list field grew past its bound and was cut.
    bool overlong = false;

    void Add(const std::string& name, const std::string& value);
};

// A heuristic freshness (a tenth of the age since Last-Modified) is capped here.
constexpr long long kHeuristicFreshnessCapSeconds = 86400;

// Unix seconds of an HTTP date (IMF-fixdate, RFC 850 or asctime form);
// false for anything else.
bool ParseHttpDate(const std::string& text, long long* unixSeconds);

// False for an answer that must not be stored: no-store, "Vary: *", or a
// Content-Encoding other than identity.
bool MayStore(const CdnAnswerFields& fields);
// The metadata of a 200 answer received at now (everything but the body's
// length and checksum).
EntryMeta MetaOfAnswer(const CdnAnswerFields& fields, long long now);
// The metadata after a 304 received at now: its validators and freshness
// replace those it gives, and the entry is as new as the answer.
EntryMeta RenewedMeta(const EntryMeta& stored, const CdnAnswerFields& notModified, long long now);

enum class EntryFreshness {
    kFresh,            // served as it is
    kStale,            // served at once, and asked after in the background
    kRevalidateFirst,  // asked of the CDN before it is served
};
EntryFreshness JudgeEntry(const EntryMeta& meta, long long now);

// The conditional request fields for an entry's validators, each line ending
// in CRLF; empty when it has none.
std::string ConditionalHeaders(const EntryMeta& meta);
