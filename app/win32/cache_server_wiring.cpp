#include "app/win32/cache_server_wiring.h"

#include "app/core/app_globals.h"
#include "app/core/cache_fetch.h"
#include "app/core/cdn_base_url.h"
#include "cacheserver/core/cache_server_config.h"
#include "cacheserver/core/http_server.h"
#include "cacheserver/win32/server_launch.h"

#include "app/core/relaunch.h"
#include "app/win32/win32_app_platform.h"

#include "build_config.h"

#include <windows.h>

namespace {

// The program's folder as the cache server's file calls take it (the ANSI
// code page); empty when its name holds characters that page lacks.
std::string ProgramFolderInAnsi()
{
    const std::wstring folder = FolderOf(Win32AppPlatform().ModulePath());
    const int units = static_cast<int>(folder.size());
    BOOL lossy = FALSE;
    const int bytes =
        units == 0 ? 0 : WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, folder.data(), units, nullptr, 0, nullptr, &lossy);
    if (bytes <= 0 || lossy)
        return std::string();
    std::string narrow(static_cast<size_t>(bytes), '\0');
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, folder.data(), units, &narrow[0], bytes, nullptr, &lossy) !=
            bytes ||
        lossy)
        return std::string();
    return narrow;
}

} // namespace

bool LaunchProgramCacheServer()
{
    CacheServerConfig config;
    // The program's own folder, wherever it was started from; the current
    // folder only when that folder cannot be named to the server.
    const std::string programFolder = ProgramFolderInAnsi();
    config.folder = programFolder.empty() ? CurrentFolderCache() : CacheFolderIn(programFolder);
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
