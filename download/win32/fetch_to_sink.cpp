#include "download/win32/fetch_to_sink.h"

#include "download/core/download_client.h"
#include "download/core/sink_receiver.h"
#include "download/win32/wininet_session.h"

#include <cstring>
#include <string>

namespace {

constexpr DWORD kReadPieceBytes = 16384;

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

} // namespace

int FetchToSink(const char* url, const char* ignored, COutBuf* sink)
{
    ScopedInternet internet(OpenSession());
    if (!internet)
        return kFetchOffline;
    return FetchWithHandle(internet.Get(), url, ignored, sink);
}

int FetchStream(const char* url, IFetchReceiver& receiver)
{
    ScopedInternet internet(OpenSession());
    if (!internet)
        return kFetchOffline;
    return StreamWithHandle(internet.Get(), url, receiver);
}

int FetchWithHandle(HINTERNET internet, const char* url, const char*, COutBuf* sink)
{
    SinkReceiver receiver(sink);
    return receiver.Status(StreamWithHandle(internet, url, receiver));
}

int StreamWithHandle(HINTERNET internet, const char* url, IFetchReceiver& receiver)
{
    // Closed with the internet handle at the latest; closed here so that a
    // caller reusing the handle does not collect requests.
    ScopedInternet request(InternetOpenUrlA(internet, url, kFetchHeaders, static_cast<DWORD>(std::strlen(kFetchHeaders)),
                                            kFetchFlags, 0));
    if (!request)
        return FailureOfLastCall(kFetchCannotOpen);
    // Set on the request as well: not every WinInet passes the session's
    // time-outs on to reads.
    ApplyFetchTimeouts(request.Get());

    DWORD status = 0;
    DWORD size = sizeof status;
    if (!HttpQueryInfoA(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
        return kFetchCannotOpen;
    char reason[128] = {};
    DWORD reasonSize = sizeof reason;
    if (!HttpQueryInfoA(request.Get(), HTTP_QUERY_STATUS_TEXT, reason, &reasonSize, nullptr) || reasonSize >= sizeof reason)
        reasonSize = 0;
    DWORD contentLength = 0;
    size = sizeof contentLength;
    const long long announced =
        HttpQueryInfoA(request.Get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &contentLength, &size, nullptr)
            ? static_cast<long long>(contentLength)
            : -1;
    if (!receiver.OnHead(static_cast<int>(status), std::string(reason, reasonSize), announced))
        return kFetchStopped;

    char piece[kReadPieceBytes];
    long long received = 0;
    for (;;) {
        if (!receiver.KeepGoing())
            return kFetchStopped;
        // A read fills the whole piece before it returns; asking what has
        // arrived first hands each piece on as soon as it is there.
        DWORD available = 0;
        if (!InternetQueryDataAvailable(request.Get(), &available, 0, 0))
            return FailureOfLastCall(kFetchIncomplete);
        DWORD read = 0;
        if (available > 0 &&
            !InternetReadFile(request.Get(), piece, available < sizeof piece ? available : sizeof piece, &read))
            return FailureOfLastCall(kFetchIncomplete);
        if (read == 0)
            break;
        if (!receiver.OnBody(piece, read))
            return kFetchStopped;
        received += read;
    }
    return announced >= 0 && received != announced ? kFetchIncomplete : kFetchOk;
}
