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
    std::wstring name = FolderOf(modulePath);
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

SwapOutcome SwapExecutables(IUpdatePlatform& platform, const std::wstring& modulePath, const std::wstring& exeName)
{
    // Named from the program's own folder, never the current one: started
    // from elsewhere, the program stays where it is installed.
    const std::wstring folder = FolderOf(modulePath);
    const std::wstring oldPath = JoinPath(folder, kOldExeName);
    const std::wstring download = JoinPath(folder, kDownloadName);
    const std::wstring target = JoinPath(folder, exeName);
    if (!platform.MoveTo(modulePath, oldPath)) {
        // A "Kestrun.exe.old" left by an earlier update is in the way; the
        // program stays in place, so this move normally fails as well, and the
        // relaunched instance clears the old file for the next attempt.
        platform.MoveTo(download, target);
        return SwapOutcome::kBlocked;
    }
    if (platform.MoveTo(download, target))
        return SwapOutcome::kInstalled;
    // The download stays where it is, for the next start.
    return platform.MoveTo(oldPath, modulePath) ? SwapOutcome::kRestored : SwapOutcome::kMissing;
}

UpdateCheckStart BeginUpdateCheck(IUpdatePlatform& platform, CKestrun& app, bool reopen)
{
    const std::wstring modulePath = platform.ModulePath();
    app.m_exeName = FileNameOf(modulePath);
    switch (platform.CreateFolderMutex(UpdateMutexName(modulePath))) {
    case FolderMutex::kFailed:
        return UpdateCheckStart::kFailed;
    case FolderMutex::kAlreadyExists:
        return UpdateCheckStart::kSkipped; // another instance of this folder runs: it does the check
    case FolderMutex::kCreated:
        break;
    }
    return reopen ? UpdateCheckStart::kSkipped : UpdateCheckStart::kCheck;
}

bool FetchAndInstallUpdate(IUpdatePlatform& platform, const std::string& cdnBase, const UpdateSigning& signing,
                           const std::wstring& modulePath, IUpdateProgress* progress)
{
    const std::wstring folder = FolderOf(modulePath);
    if (folder.empty())
        return false; // no folder to put the files in
    const std::string folderUrl = cdnBase + kUpdateFolder;
    const std::string body =
        platform.FetchVersionFile(folderUrl + kVersionFileName, kVersionFileMaxBytes, kVersionFileTimeLimitMs);
    if (body.empty() || (progress && !progress->KeepGoing()))
        return false;
    const VersionFile remote = ParseVersionFile(body.data(), body.size());
    if (!IsWantedVersion(signing.HasKey(), platform.Widen(remote.version), platform.LocalVersion()))
        return false;
    // An executable that could never be installed is not fetched at all.
    if (!signing.MayAccept(remote.sig))
        return false;

    const DownloadLimits limits{kUpdateExeMaxBytes, {kUpdateStallMs, kUpdateMinBytesPerSecond, kUpdateRateGraceMs}};
    const BodyCheck signedAndWanted = [&signing, &remote, progress](const unsigned char* bytes, size_t length) {
        return signing.Accepts(remote.sig, remote.version, remote.exe, bytes, length) &&
               (!progress || progress->Commit());
    };
    DownloadWatch watch;
    if (progress) {
        progress->DownloadStarting();
        watch.progress = [progress](size_t received, size_t total) { progress->Downloading(received, total); };
        watch.keepGoing = [progress] { return progress->KeepGoing(); };
    }
    if (!platform.DownloadVerified(platform.Widen(folderUrl + remote.exe), JoinPath(folder, kDownloadName),
                                   remote.md5, limits, signedAndWanted, watch))
        return false;

    switch (SwapExecutables(platform, modulePath, FileNameOf(modulePath))) {
    case SwapOutcome::kInstalled:
    case SwapOutcome::kBlocked:
        return true;
    case SwapOutcome::kRestored:
    case SwapOutcome::kMissing:
        break; // relaunching would start nothing new, or nothing at all
    }
    return false;
}

bool RunUpdateCheck(IUpdatePlatform& platform, const std::string& cdnBase, const UpdateSigning& signing,
                    CKestrun& app, bool reopen, IUpdateProgress* progress)
{
    const UpdateCheckStart start = BeginUpdateCheck(platform, app, reopen);
    if (start != UpdateCheckStart::kCheck)
        return start == UpdateCheckStart::kSkipped;
    if (FetchAndInstallUpdate(platform, cdnBase, signing, platform.ModulePath(), progress))
        app.m_mode = kModeRelaunch;
    return true;
}
