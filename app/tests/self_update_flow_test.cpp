#include "app/core/kestrun_app.h"
#include "app/core/self_update_flow.h"
#include "app/core/update_signature.h"

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
    std::string published = "new program"; // the bytes the download delivers
    std::set<std::wstring> files{L"D:\\qzpk\\Kestrun.exe"};
    std::set<std::wstring> lockedFiles; // moves of these fail
    DownloadLimits limits{};                // what the download was given

    std::wstring ModulePath() override { return modulePath; }
    FolderMutex CreateFolderMutex(const std::wstring& name) override
    {
        calls.push_back("mutex " + Narrow(name));
        return mutex;
    }
    std::string FetchVersionFile(const std::string& url, size_t capacity, unsigned long timeLimitMs) override
    {
        calls.push_back("fetch " + url + " " + std::to_string(capacity) + " within " + std::to_string(timeLimitMs));
        return versionFile;
    }
    std::wstring LocalVersion() override { return localVersion; }
    std::wstring Widen(const std::string& text) override { return std::wstring(text.begin(), text.end()); }
    bool DownloadVerified(const std::wstring& url, const std::wstring& path, const std::string& md5,
                          const DownloadLimits& given, const BodyCheck& accept, const DownloadWatch&) override
    {
        calls.push_back("download " + Narrow(url) + " -> " + Narrow(path) + " md5 " + md5);
        limits = given;
        const auto* bytes = reinterpret_cast<const unsigned char*>(published.data());
        if (!downloadOk || (accept && !accept(bytes, published.size())))
            return false;
        files.insert(InFolder(path));
        return true;
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

    // A relative name would be in the current folder, which is not the program's.
    static std::wstring InFolder(const std::wstring& name)
    {
        return name.find(L'\\') == std::wstring::npos ? L"C:\\Elsewhere\\" + name : name;
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

// Stands in for the platform's cryptography: answers as told and records
// what it was asked to verify. Its digest of any bytes is their length.
class FakeVerifier : public ISignatureVerifier {
public:
    bool answer = true;
    std::vector<std::string> asked; // first key byte, first signature byte, the bytes

    bool Sha256(const unsigned char*, size_t length, Sha256Digest& digest) override
    {
        digest.fill(0);
        digest[31] = static_cast<unsigned char>(length);
        return true;
    }
    bool VerifyP256Sha256(const P256PublicKey& key, const P256Signature& signature,
                          const unsigned char* bytes, size_t length) override
    {
        asked.push_back(std::to_string(key[0]) + " " + std::to_string(signature[0]) + " " +
                        std::string(reinterpret_cast<const char*>(bytes), length));
        return answer;
    }
};

class SelfUpdate : public ::testing::Test {
protected:
    // A build without a key, as before signatures existed.
    bool Check(bool reopen = false) { return CheckWith(UpdateSigning("", verifier), reopen); }
    bool CheckWith(const UpdateSigning& signing, bool reopen = false)
    {
        app.m_mode = kModeLogin;
        return RunUpdateCheck(platform, "http://cdn.test/", signing, app, reopen);
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
    FakeVerifier verifier;
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
        "fetch http://cdn.test/weiduan/Pelu/guanfang/ver.txt 65536 within 10000",
        "download http://cdn.test/weiduan/Pelu/guanfang/Kestrun_new.exe -> D:\\qzpk\\Kestrun.exe.tmp md5 00ff",
        "move D:\\qzpk\\Kestrun.exe -> D:\\qzpk\\Kestrun.exe.old",
        "move D:\\qzpk\\Kestrun.exe.tmp -> D:\\qzpk\\Kestrun.exe",
    }));
    EXPECT_EQ(platform.files, (std::set<std::wstring>{L"D:\\qzpk\\Kestrun.exe", L"D:\\qzpk\\Kestrun.exe.old"}));
    EXPECT_EQ(platform.limits.maxBytes, kUpdateExeMaxBytes);
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
    EXPECT_EQ(platform.calls.back(), "download http://cdn.test/weiduan/Pelu/guanfang/K.exe -> D:\\qzpk\\Kestrun.exe.tmp md5 ");
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
        "move D:\\qzpk\\Kestrun.exe -> D:\\qzpk\\Kestrun.exe.old",
        "move D:\\qzpk\\Kestrun.exe.tmp -> D:\\qzpk\\Kestrun.exe",
        "move D:\\qzpk\\Kestrun.exe.old -> D:\\qzpk\\Kestrun.exe",
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

TEST_F(SelfUpdate, BuildWithAKeyInstallsOnlyWhatTheSignatureCovers)
{
    const UpdateSigning signing(std::string(128, '7'), verifier);
    const std::string sig = "\r\nsig=Kestrun-Release-1:" + std::string(128, 'A') + "\r\n";
    platform.versionFile += sig;
    EXPECT_TRUE(CheckWith(signing));
    // The statement of the published version and name over the downloaded
    // bytes (11 of them), under the built-in key, was verified.
    EXPECT_EQ(verifier.asked, (std::vector<std::string>{
        "119 170 Kestrun-Release-1\nversion=1.0.02\nexe=Kestrun_new.exe\nsha256=" + std::string(62, '0') + "0b\n"}));
    EXPECT_EQ(app.m_mode, kModeRelaunch);

    // A signature that does not verify: like a wrong digest, nothing moves.
    platform.calls.clear();
    platform.files = {L"D:\\qzpk\\Kestrun.exe"};
    verifier.answer = false;
    EXPECT_TRUE(CheckWith(signing));
    EXPECT_TRUE(Downloaded());
    EXPECT_TRUE(Moves().empty());
    EXPECT_EQ(platform.files, (std::set<std::wstring>{L"D:\\qzpk\\Kestrun.exe"}));
    EXPECT_EQ(app.m_mode, kModeLogin);
}

TEST_F(SelfUpdate, BuildWithAKeyDoesNotFetchAnExecutableWithoutAUsableSignature)
{
    const UpdateSigning signing(std::string(128, '7'), verifier);
    const std::string base = platform.versionFile;
    const std::string tag = "sig=Kestrun-Release-1:";
    for (const std::string& extra : {std::string(), tag + std::string(127, 'a'), tag + std::string(128, 'g'),
                                     "sig=" + std::string(128, 'a'), tag + " " + std::string(128, 'a')}) {
        platform.calls.clear();
        platform.versionFile = base + extra + "\r\n";
        EXPECT_TRUE(CheckWith(signing)) << extra;
        EXPECT_FALSE(Downloaded()) << extra;
        EXPECT_EQ(app.m_mode, kModeLogin) << extra;
    }
    EXPECT_TRUE(verifier.asked.empty());
}

TEST_F(SelfUpdate, BuildWithoutAKeyIgnoresTheSignature)
{
    platform.versionFile += "sig=not hex at all\r\n";
    verifier.answer = false;
    EXPECT_TRUE(Check());
    EXPECT_TRUE(verifier.asked.empty());
    EXPECT_EQ(app.m_mode, kModeRelaunch);
}
