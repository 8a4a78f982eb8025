#include "skin/win32/login_phase.h"

#include "skin/win32/browser_key_hook.h"
#include "skin/win32/login_page_dlg.h"
#include "skin/win32/translucent_dlg.h"

void RunLoginWindow(const LoginPageSettings& settings, ILoginEvents& events)
{
    WindowObject<CTranslucentDlg> window(
        events,
        [&](HWND owner) { return StandardDialogPtr(new WindowObject<CMainDlg>(owner, settings, events)); },
        BrowserKeyHook);
    window.DoModal(::GetActiveWindow());
}
