#include "cacheserver/core/cache_budget.h"

#include "base/core/md5.h"
#include "cacheserver/core/cache_files.h"
#include "cacheserver/tests/test_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

namespace {

// A cache file named after a key, or a file that is not ours by name.
struct FileSpec {
    const char* key;
    long long bytes;
    int ageSeconds;
    bool ours = true;
};

std::string NameOf(const FileSpec& spec)
{
    return spec.ours ? Md5Hex(spec.key, std::strlen(spec.key)) : spec.key;
}

void Plant(const std::string& folder, const std::vector<FileSpec>& files)
{
    const long long now = CacheNowMs();
    for (const FileSpec& spec : files) {
        const std::string path = folder + NameOf(spec);
        WriteFileText(path, std::string(static_cast<size_t>(spec.bytes), 'x'));
        ASSERT_TRUE(CacheSetStamp(path, now - spec.ageSeconds * 1000LL));
    }
}

std::set<std::string> KeysPresent(const std::string& folder, const std::vector<FileSpec>& files)
{
    std::set<std::string> present;
    for (const FileSpec& spec : files) {
        CacheFileStamp stamp;
        if (CacheStampOf(folder + NameOf(spec), &stamp))
            present.insert(spec.key);
    }
    return present;
}

long long CacheBytesIn(const std::string& folder)
{
    long long total = 0;
    CacheListFiles(folder, [&](const std::string& name, const CacheFileStamp& stamp) {
        if (IsCacheFileName(name))
            total += stamp.bytes;
        return true;
    });
    return total;
}

constexpr long long kBudget = 1000; // low water 900

struct PolicyCase {
    const char* name;
    std::vector<FileSpec> files;
    std::vector<const char*> hits; // noted before the keeper's round
    int touchSeconds;
    std::set<std::string> kept;
};

class BudgetPolicy : public ::testing::TestWithParam<PolicyCase> {};

} // namespace

TEST_P(BudgetPolicy, RemovesTheLeastRecentlyUsedDownToLowWater)
{
    const PolicyCase& c = GetParam();
    const std::string folder = FreshFolder(c.name);
    Plant(folder, c.files);
    CCacheBudget budget(folder, kBudget, c.touchSeconds);
    budget.Index();
    for (const char* key : c.hits)
        budget.NoteHit(folder + Md5Hex(key, std::strlen(key)));
    budget.SaveHits();
    budget.EvictIfOver();
    EXPECT_EQ(KeysPresent(folder, c.files), c.kept);
    EXPECT_EQ(budget.Counts().bytes, CacheBytesIn(folder));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BudgetPolicy,
    ::testing::Values(
        PolicyCase{"within", {{"a", 300, 50}, {"b", 300, 40}, {"c", 300, 30}}, {}, 0, {"a", "b", "c"}},
        PolicyCase{"oldest", {{"b", 400, 40}, {"a", 400, 50}, {"c", 400, 30}}, {}, 0, {"b", "c"}},
        // Under the budget after one removal is not enough: on to low water.
        PolicyCase{"lowwater", {{"a", 100, 60}, {"b", 100, 50}, {"c", 400, 40}, {"d", 500, 30}}, {}, 0, {"c", "d"}},
        // Other names are neither counted nor removed.
        PolicyCase{"foreign",
                   {{"readme.txt", 5000, 90, false},
                    {"0123456789ABCDEF0123456789ABCDEF", 5000, 90, false},
                    {"0123456789abcdef0123456789abcdef.77-0.part", 5000, 90, false},
                    {"a", 400, 50},
                    {"b", 400, 40}},
                   {},
                   0,
                   {"readme.txt", "0123456789ABCDEF0123456789ABCDEF", "0123456789abcdef0123456789abcdef.77-0.part", "a",
                    "b"}},
        // A hit makes the oldest file the freshest: least recently used, not first in.
        PolicyCase{"hit", {{"a", 400, 50}, {"b", 400, 40}, {"c", 400, 30}}, {"a"}, 0, {"a", "c"}},
        // A file used within the touch interval keeps its time.
        PolicyCase{"throttled", {{"a", 400, 50}, {"b", 400, 40}, {"c", 400, 30}}, {"a"}, 3600, {"b", "c"}}),
    [](const ::testing::TestParamInfo<PolicyCase>& info) { return std::string(info.param.name); });

TEST(CacheBudget, HitsNotedInOneRunOrderTheNextRunsEviction)
{
    const std::string folder = FreshFolder("restart");
    const std::vector<FileSpec> files = {{"a", 400, 50}, {"b", 400, 40}, {"c", 400, 30}};
    Plant(folder, files);
    {
        // Over budget from the start: this run's keeper would evict "a"
        // at once, so it gets a budget it stays within.
        CCacheBudget first(folder, 10 * kBudget, 0);
        ASSERT_TRUE(first.Start());
        first.NoteHit(folder + Md5Hex("a", 1));
        first.Stop();
    }
    CCacheBudget second(folder, kBudget, 0);
    second.Index();
    second.EvictIfOver();
    EXPECT_EQ(KeysPresent(folder, files), (std::set<std::string>{"a", "c"}));
}

// Empties the folder's cache files right after a response has opened its own.
class EvictingServer : public TestHttpServer {
public:
    std::unique_ptr<CResponse> HandleRequest(const std::string& request, int* keepAlive) override
    {
        std::unique_ptr<CResponse> response = TestHttpServer::HandleRequest(request, keepAlive);
        CCacheBudget budget(RootPath(), 1, 0);
        budget.Index();
        budget.EvictIfOver();
        return response;
    }
};

TEST(CacheBudget, ResponseUnderWayOutlivesTheRemovalOfItsFile)
{
    EvictingServer server;
    CacheServerConfig config = server.Config(FreshFolder("underway"));
    config.cacheBudgetBytes = 0; // only the eviction above
    ASSERT_TRUE(server.Launch(config));
    const std::string body(300000, 'b');
    const std::string path = "/wz_cdn/big.bin";
    WriteFileText(server.CacheFileFor(path), body);

    int keepAlive = 0;
    std::string text;
    bool cut = true;
    ASSERT_TRUE(CollectResponse(server, "GET " + path + " HTTP/1.0\r\n\r\n", &keepAlive, &text, &cut));
    CacheFileStamp stamp;
    EXPECT_FALSE(CacheStampOf(server.CacheFileFor(path), &stamp)) << "the file should be gone";
    EXPECT_FALSE(cut);
    ASSERT_NE(text.find("\r\n\r\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.find("\r\n\r\n") + 4), body);
}

// Two servers on one folder, each with a small budget, take turns storing:
// every answer is whole, the folder ends within the budget, and what was
// fetched last is still there.
TEST(CacheBudget, TwoServersSharingAFolderStayWithinBudget)
{
    const std::string root = FreshFolder("shared");
    const auto bodyFor = [](const std::string& url) { return std::string(1000, static_cast<char>('a' + url.size() % 26)); };
    const auto cdn = [&](const std::string& url, COutBuf* out) {
        const std::string body = bodyFor(url);
        out->Write(body.data(), static_cast<int>(body.size()));
        return 0;
    };
    TestHttpServer one(cdn);
    TestHttpServer two(cdn);
    for (TestHttpServer* server : {&one, &two}) {
        CacheServerConfig config = server->Config(root);
        config.cacheBudgetBytes = 5000;
        config.recencyTouchSeconds = 0;
        ASSERT_TRUE(server->Launch(config));
    }
    std::vector<std::string> paths;
    for (int i = 0; i < 24; ++i) {
        paths.push_back("/wz_cdn/r" + std::to_string(i) + ".png");
        TestHttpServer& server = i % 2 ? two : one;
        EXPECT_EQ(BodyOf(server, paths.back()), bodyFor("http://cdn.test/" + paths.back()));
        // The keepers run on their own: give each store its own time stamp.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // Each keeper is woken by a store past its own count, and looks again at
    // its next round after storing near the budget; the folder gets back
    // within the budget once either has listed it.
    for (int i = 0; i < 400 && CacheBytesIn(one.RootPath()) > 5000; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    EXPECT_LE(CacheBytesIn(one.RootPath()), 5000);
    CacheFileStamp stamp;
    EXPECT_TRUE(CacheStampOf(one.CacheFileFor(paths.back()), &stamp));
    EXPECT_FALSE(CacheStampOf(one.CacheFileFor(paths.front()), &stamp));
    EXPECT_GT(one.Budget()->Counts().evicted + two.Budget()->Counts().evicted, 0);
}
