#include "cacheserver/tests/test_server.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

TestHttpServer::~TestHttpServer()
{
    Stop();
    // Fetch threads call back into this object; a test's CDN ends soon.
    for (int i = 0; i < 500 && RunningFetches() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

CacheServerConfig TestHttpServer::Config(const std::string& folder)
{
    CacheServerConfig config;
    config.folder = folder;
    config.drawPort = [] { return 0; };
    config.cdnBase = [this] { return m_cdnBase.Get(); };
    config.fetch = [this](const std::string& url, ICdnReceiver& receiver) { return Fetch(url, receiver); };
    return config;
}

bool TestHttpServer::LaunchIn(const std::string& folder, int firstPort, std::function<int()> drawPort)
{
    CacheServerConfig config = Config(folder);
    config.firstPort = firstPort;
    if (drawPort)
        config.drawPort = std::move(drawPort);
    return Launch(config);
}

CdnFetchResult TestHttpServer::Fetch(const std::string& url, ICdnReceiver& receiver)
{
    ++m_fetches;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_urls.push_back(url);
    }
    if (m_streaming)
        return m_streaming(url, receiver);
    COutBuf body;
    const int status = m_cdn ? m_cdn(url, &body) : 1;
    if (status != 0 && body.GetLength() == 0)
        return CdnFetchResult::kFailed;
    // A body that came short was announced longer than it is.
    const long long announced = body.GetLength() + (status == 0 ? 0 : 1);
    if (!receiver.OnHead(200, "OK", announced) ||
        (body.GetLength() > 0 && !receiver.OnBody(body.GetData(), static_cast<size_t>(body.GetLength()))))
        return CdnFetchResult::kFailed;
    return status == 0 ? CdnFetchResult::kComplete : CdnFetchResult::kFailed;
}

bool CollectResponse(CHTTPServer& server, const std::string& request, int* keepAlive, std::string* text, bool* cut)
{
    text->clear();
    if (cut)
        *cut = false;
    const std::unique_ptr<CResponse> response = server.HandleRequest(request, keepAlive);
    if (!response)
        return false;
    for (;;) {
        CResponse::Piece piece;
        switch (response->NextPiece(kSendFilePieceBytes, &piece)) {
        case CResponse::Next::kWait:
            continue;
        case CResponse::Next::kEnd:
            return true;
        case CResponse::Next::kCut:
            if (cut)
                *cut = true;
            return true;
        case CResponse::Next::kBytes:
            text->append(piece.bytes, static_cast<size_t>(piece.length));
            break;
        case CResponse::Next::kFile: {
            std::string bytes(static_cast<size_t>(piece.length), '\0');
            const long n = SrvReadAt(piece.file, piece.offset, &bytes[0], piece.length);
            EXPECT_EQ(n, piece.length);
            text->append(bytes, 0, static_cast<size_t>(std::max(n, 0L)));
            break;
        }
        }
    }
}

std::string BodyOf(CHTTPServer& server, const std::string& path)
{
    int keepAlive = 0;
    std::string text;
    CollectResponse(server, "GET " + path + " HTTP/1.0\r\n\r\n", &keepAlive, &text);
    const size_t at = text.find("\r\n\r\n");
    return at == std::string::npos ? std::string() : text.substr(at + 4);
}

std::string FreshFolder(const char* name)
{
    const std::string folder = std::string(::testing::TempDir()) + "kestrun_cache_" + std::to_string(getpid()) + "_" + name;
    std::system(("rm -rf '" + folder + "' && mkdir -p '" + folder + "'").c_str());
    return folder + "/";
}

std::string ReadFileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

void WriteFileText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

TestClient::TestClient(int port, int receiveBuffer)
{
    m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // Set before connecting, the window is small from the start; shrunk
    // later, the peer's bytes in flight are dropped and resent slowly.
    if (m_fd >= 0 && receiveBuffer > 0)
        SetReceiveBuffer(receiveBuffer);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (m_fd >= 0 && connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(m_fd);
        m_fd = -1;
    }
}

TestClient::~TestClient()
{
    if (m_fd >= 0)
        close(m_fd);
}

void TestClient::SetReceiveBuffer(int bytes)
{
    setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

void TestClient::Leave(Leaving how)
{
    if (m_fd < 0)
        return;
    if (how == Leaving::kShutDownSending) {
        shutdown(m_fd, SHUT_WR);
        return;
    }
    if (how == Leaving::kReset) {
        const linger reset = {1, 0};
        setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    }
    close(m_fd);
    m_fd = -1;
}

bool TestClient::Send(const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string TestClient::Receive(size_t n, int timeoutMs)
{
    std::string got;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char piece[65536];
    while (got.size() < n) {
        const int left = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count());
        pollfd fd = {m_fd, POLLIN, 0};
        if (left <= 0 || poll(&fd, 1, left) <= 0)
            break;
        const ssize_t r = recv(m_fd, piece, std::min(sizeof piece, n - got.size()), 0);
        if (r <= 0)
            break;
        got.append(piece, static_cast<size_t>(r));
    }
    return got;
}

std::string TestClient::ReceiveResponse(int timeoutMs)
{
    std::string got;
    while (got.find("\r\n\r\n") == std::string::npos) {
        const std::string more = Receive(1, timeoutMs);
        if (more.empty())
            return got;
        got += more;
    }
    const size_t at = got.find("Content-Length: ");
    if (at == std::string::npos)
        return got;
    const size_t length = std::strtoul(got.c_str() + at + 16, nullptr, 10);
    const size_t have = got.size() - (got.find("\r\n\r\n") + 4);
    if (have < length)
        got += Receive(length - have, timeoutMs);
    return got;
}

bool TestClient::PeerClosed(int timeoutMs)
{
    pollfd fd = {m_fd, POLLIN, 0};
    if (poll(&fd, 1, timeoutMs) <= 0)
        return false;
    char byte;
    return recv(m_fd, &byte, 1, MSG_PEEK) == 0;
}

int UnusedPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}
