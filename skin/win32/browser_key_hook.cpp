#include "skin/win32/browser_key_hook.h"

HHOOK g_keyboardHook = nullptr;

void RemoveLoginKeyboardHook()
{
    if (g_keyboardHook)
        ::UnhookWindowsHookEx(g_keyboardHook);
}
