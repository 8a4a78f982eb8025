#include "app/core/install_drive.h"

std::vector<std::wstring> SplitDriveList(const wchar_t* list, size_t units)
{
    std::vector<std::wstring> roots;
    if (!list)
        return roots;
    for (size_t entry = 0; entry < units / 4; ++entry) {
        const wchar_t* root = list + entry * 4;
        size_t length = 0;
        while (length < 4 && root[length] != L'\0')
            ++length;
        if (length > 0)
            roots.emplace_back(root, length);
    }
    return roots;
}

bool IsInstallCandidate(const std::wstring& root, unsigned driveType)
{
    if (driveType != kDriveTypeFixed || root.empty())
        return false;
    return root[0] != L'c' && root[0] != L'C';
}

wchar_t PickInstallDrive(const std::vector<DriveSpace>& candidates)
{
    wchar_t chosen = 0;
    unsigned long long best = 0;
    for (const DriveSpace& drive : candidates) {
        if (drive.available > best) {
            best = drive.available;
            chosen = drive.letter;
        }
    }
    return chosen;
}
