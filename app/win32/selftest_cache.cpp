// The cache server's lines of the self-test: the real server, its real CDN
// fetch, and the self-test's own origin standing in for the CDN.
#include "app/core/app_globals.h"
#include "app/core/cache_fetch.h"
#include "app/core/relaunch.h"
#include "app/win32/selftest_checks.h"
#include "app/win32/selftest_origin.h"
#include "base/win32/wide_text.h"
#include "cacheserver/core/cache_server_config.h"
#include "cacheserver/core/http_server.h"
#include "cacheserver/win32/server_launch.h"

namespace {

constexpr char kBodyPath[] = "/kestrun_selftest/body.bin";
constexpr unsigned kRequestTimeoutMs = 15000;
// Long enough to cross every buffer of the fetch and the server, with every
// byte value: a body that is cut, stretched or re-encoded shows.
constexpr size_t kBodyBytes = 300 * 1024 + 17;
// A local TLS origin would need a TLS server inside the program, with a
// certificate made and trusted for the run; the program has no server side
// of TLS, and trusting a certificate through the system's store would weaken
// every other program's TLS. A check that can never run would only keep the
// exit code from ever saying "all passed", so https is named, not listed.
constexpr char kHttpOnly[] = " (over http; https is not checked: no local TLS origin)";

std::string KnownBody()
{
    std::string body(kBodyBytes, '\0');
    unsigned long state = 0x2545F491UL;
    for (size_t i = 0; i < body.size(); ++i) {
        state = state * 1103515245UL + 12345UL;
        body[i] = static_cast<char>((state >> 16) & 0xFF);
    }
    return body;
}

bool FileExists(const std::string& path)
{
    return ::GetFileAttributesW(ToWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The server stores a miss while it streams it; the file may land just
// after the answer ends.
bool WaitForFile(const std::string& path, DWORD limitMs)
{
    const DWORD start = ::GetTickCount();
    while (!FileExists(path)) {
        if (::GetTickCount() - start > limitMs)
            return false;
        ::Sleep(20);
    }
    return true;
}

std::string Describe(bool answered, int status, const std::string& body, const std::string& expected)
{
    if (!answered)
        return "no whole answer came";
    if (status != 200)
        return "status " + std::to_string(status);
    if (body.size() != expected.size())
        return std::to_string(body.size()) + " bytes instead of " + std::to_string(expected.size());
    if (body != expected)
        return "the body differs from the origin's";
    return "the body was the origin's";
}

} // namespace

int CheckCacheServer(SelfTestReport& report, SelfTestOrigin& origin, const std::wstring& work)
{
    const std::string body = KnownBody();
    origin.Serve(kBodyPath, "application/octet-stream", body);
    std::wstring folder = JoinPath(work, L"cache");
    CacheServerConfig config;
    config.folder = ToNarrow(folder) + "\\";
    config.firstPort = DrawLocalPort();
    config.drawPort = &DrawLocalPort;
    const std::string base = origin.BaseUrl();
    config.cdnBase = [base] { return base; };
    // The fetch as the program sets it up: the system's authorities only.
    PrepareCacheFetch();
    config.fetch = &FetchForCache;
    if (ToWide(config.folder) != folder + L"\\" || !LaunchCacheServer(config)) {
        report.Fail("cache.miss", "the cache server did not start on a folder of its own");
        report.NotRun("cache.hit", "the cache server did not start");
        return 0;
    }
    const int port = g_httpServer.ListeningPort();

    int status = 0;
    std::string got;
    bool answered = LoopbackGet(port, kBodyPath, kRequestTimeoutMs, &status, &got);
    const int askedAfterMiss = origin.Requests(kBodyPath);
    const bool stored = WaitForFile(g_httpServer.CacheFileFor(kBodyPath), 5000);
    if (answered && status == 200 && got == body && askedAfterMiss == 1 && stored)
        report.Pass("cache.miss", std::to_string(body.size()) + " bytes through port " + std::to_string(port) +
                                      " identical to the origin's; the origin was asked once and the file stored" +
                                      kHttpOnly);
    else
        report.Fail("cache.miss", Describe(answered, status, got, body) + "; the origin was asked " +
                                      std::to_string(askedAfterMiss) + " times" + (stored ? "" : ", nothing stored"));

    answered = LoopbackGet(port, kBodyPath, kRequestTimeoutMs, &status, &got);
    const int askedAfterHit = origin.Requests(kBodyPath);
    if (answered && status == 200 && got == body && askedAfterHit == askedAfterMiss && stored)
        report.Pass("cache.hit",
                    std::to_string(body.size()) + " identical bytes from the stored file; the origin was not asked");
    else
        report.Fail("cache.hit", Describe(answered, status, got, body) + "; the origin was asked " +
                                     std::to_string(askedAfterHit - askedAfterMiss) + " more times");

    return port;
}

void StopSelfTestCacheServer()
{
    g_httpServer.Stop();
}
