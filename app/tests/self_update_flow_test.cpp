#include "app/core/kestrun_app.h"
#include "app/core/self_update_flow.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

// Records the update's platform calls; files are names in a set.
class FakeUpdatePlatform : public IUpdatePlatform {
public:
    std::vector<std::string> calls;
    std::wstring modulePath = L"D:\\qzpk\\Kestrun.exe";
    FolderMutex mutex = FolderMutex::kCreated;
    std::string versionFile = "version=1.0.02\r\nmd5=00ff\r\nexe=Kestrun_new.exe\r\n";
    std::wstring localVersion = L"1.0.01";
    bool downloadOk = true;
    std::set<std::wstring> files{L"D:\\qzpk\\Kestrun.exe"};
    std::set<std::wstring> lockedFiles; // moves of these fail

    std::wstring ModulePath() override { return modulePath; }
    FolderMutex CreateFolderMutex(const std::wstring& name) override
    {
        calls.push_back("mutex " + Narrow(name));
        return mutex;
    }
    std::string FetchVersionFile(const std::string& url, size_t capacity) override
    {
        calls.push_back("fetch " + url + " " + std::to_string(capacity));
        return versionFile;
    }
    std::wstring LocalVersion() override { return localVersion; }
    std::wstring Widen(const std::string& text) override { return std::wstring(text.begin(), text.end()); }
    bool DownloadVerified(const std::wstring& url, const std::wstring& path, const std::string& md5) override
    {
        calls.push_back("download " + Narrow(url) + " -> " + Narrow(path) + " md5 " + md5);
        if (downloadOk)
            files.insert(InFolder(path));
        return downloadOk;
    }
    bool MoveTo(const std::wstring& from, const std::wstring& to) override
    {
        calls.push_back("move " + Narrow(from) + " -> " + Narrow(to));
        const std::wstring source = InFolder(from), dest = InFolder(to);
        if (!files.count(source) || files.count(dest) || lockedFiles.count(source))
            return false;
        files.erase(source);
        files.insert(dest);
        return true;
    }

    // Relative names are in the current folder, the program's own.
    static std::wstring InFolder(const std::wstring& name)
    {
        return name.find(L'\\') == std::wstring::npos ? L"D:\\qzpk\\" + name : name;
    }
    static std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }
};

class NoPlatform : public IAppPlatform {
public:
    std::wstring ModulePath() override { return L""; }
    std::wstring CurrentDirectory() override { return L""; }
    wchar_t ChooseInstallDrive() override { return 0; }
    void CreateFolder(const std::wstring&) override {}
    bool CopyFileOver(const std::wstring&, const std::wstring&) override { return false; }
    bool RemoveFile(const std::wstring&) override { return false; }
    void Sleep(unsigned) override {}
    bool StartProcess(const std::wstring&, const std::wstring&) override { return false; }
    void CreateDesktopShortcut(const std::wstring&) override {}
    void CheckForUpdate(CKestrun&, bool) override {}
    void LaunchServer() override {}
    void RunLoginPhase(CKestrun&) override {}
    void RunGamePhase(CKestrun&) override {}
    void RemoveKeyboardHook() override {}
};

class SelfUpdate : public ::testing::Test {
protected:
    bool Check(bool reopen = false)
    {
        app.m_mode = kModeLogin;
        return RunUpdateCheck(platform, "http://cdn.test/", app, reopen);
    }
    std::vector<std::string> Moves() const
    {
        std::vector<std::string> moves;
        for (const std::string& call : platform.calls)
            if (call.rfind("move ", 0) == 0)
                moves.push_back(call);
        return moves;
    }
    bool Downloaded() const
    {
        for (const std::string& call : platform.calls)
            if (call.rfind("download ", 0) == 0)
                return true;
        return false;
    }

    NoPlatform appPlatform;
    CKestrun app{appPlatform};
    FakeUpdatePlatform platform;
};

} // namespace

TEST(SelfUpdateRules, MutexIsNamedAfterTheProgramsFolder)
{
    EXPECT_EQ(UpdateMutexName(L"D:\\qzpk\\Kestrun.exe"), L"D__qzpk");
    EXPECT_EQ(UpdateMutexName(L"C:\\Program Files\\v1.2/x\\K.exe"), L"C__Program Files_v1_2_x");
    EXPECT_EQ(UpdateMutexName(L"Kestrun.exe"), L"");
}

TEST(SelfUpdateRules, PublishedVersionIsTheSameOnlyWhenItBeginsWithTheLocalOne)
{
    EXPECT_TRUE(IsSameVersion(L"1.0.01", L"1.0.01"));
    EXPECT_TRUE(IsSameVersion(L"1.0.012", L"1.0.01"));
    EXPECT_FALSE(IsSameVersion(L"1.0.02", L"1.0.01"));
    EXPECT_FALSE(IsSameVersion(L"1.0.0", L"1.0.01"));  // older still installs
    EXPECT_FALSE(IsSameVersion(L"", L"1.0.01"));
    EXPECT_FALSE(IsSameVersion(L"1.0.01", L"1.0.01 "));
}

TEST_F(SelfUpdate, NewVersionIsDownloadedVerifiedSwappedAndRelaunched)
{
    EXPECT_TRUE(Check());
    EXPECT_EQ(platform.calls, (std::vector<std::string>{
        "mutex D__qzpk",
        "fetch http://cdn.test/weiduan/Pelu/guanfang/ver.txt 65536",
        "download http://cdn.test/weiduan/Pelu/guanfang/Kestrun_new.exe -> Kestrun.exe.tmp md5 00ff",
        "move D:\\qzpk\\Kestrun.exe -> Kestrun.exe.old",
        "move Kestrun.exe.tmp -> Kestrun.exe",
    }));
    EXPECT_EQ(app.m_mode, kModeRelaunch);
    EXPECT_EQ(app.m_exeName, L"Kestrun.exe");
}

TEST_F(SelfUpdate, NoRequestForASecondInstanceOrARelaunchedOne)
{
    platform.mutex = FolderMutex::kAlreadyExists;
    EXPECT_TRUE(Check());
    EXPECT_EQ(platform.calls.size(), 1u);

    platform.calls.clear();
    platform.mutex = FolderMutex::kCreated;
    EXPECT_TRUE(Check(true));
    EXPECT_EQ(platform.calls, (std::vector<std::string>{"mutex D__qzpk"}));
    EXPECT_EQ(app.m_mode, kModeLogin);

    platform.calls.clear();
    platform.mutex = FolderMutex::kFailed;
    EXPECT_FALSE(Check());
    EXPECT_EQ(platform.calls.size(), 1u);
}

TEST_F(SelfUpdate, NothingIsDownloadedWithoutAnAnswerOrForTheSameVersion)
{
    platform.versionFile.clear();
    EXPECT_TRUE(Check());
    EXPECT_FALSE(Downloaded());

    platform.calls.clear();
    platform.versionFile = "md5=00\nversion=1.0.012\nexe=x";
    EXPECT_TRUE(Check());
    EXPECT_FALSE(Downloaded());
    EXPECT_EQ(app.m_mode, kModeLogin);
}

TEST_F(SelfUpdate, AnyOtherVersionIsAttemptedAndTheDigestDecides)
{
    // "version = x" is no key at all: the empty remote version differs.
    platform.versionFile = "version = 1.0.01\nexe=K.exe\n";
    platform.downloadOk = false;
    EXPECT_TRUE(Check());
    EXPECT_EQ(platform.calls.back(), "download http://cdn.test/weiduan/Pelu/guanfang/K.exe -> Kestrun.exe.tmp md5 ");
    EXPECT_TRUE(Moves().empty());
    EXPECT_EQ(app.m_mode, kModeLogin);

    platform.calls.clear();
    platform.versionFile = "version=1.0.0\nmd5=ab\nexe=K.exe";
    platform.downloadOk = true;
    EXPECT_TRUE(Check());
    EXPECT_EQ(app.m_mode, kModeRelaunch);
}

TEST_F(SelfUpdate, OldFileInTheWayRelaunchesTheUnchangedProgram)
{
    platform.files.insert(L"D:\\qzpk\\Kestrun.exe.old");
    EXPECT_TRUE(Check());
    EXPECT_EQ(Moves().size(), 2u);
    EXPECT_TRUE(platform.files.count(L"D:\\qzpk\\Kestrun.exe"));
    EXPECT_TRUE(platform.files.count(L"D:\\qzpk\\Kestrun.exe.tmp")); // kept for the next attempt
    EXPECT_EQ(app.m_mode, kModeRelaunch);
}

TEST_F(SelfUpdate, SecondMoveFailingPutsTheProgramBackAndDoesNotRelaunch)
{
    platform.lockedFiles.insert(L"D:\\qzpk\\Kestrun.exe.tmp");
    EXPECT_TRUE(Check());
    EXPECT_EQ(Moves(), (std::vector<std::string>{
        "move D:\\qzpk\\Kestrun.exe -> Kestrun.exe.old",
        "move Kestrun.exe.tmp -> Kestrun.exe",
        "move Kestrun.exe.old -> D:\\qzpk\\Kestrun.exe",
    }));
    EXPECT_EQ(platform.files, (std::set<std::wstring>{L"D:\\qzpk\\Kestrun.exe", L"D:\\qzpk\\Kestrun.exe.tmp"}));
    EXPECT_EQ(app.m_mode, kModeLogin);
}

TEST_F(SelfUpdate, ProgramThatCannotBePutBackIsNotRelaunched)
{
    platform.lockedFiles = {L"D:\\qzpk\\Kestrun.exe.tmp", L"D:\\qzpk\\Kestrun.exe.old"};
    EXPECT_TRUE(Check());
    EXPECT_EQ(Moves().size(), 3u);
    EXPECT_EQ(platform.files, (std::set<std::wstring>{L"D:\\qzpk\\Kestrun.exe.old", L"D:\\qzpk\\Kestrun.exe.tmp"}));
    EXPECT_EQ(app.m_mode, kModeLogin);
}
