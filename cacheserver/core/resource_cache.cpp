// Cache mapping of CHTTPServer: launch, cache file names, hits and misses.
#include "cacheserver/core/http_server.h"

#include "base/core/cdn_base_url.h"
#include "base/core/debug_trace.h"
#include "base/core/directory_path.h"
#include "base/core/md5.h"
#include "cacheserver/core/cache_budget.h"
#include "cacheserver/core/cdn_miss.h"
#include "cacheserver/core/entry_checker.h"

namespace {

const char kCacheFolderName[] = "wz_cdn";

} // namespace

std::string CurrentFolderCache()
{
    return CacheFolderIn(SrvCurrentFolder());
}

std::string CacheFolderIn(const std::string& folder)
{
    std::string cache = folder;
    if (cache.empty() || cache.back() != kSrvPathSeparator)
        cache += kSrvPathSeparator;
    cache += kCacheFolderName;
    cache += kSrvPathSeparator;
    return cache;
}

bool CHTTPServer::Launch(const CacheServerConfig& config)
{
    // A second launch must not change the folder or the port under the
    // threads that already serve them.
    if (IsRunning())
        return true;
    m_config = config;
    m_rootPath = config.folder;
    MakeDirectoryPath(m_rootPath.c_str());
    if (m_rootPath.empty() || m_rootPath.back() != kSrvPathSeparator)
        m_rootPath += kSrvPathSeparator;
    SweepTemporaryFiles();
    m_misses = std::make_shared<CMissBoard>(config.fetch, config.cdnAnswerTimeoutMs, config.cdnStallTimeoutMs,
                                            config.cacheBudgetBytes);
    PrepareEntries();
    PrepareBudget();
    ServerLimits limits;
    limits.idleTimeoutMs = config.idleTimeoutMs;
    limits.headerTimeoutMs = config.headerTimeoutMs;
    limits.stallTimeoutMs = config.sendStallTimeoutMs;
    limits.minBytesPerSecond = config.minSendBytesPerSecond;
    limits.rateWindowMs = config.sendRateWindowMs;
    limits.maxConnections = config.maxConnections;
    SetLimits(limits);

    int port = config.firstPort;
    for (int attempt = 1;; ++attempt) {
        if (Start(port)) {
            // Indexing the folder starts once the port is taken, so that
            // it cannot hold up listening.
            if (m_budget)
                m_budget->Start();
            StartEntryChecker();
            return true;
        }
        DebugTrace("cache server: cannot listen on port %d%s", port, LastStartPortTaken() ? " (taken)" : "");
        if (attempt == kLaunchAttempts || !config.drawPort)
            return false;
        port = config.drawPort();
    }
}

void CHTTPServer::SweepTemporaryFiles()
{
    const unsigned long self = SrvProcessId();
    SrvListFolder(m_rootPath, [this, self](const std::string& name, long long ageSeconds) {
        if (!IsTemporaryFileName(name))
            return;
        // Another instance may be writing a young file; not one that has ended.
        const unsigned long owner = TemporaryFileOwner(name);
        const bool ownerGone = owner != 0 && owner != self && !SrvProcessRunning(owner);
        if (ownerGone || ageSeconds > kStaleTemporarySeconds)
            SrvRemoveFile(m_rootPath + name);
    });
}

void CHTTPServer::OnStopped()
{
    if (m_misses)
        m_misses->CancelAll(kFetchStopWaitMs);
    StopBudget();
    if (m_checker)
        m_checker->Stop();
}

int CHTTPServer::RunningFetches() const
{
    return m_misses ? m_misses->RunningFetches() : 0;
}

std::string CHTTPServer::CacheFileFor(const std::string& path) const
{
    return m_rootPath + Md5Hex(path.data(), path.size());
}

std::unique_ptr<CResponse> CHTTPServer::ResourceResponse(const std::string& path, const std::string& cdnPath,
                                                         const ResponseHead& head)
{
    const std::string file = CacheFileFor(path);
    if (std::unique_ptr<CResponse> hit = StoredEntryResponse(path, cdnPath, file, head)) {
        if (m_budget)
            m_budget->NoteHit(file);
        return hit;
    }
    if (!m_misses)
        return MakeFixedResponse(ComposeHeader("502 Bad Gateway", head, 0));
    const std::string url = JoinCdnUrl(m_config.cdnBase ? m_config.cdnBase() : std::string(), cdnPath);
    return m_misses->Respond(path, file, url, head);
}
