// Helpers the window classes share: centring, client resizing and the
// program icon.
#pragma once

#include "framework/handles.h"

#include <windows.h>

// Centres a window over `over`, or over its owner (or parent), or over the
// work area when it has neither; kept inside the work area.
bool CenterWindow(HWND hwnd, HWND over = nullptr);

// Resizes a window so that its client area is cx by cy pixels.
bool ResizeClient(HWND hwnd, int cx, int cy, bool repaint = true);

// The program icon at the large and the small size, set on a window and
// destroyed with this object (after the window is gone).
class CWindowIcons {
public:
    void Apply(HWND hwnd, UINT iconId);

private:
    UniqueHandle<IconTraits> m_big;
    UniqueHandle<IconTraits> m_small;
};
