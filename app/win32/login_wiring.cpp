#include "app/win32/login_wiring.h"

#include "app/core/app_globals.h"
#include "app/core/trusted_sites.h"
#include "build_config.h"
#include "gamewindow/win32/client_command.h"
#include "gamewindow/win32/login_capture.h"

bool CLoginWiring::CaptureLogin(HWND, const wchar_t* url)
{
    LoginCaptureSettings settings;
    settings.testMode = g_testUrlMode;
    settings.localPort = g_localPort;
    settings.trusted = RunTrustedSites();
    std::wstring gameUrl;
    if (!RewriteLoginUrl(url, settings, &gameUrl))
        return false;
    // Each capture of the same login (navigation, then finished documents)
    // recomputes the URL from its own event, as the last one wins.
    m_app.m_gameUrl = gameUrl;
    m_app.m_mode = kModeGame;
    return true;
}

bool CLoginWiring::ClientCommand(HWND loginWindow, const wchar_t* url)
{
    return CheckClientCommand(url, RunTrustedSites(), loginWindow, m_app.m_pageTitle.c_str(),
                              g_testUrlMode ? CaptureFolder::kCreate : CaptureFolder::kExisting);
}

void CLoginWiring::PageTitleChanged(const wchar_t* title)
{
    m_app.SetPageTitle(title);
}

void CLoginWiring::LoginWindowClosed()
{
    m_app.m_mode = kModeGame;
}

LoginPageSettings BuiltInLoginPageSettings()
{
    LoginPageSettings settings;
    settings.loginPageUrl = KESTRUN_LOGIN_URL;
    settings.startUrl = g_testUrlMode ? g_testUrl : settings.loginPageUrl;
    settings.siteUrl = KESTRUN_SITE_URL;
    settings.payUrl = KESTRUN_PAY_URL;
    settings.forumUrl = KESTRUN_FORUM_URL;
    settings.serviceUrl = KESTRUN_SERVICE_URL;
    return settings;
}
