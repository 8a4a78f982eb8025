// The system's lines and the signature lines of the self-test.
#include "app/core/update_signature.h"
#include "app/win32/selftest_checks.h"
#include "app/win32/signature_bcrypt.h"
#include "framework/handles.h"

#include <shlwapi.h>

#include <cwctype>

namespace {

// Windows 8.1 and later tell GetVersionEx callers the version their
// manifest names; RtlGetVersion always tells the truth.
using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
using WineGetVersionFn = const char*(CDECL*)();
using IsWow64Process2Fn = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, BOOL*);
using IsProcessDpiAwareFn = BOOL(WINAPI*)();

template <typename Fn>
Fn SystemFunction(const wchar_t* module, const char* name)
{
    HMODULE loaded = ::GetModuleHandleW(module);
    return loaded ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(loaded, name))) : nullptr;
}

void CheckWindowsVersion(SelfTestReport& report)
{
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    const auto rtlGetVersion = SystemFunction<RtlGetVersionFn>(L"ntdll.dll", "RtlGetVersion");
    if (!rtlGetVersion || rtlGetVersion(&version) != 0) {
        report.Fail("system.windows", "RtlGetVersion did not answer");
        return;
    }
    std::string text = "Windows " + std::to_string(version.dwMajorVersion) + "." +
                       std::to_string(version.dwMinorVersion) + " build " + std::to_string(version.dwBuildNumber);
    if (version.szCSDVersion[0])
        text += " " + Utf8(version.szCSDVersion);
    text += version.wProductType == VER_NT_WORKSTATION ? ", workstation" : ", server";
    // Wine says so through an export of its own; the report must not pass
    // off its answers as a Windows machine's.
    if (const auto wine = SystemFunction<WineGetVersionFn>(L"ntdll.dll", "wine_get_version"))
        text += std::string(" (Wine ") + wine() + ")";
    report.Pass("system.windows", text);
}

const char* MachineName(USHORT machine)
{
    switch (machine) {
    case IMAGE_FILE_MACHINE_I386:
        return "x86";
    case IMAGE_FILE_MACHINE_AMD64:
        return "x64";
    case 0xAA64: // IMAGE_FILE_MACHINE_ARM64
        return "ARM64";
    default:
        return "another";
    }
}

void CheckWordSize(SelfTestReport& report)
{
    const char* program = sizeof(void*) == 8 ? "64-bit program" : "32-bit program";
    USHORT processMachine = 0;
    USHORT nativeMachine = 0;
    if (const auto wow2 = SystemFunction<IsWow64Process2Fn>(L"kernel32.dll", "IsWow64Process2")) {
        if (wow2(::GetCurrentProcess(), &processMachine, &nativeMachine)) {
            report.Pass("system.word_size", std::string(program) + " on " + MachineName(nativeMachine) + " Windows" +
                                                (processMachine != 0 ? " (WOW64)" : ""));
            return;
        }
    }
    BOOL wow64 = FALSE;
    const auto wow = SystemFunction<IsWow64ProcessFn>(L"kernel32.dll", "IsWow64Process");
    if (wow && !wow(::GetCurrentProcess(), &wow64)) {
        report.Fail("system.word_size", "IsWow64Process: " + ErrorText(::GetLastError()));
        return;
    }
    // Without IsWow64Process the system is 32-bit (it came with 64-bit XP).
    const bool system64 = sizeof(void*) == 8 || wow64;
    report.Pass("system.word_size", std::string(program) + " on " + (system64 ? "64-bit" : "32-bit") + " Windows" +
                                        (wow64 ? " (WOW64)" : ""));
}

// The file of the side-by-side assembly the manifest asks for:
// ...\WinSxS\<arch>_microsoft.windows.common-controls_<token>_6.<...>\comctl32.dll.
bool IsVersion6Assembly(const wchar_t* file)
{
    std::wstring path(file);
    for (wchar_t& c : path)
        c = static_cast<wchar_t>(::towlower(c));
    const size_t at = path.find(L"\\winsxs\\");
    const size_t name = path.find(L"_microsoft.windows.common-controls_6595b64144ccf1df_6.", at);
    return at != std::wstring::npos && name != std::wstring::npos && path.find(L'\\', name) != std::wstring::npos;
}

void CheckCommonControls(SelfTestReport& report)
{
    // Loaded by name under the process's activation context: the manifest's
    // dependency decides which comctl32 this is, as for our windows.
    ScopedLibrary comctl(::LoadLibraryW(L"comctl32.dll"));
    const auto getVersion = comctl ? reinterpret_cast<DLLGETVERSIONPROC>(
                                         reinterpret_cast<void*>(::GetProcAddress(comctl.Get(), "DllGetVersion")))
                                   : nullptr;
    DLLVERSIONINFO info = {};
    info.cbSize = sizeof info;
    if (!getVersion || FAILED(getVersion(&info))) {
        report.Fail("system.common_controls", "comctl32 reports no version");
        return;
    }
    wchar_t file[MAX_PATH] = {};
    ::GetModuleFileNameW(comctl.Get(), file, MAX_PATH);
    const std::string version = std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion);
    if (info.dwMajorVersion >= 6) {
        report.Pass("system.common_controls", "comctl32 " + version + " in effect");
    } else if (IsVersion6Assembly(file)) {
        // Wine loads the 6.0 assembly and still reports 5.81 for it.
        report.Pass("system.common_controls", "the common controls 6.0 side-by-side assembly is in effect (" +
                                                  Utf8(file) + "), though it reports version " + version);
    } else {
        report.Fail("system.common_controls",
                    "comctl32 " + version + " (" + Utf8(file) +
                        ") in effect: the manifest's common controls 6 dependency was not honoured");
    }
}

void CheckDpi(SelfTestReport& report)
{
    ScopedWindowDc screen(nullptr);
    if (!screen.Get()) {
        report.Fail("system.dpi", "no screen device context");
        return;
    }
    const int dpiX = ::GetDeviceCaps(screen.Get(), LOGPIXELSX);
    const int dpiY = ::GetDeviceCaps(screen.Get(), LOGPIXELSY);
    const int seen = ::GetDeviceCaps(screen.Get(), HORZRES);
    const int desktop = ::GetDeviceCaps(screen.Get(), DESKTOPHORZRES);
    const auto aware = SystemFunction<IsProcessDpiAwareFn>(L"user32.dll", "IsProcessDPIAware");
    std::string text = std::to_string(dpiX) + "x" + std::to_string(dpiY) + " dpi as the program sees it";
    text += aware && aware() ? ", DPI aware" : ", not DPI aware";
    if (seen > 0 && desktop > seen)
        text += "; the desktop is " + std::to_string(desktop) + " pixels wide against " + std::to_string(seen) +
                " seen: the system scales the program's windows by " + std::to_string(desktop * 100 / seen) + " %";
    else
        text += "; the system does not scale the program's windows";
    if (dpiX <= 0 || dpiY <= 0)
        report.Fail("system.dpi", text);
    else
        report.Pass("system.dpi", text);
}

// A release statement signed once for this check with a key made for it
// alone (scripts/sign_update.py over kSignedBytes as version 9.9.9 of
// Kestrun.exe); the private key was discarded. It proves nothing about any
// real release and can let nothing in: no build carries its key.
constexpr char kCheckKeyHex[] = "4b38c13ba594e1718d8cda6e9894099f5a50ea1ee4c3ffbce66a03ec0af6194c"
                                "5180ceca67c5c975f4846c7fb972dd7b4d8a7158967f655ecd5ffd323a1f595f";
constexpr char kCheckSig[] = "Kestrun-Release-1:6cf4b5fa027edc7d2c2e39ecea75c909dbe4b89d073e5d6636ad90e38d808109"
                             "b89b6ee4b547ae1b174a76a6820857d5760560c11ab67710e2ce439ee22e176f";
constexpr char kSignedBytes[] = "Kestrun self-test release\n";
constexpr char kSignedVersion[] = "9.9.9";
constexpr char kSignedExe[] = "Kestrun.exe";

} // namespace

void CheckSystem(SelfTestReport& report)
{
    CheckWindowsVersion(report);
    CheckWordSize(report);
    CheckCommonControls(report);
    CheckDpi(report);
}

void CheckSignatures(SelfTestReport& report)
{
    BCryptSignatureVerifier verifier;
    const UpdateSigning signing(kCheckKeyHex, verifier);
    std::string bytes(kSignedBytes);
    const auto accepts = [&](const char* version, const std::string& body) {
        return signing.Accepts(kCheckSig, version, kSignedExe, reinterpret_cast<const unsigned char*>(body.data()),
                               body.size());
    };
    if (accepts(kSignedVersion, bytes))
        report.Pass("signatures.good", "BCrypt's ECDSA P-256 accepts the built-in signed release statement");
    else
        report.Fail("signatures.good", "BCrypt's ECDSA P-256 refused a correctly signed release statement");

    std::string changed = bytes;
    changed[0] ^= 0x01;
    const bool changedBytes = accepts(kSignedVersion, changed);
    const bool changedVersion = accepts("9.9.10", bytes);
    if (!changedBytes && !changedVersion)
        report.Pass("signatures.changed", "a changed executable and a changed version are both refused");
    else
        report.Fail("signatures.changed", std::string("accepted a changed ") +
                                              (changedBytes ? "executable" : "version") + " under the old signature");
}
