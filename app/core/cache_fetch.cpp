#include "app/core/cache_fetch.h"

#include "download/core/download_client.h"

namespace {

// The download client's stream, reported to the server's miss.
class CdnReceiverBridge final : public IFetchReceiver {
public:
    explicit CdnReceiverBridge(ICdnReceiver& to) : m_to(to) {}
    void OnHeaderField(const std::string& name, const std::string& value) override
    {
        m_to.OnHeaderField(name, value);
    }
    bool OnHead(int status, const std::string& reason, long long length) override
    {
        return m_to.OnHead(status, reason, length);
    }
    bool OnBody(const char* bytes, size_t length) override { return m_to.OnBody(bytes, length); }
    bool KeepGoing() override { return m_to.KeepGoing(); }
    bool OnRedirect(int status, const std::string& target) override { return m_to.OnRedirect(status, target); }

private:
    ICdnReceiver& m_to;
};

} // namespace

void PrepareCacheFetch(const std::string& trustedCaFile)
{
    FetchConnectionSettings settings;
    settings.keptConnections = kCdnKeptConnectionsPerHost * kCdnHostsKept;
    settings.idleSeconds = kCdnConnectionIdleSeconds;
    settings.trustedCaFile = trustedCaFile;
    SetFetchConnectionSettings(settings);
}

CdnFetchResult FetchForCache(const std::string& url, ICdnReceiver& receiver)
{
    CdnReceiverBridge bridge(receiver);
    switch (FetchStream(url.c_str(), bridge, receiver.RequestFields())) {
    case kFetchOk:
        return CdnFetchResult::kComplete;
    case kFetchTimedOut:
        return CdnFetchResult::kTimedOut;
    default:
        return CdnFetchResult::kFailed;
    }
}
