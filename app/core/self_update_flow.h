// The self-update check of an ordinary start: ask the CDN's version file
// whether another version is published, download and verify it, swap the
// executables and let start-up relaunch the new one. The platform calls go
// through IUpdatePlatform so the decisions are tested natively.
#pragma once

#include "download/core/download_client.h"

#include <cstddef>
#include <string>

class CKestrun;
class UpdateSigning;

// CDN folder of the version file and the published executable.
extern const char kUpdateFolder[];
extern const char kVersionFileName[];
// The verified download, in the current folder.
extern const wchar_t kDownloadName[];

// The largest version file that is read. Every key of a file up to this size
// counts, wherever it stands; a longer body is not taken as a version file.
constexpr size_t kVersionFileMaxBytes = 65536;
// The largest executable that is downloaded (the program is under 2 MB); a
// longer Content-Length is refused before anything is allocated or written.
constexpr size_t kUpdateExeMaxBytes = 32u * 1024 * 1024;
// The whole check, both fetches included, ends within this time; start-up
// then goes on with the current version.
constexpr unsigned long kUpdateCheckBudgetMs = 20000;

enum class FolderMutex { kCreated, kAlreadyExists, kFailed };

class IUpdatePlatform {
public:
    virtual ~IUpdatePlatform() = default;

    virtual std::wstring ModulePath() = 0;
    // Milliseconds from any fixed start; never goes back.
    virtual unsigned long long NowMs() = 0;
    // Creates the named mutex, owned, and holds it until the process ends.
    virtual FolderMutex CreateFolderMutex(const std::wstring& name) = 0;
    // The body of url when it fits in capacity bytes and came within
    // timeLimitMs; empty on any failure.
    virtual std::string FetchVersionFile(const std::string& url, size_t capacity, unsigned long timeLimitMs) = 0;
    // String resource 1016.
    virtual std::wstring LocalVersion() = 0;
    // Narrow text of the version file (ANSI code page) as UTF-16.
    virtual std::wstring Widen(const std::string& text) = 0;
    // Writes the download to path only when it kept limits, its digest
    // matches and accept takes its bytes.
    virtual bool DownloadVerified(const std::wstring& url, const std::wstring& path, const std::string& md5,
                                  const DownloadLimits& limits, const BodyCheck& accept) = 0;
    virtual bool MoveTo(const std::wstring& from, const std::wstring& to) = 0;
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

// The time left of a budget that started at startMs.
unsigned long BudgetLeftMs(unsigned long long startMs, unsigned long long nowMs, unsigned long budgetMs);

enum class SwapOutcome {
    kInstalled,       // the new executable is in place under the program's name
    kBlocked,         // an old file in the way kept the program unchanged
    kRestored,        // the new file could not take the name; the old one is back
    kMissing,         // nothing is left under the program's name
};

// Moves the running file to "Kestrun.exe.old" and the download to the
// program's name; undoes the first move when the second fails.
SwapOutcome SwapExecutables(IUpdatePlatform& platform, const std::wstring& modulePath, const std::wstring& exeName);

// False only when the folder mutex cannot be created. Sets kModeRelaunch
// when the program under its own name is to be started again. signing
// decides, on top of the digest, which versions and downloads may be
// installed. The fetches share kUpdateCheckBudgetMs.
bool RunUpdateCheck(IUpdatePlatform& platform, const std::string& cdnBase, const UpdateSigning& signing,
                    CKestrun& app, bool reopen);
