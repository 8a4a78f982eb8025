#include "cacheserver/tests/test_server.h"

#include "base/core/md5.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

std::vector<std::string> FolderNames(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* e = readdir(dir))
            if (e->d_name[0] != '.')
                names.push_back(e->d_name);
        closedir(dir);
    }
    return names;
}

// The folder's names but the entries' metadata files.
std::vector<std::string> BodyNames(const std::string& folder)
{
    std::vector<std::string> names;
    for (const std::string& name : FolderNames(folder))
        if (name.size() < 5 || name.compare(name.size() - 5, 5, ".meta") != 0)
            names.push_back(name);
    return names;
}

// The CDN answers every URL with its own text, completely.
int EchoCdn(const std::string& url, COutBuf* body)
{
    body->Write(url.data(), static_cast<int>(url.size()));
    return 0;
}

class ResourceCache : public ::testing::Test {
protected:
    void Prepare(TestHttpServer& server, const char* name)
    {
        m_root = FreshFolder(name);
        server.SetCdnBase("http://cdn.test/base/");
        ASSERT_TRUE(server.LaunchIn(m_root + "wz_cdn"));
        server.Stop();
    }
    std::string m_root;
};

} // namespace

TEST_F(ResourceCache, MissFetchesWithTheDoubledSlashAndStoresUnderTheMd5Name)
{
    TestHttpServer server(&EchoCdn);
    Prepare(server, "miss");
    EXPECT_EQ(server.RootPath(), m_root + "wz_cdn/");
    const std::string path = "/wz_cdn/ui/a.png?v=3";
    EXPECT_EQ(BodyOf(server, path), "http://cdn.test/base//wz_cdn/ui/a.png?v=3");
    EXPECT_EQ(ReadFileText(server.RootPath() + Md5Hex(path.data(), path.size())), "http://cdn.test/base//wz_cdn/ui/a.png?v=3");
    // Served from disk from now on, even after the base changed.
    server.SetCdnBase("http://other.test/");
    EXPECT_EQ(BodyOf(server, path), "http://cdn.test/base//wz_cdn/ui/a.png?v=3");
    EXPECT_EQ(server.Fetches(), 1);
    // Another query string is another file and another fetch, from the new base.
    EXPECT_EQ(BodyOf(server, "/wz_cdn/ui/a.png?v=4"), "http://other.test//wz_cdn/ui/a.png?v=4");
    EXPECT_EQ(server.Fetches(), 2);
    EXPECT_EQ(BodyNames(server.RootPath()).size(), 2u); // no temporary file left
}

TEST_F(ResourceCache, IncompleteFetchIsServedButNotStored)
{
    TestHttpServer server([](const std::string&, COutBuf* body) {
        body->Write("half", 4);
        return 3;
    });
    Prepare(server, "short");
    EXPECT_EQ(BodyOf(server, "/wz_cdn/big.bin"), "half");
    EXPECT_TRUE(FolderNames(server.RootPath()).empty());
    EXPECT_EQ(BodyOf(server, "/wz_cdn/big.bin"), "half");
    EXPECT_EQ(server.Fetches(), 2);
}

TEST_F(ResourceCache, EmptiedFolderIsFilledAgainAndAMissingFolderOnlyLosesStores)
{
    TestHttpServer server(&EchoCdn);
    Prepare(server, "emptied");
    BodyOf(server, "/a");
    for (const std::string& name : FolderNames(server.RootPath()))
        unlink((server.RootPath() + name).c_str());
    BodyOf(server, "/a");
    EXPECT_EQ(server.Fetches(), 2);
    EXPECT_EQ(BodyNames(server.RootPath()).size(), 1u);
    std::system(("rm -rf '" + server.RootPath() + "'").c_str());
    EXPECT_EQ(BodyOf(server, "/a"), "http://cdn.test/base//a");
    EXPECT_EQ(BodyOf(server, "/a"), "http://cdn.test/base//a");
    EXPECT_EQ(server.Fetches(), 4);
}

TEST_F(ResourceCache, ConcurrentMissesOfOnePathShareOneFetch)
{
    std::atomic<int> inside{0};
    TestHttpServer server([&](const std::string& url, COutBuf* body) {
        ++inside;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const std::string big(3 << 20, 'q');
        body->Write(big.data(), static_cast<int>(big.size()));
        body->Write(url.data(), static_cast<int>(url.size()));
        return 0;
    });
    Prepare(server, "shared");
    std::vector<std::string> bodies(8);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < bodies.size(); ++i)
        threads.emplace_back([&, i] { bodies[i] = BodyOf(server, i % 2 ? "/p/one.swf" : "/p/two.swf"); });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(server.Fetches(), 2);
    for (size_t i = 0; i < bodies.size(); ++i) {
        const std::string url = i % 2 ? "http://cdn.test/base//p/one.swf" : "http://cdn.test/base//p/two.swf";
        ASSERT_EQ(bodies[i].size(), (3u << 20) + url.size()) << i;
        EXPECT_EQ(bodies[i].substr(3 << 20), url);
    }
    EXPECT_EQ(BodyNames(server.RootPath()).size(), 2u);
}

TEST_F(ResourceCache, ReadersNeverSeeAPartlyWrittenFile)
{
    const std::string big(8 << 20, 'z');
    TestHttpServer server([&](const std::string&, COutBuf* body) {
        body->Write(big.data(), static_cast<int>(big.size()));
        return 0;
    });
    Prepare(server, "atomic");
    const std::string file = server.CacheFileFor("/big.bin");
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::thread reader([&] {
        while (!done) {
            COutBuf seen;
            if (seen.LoadFile(file.c_str()) && seen.GetLength() != static_cast<int>(big.size()))
                ++torn;
        }
    });
    for (int i = 0; i < 10; ++i) {
        unlink(file.c_str());
        EXPECT_EQ(BodyOf(server, "/big.bin").size(), big.size());
    }
    done = true;
    reader.join();
    EXPECT_EQ(torn.load(), 0);
}

TEST(CacheLaunch, TakenPortFailsFastAndAFreshPortIsAnnounced)
{
    // Hold the port the launch would use.
    const int holder = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(holder, 4), 0);
    socklen_t length = sizeof address;
    getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length);
    const int taken = ntohs(address.sin_port);

    TestHttpServer direct;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(direct.Start(taken));
    EXPECT_TRUE(direct.LastStartPortTaken());
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));

    // The caller's draw gives the next port; the one that listens is announced.
    std::vector<int> drawn;
    TestHttpServer server;
    const std::string folder = FreshFolder("launch");
    ASSERT_TRUE(server.LaunchIn(folder, taken, [&] {
        drawn.push_back(UnusedPort());
        return drawn.back();
    }));
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_NE(server.ListeningPort(), taken);
    EXPECT_EQ(server.ListeningPort(), drawn[0]);
    TestClient client(server.ListeningPort());
    EXPECT_TRUE(client.Connected());
    // A second launch changes nothing.
    EXPECT_TRUE(server.LaunchIn(FreshFolder("launch2"), UnusedPort()));
    EXPECT_EQ(server.ListeningPort(), drawn[0]);
    EXPECT_EQ(server.RootPath(), folder);
    close(holder);
}
