// A window of a class of our own, driven by its message map. The object is
// bound to its window at WM_NCCREATE, so the map sees WM_NCCREATE, WM_CREATE
// and everything after; only the few messages before (WM_GETMINMAXINFO) get
// default handling. Made as WindowObject<YourWindow> (see window_base.h).
#pragma once

#include "framework/win32/window_base.h"

#include <windows.h>

// How a window class of ours looks.
struct WindowClassInfo {
    const wchar_t* name = nullptr;
    UINT style = 0;
    HBRUSH background = nullptr; // null: the window erases its background itself
    HCURSOR cursor = nullptr;    // null: the arrow
    HICON icon = nullptr;
    HICON smallIcon = nullptr;
};

class CWindow : public CWindowOwner {
public:
    CWindow() : CWindowOwner(kObjectSlot) {}

    // Registers the class in this module unless a class of that name exists
    // there already, then creates the window bound to this object. Null on
    // failure, also when the class of that name is not one of ours.
    HWND Create(const WindowClassInfo& cls, HWND parent, const RECT& rect, const wchar_t* title, DWORD style,
                DWORD exStyle = 0, HMENU menuOrId = nullptr, void* createParam = nullptr);
    BOOL DestroyWindow() const { return ::DestroyWindow(m_hWnd); }

    // Registers a class whose every window, whoever creates it (for example
    // with CreateWindowEx and the class name), gets a new WindowObject<T> at
    // WM_NCCREATE, deleted after WM_NCDESTROY. A class of that name that
    // exists already is left as it is. True if the class exists afterwards.
    template <typename T>
    static bool RegisterClassWithObjects(HINSTANCE module, const WindowClassInfo& cls)
    {
        return Register(module, cls, &CWindow::ProcWithObjects<T>);
    }

protected:
    LRESULT DefaultProc(const WindowMessage& msg) const
    {
        return ::DefWindowProcW(msg.hwnd, msg.message, msg.wParam, msg.lParam);
    }

private:
    using Factory = CWindow* (*)();

    static bool Register(HINSTANCE module, const WindowClassInfo& cls, WNDPROC proc);
    static LRESULT Route(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, Factory factory);
    static LRESULT CALLBACK PlainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    template <typename T>
    static LRESULT CALLBACK ProcWithObjects(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        return Route(hwnd, message, wParam, lParam, [] { return static_cast<CWindow*>(new WindowObject<T>()); });
    }
    // Where a window of our classes keeps its object.
    static constexpr int kObjectSlot = 0;


    // Made by the class itself: deleted after its window's last message.
    bool m_deleteAfterFinal = false;
};
