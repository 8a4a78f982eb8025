// Windows of our own classes: bound at WM_NCCREATE, whether made through
// their object or by class name from elsewhere.
#include "framework/win32/window.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const WindowClassInfo kTestClass = {L"KestrunTestWindow"};
const WindowClassInfo kMadeByNameClass = {L"KestrunTestWindowByName"};

class TestWindowBase : public CWindow {
public:
    TestWindowBase()
    {
        ++s_alive;
        m_map.On(WM_NCCREATE, [this](WindowMessage& msg) {
            seen.push_back(msg.message);
            param = reinterpret_cast<const CREATESTRUCTW*>(msg.lParam)->lpCreateParams;
            return false; // the default sets the title
        });
        m_map.On(WM_CREATE, [this](WindowMessage& msg) {
            seen.push_back(msg.message);
            return false;
        });
        m_map.Handle(WM_APP, [this](WindowMessage&) -> LRESULT { return reinterpret_cast<LRESULT>(this); });
    }
    ~TestWindowBase() override { --s_alive; }

    std::vector<UINT> seen;
    void* param = nullptr;
    static int s_alive;
};
int TestWindowBase::s_alive = 0;

using TestWindow = WindowObject<TestWindowBase>;

} // namespace

TEST(ClassWindow, CreateBindsTheObjectFromWmNcCreateOn)
{
    TestWindow window;
    int tag = 0;
    HWND hwnd = window.Create(kTestClass, nullptr, RECT{0, 0, 100, 50}, L"title", WS_POPUP, 0, nullptr, &tag);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(window.Hwnd(), hwnd);
    ASSERT_FALSE(window.seen.empty());
    EXPECT_EQ(window.seen.front(), static_cast<UINT>(WM_NCCREATE));
    EXPECT_EQ(window.seen.back(), static_cast<UINT>(WM_CREATE));
    EXPECT_EQ(window.param, &tag);
    EXPECT_EQ(SendMessageW(hwnd, WM_APP, 0, 0), reinterpret_cast<LRESULT>(&window));
    wchar_t text[16] = {};
    GetWindowTextW(hwnd, text, 16);
    EXPECT_STREQ(text, L"title");
    // A second window of the now registered class.
    TestWindow second;
    ASSERT_NE(second.Create(kTestClass, nullptr, RECT{0, 0, 10, 10}, L"", WS_POPUP), nullptr);
    EXPECT_EQ(SendMessageW(second.Hwnd(), WM_APP, 0, 0), reinterpret_cast<LRESULT>(&second));
    EXPECT_TRUE(window.DestroyWindow());
    EXPECT_EQ(window.Hwnd(), nullptr);
    // `second` goes with its destructor.
}

TEST(ClassWindow, WindowsMadeByClassNameGetAnObjectOfTheirOwn)
{
    HINSTANCE module = GetModuleHandleW(nullptr);
    ASSERT_TRUE(CWindow::RegisterClassWithObjects<TestWindowBase>(module, kMadeByNameClass));
    EXPECT_TRUE(CWindow::RegisterClassWithObjects<TestWindowBase>(module, kMadeByNameClass)); // exists: kept
    const int before = TestWindowBase::s_alive;
    HWND a = CreateWindowExW(0, kMadeByNameClass.name, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, module, nullptr);
    HWND b = CreateWindowExW(0, kMadeByNameClass.name, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, module, nullptr);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(TestWindowBase::s_alive, before + 2);
    const LRESULT objectA = SendMessageW(a, WM_APP, 0, 0);
    EXPECT_NE(objectA, 0);
    EXPECT_NE(objectA, SendMessageW(b, WM_APP, 0, 0));
    DestroyWindow(a);
    DestroyWindow(b);
    EXPECT_EQ(TestWindowBase::s_alive, before);
}

TEST(ClassWindow, ForeignClassOfTheSameNameIsRefused)
{
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KestrunForeignClass";
    ASSERT_NE(RegisterClassExW(&wc), 0);
    TestWindow window;
    const WindowClassInfo foreign = {L"KestrunForeignClass"};
    EXPECT_EQ(window.Create(foreign, nullptr, RECT{0, 0, 10, 10}, L"", WS_POPUP), nullptr);
    EXPECT_EQ(window.Hwnd(), nullptr);
    EXPECT_EQ(FindWindowW(L"KestrunForeignClass", nullptr), nullptr);
}
