#include "tools/cachehost/host_options.h"

#include "app/core/cache_fetch.h"
#include "cacheserver/core/http_server.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const char kHostUsage[] =
    "usage: kestrun_cache_host [--budget=BYTES] [--touch=SECONDS] [--trust-ca=FILE] ROOT|- PORT CDN_BASE "
    "[LIMIT_SECONDS]\n";

namespace {

constexpr long long kMaxBudgetBytes = 1LL << 50;
constexpr long long kMaxTouchSeconds = 7 * 24 * 3600;

bool ParseNumber(const char* text, long long low, long long high, long long* value)
{
    if (*text < '0' || *text > '9')
        return false;
    char* end = nullptr;
    errno = 0;
    *value = std::strtoll(text, &end, 10);
    return errno == 0 && *end == '\0' && *value >= low && *value <= high;
}

// "--name=NUMBER" in [low, high].
bool ParseFlag(const char* arg, const char* name, long long low, long long high, long long* value)
{
    const size_t length = std::strlen(name);
    return std::strncmp(arg, name, length) == 0 && arg[length] == '=' && ParseNumber(arg + length + 1, low, high, value);
}

} // namespace

bool ParseHostOptions(int argc, char** argv, HostOptions* options)
{
    long long value = 0;
    while (argc > 1 && std::strncmp(argv[1], "--", 2) == 0) {
        if (ParseFlag(argv[1], "--budget", 0, kMaxBudgetBytes, &value))
            options->budgetBytes = value;
        else if (ParseFlag(argv[1], "--touch", 0, kMaxTouchSeconds, &value))
            options->touchSeconds = static_cast<int>(value);
        else if (std::strncmp(argv[1], "--trust-ca=", 11) == 0 && argv[1][11] != '\0')
            options->trustedCaFile = argv[1] + 11;
        else
            return false;
        ++argv;
        --argc;
    }
    if (argc != 4 && argc != 5)
        return false;
    long long port = 0;
    long long limit = 0;
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
    PrepareCacheFetch(options.trustedCaFile);
    config.fetch = &FetchForCache;
    if (options.limitSeconds > 0) {
        config.idleTimeoutMs = options.limitSeconds * 1000;
        config.cdnAnswerTimeoutMs = options.limitSeconds * 1000;
        config.cdnStallTimeoutMs = options.limitSeconds * 1000;
        config.headerTimeoutMs = options.limitSeconds * 1000;
        config.sendStallTimeoutMs = options.limitSeconds * 1000;
        config.sendRateWindowMs = options.limitSeconds * 1000;
    }
    if (options.budgetBytes >= 0)
        config.cacheBudgetBytes = options.budgetBytes;
    if (options.touchSeconds >= 0)
        config.recencyTouchSeconds = options.touchSeconds;
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
