#include "app/win32/game_wiring.h"

#include "app/core/app_globals.h"
#include "app/core/cdn_base_url.h"
#include "app/core/kestrun_app.h"
#include "app/core/trusted_sites.h"
#include "app/win32/cache_clearing.h"
#include "build_config.h"
#include "gamewindow/win32/game_window.h"

void RunGamePhaseOf(CKestrun& app)
{
    GameWindowSettings settings;
    settings.gameUrl = app.m_gameUrl;
    settings.loginPageUrl = KESTRUN_LOGIN_URL;
    settings.testMode = g_testUrlMode;
    settings.localPort = g_localPort;
    settings.cdnBase = [] { return g_cdnBaseUrl.Get(); };
    settings.setCdnBase = [](const std::string& url) { g_cdnBaseUrl.Set(url); };
    settings.builtInCdnBase = KESTRUN_CDN_BASE_URL;
    settings.trusted = RunTrustedSites();
    settings.clearCaches = [](HWND owner) { ClearCaches(owner); };
    settings.pageTitleChanged = [&app](const wchar_t* title) { app.SetPageTitle(title); };
    RunGameWindow(settings);
}
