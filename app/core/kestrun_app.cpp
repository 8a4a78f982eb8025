#include "app/core/kestrun_app.h"

#include "app/core/app_globals.h"
#include "app/core/relaunch.h"

const wchar_t kOldExeName[] = L"Kestrun.exe.old";

CKestrun::CKestrun(IAppPlatform& platform)
    : m_platform(platform)
{
}

bool CKestrun::Init(bool reopen)
{
    m_mode = kModeLogin;
    const std::wstring modulePath = m_platform.ModulePath();
    m_exeName = FileNameOf(modulePath);
    if (g_testUrlMode)
        return true;

    if (Relocate(modulePath))
        return false;
    RemoveOldExecutable(JoinPath(FolderOf(modulePath), kOldExeName), reopen);
    m_platform.CreateDesktopShortcut(m_exeName);
    m_platform.CheckForUpdate(*this, reopen);
    return true;
}

// Copies the running file to <drive>:\qzpk\ and starts the copy there, which
// deletes this file. True when the copy has been started.
bool CKestrun::Relocate(const std::wstring& modulePath)
{
    const wchar_t letter = m_platform.ChooseInstallDrive();
    if (letter == 0 || letter == L'c' || letter == L'C')
        return false;
    const std::wstring folder = std::wstring(1, letter) + L":\\qzpk\\";
    const std::wstring installed = folder + m_exeName;
    // Build the line first: a copy is pointless if it cannot be started.
    const std::wstring commandLine = BuildCommandLine(installed, L"delfile=" + modulePath);
    if (commandLine.empty())
        return false;
    m_platform.CreateFolder(folder);
    // Fails when this process already runs from that very file.
    if (!m_platform.CopyFileOver(modulePath, installed))
        return false;
    // If the copy cannot be started, run in place rather than end with nothing shown.
    return m_platform.StartProcess(commandLine, folder);
}

// The update leaves the old file beside the program, wherever it was started from.
void CKestrun::RemoveOldExecutable(const std::wstring& oldPath, bool reopen)
{
    if (m_platform.RemoveFile(oldPath) || !reopen)
        return;
    // Just after an update the old process may still hold its file.
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_platform.Sleep(1000);
        if (m_platform.RemoveFile(oldPath))
            return;
    }
}

void CKestrun::Run(bool reopen)
{
    if (!Init(reopen))
        return;
    // A process that only relaunches the update serves nothing, and would
    // leave a cache folder wherever it was started from.
    if (m_mode != kModeRelaunch)
        m_platform.LaunchServer();
    if (m_mode == kModeLogin)
        m_platform.RunLoginPhase(*this);
    if (m_mode == kModeGame)
        m_platform.RunGamePhase(*this);
    Shutdown();
}

void CKestrun::Shutdown()
{
    m_platform.RemoveKeyboardHook();
    if (m_mode != kModeRelaunch)
        return;
    // The new executable is beside this one, not in the current folder.
    const std::wstring folder = FolderOf(m_platform.ModulePath());
    const std::wstring commandLine = BuildCommandLine(JoinPath(folder, m_exeName), L"re_open");
    if (!commandLine.empty())
        m_platform.StartProcess(commandLine, folder);
}

void CKestrun::SetPageTitle(const wchar_t* text)
{
    m_pageTitle.assign(text ? text : L"");
    if (m_pageTitle.size() > kPageTitleMaxUnits)
        m_pageTitle.resize(kPageTitleMaxUnits);
}
