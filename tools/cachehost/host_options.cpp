#include "tools/cachehost/host_options.h"

#include "app/core/cache_fetch.h"
#include "cacheserver/core/http_server.h"

#include <cstdio>
#include <cstdlib>

const char kHostUsage[] = "usage: kestrun_cache_host ROOT|- PORT CDN_BASE [LIMIT_SECONDS]\n";

namespace {

bool ParseNumber(const char* text, long low, long high, long* value)
{
    char* end = nullptr;
    *value = std::strtol(text, &end, 10);
    return *text != '\0' && *end == '\0' && *value >= low && *value <= high;
}

} // namespace

bool ParseHostOptions(int argc, char** argv, HostOptions* options)
{
    if (argc != 4 && argc != 5)
        return false;
    long port = 0;
    long limit = 0;
    if (*argv[1] == '\0' || !ParseNumber(argv[2], 0, 65535, &port))
        return false;
    if (argc == 5 && !ParseNumber(argv[4], 1, 3600, &limit))
        return false;
    options->root = argv[1];
    options->port = static_cast<int>(port);
    options->cdnBase = argv[3];
    options->limitSeconds = static_cast<int>(limit);
    return true;
}

CacheServerConfig HostConfig(const HostOptions& options)
{
    CacheServerConfig config;
    config.folder = options.root == "-" ? CurrentFolderCache() : options.root;
    config.firstPort = options.port;
    config.drawPort = [] { return 0; };
    config.cdnBase = [base = options.cdnBase] { return base; };
    config.fetch = &FetchForCache;
    if (options.limitSeconds > 0) {
        config.idleTimeoutMs = options.limitSeconds * 1000;
        config.cdnAnswerTimeoutMs = options.limitSeconds * 1000;
        config.cdnStallTimeoutMs = options.limitSeconds * 1000;
        config.headerTimeoutMs = options.limitSeconds * 1000;
        config.sendStallTimeoutMs = options.limitSeconds * 1000;
        config.sendRateWindowMs = options.limitSeconds * 1000;
    }
    return config;
}

void ReportLaunch(bool ok, int port)
{
    if (ok)
        std::printf("listening %d\n", port);
    else
        std::printf("failed\n");
    std::fflush(stdout);
}

bool LaunchHost(const HostOptions& options, CHTTPServer& server)
{
    const bool ok = server.Launch(HostConfig(options));
    ReportLaunch(ok, server.ListeningPort());
    return ok;
}
