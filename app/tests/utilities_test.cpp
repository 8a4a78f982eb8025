#include "app/core/app_globals.h"
#include "app/core/cdn_base_url.h"
#include "app/core/relaunch.h"
#include "base/core/directory_path.h"
#include "base/core/random_range.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

TEST(RandomInRange, StaysInItsHalfOpenRange)
{
    for (int i = 0; i < 20000; ++i) {
        const double r = RandomInRange(0.0, 10000.0);
        ASSERT_GE(r, 0.0);
        ASSERT_LT(r, 10000.0);
    }
    for (int i = 0; i < 2000; ++i) {
        const int port = DrawLocalPort();
        ASSERT_GE(port, 22325);
        ASSERT_LE(port, 32324);
    }
    EXPECT_GE(g_localPort, 22325);
    EXPECT_LE(g_localPort, 32324);
}

TEST(MakeDirectoryPath, CreatesTheChainAndReportsTheLastStep)
{
    const std::string root = std::string(::testing::TempDir()) + "kestrun_mkdir_" + std::to_string(getpid());
    const std::string path = root + "\\a/b\\c\\";
    // Every folder along the way is made; the final call finds the last one there.
    EXPECT_EQ(MakeDirectoryPath(path.c_str()), -1);
    struct stat st;
    EXPECT_EQ(stat((root + "/a/b/c").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(MakeDirectoryPath((root + "/d").c_str()), 0);
    EXPECT_EQ(MakeDirectoryPath(nullptr), 0);
    // A file in the way stops the walk.
    const std::string file = root + "/file";
    FILE* f = fopen(file.c_str(), "w");
    fclose(f);
    EXPECT_EQ(MakeDirectoryPath((file + "/x/y").c_str()), -1);
    std::system(("rm -rf " + root).c_str());
}

TEST(CdnBaseUrl, ReadersAlwaysSeeAWholeValue)
{
    CdnBaseUrl url("http://first.example/");
    EXPECT_EQ(url.Get(), "http://first.example/");
    const std::string a = "http://" + std::string(500, 'a') + "/";
    const std::string b = "http://" + std::string(20, 'b') + "/";
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t)
        readers.emplace_back([&] {
            while (!stop) {
                const std::string v = url.Get();
                if (v != a && v != b && v != "http://first.example/")
                    ++torn;
            }
        });
    for (int i = 0; i < 20000; ++i)
        url.Set(i % 2 ? a : b);
    stop = true;
    for (auto& r : readers)
        r.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_EQ(url.Get(), a);
}

TEST(CommandLineBuilding, QuotesTheProgramAndRefusesWhatCannotBeWhole)
{
    EXPECT_EQ(BuildCommandLine(L"C:\\Program Files\\K.exe", L"re_open"), L"\"C:\\Program Files\\K.exe\" re_open");
    EXPECT_EQ(BuildCommandLine(L"C:\\K.exe", L""), L"\"C:\\K.exe\"");
    EXPECT_TRUE(BuildCommandLine(L"", L"re_open").empty());
    EXPECT_TRUE(BuildCommandLine(L"C:\\a\"b.exe", L"re_open").empty());
    EXPECT_TRUE(BuildCommandLine(L"C:\\" + std::wstring(32760, L'x'), L"re_open").empty());
    EXPECT_EQ(JoinPath(L"D:\\", L"k.exe"), L"D:\\k.exe");
    EXPECT_EQ(JoinPath(L"D:\\qzpk", L"k.exe"), L"D:\\qzpk\\k.exe");
    EXPECT_EQ(FileNameOf(L"D:\\qzpk\\k.exe"), L"k.exe");
    EXPECT_EQ(FileNameOf(L"k.exe"), L"k.exe");
}
