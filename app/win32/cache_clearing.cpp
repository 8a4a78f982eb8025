#include "app/win32/cache_clearing.h"

#include "app/core/relaunch.h"
#include "app/win32/win32_app_platform.h"
#include "framework/handles.h"

#include <shlobj.h>
#include <wininet.h>

#include <memory>
#include <new>

namespace {

struct UrlCacheFindTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::FindCloseUrlCache(h); }
};
using ScopedUrlCacheFind = UniqueHandle<UrlCacheFindTraits>;

// An entry's information in an allocation of the size the cache asked for.
class CacheEntryInfo {
public:
    bool Allocate(DWORD size)
    {
        if (size < sizeof(INTERNET_CACHE_ENTRY_INFOW))
            size = sizeof(INTERNET_CACHE_ENTRY_INFOW);
        m_bytes.reset(new (std::nothrow) unsigned char[size]);
        m_size = m_bytes ? size : 0;
        return m_bytes != nullptr;
    }
    INTERNET_CACHE_ENTRY_INFOW* Get() { return reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(m_bytes.get()); }
    DWORD* Size() { return &m_size; }

private:
    std::unique_ptr<unsigned char[]> m_bytes;
    DWORD m_size = 0;
};

bool FirstEntry(ScopedUrlCacheFind& find, CacheEntryInfo& info)
{
    DWORD size = 0;
    FindFirstUrlCacheEntryW(nullptr, nullptr, &size);
    if (size == 0 || !info.Allocate(size))
        return false;
    find.Reset(FindFirstUrlCacheEntryW(nullptr, info.Get(), info.Size()));
    return find.IsValid();
}

bool NextEntry(HANDLE find, CacheEntryInfo& info)
{
    DWORD size = 0;
    FindNextUrlCacheEntryW(find, nullptr, &size);
    if (size == 0 || !info.Allocate(size))
        return false;
    return FindNextUrlCacheEntryW(find, info.Get(), info.Size()) != FALSE;
}

bool IsDesktopIni(const wchar_t* name)
{
    return CompareStringOrdinal(name, -1, L"desktop.ini", -1, TRUE) == CSTR_EQUAL;
}

} // namespace

bool DeleteCookieEntries()
{
    ScopedUrlCacheFind find;
    CacheEntryInfo info;
    if (!FirstEntry(find, info))
        return false;
    do {
        if ((info.Get()->CacheEntryType & COOKIE_CACHE_ENTRY) && info.Get()->lpszSourceUrlName)
            DeleteUrlCacheEntryW(info.Get()->lpszSourceUrlName);
    } while (NextEntry(find.Get(), info));
    return true;
}

bool DeleteFolderContents(const std::wstring& folder)
{
    WIN32_FIND_DATAW entry;
    ScopedFind listing(FindFirstFileW(JoinPath(folder, L"*.*").c_str(), &entry));
    if (!listing)
        return false;
    do {
        const wchar_t* name = entry.cFileName;
        if (wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0 || IsDesktopIni(name))
            continue;
        const std::wstring full = JoinPath(folder, name);
        const DWORD attributes = GetFileAttributesW(full.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            SetFileAttributesW(full.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            // A linked folder is removed as a link: its target lies outside the cache.
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                DeleteFolderContents(full);
            RemoveDirectoryW(full.c_str());
        } else {
            DeleteFileW(full.c_str());
        }
    } while (FindNextFileW(listing.Get(), &entry));
    return true;
}

void ClearCaches(HWND owner)
{
    ClearCachesOf(owner, FolderOf(Win32AppPlatform().ModulePath()));
}

void ClearCachesOf(HWND owner, const std::wstring& folder)
{
    DeleteCookieEntries();
    wchar_t cookies[MAX_PATH] = {};
    if (SHGetSpecialFolderPathW(nullptr, cookies, CSIDL_COOKIES, FALSE))
        DeleteFolderContents(cookies);
    // The cache server's root in the program's own folder, read whole as
    // UTF-16 rather than cut and converted through a narrow buffer.
    if (!folder.empty())
        DeleteFolderContents(JoinPath(folder, L"wz_cdn"));
    MessageBoxW(owner, L"清空完成！", L"提示", MB_OK);
}
