// Keyboard forwarding of the login window: a thread keyboard hook that hands
// Tab and Enter to the login page, whose browser would otherwise not see
// them inside a dialog.
#pragma once

#include <windows.h>

// The hook, installed by the login window at its first opening; the handle
// is kept after the hook is removed (a second unhook fails harmlessly).
extern HHOOK g_keyboardHook;
// The login page's browser host window; null while there is none.
extern HWND g_loginBrowserHost;

// The hook procedure. Every keystroke is passed on afterwards.
LRESULT CALLBACK BrowserKeyHook(int code, WPARAM wParam, LPARAM lParam);

// The message the page is to translate for one hook call, or false when the
// call forwards nothing:
//  - Tab: WM_KEYDOWN, while GetKeyState reports the key down;
//  - Enter: WM_KEYUP, when the call reports the key's release (bit 31 of
//    lParam), so that the page gets one Enter per keystroke, never one for
//    the press or for its auto-repeats.
bool PageKeyMessage(HWND host, WPARAM key, LPARAM lParam, MSG* out);

// Removes the hook if it was ever installed.
void RemoveLoginKeyboardHook();
