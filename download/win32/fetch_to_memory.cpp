// The two UTF-16 fetches of the self-update: the version file into memory,
// and the new executable into a file once its digest has been checked.
#include "download/core/download_client.h"

#include "base/core/md5.h"
#include "base/win32/wide_text.h"
#include "download/win32/wininet_session.h"

#include "framework/handles.h"

#include <memory>
#include <new>

namespace {

constexpr DWORD kReadPiece = 4096;

// A request opened on a session of its own; the session closes both.
struct OpenedUrl {
    ScopedInternet session;
    ScopedInternet request;
};

// The steps both fetches share: connection check, session, request.
bool OpenUrl(const wchar_t* url, OpenedUrl& opened)
{
    const ConnectionState state = QueryConnectionState();
    if (!state.connected || !url)
        return false;
    const std::wstring agent = state.Proxy() ? std::wstring(L"win") : ToWide(TickAgent());
    opened.session.Reset(InternetOpenW(agent.c_str(), AccessTypeFor(state), nullptr, nullptr, 0));
    if (!opened.session)
        return false;
    ApplyFetchTimeouts(opened.session.Get());
    const std::wstring headers = ToWide(std::string(kFetchHeaders));
    SetLastError(ERROR_SUCCESS);
    opened.request.Reset(InternetOpenUrlW(opened.session.Get(), url, headers.c_str(),
                                          static_cast<DWORD>(headers.size()), kFetchFlags, 0));
    if (!opened.request)
        return false;
    // A handle with "file not found" set names a missing local resource.
    return GetLastError() != ERROR_FILE_NOT_FOUND;
}

bool QueryContentLength(HINTERNET request, DWORD& length)
{
    DWORD size = sizeof length;
    length = 0;
    return HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size, nullptr) != FALSE;
}

bool WriteWholeFile(const wchar_t* path, const unsigned char* bytes, DWORD length)
{
    ScopedFile file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    DWORD written = 0;
    return WriteFile(file.Get(), bytes, length, &written, nullptr) && written == length;
}

} // namespace

size_t FetchToMemory(const wchar_t* url, void* buffer, size_t capacity)
{
    OpenedUrl opened;
    if (!buffer || !OpenUrl(url, opened))
        return 0;
    DWORD announced = 0;
    if (!QueryContentLength(opened.request.Get(), announced))
        return 0;
    unsigned char* out = static_cast<unsigned char*>(buffer);
    size_t stored = 0;
    unsigned char piece[kReadPiece];
    for (;;) {
        DWORD got = 0;
        if (!InternetReadFile(opened.request.Get(), piece, kReadPiece, &got) || got == 0)
            break;
        // A body that does not fit is not a text this caller can use whole.
        if (got > capacity - stored)
            return 0;
        memcpy(out + stored, piece, got);
        stored += got;
    }
    return stored;
}

bool DownloadVerified(const wchar_t* url, const wchar_t* path, const std::string& expectedMd5,
                      const BodyCheck& accept)
{
    OpenedUrl opened;
    if (!path || !OpenUrl(url, opened))
        return false;
    DWORD length = 0;
    if (!QueryContentLength(opened.request.Get(), length) || length == 0)
        return false;
    std::unique_ptr<unsigned char[]> body(new (std::nothrow) unsigned char[length]);
    if (!body)
        return false;
    DWORD received = 0;
    while (received < length) {
        DWORD got = 0;
        if (!InternetReadFile(opened.request.Get(), body.get() + received, length - received, &got) || got == 0)
            return false;
        received += got;
    }
    opened.request.Reset();
    opened.session.Reset();
    if (!Md5Matches(expectedMd5, body.get(), length))
        return false; // nothing is written for a body that is not the published one
    if (accept && !accept(body.get(), length))
        return false;
    return WriteWholeFile(path, body.get(), length);
}
