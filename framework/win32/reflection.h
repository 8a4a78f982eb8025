// Reflection of control notifications: a parent sends a control's
// notification (WM_COMMAND, WM_DRAWITEM, ...) back to the control as the
// message plus kReflectedBase, so owner-drawn controls handle their own.
#pragma once

#include "framework/win32/message_map.h"

#include <windows.h>

// The values match the OCM_* macros of <olectl.h>; the names differ so that
// both can be used in one file.
constexpr UINT kReflectedBase = WM_USER + 0x1C00; // 0x2000
constexpr UINT kOcmCommand = kReflectedBase + WM_COMMAND;
constexpr UINT kOcmNotify = kReflectedBase + WM_NOTIFY;
constexpr UINT kOcmDrawItem = kReflectedBase + WM_DRAWITEM;
constexpr UINT kOcmMeasureItem = kReflectedBase + WM_MEASUREITEM;
constexpr UINT kOcmCompareItem = kReflectedBase + WM_COMPAREITEM;
constexpr UINT kOcmDeleteItem = kReflectedBase + WM_DELETEITEM;
constexpr UINT kOcmCtlColorBtn = kReflectedBase + WM_CTLCOLORBTN;
constexpr UINT kOcmCtlColorStatic = kReflectedBase + WM_CTLCOLORSTATIC;
// Everything a parent may reflect lies in this range.
constexpr UINT kReflectedFirst = kReflectedBase + WM_DRAWITEM;
constexpr UINT kReflectedLast = kReflectedBase + WM_PARENTNOTIFY;

// The control a notification concerns, or null when it names none (a menu
// command, an owner-drawn menu item, the window itself).
HWND NotificationSource(const WindowMessage& msg);

// Sends a control's notification back to it; true (with the control's
// answer in msg.result) when there was a control to send it to.
bool ReflectNotification(WindowMessage& msg);
