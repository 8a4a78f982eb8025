// Login capture for the login window's browser: recognises the game's entry
// URL among the URLs that browser sees and rewrites it for the game window.
#pragma once

#include "base/core/trusted_url.h"

#include <string>

struct LoginCaptureSettings {
    bool testMode = false; // also accept the test marker "login_kq?"
    int localPort = 0;     // the port the local cache server listens on
    TrustedSites trusted;  // only their pages' URLs are captured
};

// True when `url` is the game's entry URL on a trusted site: *gameUrl is then the rewritten
// URL, and g_loginPf and g_loginServerId hold its "pf" and "serverId" texts.
// The caller ends the login phase. False (nothing changed) for any other URL.
bool RewriteLoginUrl(const wchar_t* url, const LoginCaptureSettings& settings, std::wstring* gameUrl);
