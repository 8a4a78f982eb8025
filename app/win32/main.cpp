// Entry point of Kestrun.exe.
#include "app/core/app_globals.h"
#include "app/core/command_line.h"
#include "app/core/kestrun_app.h"
#include "app/win32/selftest_run.h"
#include "app/win32/win32_app_platform.h"

#include <commctrl.h>
#include <objbase.h>
#include <windows.h>

// Process-wide objects, destroyed in reverse order after the entry point returns.
static Win32AppPlatform g_platform;
CKestrun g_app(g_platform);

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int)
{
    CoInitialize(nullptr);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);

    g_testUrlMode = false;
    const CommandLine options = ParseCommandLine(commandLine);
    if (options.option == StartOption::kSelfTest) {
        // Checks and ends: no install, update, shortcut or game.
        const int result = RunSelfTest();
        CoUninitialize();
        return result;
    }
    switch (options.option) {
    case StartOption::kTestUrl:
        g_testUrlMode = true;
        g_testUrl = options.testUrl;
        break;
    case StartOption::kDelFile:
        DeleteRelocatedFile(options.deletePath);
        break;
    default:
        break;
    }

    g_app.Run(options.option == StartOption::kReOpen);

    CoUninitialize();
    return 0;
}
