// Misses stream while the CDN is still sending, only a whole 200 answer is
// stored, every other outcome is answered for what it is, and the server's
// time and connection limits hold.
#include "cacheserver/tests/test_server.h"

#include "base/core/md5.h"
#include "cacheserver/core/cdn_miss.h"

#include <atomic>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <utime.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Holds a CDN thread until the test lets it go. Shared, because the thread
// may outlive the test's scope when the server gives up on it.
struct Gate {
    std::mutex lock;
    std::condition_variable opened;
    bool open = false;

    void Open()
    {
        std::lock_guard<std::mutex> hold(lock);
        open = true;
        opened.notify_all();
    }
    // Waits until opened, or (unless stubborn) until nobody wants the fetch.
    bool Wait(ICdnReceiver& receiver, bool stubborn = false)
    {
        std::unique_lock<std::mutex> hold(lock);
        while (!open) {
            opened.wait_for(hold, std::chrono::milliseconds(20));
            if (!stubborn && !receiver.KeepGoing())
                return false;
        }
        return true;
    }
};

bool Exists(const std::string& path)
{
    return std::ifstream(path).good();
}

std::string StatusLine(const std::string& response)
{
    return response.substr(0, response.find("\r\n"));
}

std::string Body(const std::string& response)
{
    const size_t at = response.find("\r\n\r\n");
    return at == std::string::npos ? std::string() : response.substr(at + 4);
}

long long MillisecondsSince(Clock::time_point t0)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
}

} // namespace

TEST(CacheStreaming, MissStreamsToEveryRequestWhileTheCdnIsStillSending)
{
    auto gate = std::make_shared<Gate>();
    auto lastTaken = std::make_shared<std::atomic<int>>(-1);
    TestHttpServer server;
    server.SetStreamingCdn([gate, lastTaken](const std::string&, ICdnReceiver& receiver) {
        if (!receiver.OnHead(200, "OK", 8) || !receiver.OnBody("abcd", 4) || !gate->Wait(receiver))
            return CdnFetchResult::kFailed;
        lastTaken->store(receiver.OnBody("efgh", 4) ? 1 : 0);
        return CdnFetchResult::kComplete;
    });
    ASSERT_TRUE(server.LaunchIn(FreshFolder("stream")));

    TestClient first(server.ListeningPort());
    ASSERT_TRUE(first.Send("GET /s.bin HTTP/1.0\r\n\r\n"));
    std::string a = first.Receive(1);
    while (a.find("\r\n\r\n") == std::string::npos || Body(a).size() < 4) {
        const std::string more = first.Receive(1, 2000);
        ASSERT_FALSE(more.empty()) << a;
        a += more;
    }
    EXPECT_EQ(StatusLine(a), "HTTP/1.0 200 OK");
    EXPECT_NE(a.find("Content-Length: 8\r\n"), std::string::npos);
    EXPECT_EQ(Body(a), "abcd");

    // A second request joins the fetch under way and gets what came so far.
    TestClient second(server.ListeningPort());
    ASSERT_TRUE(second.Send("GET /s.bin HTTP/1.0\r\n\r\n"));
    std::string b;
    while (Body(b).size() < 4) {
        const std::string more = second.Receive(1, 2000);
        ASSERT_FALSE(more.empty()) << b;
        b += more;
    }
    EXPECT_FALSE(Exists(server.CacheFileFor("/s.bin"))); // nothing stored before it is whole

    gate->Open();
    EXPECT_EQ(Body(a + first.Receive(4)), "abcdefgh");
    EXPECT_EQ(Body(b + second.Receive(4)), "abcdefgh");
    EXPECT_EQ(server.Fetches(), 1);
    EXPECT_EQ(ReadFileText(server.CacheFileFor("/s.bin")), "abcdefgh");
    // The last byte is taken, not refused: refusing it would break off a
    // whole transfer and close a connection the next fetch could use.
    for (int i = 0; i < 200 && lastTaken->load() < 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(lastTaken->load(), 1);
}

TEST(CacheStreaming, OnlyAWhole200IsStoredAndEveryOtherOutcomeIsAnsweredAsItIs)
{
    struct Case {
        const char* name;
        CdnFetch cdn;
        const char* status;
        const char* body;
        bool cut;
        bool stored;
    };
    const auto answer = [](int status, const char* reason, long long length, const char* body, CdnFetchResult end) {
        return [=](const std::string&, ICdnReceiver& receiver) {
            if (receiver.OnHead(status, reason, length) && *body)
                receiver.OnBody(body, std::strlen(body));
            return end;
        };
    };
    const CdnFetch noAnswer = [](const std::string&, ICdnReceiver&) { return CdnFetchResult::kFailed; };
    const Case cases[] = {
        {"whole 200", answer(200, "OK", 3, "abc", CdnFetchResult::kComplete), "HTTP/1.0 200 OK", "abc", false, true},
        {"404 page", answer(404, "Not Found", 4, "gone", CdnFetchResult::kComplete), "HTTP/1.0 404 Not Found", "gone",
         false, false},
        {"503 without a length", answer(503, "Busy\r\nX: y", -1, "", CdnFetchResult::kComplete),
         "HTTP/1.0 503 BusyX: y", "", false, false},
        {"200 without a length", answer(200, "OK", -1, "abc", CdnFetchResult::kComplete), "HTTP/1.0 502 Bad Gateway", "",
         false, false},
        {"no answer", noAnswer, "HTTP/1.0 502 Bad Gateway", "", false, false},
        {"time-out", [](const std::string&, ICdnReceiver&) { return CdnFetchResult::kTimedOut; },
         "HTTP/1.0 504 Gateway Timeout", "", false, false},
        {"body breaks off", answer(200, "OK", 10, "abcd", CdnFetchResult::kFailed), "HTTP/1.0 200 OK", "abcd", true,
         false},
    };
    for (const Case& c : cases) {
        TestHttpServer server;
        server.SetStreamingCdn(c.cdn);
        const std::string root = FreshFolder("outcomes");
        ASSERT_TRUE(server.LaunchIn(root));
        server.Stop();
        int keepAlive = 0;
        std::string response;
        bool cut = false;
        ASSERT_TRUE(CollectResponse(server, "GET /r.js HTTP/1.0\r\n\r\n", &keepAlive, &response, &cut)) << c.name;
        EXPECT_EQ(StatusLine(response), c.status) << c.name;
        EXPECT_NE(response.find("Content-Type: application/x-javascript\r\n"), std::string::npos) << c.name;
        EXPECT_EQ(Body(response), c.body) << c.name;
        EXPECT_EQ(cut, c.cut) << c.name;
        EXPECT_EQ(Exists(server.CacheFileFor("/r.js")), c.stored) << c.name;
        if (!c.stored) {
            // Asked again next time rather than remembered.
            CollectResponse(server, "GET /r.js HTTP/1.0\r\n\r\n", &keepAlive, &response);
            EXPECT_EQ(server.Fetches(), 2) << c.name;
        }
    }
}

namespace {

// A client that takes the header of its response and goes away.
void TakeHeaderAndLeave(CHTTPServer& server, const std::string& path)
{
    int keepAlive = 0;
    const std::unique_ptr<CResponse> response = server.HandleRequest("GET " + path + " HTTP/1.0\r\n\r\n", &keepAlive);
    CResponse::Piece piece;
    while (response && response->NextPiece(1024, &piece) == CResponse::Next::kWait) {
    }
}

bool FetchesDownTo(CHTTPServer& server, int running)
{
    const auto t0 = Clock::now();
    while (server.RunningFetches() > running && MillisecondsSince(t0) < 2000)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return server.RunningFetches() == running;
}

} // namespace

TEST(CacheStreaming, TimeLimitsEndASilentCdnWhetherOrNotAnyoneWaits)
{
    TestHttpServer server;
    auto gate = std::make_shared<Gate>();
    server.SetStreamingCdn([gate](const std::string& url, ICdnReceiver& receiver) {
        // "/quiet" never answers; "/stalls" stops after 4 of its 10 bytes.
        if (url.find("stalls") != std::string::npos && (!receiver.OnHead(200, "OK", 10) || !receiver.OnBody("abcd", 4)))
            return CdnFetchResult::kFailed;
        gate->Wait(receiver);
        return CdnFetchResult::kFailed;
    });
    CacheServerConfig config = server.Config(FreshFolder("limits"));
    config.cdnAnswerTimeoutMs = 300;
    config.cdnStallTimeoutMs = 300;
    ASSERT_TRUE(server.Launch(config));
    server.Stop();

    int keepAlive = 0;
    std::string response;
    bool cut = false;
    auto t0 = Clock::now();
    CollectResponse(server, "GET /quiet HTTP/1.0\r\n\r\n", &keepAlive, &response, &cut);
    EXPECT_EQ(StatusLine(response), "HTTP/1.0 504 Gateway Timeout");
    EXPECT_LT(MillisecondsSince(t0), 1500);

    t0 = Clock::now();
    CollectResponse(server, "GET /stalls HTTP/1.0\r\n\r\n", &keepAlive, &response, &cut);
    EXPECT_EQ(Body(response), "abcd");
    EXPECT_TRUE(cut);
    EXPECT_LT(MillisecondsSince(t0), 1500);
    EXPECT_FALSE(Exists(server.CacheFileFor("/stalls")));

    // Clients that leave, before the head and after the first bytes: their
    // fetches run on, but end by the same limits.
    server.HandleRequest("GET /quiet?left HTTP/1.0\r\n\r\n", &keepAlive);
    TakeHeaderAndLeave(server, "/stalls?left");
    EXPECT_TRUE(FetchesDownTo(server, 0));
    EXPECT_FALSE(Exists(server.CacheFileFor("/stalls?left")));
}

TEST(CacheStreaming, AMissItsClientLeavesRunsOnIsJoinedAndStored)
{
    auto gate = std::make_shared<Gate>();
    TestHttpServer server;
    server.SetStreamingCdn([gate](const std::string& url, ICdnReceiver& receiver) {
        // "/huge" is larger than the budget of 64 bytes.
        const long long length = url.find("huge") != std::string::npos ? 100 : 8;
        if (!receiver.OnHead(200, "OK", length) || !receiver.OnBody("abcd", 4) || !gate->Wait(receiver))
            return CdnFetchResult::kFailed;
        receiver.OnBody("efgh", 4);
        return CdnFetchResult::kComplete;
    });
    CacheServerConfig config = server.Config(FreshFolder("left"));
    config.cacheBudgetBytes = 64;
    ASSERT_TRUE(server.Launch(config));
    server.Stop();
    TakeHeaderAndLeave(server, "/s.bin");
    TakeHeaderAndLeave(server, "/huge");
    // The first runs on; the one that could not stay in the cache ends.
    EXPECT_TRUE(FetchesDownTo(server, 1));

    // A reload joins the fetch under way.
    std::thread opener([gate] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        gate->Open();
    });
    EXPECT_EQ(BodyOf(server, "/s.bin"), "abcdefgh");
    opener.join();
    EXPECT_EQ(server.Fetches(), 2);
    EXPECT_EQ(ReadFileText(server.CacheFileFor("/s.bin")), "abcdefgh");
    EXPECT_FALSE(Exists(server.CacheFileFor("/huge")));
}

TEST(CacheStreaming, OnlySoManyFetchesRunOnUnattended)
{
    auto gate = std::make_shared<Gate>();
    TestHttpServer server;
    server.SetStreamingCdn([gate](const std::string&, ICdnReceiver& receiver) {
        if (!receiver.OnHead(200, "OK", 2) || !receiver.OnBody("a", 1) || !gate->Wait(receiver))
            return CdnFetchResult::kFailed;
        receiver.OnBody("b", 1);
        return CdnFetchResult::kComplete;
    });
    ASSERT_TRUE(server.LaunchIn(FreshFolder("unattended")));
    server.Stop();
    for (int i = 0; i <= kMaxUnattendedFetches; ++i)
        TakeHeaderAndLeave(server, "/p" + std::to_string(i));
    EXPECT_TRUE(FetchesDownTo(server, kMaxUnattendedFetches));
    gate->Open();
    EXPECT_EQ(BodyOf(server, "/p0"), "ab");
    EXPECT_EQ(BodyOf(server, "/p" + std::to_string(kMaxUnattendedFetches)), "ab");
    EXPECT_EQ(server.Fetches(), kMaxUnattendedFetches + 2); // the one that ended is asked again
}

namespace {

// Reads 1 KiB every pauseMs for budgetMs.
void ReadSlowly(TestClient& client, int pauseMs, int budgetMs)
{
    const auto t0 = Clock::now();
    while (MillisecondsSince(t0) < budgetMs) {
        client.Receive(1024, 50);
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    }
}

bool ConnectionsEndWithin(CHTTPServer& server, int timeoutMs)
{
    const auto t0 = Clock::now();
    while (server.ConnectionCount() > 0 && MillisecondsSince(t0) < timeoutMs)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return server.ConnectionCount() == 0;
}

} // namespace

TEST(CacheStreaming, SlowPeersCannotStretchTheLimits)
{
    TestHttpServer server;
    const std::string root = FreshFolder("slow");
    WriteFileText(root + Md5Hex("/k", 2), "k");
    CacheServerConfig config = server.Config(root);
    config.idleTimeoutMs = 4000;
    config.headerTimeoutMs = 400;
    ASSERT_TRUE(server.Launch(config));
    const int port = server.ListeningPort();

    // Silent after the accept: the header's limit, not the idle one.
    TestClient silent(port);
    auto t0 = Clock::now();
    EXPECT_TRUE(silent.PeerClosed(3000));
    EXPECT_LT(MillisecondsSince(t0), 3000);

    // Between requests the idle limit holds: still open well past the header's.
    TestClient kept(port);
    kept.Send("GET /k HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n");
    EXPECT_EQ(Body(kept.ReceiveResponse()), "k");
    EXPECT_FALSE(kept.PeerClosed(1200));
    kept.Send("GET /k HTTP/1.0\r\n\r\n");
    EXPECT_EQ(Body(kept.ReceiveResponse()), "k");
}

TEST(CacheStreaming, ReadersThatStallOrTrickleAreCutOff)
{
    const std::string root = FreshFolder("reader");
    const std::string big(4 << 20, 'b');
    WriteFileText(root + Md5Hex("/big", 4), big);
    const struct {
        const char* name;
        int stallMs;
        int windowMs;
        int minRate;
        int pauseMs; // between reads of 1 KiB; 0 reads at full speed
        bool cut;
    } cases[] = {
        {"no progress", 500, 60000, 1, 1500, true},
        {"below the rate", 60000, 500, 1 << 20, 100, true},
        {"a reader at full speed", 500, 500, 1 << 20, 0, false},
    };
    for (const auto& c : cases) {
        TestHttpServer server;
        CacheServerConfig config = server.Config(root);
        config.sendStallTimeoutMs = c.stallMs;
        config.sendRateWindowMs = c.windowMs;
        config.minSendBytesPerSecond = c.minRate;
        ASSERT_TRUE(server.Launch(config)) << c.name;
        TestClient client(server.ListeningPort());
        // A small window makes the server wait for a slow reader soon.
        if (c.pauseMs > 0)
            client.SetReceiveBuffer(4096);
        client.Send("GET /big HTTP/1.0\r\n\r\n");
        if (c.pauseMs == 0) {
            EXPECT_EQ(Body(client.ReceiveResponse(10000)).size(), big.size()) << c.name;
            continue;
        }
        // The system's buffers hide a close from the reader: the server's
        // own count tells whether the connection gave up its thread.
        ReadSlowly(client, c.pauseMs, 1500);
        EXPECT_EQ(ConnectionsEndWithin(server, 2000), c.cut) << c.name;
    }
}


TEST(CacheStreaming, StopDuringAFetchThatNeverEndsIsBounded)
{
    auto gate = std::make_shared<Gate>();
    TestHttpServer server;
    server.SetStreamingCdn([gate](const std::string&, ICdnReceiver& receiver) {
        receiver.OnHead(200, "OK", 2);
        receiver.OnBody("x", 1);
        gate->Wait(receiver, true); // deaf to KeepGoing, like a read that never returns
        return CdnFetchResult::kFailed;
    });
    const std::string root = FreshFolder("stuck");
    ASSERT_TRUE(server.LaunchIn(root));
    const auto temporaries = [&root] {
        int n = 0;
        SrvListFolder(root, [&n](const std::string& name, long long) { n += IsTemporaryFileName(name) ? 1 : 0; });
        return n;
    };
    TestClient client(server.ListeningPort());
    client.Send("GET /stuck HTTP/1.0\r\n\r\n");
    std::string got;
    while (Body(got).empty()) {
        const std::string more = client.Receive(1, 2000);
        ASSERT_FALSE(more.empty());
        got += more;
    }

    EXPECT_EQ(temporaries(), 1);

    const auto t0 = Clock::now();
    server.Stop();
    EXPECT_LT(MillisecondsSince(t0), 2000);
    EXPECT_EQ(server.RunningFetches(), 1); // left behind, not waited for
    EXPECT_EQ(temporaries(), 0);           // and its file with it
    EXPECT_TRUE(client.PeerClosed(1000));
    gate->Open();
}

TEST(CacheStreaming, TemporaryFilesAreNeverServedAndLeftOnesAreSwept)
{
    const std::string root = FreshFolder("temporary");
    // A process id that runs (this one's parent) and one that cannot.
    const std::string running = std::to_string(getppid());
    const struct {
        std::string name;
        bool old;
        bool kept;
    } files[] = {
        {Md5Hex("/t", 2) + ".4242-0.part", true, false},
        {Md5Hex("/u", 2) + "." + running + "-0.part", false, true},
        {Md5Hex("/v", 2) + "." + running + "-1.part", true, false},
        {Md5Hex("/w", 2) + ".4294967294-0.part", false, false},
        {Md5Hex("/x", 2) + ".part3", false, true},
    };
    const utimbuf tenMinutesAgo = {time(nullptr) - 600, time(nullptr) - 600};
    for (const auto& f : files) {
        WriteFileText(root + f.name, "left by another process");
        if (f.old) {
            ASSERT_EQ(utime((root + f.name).c_str(), &tenMinutesAgo), 0);
        }
    }

    TestHttpServer server([](const std::string&, COutBuf* body) {
        body->Write("from the CDN", 12);
        return 0;
    });
    ASSERT_TRUE(server.LaunchIn(root));
    server.Stop();
    for (const auto& f : files)
        EXPECT_EQ(Exists(root + f.name), f.kept) << f.name;
    EXPECT_EQ(BodyOf(server, "/u"), "from the CDN");
    EXPECT_EQ(server.Fetches(), 1);
}

// Misses waiting for the CDN hold no thread: with more of them than there
// are serving threads, a hit is still answered, and each miss gets its
// answer once the CDN gives it.
TEST(CacheStreaming, MissesWaitingForTheCdnHoldNoThread)
{
    TestHttpServer server;
    auto gate = std::make_shared<Gate>();
    server.SetStreamingCdn([gate](const std::string&, ICdnReceiver& receiver) {
        if (!gate->Wait(receiver) || !receiver.OnHead(200, "OK", 4) || !receiver.OnBody("miss", 4))
            return CdnFetchResult::kFailed;
        return CdnFetchResult::kComplete;
    });
    ASSERT_TRUE(server.LaunchIn(FreshFolder("waiting-misses")));
    WriteFileText(server.CacheFileFor("/hit"), "hit");
    std::vector<std::unique_ptr<TestClient>> misses;
    for (size_t i = 0; i < kMaxServingThreads + 8; ++i) {
        misses.push_back(std::make_unique<TestClient>(server.ListeningPort()));
        ASSERT_TRUE(misses.back()->Send("GET /m" + std::to_string(i) + " HTTP/1.0\r\n\r\n"));
    }
    TestClient hit(server.ListeningPort());
    ASSERT_TRUE(hit.Send("GET /hit HTTP/1.0\r\n\r\n"));
    EXPECT_EQ(Body(hit.ReceiveResponse(3000)), "hit");
    gate->Open();
    for (auto& miss : misses)
        EXPECT_EQ(Body(miss->ReceiveResponse(5000)), "miss");
}
