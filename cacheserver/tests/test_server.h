// A CHTTPServer whose CDN is a function of the test, and a small blocking
// loopback client.
#pragma once

#include "base/core/cdn_base_url.h"
#include "base/core/out_buf.h"
#include "cacheserver/core/http_server.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class TestHttpServer : public CHTTPServer {
public:
    // A CDN that hands over a whole body: 0 when it is complete; what it
    // wrote before failing arrives as a body that breaks off.
    using Cdn = std::function<int(const std::string& url, COutBuf* body)>;
    explicit TestHttpServer(Cdn cdn = {}) : m_cdn(std::move(cdn)) {}
    ~TestHttpServer() override;

    // A CDN that reports to the receiver itself, piece by piece.
    void SetStreamingCdn(CdnFetch cdn) { m_streaming = std::move(cdn); }
    // This server's configuration for a folder, to adjust before Launch.
    CacheServerConfig Config(const std::string& folder);
    // Launches on firstPort (0: the system's choice); a taken port is
    // replaced by what drawPort gives, or the system's choice.
    bool LaunchIn(const std::string& folder, int firstPort = 0, std::function<int()> drawPort = {});
    void SetCdnBase(const std::string& url) { m_cdnBase.Set(url); }

    int Fetches() const { return m_fetches.load(); }
    std::vector<std::string> Urls()
    {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_urls;
    }

private:
    CdnFetchResult Fetch(const std::string& url, ICdnReceiver& receiver);

    Cdn m_cdn;
    CdnFetch m_streaming;
    CdnBaseUrl m_cdnBase{"http://cdn.test/"};
    std::atomic<int> m_fetches{0};
    std::mutex m_lock;
    std::vector<std::string> m_urls;
};

// Every byte a connection would send for one request, as HandleRequest
// produces it; false when the request is refused. *cut tells whether the
// response ended short.
bool CollectResponse(CHTTPServer& server, const std::string& request, int* keepAlive, std::string* text,
                     bool* cut = nullptr);
// The body of a GET of path.
std::string BodyOf(CHTTPServer& server, const std::string& path);

// A fresh, empty folder under the test temp folder, ending in "/".
std::string FreshFolder(const char* name);
std::string ReadFileText(const std::string& path);
void WriteFileText(const std::string& path, const std::string& text);

// Blocking loopback client.
class TestClient {
public:
    // receiveBuffer 0: the system's own.
    explicit TestClient(int port, int receiveBuffer = 0);
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
    // Leaves as a peer may: an orderly close, a reset, or shutting down
    // only its sending side (the socket stays open until destroyed).
    enum class Leaving { kClose, kReset, kShutDownSending };
    void Leave(Leaving how);

private:
    int m_fd = -1;
};

// A port that nothing listens on right now.
int UnusedPort();
