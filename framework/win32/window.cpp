#include "framework/win32/window.h"

namespace {

// The window property that ties a subclassed window to its object.
constexpr wchar_t kObjectProperty[] = L"KestrunWindowObject";

// Dialog messages whose answer is the dialog procedure's return value
// rather than DWLP_MSGRESULT.
bool AnswersDirectly(UINT message)
{
    switch (message) {
    case WM_INITDIALOG:
    case WM_CHARTOITEM:
    case WM_VKEYTOITEM:
    case WM_COMPAREITEM:
    case WM_QUERYDRAGICON:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
        return true;
    default:
        return false;
    }
}

} // namespace

HWND NotificationSource(const WindowMessage& msg)
{
    HWND child = nullptr;
    switch (msg.message) {
    case WM_COMMAND:
        child = reinterpret_cast<HWND>(msg.lParam);
        break;
    case WM_NOTIFY:
        if (msg.lParam)
            child = reinterpret_cast<const NMHDR*>(msg.lParam)->hwndFrom;
        break;
    case WM_PARENTNOTIFY:
        switch (LOWORD(msg.wParam)) {
        case WM_CREATE:
        case WM_DESTROY:
            child = reinterpret_cast<HWND>(msg.lParam);
            break;
        default:
            child = ::GetDlgItem(msg.hwnd, HIWORD(msg.wParam));
            break;
        }
        break;
    case WM_DRAWITEM:
        if (msg.wParam) // 0: a menu item
            child = reinterpret_cast<const DRAWITEMSTRUCT*>(msg.lParam)->hwndItem;
        break;
    case WM_MEASUREITEM:
        if (msg.wParam)
            child = ::GetDlgItem(msg.hwnd, reinterpret_cast<const MEASUREITEMSTRUCT*>(msg.lParam)->CtlID);
        break;
    case WM_COMPAREITEM:
        if (msg.wParam)
            child = reinterpret_cast<const COMPAREITEMSTRUCT*>(msg.lParam)->hwndItem;
        break;
    case WM_DELETEITEM:
        if (msg.wParam)
            child = reinterpret_cast<const DELETEITEMSTRUCT*>(msg.lParam)->hwndItem;
        break;
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
        child = reinterpret_cast<HWND>(msg.lParam);
        break;
    default:
        break;
    }
    // WM_CTLCOLORDLG names the dialog itself: nothing to reflect to.
    return child == msg.hwnd ? nullptr : child;
}

bool ReflectNotification(WindowMessage& msg)
{
    HWND child = NotificationSource(msg);
    if (!child || !::IsWindow(child))
        return false;
    msg.result = ::SendMessageW(child, kReflectedBase + msg.message, msg.wParam, msg.lParam);
    return true;
}

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

// ----- CDialog

CDialog::~CDialog()
{
    if (m_hWnd && ::IsWindow(m_hWnd)) {
        ::SetWindowLongPtrW(m_hWnd, DWLP_USER, 0);
        ::DestroyWindow(m_hWnd);
    }
}

INT_PTR CDialog::DoModal(HWND owner)
{
    return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), owner, DialogProc,
                             reinterpret_cast<LPARAM>(this));
}

HWND CDialog::Create(HWND owner)
{
    return ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), owner, DialogProc,
                                reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CDialog* self = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        self->m_hWnd = hwnd;
    }
    if (!self) // the few messages before WM_INITDIALOG
        return FALSE;

    WindowMessage msg = {hwnd, message, wParam, lParam, 0};
    const bool handled = self->m_map.Dispatch(msg);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->m_hWnd = nullptr;
        self->OnFinalMessage(hwnd);
        return FALSE;
    }
    if (!handled)
        return FALSE;
    if (AnswersDirectly(message))
        return static_cast<INT_PTR>(msg.result);
    ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, msg.result);
    return TRUE;
}

// ----- CSubclassedWindow

CSubclassedWindow::~CSubclassedWindow()
{
    if (m_hWnd && ::IsWindow(m_hWnd))
        UnsubclassWindow();
}

bool CSubclassedWindow::SubclassWindow(HWND hwnd)
{
    if (m_hWnd || !::IsWindow(hwnd) || ::GetPropW(hwnd, kObjectProperty))
        return false;
    if (!::SetPropW(hwnd, kObjectProperty, this))
        return false;
    m_hWnd = hwnd;
    m_previous = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CSubclassedWindow::WindowProc)));
    return true;
}

HWND CSubclassedWindow::UnsubclassWindow()
{
    HWND hwnd = m_hWnd;
    if (!hwnd)
        return nullptr;
    // Only if nobody has subclassed the window after us.
    if (::GetWindowLongPtrW(hwnd, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(&CSubclassedWindow::WindowProc))
        return nullptr;
    ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_previous));
    ::RemovePropW(hwnd, kObjectProperty);
    m_previous = ::DefWindowProcW;
    m_hWnd = nullptr;
    return hwnd;
}

LRESULT CSubclassedWindow::DefaultProc(const WindowMessage& msg) const
{
    return ::CallWindowProcW(m_previous, msg.hwnd, msg.message, msg.wParam, msg.lParam);
}

LRESULT CALLBACK CSubclassedWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CSubclassedWindow* self = static_cast<CSubclassedWindow*>(::GetPropW(hwnd, kObjectProperty));
    if (!self)
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    WindowMessage msg = {hwnd, message, wParam, lParam, 0};
    if (message == WM_NCDESTROY) {
        self->m_map.Dispatch(msg);
        const WNDPROC previous = self->m_previous;
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        ::RemovePropW(hwnd, kObjectProperty);
        self->m_previous = ::DefWindowProcW;
        self->m_hWnd = nullptr;
        const LRESULT result = ::CallWindowProcW(previous, hwnd, message, wParam, lParam);
        self->OnFinalMessage(hwnd);
        return result;
    }
    if (self->m_map.Dispatch(msg))
        return msg.result;
    return self->DefaultProc(msg);
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
