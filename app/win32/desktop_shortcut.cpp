#include "app/win32/desktop_shortcut.h"

#include "app/core/relaunch.h"
#include "app/core/shortcut_name.h"
#include "app/win32/resource_string.h"
#include "framework/com_ptr.h"
#include "resources/resource_ids.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

namespace {

bool SameFolder(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

} // namespace

bool CreateDesktopShortcut(const std::wstring& folder, const std::wstring& exeName)
{
    wchar_t desktop[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOP, FALSE))
        return false;
    if (folder.empty() || SameFolder(desktop, folder))
        return false;
    const std::wstring title = LoadResourceString(IDS_APP_TITLE);
    if (title.empty())
        return false;
    return CreateShellLink(JoinPath(folder, exeName), JoinPath(desktop, ShortcutFileName(title)), folder);
}

bool CreateShellLink(const std::wstring& target, const std::wstring& file, const std::wstring& workingFolder)
{
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.PutVoid())))
        return false;
    link->SetPath(target.c_str());
    link->SetWorkingDirectory(workingFolder.c_str());
    const ComPtr<IPersistFile> persist = link.As<IPersistFile>(IID_IPersistFile);
    if (!persist)
        return false;
    persist->Save(file.c_str(), TRUE);
    return true;
}
