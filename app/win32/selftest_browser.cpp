// The browser's lines and the picture line of the self-test: the real game
// window, hidden, on the self-test page served through the cache server.
#include "app/win32/selftest_checks.h"
#include "app/win32/selftest_origin.h"
#include "app/core/relaunch.h"
#include "base/core/trusted_url.h"
#include "base/win32/wide_text.h"
#include "framework/handles.h"
#include "gamewindow/core/bmp_layout.h"
#include "gamewindow/core/login_url.h"
#include "gamewindow/win32/client_command.h"
#include "gamewindow/win32/game_window.h"
#include "resources/resource_ids.h"

#include <cstdint>
#include <cstdlib>
#include <map>

namespace {

constexpr char kPagePath[] = "/kestrun_selftest/vexalogin_selftest.html";
// What the page sets its title to (resources/selftest_page.html).
constexpr wchar_t kPageTitle[] = L"Kestrun self-test: the page changed its title";
// A page served from loopback reports within a second; the rest is room for
// the control's first start on a slow machine.
constexpr DWORD kPageTimeoutMs = 10000;
// Far beyond any screen's picture at 24 bits.
constexpr size_t kPictureMaxBytes = 512u * 1024 * 1024;
constexpr char kNoReport[] = "the page's script did not report";
// The lines of what the page and the program saw of it.
const char* const kPageLines[] = {"browser.document_mode", "browser.user_agent", "browser.localhost_url",
                                  "browser.title_change",  "browser.ui_handler", "browser.trusted_page"};

// What the page and the window told the self-test, on the window's thread.
struct PageRun {
    std::map<std::wstring, std::wstring> reports;
    bool titleSeen = false;
    GamePageState state;
    bool windowMade = false;
    std::string picture; // the picture line's detail; empty: none taken
    bool pictureOk = false;
};

uint32_t Le32(const std::string& b, size_t at)
{
    return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

uint16_t Le16(const std::string& b, size_t at)
{
    return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8);
}

// Whether the file is a whole BMP of exactly width x height, laid out as
// pictures are saved; `why` says what is wrong otherwise.
bool IsBmpOfSize(const std::string& file, int width, int height, std::string* why)
{
    if (file.size() < kBmpFileHeaderBytes + kBmpInfoHeaderBytes || file[0] != 'B' || file[1] != 'M') {
        *why = "not a BMP file (" + std::to_string(file.size()) + " bytes)";
        return false;
    }
    const int fileWidth = static_cast<int32_t>(Le32(file, 18));
    const int fileHeight = static_cast<int32_t>(Le32(file, 22));
    const int depth = Le16(file, 28);
    BmpLayout layout;
    if (Le32(file, 14) != kBmpInfoHeaderBytes || Le16(file, 26) != 1 || Le32(file, 30) != 0 /* BI_RGB */ ||
        !ComputeBmpLayout(fileWidth, fileHeight, depth, &layout)) {
        *why = "a BMP header this program does not write";
        return false;
    }
    if (fileWidth != width || fileHeight != height) {
        *why = "the picture is " + std::to_string(fileWidth) + "x" + std::to_string(fileHeight) + ", the window " +
               std::to_string(width) + "x" + std::to_string(height);
        return false;
    }
    if (Le32(file, 2) != layout.fileSize || file.size() != layout.fileSize || Le32(file, 10) != layout.offBits) {
        *why = "the file's sizes do not match its header";
        return false;
    }
    *why = std::to_string(width) + "x" + std::to_string(height) + " at " + std::to_string(depth) + " bits, " +
           std::to_string(file.size()) + " bytes";
    return true;
}

void TakePicture(HWND window, const std::wstring& work, PageRun& run)
{
    RECT client = {};
    ::GetClientRect(window, &client);
    const std::wstring path = JoinPath(work, L"picture.bmp");
    ScopedGdiObject bitmap = CaptureClientArea(window);
    std::string bytes;
    if (!bitmap || !WriteBitmapFile(static_cast<HBITMAP>(bitmap.Get()), path.c_str()) ||
        !ReadFileBytes(path, kPictureMaxBytes, &bytes)) {
        run.picture = "no picture could be taken of the window";
    } else {
        run.pictureOk = IsBmpOfSize(bytes, client.right - client.left, client.bottom - client.top, &run.picture);
    }
    ::DeleteFileW(path.c_str());
}

// Ends the window once the page has reported and its title came, or at
// the time limit; either way a picture is taken first.
bool Tick(HWND window, const GamePageState& state, DWORD start, const std::wstring& work, PageRun& run)
{
    run.state = state;
    const bool complete = run.reports.count(L"done") && run.titleSeen;
    if (!complete && ::GetTickCount() - start < kPageTimeoutMs)
        return true;
    TakePicture(window, work, run);
    return false;
}

std::string Reported(const PageRun& run, const wchar_t* key)
{
    const auto found = run.reports.find(key);
    return found == run.reports.end() ? std::string() : Utf8(found->second);
}

// Every line of the browser and the picture, none of them run.
void NoneRun(SelfTestReport& report, bool windowFailed, const std::string& why)
{
    if (windowFailed)
        report.Fail("browser.window", why);
    else
        report.NotRun("browser.window", why);
    report.NotRun("browser.page_script", why);
    for (const char* name : kPageLines)
        report.NotRun(name, why);
    report.NotRun("pictures.bmp", why);
}

void Judge(SelfTestReport& report, bool pass, const char* name, const std::string& passText,
           const std::string& failText)
{
    if (pass)
        report.Pass(name, passText);
    else
        report.Fail(name, failText);
}

void ReportPage(SelfTestReport& report, const PageRun& run, int port, int pageFetches)
{
    if (!run.reports.count(L"done")) {
        // What was seen of the page says how far it got, never that it ran.
        report.NotRun("browser.page_script",
                      std::string(kNoReport) + " within " + std::to_string(kPageTimeoutMs / 1000) +
                          " s (the page was " +
                          (pageFetches > 0 ? "served through the cache server" : "never asked for") + ", " +
                          (run.state.pageCompleted ? "completed loading" : "never completed loading") + ")");
        for (const char* name : kPageLines)
            report.NotRun(name, kNoReport);
        return;
    }
    report.Pass("browser.page_script", "the page reported through window.external");
    const std::string mode = Reported(run, L"documentMode");
    const long modeNumber = std::strtol(mode.c_str(), nullptr, 10);
    report.Pass("browser.document_mode",
                "document mode " + mode +
                    (modeNumber >= 11 ? "" : " (a page without an X-UA-Compatible header or meta tag runs this old)"));
    const std::string agent = Reported(run, L"userAgent");
    Judge(report, !agent.empty(), "browser.user_agent", agent, "the page reported no user agent");
    const std::string expected = LocalCacheBaseUrl(port);
    const std::string localhost = Reported(run, L"localhostUrl");
    Judge(report, localhost == expected, "browser.localhost_url", "getLocalhostUrl answered " + localhost,
          "getLocalhostUrl answered \"" + localhost + "\", the server is " + expected);
    Judge(report, run.titleSeen, "browser.title_change", "the page's new title reached the program",
          "the page set its title and no title change arrived");
    Judge(report, run.state.uiHandlerInPlace, "browser.ui_handler",
          "the program's UI handler holds the page's document and gives it the script object",
          "the program's UI handler is not on the page's document");
    Judge(report, run.state.topLevelTrusted, "browser.trusted_page", "the top-level page is trusted",
          "the top-level page is not trusted");
}

} // namespace

bool ServeSelfTestPage(SelfTestOrigin& origin)
{
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(IDR_SELFTEST_PAGE), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (!bytes)
        return false;
    origin.Serve(kPagePath, "text/html; charset=utf-8",
                 std::string(static_cast<const char*>(bytes), ::SizeofResource(module, found)));
    return true;
}

void CheckBrowserAndPicture(SelfTestReport& report, SelfTestOrigin& origin, int port, const std::wstring& work)
{
    if (port == 0) {
        NoneRun(report, false, "the cache server did not start");
        return;
    }
    const std::string pageOrigin = "http://localhost:" + std::to_string(port);
    const std::string pageUrl = pageOrigin + kPagePath;
    PageRun run;
    GameWindowSettings settings;
    settings.gameUrl = ToWide(pageUrl);
    // The creation page's frame would otherwise load the platform's login page.
    settings.loginPageUrl = L"about:blank";
    settings.localPort = port;
    const std::string cdn = origin.BaseUrl();
    settings.cdnBase = [cdn] { return cdn; };
    settings.setCdnBase = [](const std::string&) {}; // the page moves nothing
    settings.builtInCdnBase = cdn;
    settings.trusted.AddOrigin(pageUrl); // the self-test page alone
    settings.pageTitleChanged = [&run](const wchar_t* title) {
        if (title && std::wstring(title) == kPageTitle)
            run.titleSeen = true;
    };
    settings.hidden = true;
    settings.pageCheck.origin = pageOrigin;
    settings.pageCheck.report = [&run](const std::wstring& name, const std::wstring& value) {
        if (run.reports.size() < 16)
            run.reports[name.substr(0, 64)] = value.substr(0, 1024);
    };
    const DWORD start = ::GetTickCount();
    settings.pageCheck.tick = [&run, start, &work](HWND window, const GamePageState& state) {
        run.windowMade = true;
        return Tick(window, state, start, work, run);
    };
    const int result = RunGameWindow(settings);
    if (result != 0 || !run.windowMade) {
        NoneRun(report, true, "the hidden game window or its browser control could not be made");
        return;
    }
    report.Pass("browser.window", "the hidden game window's browser control was made and sent to " + pageUrl);
    ReportPage(report, run, port, origin.Requests(kPagePath));
    Judge(report, run.pictureOk, "pictures.bmp", "a valid BMP of the window's client area: " + run.picture,
          run.picture);
}
