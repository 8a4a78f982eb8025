#include "app/win32/cache_server_wiring.h"

#include "app/core/app_globals.h"
#include "app/core/cdn_base_url.h"
#include "cacheserver/core/cache_server_config.h"
#include "cacheserver/core/http_server.h"
#include "cacheserver/win32/server_launch.h"
#include "download/core/download_client.h"

namespace {

// The download client's stream, reported to the server's miss.
class CdnReceiverBridge final : public IFetchReceiver {
public:
    explicit CdnReceiverBridge(ICdnReceiver& to) : m_to(to) {}
    bool OnHead(int status, const std::string& reason, long long length) override
    {
        return m_to.OnHead(status, reason, length);
    }
    bool OnBody(const char* bytes, size_t length) override { return m_to.OnBody(bytes, length); }
    bool KeepGoing() override { return m_to.KeepGoing(); }

private:
    ICdnReceiver& m_to;
};

// Uses nothing but its arguments: it may outlive the server (see CdnFetch).
CdnFetchResult FetchForCache(const std::string& url, ICdnReceiver& receiver)
{
    CdnReceiverBridge bridge(receiver);
    switch (FetchStream(url.c_str(), bridge)) {
    case kFetchOk:
        return CdnFetchResult::kComplete;
    case kFetchTimedOut:
        return CdnFetchResult::kTimedOut;
    default:
        return CdnFetchResult::kFailed;
    }
}

} // namespace

bool LaunchProgramCacheServer()
{
    CacheServerConfig config;
    config.folder = CurrentFolderCache();
    config.firstPort = g_localPort;
    config.drawPort = &DrawLocalPort;
    config.cdnBase = [] { return g_cdnBaseUrl.Get(); };
    config.fetch = &FetchForCache;
    const bool ok = LaunchCacheServer(config);
    if (ok)
        g_localPort = g_httpServer.ListeningPort();
    return ok;
}
