// The login page's browser: the control hosted in the login page dialog's
// control 1001, and its event sink with the connection between the two.
#pragma once

#include "framework/com/com_ptr.h"
#include "skin/win32/login_events.h"
#include "skin/win32/web_browser_event_listener.h"

#include <exdisp.h>
#include <ocidl.h>
#include <windows.h>

#include <string>

class CLoginBrowser {
public:
    CLoginBrowser() = default;
    ~CLoginBrowser() { Close(); }
    CLoginBrowser(const CLoginBrowser&) = delete;
    CLoginBrowser& operator=(const CLoginBrowser&) = delete;

    // Moves `host` (control 1001) to the page's place on the picture, has it
    // host the browser, connects the sink (which reports to `events` and
    // closes `loginWindow` on a login) and navigates to the start page.
    // False when the control could not be made: the page then stays empty.
    // A client command in the start page's navigation may end the login
    // window before this returns: Browser() is then null.
    bool Open(HWND host, const LoginPageSettings& settings, HWND loginWindow, ILoginEvents& events);
    // Disconnects and releases the sink and every interface held; the host
    // tears the control down when its window goes.
    void Close();

    HWND Host() const { return m_host; }
    IWebBrowser2* Browser() const { return m_browser.Get(); }

    // The page's place on the 1379 x 702 picture, in pixels.
    static constexpr RECT kPlace = {466, 197, 466 + 645, 197 + 421};

private:
    HWND m_host = nullptr;
    ComPtr<IWebBrowser2> m_browser;
    ComPtr<IConnectionPoint> m_connection;
    DWORD m_cookie = 0;
    ComPtr<CWebBrwoser2EventListener> m_listener;
};

// The text both browsers are made from. It names the login page inside an
// HTML fragment, but the host takes it for a URL (it does not start with
// "MSHTML:"), so its only effect is a first navigation that leads nowhere.
std::wstring BrowserCreationText(const std::wstring& loginPageUrl);

// Hands `msg` to the document shown in `host` through its
// IOleInPlaceActiveObject::TranslateAccelerator; false when there is no
// document to take it.
bool TranslateInLoginPage(HWND host, const MSG& msg);
