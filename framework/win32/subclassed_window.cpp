#include "framework/win32/subclassed_window.h"

#include <commctrl.h>

#include <utility>

namespace {

// Marks a window that has an object of ours; set and removed together with
// our entry in its subclass chain.
constexpr wchar_t kSubclassedMark[] = L"KestrunSubclassed";
constexpr UINT_PTR kSubclassId = 1;

} // namespace

CSubclassedWindow::~CSubclassedWindow()
{
    UnsubclassWindow();
}

bool CSubclassedWindow::SubclassWindow(HWND hwnd)
{
    if (m_hWnd || !::IsWindow(hwnd) || ::GetPropW(hwnd, kSubclassedMark))
        return false;
    if (!::SetPropW(hwnd, kSubclassedMark, reinterpret_cast<HANDLE>(1)))
        return false;
    if (!::SetWindowSubclass(hwnd, &CSubclassedWindow::SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
        ::RemovePropW(hwnd, kSubclassedMark);
        return false;
    }
    m_hWnd = hwnd;
    return true;
}

HWND CSubclassedWindow::UnsubclassWindow()
{
    HWND hwnd = std::exchange(m_hWnd, nullptr);
    if (!hwnd || !::IsWindow(hwnd))
        return nullptr;
    // The chain drops our entry even when others subclassed after us, so the
    // window never again calls into this object.
    ::RemoveWindowSubclass(hwnd, &CSubclassedWindow::SubclassProc, kSubclassId);
    ::RemovePropW(hwnd, kSubclassedMark);
    return hwnd;
}

LRESULT CSubclassedWindow::DefaultProc(const WindowMessage& msg) const
{
    return ::DefSubclassProc(msg.hwnd, msg.message, msg.wParam, msg.lParam);
}

LRESULT CALLBACK CSubclassedWindow::SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                                 DWORD_PTR data)
{
    CSubclassedWindow* self = reinterpret_cast<CSubclassedWindow*>(data);
    WindowMessage msg = {hwnd, message, wParam, lParam, 0};
    if (message == WM_NCDESTROY) {
        self->m_map.Dispatch(msg);
        ::RemoveWindowSubclass(hwnd, &CSubclassedWindow::SubclassProc, kSubclassId);
        ::RemovePropW(hwnd, kSubclassedMark);
        self->m_hWnd = nullptr;
        const LRESULT result = ::DefSubclassProc(hwnd, message, wParam, lParam);
        self->OnFinalMessage(hwnd);
        return result;
    }
    if (self->m_map.Dispatch(msg))
        return msg.result;
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
}
