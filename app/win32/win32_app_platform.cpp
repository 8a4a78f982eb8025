#include "app/win32/win32_app_platform.h"

#include "app/core/relaunch.h"
#include "app/win32/cache_server_wiring.h"
#include "app/win32/desktop_shortcut.h"
#include "app/win32/game_wiring.h"
#include "app/win32/install_location.h"
#include "app/win32/login_wiring.h"
#include "app/win32/self_update.h"
#include "framework/handles.h"
#include "skin/win32/browser_key_hook.h"
#include "skin/win32/login_phase.h"

#include <shlobj.h>

#include <vector>

std::wstring Win32AppPlatform::ModulePath()
{
    // Grow until the path fits: a cut path would name another file.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return std::wstring();
        if (n < buffer.size())
            return std::wstring(buffer.data(), n);
        if (buffer.size() >= 32768)
            return std::wstring();
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring Win32AppPlatform::CurrentDirectory()
{
    const DWORD needed = GetCurrentDirectoryW(0, nullptr);
    if (needed == 0)
        return std::wstring();
    std::vector<wchar_t> buffer(needed);
    const DWORD n = GetCurrentDirectoryW(needed, buffer.data());
    return n > 0 && n < needed ? std::wstring(buffer.data(), n) : std::wstring();
}

wchar_t Win32AppPlatform::ChooseInstallDrive()
{
    return ::ChooseInstallDrive();
}

void Win32AppPlatform::CreateFolder(const std::wstring& path)
{
    CreateDirectoryW(path.c_str(), nullptr);
}

bool Win32AppPlatform::CopyFileOver(const std::wstring& from, const std::wstring& to)
{
    return CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
}

bool Win32AppPlatform::RemoveFile(const std::wstring& path)
{
    return DeleteFileW(path.c_str()) != FALSE;
}

void Win32AppPlatform::Sleep(unsigned milliseconds)
{
    ::Sleep(milliseconds);
}

bool Win32AppPlatform::StartProcess(const std::wstring& commandLine, const std::wstring& folder)
{
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0'); // CreateProcessW may write into its command line
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, kRelaunchFlags, nullptr,
                        folder.c_str(), &startup, &info))
        return false;
    // Neither waited for nor tracked.
    ScopedHandle process(info.hProcess);
    ScopedHandle thread(info.hThread);
    return true;
}

void Win32AppPlatform::CreateDesktopShortcut(const std::wstring& exeName)
{
    // The program's own folder: a start from another current folder must
    // not point the shortcut at a file that is not there.
    ::CreateDesktopShortcut(FolderOf(ModulePath()), exeName);
}

void Win32AppPlatform::CheckForUpdate(CKestrun& app, bool reopen)
{
    ::CheckForUpdate(app, reopen);
}

void Win32AppPlatform::LaunchServer()
{
    LaunchProgramCacheServer();
}

void Win32AppPlatform::RunLoginPhase(CKestrun& app)
{
    CLoginWiring events(app);
    RunLoginWindow(BuiltInLoginPageSettings(), events);
}

void Win32AppPlatform::RunGamePhase(CKestrun& app)
{
    RunGamePhaseOf(app);
}

void Win32AppPlatform::RemoveKeyboardHook()
{
    RemoveLoginKeyboardHook();
}

void DeleteRelocatedFile(const std::wstring& path)
{
    if (!path.empty())
        DeleteFileW(path.c_str());
    ::Sleep(100);
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);
}
