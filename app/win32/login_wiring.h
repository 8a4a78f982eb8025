// The login window wired to the application: its addresses from the build
// and the command line, and its events answered by the application object.
#pragma once

#include "app/core/kestrun_app.h"
#include "skin/win32/login_events.h"

class CLoginWiring : public ILoginEvents {
public:
    explicit CLoginWiring(CKestrun& app) : m_app(app) {}

    bool CaptureLogin(HWND loginWindow, const wchar_t* url) override;
    bool ClientCommand(HWND loginWindow, const wchar_t* url) override;
    void PageTitleChanged(const wchar_t* title) override;
    void LoginWindowClosed() override;

private:
    CKestrun& m_app;
};

// The built-in addresses; the page starts at the test URL in test mode.
LoginPageSettings BuiltInLoginPageSettings();
