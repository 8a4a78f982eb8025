#include "app/core/app_globals.h"
#include "app/core/kestrun_app.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// Records every platform call in order; answers from its settings.
class FakePlatform : public IAppPlatform {
public:
    std::vector<std::wstring> calls;
    std::wstring modulePath = L"C:\\Games\\Kestrun.exe";
    std::wstring currentDirectory = L"C:\\Games";
    wchar_t drive = 0;
    bool copyOk = true;
    bool startOk = true;
    int deleteFailures = 0; // deletes that fail before one succeeds
    std::function<void(CKestrun&)> onUpdate;
    std::function<void(CKestrun&)> onLogin;

    std::wstring ModulePath() override { return modulePath; }
    std::wstring CurrentDirectory() override { return currentDirectory; }
    wchar_t ChooseInstallDrive() override { calls.push_back(L"drive"); return drive; }
    void CreateFolder(const std::wstring& p) override { calls.push_back(L"mkdir " + p); }
    bool CopyFileOver(const std::wstring& f, const std::wstring& t) override
    {
        calls.push_back(L"copy " + f + L" -> " + t);
        return copyOk;
    }
    bool RemoveFile(const std::wstring& p) override
    {
        calls.push_back(L"delete " + p);
        return deleteFailures-- <= 0;
    }
    void Sleep(unsigned ms) override { calls.push_back(L"sleep " + std::to_wstring(ms)); }
    bool StartProcess(const std::wstring& line, const std::wstring& folder) override
    {
        calls.push_back(L"start " + line + L" in " + folder);
        return startOk;
    }
    void CreateDesktopShortcut(const std::wstring& exe) override { calls.push_back(L"shortcut " + exe); }
    void CheckForUpdate(CKestrun& app, bool reopen) override
    {
        calls.push_back(reopen ? L"update reopen" : L"update");
        if (onUpdate)
            onUpdate(app);
    }
    void LaunchServer() override { calls.push_back(L"server"); }
    void RunLoginPhase(CKestrun& app) override
    {
        calls.push_back(L"login");
        if (onLogin)
            onLogin(app);
    }
    void RunGamePhase(CKestrun& app) override { calls.push_back(L"game mode " + std::to_wstring(app.m_mode)); }
    void RemoveKeyboardHook() override { calls.push_back(L"unhook"); }
};

class KestrunApp : public ::testing::Test {
protected:
    void SetUp() override { g_testUrlMode = false; }
    void TearDown() override { g_testUrlMode = false; }
    FakePlatform platform;
};

using Calls = std::vector<std::wstring>;

} // namespace

TEST_F(KestrunApp, OrdinaryStartRunsEveryStepInOrder)
{
    CKestrun app(platform);
    app.Run(false);
    EXPECT_EQ(app.m_exeName, L"Kestrun.exe");
    EXPECT_EQ(platform.calls, (Calls{L"drive", L"delete C:\\Games\\Kestrun.exe.old", L"shortcut Kestrun.exe", L"update",
                                     L"server", L"login", L"unhook"}));
}

TEST_F(KestrunApp, TestModeSkipsInstallCleanupShortcutAndUpdate)
{
    g_testUrlMode = true;
    CKestrun app(platform);
    app.Run(false);
    EXPECT_EQ(app.m_exeName, L"Kestrun.exe");
    EXPECT_EQ(platform.calls, (Calls{L"server", L"login", L"unhook"}));
}

TEST_F(KestrunApp, CompletedLoginFallsThroughIntoTheGame)
{
    platform.onLogin = [](CKestrun& app) { app.m_mode = kModeGame; };
    CKestrun app(platform);
    app.Run(false);
    EXPECT_EQ(platform.calls.back(), L"unhook");
    EXPECT_EQ(platform.calls[platform.calls.size() - 2], L"game mode 2");
}

TEST_F(KestrunApp, OldExecutableIsRetriedOnlyAfterAnUpdate)
{
    platform.deleteFailures = 10;
    CKestrun once(platform);
    once.Init(false);
    EXPECT_EQ(platform.calls, (Calls{L"drive", L"delete C:\\Games\\Kestrun.exe.old", L"shortcut Kestrun.exe", L"update"}));

    platform.calls.clear();
    CKestrun retried(platform);
    retried.Init(true);
    EXPECT_EQ(platform.calls, (Calls{L"drive", L"delete C:\\Games\\Kestrun.exe.old", L"sleep 1000", L"delete C:\\Games\\Kestrun.exe.old",
                                     L"sleep 1000", L"delete C:\\Games\\Kestrun.exe.old", L"sleep 1000",
                                     L"delete C:\\Games\\Kestrun.exe.old", L"shortcut Kestrun.exe", L"update reopen"}));

    platform.calls.clear();
    platform.deleteFailures = 1;
    CKestrun second(platform);
    second.Init(true);
    EXPECT_EQ(platform.calls[3], L"delete C:\\Games\\Kestrun.exe.old");
    EXPECT_EQ(platform.calls[4], L"shortcut Kestrun.exe");
}

TEST_F(KestrunApp, RelocatesToTheChosenDriveAndEnds)
{
    platform.drive = L'E';
    CKestrun app(platform);
    app.Run(false);
    EXPECT_EQ(platform.calls,
              (Calls{L"drive", L"mkdir E:\\qzpk\\", L"copy C:\\Games\\Kestrun.exe -> E:\\qzpk\\Kestrun.exe",
                     L"start \"E:\\qzpk\\Kestrun.exe\" delfile=C:\\Games\\Kestrun.exe in E:\\qzpk\\"}));
}

TEST_F(KestrunApp, StaysWhereItIsWhenRelocationCannotHappen)
{
    for (wchar_t letter : {L'c', L'C'}) {
        platform.calls.clear();
        platform.drive = letter;
        CKestrun app(platform);
        EXPECT_TRUE(app.Init(false));
        EXPECT_EQ(platform.calls[1], L"delete C:\\Games\\Kestrun.exe.old");
    }
    // Already installed: the copy onto the running file fails.
    platform.calls.clear();
    platform.drive = L'E';
    platform.copyOk = false;
    CKestrun installed(platform);
    EXPECT_TRUE(installed.Init(false));
    EXPECT_EQ(platform.calls[3], L"delete C:\\Games\\Kestrun.exe.old");
    // A copy that cannot be started: run in place instead of ending with nothing shown.
    platform.calls.clear();
    platform.copyOk = true;
    platform.startOk = false;
    CKestrun unstarted(platform);
    EXPECT_TRUE(unstarted.Init(false));
    EXPECT_EQ(platform.calls.back(), L"update");
}

TEST_F(KestrunApp, UpdateRelaunchesFromTheProgramsFolderWithoutAnyWindowOrServer)
{
    // Started from another folder: the files and the relaunch stay beside the program.
    platform.currentDirectory = L"C:\\Elsewhere";
    platform.modulePath = L"D:\\qzpk\\My Kestrun.exe";
    platform.onUpdate = [](CKestrun& app) { app.m_mode = kModeRelaunch; };
    CKestrun app(platform);
    app.Run(false);
    EXPECT_EQ(platform.calls, (Calls{L"drive", L"delete D:\\qzpk\\Kestrun.exe.old", L"shortcut My Kestrun.exe",
                                     L"update", L"unhook",
                                     L"start \"D:\\qzpk\\My Kestrun.exe\" re_open in D:\\qzpk"}));
}

TEST_F(KestrunApp, RelaunchThatCannotBeBuiltWholeIsSkipped)
{
    platform.modulePath = L"D:\\" + std::wstring(33000, L'd') + L"\\Kestrun.exe";
    platform.onUpdate = [](CKestrun& app) { app.m_mode = kModeRelaunch; };
    CKestrun app(platform);
    app.Run(false);
    EXPECT_EQ(platform.calls.back(), L"unhook");
}

TEST_F(KestrunApp, PageTitleReplacesAndIsBounded)
{
    CKestrun app(platform);
    app.SetPageTitle(L"first title");
    app.SetPageTitle(L"2nd");
    EXPECT_EQ(app.m_pageTitle, L"2nd");
    app.SetPageTitle(std::wstring(40000, L't').c_str());
    EXPECT_EQ(app.m_pageTitle.size(), kPageTitleMaxUnits);
    app.SetPageTitle(nullptr);
    EXPECT_TRUE(app.m_pageTitle.empty());
}
