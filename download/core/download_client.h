// The HTTP download client: every outgoing transfer of the program. The
// operations are synchronous. The streamed fetch (FetchStream, FetchToSink)
// is libcurl in both builds; on Windows the other downloads are WinInet's.
#pragma once

#include "download/core/transfer_pace.h"

#include <cstddef>
#include <functional>
#include <string>

class COutBuf;

enum FetchStatus : int {
    kFetchOk = 0,
    kFetchCannotOpen = 1,   // the URL cannot be opened, or the answer has no Content-Length
    kFetchIncomplete = 3,   // a read failed, or the body differs from its Content-Length
    kFetchOffline = 4,      // the machine is offline, or no session can be opened
    kFetchTimedOut = 5,     // the server stopped answering (FetchStream only)
    kFetchStopped = 6,      // the receiver ended the transfer (FetchStream only)
};

// Extra request headers of every fetch: the header line and an empty line.
extern const char kFetchHeaders[];
// INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE.
constexpr unsigned long kFetchFlags = 0x84000100UL;

// Fetches a URL into buffer; returns the number of body bytes stored, 0 on
// failure, for a body larger than capacity, or when the whole exchange,
// connecting included, has not ended within timeLimitMs.
size_t FetchToMemory(const wchar_t* url, void* buffer, size_t capacity, unsigned long timeLimitMs);

// A further judgement of a downloaded body by the caller, made after the
// digest matched and before anything is written.
using BodyCheck = std::function<bool(const unsigned char* bytes, size_t length)>;

// What one download may take: no fixed total time, but a pace it has to keep.
struct DownloadLimits {
    size_t maxBytes;   // a longer Content-Length is refused before anything is allocated
    TransferPace pace; // judged from the request's start to the last byte
};

// What the caller sees of a running download, and how it ends one. Both are
// called on the caller's thread, a few times a second, while it waits.
struct DownloadWatch {
    // Body bytes so far and the Content-Length (0 until the answer came).
    std::function<void(size_t received, size_t total)> progress;
    // False abandons the download: nothing is written.
    std::function<bool()> keepGoing;
};

// Downloads a URL, checks its MD5 against expectedMd5 (hex, either case) and
// the body with accept (when given), and only then writes it to path. True
// when all of that succeeded within limits and watch let it go on.
bool DownloadVerified(const wchar_t* url, const wchar_t* path, const std::string& expectedMd5,
                      const DownloadLimits& limits, const BodyCheck& accept = BodyCheck(),
                      const DownloadWatch& watch = DownloadWatch());

// Appends the body of a URL to sink (may be null); see FetchStatus. The HTTP
// status is not examined: an answer with a Content-Length is content.
int FetchToSink(const char* url, const char* ignored, COutBuf* sink);

// What FetchStream reports to: the answer's head once, before any body
// byte, then the body in pieces. Returning false from either ends the
// transfer with kFetchStopped.
class IFetchReceiver {
public:
    // Each header field of the final answer (not those of redirects or
    // interim answers), before OnHead, with the value's outer blanks removed.
    virtual void OnHeaderField(const std::string& name, const std::string& value)
    {
        (void)name;
        (void)value;
    }
    // contentLength is -1 when the answer has none.
    virtual bool OnHead(int status, const std::string& reason, long long contentLength) = 0;
    virtual bool OnBody(const char* bytes, size_t length) = 0;
    // Asked between pieces and, with libcurl, about once a second while the
    // transfer waits: false ends it with kFetchStopped.
    virtual bool KeepGoing() { return true; }
    // Before each redirect is followed: its status and the absolute URL it
    // leads to. False ends the transfer with kFetchStopped.
    virtual bool OnRedirect(int status, const std::string& target)
    {
        (void)status;
        (void)target;
        return true;
    }

protected:
    ~IFetchReceiver() = default;
};

// Streams a URL (same request as FetchToSink) into receiver; the path goes
// out exactly as given, and redirects are followed and reported. A head
// whose body's end could be read two ways (two Content-Length values, or
// one beside a Transfer-Encoding) is never reported: kFetchCannotOpen. A
// kept connection carries another request only when nothing unasked has
// arrived on it since its last answer. kFetchOk when
// the whole announced body arrived (an answer without Content-Length counts
// as whole when it ends in order); kFetchCannotOpen or kFetchOffline when
// no answer came, kFetchTimedOut when the server stopped answering before
// or during the body, kFetchIncomplete when the body broke off.
// extraHeaders: further request fields ("Name: value" lines, each ending in
// CRLF), such as a conditional request's; a request that carries any goes
// without "Pragma: no-cache", so that a CDN edge may answer it from its
// own cache. A 304 is reported with a length of 0.
int FetchStream(const char* url, IFetchReceiver& receiver, const std::string& extraHeaders = std::string());

// How FetchStream keeps connections and whom it trusts; the program sets
// it once, before its first fetch.
struct FetchConnectionSettings {
    // Connections kept open for later requests, over all servers.
    int keptConnections = 32;
    // A kept connection idle this long is not used again, and is closed.
    int idleSeconds = 30;
    // Empty: https servers are verified against the system's certificate
    // store. Otherwise only the authorities in this PEM file are trusted
    // (test builds and hosts only).
    std::string trustedCaFile;
};
void SetFetchConnectionSettings(const FetchConnectionSettings& settings);
