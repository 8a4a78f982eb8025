#include "skin/win32/login_browser.h"

#include "browserhost/browser_host.h"
#include "framework/com/bstr_variant.h"
#include "skin/win32/browser_key_hook.h"

#include <oleidl.h>

std::wstring BrowserCreationText(const std::wstring& loginPageUrl)
{
    return L"MSHTML<HTML><BODY><IFRAME scrolling='auto' src='" + loginPageUrl + L"'/></BODY></HTML>";
}

bool CLoginBrowser::Open(HWND host, const LoginPageSettings& settings, HWND loginWindow, ILoginEvents& events)
{
    Close();
    if (!host)
        return false;
    m_host = host;
    g_loginBrowserHost = host;
    ::MoveWindow(host, kPlace.left, kPlace.top, kPlace.right - kPlace.left, kPlace.bottom - kPlace.top, TRUE);
    if (!AxAttachToWindow(host) || AxCreateControlEx(host, BrowserCreationText(settings.loginPageUrl).c_str()) != S_OK)
        return false;
    if (FAILED(AxQueryControl(host, IID_PPV_ARGS(m_browser.Put()))))
        return false;
    // Connected before the first navigation, so that the sink sees the start
    // page's own navigation too (the test URL is captured right there).
    ComPtr<IConnectionPointContainer> container;
    if (SUCCEEDED(m_browser.QueryInterface(&container)) &&
        SUCCEEDED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, m_connection.Put()))) {
        m_listener = MakeComObject<CWebBrwoser2EventListener>(loginWindow, &events);
        if (FAILED(m_connection->Advise(m_listener->Identity(), &m_cookie)))
            m_cookie = 0;
    }
    // Held for the whole call: a client command in the start page's own
    // navigation ends the login window from inside Navigate2, and the page's
    // destroy handling closes this browser before Navigate2 returns.
    const ComPtr<IWebBrowser2> browser = m_browser;
    CVariant url(settings.startUrl.c_str());
    browser->Navigate2(url.Get(), nullptr, nullptr, nullptr, nullptr);
    if (!m_browser)
        return true; // closed by then; nothing left to set up
    browser->put_Silent(VARIANT_TRUE);
    return true;
}

void CLoginBrowser::Close()
{
    if (m_listener)
        m_listener->Disconnect();
    if (m_connection && m_cookie)
        m_connection->Unadvise(m_cookie);
    m_cookie = 0;
    m_connection.Reset();
    m_listener.Reset();
    m_browser.Reset();
    if (m_host && g_loginBrowserHost == m_host)
        g_loginBrowserHost = nullptr;
    m_host = nullptr;
}

bool TranslateInLoginPage(HWND host, const MSG& msg)
{
    ComPtr<IWebBrowser2> browser;
    if (FAILED(AxQueryControl(host, IID_PPV_ARGS(browser.Put()))) || !browser)
        return false;
    ComPtr<IDispatch> document;
    if (FAILED(browser->get_Document(document.Put())) || !document)
        return false;
    ComPtr<IOleInPlaceActiveObject> active;
    if (FAILED(document.QueryInterface(&active)))
        return false;
    MSG copy = msg;
    return active->TranslateAccelerator(&copy) == S_OK;
}
