#include "gamewindow/win32/client_command.h"

#include "base/core/debug_trace.h"
#include "base/win32/wide_text.h"
#include "gamewindow/core/bmp_layout.h"
#include "gamewindow/core/capture_name.h"
#include "gamewindow/core/login_state.h"
#include "gamewindow/core/url_markers.h"

#include <string>
#include <vector>

namespace {

// A display DC from CreateDCW, deleted with DeleteDC.
struct DisplayDcTraits {
    using Type = HDC;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::DeleteDC(h); }
};

int DisplayDepth()
{
    UniqueHandle<DisplayDcTraits> display(::CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr));
    if (!display)
        return 24;
    return BmpDepthForDisplay(::GetDeviceCaps(display.Get(), PLANES) * ::GetDeviceCaps(display.Get(), BITSPIXEL));
}

// Paths at or beyond MAX_PATH need the long form, which must be absolute.
std::wstring OpenablePath(const std::wstring& path)
{
    if (path.size() < MAX_PATH)
        return path;
    const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return path;
    std::vector<wchar_t> full(needed);
    const DWORD n = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (n == 0 || n >= needed || std::wstring(full.data(), 2) == L"\\\\")
        return path;
    return L"\\\\?\\" + std::wstring(full.data(), n);
}

bool WriteAll(HANDLE file, const void* data, size_t size)
{
    const uint8_t* at = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(file, at, chunk, &written, nullptr) || written == 0)
            return false;
        at += written;
        size -= written;
    }
    return true;
}

} // namespace

bool CheckClientCommand(const wchar_t* url, const TrustedSites& trusted, HWND window, const wchar_t* title,
                        CaptureFolder folder)
{
    if (!url)
        return false;
    const std::string u = ToNarrow(std::wstring(url));
    DebugTrace("checkFlashCmd:dispidMember wurl= %s , URL= %s , title= %s", u.c_str(), u.c_str(),
               ToNarrow(std::wstring(title ? title : L"")).c_str());
    if (!IsClientCommandUrl(u))
        return false;
    if (!trusted.IsTrusted(u)) {
        DebugTrace("client command of an untrusted page ignored");
        return false;
    }
    if (ReportsLoginSuccess(u))
        g_loginErrCode = "0";
    CaptureAndExit(window, title, folder);
    return true;
}

void CaptureAndExit(HWND window, const wchar_t* title, CaptureFolder folder)
{
    SaveWindowCapture(window, title, folder);
    ::DestroyWindow(window);
    ::PostQuitMessage(1);
}

bool SaveWindowCapture(HWND window, const wchar_t* title, CaptureFolder folder)
{
    ScopedGdiObject bitmap = CaptureClientArea(window);
    if (!bitmap)
        return false;
    const std::wstring path =
        CapturePath(kCaptureFolder, g_loginErrCode == "0", title ? title : L"", g_loginPf, g_loginServerId);
    if (path.empty())
        return false;
    if (folder == CaptureFolder::kCreate)
        ::CreateDirectoryW(kCaptureFolder, nullptr);
    return WriteBitmapFile(static_cast<HBITMAP>(bitmap.Get()), path.c_str());
}

ScopedGdiObject CaptureClientArea(HWND window)
{
    RECT client;
    if (!::IsWindow(window) || !::GetClientRect(window, &client))
        return ScopedGdiObject();
    const int w = client.right - client.left;
    const int h = client.bottom - client.top;
    if (w <= 0 || h <= 0)
        return ScopedGdiObject();
    ScopedWindowDc dc(window);
    if (!dc.Get())
        return ScopedGdiObject();
    ScopedMemoryDc memory(::CreateCompatibleDC(dc.Get()));
    ScopedGdiObject bitmap(::CreateCompatibleBitmap(dc.Get(), w, h));
    if (!memory || !bitmap)
        return ScopedGdiObject();
    {
        ScopedSelect select(memory.Get(), bitmap.Get());
        ::BitBlt(memory.Get(), 0, 0, w, h, dc.Get(), 0, 0, SRCCOPY);
    } // deselected: GetDIBits wants a bitmap that no DC holds
    return bitmap;
}

bool WriteBitmapFile(HBITMAP bitmap, const wchar_t* path)
{
    BITMAP info = {};
    if (!bitmap || !path || !::GetObjectW(bitmap, sizeof info, &info))
        return false;
    BmpLayout layout;
    if (!ComputeBmpLayout(info.bmWidth, info.bmHeight, DisplayDepth(), &layout))
        return false;

    // Info header, colour table and rows in one block, as GetDIBits fills it.
    std::vector<uint8_t> block(layout.fileSize - kBmpFileHeaderBytes);
    WriteBmpInfoHeader(layout, block.data());
    int rows = 0;
    {
        ScopedWindowDc screen(nullptr);
        if (!screen.Get())
            return false;
        HPALETTE previous = ::SelectPalette(screen.Get(), static_cast<HPALETTE>(::GetStockObject(DEFAULT_PALETTE)), FALSE);
        ::RealizePalette(screen.Get());
        rows = ::GetDIBits(screen.Get(), bitmap, 0, static_cast<UINT>(layout.height),
                           block.data() + kBmpInfoHeaderBytes + layout.paletteBytes,
                           reinterpret_cast<BITMAPINFO*>(block.data()), DIB_RGB_COLORS);
        if (previous) {
            ::SelectPalette(screen.Get(), previous, TRUE);
            ::RealizePalette(screen.Get());
        }
    }
    if (rows == 0)
        return false;

    const std::wstring target = OpenablePath(path);
    ScopedFile file(::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
        return false;
    uint8_t header[kBmpFileHeaderBytes];
    WriteBmpFileHeader(layout, header);
    if (WriteAll(file.Get(), header, sizeof header) && WriteAll(file.Get(), block.data(), block.size()))
        return true;
    // A cut picture (a full disk) is no picture.
    file.Reset();
    ::DeleteFileW(target.c_str());
    return false;
}
