#include "cacheserver/tests/test_server.h"

#include "base/core/md5.h"
#include "cacheserver/core/request_rules.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>

namespace {

struct Response {
    bool handled = false;
    std::string text;
};

Response Handle(CHTTPServer& server, const std::string& request, int* keepAlive)
{
    Response r;
    r.handled = CollectResponse(server, request, keepAlive, &r.text);
    return r;
}

std::string HeaderField(const std::string& response, const std::string& name)
{
    const std::string key = "\r\n" + name + ": ";
    const size_t at = response.find(key);
    if (at == std::string::npos)
        return "<none>";
    const size_t end = response.find("\r\n", at + key.size());
    return response.substr(at + key.size(), end - at - key.size());
}

class HttpHandling : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_root = FreshFolder("handling");
        ASSERT_TRUE(m_server.LaunchIn(m_root));
        m_server.Stop(); // only the request handling is exercised here
    }
    void Store(const std::string& path, const std::string& bytes)
    {
        WriteFileText(m_root + Md5Hex(path.data(), path.size()), bytes);
    }
    std::string m_root;
    TestHttpServer m_server;
};

} // namespace

TEST(HttpComplete, EndsAtTheFirstBlankLineWithOrWithoutCarriageReturns)
{
    TestHttpServer server;
    const struct {
        const char* received;
        bool complete;
        size_t length;
    } cases[] = {
        {"", false, 0},
        {"\r\n\r", false, 0},
        {"\r\n\r\n", true, 4},
        {"GET / HTTP/1.0\r\nHost: x\r\n\r\n", true, 27},
        // Pipelined: the first request is whole, whatever follows it.
        {"GET / HTTP/1.0\r\n\r\nGET /b HTTP/1.0\r\n\r\n", true, 18},
        {"GET / HTTP/1.0\n\n", true, 16},
        {"GET / HTTP/1.0\nHost: x\n\nGET /b", true, 24},
        {"GET / HTTP/1.0\r\nHost: x\n\r\n", true, 26},
    };
    for (const auto& c : cases) {
        size_t length = 0;
        EXPECT_EQ(server.IsComplete(c.received, &length), c.complete) << c.received;
        if (c.complete) {
            EXPECT_EQ(length, c.length) << c.received;
        }
    }
}

TEST(HttpMime, TableHas75EntriesWithTheLaterValuesWinning)
{
    TestHttpServer server;
    const auto& types = server.MimeTypes();
    EXPECT_EQ(types.size(), 75u);
    EXPECT_EQ(types.at("arj"), "application/x-compressed");
    EXPECT_EQ(types.at("rtf"), "text/richtext");
    EXPECT_EQ(types.at("xml"), "text/xml; charset=UTF-8");
    EXPECT_EQ(types.at("res"), "text/plain; charset=utf-8");
    EXPECT_EQ(types.at("wcgi"), "wwwserver/isapi");
    EXPECT_EQ(types.at("mpe"), "video/mpeg");
}

TEST(HttpMime, ExtensionRunsFromTheLastDotAndIgnoresCase)
{
    TestHttpServer server;
    EXPECT_EQ(server.ContentTypeFor("/wz_cdn/ui/MAIN.SWF"), "application/x-shockwave-flash");
    EXPECT_EQ(server.ContentTypeFor("/wz_cdn/a.png"), "image/png");
    EXPECT_EQ(server.ContentTypeFor("/wz_cdn/a.png?v=12"), "image/png");
    EXPECT_EQ(server.ContentTypeFor("/wz_cdn/style.css?v=3.txt"), "text/css");
    EXPECT_EQ(server.ContentTypeFor("/wz_cdn/1.0.3/readme"), "text/html");
    EXPECT_EQ(server.ContentTypeFor("/"), "text/html");
    EXPECT_EQ(server.ContentTypeFor("/a."), "text/html");
}

TEST(HttpDateText, EnglishNamesInUtc)
{
    EXPECT_EQ(HttpDate(0), "Thu, 01 Jan 1970 00:00:00 GMT");
    EXPECT_EQ(HttpDate(951782400), "Tue, 29 Feb 2000 00:00:00 GMT");
    EXPECT_EQ(HttpDate(1700000000), "Tue, 14 Nov 2023 22:13:20 GMT");
}

TEST_F(HttpHandling, HitHasTheFixedHeaderAndTheFileAsBody)
{
    Store("/wz_cdn/a.js", "alert(1)");
    int keepAlive = 0;
    const Response r = Handle(m_server, "GET /wz_cdn/a.js HTTP/1.1\r\nHost: localhost\r\n\r\n", &keepAlive);
    ASSERT_TRUE(r.handled);
    const std::regex header(
        "HTTP/1\\.0 200 OK\r\nDate: (Mon|Tue|Wed|Thu|Fri|Sat|Sun), \\d\\d "
        "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \\d{4} \\d\\d:\\d\\d:\\d\\d GMT\r\n"
        "Server: TarnwellWebServer/0\\.1b\r\nAccept-Ranges: bytes\r\nContent-Length: 8\r\n"
        "Connection: close\r\nContent-Type: application/x-javascript\r\nCache-Control: no-cache\r\n\r\n"
        "alert\\(1\\)");
    EXPECT_TRUE(std::regex_match(r.text, header)) << r.text;
    EXPECT_EQ(keepAlive, 0);
    EXPECT_EQ(m_server.Fetches(), 0);
}

TEST_F(HttpHandling, KeepAliveForTheTokenInAnyCaseAndItStaysOn)
{
    Store("/x", "1");
    const struct {
        const char* header;
        int keepAlive;
    } cases[] = {
        {"Connection: Keep-Alive", 1}, // the embedded browser
        {"connection: keep-alive", 1},
        {"CONNECTION:\t KEEP-ALIVE \t", 1},
        {"Connection: Upgrade, keep-alive", 1},
        {"Connection: close", 0},
        {"Connection: keep-alived", 0},
        {"X-Connection: keep-alive", 0},
    };
    for (const auto& c : cases) {
        int keepAlive = 0;
        const Response r = Handle(m_server, std::string("GET /x HTTP/1.1\r\n") + c.header + "\r\n\r\n", &keepAlive);
        EXPECT_EQ(keepAlive, c.keepAlive) << c.header;
        EXPECT_EQ(HeaderField(r.text, "Connection"), c.keepAlive ? "Keep-Alive" : "close") << c.header;
    }
    // Once on, a request without the token leaves it on.
    int keepAlive = 1;
    const Response r = Handle(m_server, "GET /x HTTP/1.1\r\nConnection: close\r\n\r\n", &keepAlive);
    EXPECT_EQ(keepAlive, 1);
    EXPECT_EQ(HeaderField(r.text, "Connection"), "Keep-Alive");
}

TEST_F(HttpHandling, HeadsReadableTwoWaysAreRefusedAndEndTheConnection)
{
    Store("/x", "1");
    const struct {
        const char* request;
        const char* status;
    } cases[] = {
        {"GET /x HTTP/1.1\r\nContent-Length : 38\r\n\r\n", "400 Bad Request"},
        {"GET /x HTTP/1.1\r\nX-A: b\r\n c\r\n\r\n", "400 Bad Request"},
        {"GET /x HTTP/1.1\r\nX-A: b\r\n\tc\r\n\r\n", "400 Bad Request"},
        {"GET /x HTTP/1.1\r\nno colon\r\n\r\n", "400 Bad Request"},
        {"GET /x HTTP/1.1\r\nX-A: b\rContent-Length: 5\r\n\r\n", "400 Bad Request"},
        {"POST /x HTTP/1.1\r\nContent-Length : 3\r\n\r\n", "400 Bad Request"},
        {"GET /x HTTP/1.1\r\nHost: a:1\r\nX-Empty:\r\n\r\n", "200 OK"},
        {"GET /x HTTP/1.0\nHost: a\n\n", "200 OK"},
    };
    for (const auto& c : cases) {
        int keepAlive = 1;
        const Response r = Handle(m_server, c.request, &keepAlive);
        EXPECT_EQ(r.text.substr(9, r.text.find("\r\n") - 9), c.status) << c.request;
        EXPECT_EQ(keepAlive, c.status[0] == '4' ? 0 : 1) << c.request;
    }
    EXPECT_EQ(m_server.Fetches(), 0);
}

TEST_F(HttpHandling, OtherMethodsGetNotImplementedWithTheMnaPage)
{
    Store("/mna.html", "<p>no</p>");
    int keepAlive = 0;
    for (const char* request : {"POST /wz_cdn/a.png HTTP/1.0\r\n\r\n", "get /wz_cdn/a.png HTTP/1.0\r\n\r\n",
                                "GETX /a HTTP/1.0\r\n\r\n"}) {
        const Response r = Handle(m_server, request, &keepAlive);
        ASSERT_TRUE(r.handled);
        EXPECT_EQ(r.text.compare(0, 29, "HTTP/1.0 501 Not Implemented\r"), 0) << r.text;
        EXPECT_EQ(HeaderField(r.text, "Content-Type"), "text/html");
        EXPECT_EQ(HeaderField(r.text, "Content-Length"), "9");
        EXPECT_EQ(r.text.substr(r.text.size() - 9), "<p>no</p>");
    }
}

TEST_F(HttpHandling, RequestWithoutSpaceIsRefusedUnanswered)
{
    int keepAlive = 0;
    const Response r = Handle(m_server, "GARBAGE\r\n\r\n", &keepAlive);
    EXPECT_FALSE(r.handled);
    EXPECT_TRUE(r.text.empty());
}

TEST_F(HttpHandling, FailedFetchGives502WithEmptyBodyAndStoresNothing)
{
    int keepAlive = 0;
    const Response r = Handle(m_server, "GET /wz_cdn/missing.png HTTP/1.0\r\n\r\n", &keepAlive);
    EXPECT_EQ(r.text.compare(0, 26, "HTTP/1.0 502 Bad Gateway\r\n"), 0) << r.text;
    EXPECT_EQ(HeaderField(r.text, "Content-Length"), "0");
    EXPECT_EQ(HeaderField(r.text, "Content-Type"), "image/png");
    EXPECT_EQ(m_server.Fetches(), 1);
    EXPECT_FALSE(std::ifstream(m_server.CacheFileFor("/wz_cdn/missing.png")).good());
}

TEST_F(HttpHandling, PathsWithControlCharactersOrBlanksNeverReachTheCdn)
{
    int keepAlive = 0;
    // No second space: the "path" runs to the end, header lines included.
    Response r = Handle(m_server, "GET /wz_cdn/a.png\r\nHost: evil\r\n\r\n", &keepAlive);
    EXPECT_TRUE(r.handled);
    EXPECT_EQ(r.text.compare(0, 26, "HTTP/1.0 400 Bad Request\r\n"), 0) << r.text;
    EXPECT_EQ(HeaderField(r.text, "Content-Length"), "0");
    r = Handle(m_server, "GET /a\tb HTTP/1.0\r\n\r\n", &keepAlive);
    EXPECT_EQ(HeaderField(r.text, "Content-Length"), "0");
    r = Handle(m_server, "GET /a\x7f HTTP/1.0\r\n\r\n", &keepAlive);
    EXPECT_EQ(m_server.Fetches(), 0);
    // An ordinary path with a query string and escapes does go out.
    Handle(m_server, "GET /wz_cdn/a%20b.png?v=1 HTTP/1.0\r\n\r\n", &keepAlive);
    ASSERT_EQ(m_server.Fetches(), 1);
}

TEST_F(HttpHandling, ZeroLengthCachedFileIsAHit)
{
    Store("/wz_cdn/empty.txt", "");
    int keepAlive = 0;
    const Response r = Handle(m_server, "GET /wz_cdn/empty.txt HTTP/1.0\r\n\r\n", &keepAlive);
    EXPECT_EQ(HeaderField(r.text, "Content-Length"), "0");
    EXPECT_EQ(HeaderField(r.text, "Content-Type"), "text/plain");
    EXPECT_EQ(m_server.Fetches(), 0);
}

TEST(HttpTargets, DecodedOnceAndRefusedWhenAnyReaderCouldTakeThemForAnotherPath)
{
    const std::string longest = "/" + std::string(kMaxRequestTargetLength - 1, 'a');
    const struct {
        std::string target;
        TargetVerdict verdict;
        std::string cdnPath; // for an accepted target
    } cases[] = {
        {"/wz_cdn/ui/a.png?v=1", TargetVerdict::kAccepted, "/wz_cdn/ui/a.png?v=1"},
        {"/wz_cdn/a%20b.png", TargetVerdict::kAccepted, "/wz_cdn/a%20b.png"},
        {"/a/.../..b/%2e%2e%2e", TargetVerdict::kAccepted, "/a/.../..b/%2e%2e%2e"},
        {"/a?x=..&y=1.0", TargetVerdict::kAccepted, "/a?x=..&y=1.0"},
        {"/%252e%252e/x", TargetVerdict::kAccepted, "/%252e%252e/x"}, // decoded once: "%2e%2e"
        {"/\xc3\xa9t\xe9.png", TargetVerdict::kAccepted, "/%C3%A9t%E9.png"},
        {"/", TargetVerdict::kAccepted, "/"},
        {longest, TargetVerdict::kAccepted, longest},
        {longest + "a", TargetVerdict::kTooLong, ""},
        {"/" + std::string(18000, '/'), TargetVerdict::kTooLong, ""},
        // Dot segments, however written.
        {"/wz_cdn/../x", TargetVerdict::kBad, ""},
        {"/./x", TargetVerdict::kBad, ""},
        {"/a/%2e%2e/x", TargetVerdict::kBad, ""},
        {"/a/..?v=1", TargetVerdict::kBad, ""},
        {"/a/x?p=/../y", TargetVerdict::kBad, ""},
        {"/a/x?..", TargetVerdict::kBad, ""},
        {"/a/..;v=1/x", TargetVerdict::kBad, ""},
        {"/a/..%3fx", TargetVerdict::kBad, ""},
        // Separators another reader would see.
        {"/..%2fsecret.txt", TargetVerdict::kBad, ""},
        {"/%2e%2e%2fsecret.txt", TargetVerdict::kBad, ""},
        {"/a%5cb", TargetVerdict::kBad, ""},
        {"/a\\..\\..\\x", TargetVerdict::kBad, ""},
        {"/x/..#", TargetVerdict::kBad, ""},
        {"/x%23y", TargetVerdict::kBad, ""},
        // Not a path, or escapes that cannot be decoded.
        {"", TargetVerdict::kBad, ""},
        {"*", TargetVerdict::kBad, ""},
        {"http://cdn.test/x", TargetVerdict::kBad, ""},
        {"/a%2", TargetVerdict::kBad, ""},
        {"/a\tb", TargetVerdict::kBad, ""},
    };
    for (const auto& c : cases) {
        std::string cdnPath = "unset";
        EXPECT_EQ(CheckRequestTarget(c.target, &cdnPath), c.verdict) << c.target;
        if (c.verdict == TargetVerdict::kAccepted) {
            EXPECT_EQ(cdnPath, c.cdnPath) << c.target;
        }
    }
}
