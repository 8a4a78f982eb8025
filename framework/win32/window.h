// Window classes over plain Win32: a dialog (modal or modeless) and a
// subclassed existing window, both driven by a CMessageMap, plus the helpers
// they share (centring, client resizing, notification reflection).
#pragma once

#include "framework/handles.h"
#include "framework/win32/message_map.h"

#include <windows.h>

// Reflected notifications come back to the control as the message plus this.
constexpr UINT kReflectedBase = WM_USER + 0x1C00; // 0x2000
constexpr UINT OCM_COMMAND = kReflectedBase + WM_COMMAND;
constexpr UINT OCM_NOTIFY = kReflectedBase + WM_NOTIFY;
constexpr UINT OCM_DRAWITEM = kReflectedBase + WM_DRAWITEM;
constexpr UINT OCM_MEASUREITEM = kReflectedBase + WM_MEASUREITEM;
constexpr UINT OCM_COMPAREITEM = kReflectedBase + WM_COMPAREITEM;
constexpr UINT OCM_DELETEITEM = kReflectedBase + WM_DELETEITEM;
constexpr UINT OCM_CTLCOLORBTN = kReflectedBase + WM_CTLCOLORBTN;
constexpr UINT OCM_CTLCOLORSTATIC = kReflectedBase + WM_CTLCOLORSTATIC;
// Everything a parent may reflect lies in this range.
constexpr UINT kReflectedFirst = kReflectedBase + WM_DRAWITEM;
constexpr UINT kReflectedLast = kReflectedBase + WM_PARENTNOTIFY;

// The control a notification concerns, or null when it names none (a menu
// command, an owner-drawn menu item, the window itself).
HWND NotificationSource(const WindowMessage& msg);

// Sends a control's notification back to it as OCM_*; true (with the
// control's answer in msg.result) when there was a control to send it to.
bool ReflectNotification(WindowMessage& msg);

// Centres a window over `over`, or over its owner (or parent), or over the
// work area when it has neither; kept inside the work area.
bool CenterWindow(HWND hwnd, HWND over = nullptr);

// Resizes a window so that its client area is cx by cy pixels.
bool ResizeClient(HWND hwnd, int cx, int cy, bool repaint = true);

// Base of our window classes: the handle and the message map.
class CWindowBase {
public:
    CWindowBase() = default;
    virtual ~CWindowBase() = default;
    CWindowBase(const CWindowBase&) = delete;
    CWindowBase& operator=(const CWindowBase&) = delete;

    HWND Hwnd() const { return m_hWnd; }

protected:
    // The message after the last one (WM_NCDESTROY) has been handled.
    virtual void OnFinalMessage(HWND) {}

    CMessageMap m_map;
    HWND m_hWnd = nullptr;
};

// A dialog from a template of this module.
class CDialog : public CWindowBase {
public:
    explicit CDialog(UINT templateId) : m_templateId(templateId) {}
    // A window that outlives its object is cut loose and destroyed.
    ~CDialog() override;

    // Runs the dialog modally; the EndDialog result, or -1 if it could not
    // be created.
    INT_PTR DoModal(HWND owner);
    // Creates the dialog modelessly; its handle or null.
    HWND Create(HWND owner);
    BOOL EndDialog(INT_PTR result) const { return ::EndDialog(m_hWnd, result); }
    BOOL DestroyWindow() const { return ::DestroyWindow(m_hWnd); }

    // For message loops that want the dialog's keyboard handling.
    virtual BOOL PreTranslateMessage(MSG* msg) { return ::IsDialogMessageW(m_hWnd, msg); }
    virtual BOOL OnIdle() { return FALSE; }

    UINT TemplateId() const { return m_templateId; }

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    UINT m_templateId;
};

// Takes over an existing window (a control from a dialog template): its
// messages go through the map first, then to the window's own procedure.
class CSubclassedWindow : public CWindowBase {
public:
    ~CSubclassedWindow() override;

    bool SubclassWindow(HWND hwnd);
    // Gives the window its own procedure back; returns it, or null.
    HWND UnsubclassWindow();

protected:
    // The window's previous procedure, for messages the map passes on.
    LRESULT DefaultProc(const WindowMessage& msg) const;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    WNDPROC m_previous = ::DefWindowProcW;
};

// The program icon at the large and the small size, set on a window and
// destroyed with this object (after the window is gone).
class CWindowIcons {
public:
    void Apply(HWND hwnd, UINT iconId);

private:
    UniqueHandle<IconTraits> m_big;
    UniqueHandle<IconTraits> m_small;
};
