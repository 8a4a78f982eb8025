// An ILoginEvents that records what the login window reports and answers
// captures and client commands as a test tells it to.
#pragma once

#include "skin/win32/login_events.h"

#include <string>
#include <vector>

struct FakeLoginEvents : ILoginEvents {
    bool CaptureLogin(HWND window, const wchar_t* url) override
    {
        captureWindow = window;
        captureUrls.push_back(url ? url : L"(null)");
        return captureAnswer;
    }
    bool ClientCommand(HWND window, const wchar_t* url) override
    {
        commandWindow = window;
        commandUrls.push_back(url ? url : L"(null)");
        return commandAnswer;
    }
    void PageTitleChanged(const wchar_t* title) override { titles.push_back(title ? title : L"(null)"); }
    void LoginWindowClosed() override { ++closed; }

    bool captureAnswer = false;
    bool commandAnswer = false;
    HWND captureWindow = nullptr;
    HWND commandWindow = nullptr;
    std::vector<std::wstring> captureUrls;
    std::vector<std::wstring> commandUrls;
    std::vector<std::wstring> titles;
    int closed = 0;
};
