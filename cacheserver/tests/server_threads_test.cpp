// The server's threads keep their promises: a wake-up that comes before the
// wait is not lost, a peer that leaves while its answer is made frees its
// slot, and a mixed load ends with every connection closed.
#include "cacheserver/tests/test_server.h"

#include "cacheserver/core/generic_server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const char kOk[] = "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok";

// A server whose every answer comes from the test.
class ScriptedServer : public CGenericServer {
public:
    using Make = std::function<std::unique_ptr<CResponse>(const std::string& request)>;
    explicit ScriptedServer(Make make) : m_make(std::move(make)) {}
    ~ScriptedServer() override { Stop(); }
    int OnConnect(const char*, unsigned short) override { return 0; }
    int OnSent(int) override { return 0; }
    bool IsComplete(const std::string& received, size_t* length) override
    {
        const size_t end = received.find("\r\n\r\n");
        if (end != std::string::npos && length)
            *length = end + 4;
        return end != std::string::npos;
    }
    std::unique_ptr<CResponse> HandleRequest(const std::string& request, int* keepAlive) override
    {
        *keepAlive = 0;
        return m_make(request);
    }

private:
    Make m_make;
};

// Wakes itself just before it first answers kWait, as a fetch may that
// has more at that very moment; then answers whole.
class WakesBeforeWaiting : public CResponse {
public:
    bool SetWakeUp(std::function<void()> wake) override
    {
        m_wake = std::move(wake);
        return true;
    }
    Next NextPiece(int, Piece* piece) override
    {
        switch (m_calls++) {
        case 0:
            m_wake();
            return Next::kWait;
        case 1:
            piece->bytes = kOk;
            piece->length = static_cast<int>(sizeof kOk - 1);
            return Next::kBytes;
        default:
            return Next::kEnd;
        }
    }

private:
    std::function<void()> m_wake;
    int m_calls = 0;
};

// Never has anything: an answer that waits for good. Counts its ends.
class WaitsForGood : public CResponse {
public:
    explicit WaitsForGood(std::atomic<int>* made, std::atomic<int>* ended) : m_ended(ended) { ++*made; }
    ~WaitsForGood() override { ++*m_ended; }
    bool SetWakeUp(std::function<void()>) override { return true; }
    Next NextPiece(int, Piece*) override { return Next::kWait; }

private:
    std::atomic<int>* m_ended;
};

// Sends kBodyBytes, then waits for good: a miss whose reader was measured
// while the first part of its body went out.
constexpr int kBodyBytes = 8 << 20;
class SendsThenWaits : public CResponse {
public:
    bool SetWakeUp(std::function<void()>) override { return true; }
    Next NextPiece(int maxBytes, Piece* piece) override
    {
        if (m_sent == kBodyBytes)
            return Next::kWait;
        static const std::string bytes(kSendAreaBytes, 'x');
        piece->bytes = bytes.data();
        piece->length = std::min({maxBytes, kSendAreaBytes, kBodyBytes - m_sent});
        m_sent += piece->length;
        return Next::kBytes;
    }

private:
    int m_sent = 0;
};

bool WaitFor(const std::function<bool()>& done, int timeoutMs)
{
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Clock::now() >= until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace

// The wake-up arrives before the serving thread has handed the connection
// to the watch thread: the answer must not wait for the next recheck.
TEST(ServerThreads, AWakeUpBeforeTheWaitIsNotLost)
{
    ScriptedServer server([](const std::string&) { return std::make_unique<WakesBeforeWaiting>(); });
    ASSERT_TRUE(server.Start(0));
    for (int i = 0; i < 10; ++i) {
        TestClient client(server.Port());
        const Clock::time_point t0 = Clock::now();
        ASSERT_TRUE(client.Send("GET / HTTP/1.0\r\n\r\n"));
        EXPECT_EQ(client.ReceiveResponse(3000), kOk);
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
        EXPECT_LT(ms, kResponseRecheckMs / 2) << "request " << i;
    }
}

// However the peer leaves while its answer is being made, its slot is
// free at once for the next, and the answer is let go.
TEST(ServerThreads, APeerThatLeavesWhileItsAnswerIsMadeFreesItsSlot)
{
    using Leaving = TestClient::Leaving;
    const struct {
        const char* name;
        Leaving how;
    } cases[] = {
        {"close", Leaving::kClose},
        {"reset", Leaving::kReset},
        {"shut down its sending side", Leaving::kShutDownSending},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        std::atomic<int> made{0}, ended{0};
        ScriptedServer server([&](const std::string&) { return std::make_unique<WaitsForGood>(&made, &ended); });
        ServerLimits limits;
        limits.maxConnections = 4;
        server.SetLimits(limits);
        ASSERT_TRUE(server.Start(0));
        std::vector<std::unique_ptr<TestClient>> peers;
        for (int i = 0; i < limits.maxConnections; ++i) {
            peers.push_back(std::make_unique<TestClient>(server.Port()));
            ASSERT_TRUE(peers.back()->Send("GET / HTTP/1.1\r\n\r\n"));
        }
        ASSERT_TRUE(WaitFor([&] { return made.load() == limits.maxConnections; }, 3000));
        for (auto& peer : peers)
            peer->Leave(row.how);
        // Far sooner than any time limit the server has.
        EXPECT_TRUE(WaitFor([&] { return server.ConnectionCount() == 0; }, 2000)) << server.ConnectionCount();
        EXPECT_TRUE(WaitFor([&] { return ended.load() == limits.maxConnections; }, 2000)) << ended.load();
    }
}

// A reader measured as slow while its answer went out, whose answer then
// waits to be made, is not the slowest reader any more: at the cap it
// stays, and the newcomer is turned away.
TEST(ServerThreads, AReaderWaitingForItsAnswerIsNotDisplacedForItsOldRate)
{
    std::atomic<int> made{0}, ended{0};
    ScriptedServer server([&](const std::string& request) -> std::unique_ptr<CResponse> {
        if (request.compare(0, 6, "GET /a") == 0)
            return std::make_unique<SendsThenWaits>();
        return std::make_unique<WaitsForGood>(&made, &ended);
    });
    ServerLimits limits;
    limits.maxConnections = 2;
    server.SetLimits(limits);
    ASSERT_TRUE(server.Start(0));
    TestClient reader(server.Port(), 4096);
    ASSERT_TRUE(reader.Send("GET /a HTTP/1.1\r\n\r\n"));
    TestClient other(server.Port());
    ASSERT_TRUE(other.Send("GET /b HTTP/1.1\r\n\r\n"));
    // Past one span of the reader's recent rate: it is measured, near 0.
    std::this_thread::sleep_for(std::chrono::milliseconds(kRecentRateSpanMs + 300));
    ASSERT_EQ(made.load(), 1);
    ASSERT_EQ(reader.Receive(kBodyBytes, 10000).size(), static_cast<size_t>(kBodyBytes));
    // Time for its answer to find nothing more to send.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    TestClient newcomer(server.Port());
    EXPECT_TRUE(newcomer.PeerClosed(2000));
    EXPECT_FALSE(reader.PeerClosed(200));
    EXPECT_FALSE(other.PeerClosed(100));
}

// Fixed-seed mix of hits, trickled misses, peers that leave at once and
// slow readers: every answer that is read is whole, and the stop ends
// with no connection and no fetch left.
TEST(ServerThreads, AMixedLoadEndsWithEveryConnectionClosed)
{
    const std::string trickled = "trickled body";
    TestHttpServer server;
    server.SetStreamingCdn([&](const std::string&, ICdnReceiver& receiver) {
        if (!receiver.OnHead(200, "OK", static_cast<long long>(trickled.size())))
            return CdnFetchResult::kFailed;
        for (char c : trickled) {
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
            if (!receiver.OnBody(&c, 1))
                return CdnFetchResult::kFailed;
        }
        return CdnFetchResult::kComplete;
    });
    ASSERT_TRUE(server.LaunchIn(FreshFolder("thread-mix")));
    const std::string big(512 * 1024, 'b');
    WriteFileText(server.CacheFileFor("/hit"), "hit");
    WriteFileText(server.CacheFileFor("/big"), big);
    const int port = server.ListeningPort();

    enum class Kind { kHit, kMiss, kLeaver, kSlowReader };
    std::mt19937 random(28);
    std::vector<Kind> plan;
    for (int i = 0; i < 80; ++i)
        plan.push_back(static_cast<Kind>(random() % 4));
    std::atomic<int> wrong{0};
    std::vector<std::thread> clients;
    for (size_t i = 0; i < plan.size(); ++i) {
        clients.emplace_back([&, i] {
            switch (plan[i]) {
            case Kind::kHit: {
                TestClient c(port);
                c.Send("GET /hit HTTP/1.0\r\n\r\n");
                if (c.ReceiveResponse(5000).find("\r\n\r\nhit") == std::string::npos)
                    ++wrong;
                break;
            }
            case Kind::kMiss: {
                TestClient c(port);
                c.Send("GET /miss" + std::to_string(i % 7) + " HTTP/1.0\r\n\r\n");
                if (c.ReceiveResponse(5000).find("\r\n\r\n" + trickled) == std::string::npos)
                    ++wrong;
                break;
            }
            case Kind::kLeaver: {
                TestClient c(port);
                c.Send("GET /miss" + std::to_string(i % 7) + " HTTP/1.0\r\n\r\n");
                break;
            }
            case Kind::kSlowReader: {
                TestClient c(port, 4096);
                c.Send("GET /big HTTP/1.0\r\n\r\n");
                for (int k = 0; k < 4; ++k) {
                    c.Receive(1024, 200);
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
                break;
            }
            }
        });
    }
    for (std::thread& t : clients)
        t.join();
    EXPECT_EQ(wrong.load(), 0);
    server.Stop();
    EXPECT_EQ(server.ConnectionCount(), 0u);
    EXPECT_FALSE(server.IsRunning());
}

// A header that arrives in two parts is whole however it was split: the
// scan of the new bytes looks back far enough for the blank line.
TEST(ServerThreads, AHeaderSplitAnywhereIsWholeWhenItsLastPartComes)
{
    TestHttpServer server;
    for (const std::string header : {"GET / HTTP/1.0\r\n\r\n", "GET /\n\n", "GET /\n\r\n"}) {
        for (size_t split = 0; split < header.size(); ++split) {
            size_t length = 0;
            EXPECT_FALSE(server.IsCompleteFrom(header.substr(0, split), 0, nullptr)) << split;
            EXPECT_TRUE(server.IsCompleteFrom(header, split, &length)) << split;
            EXPECT_EQ(length, header.size()) << split;
        }
    }
}
