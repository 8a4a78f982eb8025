#include "download/win32/fetch_to_sink.h"

#include "download/core/download_client.h"
#include "download/core/response_framing.h"
#include "download/core/sink_receiver.h"
#include "download/win32/wininet_session.h"

#include <cstring>
#include <string>

namespace {

constexpr DWORD kReadPieceBytes = 16384;
// Redirects are followed here, not by WinInet, so that each hop is seen.
constexpr int kMaxRedirects = 10;
constexpr DWORD kHeadAreaBytes = 8192;
// WinInet keeps a connection whenever the answer allows it, in a pool that
// the whole process shares, and hands it to the next request for that
// server even when bytes nobody asked for wait on it, which would then be
// read as that request's answer. So the CDN is asked to close after each
// answer, and an answer that came over a connection WinInet kept from an
// earlier request (the CDN ignored that) is never read: the request is made
// again, and after kMaxKeptAttempts such answers the fetch fails. Whether a
// request opened a connection of its own is told by the status callback of
// the fetch's own session (INTERNET_STATUS_CONNECTED_TO_SERVER), which
// touches nothing beyond that session: the browsers' requests in the same
// process and their settings are left alone.
const char kStreamHeaders[] = "Accept: */*\r\nConnection: close\r\n\r\n";
constexpr int kMaxKeptAttempts = 3;

// What the status callback learns of one request; its address is the
// request's context value (callbacks come only for a non-zero one).
struct RequestWatch {
    bool connected = false;
};

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID, DWORD)
{
    if (status == INTERNET_STATUS_CONNECTED_TO_SERVER && context)
        reinterpret_cast<RequestWatch*>(context)->connected = true;
}

bool IsRedirect(DWORD status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// A text field of the answer; false when it has none.
bool QueryText(HINTERNET request, DWORD field, std::string* text)
{
    text->assign(kHeadAreaBytes, '\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD size = static_cast<DWORD>(text->size());
        if (HttpQueryInfoA(request, field, &(*text)[0], &size, nullptr)) {
            text->resize(size);
            return true;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            break;
        text->assign(size + 1, '\0');
    }
    text->clear();
    return false;
}

// The absolute URL a Location leads to from base; only a web address, since
// WinInet would as readily open a file: or ftp: target for the CDN.
bool ResolveLocation(const std::string& base, const std::string& location, std::string* target)
{
    target->assign(2048, '\0');
    DWORD size = static_cast<DWORD>(target->size());
    if (!InternetCombineUrlA(base.c_str(), location.c_str(), &(*target)[0], &size, ICU_NO_ENCODE))
        return false;
    target->resize(size);
    return _strnicmp(target->c_str(), "http://", 7) == 0 || _strnicmp(target->c_str(), "https://", 8) == 0;
}

int FailureOfLastCall(int otherwise)
{
    return GetLastError() == ERROR_INTERNET_TIMEOUT ? kFetchTimedOut : otherwise;
}

// An internet handle of its own for one fetch; null when offline or none
// can be opened.
HINTERNET OpenSession()
{
    const ConnectionState state = QueryConnectionState();
    if (state.Offline())
        return nullptr;
    const std::string agent = TickAgent();
    const HINTERNET internet = InternetOpenA(agent.c_str(), AccessTypeFor(state), nullptr, nullptr, 0);
    // A CDN that stops answering must not hold a thread for ever.
    if (internet)
        ApplyFetchTimeouts(internet);
    return internet;
}

// Each field of a raw head ("Name: value" lines after the status line).
void ReportFields(const std::string& head, IFetchReceiver& receiver)
{
    size_t at = head.find("\r\n");
    while (at != std::string::npos && at + 2 < head.size()) {
        at += 2;
        const size_t end = head.find("\r\n", at);
        const std::string line = head.substr(at, end == std::string::npos ? std::string::npos : end - at);
        const size_t colon = line.find(':');
        if (colon != std::string::npos && colon > 0) {
            const size_t begin = line.find_first_not_of(" \t", colon + 1);
            const size_t last = line.find_last_not_of(" \t");
            receiver.OnHeaderField(line.substr(0, colon),
                                   begin == std::string::npos ? std::string() : line.substr(begin, last - begin + 1));
        }
        at = end;
    }
}

// The head of the final answer, then its body, to the receiver.
int ReadAnswer(HINTERNET request, int status, long long announced, IFetchReceiver& receiver)
{
    char reason[128] = {};
    DWORD reasonSize = sizeof reason;
    if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_TEXT, reason, &reasonSize, nullptr) || reasonSize >= sizeof reason)
        reasonSize = 0;
    if (!receiver.OnHead(status, std::string(reason, reasonSize), announced))
        return kFetchStopped;

    char piece[kReadPieceBytes];
    long long received = 0;
    for (;;) {
        if (!receiver.KeepGoing())
            return kFetchStopped;
        // A read fills the whole piece before it returns; asking what has
        // arrived first hands each piece on as soon as it is there.
        DWORD available = 0;
        if (!InternetQueryDataAvailable(request, &available, 0, 0))
            return FailureOfLastCall(kFetchIncomplete);
        DWORD read = 0;
        if (available > 0 && !InternetReadFile(request, piece, available < sizeof piece ? available : sizeof piece, &read))
            return FailureOfLastCall(kFetchIncomplete);
        if (read == 0)
            break;
        if (!receiver.OnBody(piece, read))
            return kFetchStopped;
        received += read;
    }
    return announced >= 0 && received != announced ? kFetchIncomplete : kFetchOk;
}

} // namespace

int FetchToSink(const char* url, const char* ignored, COutBuf* sink)
{
    ScopedInternet internet(OpenSession());
    if (!internet)
        return kFetchOffline;
    return FetchWithHandle(internet.Get(), url, ignored, sink);
}

int FetchStream(const char* url, IFetchReceiver& receiver, const std::string& extraHeaders)
{
    ScopedInternet internet(OpenSession());
    if (!internet)
        return kFetchOffline;
    return StreamWithHandle(internet.Get(), url, receiver, extraHeaders);
}

int FetchWithHandle(HINTERNET internet, const char* url, const char*, COutBuf* sink)
{
    SinkReceiver receiver(sink);
    return receiver.Status(StreamWithHandle(internet, url, receiver));
}

int StreamWithHandle(HINTERNET internet, const char* url, IFetchReceiver& receiver, const std::string& extraHeaders)
{
    // A conditional request goes without INTERNET_FLAG_PRAGMA_NOCACHE, so
    // that the CDN's edge may answer it from its own cache.
    const std::string requestHeaders = extraHeaders.empty()
                                           ? std::string(kStreamHeaders)
                                           : extraHeaders + kStreamHeaders;
    const DWORD flags = extraHeaders.empty() ? kFetchFlags : kFetchFlags & ~static_cast<DWORD>(INTERNET_FLAG_PRAGMA_NOCACHE);
    // Inherited by the requests opened on this session, and by nothing else.
    if (InternetSetStatusCallbackA(internet, &OnStatus) == INTERNET_INVALID_STATUS_CALLBACK)
        return kFetchCannotOpen;
    std::string current = url;
    int hops = 0;
    int keptAnswers = 0;
    for (;;) {
        // Closed with the internet handle at the latest; closed here so that a
        // caller reusing the handle does not collect requests.
        RequestWatch watch;
        ScopedInternet request(InternetOpenUrlA(internet, current.c_str(), requestHeaders.c_str(),
                                                static_cast<DWORD>(requestHeaders.size()),
                                                flags | INTERNET_FLAG_NO_AUTO_REDIRECT,
                                                reinterpret_cast<DWORD_PTR>(&watch)));
        if (!request)
            return FailureOfLastCall(kFetchCannotOpen);
        if (!watch.connected) {
            // An answer over a kept connection may be bytes sent for nobody.
            if (++keptAnswers == kMaxKeptAttempts)
                return kFetchCannotOpen;
            continue;
        }
        // Set on the request as well: not every WinInet passes the session's
        // time-outs on to reads.
        ApplyFetchTimeouts(request.Get());

        DWORD status = 0;
        DWORD size = sizeof status;
        if (!HttpQueryInfoA(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
            return kFetchCannotOpen;
        // Read from the head as it came: WinInet settles for one of two lengths.
        std::string head;
        if (!QueryText(request.Get(), HTTP_QUERY_RAW_HEADERS_CRLF, &head))
            return kFetchCannotOpen;
        const CHeadFraming framing = FramingOfRawHead(head);
        if (framing.Ambiguous())
            return kFetchCannotOpen;

        std::string location;
        if (IsRedirect(status) && QueryText(request.Get(), HTTP_QUERY_LOCATION, &location) && !location.empty()) {
            std::string target;
            if (hops++ == kMaxRedirects || !ResolveLocation(current, location, &target))
                return kFetchCannotOpen;
            if (!receiver.OnRedirect(static_cast<int>(status), target))
                return kFetchStopped;
            current = target;
            continue;
        }
        ReportFields(head, receiver);
        // A 304 has no body whatever length it names.
        return ReadAnswer(request.Get(), static_cast<int>(status), status == 304 ? 0 : framing.ContentLength(),
                          receiver);
    }
}
