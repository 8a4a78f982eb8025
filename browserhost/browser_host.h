// Our ActiveX host window: a window that holds one control (the WebBrowser
// control as a rule) and is its container (client site, in-place site and
// frame, ambient properties, document UI flags).
//
// Making a host:
//   - RegisterBrowserHostClasses(module) once, then CreateWindowExW with
//     kBrowserHostClass (a child window; no title needed), or
//   - AxAttachToWindow(existing) to take over a window that exists already,
//     such as a dialog's STATIC control.
// Then AxCreateControlEx(host, text) and AxQueryControl(host, iid, &out).
// The host tears its control down (Stop for a browser, UIDeactivate,
// InPlaceDeactivate, Close, SetClientSite(null)) and releases everything when
// its window is destroyed. The control follows the host's size, and a
// control that asks for another size (IWebBrowser2::put_Width, say) moves
// the host window accordingly.
//
// Messages the host answers:
//   - kForwardMessage (0x037F), wParam 0, lParam a MSG*: non-zero when the
//     control's IOleInPlaceActiveObject::TranslateAccelerator handled the
//     message (then it must not be dispatched again);
//   - the registered messages "WM_ATLGETHOST" and "WM_ATLGETCONTROL": the
//     host's IUnknown and the control's IUnknown (or 0), each with a new
//     reference that the sender must release.
// Everything runs on the thread that owns the host window.
#pragma once

#include <windows.h>
#include <unknwn.h>

// The host window class and its licensed twin (which behaves the same: no
// licence keys are used).
constexpr wchar_t kBrowserHostClass[] = L"AtlAxWin90";
constexpr wchar_t kBrowserHostLicClass[] = L"AtlAxWinLic90";

constexpr UINT kForwardMessage = 0x037F;

// Registers both host classes in `module`; a class that exists already is
// not registered again. True when both exist afterwards.
bool RegisterBrowserHostClasses(HINSTANCE module);

// The registered "WM_ATLGETHOST" and "WM_ATLGETCONTROL" messages.
UINT BrowserHostGetHostMessage();
UINT BrowserHostGetControlMessage();

// Makes an existing window a host (its own procedure keeps the messages the
// host leaves alone). True if it is a host afterwards, also when it was one
// already.
bool AxAttachToWindow(HWND existing);

// Creates the control from a creation text, replacing any earlier control:
//   - "MSHTML:" (any case) followed by HTML: an HTML document with that HTML;
//   - any other text with a ':' is a URL: the WebBrowser control, made
//     visible and navigated to the whole text. If the host window has
//     WS_VSCROLL or WS_HSCROLL, both are removed from it and the pages show
//     their own scroll bars; otherwise the pages show none;
//   - otherwise a CLSID ("{...}") or ProgID of the control to create.
// S_OK when the control was created and activated (a failed navigation does
// not count against it); E_INVALIDARG when `host` is not a host window.
HRESULT AxCreateControlEx(HWND host, const wchar_t* text);

// Hosts a control object made by the caller (the host takes its own
// reference), as AxCreateControlEx does with the one it creates.
HRESULT AxAttachControl(HWND host, IUnknown* control);

// An interface of the hosted control; E_NOINTERFACE (with *out null) when
// there is no control. Usable with IID_PPV_ARGS(ptr.Put()).
HRESULT AxQueryControl(HWND host, REFIID iid, void** out);

// The host object's IUnknown (with a new reference); E_INVALIDARG when
// `host` is not a host window.
HRESULT AxGetHost(HWND host, IUnknown** out);
