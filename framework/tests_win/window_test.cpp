#include "framework/win32/window.h"
#include "resources/resource_ids.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace {

WindowMessage Message(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
{
    return WindowMessage{nullptr, message, wParam, lParam, 0};
}

// Template 129 as a plain modeless dialog whose map the test fills.
class TestDialogBase : public CDialog {
public:
    TestDialogBase() : CDialog(IDD_LOGIN_PAGE) {}
    CMessageMap& Map() { return m_map; }
};
using TestDialog = WindowObject<TestDialogBase>;

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

    // A control's command comes back to it as kOcmCommand with its answer.
    EXPECT_EQ(SendMessageW(dialog.Hwnd(), WM_COMMAND, MAKEWPARAM(IDC_LOGIN_MINIMISE, BN_DOUBLECLICKED),
                           reinterpret_cast<LPARAM>(button)),
              77);
    // A menu command names no control: not reflected.
    SendMessageW(dialog.Hwnd(), WM_COMMAND, MAKEWPARAM(0x8012, 0), 0);
    // The owner-drawn button's paint request arrives as kOcmDrawItem.
    // On screen, where Wine paints.
    SetWindowPos(dialog.Hwnd(), nullptr, 0, 0, 200, 100, SWP_NOZORDER | SWP_NOACTIVATE);
    MoveWindow(button, 10, 10, 30, 30, FALSE);
    ShowWindow(dialog.Hwnd(), SW_SHOWNOACTIVATE);
    RedrawWindow(dialog.Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    ASSERT_FALSE(control.reflected.empty());
    EXPECT_EQ(control.reflected.front(), kOcmCommand);
    EXPECT_NE(std::find(control.reflected.begin(), control.reflected.end(), kOcmDrawItem), control.reflected.end());
    EXPECT_EQ(std::count(control.reflected.begin(), control.reflected.end(), kOcmCommand), 1);
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

namespace {

// Another party that subclasses a window through the same chain.
LRESULT CALLBACK OtherPartyProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR seen)
{
    if (message == WM_APP)
        ++*reinterpret_cast<int*>(seen);
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

} // namespace

TEST(SubclassedWindow, LetsGoEvenWhenSubclassedAgainAfterIt)
{
    TestDialog dialog;
    ASSERT_NE(dialog.Create(nullptr), nullptr);
    HWND button = GetDlgItem(dialog.Hwnd(), IDC_LOGIN_CLOSE);
    const LONG_PTR original = GetWindowLongPtrW(button, GWLP_WNDPROC);
    int theirs = 0;
    auto control = std::make_unique<RecordingControl>();
    ASSERT_TRUE(control->SubclassWindow(button));
    ASSERT_TRUE(SetWindowSubclass(button, OtherPartyProc, 7, reinterpret_cast<DWORD_PTR>(&theirs)));
    EXPECT_EQ(SendMessageW(button, WM_APP, 0, 0), 5); // through both
    EXPECT_EQ(theirs, 1);

    // Our object goes first: its map leaves the chain, the other party's stays.
    control.reset();
    EXPECT_EQ(SendMessageW(button, WM_APP, 0, 0), 0); // the button's own answer
    EXPECT_EQ(theirs, 2);

    // Nothing of ours is left on the window: a new object may take it over.
    RecordingControl again;
    ASSERT_TRUE(again.SubclassWindow(button));
    EXPECT_EQ(SendMessageW(button, WM_APP, 0, 0), 5);
    EXPECT_EQ(again.UnsubclassWindow(), button);
    EXPECT_TRUE(RemoveWindowSubclass(button, OtherPartyProc, 7));
    EXPECT_EQ(GetWindowLongPtrW(button, GWLP_WNDPROC), original);
}

namespace {

// A dialog whose WM_DESTROY handling needs a member of the derived class.
class TrayLikeDialog : public CDialog {
public:
    TrayLikeDialog(std::vector<std::string>& log) : CDialog(IDD_LOGIN_PAGE), m_log(log)
    {
        m_map.Handle(WM_DESTROY, [this](WindowMessage&) -> LRESULT {
            m_log.push_back("destroy:" + m_trayName);
            return 0;
        });
        m_map.On(WM_NCDESTROY, [this](WindowMessage&) {
            m_log.push_back("ncdestroy");
            return false;
        });
    }
    ~TrayLikeDialog() override { m_log.push_back("~TrayLikeDialog"); }

private:
    void OnFinalMessage(HWND) override { m_log.push_back("final"); }

    std::vector<std::string>& m_log;
    std::string m_trayName = "tray icon";
};

} // namespace

// Without the wrapper a dialog class cannot be made at all.
static_assert(std::is_abstract<TrayLikeDialog>::value, "dialogs are made as WindowObject<T>");
static_assert(!std::is_abstract<WindowObject<TrayLikeDialog>>::value, "");

TEST(Dialog, ObjectDestroyedWithItsWindowOpenRunsTheWindowsDestroyHandling)
{
    std::vector<std::string> log;
    auto* dialog = new WindowObject<TrayLikeDialog>(log);
    HWND hwnd = dialog->Create(nullptr);
    ASSERT_NE(hwnd, nullptr);
    delete dialog;
    EXPECT_FALSE(IsWindow(hwnd));
    // WM_DESTROY saw the derived member whole; no OnFinalMessage for an
    // object that is going anyway.
    EXPECT_EQ(log, (std::vector<std::string>{"destroy:tray icon", "ncdestroy", "~TrayLikeDialog"}));

    // A window destroyed first leaves nothing for the destructor to do.
    log.clear();
    {
        WindowObject<TrayLikeDialog> second(log);
        ASSERT_NE(second.Create(nullptr), nullptr);
        second.DestroyWindow();
        EXPECT_EQ(second.Hwnd(), nullptr);
    }
    EXPECT_EQ(log, (std::vector<std::string>{"destroy:tray icon", "ncdestroy", "final", "~TrayLikeDialog"}));
}
