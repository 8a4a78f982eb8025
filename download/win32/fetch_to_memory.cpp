// The two UTF-16 fetches of the self-update: the version file into memory,
// and the new executable into a file once its digest has been checked. Both
// are bounded in size; the first in time, the second by its pace
// (bounded_fetch.h).
#include "download/core/download_client.h"

#include "base/core/md5.h"
#include "download/win32/bounded_fetch.h"

#include "framework/handles.h"

#include <cstring>

namespace {

bool WriteWholeFile(const wchar_t* path, const unsigned char* bytes, size_t length)
{
    if (length > MAXDWORD)
        return false;
    ScopedFile file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    DWORD written = 0;
    return WriteFile(file.Get(), bytes, static_cast<DWORD>(length), &written, nullptr) && written == length;
}

} // namespace

size_t FetchToMemory(const wchar_t* url, void* buffer, size_t capacity, unsigned long timeLimitMs)
{
    FetchedBody body;
    FetchBounds bounds;
    bounds.timeLimitMs = timeLimitMs;
    if (!buffer || timeLimitMs == 0 || !FetchBodyWithin(url, capacity, BodyRule::kUpToCapacity, bounds, body))
        return 0;
    if (body.size > 0)
        memcpy(buffer, body.bytes.get(), body.size);
    return body.size;
}

bool DownloadVerified(const wchar_t* url, const wchar_t* path, const std::string& expectedMd5,
                      const DownloadLimits& limits, const BodyCheck& accept, const DownloadWatch& watch)
{
    FetchedBody body;
    FetchBounds bounds;
    bounds.pace = &limits.pace;
    bounds.watch = &watch;
    if (!path || !FetchBodyWithin(url, limits.maxBytes, BodyRule::kWholeContentLength, bounds, body))
        return false;
    if (!Md5Matches(expectedMd5, body.bytes.get(), body.size))
        return false; // nothing is written for a body that is not the published one
    if (accept && !accept(body.bytes.get(), body.size))
        return false;
    return WriteWholeFile(path, body.bytes.get(), body.size);
}
