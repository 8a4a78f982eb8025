// A CHTTPServer whose CDN is a function of the test, and a small blocking
// loopback client.
#pragma once

#include "cacheserver/core/http_server.h"
#include "base/core/out_buf.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class TestHttpServer : public CHTTPServer {
public:
    using Cdn = std::function<int(const std::string& url, COutBuf* body)>;
    explicit TestHttpServer(Cdn cdn = {}) : m_cdn(std::move(cdn)) {}
    ~TestHttpServer() override { Stop(); }

    int Fetches() const { return m_fetches.load(); }
    std::vector<std::string> Urls()
    {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_urls;
    }

protected:
    int FetchFromCdn(const std::string& url, const std::string&, COutBuf* body) override
    {
        ++m_fetches;
        {
            std::lock_guard<std::mutex> hold(m_lock);
            m_urls.push_back(url);
        }
        return m_cdn ? m_cdn(url, body) : 1;
    }

private:
    Cdn m_cdn;
    std::atomic<int> m_fetches{0};
    std::mutex m_lock;
    std::vector<std::string> m_urls;
};

// A fresh, empty folder under the test temp folder, ending in "/".
std::string FreshFolder(const char* name);
std::string ReadFileText(const std::string& path);
void WriteFileText(const std::string& path, const std::string& text);

// Blocking loopback client.
class TestClient {
public:
    explicit TestClient(int port);
    ~TestClient();
    bool Connected() const { return m_fd >= 0; }
    bool Send(const std::string& bytes);
    // Reads until n bytes arrived, the peer closed, or timeoutMs passed.
    std::string Receive(size_t n, int timeoutMs = 5000);
    // Reads one whole response (header and its Content-Length of body).
    std::string ReceiveResponse(int timeoutMs = 5000);
    // True when the peer closed the connection within timeoutMs.
    bool PeerClosed(int timeoutMs = 5000);
    void SetReceiveBuffer(int bytes);

private:
    int m_fd = -1;
};

// A port that nothing listens on right now.
int UnusedPort();
