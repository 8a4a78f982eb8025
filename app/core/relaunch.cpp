#include "app/core/relaunch.h"

std::wstring BuildCommandLine(const std::wstring& exePath, const std::wstring& arguments)
{
    if (exePath.empty() || exePath.find(L'"') != std::wstring::npos)
        return std::wstring();
    std::wstring line;
    line.reserve(exePath.size() + arguments.size() + 3);
    line += L'"';
    line += exePath;
    line += L'"';
    if (!arguments.empty()) {
        line += L' ';
        line += arguments;
    }
    if (line.size() > kMaxCommandLineUnits)
        return std::wstring();
    return line;
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name)
{
    if (!folder.empty() && folder.back() == L'\\')
        return folder + name;
    return folder + L'\\' + name;
}

std::wstring FileNameOf(const std::wstring& path)
{
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring FolderOf(const std::wstring& path)
{
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}
