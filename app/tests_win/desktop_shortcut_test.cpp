#include "app/win32/desktop_shortcut.h"
#include "framework/com_ptr.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <shobjidl.h>

#include <string>

namespace {

struct LinkContent {
    std::wstring target;
    std::wstring folder;
};

bool ReadLink(const std::wstring& file, LinkContent& content)
{
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.PutVoid())))
        return false;
    const ComPtr<IPersistFile> persist = link.As<IPersistFile>(IID_IPersistFile);
    if (!persist || FAILED(persist->Load(file.c_str(), STGM_READ)))
        return false;
    wchar_t text[MAX_PATH] = {};
    link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
    content.target = text;
    text[0] = L'\0';
    link->GetWorkingDirectory(text, MAX_PATH);
    content.folder = text;
    return true;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring Desktop()
{
    wchar_t path[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, path, CSIDL_DESKTOP, FALSE);
    return path;
}

// Runs with another current folder and puts the old one back.
class InFolder {
public:
    explicit InFolder(const std::wstring& folder)
    {
        GetCurrentDirectoryW(MAX_PATH, m_previous);
        CreateDirectoryW(folder.c_str(), nullptr);
        SetCurrentDirectoryW(folder.c_str());
    }
    ~InFolder() { SetCurrentDirectoryW(m_previous); }

private:
    wchar_t m_previous[MAX_PATH] = {};
};

} // namespace

TEST(DesktopShortcut, WritesALinkThatReadsBackAndReplacesAnOldOne)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring file = std::wstring(temp) + L"kestrun link test.lnk";
    ASSERT_TRUE(CreateShellLink(L"C:\\Program Files\\Old\\Kestrun.exe", file, L"C:\\Program Files\\Old"));
    ASSERT_TRUE(CreateShellLink(L"C:\\windows\\notepad.exe", file, L"C:\\windows"));
    LinkContent content;
    ASSERT_TRUE(ReadLink(file, content));
    EXPECT_EQ(content.target, L"C:\\windows\\notepad.exe");
    EXPECT_EQ(content.folder, L"C:\\windows");
    DeleteFileW(file.c_str());
}

TEST(DesktopShortcut, PointsAtTheProgramInItsOwnFolderButNotFromTheDesktop)
{
    const std::wstring link = Desktop() + L"\\OrvikVelmora极速登陆器.lnk";
    DeleteFileW(link.c_str());
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"kestrun shortcut";
    CreateDirectoryW(folder.c_str(), nullptr);
    {
        // Started from elsewhere: the program's folder decides.
        InFolder elsewhere(std::wstring(temp) + L"kestrun elsewhere");
        EXPECT_TRUE(CreateDesktopShortcut(folder, L"My Kestrun.exe"));
    }
    RemoveDirectoryW((std::wstring(temp) + L"kestrun elsewhere").c_str());
    LinkContent content;
    ASSERT_TRUE(ReadLink(link, content));
    EXPECT_EQ(content.target, folder + L"\\My Kestrun.exe");
    EXPECT_EQ(content.folder, folder);
    DeleteFileW(link.c_str());
    RemoveDirectoryW(folder.c_str());

    EXPECT_FALSE(CreateDesktopShortcut(Desktop(), L"Kestrun.exe"));
    EXPECT_FALSE(Exists(link));
}
