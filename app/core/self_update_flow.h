// The self-update check of an ordinary start: ask the CDN's version file
// whether another version is published, download and verify it, swap the
// executables in the program's folder and let start-up relaunch the new
// one. The platform calls go through IUpdatePlatform and what the player
// sees of it through IUpdateProgress, so the decisions are tested natively.
#pragma once

#include "download/core/download_client.h"

#include <cstddef>
#include <string>

class CKestrun;
class UpdateSigning;

// CDN folder of the version file and the published executable.
extern const char kUpdateFolder[];
extern const char kVersionFileName[];
// The verified download, in the program's folder.
extern const wchar_t kDownloadName[];

// The largest version file that is read. Every key of a file up to this size
// counts, wherever it stands; a longer body is not taken as a version file.
constexpr size_t kVersionFileMaxBytes = 65536;
// The version file is small: a CDN that has not sent it within this time is
// not going to, and start-up goes on with the current version.
constexpr unsigned long kVersionFileTimeLimitMs = 10000;
// The largest executable that is downloaded (the program is under 2 MB); a
// longer Content-Length is refused before anything is allocated or written.
constexpr size_t kUpdateExeMaxBytes = 32u * 1024 * 1024;
// The executable's download has no fixed total time, so a slow honest line
// (a mobile hotspot, a busy shared line) still gets the update; the player
// sees it and can skip it. It ends when the CDN sends nothing for
// kUpdateStallMs (WinInet's own receive time-out is 30 s), or when its
// average since the request began stays under kUpdateMinBytesPerSecond once
// kUpdateRateGraceMs have passed: a peer that trickles bytes to hold the
// start is cut off, while even the cap at that rate ends within about
// 70 minutes.
constexpr unsigned long kUpdateStallMs = 15000;
constexpr unsigned long kUpdateMinBytesPerSecond = 8 * 1024;
constexpr unsigned long kUpdateRateGraceMs = 10000;

enum class FolderMutex { kCreated, kAlreadyExists, kFailed };

class IUpdatePlatform {
public:
    virtual ~IUpdatePlatform() = default;

    virtual std::wstring ModulePath() = 0;
    // Creates the named mutex, owned, and holds it until the process ends.
    virtual FolderMutex CreateFolderMutex(const std::wstring& name) = 0;
    // The body of url when it fits in capacity bytes and came within
    // timeLimitMs; empty on any failure.
    virtual std::string FetchVersionFile(const std::string& url, size_t capacity, unsigned long timeLimitMs) = 0;
    // String resource 1016.
    virtual std::wstring LocalVersion() = 0;
    // Narrow text of the version file (ANSI code page) as UTF-16.
    virtual std::wstring Widen(const std::string& text) = 0;
    // Writes the download to path only when it kept limits, watch let it go
    // on, its digest matches and accept takes its bytes.
    virtual bool DownloadVerified(const std::wstring& url, const std::wstring& path, const std::string& md5,
                                  const DownloadLimits& limits, const BodyCheck& accept,
                                  const DownloadWatch& watch) = 0;
    virtual bool MoveTo(const std::wstring& from, const std::wstring& to) = 0;
};

// Whoever shows the check to the player, and may abandon it. Called on the
// thread that runs the check.
class IUpdateProgress {
public:
    // The executable's download begins.
    virtual void DownloadStarting() = 0;
    // Body bytes so far and the announced length (0 until known).
    virtual void Downloading(size_t received, size_t total) = 0;
    // False once the update is abandoned: the download ends.
    virtual bool KeepGoing() = 0;
    // Asked once the download is verified, before anything is written:
    // true commits the update, which can no longer be abandoned; false
    // leaves everything as it was.
    virtual bool Commit() = 0;

protected:
    ~IUpdateProgress() = default;
};

// The folder of the module path with "\", "/", ":" and "." made "_":
// D:\qzpk\Kestrun.exe gives "D__qzpk".
std::wstring UpdateMutexName(const std::wstring& modulePath);

// Not an ordering: the published version counts as the same when it begins
// with the local text, so "1.0.012" equals "1.0.01" and "1.0.0" does not.
bool IsSameVersion(const std::wstring& remote, const std::wstring& local);

// Whether the published version is worth a download. A build with a key
// only moves forward (IsNewerRelease), so that a signed older release
// cannot be served again; one without installs any other version.
bool IsWantedVersion(bool keyed, const std::wstring& remote, const std::wstring& local);

enum class SwapOutcome {
    kInstalled,       // the new executable is in place under the program's name
    kBlocked,         // an old file in the way kept the program unchanged
    kRestored,        // the new file could not take the name; the old one is back
    kMissing,         // nothing is left under the program's name
};

// Beside the running file: moves it to "Kestrun.exe.old" and the download
// to the program's name; undoes the first move when the second fails.
SwapOutcome SwapExecutables(IUpdatePlatform& platform, const std::wstring& modulePath, const std::wstring& exeName);

enum class UpdateCheckStart {
    kCheck,    // ask the CDN
    kSkipped,  // another instance of the folder checks, or this one was relaunched
    kFailed,   // the folder mutex cannot be created
};

// The first steps, on the thread that keeps the folder mutex: the program's
// name into app.m_exeName, the mutex, and whether the CDN is asked at all.
UpdateCheckStart BeginUpdateCheck(IUpdatePlatform& platform, CKestrun& app, bool reopen);

// The version file, the download and the swap, beside modulePath. True when
// the program under its own name is to be relaunched. signing decides, on
// top of the digest, which versions and downloads may be installed;
// progress (may be null) sees the download and may abandon it.
bool FetchAndInstallUpdate(IUpdatePlatform& platform, const std::string& cdnBase, const UpdateSigning& signing,
                           const std::wstring& modulePath, IUpdateProgress* progress);

// Both, on one thread. False only when the folder mutex cannot be created;
// sets kModeRelaunch when the new program is to be started.
bool RunUpdateCheck(IUpdatePlatform& platform, const std::string& cdnBase, const UpdateSigning& signing,
                    CKestrun& app, bool reopen, IUpdateProgress* progress = nullptr);
