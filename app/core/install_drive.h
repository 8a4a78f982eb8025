// The choice of the drive the program installs itself on: the fixed drive
// other than C: with the most bytes available to the user.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// GetDriveTypeW's value for a fixed disk.
constexpr unsigned kDriveTypeFixed = 3;

struct DriveSpace {
    wchar_t letter;
    unsigned long long available;
};

// The root paths of a GetLogicalDriveStringsW list of `units` units: one
// entry per four units ("X:\" and its terminator), in the platform's order.
std::vector<std::wstring> SplitDriveList(const wchar_t* list, size_t units);

// Only fixed drives other than C: are worth asking for their free space.
bool IsInstallCandidate(const std::wstring& root, unsigned driveType);

// The letter with strictly the most bytes available (ties go to the drive
// listed first, a drive with none is never chosen), or 0.
wchar_t PickInstallDrive(const std::vector<DriveSpace>& candidates);
