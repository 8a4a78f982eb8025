// The Windows side of the application object: files, processes and the
// steps of start-up that need the platform.
#pragma once

#include "app/core/kestrun_app.h"

#include <windows.h>

class Win32AppPlatform : public IAppPlatform {
public:
    std::wstring ModulePath() override;
    std::wstring CurrentDirectory() override;
    wchar_t ChooseInstallDrive() override;
    void CreateFolder(const std::wstring& path) override;
    bool CopyFileOver(const std::wstring& from, const std::wstring& to) override;
    bool RemoveFile(const std::wstring& path) override;
    void Sleep(unsigned milliseconds) override;
    bool StartProcess(const std::wstring& commandLine, const std::wstring& folder) override;
    void CreateDesktopShortcut(const std::wstring& exeName) override;
    void CheckForUpdate(CKestrun& app, bool reopen) override;
    void LaunchServer() override;
    void RunLoginPhase(CKestrun& app) override;
    void RunGamePhase(CKestrun& app) override;
    void RemoveKeyboardHook() override;
};

// Creation flags of every relaunch: CREATE_DEFAULT_ERROR_MODE |
// CREATE_UNICODE_ENVIRONMENT | CREATE_NEW_CONSOLE.
constexpr DWORD kRelaunchFlags = 0x04000410;

// Deletes the file a relocating start named, then lets the shell refresh its
// icons and shortcuts.
void DeleteRelocatedFile(const std::wstring& path);
