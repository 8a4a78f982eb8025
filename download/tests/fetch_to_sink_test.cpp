// FetchToSink natively against the test origin (tests/origin/origin.py).
#include "base/core/out_buf.h"
#include "download/core/download_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

class FetchToSinkTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = std::string(::testing::TempDir()) + "kestrun_fetch_" + std::to_string(getpid());
        std::system(("rm -rf '" + s_dir + "' && mkdir -p '" + s_dir + "/www'").c_str());
        std::ofstream(s_dir + "/www/ok.bin", std::ios::binary) << std::string(40000, 'k');
        std::ofstream(s_dir + "/www/nolen.bin", std::ios::binary) << "abc";
        std::ofstream(s_dir + "/www/short.bin", std::ios::binary) << std::string(40000, 's');
        std::ofstream(s_dir + "/www/stall.bin", std::ios::binary) << std::string(40000, 'w');
        const std::string origin = std::string(KESTRUN_SOURCE_DIR) + "/tests/origin/origin.py";
        s_pid = fork();
        if (s_pid == 0) {
            execl("/usr/bin/python3", "python3", origin.c_str(), "--root", (s_dir + "/www").c_str(), "--port-file",
                  (s_dir + "/port").c_str(), "--log", (s_dir + "/log").c_str(), "--no-length", "nolen", "--short",
                  "short", "--stall", "stall", "--lifetime", "120", "--log-peer", "--keep-alive", "reuse", static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 200 && s_port.empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
            std::ifstream(s_dir + "/port") >> s_port;
        }
    }
    static void TearDownTestSuite()
    {
        if (s_pid > 0) {
            kill(s_pid, SIGTERM);
            waitpid(s_pid, nullptr, 0);
        }
    }
    std::string Url(const char* path) { return "http://127.0.0.1:" + s_port + path; }

    static std::string s_dir;
    static std::string s_port;
    static pid_t s_pid;
};

std::string FetchToSinkTest::s_dir;
std::string FetchToSinkTest::s_port;
pid_t FetchToSinkTest::s_pid = -1;

} // namespace

TEST_F(FetchToSinkTest, StatusFollowsContentLengthNotTheHttpStatus)
{
    ASSERT_FALSE(s_port.empty());
    COutBuf body;
    EXPECT_EQ(FetchToSink(Url("/ok.bin").c_str(), "ignored", &body), kFetchOk);
    EXPECT_EQ(body.GetLength(), 40000);

    COutBuf notFound; // a 404 page with a length is content
    EXPECT_EQ(FetchToSink(Url("/absent").c_str(), nullptr, &notFound), kFetchOk);
    EXPECT_EQ(std::string(notFound.GetData(), notFound.GetLength()), "not found");

    COutBuf chunked;
    EXPECT_EQ(FetchToSink(Url("/nolen.bin").c_str(), nullptr, &chunked), kFetchCannotOpen);
    EXPECT_EQ(chunked.GetLength(), 0);

    COutBuf half;
    EXPECT_EQ(FetchToSink(Url("/short.bin").c_str(), nullptr, &half), kFetchIncomplete);
    EXPECT_EQ(half.GetLength(), 20000);

    COutBuf refused;
    EXPECT_EQ(FetchToSink("http://127.0.0.1:9/x", nullptr, &refused), kFetchCannotOpen);
    EXPECT_EQ(FetchToSink(Url("/ok.bin").c_str(), nullptr, nullptr), kFetchOk);

    std::ifstream log(s_dir + "/log");
    std::string method, target, agent;
    log >> method >> target >> agent;
    EXPECT_EQ(target, "/ok.bin");
    EXPECT_EQ(agent.compare(0, 5, "Agent"), 0);
}

namespace {

// Records what a stream reports; gives up once told to.
struct Recorder : IFetchReceiver {
    bool OnHead(int s, const std::string& r, long long length) override
    {
        ++heads;
        status = s;
        reason = r;
        announced = length;
        return true;
    }
    bool OnBody(const char* bytes, size_t length) override
    {
        if (heads != 1)
            bodyBeforeHead = true;
        body.append(bytes, length);
        return true;
    }
    bool KeepGoing() override { return std::chrono::steady_clock::now() < giveUpAt; }

    int heads = 0;
    int status = 0;
    std::string reason;
    long long announced = 0;
    std::string body;
    bool bodyBeforeHead = false;
    std::chrono::steady_clock::time_point giveUpAt = std::chrono::steady_clock::now() + std::chrono::seconds(20);
};

} // namespace

TEST_F(FetchToSinkTest, StreamReportsTheHeadBeforeTheBodyAndEndsWhenToldTo)
{
    ASSERT_FALSE(s_port.empty());
    Recorder notFound;
    EXPECT_EQ(FetchStream(Url("/absent").c_str(), notFound), kFetchOk);
    EXPECT_EQ(notFound.heads, 1);
    EXPECT_EQ(notFound.status, 404);
    EXPECT_EQ(notFound.reason, "Not Found");
    EXPECT_EQ(notFound.announced, 9);
    EXPECT_EQ(notFound.body, "not found");
    EXPECT_FALSE(notFound.bodyBeforeHead);

    Recorder chunked;
    EXPECT_EQ(FetchStream(Url("/nolen.bin").c_str(), chunked), kFetchOk);
    EXPECT_EQ(chunked.status, 200);
    EXPECT_EQ(chunked.announced, -1);
    EXPECT_EQ(chunked.body, "abc");

    Recorder half;
    EXPECT_EQ(FetchStream(Url("/short.bin").c_str(), half), kFetchIncomplete);
    EXPECT_EQ(half.announced, 40000);
    EXPECT_EQ(half.body.size(), 20000u);

    Recorder refused;
    EXPECT_EQ(FetchStream("http://127.0.0.1:9/x", refused), kFetchCannotOpen);
    EXPECT_EQ(refused.heads, 0);

    // A stalled body ends soon after the receiver loses interest.
    Recorder stalled;
    stalled.giveUpAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(FetchStream(Url("/stall.bin").c_str(), stalled), kFetchStopped);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(2500));
    EXPECT_EQ(stalled.body.size(), 20000u);
}

TEST_F(FetchToSinkTest, WholeFetchesLeaveTheirConnectionForTheNext)
{
    ASSERT_FALSE(s_port.empty());
    for (int i = 0; i < 2; ++i) {
        Recorder whole;
        EXPECT_EQ(FetchStream(Url(i == 0 ? "/ok.bin?reuse=1" : "/ok.bin?reuse=2").c_str(), whole), kFetchOk);
        EXPECT_EQ(whole.body.size(), 40000u);
    }
    // The log line ends with the client's port: one connection served both.
    std::ifstream log(s_dir + "/log");
    std::string line;
    std::string ports[2];
    while (std::getline(log, line))
        for (int i = 0; i < 2; ++i)
            if (line.find(i == 0 ? "reuse=1 " : "reuse=2 ") != std::string::npos)
                ports[i] = line.substr(line.rfind(' ') + 1);
    EXPECT_FALSE(ports[0].empty());
    EXPECT_EQ(ports[0], ports[1]);
}
