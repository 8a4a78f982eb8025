#include "gamewindow/win32/game_window.h"

#include "framework/win32/message_loop.h"
#include "gamewindow/win32/game_dlg.h"
#include "gamewindow/win32/game_loop.h"

int RunGameWindow(const GameWindowSettings& settings)
{
    CMessageLoop loop;
    const bool registered = MessageLoopRegistry::Add(&loop);
    int result = 1;
    {
        WindowObject<CGameDlg> window(settings);
        // A window whose browser could not be created is gone already, and
        // nothing would ever post the quit message the loop waits for.
        if (window.Create(nullptr) && window.Hwnd()) {
            RunGameLoop(window.Hwnd(), window.BrowserHost());
            result = 0;
        }
    }
    if (registered)
        MessageLoopRegistry::Remove();
    return result;
}
