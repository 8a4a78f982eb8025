#include "gamewindow/win32/login_capture.h"

#include "base/win32/wide_text.h"
#include "gamewindow/core/login_state.h"
#include "gamewindow/core/login_url.h"

bool RewriteLoginUrl(const wchar_t* url, const LoginCaptureSettings& settings, std::wstring* gameUrl)
{
    if (!url || !gameUrl)
        return false;
    const std::string narrow = ToNarrow(std::wstring(url));
    // Any page can put the marker into a link, a redirect or a frame; only
    // the platform's own pages hand over the game.
    if (!settings.trusted.IsTrusted(narrow))
        return false;
    LoginRewrite rewrite;
    if (!RewriteLoginText(narrow, settings.testMode, settings.localPort, &rewrite))
        return false;
    g_loginPf = rewrite.pf;
    g_loginServerId = rewrite.serverId;
    *gameUrl = ToWide(rewrite.gameUrl);
    return true;
}
