#include "cacheserver/win32/server_launch.h"

#include "cacheserver/core/http_server.h"

#include <cstdlib>

// The process-wide server: constructed before the entry point, not listening
// until start-up launches it.
CHTTPServer g_httpServer;

namespace {

void StopCacheServer()
{
    g_httpServer.Stop();
}

} // namespace

bool LaunchCacheServer(const CacheServerConfig& config)
{
    // Registered after every static object was constructed, so it runs
    // before any of them is destroyed: serving threads still call back
    // into the configuration (the CDN base) until they have ended.
    static const bool registered = std::atexit(&StopCacheServer) == 0;
    (void)registered;
    return g_httpServer.Launch(config);
}
