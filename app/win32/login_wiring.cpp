#include "app/win32/login_wiring.h"

#include "app/core/app_globals.h"
#include "build_config.h"

bool CLoginWiring::CaptureLogin(HWND, const wchar_t*)
{
    // The game window's login capture is wired here by the lead when the
    // game window is merged; until then no URL is captured.
    return false;
}

bool CLoginWiring::ClientCommand(HWND, const wchar_t*)
{
    // Wired with the game window's client commands at the same merge.
    return false;
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
