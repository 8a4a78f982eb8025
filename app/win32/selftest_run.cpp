#include "app/win32/selftest_run.h"

#include "app/core/relaunch.h"
#include "app/win32/resource_string.h"
#include "app/win32/selftest_checks.h"
#include "app/win32/selftest_origin.h"
#include "app/win32/win32_app_platform.h"
#include "base/win32/wide_text.h"
#include "framework/handles.h"
#include "resources/resource_ids.h"

#include <vector>

namespace {

constexpr wchar_t kReportFolder[] = L"yw_test";
constexpr wchar_t kReportName[] = L"selftest.txt";
constexpr wchar_t kBoxCaption[] = L"Kestrun self-test";

// Every line of the report, in the order the checks run: a step that fails
// leaves the lines after it in place, not reached.
const std::vector<std::string> kReportLines = {
    "system.windows",
    "system.word_size",
    "system.common_controls",
    "system.dpi",
    "signatures.good",
    "signatures.changed",
    "swap.rename",
    "swap.cleanup",
    "cache.miss",
    "cache.hit",
    "browser.window",
    "browser.page_script",
    "browser.document_mode",
    "browser.user_agent",
    "browser.localhost_url",
    "browser.title_change",
    "browser.ui_handler",
    "browser.trusted_page",
    "pictures.bmp",
    "selftest.cleanup",
};

// Removes a folder of the self-test's own with everything in it. Links
// are removed, never followed.
bool RemoveTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW entry;
    ScopedFind find(::FindFirstFileW(JoinPath(folder, L"*").c_str(), &entry));
    if (find) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = JoinPath(folder, name);
            const DWORD attributes = entry.dwFileAttributes;
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                RemoveTree(path);
            } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
                ::RemoveDirectoryW(path.c_str());
            } else {
                ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(path.c_str());
            }
        } while (::FindNextFileW(find.Get(), &entry));
    }
    return ::RemoveDirectoryW(folder.c_str()) != FALSE;
}

// A new folder under the user's temporary folder, named for this process.
std::wstring MakeWorkFolder()
{
    std::vector<wchar_t> temp(MAX_PATH + 1);
    const DWORD n = ::GetTempPathW(static_cast<DWORD>(temp.size()), temp.data());
    if (n == 0 || n >= temp.size())
        return std::wstring();
    std::wstring base(temp.data(), n);
    while (!base.empty() && base.back() == L'\\')
        base.pop_back();
    const std::wstring folder = JoinPath(base, L"kestrun_selftest_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                                                   std::to_wstring(::GetTickCount()));
    return ::CreateDirectoryW(folder.c_str(), nullptr) ? folder : std::wstring();
}

std::wstring FromUtf8(const std::string& text)
{
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

std::string Heading()
{
    SYSTEMTIME now = {};
    ::GetSystemTime(&now);
    wchar_t stamp[32];
    ::wsprintfW(stamp, L"%04u-%02u-%02u %02u:%02u UTC", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute);
    return "Kestrun self-test, version " + Utf8(LoadResourceString(IDS_LOCAL_VERSION)) + ", " +
           (sizeof(void*) == 8 ? "x86_64" : "i686") + " build, " + Utf8(stamp);
}

} // namespace

std::string Utf8(const std::wstring& text)
{
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::string narrow(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &narrow[0], n, nullptr, nullptr);
    return narrow;
}

std::string ErrorText(DWORD error)
{
    return "error " + std::to_string(error);
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes, DWORD creation)
{
    ScopedFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

bool ReadFileBytes(const std::wstring& path, size_t limit, std::string* bytes)
{
    ScopedFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !::GetFileSizeEx(file.Get(), &size))
        return false;
    const size_t wanted =
        static_cast<unsigned long long>(size.QuadPart) < limit ? static_cast<size_t>(size.QuadPart) : limit;
    bytes->assign(wanted, '\0');
    DWORD got = 0;
    return wanted == 0 ||
           (::ReadFile(file.Get(), &(*bytes)[0], static_cast<DWORD>(wanted), &got, nullptr) && got == wanted);
}

int RunSelfTest()
{
    SelfTestReport report;
    report.Expect(kReportLines);
    const std::wstring modulePath = Win32AppPlatform().ModulePath();
    CheckSystem(report);
    CheckSignatures(report);

    const std::wstring work = MakeWorkFolder();
    if (work.empty()) {
        report.Fail("selftest.cleanup", "no folder of the self-test's own could be made under the temporary folder: " +
                                            ErrorText(::GetLastError()));
    } else {
        CheckUpdateSwap(report, modulePath, work);
        SelfTestOrigin origin;
        const bool pageServed = ServeSelfTestPage(origin);
        if (!origin.Start()) {
            report.Fail("cache.miss",
                        "the self-test's loopback origin could not listen: " + ErrorText(::WSAGetLastError()));
        } else {
            const int port = CheckCacheServer(report, origin, work);
            if (pageServed) {
                CheckBrowserAndPicture(report, origin, port, work);
            } else {
                report.Fail("browser.window", "the self-test page is missing from the program's resources");
            }
            StopSelfTestCacheServer();
            origin.Stop();
        }
        if (RemoveTree(work))
            report.Pass("selftest.cleanup", "the temporary folder and everything in it are gone");
        else
            report.Fail("selftest.cleanup", "the temporary folder stayed: " + Utf8(work));
    }

    const std::wstring folder = JoinPath(FolderOf(modulePath), kReportFolder);
    const std::wstring path = JoinPath(folder, kReportName);
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const bool written = WriteFileBytes(path, report.FileText(Heading()), CREATE_ALWAYS);
    std::wstring box = FromUtf8(report.Summary()) + L".\n\n";
    box += written ? L"The report: " + path : L"The report could not be written to " + path;
    ::MessageBoxW(nullptr, box.c_str(), kBoxCaption,
                  MB_OK | MB_SETFOREGROUND | (report.AllPassed() && written ? MB_ICONINFORMATION : MB_ICONWARNING));
    return written ? report.ExitCode() : 1;
}
