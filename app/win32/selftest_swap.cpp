// The update's swap on a running copy of the program: the steps of
// SwapExecutables on the update's own platform, then the clean-up that the
// relaunched program does.
#include "app/core/kestrun_app.h"
#include "app/core/relaunch.h"
#include "app/core/self_update_flow.h"
#include "app/win32/self_update.h"
#include "app/win32/selftest_checks.h"
#include "app/win32/win32_app_platform.h"
#include "framework/handles.h"

namespace {

constexpr char kDownloadMarker[] = "the self-test's stand-in for a verified download\n";

bool Exists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A copy of the program started suspended: its image is mapped and its file
// held exactly as a running program's, yet none of its code runs, so it can
// neither install nor start anything. A job that ends its processes when
// closed keeps it from outliving this one.
class HeldCopy {
public:
    bool Start(const std::wstring& path)
    {
        m_job.Reset(::CreateJobObjectW(nullptr, nullptr));
        if (m_job) {
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
            limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
            ::SetInformationJobObject(m_job.Get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
        }
        std::wstring line = BuildCommandLine(path, L"yw_selftest_copy");
        if (line.empty())
            return false;
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        if (!::CreateProcessW(path.c_str(), &line[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                              &startup, &info)) {
            m_error = ::GetLastError();
            return false;
        }
        m_process.Reset(info.hProcess);
        ScopedHandle thread(info.hThread);
        // Inside a job that allows no nested one (older Windows) the copy
        // is still ended below; the job only covers this process's own end.
        if (m_job)
            ::AssignProcessToJobObject(m_job.Get(), m_process.Get());
        return true;
    }
    bool Running() const
    {
        DWORD code = 0;
        return m_process && ::GetExitCodeProcess(m_process.Get(), &code) && code == STILL_ACTIVE;
    }
    // Ends the copy and waits until its file is let go.
    bool End()
    {
        if (!m_process)
            return true;
        ::TerminateProcess(m_process.Get(), 0);
        const bool ended = ::WaitForSingleObject(m_process.Get(), 10000) == WAIT_OBJECT_0;
        m_process.Reset();
        return ended;
    }
    ~HeldCopy() { End(); }
    DWORD Error() const { return m_error; }

private:
    ScopedHandle m_job;
    ScopedHandle m_process;
    DWORD m_error = 0;
};

const char* SwapOutcomeText(SwapOutcome outcome)
{
    switch (outcome) {
    case SwapOutcome::kInstalled:
        return "installed";
    case SwapOutcome::kBlocked:
        return "blocked by a file in the way";
    case SwapOutcome::kRestored:
        return "the download could not take the name; the old program was put back";
    default:
        return "nothing left under the program's name";
    }
}

} // namespace

void CheckUpdateSwap(SelfTestReport& report, const std::wstring& modulePath, const std::wstring& work)
{
    const std::wstring folder = JoinPath(work, L"swap");
    const std::wstring exe = JoinPath(folder, L"Kestrun.exe");
    const std::wstring oldExe = JoinPath(folder, kOldExeName);
    const std::wstring download = JoinPath(folder, kDownloadName);
    const std::unique_ptr<IUpdatePlatform> platform = MakeUpdatePlatform();
    if (!platform || !::CreateDirectoryW(folder.c_str(), nullptr) ||
        !::CopyFileW(modulePath.c_str(), exe.c_str(), TRUE) || !WriteFileBytes(download, kDownloadMarker, CREATE_NEW)) {
        report.Fail("swap.rename", "could not prepare a copy of the program: " + ErrorText(::GetLastError()));
        report.NotRun("swap.cleanup", "there was no swap to clean up");
        return;
    }
    std::string programStart;
    ReadFileBytes(exe, 4096, &programStart);

    HeldCopy copy;
    if (!copy.Start(exe)) {
        report.Fail("swap.rename", "the copy of the program could not be started: " + ErrorText(copy.Error()));
    } else {
        const SwapOutcome outcome = SwapExecutables(*platform, exe, L"Kestrun.exe");
        const bool stillRunning = copy.Running();
        std::string atName, atOld;
        const bool replaced = ReadFileBytes(exe, sizeof kDownloadMarker, &atName) && atName == kDownloadMarker;
        const bool kept = ReadFileBytes(oldExe, programStart.size(), &atOld) && atOld == programStart;
        if (outcome == SwapOutcome::kInstalled && stillRunning && replaced && kept && !Exists(download)) {
            // Windows refuses to delete a running program's file (which is
            // why the relaunched program removes it); measured, not judged.
            const bool deletable = ::DeleteFileW(oldExe.c_str()) != FALSE;
            const DWORD deleteError = ::GetLastError();
            report.Pass("swap.rename", std::string("the copy, started suspended and so holding its file as a running "
                                                   "program does, became ") +
                                           Utf8(kOldExeName) +
                                           " and the download took its name; deleting the running file " +
                                           (deletable ? "worked" : "was refused (" + ErrorText(deleteError) + ")"));
        } else {
            report.Fail("swap.rename", std::string("swap ") + SwapOutcomeText(outcome) +
                                           (stillRunning ? "" : ", the copy stopped running") +
                                           (replaced ? "" : ", the new file is not under the program's name") +
                                           (kept ? "" : ", the old program is not at " + Utf8(kOldExeName)));
        }
    }

    // The relaunched program's clean-up: the old file goes once it has ended.
    const bool ended = copy.End();
    const bool oldGone = !Exists(oldExe) || Win32AppPlatform().RemoveFile(oldExe);
    ::DeleteFileW(exe.c_str());
    ::DeleteFileW(download.c_str());
    const bool folderGone = ::RemoveDirectoryW(folder.c_str()) != FALSE;
    if (ended && oldGone && folderGone)
        report.Pass("swap.cleanup", "the copy ended, the old file was removed and the folder is gone");
    else
        report.Fail("swap.cleanup", std::string(ended ? "" : "the copy did not end; ") +
                                        (oldGone ? "" : "the old file could not be removed; ") +
                                        (folderGone ? "" : "the folder stayed: " + ErrorText(::GetLastError())));
}
