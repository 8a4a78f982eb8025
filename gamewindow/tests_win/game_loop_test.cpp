#include "gamewindow/win32/game_loop.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Seen {
    std::vector<UINT> forwarded; // messages the host was offered
    std::vector<UINT> dispatched; // messages that reached the game window or its child
    bool hostTakesKeys = true;
};
Seen* g_seen = nullptr;

LRESULT CALLBACK HostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_FORWARDMSG) {
        const MSG* msg = reinterpret_cast<const MSG*>(lParam);
        g_seen->forwarded.push_back(msg->message);
        return g_seen->hostTakesKeys && msg->message == WM_KEYDOWN;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK GameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_KEYDOWN || message == WM_LBUTTONDOWN || message == WM_APP || message == WM_KEYUP)
        g_seen->dispatched.push_back(message);
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

class GameLoop : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_seen = &seen;
        WNDCLASSW wc = {};
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpfnWndProc = GameProc;
        wc.lpszClassName = L"KestrunTestGame";
        RegisterClassW(&wc);
        wc.lpfnWndProc = HostProc;
        wc.lpszClassName = L"KestrunTestHost";
        RegisterClassW(&wc);
        game = CreateWindowW(L"KestrunTestGame", L"game", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
        child = CreateWindowW(L"KestrunTestGame", L"child", WS_CHILD, 0, 0, 10, 10, game, nullptr, nullptr, nullptr);
        host = CreateWindowW(L"KestrunTestHost", L"host", WS_CHILD, 0, 0, 10, 10, game, nullptr, nullptr, nullptr);
        other = CreateWindowW(L"KestrunTestGame", L"other", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(game && child && host && other);
    }
    void TearDown() override
    {
        DestroyWindow(other);
        DestroyWindow(game);
        g_seen = nullptr;
    }
    Seen seen;
    HWND game = nullptr, child = nullptr, host = nullptr, other = nullptr;
};

} // namespace

TEST(GameLoopInput, ForwardsOnlyKeyboardAndMouseRanges)
{
    EXPECT_TRUE(IsForwardedInput(0x100));
    EXPECT_TRUE(IsForwardedInput(0x109));
    EXPECT_FALSE(IsForwardedInput(0x10A));
    EXPECT_FALSE(IsForwardedInput(0xFF));
    EXPECT_TRUE(IsForwardedInput(0x200));
    EXPECT_TRUE(IsForwardedInput(0x20D));
    EXPECT_FALSE(IsForwardedInput(0x20E));
    EXPECT_FALSE(IsForwardedInput(WM_PAINT));
}

TEST_F(GameLoop, KeyTakenByTheBrowserIsNotDispatchedAgain)
{
    PostMessageW(child, WM_KEYDOWN, 'A', 0);   // host takes it
    PostMessageW(game, WM_LBUTTONDOWN, 0, 0);  // offered, declined, dispatched
    PostMessageW(other, WM_KEYDOWN, 'B', 0);   // not ours: never offered
    PostMessageW(game, WM_APP, 0, 0);          // not input: dispatched directly
    PostQuitMessage(0);
    RunGameLoop(game, host);
    EXPECT_EQ(seen.forwarded, (std::vector<UINT>{WM_KEYDOWN, WM_LBUTTONDOWN}));
    EXPECT_EQ(seen.dispatched, (std::vector<UINT>{WM_LBUTTONDOWN, WM_KEYDOWN, WM_APP}));
}

TEST_F(GameLoop, WithoutBrowserHostEverythingIsDispatched)
{
    PostMessageW(game, WM_KEYDOWN, 'A', 0);
    PostMessageW(child, WM_KEYUP, 'A', 0);
    PostQuitMessage(0);
    RunGameLoop(game, nullptr);
    EXPECT_TRUE(seen.forwarded.empty());
    EXPECT_EQ(seen.dispatched, (std::vector<UINT>{WM_KEYDOWN, WM_KEYUP}));
}
