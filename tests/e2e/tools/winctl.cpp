// winctl: drives the program's top-level windows from the end-to-end scripts.
//   winctl wait TEXT MS      wait until a visible top-level window whose title
//                            contains TEXT exists (exit 0) or MS pass (exit 1)
//   winctl destroy TEXT      post WM_DESTROY to such a window that has no owner
//   winctl list              print every visible top-level window: title, size
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
    std::vector<HWND> windows;
};

BOOL CALLBACK Collect(HWND hwnd, LPARAM param)
{
    Found* found = reinterpret_cast<Found*>(param);
    if (!IsWindowVisible(hwnd))
        return TRUE;
    wchar_t title[512];
    GetWindowTextW(hwnd, title, 512);
    if (wcsstr(title, found->text.c_str()) && (!found->ownerless || !GetWindow(hwnd, GW_OWNER)))
        found->windows.push_back(hwnd);
    return TRUE;
}

std::vector<HWND> FindWindows(const std::wstring& text, bool ownerless)
{
    Found found{text, ownerless, {}};
    EnumWindows(Collect, reinterpret_cast<LPARAM>(&found));
    return found.windows;
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

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc >= 2 && std::wcscmp(argv[1], L"list") == 0) {
        EnumWindows(Print, 0);
        return 0;
    }
    if (argc >= 4 && std::wcscmp(argv[1], L"wait") == 0) {
        const DWORD limit = std::wcstoul(argv[3], nullptr, 10);
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < limit) {
            if (!FindWindows(argv[2], false).empty())
                return 0;
            Sleep(100);
        }
        return 1;
    }
    if (argc >= 3 && std::wcscmp(argv[1], L"destroy") == 0) {
        const std::vector<HWND> windows = FindWindows(argv[2], true);
        for (HWND hwnd : windows)
            PostMessageW(hwnd, WM_DESTROY, 0, 0);
        return windows.empty() ? 1 : 0;
    }
    std::fwprintf(stderr, L"usage: winctl wait TEXT MS | destroy TEXT | list\n");
    return 2;
}
