#include "skin/win32/translucent_dlg.h"

#include "framework/handles.h"
#include "resources/resource_ids.h"
#include "skin/win32/browser_key_hook.h"
#include "widgets/core/window_title.h"

#include <utility>

namespace {

int LowSigned(LPARAM value)
{
    return static_cast<short>(LOWORD(value));
}

int HighSigned(LPARAM value)
{
    return static_cast<short>(HIWORD(value));
}

} // namespace

bool UpdateLayeredFromBitmap(HWND hwnd, HBITMAP bitmap)
{
    ::SetWindowLongPtrW(hwnd, GWL_EXSTYLE, ::GetWindowLongPtrW(hwnd, GWL_EXSTYLE) | WS_EX_LAYERED);
    ScopedWindowDc screen(nullptr);
    ScopedMemoryDc memory(::CreateCompatibleDC(screen.Get()));
    if (!screen.Get() || !memory)
        return false;
    ScopedSelect select(memory.Get(), bitmap);
    BITMAP info = {};
    ::GetObjectW(bitmap, sizeof info, &info);
    RECT window;
    ::GetWindowRect(hwnd, &window);
    POINT destination = {window.left, window.top};
    SIZE size = {info.bmWidth, info.bmHeight};
    POINT source = {0, 0};
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    return ::UpdateLayeredWindow(hwnd, screen.Get(), &destination, &size, memory.Get(), &source, 0, &blend,
                                 ULW_ALPHA) != FALSE;
}

POINT CentreOnWorkArea(const RECT& work, int w, int h)
{
    // C++ division truncates towards zero, as the rule wants for negatives.
    return POINT{work.left + (work.right - work.left - w) / 2, work.top + (work.bottom - work.top - h) / 2};
}

// ----- CTranslucentDialogHelper

CTranslucentDialogHelper::CTranslucentDialogHelper()
    : background(std::make_unique<SkinBitmap>())
{
}

void CTranslucentDialogHelper::Setup(StandardDialogPtr dialog, HWND hwnd)
{
    // A window opened a second time gets a new control dialog; the old
    // one's window went with its owner.
    standardDialog = std::move(dialog);
    const int w = background->width;
    const int h = background->height;
    RECT work = {};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const POINT at = CentreOnWorkArea(work, w, h);
    if (standardDialog)
        standardDialog->Create();
    if (!::IsWindow(hwnd))
        return; // ended by a client command in the page's first navigation
    // The template has no WS_POPUP, so the system gave the window a
    // caption: the toggle takes it away, border included.
    const LONG_PTR style = ::GetWindowLongPtrW(hwnd, GWL_STYLE);
    ::SetWindowLongPtrW(hwnd, GWL_STYLE, (style ^ WS_CAPTION) | WS_POPUP);
    ::MoveWindow(hwnd, at.x, at.y, w, h, TRUE);
}

void CTranslucentDialogHelper::ApplyLayered(HWND hwnd)
{
    blend = BLENDFUNCTION{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UpdateLayeredFromBitmap(hwnd, background->bitmap.Get());
}

void CTranslucentDialogHelper::FollowMove(int x, int y)
{
    if (standardDialog)
        ::SetWindowPos(standardDialog->GetHwnd(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void CTranslucentDialogHelper::FollowSize(int cx, int cy)
{
    if (standardDialog)
        ::SetWindowPos(standardDialog->GetHwnd(), nullptr, 0, 0, cx, cy, SWP_NOMOVE | SWP_NOZORDER);
}

// ----- CTranslucentDlg

CTranslucentDlg::CTranslucentDlg(ILoginEvents& events, ControlDialogFactory makeControlDialog, HOOKPROC keyboardHook)
    : CDialog(IDD_TRANSLUCENT)
    , m_events(events)
    , m_makeControlDialog(std::move(makeControlDialog))
    , m_keyboardHook(keyboardHook)
{
    layer.background->LoadFromResource(IDR_SKIN_LOGIN_BACKGROUND);

    m_map.Handle(WM_INITDIALOG, [this](WindowMessage&) -> LRESULT {
        OnInitDialog();
        return TRUE;
    });
    // A press anywhere on the picture drags the window.
    m_map.Handle(WM_LBUTTONDOWN, [this](WindowMessage& msg) -> LRESULT {
        ::PostMessageW(m_hWnd, WM_NCLBUTTONDOWN, HTCAPTION, msg.lParam);
        return 0;
    });
    m_map.Handle(WM_MOVE, [this](WindowMessage& msg) -> LRESULT {
        layer.FollowMove(LowSigned(msg.lParam), HighSigned(msg.lParam));
        return 0;
    });
    m_map.OnAny(ReflectNotification);
    m_map.Handle(WM_SIZE, [this](WindowMessage& msg) -> LRESULT {
        layer.FollowSize(LowSigned(msg.lParam), HighSigned(msg.lParam));
        return 0;
    });
    m_map.Handle(WM_DESTROY, [this](WindowMessage&) -> LRESULT {
        OnDestroy();
        return 0;
    });
}

void CTranslucentDlg::OnInitDialog()
{
    layer.Setup(m_makeControlDialog ? m_makeControlDialog(m_hWnd) : nullptr, m_hWnd);
    if (!m_hWnd)
        return; // a client command on the start page ended the window already
    layer.ApplyLayered(m_hWnd);
    m_icons.Apply(m_hWnd, IDI_KESTRUN);
    ::SetWindowTextW(m_hWnd, kWindowTitle);
    if (!g_keyboardHook && m_keyboardHook)
        g_keyboardHook = ::SetWindowsHookExW(WH_KEYBOARD, m_keyboardHook, nullptr, ::GetCurrentThreadId());
}

void CTranslucentDlg::OnDestroy()
{
    m_events.LoginWindowClosed();
    // The handle stays in g_keyboardHook; a second unhook fails harmlessly.
    if (g_keyboardHook)
        ::UnhookWindowsHookEx(g_keyboardHook);
    EndDialog(1);
}
