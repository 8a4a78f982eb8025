// winctl: drives the program's top-level windows from the end-to-end scripts.
//   winctl wait TEXT MS      wait until a visible top-level window whose title
//                            contains TEXT exists (exit 0) or MS pass (exit 1)
//   winctl destroy TEXT      post WM_DESTROY to such a window that has no owner
//   winctl list              print every visible top-level window: title, size
//   winctl info TEXT         the first top-level window (shown or hidden) whose
//                            title contains TEXT: "window V I L,T WxH" (V is 1
//                            when visible, I when minimised), then one line per
//                            child window:
//                            "child ID CLASS V L,T WxH" in client coordinates
//   winctl text TEXT ID      the text of control ID of that window (UTF-8)
//   winctl send TEXT MSG W L   SendMessage to that window; prints the result
//   winctl post TEXT MSG W L   PostMessage to it
//                            (numbers in decimal or 0x hex; L may be X,Y for
//                            a point packed as the low and high words)
//   winctl postwait TEXT MSG W L WAITTEXT MS
//                            post to that window, then wait up to MS for a
//                            visible window whose title contains WAITTEXT;
//                            prints the milliseconds it took (exit 1: none)
//   winctl menu INDEX        wait for a popup menu and choose its item INDEX
//                            (from 0) with the keyboard
//   winctl answer [ID]       wait for a message box, print its caption and
//                            text (UTF-8) and press its button ID (default OK)
//   winctl key VK            press and release a key through the input queue
//   winctl drag X1 Y1 X2 Y2  press the left button at a screen point, move to
//                            another in steps and release it there
//   winctl endgame MS        wait up to MS for the game window, press its
//                            close button and confirm the exit question if
//                            one comes (a test-mode run asks none)
//   winctl dlu EXE ID X Y CX CY
//                            the pixels that dialog units X,Y CX x CY come to
//                            in dialog ID of EXE (created hidden here), as
//                            "X,Y CXxCY": what the dialog's font makes of
//                            them with the fonts this Wine has
// TEXT is ASCII: the program's titles start with "OrvikVelmora".
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

struct Found {
    std::wstring text;
    bool ownerless;
    bool visibleOnly;
    std::vector<HWND> windows;
};

BOOL CALLBACK Collect(HWND hwnd, LPARAM param)
{
    Found* found = reinterpret_cast<Found*>(param);
    if (found->visibleOnly && !IsWindowVisible(hwnd))
        return TRUE;
    wchar_t title[512];
    GetWindowTextW(hwnd, title, 512);
    if (wcsstr(title, found->text.c_str()) && (!found->ownerless || !GetWindow(hwnd, GW_OWNER)))
        found->windows.push_back(hwnd);
    return TRUE;
}

std::vector<HWND> FindWindows(const std::wstring& text, bool ownerless, bool visibleOnly = true)
{
    Found found{text, ownerless, visibleOnly, {}};
    EnumWindows(Collect, reinterpret_cast<LPARAM>(&found));
    return found.windows;
}

// The program's window: prefer a dialog of ours over Wine's own windows.
HWND FindTarget(const std::wstring& text)
{
    for (HWND hwnd : FindWindows(text, true, false)) {
        wchar_t cls[64] = {};
        GetClassNameW(hwnd, cls, 64);
        if (std::wcscmp(cls, L"#32770") == 0)
            return hwnd;
    }
    return nullptr;
}

BOOL CALLBACK Print(HWND hwnd, LPARAM)
{
    if (!IsWindowVisible(hwnd))
        return TRUE;
    wchar_t title[512];
    GetWindowTextW(hwnd, title, 512);
    RECT r;
    GetWindowRect(hwnd, &r);
    std::wprintf(L"%ls\t%ld,%ld %ldx%ld\n", title, r.left, r.top, r.right - r.left, r.bottom - r.top);
    return TRUE;
}

BOOL CALLBACK PrintChild(HWND child, LPARAM parent)
{
    if (GetParent(child) != reinterpret_cast<HWND>(parent))
        return TRUE;
    wchar_t cls[64] = {};
    GetClassNameW(child, cls, 64);
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, reinterpret_cast<HWND>(parent), reinterpret_cast<POINT*>(&r), 2);
    std::wprintf(L"child %d %ls %d %ld,%ld %ldx%ld\n", GetDlgCtrlID(child), cls, IsWindowVisible(child) ? 1 : 0,
                 r.left, r.top, r.right - r.left, r.bottom - r.top);
    return TRUE;
}

LONG_PTR Number(const wchar_t* text)
{
    const wchar_t* comma = std::wcschr(text, L',');
    if (comma) {
        const long x = std::wcstol(text, nullptr, 0);
        const long y = std::wcstol(comma + 1, nullptr, 0);
        return static_cast<LONG_PTR>(static_cast<DWORD>(MAKELPARAM(x, y)));
    }
    return static_cast<LONG_PTR>(std::wcstoll(text, nullptr, 0));
}

// The first visible top-level window of this class, waiting up to `ms`; with
// `textId`, only one that has that control (a message box's text).
HWND WaitForClass(const wchar_t* cls, DWORD ms, int textId = 0)
{
    const DWORD start = GetTickCount();
    do {
        for (HWND hwnd = FindWindowExW(nullptr, nullptr, cls, nullptr); hwnd;
             hwnd = FindWindowExW(nullptr, hwnd, cls, nullptr))
            if (IsWindowVisible(hwnd) && (!textId || GetDlgItem(hwnd, textId)))
                return hwnd;
        Sleep(100);
    } while (GetTickCount() - start < ms);
    return nullptr;
}

void PutUtf8(const std::wstring& text)
{
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(bytes > 0 ? bytes - 1 : 0, '\0');
    if (bytes > 1)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], bytes, nullptr, nullptr);
    std::fwrite(out.data(), 1, out.size(), stdout);
}

void Key(WORD vk)
{
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = vk;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof(INPUT));
}

INT_PTR CALLBACK QuietDialog(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

// Creates the dialog from a copy of its template without WS_VISIBLE, so that
// nothing appears, and maps the rectangle through its font's base units.
int PrintDialogUnits(const wchar_t* exe, int id, RECT units)
{
    HMODULE module = LoadLibraryExW(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    HRSRC found = module ? FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5)) : nullptr; // RT_DIALOG
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const BYTE* bytes = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    const DWORD size = found ? SizeofResource(module, found) : 0;
    int rc = 1;
    if (bytes && size >= 26) {
        std::vector<BYTE> copy(bytes, bytes + size);
        // DLGTEMPLATEEX keeps its style after dlgVer, signature, helpID and
        // exStyle; DLGTEMPLATE starts with it.
        const bool extended = copy[2] == 0xFF && copy[3] == 0xFF;
        DWORD* style = reinterpret_cast<DWORD*>(copy.data() + (extended ? 12 : 0));
        *style &= ~static_cast<DWORD>(WS_VISIBLE);
        HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                                 reinterpret_cast<const DLGTEMPLATE*>(copy.data()), nullptr,
                                                 QuietDialog, 0);
        if (dialog && MapDialogRect(dialog, &units)) {
            std::wprintf(L"%ld,%ld %ldx%ld\n", units.left, units.top, units.right, units.bottom);
            rc = 0;
        }
        if (dialog)
            DestroyWindow(dialog);
    }
    if (module)
        FreeLibrary(module);
    return rc;
}

void Mouse(int x, int y, DWORD buttons)
{
    // Absolute coordinates are in 0..65535 across the primary screen.
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dx = MulDiv(x, 65536, GetSystemMetrics(SM_CXSCREEN)) + 1;
    in.mi.dy = MulDiv(y, 65536, GetSystemMetrics(SM_CYSCREEN)) + 1;
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | buttons;
    SendInput(1, &in, sizeof in);
    Sleep(60);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring command = argc >= 2 ? argv[1] : L"";
    if (command == L"list") {
        EnumWindows(Print, 0);
        return 0;
    }
    if (command == L"wait" && argc >= 4) {
        const DWORD limit = std::wcstoul(argv[3], nullptr, 10);
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < limit) {
            if (!FindWindows(argv[2], false).empty())
                return 0;
            Sleep(100);
        }
        return 1;
    }
    if (command == L"destroy" && argc >= 3) {
        const std::vector<HWND> windows = FindWindows(argv[2], true);
        for (HWND hwnd : windows)
            PostMessageW(hwnd, WM_DESTROY, 0, 0);
        return windows.empty() ? 1 : 0;
    }
    if (command == L"info" && argc >= 3) {
        HWND hwnd = FindTarget(argv[2]);
        if (!hwnd)
            return 1;
        RECT r;
        GetWindowRect(hwnd, &r);
        std::wprintf(L"window %d %d %ld,%ld %ldx%ld\n", IsWindowVisible(hwnd) ? 1 : 0, IsIconic(hwnd) ? 1 : 0, r.left,
                     r.top, r.right - r.left, r.bottom - r.top);
        EnumChildWindows(hwnd, PrintChild, reinterpret_cast<LPARAM>(hwnd));
        return 0;
    }
    if (command == L"postwait" && argc >= 8) {
        HWND hwnd = FindTarget(argv[2]);
        if (!hwnd)
            return 1;
        const DWORD start = GetTickCount();
        if (!PostMessageW(hwnd, static_cast<UINT>(Number(argv[3])), static_cast<WPARAM>(Number(argv[4])),
                          static_cast<LPARAM>(Number(argv[5]))))
            return 1;
        const DWORD limit = std::wcstoul(argv[7], nullptr, 10);
        while (FindWindows(argv[6], false).empty()) {
            if (GetTickCount() - start >= limit)
                return 1;
            Sleep(20);
        }
        std::wprintf(L"%lu\n", GetTickCount() - start);
        return 0;
    }
    if (command == L"text" && argc >= 4) {
        HWND hwnd = FindTarget(argv[2]);
        HWND control = hwnd ? GetDlgItem(hwnd, static_cast<int>(Number(argv[3]))) : nullptr;
        if (!control)
            return 1;
        wchar_t text[1024] = {};
        GetWindowTextW(control, text, 1024);
        PutUtf8(std::wstring(text) + L"\n");
        return 0;
    }
    if ((command == L"send" || command == L"post") && argc >= 6) {
        HWND hwnd = FindTarget(argv[2]);
        if (!hwnd)
            return 1;
        const UINT message = static_cast<UINT>(Number(argv[3]));
        const WPARAM w = static_cast<WPARAM>(Number(argv[4]));
        const LPARAM l = static_cast<LPARAM>(Number(argv[5]));
        if (command == L"post")
            return PostMessageW(hwnd, message, w, l) ? 0 : 1;
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(hwnd, message, w, l, SMTO_NORMAL, 20000, &result))
            return 1;
        std::wprintf(L"%lld\n", static_cast<long long>(result));
        return 0;
    }
    if (command == L"menu" && argc >= 3) {
        HWND menu = WaitForClass(L"#32768", 10000);
        if (!menu)
            return 1;
        Sleep(200);
        const long index = std::wcstol(argv[2], nullptr, 10);
        for (long i = 0; i <= index; ++i)
            PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
        PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
        return 0;
    }
    if (command == L"answer") {
        // The program's own dialogs share the class; a message box has a text control.
        HWND box = WaitForClass(L"#32770", 10000, 0xFFFF);
        if (!box)
            return 1;
        wchar_t caption[256] = {};
        wchar_t text[1024] = {};
        GetWindowTextW(box, caption, 256);
        GetDlgItemTextW(box, 0xFFFF, text, 1024);
        PutUtf8(std::wstring(L"caption=") + caption + L"\ntext=" + text + L"\n");
        const int id = argc >= 3 ? static_cast<int>(std::wcstol(argv[2], nullptr, 0)) : IDOK;
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
        return 0;
    }
    if (command == L"key" && argc >= 3) {
        Key(static_cast<WORD>(Number(argv[2])));
        return 0;
    }
    if (command == L"drag" && argc >= 6) {
        const int x1 = static_cast<int>(Number(argv[2])), y1 = static_cast<int>(Number(argv[3]));
        const int x2 = static_cast<int>(Number(argv[4])), y2 = static_cast<int>(Number(argv[5]));
        Mouse(x1, y1, 0);
        Mouse(x1, y1, MOUSEEVENTF_LEFTDOWN);
        for (int step = 1; step <= 10; ++step)
            Mouse(x1 + (x2 - x1) * step / 10, y1 + (y2 - y1) * step / 10, 0);
        Mouse(x2, y2, MOUSEEVENTF_LEFTUP);
        return 0;
    }
    if (command == L"dlu" && argc >= 8) {
        // MapDialogRect scales left and right by the horizontal unit, top and
        // bottom by the vertical one: a place and a size in one call.
        RECT units = {static_cast<LONG>(Number(argv[4])), static_cast<LONG>(Number(argv[5])),
                      static_cast<LONG>(Number(argv[6])), static_cast<LONG>(Number(argv[7]))};
        return PrintDialogUnits(argv[2], static_cast<int>(Number(argv[3])), units);
    }
    if (command == L"endgame" && argc >= 3) {
        // The game window is the program's ownerless dialog with a to-tray button.
        const DWORD limit = std::wcstoul(argv[2], nullptr, 10);
        const DWORD start = GetTickCount();
        HWND game = nullptr;
        for (;;) {
            for (HWND hwnd : FindWindows(L"OrvikVelmora", true))
                if (GetDlgItem(hwnd, 1009))
                    game = hwnd;
            if (game || GetTickCount() - start >= limit)
                break;
            Sleep(100);
        }
        if (!game)
            return 1;
        PostMessageW(game, WM_COMMAND, MAKEWPARAM(1006, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(game, 1006)));
        if (HWND box = WaitForClass(L"#32770", 5000, 0xFFFF))
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return 0;
    }
    std::fwprintf(stderr, L"usage: see the head of winctl.cpp\n");
    return 2;
}
