#include "base/core/md5.h"
#include "base/tests_win/canned_origin.h"
#include "download/core/download_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace {

constexpr unsigned long kLimitMs = 20000;
// No rate rule here: a loopback peer either answers at once or not at all.
constexpr DownloadLimits kLimits{1 << 20, {kLimitMs, 0, 0}};

std::wstring TempFile(const wchar_t* name)
{
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + name;
}

std::string ReadFileBytes(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "<missing>";
    std::string bytes(1 << 20, '\0');
    DWORD got = 0;
    ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(file);
    bytes.resize(got);
    return bytes;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

std::string Upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

// Bigger than one read piece, so the loops really loop.
std::string Body()
{
    std::string body;
    for (int i = 0; i < 10000; ++i)
        body += static_cast<char>('a' + i % 26);
    return body;
}

} // namespace

TEST(FetchToMemory, ReadsTheWholeBodyWithTheFixedRequest)
{
    CannedOrigin origin;
    origin.Answer(CannedOrigin::WithLength(Body()));
    std::vector<char> buffer(65536);
    ASSERT_EQ(FetchToMemory(origin.Url(L"/weiduan/ver.txt").c_str(), buffer.data(), buffer.size(), kLimitMs),
              Body().size());
    EXPECT_EQ(std::string(buffer.data(), Body().size()), Body());
    ASSERT_EQ(origin.Requests().size(), 1u);
    const std::string request = origin.Requests()[0];
    EXPECT_EQ(request.rfind("GET /weiduan/ver.txt HTTP/1.1\r\n", 0), 0u) << request;
    EXPECT_NE(request.find("User-Agent: Agent"), std::string::npos) << request;
    EXPECT_NE(request.find("Accept: */*\r\n"), std::string::npos) << request;
    EXPECT_NE(request.find("no-cache"), std::string::npos) << request;
}

TEST(FetchToMemory, AnyAnswerWithALengthIsContentAndOthersFail)
{
    CannedOrigin origin;
    origin.Answer(CannedOrigin::WithLength("not found", "404 Not Found"));
    origin.Answer(CannedOrigin::Chunked("version=1.0.02"));
    char buffer[256] = {};
    EXPECT_EQ(FetchToMemory(origin.Url(L"/a").c_str(), buffer, sizeof buffer, kLimitMs), 9u);
    EXPECT_STREQ(buffer, "not found");
    EXPECT_EQ(FetchToMemory(origin.Url(L"/b").c_str(), buffer, sizeof buffer, kLimitMs), 0u);
}

TEST(FetchToMemory, BodyLargerThanTheBufferFailsWithoutWritingPastIt)
{
    CannedOrigin origin;
    origin.Answer(CannedOrigin::WithLength(Body()));
    std::vector<char> buffer(5000 + 16, '#');
    EXPECT_EQ(FetchToMemory(origin.Url(L"/big").c_str(), buffer.data(), 5000, kLimitMs), 0u);
    EXPECT_EQ(std::string(buffer.end() - 16, buffer.end()), std::string(16, '#'));
}

TEST(FetchToMemory, UnreachableOriginFailsFast)
{
    std::wstring url;
    {
        CannedOrigin closed;
        url = closed.Url(L"/ver.txt");
    }
    char buffer[16];
    const DWORD start = GetTickCount();
    EXPECT_EQ(FetchToMemory(url.c_str(), buffer, sizeof buffer, kLimitMs), 0u);
    EXPECT_FALSE(DownloadVerified(url.c_str(), TempFile(L"kestrun_unreached.tmp").c_str(), Md5Hex("", 0), kLimits));
    EXPECT_LT(GetTickCount() - start, 10000u);
}

TEST(DownloadVerified, WritesTheBodyOnlyWhenItsDigestMatches)
{
    const std::wstring path = TempFile(L"kestrun_download.tmp");
    DeleteFileW(path.c_str());
    CannedOrigin origin;
    origin.Answer(CannedOrigin::WithLength(Body()));
    const std::string digest = Md5Hex(Body().data(), Body().size());

    EXPECT_TRUE(DownloadVerified(origin.Url(L"/K.exe").c_str(), path.c_str(), Upper(digest), kLimits));
    EXPECT_EQ(ReadFileBytes(path), Body());

    // A wrong digest leaves what was there untouched.
    WriteFileBytes(path, "previous");
    EXPECT_FALSE(DownloadVerified(origin.Url(L"/K.exe").c_str(), path.c_str(), Md5Hex("x", 1), kLimits));
    EXPECT_FALSE(DownloadVerified(origin.Url(L"/K.exe").c_str(), path.c_str(), "", kLimits));
    EXPECT_EQ(ReadFileBytes(path), "previous");
    DeleteFileW(path.c_str());
}

TEST(DownloadVerified, IncompleteOrUnmeasuredBodiesAreRejected)
{
    const std::wstring path = TempFile(L"kestrun_partial.tmp");
    DeleteFileW(path.c_str());
    const std::string body = Body();
    const std::string digest = Md5Hex(body.data(), body.size());
    CannedOrigin origin;
    // Announces the whole length, sends half, closes.
    std::string cut = CannedOrigin::WithLength(body);
    cut.resize(cut.size() - body.size() / 2);
    origin.Answer(cut);
    origin.Answer(CannedOrigin::Chunked(body));
    origin.Answer(CannedOrigin::WithLength(""));
    origin.Answer(CannedOrigin::WithLength("not found", "404 Not Found"));
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(DownloadVerified(origin.Url(L"/K.exe").c_str(), path.c_str(), digest, kLimits)) << i;
    EXPECT_EQ(ReadFileBytes(path), "<missing>");
    EXPECT_EQ(origin.Requests().size(), 4u);
}
