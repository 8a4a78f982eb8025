#include "app/win32/self_update.h"

#include "app/core/kestrun_app.h"
#include "app/core/self_update_flow.h"
#include "app/core/update_signature.h"
#include "app/win32/resource_string.h"
#include "app/win32/signature_bcrypt.h"
#include "app/win32/win32_app_platform.h"
#include "base/win32/wide_text.h"
#include "build_config.h"
#include "download/core/download_client.h"
#include "framework/handles.h"
#include "resources/resource_ids.h"
#include "skin/win32/update_window.h"

#include <process.h>

#include <memory>
#include <mutex>
#include <new>
#include <vector>

namespace {

// A check that has not ended within this time is shown to the player; one
// that ends sooner shows nothing, so an ordinary start looks as it always has.
constexpr DWORD kUpdateWindowDelayMs = 1000;

// The folder mutex: owned by the first instance of a folder and held, never
// released, until the process ends.
ScopedHandle g_folderMutex;

class Win32UpdatePlatform : public IUpdatePlatform {
public:
    std::wstring ModulePath() override { return Win32AppPlatform().ModulePath(); }

    FolderMutex CreateFolderMutex(const std::wstring& name) override
    {
        SetLastError(ERROR_SUCCESS);
        HANDLE mutex = CreateMutexW(nullptr, TRUE, name.c_str());
        const DWORD error = GetLastError();
        if (mutex)
            g_folderMutex.Reset(mutex);
        if (error == ERROR_ALREADY_EXISTS)
            return FolderMutex::kAlreadyExists;
        return mutex && error == ERROR_SUCCESS ? FolderMutex::kCreated : FolderMutex::kFailed;
    }

    std::string FetchVersionFile(const std::string& url, size_t capacity, unsigned long timeLimitMs) override
    {
        std::vector<char> body(capacity);
        const size_t got = FetchToMemory(Widen(url).c_str(), body.data(), body.size(), timeLimitMs);
        return std::string(body.data(), got);
    }

    std::wstring LocalVersion() override { return LoadResourceString(IDS_LOCAL_VERSION); }

    std::wstring Widen(const std::string& text) override { return ToWide(text); }

    bool DownloadVerified(const std::wstring& url, const std::wstring& path, const std::string& md5,
                          const DownloadLimits& limits, const BodyCheck& accept, const DownloadWatch& watch) override
    {
        return ::DownloadVerified(url.c_str(), path.c_str(), md5, limits, accept, watch);
    }

    bool MoveTo(const std::wstring& from, const std::wstring& to) override
    {
        return MoveFileW(from.c_str(), to.c_str()) != FALSE;
    }
};

// One check, shared by the thread that runs it and the UI thread that shows
// it; the last of the two to let go frees it, so a check the player skipped
// may end on its own afterwards.
class UpdateJob : public IUpdateProgress, public IUpdateWindowSource {
public:
    explicit UpdateJob(std::wstring module)
        : modulePath(std::move(module))
        , signing(KESTRUN_UPDATE_PUBLIC_KEY, verifier)
        , started(CreateEventW(nullptr, TRUE, FALSE, nullptr))
        , finished(CreateEventW(nullptr, TRUE, FALSE, nullptr))
    {
    }

    // The check's thread.
    void Run()
    {
        const bool install = FetchAndInstallUpdate(platform, KESTRUN_CDN_BASE_URL, signing, modulePath, this);
        {
            std::lock_guard<std::mutex> hold(m_lock);
            m_relaunch = install;
            m_state.finished = true;
        }
        SetEvent(finished.Get());
    }

    void DownloadStarting() override
    {
        {
            std::lock_guard<std::mutex> hold(m_lock);
            m_state.downloading = true;
        }
        SetEvent(started.Get());
    }
    void Downloading(size_t received, size_t total) override
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_state.received = received;
        m_state.total = total;
    }
    bool KeepGoing() override
    {
        std::lock_guard<std::mutex> hold(m_lock);
        return !m_abandoned;
    }
    bool Commit() override
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_committed = !m_abandoned;
        return m_committed;
    }

    // The UI thread.
    UpdateWindowState Poll() override
    {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_state;
    }
    // The player skipped: true when nothing will be installed; false when
    // the verified download was already committed and its swap goes ahead.
    bool Abandon()
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_abandoned = !m_committed;
        return m_abandoned;
    }
    bool Relaunch()
    {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_relaunch;
    }

    const std::wstring modulePath;
    Win32UpdatePlatform platform;
    BCryptSignatureVerifier verifier;
    const UpdateSigning signing;
    ScopedHandle started;  // the executable's download has begun
    ScopedHandle finished; // Run has ended

private:
    std::mutex m_lock;
    UpdateWindowState m_state;
    bool m_abandoned = false;
    bool m_committed = false;
    bool m_relaunch = false;
};

unsigned __stdcall UpdateThread(void* raw)
{
    const std::unique_ptr<std::shared_ptr<UpdateJob>> job(static_cast<std::shared_ptr<UpdateJob>*>(raw));
    (*job)->Run();
    return 0;
}

// Starts the check on a thread of its own; false when none could be started.
bool StartUpdateThread(const std::shared_ptr<UpdateJob>& job)
{
    std::unique_ptr<std::shared_ptr<UpdateJob>> threadShare(new (std::nothrow) std::shared_ptr<UpdateJob>(job));
    if (!threadShare)
        return false;
    const ScopedHandle thread(
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &UpdateThread, threadShare.get(), 0, nullptr)));
    if (!thread)
        return false;
    threadShare.release(); // the thread's own share now
    return true;
}

} // namespace

std::unique_ptr<IUpdatePlatform> MakeUpdatePlatform()
{
    return std::unique_ptr<IUpdatePlatform>(new (std::nothrow) Win32UpdatePlatform());
}

bool CheckForUpdate(CKestrun& app, bool reopen)
{
    Win32UpdatePlatform platform;
    // The mutex is taken here, on the thread that lives as long as the process.
    const UpdateCheckStart start = BeginUpdateCheck(platform, app, reopen);
    if (start != UpdateCheckStart::kCheck)
        return start == UpdateCheckStart::kSkipped;
    std::shared_ptr<UpdateJob> job(new (std::nothrow) UpdateJob(platform.ModulePath()));
    if (!job || !job->started || !job->finished)
        return true;
    if (!StartUpdateThread(job)) {
        job->Run(); // as before the window existed: on this thread, unseen
    } else {
        // The download runs off this thread, so the window stays responsive.
        const HANDLE events[] = {job->finished.Get(), job->started.Get()};
        if (WaitForMultipleObjects(2, events, FALSE, kUpdateWindowDelayMs) != WAIT_OBJECT_0 &&
            RunUpdateWindow(*job) && job->Abandon())
            return true; // start-up goes on; the check's thread ends by itself and installs nothing
        WaitForSingleObject(job->finished.Get(), INFINITE);
    }
    if (job->Relaunch())
        app.m_mode = kModeRelaunch;
    return true;
}
