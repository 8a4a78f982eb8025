#include "cacheserver/core/cache_files.h"

#include <windows.h>

namespace {

// FILETIME counts 100 ns steps from 1601; stamps count milliseconds from 1970.
constexpr long long kFileTimeUnixEpoch = 116444736000000000LL;
constexpr long long kFileTimeStepsPerMs = 10000;

long long StampOf(const FILETIME& t)
{
    const long long ticks =
        static_cast<long long>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    return (ticks - kFileTimeUnixEpoch) / kFileTimeStepsPerMs;
}

FILETIME FileTimeOf(long long stampMs)
{
    const unsigned long long ticks = static_cast<unsigned long long>(stampMs * kFileTimeStepsPerMs + kFileTimeUnixEpoch);
    FILETIME t;
    t.dwLowDateTime = static_cast<DWORD>(ticks & 0xffffffffULL);
    t.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return t;
}

long long BytesOf(DWORD high, DWORD low)
{
    return static_cast<long long>((static_cast<unsigned long long>(high) << 32) | low);
}

bool IsPlainFile(DWORD attributes)
{
    return !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE));
}

class FindHandle {
public:
    explicit FindHandle(HANDLE handle) : m_handle(handle) {}
    ~FindHandle()
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            FindClose(m_handle);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
};

} // namespace

void CacheListFiles(const std::string& folder,
                    const std::function<bool(const std::string&, const CacheFileStamp&)>& visit)
{
    std::string pattern = folder;
    if (pattern.empty() || (pattern.back() != '\\' && pattern.back() != '/'))
        pattern += '\\';
    pattern += '*';
    WIN32_FIND_DATAA entry;
    FindHandle find(FindFirstFileA(pattern.c_str(), &entry));
    if (find.Get() == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!IsPlainFile(entry.dwFileAttributes))
            continue;
        CacheFileStamp stamp;
        stamp.bytes = BytesOf(entry.nFileSizeHigh, entry.nFileSizeLow);
        stamp.stampMs = StampOf(entry.ftLastWriteTime);
        if (!visit(entry.cFileName, stamp))
            break;
    } while (FindNextFileA(find.Get(), &entry));
}

bool CacheStampOf(const std::string& path, CacheFileStamp* stamp)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) || !IsPlainFile(data.dwFileAttributes))
        return false;
    stamp->bytes = BytesOf(data.nFileSizeHigh, data.nFileSizeLow);
    stamp->stampMs = StampOf(data.ftLastWriteTime);
    return true;
}

bool CacheSetStamp(const std::string& path, long long stampMs)
{
    // Attribute access is not held back by readers that share only reading
    // and deletion, so a file being served can be stamped.
    const HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const FILETIME at = FileTimeOf(stampMs);
    const bool ok = SetFileTime(file, nullptr, nullptr, &at) != FALSE;
    CloseHandle(file);
    return ok;
}

long long CacheNowMs()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return StampOf(now);
}
