#include "cacheserver/core/host_options.h"

#include "app/core/app_globals.h"
#include "app/core/cdn_base_url.h"
#include "cacheserver/core/http_server.h"

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

bool LaunchHost(const HostOptions& options, CHTTPServer& server)
{
    if (options.port > 0)
        g_localPort = options.port;
    g_cdnBaseUrl.Set(options.cdnBase);
    const bool ok = options.root == "-" ? server.Launch() : server.LaunchIn(options.root);
    if (ok)
        std::printf("listening %d\n", g_localPort);
    else
        std::printf("failed\n");
    std::fflush(stdout);
    return ok;
}
