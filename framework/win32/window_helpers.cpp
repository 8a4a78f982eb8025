#include "framework/win32/window_helpers.h"

bool CenterWindow(HWND hwnd, HWND over)
{
    if (!over) {
        const LONG_PTR style = ::GetWindowLongPtrW(hwnd, GWL_STYLE);
        over = (style & WS_CHILD) ? ::GetParent(hwnd) : ::GetWindow(hwnd, GW_OWNER);
    }
    RECT work;
    HMONITOR monitor = ::MonitorFromWindow(over ? over : hwnd, MONITOR_DEFAULTTONEAREST);
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    if (::GetMonitorInfoW(monitor, &info))
        work = info.rcWork;
    else
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);

    RECT self;
    if (!::GetWindowRect(hwnd, &self))
        return false;
    RECT centre = work;
    if (over && ::IsWindowVisible(over) && !::IsIconic(over))
        ::GetWindowRect(over, &centre);
    const int w = self.right - self.left;
    const int h = self.bottom - self.top;
    int x = (centre.left + centre.right) / 2 - w / 2;
    int y = (centre.top + centre.bottom) / 2 - h / 2;
    // Keep it on the work area where it fits.
    if (x + w > work.right)
        x = work.right - w;
    if (x < work.left)
        x = work.left;
    if (y + h > work.bottom)
        y = work.bottom - h;
    if (y < work.top)
        y = work.top;
    if (::GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CHILD) {
        POINT p = {x, y};
        ::ScreenToClient(::GetParent(hwnd), &p);
        x = p.x;
        y = p.y;
    }
    return ::SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE) != FALSE;
}

bool ResizeClient(HWND hwnd, int cx, int cy, bool repaint)
{
    const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(hwnd, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(::GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
    RECT r = {0, 0, cx, cy};
    const BOOL hasMenu = !(style & WS_CHILD) && ::GetMenu(hwnd) != nullptr;
    if (!::AdjustWindowRectEx(&r, style, hasMenu, exStyle))
        return false;
    UINT flags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
    if (!repaint)
        flags |= SWP_NOREDRAW;
    return ::SetWindowPos(hwnd, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, flags) != FALSE;
}

void CWindowIcons::Apply(HWND hwnd, UINT iconId)
{
    HINSTANCE module = ::GetModuleHandleW(nullptr);
    m_big.Reset(static_cast<HICON>(::LoadImageW(module, MAKEINTRESOURCEW(iconId), IMAGE_ICON,
                                                ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON),
                                                LR_DEFAULTCOLOR)));
    ::SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_big.Get()));
    m_small.Reset(static_cast<HICON>(::LoadImageW(module, MAKEINTRESOURCEW(iconId), IMAGE_ICON,
                                                  ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                                                  LR_DEFAULTCOLOR)));
    ::SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_small.Get()));
}
