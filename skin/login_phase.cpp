#include "skin/login_phase.h"

#include "skin/win32/login_placeholder_dlg.h"
#include "skin/win32/translucent_dlg.h"

void RunLoginWindow(CKestrun& app)
{
    WindowObject<CTranslucentDlg> window(
        app, [&app](HWND owner) -> IStandardDialog* { return new WindowObject<CLoginPlaceholderDlg>(owner, app); },
        PassKeystrokeOn);
    window.DoModal(::GetActiveWindow());
}
