// The keyboard hook's gates: which keystrokes the login page is handed.
#include "skin/win32/browser_key_hook.h"

#include <gtest/gtest.h>

namespace {

void SetKeyDown(BYTE key, bool down)
{
    BYTE state[256] = {};
    GetKeyboardState(state);
    state[key] = down ? 0x80 : 0;
    SetKeyboardState(state);
}

// A keyboard hook's lParam: repeat count 1, the key's scan code, and the
// previous-state and transition bits.
LPARAM KeyFlags(UINT scanCode, bool wasDown, bool releasing)
{
    DWORD flags = 1 | (scanCode << 16);
    if (wasDown)
        flags |= 1u << 30;
    if (releasing)
        flags |= 1u << 31;
    return static_cast<LPARAM>(static_cast<LONG>(flags));
}

} // namespace

TEST(BrowserKeyHook, TabWhileDownAndEnterOnItsReleaseReachThePage)
{
    HWND host = GetDesktopWindow(); // only named in the message
    MSG msg = {};
    const LPARAM tabPress = KeyFlags(0x0F, false, false);
    SetKeyDown(VK_TAB, true);
    ASSERT_TRUE(PageKeyMessage(host, VK_TAB, tabPress, &msg));
    EXPECT_EQ(msg.hwnd, host);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(msg.wParam, static_cast<WPARAM>(VK_TAB));
    EXPECT_EQ(msg.lParam, tabPress);
    EXPECT_EQ(msg.time, 0u);
    EXPECT_EQ(msg.pt.x, 0);
    // Tab's release, and Tab whenever the key is not down, forward nothing.
    SetKeyDown(VK_TAB, false);
    EXPECT_FALSE(PageKeyMessage(host, VK_TAB, tabPress, &msg));
    EXPECT_FALSE(PageKeyMessage(host, VK_TAB, KeyFlags(0x0F, true, true), &msg));

    // Enter: its press and auto-repeats forward nothing, whatever the key
    // state says; its release is handed over as a key-up.
    for (bool down : {true, false}) {
        SetKeyDown(VK_RETURN, down);
        EXPECT_FALSE(PageKeyMessage(host, VK_RETURN, KeyFlags(0x1C, false, false), &msg));
        EXPECT_FALSE(PageKeyMessage(host, VK_RETURN, KeyFlags(0x1C, true, false), &msg));
    }
    const LPARAM enterRelease = KeyFlags(0x1C, true, true);
    ASSERT_TRUE(PageKeyMessage(host, VK_RETURN, enterRelease, &msg));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_KEYUP));
    EXPECT_EQ(msg.wParam, static_cast<WPARAM>(VK_RETURN));
    EXPECT_EQ(msg.lParam, enterRelease);

    // Other keys never.
    SetKeyDown(VK_SPACE, true);
    EXPECT_FALSE(PageKeyMessage(host, VK_SPACE, KeyFlags(0x39, false, false), &msg));
    EXPECT_FALSE(PageKeyMessage(host, 'A', KeyFlags(0x1E, true, true), &msg));
    SetKeyDown(VK_SPACE, false);
}
