// gamewin: opens the game window on its own, as the game phase of the program
// does after a login, for the end-to-end scripts of the game window.
//   gamewin [--test-mode] [--port N] [--login-url URL | --game-url URL]
//           [--login-page URL] [--no-browser-host]
// --login-url goes through the login capture first, as the login window's
// browser would hand it over (exit 3 when it is no login URL). The window's
// clear-cache command clears <current folder>\wz_cdn. --no-browser-host takes
// the browser host's class name first, so that the browser cannot be created.
// Prints the game URL,
// and "result=N" with RunGameWindow's result at the end.
#include "app/win32/cache_clearing.h"
#include "browserhost/browser_host.h"
#include "gamewindow/win32/game_window.h"
#include "gamewindow/win32/login_capture.h"

#include <objbase.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

std::string Utf8(const std::wstring& text)
{
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(bytes > 0 ? bytes - 1 : 0, '\0');
    if (bytes > 1)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], bytes, nullptr, nullptr);
    return out;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    GameWindowSettings settings;
    settings.localPort = 23000;
    settings.loginPageUrl = L"about:blank";
    std::wstring loginUrl;
    bool noBrowserHost = false;
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == L"--test-mode")
            settings.testMode = true;
        else if (a == L"--port" && hasValue)
            settings.localPort = static_cast<int>(std::wcstol(argv[++i], nullptr, 10));
        else if (a == L"--login-url" && hasValue)
            loginUrl = argv[++i];
        else if (a == L"--game-url" && hasValue)
            settings.gameUrl = argv[++i];
        else if (a == L"--login-page" && hasValue)
            settings.loginPageUrl = argv[++i];
        else if (a == L"--no-browser-host")
            noBrowserHost = true;
        else {
            std::fprintf(stderr, "gamewin: unknown argument\n");
            return 2;
        }
    }
    // As the program trusts its test URL's origin in test mode, this trusts
    // the origin of the URL it is given.
    if (settings.testMode)
        settings.trusted.AddOrigin(Utf8(loginUrl.empty() ? settings.gameUrl : loginUrl));
    if (!loginUrl.empty() &&
        !RewriteLoginUrl(loginUrl.c_str(), LoginCaptureSettings{settings.testMode, settings.localPort, settings.trusted},
                         &settings.gameUrl))
        return 3;
    std::printf("game=%s\n", Utf8(settings.gameUrl).c_str());
    std::fflush(stdout);

    std::string cdn = "http://cdn.invalid/";
    settings.cdnBase = [&cdn] { return cdn; };
    settings.setCdnBase = [&cdn](const std::string& url) { cdn = url; };
    settings.clearCaches = ClearCaches;

    if (noBrowserHost) {
        WNDCLASSW plain = {};
        plain.lpfnWndProc = DefWindowProcW;
        plain.hInstance = GetModuleHandleW(nullptr);
        plain.lpszClassName = kBrowserHostClass;
        RegisterClassW(&plain);
    }
    CoInitialize(nullptr);
    const int result = RunGameWindow(settings);
    CoUninitialize();
    std::printf("result=%d\n", result);
    return result;
}
