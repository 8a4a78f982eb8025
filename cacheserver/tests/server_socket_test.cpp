// The server over real loopback sockets: framing, keep-alive, partial
// sends, the request bound and the orderly stop.
#include "cacheserver/tests/test_server.h"

#include "base/core/md5.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class ServerSockets : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_root = FreshFolder("sockets");
        ASSERT_TRUE(m_server.LaunchIn(m_root, UnusedPort()));
        m_port = m_server.ListeningPort();
    }
    void Store(const std::string& path, const std::string& bytes)
    {
        WriteFileText(m_root + Md5Hex(path.data(), path.size()), bytes);
    }
    std::string m_root;
    int m_port = 0;
    TestHttpServer m_server;
};

// A server over root with room for cap connections: its port, or 0.
int LaunchWithCap(TestHttpServer& server, const std::string& root, int cap)
{
    CacheServerConfig config = server.Config(root);
    config.maxConnections = cap;
    return server.Launch(config) ? server.ListeningPort() : 0;
}

std::string BodyOf(const std::string& response)
{
    const size_t at = response.find("\r\n\r\n");
    return at == std::string::npos ? std::string() : response.substr(at + 4);
}

} // namespace

TEST_F(ServerSockets, RequestInPiecesIsAnsweredOnlyWhenWhole)
{
    Store("/a.txt", "hello");
    TestClient client(m_port);
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(client.Send("GE"));
    EXPECT_EQ(client.Receive(1, 200), "");
    ASSERT_TRUE(client.Send("T /a.txt HTTP/1.0\r\n"));
    EXPECT_EQ(client.Receive(1, 200), "");
    ASSERT_TRUE(client.Send("\r\n"));
    const std::string response = client.ReceiveResponse();
    EXPECT_EQ(BodyOf(response), "hello");
    EXPECT_TRUE(client.PeerClosed()); // no keep-alive asked for
}

TEST_F(ServerSockets, KeepAliveServesSeveralRequestsAndStaysOn)
{
    Store("/1.txt", "one");
    Store("/2.txt", "two");
    TestClient client(m_port);
    ASSERT_TRUE(client.Send("GET /1.txt HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n"));
    EXPECT_EQ(BodyOf(client.ReceiveResponse()), "one");
    ASSERT_TRUE(client.Send("GET /2.txt HTTP/1.0\r\n\r\n"));
    const std::string second = client.ReceiveResponse();
    EXPECT_NE(second.find("Connection: Keep-Alive\r\n"), std::string::npos);
    EXPECT_EQ(BodyOf(second), "two");
    EXPECT_FALSE(client.PeerClosed(200));
}

TEST_F(ServerSockets, LargeResponseToASlowReaderArrivesWhole)
{
    std::string big(24 << 20, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7 + i / 4096);
    Store("/big.bin", big);
    TestClient client(m_port);
    client.SetReceiveBuffer(16384);
    ASSERT_TRUE(client.Send("GET /big.bin HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // let the server's sends block
    const std::string response = client.ReceiveResponse(20000);
    ASSERT_EQ(BodyOf(response).size(), big.size());
    EXPECT_TRUE(BodyOf(response) == big);
    // The connection is still usable after the pending response.
    Store("/small", "s");
    ASSERT_TRUE(client.Send("GET /small HTTP/1.0\r\n\r\n"));
    EXPECT_EQ(BodyOf(client.ReceiveResponse()), "s");
}

// Peers that trickle a header or stop reading hold no thread: with more of
// them than there are serving threads, a new client is still answered at
// once, and every one of them is served in the end.
TEST_F(ServerSockets, SlowPeersHoldNoThread)
{
    Store("/big.bin", std::string(4 << 20, 'b'));
    Store("/small", "s");
    constexpr size_t kEach = kMaxServingThreads + 8;
    std::vector<std::unique_ptr<TestClient>> trickling, stalled;
    for (size_t i = 0; i < kEach; ++i) {
        trickling.push_back(std::make_unique<TestClient>(m_port));
        ASSERT_TRUE(trickling.back()->Send("GET /small HTTP/1.0\r\nX-A: "));
        stalled.push_back(std::make_unique<TestClient>(m_port, 4096));
        ASSERT_TRUE(stalled.back()->Send("GET /big.bin HTTP/1.0\r\n\r\n"));
    }
    // Were the stalled readers holding threads, this one would wait for
    // their 30 s stall limit.
    TestClient fresh(m_port);
    ASSERT_TRUE(fresh.Send("GET /small HTTP/1.0\r\n\r\n"));
    EXPECT_EQ(BodyOf(fresh.ReceiveResponse(2000)), "s");
    EXPECT_LE(m_server.ServingThreadCount(), kMaxServingThreads);
    EXPECT_EQ(m_server.ConnectionCount(), 2 * kEach + 1);

    for (auto& c : trickling) {
        ASSERT_TRUE(c->Send("1\r\n\r\n"));
        EXPECT_EQ(BodyOf(c->ReceiveResponse(2000)), "s");
    }
    for (auto& c : stalled)
        EXPECT_EQ(BodyOf(c->ReceiveResponse(10000)).size(), size_t(4) << 20);
}

TEST_F(ServerSockets, EndlessRequestIsCutOff)
{
    TestClient client(m_port);
    const std::string chunk(8192, 'h');
    bool closed = false;
    for (int i = 0; i < 64 && !closed; ++i) {
        if (!client.Send(chunk))
            closed = true;
        else
            closed = client.PeerClosed(20);
    }
    EXPECT_TRUE(closed || client.PeerClosed(2000));
}

TEST_F(ServerSockets, RefusedRequestClosesWithoutAByte)
{
    TestClient client(m_port);
    ASSERT_TRUE(client.Send("NOSPACE\r\n\r\n"));
    EXPECT_TRUE(client.PeerClosed());
    EXPECT_EQ(client.Receive(1, 100), "");
}

TEST_F(ServerSockets, SecondStartFailsAtOnce)
{
    EXPECT_FALSE(m_server.Start(UnusedPort()));
}

TEST_F(ServerSockets, EndedConnectionsAreReaped)
{
    for (int i = 0; i < 5; ++i) {
        TestClient client(m_port);
        client.Send("GET /none HTTP/1.0\r\n\r\n");
        client.ReceiveResponse();
    }
    const auto until = Clock::now() + std::chrono::seconds(3);
    while (m_server.ConnectionCount() != 0 && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(m_server.ConnectionCount(), 0u);
}

TEST_F(ServerSockets, StopEndsIdleConnectionsAndCanStartAgain)
{
    Store("/k", "k");
    std::vector<std::unique_ptr<TestClient>> idle;
    for (int i = 0; i < 10; ++i) {
        idle.push_back(std::make_unique<TestClient>(m_port));
        idle.back()->Send("GET /k HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n");
        idle.back()->ReceiveResponse();
    }
    TestClient half(m_port);
    half.Send("GET /k HTT");
    const auto t0 = Clock::now();
    m_server.Stop();
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(2));
    EXPECT_FALSE(m_server.IsRunning());
    EXPECT_EQ(m_server.ConnectionCount(), 0u);
    for (auto& c : idle)
        EXPECT_TRUE(c->PeerClosed(1000));
    ASSERT_TRUE(m_server.Start(m_port));
    TestClient again(m_port);
    again.Send("GET /k HTTP/1.0\r\n\r\n");
    EXPECT_EQ(BodyOf(again.ReceiveResponse()), "k");
}

// At the cap a newcomer takes the place of the connection that holds it
// worst: an idle kept one, then a header older than its grace, then the
// slowest reader, and only then a header still within its grace.
TEST(ServerCap, NewcomersDisplaceInOrder)
{
    const std::string root = FreshFolder("cap");
    std::string big(24 << 20, 'b');
    WriteFileText(root + Md5Hex("/big", 4), big);
    WriteFileText(root + Md5Hex("/k", 2), "k");
    TestHttpServer server;
    const int port = LaunchWithCap(server, root, 3);
    ASSERT_NE(port, 0);

    TestClient reader(port);
    reader.SetReceiveBuffer(4096);
    ASSERT_TRUE(reader.Send("GET /big HTTP/1.0\r\n\r\n"));
    TestClient header(port);
    ASSERT_TRUE(header.Send("G"));
    TestClient idle(port);
    ASSERT_TRUE(idle.Send("GET /k HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n"));
    ASSERT_EQ(BodyOf(idle.ReceiveResponse()), "k");
    // Past the header's grace and one span of the reader's recent rate.
    std::this_thread::sleep_for(std::chrono::milliseconds(kRecentRateSpanMs + 300));

    TestClient first(port);
    EXPECT_TRUE(idle.PeerClosed(2000));
    EXPECT_FALSE(header.PeerClosed(100));
    TestClient second(port);
    EXPECT_TRUE(header.PeerClosed(2000));
    EXPECT_FALSE(first.PeerClosed(100));
    // The reader's end reaches it only behind what its window still holds,
    // so its going shows in who stays: both young headers, and the newcomer
    // is served.
    TestClient third(port);
    EXPECT_FALSE(first.PeerClosed(300));
    EXPECT_FALSE(second.PeerClosed(100));
    ASSERT_TRUE(third.Send("GET /k HTTP/1.0\r\n\r\n"));
    EXPECT_EQ(BodyOf(third.ReceiveResponse()), "k");
    TestClient fourth(port);
    EXPECT_TRUE(first.PeerClosed(2000));
    EXPECT_FALSE(second.PeerClosed(100));
    ASSERT_TRUE(fourth.Send("GET /k HTTP/1.0\r\n\r\n"));
    EXPECT_EQ(BodyOf(fourth.ReceiveResponse()), "k");
}

// A reader that has kept its answer waiting makes room even before its
// rate is known, rather than the newcomer being turned away.
TEST(ServerCap, UnmeasuredReaderMakesRoom)
{
    const std::string root = FreshFolder("cap-unmeasured");
    WriteFileText(root + Md5Hex("/big", 4), std::string(8 << 20, 'b'));
    WriteFileText(root + Md5Hex("/k", 2), "k");
    TestHttpServer server;
    const int port = LaunchWithCap(server, root, 1);
    ASSERT_NE(port, 0);

    TestClient reader(port, 4096);
    ASSERT_TRUE(reader.Send("GET /big HTTP/1.0\r\n\r\n"));
    ASSERT_EQ(reader.Receive(1), "H"); // its answer has begun, and soon waits for room
    // Within its first span the reader's rate is not known yet.
    const auto until = Clock::now() + std::chrono::milliseconds(kRecentRateSpanMs * 3 / 4);
    std::string answer;
    while (answer.empty() && Clock::now() < until) {
        TestClient newcomer(port);
        if (newcomer.Send("GET /k HTTP/1.0\r\n\r\n"))
            answer = BodyOf(newcomer.ReceiveResponse(200));
    }
    EXPECT_EQ(answer, "k");
}
