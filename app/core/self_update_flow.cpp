#include "app/core/self_update_flow.h"

#include "app/core/kestrun_app.h"
#include "app/core/relaunch.h"
#include "app/core/release_version.h"
#include "app/core/update_signature.h"
#include "app/core/version_file.h"

const char kUpdateFolder[] = "weiduan/Pelu/guanfang/";
const char kVersionFileName[] = "ver.txt";
const wchar_t kDownloadName[] = L"Kestrun.exe.tmp";

std::wstring UpdateMutexName(const std::wstring& modulePath)
{
    const size_t slash = modulePath.rfind(L'\\');
    std::wstring name = slash == std::wstring::npos ? std::wstring() : modulePath.substr(0, slash);
    for (wchar_t& c : name) {
        if (c == L'\\' || c == L'/' || c == L':' || c == L'.')
            c = L'_';
    }
    return name;
}

bool IsSameVersion(const std::wstring& remote, const std::wstring& local)
{
    return remote.compare(0, local.size(), local) == 0;
}

bool IsWantedVersion(bool keyed, const std::wstring& remote, const std::wstring& local)
{
    return keyed ? IsNewerRelease(remote, local) : !IsSameVersion(remote, local);
}

unsigned long BudgetLeftMs(unsigned long long startMs, unsigned long long nowMs, unsigned long budgetMs)
{
    if (nowMs < startMs)
        return 0; // a clock that went back is not trusted with more time
    const unsigned long long spent = nowMs - startMs;
    return spent >= budgetMs ? 0 : static_cast<unsigned long>(budgetMs - spent);
}

SwapOutcome SwapExecutables(IUpdatePlatform& platform, const std::wstring& modulePath, const std::wstring& exeName)
{
    if (!platform.MoveTo(modulePath, kOldExeName)) {
        // A "Kestrun.exe.old" left by an earlier update is in the way; the
        // program stays in place, so this move normally fails as well, and the
        // relaunched instance clears the old file for the next attempt.
        platform.MoveTo(kDownloadName, exeName);
        return SwapOutcome::kBlocked;
    }
    if (platform.MoveTo(kDownloadName, exeName))
        return SwapOutcome::kInstalled;
    // The download stays where it is, for the next start.
    return platform.MoveTo(kOldExeName, modulePath) ? SwapOutcome::kRestored : SwapOutcome::kMissing;
}

bool RunUpdateCheck(IUpdatePlatform& platform, const std::string& cdnBase, const UpdateSigning& signing,
                    CKestrun& app, bool reopen)
{
    const std::wstring modulePath = platform.ModulePath();
    app.m_exeName = FileNameOf(modulePath);
    switch (platform.CreateFolderMutex(UpdateMutexName(modulePath))) {
    case FolderMutex::kFailed:
        return false;
    case FolderMutex::kAlreadyExists:
        return true; // another instance of this folder runs: it does the check
    case FolderMutex::kCreated:
        break;
    }
    if (reopen)
        return true;

    const std::string folderUrl = cdnBase + kUpdateFolder;
    const unsigned long long start = platform.NowMs();
    const std::string body =
        platform.FetchVersionFile(folderUrl + kVersionFileName, kVersionFileMaxBytes, kUpdateCheckBudgetMs);
    if (body.empty())
        return true;
    const VersionFile remote = ParseVersionFile(body.data(), body.size());
    if (!IsWantedVersion(signing.HasKey(), platform.Widen(remote.version), platform.LocalVersion()))
        return true;
    // An executable that could never be installed is not fetched at all.
    if (!signing.MayAccept(remote.sig))
        return true;
    const DownloadLimits limits{BudgetLeftMs(start, platform.NowMs(), kUpdateCheckBudgetMs), kUpdateExeMaxBytes};
    if (limits.timeLimitMs == 0)
        return true;
    const BodyCheck signedByPublisher = [&signing, &remote](const unsigned char* bytes, size_t length) {
        return signing.Accepts(remote.sig, remote.version, remote.exe, bytes, length);
    };
    if (!platform.DownloadVerified(platform.Widen(folderUrl + remote.exe), kDownloadName, remote.md5, limits,
                                   signedByPublisher))
        return true;

    switch (SwapExecutables(platform, platform.ModulePath(), app.m_exeName)) {
    case SwapOutcome::kInstalled:
    case SwapOutcome::kBlocked:
        app.m_mode = kModeRelaunch;
        break;
    case SwapOutcome::kRestored:
    case SwapOutcome::kMissing:
        break; // relaunching would start nothing new, or nothing at all
    }
    return true;
}
