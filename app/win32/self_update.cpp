#include "app/win32/self_update.h"

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

#include <vector>

namespace {

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

    unsigned long long NowMs() override { return GetTickCount64(); }

    std::string FetchVersionFile(const std::string& url, size_t capacity, unsigned long timeLimitMs) override
    {
        std::vector<char> body(capacity);
        const size_t got = FetchToMemory(Widen(url).c_str(), body.data(), body.size(), timeLimitMs);
        return std::string(body.data(), got);
    }

    std::wstring LocalVersion() override { return LoadResourceString(IDS_LOCAL_VERSION); }

    std::wstring Widen(const std::string& text) override { return ToWide(text); }

    bool DownloadVerified(const std::wstring& url, const std::wstring& path, const std::string& md5,
                          const DownloadLimits& limits, const BodyCheck& accept) override
    {
        return ::DownloadVerified(url.c_str(), path.c_str(), md5, limits, accept);
    }

    bool MoveTo(const std::wstring& from, const std::wstring& to) override
    {
        return MoveFileW(from.c_str(), to.c_str()) != FALSE;
    }
};

} // namespace

bool CheckForUpdate(CKestrun& app, bool reopen)
{
    Win32UpdatePlatform platform;
    BCryptSignatureVerifier verifier;
    const UpdateSigning signing(KESTRUN_UPDATE_PUBLIC_KEY, verifier);
    return RunUpdateCheck(platform, KESTRUN_CDN_BASE_URL, signing, app, reopen);
}
