// CKestrun: the application object. It decides, in a fixed order, whether the
// process relocates itself, cleans up after an update, refreshes the desktop
// shortcut, updates itself, starts the cache server and runs the login and
// game phases. Every platform call goes through IAppPlatform, so the
// decisions are the same on Windows and in the native tests.
#pragma once

#include <string>

enum RunMode : int {
    kModeNone = 0,
    kModeLogin = 1,
    kModeGame = 2,
    kModeRelaunch = 3,
};

class CKestrun;

class IAppPlatform {
public:
    virtual ~IAppPlatform() = default;

    virtual std::wstring ModulePath() = 0;
    virtual std::wstring CurrentDirectory() = 0;
    // A drive letter other than C: to install on, or 0.
    virtual wchar_t ChooseInstallDrive() = 0;
    virtual void CreateFolder(const std::wstring& path) = 0;
    virtual bool CopyFileOver(const std::wstring& from, const std::wstring& to) = 0;
    virtual bool RemoveFile(const std::wstring& path) = 0;
    virtual void Sleep(unsigned milliseconds) = 0;
    virtual bool StartProcess(const std::wstring& commandLine, const std::wstring& folder) = 0;

    virtual void CreateDesktopShortcut(const std::wstring& exeName) = 0;
    // May set the application's mode to kModeRelaunch.
    virtual void CheckForUpdate(CKestrun& app, bool reopen) = 0;
    virtual void LaunchServer() = 0;
    // Shows the login window modally; returns when it has ended.
    virtual void RunLoginPhase(CKestrun& app) = 0;
    // Creates the game window and runs the game loop until the quit message.
    virtual void RunGamePhase(CKestrun& app) = 0;
    virtual void RemoveKeyboardHook() = 0;
};

// Name of the executable an installed update leaves behind.
extern const wchar_t kOldExeName[];
// Longest page title kept: a 32768-unit buffer with its terminator.
constexpr size_t kPageTitleMaxUnits = 32767;

class CKestrun {
public:
    explicit CKestrun(IAppPlatform& platform);
    virtual ~CKestrun() = default;
    CKestrun(const CKestrun&) = delete;
    CKestrun& operator=(const CKestrun&) = delete;

    void Run(bool reopen);
    // False when a relocated copy has been started and this process is to end.
    bool Init(bool reopen);
    void Shutdown();
    void SetPageTitle(const wchar_t* text);

    int m_mode = kModeNone;
    std::wstring m_exeName;
    // The game start URL; empty until the login capture writes it.
    std::wstring m_gameUrl;
    std::wstring m_pageTitle;

private:
    bool Relocate(const std::wstring& modulePath);
    void RemoveOldExecutable(const std::wstring& oldPath, bool reopen);

    IAppPlatform& m_platform;
};
