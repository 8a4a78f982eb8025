// The control layer of the login window until the login page with its
// browser takes its place: the colour-keyed dialog of template 129 with the
// skinned minimise and close buttons, over the picture of the translucent
// window, so the window can be seen, moved, minimised and closed.
#pragma once

#include "framework/win32/window.h"
#include "skin/win32/standard_dialog.h"
#include "widgets/win32/my_button.h"

#include <windows.h>

class CKestrun;

class CLoginPlaceholderDlg : public CDialog, public IStandardDialog {
public:
    CLoginPlaceholderDlg(HWND parent, CKestrun& app);

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
    CKestrun& m_app;
    MyButton m_buttons[kButtonCount];
    CWindowIcons m_icons;
};

// Passes every keystroke on; the login page's forwarding takes its place
// once there is a page to forward to.
LRESULT CALLBACK PassKeystrokeOn(int code, WPARAM wParam, LPARAM lParam);
