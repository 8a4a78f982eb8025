#include "framework/win32/window.h"
#include "resources/resource_ids.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

WindowMessage Message(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
{
    return WindowMessage{nullptr, message, wParam, lParam, 0};
}

// Template 129 as a plain modeless dialog whose map the test fills.
class TestDialog : public CDialog {
public:
    TestDialog() : CDialog(IDD_LOGIN_PAGE) {}
    CMessageMap& Map() { return m_map; }
};

class RecordingControl : public CSubclassedWindow {
public:
    RecordingControl()
    {
        m_map.OnRange(kReflectedFirst, kReflectedLast, [this](WindowMessage& msg) {
            reflected.push_back(msg.message);
            msg.result = 77;
            return true;
        });
        m_map.Handle(WM_APP, [](WindowMessage&) -> LRESULT { return 5; });
    }
    std::vector<UINT> reflected;
};

} // namespace

TEST(MessageMap, FirstTakerWinsAndDecliningPassesOn)
{
    CMessageMap map;
    std::vector<int> calls;
    map.On(WM_APP, [&](WindowMessage&) {
        calls.push_back(1);
        return false;
    });
    map.Handle(WM_APP, [&](WindowMessage&) -> LRESULT {
        calls.push_back(2);
        return 42;
    });
    map.Handle(WM_APP, [&](WindowMessage&) -> LRESULT {
        calls.push_back(3);
        return 0;
    });
    WindowMessage msg = Message(WM_APP);
    EXPECT_TRUE(map.Dispatch(msg));
    EXPECT_EQ(msg.result, 42);
    EXPECT_EQ(calls, (std::vector<int>{1, 2}));

    WindowMessage other = Message(WM_APP + 1);
    EXPECT_FALSE(map.Dispatch(other));
}

TEST(MessageMap, CommandsMatchIdAndNotificationAndRangesTheirBounds)
{
    CMessageMap map;
    int clicked = 0;
    int ranged = 0;
    map.OnCommand(1007, BN_CLICKED, [&] { ++clicked; });
    map.OnRange(WM_APP + 10, WM_APP + 12, [&](WindowMessage&) { return ++ranged, true; });

    WindowMessage click = Message(WM_COMMAND, MAKEWPARAM(1007, BN_CLICKED));
    EXPECT_TRUE(map.Dispatch(click));
    WindowMessage otherId = Message(WM_COMMAND, MAKEWPARAM(1008, BN_CLICKED));
    EXPECT_FALSE(map.Dispatch(otherId));
    WindowMessage otherCode = Message(WM_COMMAND, MAKEWPARAM(1007, BN_DOUBLECLICKED));
    EXPECT_FALSE(map.Dispatch(otherCode));
    EXPECT_EQ(clicked, 1);

    for (UINT m : {WM_APP + 9, WM_APP + 10, WM_APP + 12, WM_APP + 13}) {
        WindowMessage msg = Message(m);
        map.Dispatch(msg);
    }
    EXPECT_EQ(ranged, 2);
}

TEST(Dialog, ModelessDialogAnswersThroughItsMapAndLetsGoOnDestroy)
{
    TestDialog dialog;
    bool initialised = false;
    dialog.Map().Handle(WM_INITDIALOG, [&](WindowMessage&) -> LRESULT {
        initialised = true;
        return TRUE;
    });
    dialog.Map().Handle(WM_APP, [](WindowMessage&) -> LRESULT { return 1234; });
    dialog.Map().On(WM_APP + 1, [](WindowMessage&) { return false; });
    HWND hwnd = dialog.Create(nullptr);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_TRUE(initialised);
    EXPECT_EQ(dialog.Hwnd(), hwnd);
    // Handled: the result travels through DWLP_MSGRESULT.
    EXPECT_EQ(SendMessageW(hwnd, WM_APP, 0, 0), 1234);
    // Declined: the dialog manager's default answer.
    EXPECT_EQ(SendMessageW(hwnd, WM_APP + 1, 0, 0), 0);
    EXPECT_TRUE(dialog.DestroyWindow());
    EXPECT_EQ(dialog.Hwnd(), nullptr);
}

TEST(Dialog, ModalDialogReturnsWhatEndDialogGives)
{
    TestDialog dialog;
    dialog.Map().Handle(WM_INITDIALOG, [&](WindowMessage& msg) -> LRESULT {
        PostMessageW(msg.hwnd, WM_APP, 0, 0);
        return TRUE;
    });
    dialog.Map().Handle(WM_APP, [&](WindowMessage&) -> LRESULT {
        dialog.EndDialog(7);
        return 0;
    });
    EXPECT_EQ(dialog.DoModal(nullptr), 7);
    EXPECT_EQ(dialog.Hwnd(), nullptr);
}

TEST(Dialog, NotificationsAreReflectedToTheirControlsOnly)
{
    TestDialog dialog;
    dialog.Map().OnAny(ReflectNotification);
    ASSERT_NE(dialog.Create(nullptr), nullptr);
    HWND button = GetDlgItem(dialog.Hwnd(), IDC_LOGIN_MINIMISE);
    RecordingControl control;
    ASSERT_TRUE(control.SubclassWindow(button));

    // A control's command comes back to it as OCM_COMMAND with its answer.
    EXPECT_EQ(SendMessageW(dialog.Hwnd(), WM_COMMAND, MAKEWPARAM(IDC_LOGIN_MINIMISE, BN_DOUBLECLICKED),
                           reinterpret_cast<LPARAM>(button)),
              77);
    // A menu command names no control: not reflected.
    SendMessageW(dialog.Hwnd(), WM_COMMAND, MAKEWPARAM(0x8012, 0), 0);
    // The owner-drawn button's paint request arrives as OCM_DRAWITEM.
    // On screen, where Wine paints.
    SetWindowPos(dialog.Hwnd(), nullptr, 0, 0, 200, 100, SWP_NOZORDER | SWP_NOACTIVATE);
    MoveWindow(button, 10, 10, 30, 30, FALSE);
    ShowWindow(dialog.Hwnd(), SW_SHOWNOACTIVATE);
    RedrawWindow(dialog.Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    ASSERT_FALSE(control.reflected.empty());
    EXPECT_EQ(control.reflected.front(), OCM_COMMAND);
    EXPECT_NE(std::find(control.reflected.begin(), control.reflected.end(), OCM_DRAWITEM), control.reflected.end());
    EXPECT_EQ(std::count(control.reflected.begin(), control.reflected.end(), OCM_COMMAND), 1);
    dialog.DestroyWindow();
}

TEST(SubclassedWindow, PassesOnWhatItDoesNotTakeAndGivesTheWindowBack)
{
    TestDialog dialog;
    ASSERT_NE(dialog.Create(nullptr), nullptr);
    HWND button = GetDlgItem(dialog.Hwnd(), IDC_LOGIN_CLOSE);
    const LONG_PTR original = GetWindowLongPtrW(button, GWLP_WNDPROC);
    {
        RecordingControl control;
        ASSERT_TRUE(control.SubclassWindow(button));
        RecordingControl second;
        EXPECT_FALSE(second.SubclassWindow(button)); // one object per window
        EXPECT_EQ(SendMessageW(button, WM_APP, 0, 0), 5);
        // Not in the map: the button's own procedure answers.
        wchar_t text[16] = {};
        GetWindowTextW(button, text, 16);
        EXPECT_EQ(std::wstring(text), L"\u5173\u95ED");
        EXPECT_EQ(control.UnsubclassWindow(), button);
        EXPECT_EQ(GetWindowLongPtrW(button, GWLP_WNDPROC), original);
        EXPECT_EQ(SendMessageW(button, WM_APP, 0, 0), 0);
        // Subclassed again, then left to its destructor.
        ASSERT_TRUE(control.SubclassWindow(button));
    }
    EXPECT_EQ(GetWindowLongPtrW(button, GWLP_WNDPROC), original);

    // A window destroyed while subclassed lets go of its object.
    RecordingControl control;
    ASSERT_TRUE(control.SubclassWindow(button));
    dialog.DestroyWindow();
    EXPECT_EQ(control.Hwnd(), nullptr);
}

TEST(WindowHelpers, ResizeClientAndCenterWindow)
{
    HWND frame = CreateWindowExW(0, L"STATIC", L"frame", WS_OVERLAPPEDWINDOW, 10, 20, 300, 200, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(frame, nullptr);
    ASSERT_TRUE(ResizeClient(frame, 123, 77));
    RECT client;
    GetClientRect(frame, &client);
    EXPECT_EQ(client.right, 123);
    EXPECT_EQ(client.bottom, 77);

    HWND over = CreateWindowExW(0, L"STATIC", L"over", WS_POPUP | WS_VISIBLE, 200, 150, 400, 300, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(CenterWindow(frame, over));
    RECT a, b;
    GetWindowRect(frame, &a);
    GetWindowRect(over, &b);
    EXPECT_LE(std::abs((a.left + a.right) - (b.left + b.right)), 2);
    EXPECT_LE(std::abs((a.top + a.bottom) - (b.top + b.bottom)), 2);
    DestroyWindow(over);
    DestroyWindow(frame);
}
