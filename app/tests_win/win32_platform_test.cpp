#include "app/win32/win32_app_platform.h"
#include "base/core/directory_path.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring TempFolder()
{
    wchar_t buffer[MAX_PATH];
    GetTempPathW(MAX_PATH, buffer);
    return std::wstring(buffer) + L"kestrun_platform_" + std::to_wstring(GetCurrentProcessId());
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

} // namespace

TEST(Win32Platform, ModulePathAndFolderAreWhole)
{
    Win32AppPlatform platform;
    const std::wstring path = platform.ModulePath();
    ASSERT_GT(path.size(), 4u);
    EXPECT_EQ(path.substr(path.size() - 4), L".exe");
    EXPECT_TRUE(Exists(path));
    const std::wstring folder = platform.CurrentDirectory();
    EXPECT_TRUE(Exists(folder));
}

TEST(Win32Platform, RelocatedFileIsDeletedEvenWithBlanksAndEquals)
{
    const std::wstring folder = TempFolder() + L" a=b";
    CreateDirectoryW(TempFolder().c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring file = folder + L"\\old Kestrun.exe";
    HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    DeleteRelocatedFile(file);
    EXPECT_FALSE(Exists(file));
    DeleteRelocatedFile(L""); // nothing to delete: only the pause and the shell notice
    RemoveDirectoryW(folder.c_str());
    RemoveDirectoryW(TempFolder().c_str());
}

TEST(Win32Platform, StartsAProcessWithAQuotedPathInItsFolder)
{
    Win32AppPlatform platform;
    const std::wstring folder = TempFolder() + L" start";
    CreateDirectoryW(TempFolder().c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring marker = folder + L"\\started.txt";
    // cmd.exe writes the marker relative to the folder the process was given.
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring line = L"\"" + std::wstring(system) + L"\\cmd.exe\" /c echo x> started.txt";
    ASSERT_TRUE(platform.StartProcess(line, folder));
    for (int i = 0; i < 100 && !Exists(marker); ++i)
        Sleep(50);
    EXPECT_TRUE(Exists(marker));
    DeleteFileW(marker.c_str());
    RemoveDirectoryW(folder.c_str());
    RemoveDirectoryW(TempFolder().c_str());
    EXPECT_FALSE(platform.StartProcess(L"\"C:\\no such folder\\none.exe\" re_open", L"C:\\"));
}

TEST(Win32Platform, MakeDirectoryPathFollowsWindowsRules)
{
    std::string root(MAX_PATH, '\0');
    root.resize(GetTempPathA(MAX_PATH, &root[0]));
    root += "kestrun_mkdir_" + std::to_string(GetCurrentProcessId());
    // Along the way every folder is made; the last step finds its folder made.
    EXPECT_EQ(MakeDirectoryPath((root + "\\qzpk\\wz_cdn\\").c_str()), -1);
    EXPECT_NE(GetFileAttributesA((root + "\\qzpk\\wz_cdn").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(MakeDirectoryPath("\\starts\\with\\separator"), -1);
    RemoveDirectoryA((root + "\\qzpk\\wz_cdn").c_str());
    RemoveDirectoryA((root + "\\qzpk").c_str());
    RemoveDirectoryA(root.c_str());
}
