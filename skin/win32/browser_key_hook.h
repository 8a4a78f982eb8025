// Keyboard forwarding of the login window: a thread keyboard hook that hands
// Tab and Enter to the login page, whose browser would otherwise never see
// them inside a dialog.
#pragma once

#include <windows.h>

// The hook, installed by the login window at its first opening; the handle
// is kept after the hook is removed (a second unhook fails harmlessly).
extern HHOOK g_keyboardHook;

// Removes the hook if it was ever installed.
void RemoveLoginKeyboardHook();
