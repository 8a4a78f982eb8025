// CHTTPServer: the local HTTP/1.0 resource server. It answers GET requests
// from the MD5-named files of its cache folder, streaming misses from the
// resource CDN while it stores them; any other method gets "501 Not
// Implemented" with the page "/mna.html".
#pragma once

#include "cacheserver/core/cache_server_config.h"
#include "cacheserver/core/generic_server.h"
#include "cacheserver/core/responses.h"

#include <map>
#include <memory>
#include <string>

class CCacheBudget;
class CCacheEntries;
class CEntryChecker;
class CMissBoard;

// Attempts of Launch, each on a freshly drawn port after the first.
constexpr int kLaunchAttempts = 5;
// Temporary files older than this are left-overs, whoever named them;
// younger ones are kept while the process that named them runs.
constexpr long long kStaleTemporarySeconds = 300;
// How long a stop waits for fetches that are told to end.
constexpr int kFetchStopWaitMs = 500;

class CHTTPServer : public CGenericServer {
public:
    CHTTPServer();
    ~CHTTPServer() override;

    int OnConnect(const char* peerAddress, unsigned short peerPort) override;
    int OnSent(int bytes) override;
    // A whole request ends at its first blank line.
    bool IsComplete(const std::string& received, size_t* length = nullptr) override;
    bool IsCompleteFrom(const std::string& received, size_t from, size_t* length) override;
    std::unique_ptr<CResponse> HandleRequest(const std::string& request, int* keepAlive) override;

    // Serves config.folder (created if missing) on config.firstPort; a port
    // that cannot be listened on is replaced by a drawn one, a few times.
    // On a running server it changes nothing and returns true.
    bool Launch(const CacheServerConfig& config);
    // The port that listens (0 while the server is not running).
    int ListeningPort() const { return IsRunning() ? Port() : 0; }

    std::string ContentTypeFor(const std::string& path) const;
    const std::string& RootPath() const { return m_rootPath; }
    const std::map<std::string, std::string>& MimeTypes() const { return m_mimeTypes; }
    // The cache file of a request path.
    std::string CacheFileFor(const std::string& path) const;
    // Fetch threads still running (for tests).
    int RunningFetches() const;
    // The folder's budget keeper; null for an unbounded folder.
    CCacheBudget* Budget() const { return m_budget.get(); }

protected:
    void OnStopped() override;

private:
    // The cache file of the path, else the CDN's answer for cdnPath (the
    // path as it may go on the wire).
    std::unique_ptr<CResponse> ResourceResponse(const std::string& path, const std::string& cdnPath,
                                                const ResponseHead& head);
    // The stored entry's response, or null when the path is to be fetched
    // (cache_entry_hooks.cpp): fresh entries and older ones without
    // metadata at once, stale ones at once with a revalidation behind
    // them, and those that must be revalidated after the CDN's word.
    std::unique_ptr<CResponse> StoredEntryResponse(const std::string& path, const std::string& cdnPath,
                                                   const std::string& file, const ResponseHead& head);
    void PrepareEntries();
    // Checks the folder's entries behind the first requests.
    void StartEntryChecker();
    void SweepTemporaryFiles();
    // The budget keeper (cache_budget_hooks.cpp): made and told of the
    // stores before the server listens, started once it does.
    void PrepareBudget();
    void StopBudget();

    CacheServerConfig m_config;
    std::string m_rootPath;
    std::map<std::string, std::string> m_mimeTypes;
    std::shared_ptr<CMissBoard> m_misses;
    // Shared with the fetch threads, which report their stores to it.
    std::shared_ptr<CCacheBudget> m_budget;
    // Shared with the fetch threads, which renew and store entries.
    std::shared_ptr<CCacheEntries> m_entries;
    std::unique_ptr<CEntryChecker> m_checker;
};
