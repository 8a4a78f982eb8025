// lnkinfo: reads the shortcuts of a folder back through IShellLinkW.
//   lnkinfo FOLDER   one line per *.lnk file: name, target, working folder
//                    (tab-separated, UTF-8)
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <string>

namespace {

void PutUtf8(const std::wstring& text)
{
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(bytes > 0 ? bytes - 1 : 0, '\0');
    if (bytes > 1)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], bytes, nullptr, nullptr);
    std::fwrite(out.data(), 1, out.size(), stdout);
}

bool Describe(const std::wstring& file, std::wstring& target, std::wstring& folder)
{
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return false;
    IPersistFile* persist = nullptr;
    bool ok = SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
              SUCCEEDED(persist->Load(file.c_str(), STGM_READ));
    if (ok) {
        wchar_t text[MAX_PATH] = {};
        link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
        target = text;
        text[0] = L'\0';
        link->GetWorkingDirectory(text, MAX_PATH);
        folder = text;
    }
    if (persist)
        persist->Release();
    link->Release();
    return ok;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: lnkinfo FOLDER\n");
        return 2;
    }
    CoInitialize(nullptr);
    const std::wstring folder = argv[1];
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((folder + L"\\*.lnk").c_str(), &entry);
    int failures = 0;
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring target, workingFolder;
            if (!Describe(folder + L"\\" + entry.cFileName, target, workingFolder))
                ++failures;
            PutUtf8(std::wstring(entry.cFileName) + L"\t" + target + L"\t" + workingFolder + L"\n");
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    CoUninitialize();
    return failures == 0 ? 0 : 1;
}
