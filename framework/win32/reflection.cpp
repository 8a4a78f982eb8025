#include "framework/win32/reflection.h"

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
