#include "skin/win32/my_button.h"

#include "framework/handles.h"

MyButton::MyButton()
{
    // Nothing is erased: a repaint shows only the picture.
    m_map.Handle(WM_ERASEBKGND, [](WindowMessage&) -> LRESULT { return 1; });
    // Press and release repaint, then leave the click to the system button.
    m_map.On(WM_LBUTTONDOWN, [this](WindowMessage&) {
        ::SetCapture(m_hWnd);
        isPressed = 1;
        Repaint();
        return false;
    });
    m_map.On(WM_LBUTTONUP, [this](WindowMessage&) {
        isPressed = 0;
        Repaint();
        return false;
    });
    m_map.On(WM_MOUSELEAVE, [this](WindowMessage&) {
        if (isHover == 1) {
            isHover = 0;
            Repaint();
        }
        return false;
    });
    m_map.On(WM_MOUSEMOVE, [this](WindowMessage& msg) {
        if (isHover != 0)
            return false;
        isHover = 1;
        Repaint();
        TRACKMOUSEEVENT track = {};
        track.cbSize = sizeof track;
        track.dwFlags = TME_LEAVE;
        track.hwndTrack = m_hWnd;
        msg.result = ::TrackMouseEvent(&track);
        return true;
    });
    m_map.Handle(kOcmDrawItem, [this](WindowMessage& msg) -> LRESULT {
        DrawItem(reinterpret_cast<DRAWITEMSTRUCT*>(msg.lParam));
        return TRUE;
    });
    m_map.Handle(kOcmMeasureItem, [this](WindowMessage& msg) -> LRESULT {
        MeasureItem(reinterpret_cast<MEASUREITEMSTRUCT*>(msg.lParam));
        return TRUE;
    });
    m_map.Handle(kOcmCompareItem, [](WindowMessage&) -> LRESULT { return 0; });
    m_map.Handle(kOcmDeleteItem, [](WindowMessage&) -> LRESULT { return TRUE; });
    // Any other reflected notification gets the default answer to the
    // original message.
    m_map.OnRange(kReflectedFirst, kReflectedLast, [](WindowMessage& msg) {
        msg.result = ::DefWindowProcW(msg.hwnd, msg.message - kReflectedBase, msg.wParam, msg.lParam);
        return true;
    });
}

bool MyButton::Init(HWND hwnd, int normalId, int hoverId, int pressedId, int disabledId)
{
    if (!hwnd)
        return false;
    isHover = 0;
    isPressed = 0;
    SubclassWindow(hwnd);
    normalImage.Load(normalId);
    hoverImage.Load(hoverId);
    pressedImage.Load(pressedId);
    disabledImage.Load(disabledId);
    return true;
}

const MyImage& MyButton::CurrentImage() const
{
    if (!::IsWindowEnabled(m_hWnd))
        return disabledImage;
    if (isPressed)
        return pressedImage;
    if (isHover)
        return hoverImage;
    return normalImage;
}

void MyButton::Repaint() const
{
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
    ::UpdateWindow(m_hWnd);
}

void MyButton::DrawItem(DRAWITEMSTRUCT*)
{
    ScopedWindowDc dc(m_hWnd);
    if (!dc.Get())
        return;
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    const MyImage& image = CurrentImage();
    const int w = image.Width();
    const int h = image.Height();
    // A button always takes the size of the picture it shows.
    if (client.right - client.left != w || client.bottom - client.top != h)
        ResizeClient(m_hWnd, w, h);
    if (!image.Bitmap() || w <= 0 || h <= 0)
        return;
    ScopedMemoryDc memory(::CreateCompatibleDC(dc.Get()));
    if (!memory)
        return;
    ScopedSelect select(memory.Get(), image.Bitmap());
    ::TransparentBlt(dc.Get(), 0, 0, w, h, memory.Get(), 0, 0, w, h, kTransparentKey);
}

void MyButton::MeasureItem(MEASUREITEMSTRUCT* item) const
{
    if (item->CtlType == ODT_MENU) {
        item->itemHeight = ::GetSystemMetrics(SM_CYMENU);
        return;
    }
    ScopedWindowDc dc(m_hWnd);
    TEXTMETRICW metrics = {};
    if (dc.Get() && ::GetTextMetricsW(dc.Get(), &metrics))
        item->itemHeight = metrics.tmHeight;
}
