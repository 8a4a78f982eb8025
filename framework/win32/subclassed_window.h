// Takes over an existing window (a control from a dialog template) through
// the common controls' subclass chain: its messages go through the map
// first, then on down the chain to the window's own procedure. Other parties
// may subclass the same window before or after us; each leaves the chain on
// its own.
#pragma once

#include "framework/win32/window_base.h"

#include <windows.h>

class CSubclassedWindow : public CWindowBase {
public:
    // Gives the window back if it is still subclassed.
    ~CSubclassedWindow() override;

    // False if this object holds a window already, or the window has an
    // object of ours.
    bool SubclassWindow(HWND hwnd);
    // Leaves the window's subclass chain (wherever it now lies in it);
    // returns the window, or null if there was none.
    HWND UnsubclassWindow();

protected:
    // The rest of the chain, for messages the map passes on. Only valid
    // while the map handles a message.
    LRESULT DefaultProc(const WindowMessage& msg) const;

private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR self);
};
