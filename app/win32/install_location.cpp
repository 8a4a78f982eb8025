#include "app/win32/install_location.h"

#include "app/core/install_drive.h"

#include <windows.h>

wchar_t ChooseInstallDrive()
{
    // 26 letters of four units each and the final terminator fit with room.
    wchar_t list[260] = {};
    const DWORD units = GetLogicalDriveStringsW(260, list);
    if (units == 0 || units >= 260)
        return 0;
    std::vector<DriveSpace> candidates;
    for (const std::wstring& root : SplitDriveList(list, units)) {
        if (!IsInstallCandidate(root, GetDriveTypeW(root.c_str())))
            continue;
        ULARGE_INTEGER available = {}, total = {}, free = {};
        // A drive whose free space cannot be read counts as full.
        if (!GetDiskFreeSpaceExW(root.c_str(), &available, &total, &free))
            available.QuadPart = 0;
        candidates.push_back(DriveSpace{root[0], available.QuadPart});
        Sleep(100);
    }
    return PickInstallDrive(candidates);
}
