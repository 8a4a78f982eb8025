// What the login window needs from its caller and reports to it. The login
// window knows nothing of the application or the game window: the caller
// gives it its addresses and answers these events.
#pragma once

#include <windows.h>

#include <string>

class ILoginEvents {
public:
    virtual ~ILoginEvents() = default;

    // The login page's browser saw `url` (a navigation, a new window or a
    // finished document). True when it was the game's entry URL and has been
    // captured; the login window then closes itself (it posts WM_DESTROY to
    // `loginWindow`), so an implementation must not.
    virtual bool CaptureLogin(HWND loginWindow, const wchar_t* url) = 0;
    // True when `url` was a client command, already carried out (capture,
    // close, quit); the page's navigation is then cancelled.
    virtual bool ClientCommand(HWND loginWindow, const wchar_t* url) = 0;
    // The page's title changed; never null.
    virtual void PageTitleChanged(const wchar_t* title) = 0;
    // The login has ended and the run goes on to the game phase. Reported
    // by the login window's destroy handling (which a posted WM_DESTROY
    // runs once more before the window really goes) and already by the
    // enter button, so it may come more than once.
    virtual void LoginWindowClosed() = 0;
};

struct LoginPageSettings {
    // Where the page starts: the test URL in test mode, else the login page.
    std::wstring startUrl;
    // The platform's login page, also named in the browser's creation text.
    std::wstring loginPageUrl;
    // Opened in the system's browser by the site, pay, forum and service buttons.
    std::wstring siteUrl;
    std::wstring payUrl;
    std::wstring forumUrl;
    std::wstring serviceUrl;
};
