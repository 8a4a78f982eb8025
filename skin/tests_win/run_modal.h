// Runs a test's checks from inside a window's modal loop.
#pragma once

#include "skin/win32/translucent_dlg.h"

#include <windows.h>

#include <functional>

namespace run_modal_detail {
inline std::function<void()>& WhileOpen()
{
    static std::function<void()> whileOpen;
    return whileOpen;
}
inline void CALLBACK Fire(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    if (WhileOpen())
        WhileOpen()();
}
} // namespace run_modal_detail

// Runs `whileOpen` inside the dialog's modal loop, then returns DoModal's result.
inline INT_PTR RunModal(CTranslucentDlg& dialog, std::function<void()> whileOpen)
{
    run_modal_detail::WhileOpen() = std::move(whileOpen);
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, run_modal_detail::Fire);
    const INT_PTR result = dialog.DoModal(nullptr);
    KillTimer(nullptr, timer); // when the window ended before the checks ran
    run_modal_detail::WhileOpen() = nullptr;
    return result;
}

// Handles this thread's messages until `done` holds or `ms` pass; whether
// it held.
inline bool PumpUntil(const std::function<bool()>& done, DWORD ms)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > ms)
            return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(10);
    }
    return true;
}
