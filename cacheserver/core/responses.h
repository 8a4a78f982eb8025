// The responses of the cache server that need no CDN: fixed answers and
// cache hits, and the fixed header they all share.
#pragma once

#include "cacheserver/core/generic_server.h"

#include <cstdint>
#include <memory>
#include <string>

extern const char kServerToken[];
extern const char kResponseFormat[];
extern const char kStatusOk[];
extern const char kStatusNotImplemented[];

// What a response header carries besides its status and length.
struct ResponseHead {
    const char* connection = "close"; // or "Keep-Alive"
    std::string contentType;
    // The request was not a GET: the page it gets is sent as 501.
    bool notImplemented = false;
    // The status of a resource that was obtained.
    const char* FoundStatus() const { return notImplemented ? kStatusNotImplemented : kStatusOk; }
};

// "%a, %d %b %Y %H:%M:%S GMT" of a UTC time, with English names whatever the locale.
std::string HttpDate(long long unixSeconds);
// The fixed header with the current date.
std::string ComposeHeader(const std::string& status, const ResponseHead& head, long long contentLength);

// A response held whole: a header, with perhaps a small body.
std::unique_ptr<CResponse> MakeFixedResponse(std::string bytes);

// The response for a cache file, or null when it cannot be opened or read,
// is not expectedLength bytes long (when that is not negative), or has not
// the checksum (when one is given). A small file's checksum is taken from
// the bytes read for the response itself.
std::unique_ptr<CResponse> MakeCacheHitResponse(const std::string& file, const ResponseHead& head,
                                                long long expectedLength = -1,
                                                const uint64_t* expectedChecksum = nullptr);

// Owns an open file for those who share it.
using SharedFile = std::shared_ptr<SrvFile>;
inline SharedFile ShareFile(SrvFile* file)
{
    return file ? SharedFile(file, SrvFileCloser()) : SharedFile();
}
