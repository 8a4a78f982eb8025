#include "skin/win32/browser_key_hook.h"

#include "skin/win32/login_browser.h"

HHOOK g_keyboardHook = nullptr;
HWND g_loginBrowserHost = nullptr;

bool PageKeyMessage(HWND host, WPARAM key, LPARAM lParam, MSG* out)
{
    UINT message = 0;
    if (key == VK_TAB && ::GetKeyState(VK_TAB) < 0)
        message = WM_KEYDOWN;
    else if (key == VK_RETURN && (HIWORD(lParam) & KF_UP) != 0) // bit 31: being released
        message = WM_KEYUP;
    else
        return false;
    *out = MSG{};
    out->hwnd = host;
    out->message = message;
    out->wParam = key;
    out->lParam = lParam;
    return true;
}

LRESULT CALLBACK BrowserKeyHook(int code, WPARAM wParam, LPARAM lParam)
{
    MSG msg;
    if (g_loginBrowserHost && PageKeyMessage(g_loginBrowserHost, wParam, lParam, &msg))
        TranslateInLoginPage(g_loginBrowserHost, msg);
    return ::CallNextHookEx(g_keyboardHook, code, wParam, lParam);
}

void RemoveLoginKeyboardHook()
{
    if (g_keyboardHook)
        ::UnhookWindowsHookEx(g_keyboardHook);
}
