#include "skin/win32/login_phase.h"

#include "skin/win32/login_placeholder_dlg.h"
#include "skin/win32/translucent_dlg.h"

void RunLoginWindow(const LoginPageSettings&, ILoginEvents& events)
{
    WindowObject<CTranslucentDlg> window(
        events,
        [&events](HWND owner) { return StandardDialogPtr(new WindowObject<CLoginPlaceholderDlg>(owner, events)); },
        PassKeystrokeOn);
    window.DoModal(::GetActiveWindow());
}
