// The login page: the colour-keyed control dialog (template 129) laid over
// the translucent login window. It carries the platform's login page in a
// browser, the skinned minimise and close buttons, and five skinned buttons
// it keeps hidden (enter the game, official site, pay, forum, service).
#pragma once

#include "framework/win32/window.h"
#include "skin/win32/login_browser.h"
#include "skin/win32/login_events.h"
#include "skin/win32/standard_dialog.h"
#include "widgets/win32/my_button.h"

#include <windows.h>

#include <string>

class CMainDlg : public CDialog, public IStandardDialog {
public:
    // `parent` is the translucent window, the owner of this dialog and the
    // window a login closes. Made as WindowObject<CMainDlg>.
    CMainDlg(HWND parent, const LoginPageSettings& settings, ILoginEvents& events);

    bool Create() override;
    HWND GetHwnd() override { return m_hWnd; }
    void Destroy() override { DestroyWindow(); }
    void Delete() override { delete this; }

    // The page's browser; it has no browser when the control could not be made.
    const CLoginBrowser& Browser() const { return m_browser; }

    static constexpr int kButtonCount = 7;

protected:
    // Through Delete() only.
    ~CMainDlg() override = default;

    // The site, pay, forum and service buttons open their page in the
    // system's browser.
    virtual void OpenLink(const std::wstring& url);

private:
    void OnInitDialog();
    void ConfirmExit();

    CStandardDialogHelper m_colorKey;
    HWND m_parent;
    LoginPageSettings m_settings;
    ILoginEvents& m_events;
    CLoginBrowser m_browser;
    MyButton m_buttons[kButtonCount];
    CWindowIcons m_icons;
};
