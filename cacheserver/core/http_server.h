// CHTTPServer: the local HTTP/1.0 resource server. It answers GET requests
// from the MD5-named files of its cache folder, fetching misses from the
// resource CDN and storing them; any other method gets "501 Not Implemented"
// with the page "/mna.html".
#pragma once

#include "cacheserver/core/cache_server_config.h"
#include "cacheserver/core/generic_server.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

class COutBuf;

extern const char kServerToken[];
extern const char kResponseFormat[];
// Attempts of Launch, each on a freshly drawn port after the first.
constexpr int kLaunchAttempts = 5;

class CHTTPServer : public CGenericServer {
public:
    CHTTPServer();
    ~CHTTPServer() override;

    int OnConnect(const char* peerAddress, unsigned short peerPort) override;
    int OnSent(int bytes) override;
    bool IsComplete(std::string request) override;
    bool HandleRequest(std::string request, COutBuf* out, int* keepAlive) override;

    // Serves config.folder (created if missing) on config.firstPort; a port
    // that cannot be listened on is replaced by a drawn one, a few times.
    // On a running server it changes nothing and returns true.
    bool Launch(const CacheServerConfig& config);
    // The port that listens (0 while the server is not running).
    int ListeningPort() const { return IsRunning() ? Port() : 0; }

    // Fills body with the resource of a request path: the cache file, else
    // what the CDN sent (stored only when complete).
    void LoadResource(const std::string& path, COutBuf* body);

    std::string ContentTypeFor(const std::string& path) const;
    const std::string& RootPath() const { return m_rootPath; }
    const std::map<std::string, std::string>& MimeTypes() const { return m_mimeTypes; }
    // The cache file of a request path.
    std::string CacheFileFor(const std::string& path) const;

private:
    struct SharedMiss;
    struct ResponseHead {
        const char* status;
        const char* date;
        const char* connection;
        const char* contentType;
    };
    static bool AppendHeader(const ResponseHead& head, int bodyLength, COutBuf* out);
    // Appends header and cache file of a hit to out; false (out unchanged)
    // when the file cannot be read completely.
    bool AppendCachedResponse(const std::string& path, const ResponseHead& head, COutBuf* out);
    void FetchMiss(const std::string& path, const std::string& file, COutBuf* body);

    CacheServerConfig m_config;
    std::string m_rootPath;
    std::map<std::string, std::string> m_mimeTypes;
    // Misses being fetched, by path: later requests for the same path wait
    // for the first one's fetch instead of starting their own.
    std::mutex m_missLock;
    std::map<std::string, std::shared_ptr<SharedMiss>> m_misses;
};

// "%a, %d %b %Y %H:%M:%S GMT" of a UTC time, with English names whatever the locale.
std::string HttpDate(long long unixSeconds);
// True when the path may be put into a CDN URL: no control characters, no blanks.
bool IsFetchablePath(const std::string& path);
