// clearcache: runs the clear-cache command (on its own folder's cache), answers its
// completion message and prints that message's caption and text (UTF-8).
#include "app/win32/cache_clearing.h"

#include <objbase.h>

#include <cstdio>
#include <string>
#include <thread>

namespace {

std::wstring g_caption;
std::wstring g_text;
volatile bool g_answered = false;

BOOL CALLBACK Answer(HWND hwnd, LPARAM)
{
    DWORD process = 0;
    GetWindowThreadProcessId(hwnd, &process);
    wchar_t caption[64] = {};
    GetWindowTextW(hwnd, caption, 64);
    if (process != GetCurrentProcessId() || !IsWindowVisible(hwnd) || !caption[0])
        return TRUE;
    wchar_t text[64] = {};
    GetDlgItemTextW(hwnd, 0xFFFF, text, 64);
    g_caption = caption;
    g_text = text;
    g_answered = true;
    PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
    return FALSE;
}

void PutUtf8(const std::wstring& text)
{
    char out[256] = {};
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out, sizeof out - 1, nullptr, nullptr);
    std::fputs(out, stdout);
}

} // namespace

int wmain()
{
    CoInitialize(nullptr);
    std::thread answerer([] {
        for (int i = 0; i < 200 && !g_answered; ++i) {
            EnumWindows(Answer, 0);
            Sleep(50);
        }
    });
    ClearCaches(nullptr);
    answerer.join();
    PutUtf8(L"caption=" + g_caption + L"\ntext=" + g_text + L"\n");
    CoUninitialize();
    return g_answered ? 0 : 1;
}
