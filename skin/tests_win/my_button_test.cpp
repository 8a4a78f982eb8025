// A skinned button driven by mouse messages through its real window
// procedures, checked by the pixels it paints.
#include "framework/win32/window.h"
#include "resources/resource_ids.h"
#include "skin/win32/my_button.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

// A parent that reflects notifications and records clicks.
class ButtonHost : public CDialog {
public:
    ButtonHost() : CDialog(IDD_LOGIN_PAGE)
    {
        m_map.On(WM_COMMAND, [this](WindowMessage& msg) {
            if (HIWORD(msg.wParam) != BN_CLICKED || !msg.lParam)
                return false;
            clicks.push_back(LOWORD(msg.wParam));
            return true;
        });
        m_map.OnAny(ReflectNotification);
    }
    std::vector<int> clicks;
};

class CountingButton : public MyButton {
public:
    void DrawItem(DRAWITEMSTRUCT* item) override
    {
        ++paints;
        MyButton::DrawItem(item);
    }
    int paints = 0;
};

// A pixel of a picture as TransparentBlt puts it on screen.
COLORREF PicturePixel(int id, int x, int y)
{
    MyImage image;
    image.Load(id);
    std::vector<uint8_t> bits(static_cast<size_t>(image.Width()) * image.Height() * 4);
    GetBitmapBits(image.Bitmap(), static_cast<LONG>(bits.size()), bits.data());
    const uint8_t* p = &bits[(static_cast<size_t>(y) * image.Width() + x) * 4];
    return RGB(p[2], p[1], p[0]);
}

bool Near(COLORREF a, COLORREF b)
{
    return std::abs(GetRValue(a) - GetRValue(b)) <= 3 && std::abs(GetGValue(a) - GetGValue(b)) <= 3 &&
           std::abs(GetBValue(a) - GetBValue(b)) <= 3;
}

void Pump()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

class MyButtonTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(host.Create(nullptr), nullptr);
        SetWindowPos(host.Hwnd(), HWND_TOP, 40, 40, 300, 200, SWP_SHOWWINDOW | SWP_NOACTIVATE);
        hwnd = GetDlgItem(host.Hwnd(), IDC_LOGIN_CLOSE);
        ASSERT_TRUE(button.Init(hwnd, 292, 291, 290, 290));
        MoveWindow(hwnd, 20, 20, 32, 32, TRUE);
        SetCursorPos(2, 2);
        RedrawWindow(host.Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        Pump();
    }
    // Puts the cursor on the button's point (x, y); the system then sends
    // the button its mouse messages.
    void MoveCursorTo(int x, int y)
    {
        POINT p = {x, y};
        ClientToScreen(hwnd, &p);
        SetCursorPos(p.x, p.y);
        for (int i = 0; i < 5; ++i) {
            Pump();
            Sleep(10);
        }
    }
    void TearDown() override { host.DestroyWindow(); }

    COLORREF Shown(int x, int y)
    {
        ScopedWindowDc dc(hwnd);
        return GetPixel(dc.Get(), x, y);
    }
    void Mouse(UINT message, int x, int y, WPARAM keys = 0)
    {
        SendMessageW(hwnd, message, keys, MAKELPARAM(x, y));
    }

    WindowObject<ButtonHost> host;
    CountingButton button;
    HWND hwnd = nullptr;
    // A spot on the disc, clear of the glyph, where the states differ.
    static constexpr int kX = 15, kY = 7;
};

} // namespace

TEST(MyButtonInit, NullWindowIsRefused)
{
    MyButton button;
    EXPECT_FALSE(button.Init(nullptr, 292, 291, 290, 290));
    EXPECT_EQ(button.Hwnd(), nullptr);
}

TEST_F(MyButtonTest, TakesItsPictureSizeAndDrawsItAsStored)
{
    RECT client;
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, 31);
    EXPECT_EQ(client.bottom, 31);
    EXPECT_GE(button.paints, 1);
    EXPECT_TRUE(Near(Shown(kX, kY), PicturePixel(292, kX, kY)));
    // Fully transparent corners come out black.
    EXPECT_EQ(Shown(0, 0), RGB(0, 0, 0));
    EXPECT_EQ(Shown(30, 30), RGB(0, 0, 0));
}

TEST_F(MyButtonTest, FollowsHoverPressAndRelease)
{
    const COLORREF normal = PicturePixel(292, kX, kY);
    const COLORREF hover = PicturePixel(291, kX, kY);
    const COLORREF pressed = PicturePixel(290, kX, kY);
    ASSERT_FALSE(Near(normal, hover));
    ASSERT_FALSE(Near(hover, pressed));

    EXPECT_FALSE(button.IsHover());
    const int before = button.paints;
    MoveCursorTo(15, 15);
    EXPECT_TRUE(button.IsHover());
    EXPECT_EQ(button.paints, before + 1); // one repaint on entering
    MoveCursorTo(16, 15);
    MoveCursorTo(17, 16);
    EXPECT_EQ(button.paints, before + 1); // none while moving within
    EXPECT_TRUE(Near(Shown(kX, kY), hover));

    Mouse(WM_LBUTTONDOWN, 15, 15, MK_LBUTTON);
    EXPECT_TRUE(button.IsPressed());
    EXPECT_EQ(GetCapture(), hwnd);
    EXPECT_TRUE(Near(Shown(kX, kY), pressed));

    Mouse(WM_LBUTTONUP, 15, 15);
    EXPECT_FALSE(button.IsPressed());
    EXPECT_TRUE(Near(Shown(kX, kY), hover));
    EXPECT_EQ(host.clicks, std::vector<int>{IDC_LOGIN_CLOSE});
}

TEST_F(MyButtonTest, ReleaseOffTheButtonIsNoClick)
{
    MoveCursorTo(15, 15);
    Mouse(WM_LBUTTONDOWN, 15, 15, MK_LBUTTON);
    Mouse(WM_MOUSEMOVE, 120, 90, MK_LBUTTON); // dragged off, still captured
    EXPECT_TRUE(Near(Shown(kX, kY), PicturePixel(290, kX, kY)));
    Mouse(WM_LBUTTONUP, 120, 90);
    EXPECT_FALSE(button.IsPressed());
    EXPECT_TRUE(host.clicks.empty());
}

TEST_F(MyButtonTest, DisabledPictureWinsOverHoverAndPress)
{
    MoveCursorTo(15, 15);
    EnableWindow(hwnd, FALSE);
    UpdateWindow(hwnd);
    EXPECT_TRUE(button.IsHover());
    EXPECT_TRUE(Near(Shown(kX, kY), PicturePixel(290, kX, kY)));
    EnableWindow(hwnd, TRUE);
    UpdateWindow(hwnd);
    EXPECT_TRUE(Near(Shown(kX, kY), PicturePixel(291, kX, kY)));
}

TEST_F(MyButtonTest, LeavingTheButtonEndsHover)
{
    MoveCursorTo(15, 15);
    ASSERT_TRUE(button.IsHover());
    const int before = button.paints;
    // The leave tracking notices the cursor going elsewhere.
    SetCursorPos(2, 2);
    for (int i = 0; i < 100 && button.IsHover(); ++i) {
        Pump();
        Sleep(20);
    }
    EXPECT_FALSE(button.IsHover());
    // Ours; the system button may repaint its own hot state as well.
    EXPECT_GE(button.paints, before + 1);
    EXPECT_TRUE(Near(Shown(kX, kY), PicturePixel(292, kX, kY)));
}
