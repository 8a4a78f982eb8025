#include "cacheserver/hosts/host_options.h"

#include "cacheserver/core/http_server.h"
#include "download/core/download_client.h"

#include <cstdio>
#include <cstdlib>

const char kHostUsage[] = "usage: kestrun_cache_host ROOT|- PORT CDN_BASE\n";

bool ParseHostOptions(int argc, char** argv, HostOptions* options)
{
    if (argc != 4)
        return false;
    char* end = nullptr;
    const long port = std::strtol(argv[2], &end, 10);
    if (*argv[1] == '\0' || *end != '\0' || port < 0 || port > 65535)
        return false;
    options->root = argv[1];
    options->port = static_cast<int>(port);
    options->cdnBase = argv[3];
    return true;
}

CacheServerConfig HostConfig(const HostOptions& options)
{
    CacheServerConfig config;
    config.folder = options.root == "-" ? CurrentFolderCache() : options.root;
    config.firstPort = options.port;
    config.drawPort = [] { return 0; };
    config.cdnBase = [base = options.cdnBase] { return base; };
    config.fetch = [](const std::string& url, COutBuf* body) { return FetchToSink(url.c_str(), nullptr, body); };
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
