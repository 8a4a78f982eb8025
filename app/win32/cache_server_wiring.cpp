#include "app/win32/cache_server_wiring.h"

#include "app/core/app_globals.h"
#include "app/core/cache_fetch.h"
#include "app/core/cdn_base_url.h"
#include "cacheserver/core/cache_server_config.h"
#include "cacheserver/core/http_server.h"
#include "cacheserver/win32/server_launch.h"

#include "build_config.h"

bool LaunchProgramCacheServer()
{
    CacheServerConfig config;
    config.folder = CurrentFolderCache();
    config.firstPort = g_localPort;
    config.drawPort = &DrawLocalPort;
    config.cdnBase = [] { return g_cdnBaseUrl.Get(); };
    PrepareCacheFetch();
    config.fetch = &FetchForCache;
    if (KESTRUN_CACHE_BUDGET_BYTES > 0)
        config.cacheBudgetBytes = KESTRUN_CACHE_BUDGET_BYTES;
    const bool ok = LaunchCacheServer(config);
    if (ok)
        g_localPort = g_httpServer.ListeningPort();
    return ok;
}
