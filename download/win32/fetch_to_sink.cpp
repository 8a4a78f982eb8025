#include "download/win32/fetch_to_sink.h"

#include "download/core/download_client.h"
#include "download/win32/wininet_session.h"
#include "base/core/out_buf.h"

#include <cstring>

namespace {
constexpr DWORD kReadPieceBytes = 16384;
}

int FetchToSink(const char* url, const char* ignored, COutBuf* sink)
{
    const ConnectionState state = QueryConnectionState();
    if (state.Offline())
        return kFetchOffline;
    const std::string agent = TickAgent();
    ScopedInternet internet(InternetOpenA(agent.c_str(), AccessTypeFor(state), nullptr, nullptr, 0));
    if (!internet)
        return kFetchOffline;
    // A CDN that stops answering must not hold a connection thread for ever.
    ApplyFetchTimeouts(internet.Get());
    return FetchWithHandle(internet.Get(), url, ignored, sink);
}

int FetchWithHandle(HINTERNET internet, const char* url, const char*, COutBuf* sink)
{
    // Closed with the internet handle at the latest; closed here so that a
    // caller reusing the handle does not collect requests.
    ScopedInternet request(InternetOpenUrlA(internet, url, kFetchHeaders, static_cast<DWORD>(std::strlen(kFetchHeaders)),
                                            kFetchFlags, 0));
    if (!request)
        return kFetchCannotOpen;
    // Set on the request as well: not every WinInet passes the session's
    // time-outs on to reads.
    ApplyFetchTimeouts(request.Get());
    DWORD contentLength = 0;
    DWORD size = sizeof contentLength;
    if (!HttpQueryInfoA(request.Get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &contentLength, &size,
                        nullptr))
        return kFetchCannotOpen;
    char piece[kReadPieceBytes];
    for (;;) {
        DWORD read = 0;
        if (!InternetReadFile(request.Get(), piece, sizeof piece, &read))
            return kFetchIncomplete;
        if (read == 0)
            break;
        if (sink)
            sink->Write(piece, static_cast<int>(read));
    }
    if (sink && static_cast<DWORD>(sink->GetLength()) != contentLength)
        return kFetchIncomplete;
    return kFetchOk;
}
