// The control layer of the login window until the login page with its
// browser takes its place: the colour-keyed dialog of template 129 with the
// skinned minimise and close buttons, over the picture of the translucent
// window, so the window can be seen, moved, minimised and closed.
#pragma once

#include "framework/win32/window.h"
#include "skin/win32/login_events.h"
#include "skin/win32/my_button.h"
#include "skin/win32/standard_dialog.h"

#include <windows.h>

class CLoginPlaceholderDlg : public CDialog, public IStandardDialog {
public:
    CLoginPlaceholderDlg(HWND parent, ILoginEvents& events);

    bool Create() override;
    HWND GetHwnd() override { return m_hWnd; }
    void Destroy() override { DestroyWindow(); }
    void Delete() override { delete this; }

    static constexpr int kButtonCount = 7;

protected:
    // Through Delete() only.
    ~CLoginPlaceholderDlg() override = default;

private:
    void OnInitDialog();
    void ConfirmExit();

    CStandardDialogHelper m_colorKey;
    HWND m_parent;
    ILoginEvents& m_events;
    MyButton m_buttons[kButtonCount];
    CWindowIcons m_icons;
};

// Passes every keystroke on; the login page's forwarding takes its place
// once there is a page to forward to.
LRESULT CALLBACK PassKeystrokeOn(int code, WPARAM wParam, LPARAM lParam);
