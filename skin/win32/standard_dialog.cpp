#include "skin/win32/standard_dialog.h"

#include "framework/handles.h"

void CStandardDialogHelper::ApplyColorKey(HWND hwnd)
{
    // A second call keeps one brush, not two.
    backgroundBrush.Reset(::CreateSolidBrush(transparentColor));
    ::SetWindowLongPtrW(hwnd, GWL_EXSTYLE, ::GetWindowLongPtrW(hwnd, GWL_EXSTYLE) | WS_EX_LAYERED);
    // Looked up at run time: systems without it keep an opaque dialog.
    using SetAttributes = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);
    ScopedLibrary user32(::LoadLibraryW(L"User32.DLL"));
    if (!user32)
        return;
    auto set = reinterpret_cast<SetAttributes>(
        reinterpret_cast<void*>(::GetProcAddress(user32.Get(), "SetLayeredWindowAttributes")));
    if (set)
        set(hwnd, transparentColor, 0, LWA_COLORKEY);
}
