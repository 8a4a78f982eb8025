#include "app/win32/cache_clearing.h"

#include <gtest/gtest.h>

#include <wininet.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

std::wstring TempFolder(const wchar_t* name)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + name;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void Touch(const std::wstring& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
    DWORD written = 0;
    WriteFile(file, "x", 1, &written, nullptr);
    CloseHandle(file);
}

// root\a.bin (read-only), root\Desktop.ini, root\sub\b.bin, root\sub\deep\c.bin,
// root\keep\desktop.ini, root\keep\d.bin
void MakeTree(const std::wstring& root)
{
    CreateDirectoryW(root.c_str(), nullptr);
    Touch(root + L"\\a.bin", FILE_ATTRIBUTE_READONLY);
    Touch(root + L"\\Desktop.ini");
    CreateDirectoryW((root + L"\\sub").c_str(), nullptr);
    Touch(root + L"\\sub\\b.bin");
    CreateDirectoryW((root + L"\\sub\\deep").c_str(), nullptr);
    Touch(root + L"\\sub\\deep\\c.bin", FILE_ATTRIBUTE_READONLY);
    CreateDirectoryW((root + L"\\keep").c_str(), nullptr);
    Touch(root + L"\\keep\\desktop.ini");
    Touch(root + L"\\keep\\d.bin");
}

void ExpectClearedTree(const std::wstring& root)
{
    EXPECT_TRUE(Exists(root));
    EXPECT_FALSE(Exists(root + L"\\a.bin"));
    EXPECT_TRUE(Exists(root + L"\\Desktop.ini"));
    EXPECT_FALSE(Exists(root + L"\\sub"));
    EXPECT_TRUE(Exists(root + L"\\keep\\desktop.ini"));
    EXPECT_FALSE(Exists(root + L"\\keep\\d.bin"));
}

void RemoveTree(const std::wstring& root)
{
    SetFileAttributesW((root + L"\\keep\\desktop.ini").c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW((root + L"\\keep\\desktop.ini").c_str());
    DeleteFileW((root + L"\\Desktop.ini").c_str());
    RemoveDirectoryW((root + L"\\keep").c_str());
    RemoveDirectoryW(root.c_str());
}

// Answers the completion message of this process and notes its texts.
class MessageBoxAnswerer {
public:
    MessageBoxAnswerer()
        : m_thread([this] {
              for (int i = 0; i < 200 && !m_seen; ++i) {
                  EnumWindows(&MessageBoxAnswerer::Check, reinterpret_cast<LPARAM>(this));
                  Sleep(50);
              }
          })
    {
    }
    ~MessageBoxAnswerer() { m_thread.join(); }

    std::wstring caption;
    std::wstring text;

private:
    static BOOL CALLBACK Check(HWND hwnd, LPARAM param)
    {
        auto* self = reinterpret_cast<MessageBoxAnswerer*>(param);
        DWORD process = 0;
        GetWindowThreadProcessId(hwnd, &process);
        wchar_t caption[64] = {};
        GetWindowTextW(hwnd, caption, 64);
        if (process != GetCurrentProcessId() || std::wstring(caption) != L"提示")
            return TRUE;
        wchar_t text[64] = {};
        GetDlgItemTextW(hwnd, 0xFFFF, text, 64);
        self->caption = caption;
        self->text = text;
        PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
        self->m_seen = true;
        return FALSE;
    }

    std::atomic<bool> m_seen{false};
    std::thread m_thread;
};

} // namespace

TEST(CacheClearing, EmptiesATreeButKeepsDesktopIniAndItsFolders)
{
    const std::wstring root = TempFolder(L"kestrun_clear");
    MakeTree(root);
    EXPECT_TRUE(DeleteFolderContents(root));
    ExpectClearedTree(root);
    RemoveTree(root);
    EXPECT_FALSE(DeleteFolderContents(root));
}

TEST(CacheClearing, ClearsTheProgramsResourceCacheAndSaysSo)
{
    // The program's folder, and a current folder elsewhere with a cache of
    // its own that is not the program's.
    const std::wstring folder = TempFolder(L"kestrun_clear_run");
    const std::wstring elsewhere = TempFolder(L"kestrun_clear_elsewhere");
    CreateDirectoryW(folder.c_str(), nullptr);
    CreateDirectoryW(elsewhere.c_str(), nullptr);
    MakeTree(folder + L"\\wz_cdn");
    MakeTree(elsewhere + L"\\wz_cdn");
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(elsewhere.c_str());
    {
        MessageBoxAnswerer answerer;
        ClearCachesOf(nullptr, folder);
        SetCurrentDirectoryW(previous);
        ExpectClearedTree(folder + L"\\wz_cdn");
        EXPECT_TRUE(Exists(elsewhere + L"\\wz_cdn\\keep\\d.bin"));
        RemoveTree(folder + L"\\wz_cdn");
        DeleteFolderContents(elsewhere + L"\\wz_cdn");
        RemoveTree(elsewhere + L"\\wz_cdn");
        RemoveDirectoryW(elsewhere.c_str());
    }
    {
        // Without any resource cache the message comes all the same.
        MessageBoxAnswerer answerer;
        ClearCachesOf(nullptr, folder);
        EXPECT_EQ(answerer.caption, L"提示");
        EXPECT_EQ(answerer.text, L"清空完成！");
    }
    RemoveDirectoryW(folder.c_str());
}

TEST(CacheClearing, OnlyCookieEntriesLeaveTheUrlCache)
{
    const wchar_t* cookieUrl = L"http://kestrun.test/cookie-entry";
    const wchar_t* pageUrl = L"http://kestrun.test/page-entry.html";
    for (const wchar_t* url : {cookieUrl, pageUrl}) {
        wchar_t file[MAX_PATH] = {};
        ASSERT_TRUE(CreateUrlCacheEntryW(url, 1, L"html", file, 0));
        Touch(file);
        FILETIME never = {};
        const DWORD type = url == cookieUrl ? COOKIE_CACHE_ENTRY : NORMAL_CACHE_ENTRY;
        ASSERT_TRUE(CommitUrlCacheEntryW(url, file, never, never, type, nullptr, 0, nullptr, nullptr));
    }
    DWORD size = 0;
    GetUrlCacheEntryInfoW(cookieUrl, nullptr, &size);
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER)); // it is there to delete
    EXPECT_TRUE(DeleteCookieEntries());
    size = 0;
    GetUrlCacheEntryInfoW(cookieUrl, nullptr, &size);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    size = 0;
    GetUrlCacheEntryInfoW(pageUrl, nullptr, &size);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    DeleteUrlCacheEntryW(pageUrl);
}
