#include "download/win32/bounded_fetch.h"

#include "base/win32/wide_text.h"
#include "download/core/download_client.h"
#include "download/win32/wininet_session.h"

#include "framework/handles.h"

#include <process.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

namespace {

constexpr DWORD kReadPiece = 4096;
// How often a waiting caller judges the pace and reports progress.
constexpr DWORD kWatchStepMs = 100;

// How far the body has come, written by the fetch thread and read by the
// waiting caller.
struct FetchProgress {
    size_t received = 0;
    size_t total = 0;          // the Content-Length, once the answer came
    ULONGLONG lastByteTick = 0; // the request's start until a byte comes
};

// What the fetch thread shares with its caller; the last of the two to let
// go of it frees it, so a caller that stopped waiting leaves nothing behind.
struct FetchJob {
    std::wstring url;
    size_t capacity = 0;
    BodyRule rule = BodyRule::kUpToCapacity;
    ULONGLONG deadline = 0; // 0: none
    std::atomic<bool> stop{false}; // the caller gave up: no further read
    std::mutex progressLock;
    FetchProgress progress;
    ScopedHandle finished; // set once the fields below are final
    FetchedBody body;
    bool ok = false;
};

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

bool MustStop(const FetchJob& job)
{
    return job.stop || (job.deadline != 0 && GetTickCount64() >= job.deadline);
}

void NoteBytes(FetchJob& job, size_t received)
{
    std::lock_guard<std::mutex> hold(job.progressLock);
    job.progress.received = received;
    job.progress.lastByteTick = GetTickCount64();
}

// Content-Length bytes into one allocation made only once that length is
// known to be acceptable.
bool ReadWholeLength(HINTERNET request, DWORD length, FetchJob& job)
{
    if (length == 0 || length > job.capacity)
        return false;
    {
        std::lock_guard<std::mutex> hold(job.progressLock);
        job.progress.total = length;
    }
    job.body.bytes.reset(new (std::nothrow) unsigned char[length]);
    if (!job.body.bytes)
        return false;
    DWORD received = 0;
    while (received < length) {
        // A read waits until its whole piece is filled; asking what has come
        // first counts each byte as it arrives, so a slow line is not taken
        // for a stalled one.
        DWORD available = 0;
        if (MustStop(job) || !InternetQueryDataAvailable(request, &available, 0, 0) || available == 0)
            return false;
        DWORD got = 0;
        const DWORD piece = std::min(std::min(length - received, kReadPiece), available);
        if (MustStop(job) || !InternetReadFile(request, job.body.bytes.get() + received, piece, &got) || got == 0)
            return false;
        received += got;
        NoteBytes(job, received);
    }
    job.body.size = length;
    return true;
}

// Pieces until the end of the body or a failed read; a body that does not
// fit is not a text the caller can use whole.
bool ReadUpToCapacity(HINTERNET request, FetchJob& job)
{
    job.body.bytes.reset(new (std::nothrow) unsigned char[std::max<size_t>(job.capacity, 1)]);
    if (!job.body.bytes)
        return false;
    unsigned char piece[kReadPiece];
    for (;;) {
        if (MustStop(job))
            return false;
        DWORD got = 0;
        if (!InternetReadFile(request, piece, kReadPiece, &got) || got == 0)
            return true;
        if (got > job.capacity - job.body.size)
            return false;
        memcpy(job.body.bytes.get() + job.body.size, piece, got);
        job.body.size += got;
    }
}

void RunFetch(FetchJob& job)
{
    OpenedUrl opened;
    DWORD length = 0;
    if (!OpenUrl(job.url.c_str(), opened) || !QueryContentLength(opened.request.Get(), length))
        return;
    job.ok = job.rule == BodyRule::kWholeContentLength ? ReadWholeLength(opened.request.Get(), length, job)
                                                       : ReadUpToCapacity(opened.request.Get(), job);
}

unsigned __stdcall FetchThread(void* raw)
{
    const std::unique_ptr<std::shared_ptr<FetchJob>> job(static_cast<std::shared_ptr<FetchJob>*>(raw));
    RunFetch(**job);
    SetEvent((*job)->finished.Get());
    return 0;
}

// Waits for the fetch thread, judging its bounds every step; false when the
// caller is to give up.
bool AwaitFetch(FetchJob& job, ULONGLONG start, const FetchBounds& bounds)
{
    for (;;) {
        if (WaitForSingleObject(job.finished.Get(), kWatchStepMs) == WAIT_OBJECT_0)
            return true;
        const ULONGLONG now = GetTickCount64();
        if (job.deadline != 0 && now >= job.deadline)
            return false;
        FetchProgress seen;
        {
            std::lock_guard<std::mutex> hold(job.progressLock);
            seen = job.progress;
        }
        if (bounds.pace &&
            JudgePace(*bounds.pace, now - start, now - seen.lastByteTick, seen.received) != PaceVerdict::kGoOn)
            return false;
        if (bounds.watch && bounds.watch->progress)
            bounds.watch->progress(seen.received, seen.total);
        if (bounds.watch && bounds.watch->keepGoing && !bounds.watch->keepGoing())
            return false;
    }
}

} // namespace

bool FetchBodyWithin(const wchar_t* url, size_t capacity, BodyRule rule, const FetchBounds& bounds, FetchedBody& body)
{
    body = FetchedBody();
    if (!url || (bounds.timeLimitMs == 0 && !bounds.pace))
        return false;
    std::shared_ptr<FetchJob> job(new (std::nothrow) FetchJob);
    if (!job)
        return false;
    job->url = url;
    job->capacity = capacity;
    job->rule = rule;
    const ULONGLONG start = GetTickCount64();
    job->deadline = bounds.timeLimitMs != 0 ? start + bounds.timeLimitMs : 0;
    job->progress.lastByteTick = start;
    job->finished.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::unique_ptr<std::shared_ptr<FetchJob>> threadShare(new (std::nothrow) std::shared_ptr<FetchJob>(job));
    if (!job->finished || !threadShare)
        return false;
    // The thread is not waited for beyond the limit, and never killed: a
    // thread stopped inside WinInet could leave its locks taken.
    const ScopedHandle thread(
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &FetchThread, threadShare.get(), 0, nullptr)));
    if (!thread)
        return false;
    threadShare.release(); // the thread's own share now
    if (!AwaitFetch(*job, start, bounds)) {
        job->stop = true;
        return false;
    }
    if (!job->ok)
        return false;
    body = std::move(job->body);
    return true;
}
