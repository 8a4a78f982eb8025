#include "gamewindow/win32/game_loop.h"

bool IsForwardedInput(UINT message)
{
    return (message >= WM_KEYFIRST && message <= 0x109) || (message >= WM_MOUSEFIRST && message <= 0x20D);
}

void RouteGameMessage(HWND gameWindow, HWND browserHost, MSG& msg)
{
    if (browserHost && IsForwardedInput(msg.message) &&
        (msg.hwnd == gameWindow || IsChild(gameWindow, msg.hwnd)) &&
        SendMessageW(browserHost, WM_FORWARDMSG, 0, reinterpret_cast<LPARAM>(&msg)) != 0)
        return; // the browser control took it
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

void RunGameLoop(HWND gameWindow, HWND browserHost)
{
    MSG msg;
    for (;;) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1)
            break;
        RouteGameMessage(gameWindow, browserHost, msg);
    }
}
