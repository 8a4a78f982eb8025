#include "skin/win32/update_window.h"

#include "framework/handles.h"
#include "framework/win32/window.h"
#include "resources/resource_ids.h"
#include "widgets/win32/my_button.h"
#include "widgets/win32/skin_bitmap.h"

#include <windows.h>

#include <string>

namespace {

// How often the window reads the check's state.
constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kPollMs = 100;

// Pixel places on the 568 x 258 panel (skin picture 296): the text and the
// bar lie right of the crest, the caption buttons at the top right.
constexpr int kPanelWidth = 568;
constexpr int kPanelHeight = 258;
struct Place {
    int id;
    RECT rect; // left, top, right, bottom
};
const Place kPlaces[] = {
    {IDC_UPDATE_STATUS, {226, 178, 546, 198}},  {IDC_UPDATE_BAR, {226, 206, 476, 216}},
    {IDC_UPDATE_PERCENT, {484, 201, 546, 221}}, {IDC_UPDATE_SKIP, {436, 224, 546, 250}},
    {IDC_UPDATE_MINIMISE, {494, 6, 524, 31}},   {IDC_UPDATE_CLOSE, {526, 6, 560, 31}},
};

// The skin's palette: night-blue enamel, teal and old gold.
constexpr COLORREF kGoldLight = RGB(250, 218, 140);
constexpr COLORREF kGold = RGB(222, 178, 92);
constexpr COLORREF kGoldDark = RGB(128, 94, 40);
constexpr COLORREF kNightLow = RGB(8, 11, 18);
constexpr COLORREF kPlate = RGB(34, 42, 56);
constexpr COLORREF kPlatePressed = RGB(16, 70, 82);
constexpr COLORREF kPlateText = RGB(226, 212, 178);

std::wstring ResourceText(UINT id)
{
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<wchar_t*>(&text), 0);
    return length > 0 && text ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

// "0%" to "100%", written out by hand: the library's wide formatting would
// bring a whole printf implementation into the product.
std::wstring PercentText(int percent)
{
    std::wstring digits;
    do {
        digits.insert(digits.begin(), static_cast<wchar_t>(L'0' + percent % 10));
        percent /= 10;
    } while (percent > 0);
    return digits + L"%";
}

void FillSolid(HDC dc, const RECT& rect, COLORREF colour)
{
    UniqueHandle<GdiObjectTraits> brush(::CreateSolidBrush(colour));
    ::FillRect(dc, &rect, static_cast<HBRUSH>(brush.Get()));
}

class CUpdateDlg : public CDialog {
public:
    explicit CUpdateDlg(IUpdateWindowSource& source)
        : CDialog(IDD_UPDATE)
        , m_source(source)
        , m_checking(ResourceText(IDS_UPDATE_CHECKING))
        , m_downloading(ResourceText(IDS_UPDATE_DOWNLOADING))
    {
        m_panel.LoadFromResource(IDR_SKIN_UPDATE_PANEL);
        m_map.Handle(WM_INITDIALOG, [this](WindowMessage&) -> LRESULT {
            OnInitDialog();
            return TRUE;
        });
        m_map.Handle(WM_TIMER, [this](WindowMessage&) -> LRESULT {
            Refresh();
            return 0;
        });
        m_map.Handle(WM_ERASEBKGND, [this](WindowMessage& msg) -> LRESULT {
            RECT client;
            ::GetClientRect(m_hWnd, &client);
            DrawPanel(reinterpret_cast<HDC>(msg.wParam), client, 0, 0);
            return 1;
        });
        // A press anywhere on the panel drags the window.
        m_map.Handle(WM_LBUTTONDOWN, [this](WindowMessage& msg) -> LRESULT {
            ::PostMessageW(m_hWnd, WM_NCLBUTTONDOWN, HTCAPTION, msg.lParam);
            return 0;
        });
        m_map.OnCommand(IDC_UPDATE_SKIP, BN_CLICKED, [this] { End(true); });
        m_map.OnCommand(IDC_UPDATE_CLOSE, BN_CLICKED, [this] { End(true); });
        m_map.OnCommand(IDCANCEL, BN_CLICKED, [this] { End(true); }); // Esc
        m_map.OnCommand(IDC_UPDATE_MINIMISE, BN_CLICKED,
                        [this] { ::PostMessageW(m_hWnd, WM_SYSCOMMAND, SC_MINIMIZE, 0); });
        m_map.Handle(WM_CLOSE, [this](WindowMessage&) -> LRESULT {
            End(true);
            return 0;
        });
        m_map.On(WM_DRAWITEM, [this](WindowMessage& msg) {
            msg.result = TRUE;
            return DrawPart(*reinterpret_cast<DRAWITEMSTRUCT*>(msg.lParam));
        });
        // The caption buttons paint themselves from reflected WM_DRAWITEM.
        m_map.OnAny(ReflectNotification);
    }

    bool Ended() const { return m_ended; }
    bool Skipped() const { return m_skipped; }

private:
    void OnInitDialog()
    {
        m_icons.Apply(m_hWnd, IDI_KESTRUN);
        ::SetWindowTextW(m_hWnd, ResourceText(IDS_UPDATE_TITLE).c_str());
        for (const Place& place : kPlaces) {
            const RECT& r = place.rect;
            ::MoveWindow(::GetDlgItem(m_hWnd, place.id), r.left, r.top, r.right - r.left, r.bottom - r.top, FALSE);
        }
        // The game window's caption buttons: normal, hover, pressed, disabled.
        m_minimise.Init(::GetDlgItem(m_hWnd, IDC_UPDATE_MINIMISE), 314, 313, 312, 312);
        m_close.Init(::GetDlgItem(m_hWnd, IDC_UPDATE_CLOSE), 295, 294, 293, 293);
        RECT work = {};
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        // Without its picture the window keeps the picture's size, so that
        // its parts, the skip button among them, stay in view.
        const int w = m_panel.width > 0 ? m_panel.width : kPanelWidth;
        const int h = m_panel.height > 0 ? m_panel.height : kPanelHeight;
        ::MoveWindow(m_hWnd, work.left + (work.right - work.left - w) / 2, work.top + (work.bottom - work.top - h) / 2,
                     w, h, FALSE);
        Refresh();
        ::SetTimer(m_hWnd, kPollTimer, kPollMs, nullptr);
    }

    // Reads the check's state and redraws only what changed.
    void Refresh()
    {
        const UpdateWindowState now = m_source.Poll();
        if (now.finished) {
            End(false);
            return;
        }
        const bool first = !m_refreshed;
        m_refreshed = true;
        if (first || now.downloading != m_shown.downloading)
            SetPartText(IDC_UPDATE_STATUS, now.downloading ? m_downloading : m_checking);
        const int percent = DownloadPercent(now.received, now.total);
        if (first || now.downloading != m_shown.downloading ||
            percent != DownloadPercent(m_shown.received, m_shown.total)) {
            const std::wstring text = now.downloading ? PercentText(percent) : std::wstring();
            m_shown = now; // the bar reads it when it paints
            SetPartText(IDC_UPDATE_PERCENT, text);
            ::InvalidateRect(::GetDlgItem(m_hWnd, IDC_UPDATE_BAR), nullptr, FALSE);
        }
        m_shown = now;
    }

    // An owner-drawn part keeps its text for GetWindowText (and for tools
    // that read it) and is drawn again.
    void SetPartText(int id, const std::wstring& text)
    {
        ::SetDlgItemTextW(m_hWnd, id, text.c_str());
        ::InvalidateRect(::GetDlgItem(m_hWnd, id), nullptr, FALSE);
    }

    void End(bool skipped)
    {
        if (m_ended)
            return;
        m_ended = true;
        m_skipped = skipped;
        ::KillTimer(m_hWnd, kPollTimer);
        ::ShowWindow(m_hWnd, SW_HIDE);
    }

    // The panel's pixels under `area` of the client, put at (x, y) of dc.
    void DrawPanel(HDC dc, const RECT& area, int x, int y) const
    {
        ScopedMemoryDc memory(::CreateCompatibleDC(dc));
        if (!memory || !m_panel.bitmap) {
            FillSolid(dc, RECT{x, y, x + area.right - area.left, y + area.bottom - area.top}, kNightLow);
            return;
        }
        ScopedSelect select(memory.Get(), m_panel.bitmap.Get());
        ::BitBlt(dc, x, y, area.right - area.left, area.bottom - area.top, memory.Get(), area.left, area.top, SRCCOPY);
    }

    // The owner-drawn texts, bar and skip button; false for the caption
    // buttons, which draw themselves.
    bool DrawPart(const DRAWITEMSTRUCT& item)
    {
        if (item.CtlID == IDC_UPDATE_MINIMISE || item.CtlID == IDC_UPDATE_CLOSE)
            return false;
        RECT own = item.rcItem;
        RECT onPanel = own;
        ::MapWindowPoints(item.hwndItem, m_hWnd, reinterpret_cast<POINT*>(&onPanel), 2);
        DrawPanel(item.hDC, onPanel, own.left, own.top);
        const HFONT font = reinterpret_cast<HFONT>(::SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
        ScopedSelect selectFont(item.hDC, font);
        ::SetBkMode(item.hDC, TRANSPARENT);
        wchar_t text[64] = {};
        ::GetWindowTextW(item.hwndItem, text, 64);
        switch (item.CtlID) {
        case IDC_UPDATE_BAR: {
            FillSolid(item.hDC, own, kGoldDark);
            RECT track = {own.left + 1, own.top + 1, own.right - 1, own.bottom - 1};
            FillSolid(item.hDC, track, kNightLow);
            const int percent = m_shown.downloading ? DownloadPercent(m_shown.received, m_shown.total) : 0;
            track.right = track.left + (track.right - track.left) * percent / 100;
            if (track.right > track.left)
                FillSolid(item.hDC, track, kGold);
            break;
        }
        case IDC_UPDATE_SKIP: {
            const bool pressed = (item.itemState & ODS_SELECTED) != 0;
            UniqueHandle<GdiObjectTraits> brush(::CreateSolidBrush(pressed ? kPlatePressed : kPlate));
            UniqueHandle<GdiObjectTraits> pen(::CreatePen(PS_SOLID, 1, pressed ? kGold : kGoldDark));
            ScopedSelect selectBrush(item.hDC, brush.Get());
            ScopedSelect selectPen(item.hDC, pen.Get());
            ::RoundRect(item.hDC, own.left, own.top, own.right, own.bottom, 12, 12);
            ::SetTextColor(item.hDC, pressed ? kGoldLight : kPlateText);
            ::DrawTextW(item.hDC, text, -1, &own, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
            break;
        }
        default: // the status and the percentage
            ::SetTextColor(item.hDC, kGoldLight);
            ::DrawTextW(item.hDC, text, -1, &own,
                        DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS |
                            (item.CtlID == IDC_UPDATE_PERCENT ? DT_RIGHT : DT_LEFT));
            break;
        }
        return true;
    }

    IUpdateWindowSource& m_source;
    const std::wstring m_checking;
    const std::wstring m_downloading;
    SkinBitmap m_panel;
    MyButton m_minimise;
    MyButton m_close;
    CWindowIcons m_icons;
    UpdateWindowState m_shown;
    bool m_refreshed = false;
    bool m_ended = false;
    bool m_skipped = false;
};

} // namespace

int DownloadPercent(size_t received, size_t total)
{
    if (total == 0)
        return 0;
    if (received >= total)
        return 100;
    // In 64 bits: received * 100 fits for any length a download allows.
    return static_cast<int>(static_cast<unsigned long long>(received) * 100 / total);
}

bool RunUpdateWindow(IUpdateWindowSource& source)
{
    WindowObject<CUpdateDlg> window(source);
    const HWND hwnd = window.Create(nullptr);
    if (!hwnd) {
        while (!source.Poll().finished)
            ::Sleep(kPollMs);
        return false;
    }
    if (!window.Ended())
        ::ShowWindow(hwnd, SW_SHOW);
    MSG msg;
    while (!window.Ended()) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // Someone asked the thread to end: leave that to the caller's loop.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return true;
        }
        if (got == -1)
            return true;
        if (!::IsDialogMessageW(hwnd, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return window.Skipped();
}
