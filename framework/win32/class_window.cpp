#include "framework/win32/class_window.h"

#include <utility>

namespace {

// The object whose window CreateWindowEx is making on this thread.
thread_local CWindow* t_creating = nullptr;

} // namespace

bool CWindow::Register(HINSTANCE module, const WindowClassInfo& cls, WNDPROC proc)
{
    WNDCLASSEXW existing = {};
    existing.cbSize = sizeof existing;
    if (::GetClassInfoExW(module, cls.name, &existing))
        return true;
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = cls.style;
    wc.lpfnWndProc = proc;
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.hInstance = module;
    wc.hIcon = cls.icon;
    wc.hIconSm = cls.smallIcon;
    wc.hCursor = cls.cursor ? cls.cursor : ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = cls.background;
    wc.lpszClassName = cls.name;
    return ::RegisterClassExW(&wc) != 0;
}

HWND CWindow::Create(const WindowClassInfo& cls, HWND parent, const RECT& rect, const wchar_t* title, DWORD style,
                     DWORD exStyle, HMENU menuOrId, void* createParam)
{
    HINSTANCE module = ::GetModuleHandleW(nullptr);
    if (m_hWnd || !Register(module, cls, &CWindow::PlainProc))
        return nullptr;
    t_creating = this;
    HWND hwnd = ::CreateWindowExW(exStyle, cls.name, title, style, rect.left, rect.top, rect.right - rect.left,
                                  rect.bottom - rect.top, parent, menuOrId, module, createParam);
    t_creating = nullptr;
    if (hwnd && m_hWnd != hwnd) {
        // Someone else's class of that name: the window never met us.
        ::DestroyWindow(hwnd);
        return nullptr;
    }
    return hwnd;
}

LRESULT CALLBACK CWindow::PlainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return Route(hwnd, message, wParam, lParam, nullptr);
}

LRESULT CWindow::Route(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, Factory factory)
{
    CWindow* self = reinterpret_cast<CWindow*>(::GetWindowLongPtrW(hwnd, kObjectSlot));
    if (!self && message == WM_NCCREATE) {
        self = std::exchange(t_creating, nullptr);
        if (!self && factory) {
            self = factory();
            self->m_deleteAfterFinal = true;
        }
        if (self) {
            ::SetWindowLongPtrW(hwnd, kObjectSlot, reinterpret_cast<LONG_PTR>(self));
            self->m_hWnd = hwnd;
        }
    }
    if (!self)
        return ::DefWindowProcW(hwnd, message, wParam, lParam);

    WindowMessage msg = {hwnd, message, wParam, lParam, 0};
    if (message == WM_NCDESTROY) {
        self->m_map.Dispatch(msg);
        ::SetWindowLongPtrW(hwnd, kObjectSlot, 0);
        self->m_hWnd = nullptr;
        const LRESULT result = ::DefWindowProcW(hwnd, message, wParam, lParam);
        if (!self->m_objectDying) {
            self->OnFinalMessage(hwnd);
            if (self->m_deleteAfterFinal)
                delete self;
        }
        return result;
    }
    if (self->m_map.Dispatch(msg))
        return msg.result;
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}
