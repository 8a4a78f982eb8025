#include "app/core/install_drive.h"

#include <gtest/gtest.h>

namespace {

constexpr unsigned long long kGiB = 1ULL << 30;

} // namespace

TEST(InstallDrive, SplitsTheDriveListIntoRootsInOrder)
{
    const wchar_t list[] = L"C:\\\0D:\\\0E:\\\0F:\\\0";
    const std::vector<std::wstring> roots = SplitDriveList(list, 16);
    EXPECT_EQ(roots, (std::vector<std::wstring>{L"C:\\", L"D:\\", L"E:\\", L"F:\\"}));
    // A length that is not a whole number of entries drops the partial one.
    EXPECT_EQ(SplitDriveList(list, 7).size(), 1u);
    EXPECT_TRUE(SplitDriveList(list, 0).empty());
    EXPECT_TRUE(SplitDriveList(nullptr, 8).empty());
}

TEST(InstallDrive, OnlyFixedDrivesOtherThanCQualify)
{
    EXPECT_TRUE(IsInstallCandidate(L"D:\\", kDriveTypeFixed));
    EXPECT_FALSE(IsInstallCandidate(L"C:\\", kDriveTypeFixed));
    EXPECT_FALSE(IsInstallCandidate(L"c:\\", kDriveTypeFixed));
    EXPECT_FALSE(IsInstallCandidate(L"F:\\", 2)); // removable
    EXPECT_FALSE(IsInstallCandidate(L"G:\\", 4)); // network
    EXPECT_FALSE(IsInstallCandidate(L"H:\\", 5)); // optical
    EXPECT_FALSE(IsInstallCandidate(L"", kDriveTypeFixed));
}

TEST(InstallDrive, MostAvailableBytesWinAndTiesGoToTheFirst)
{
    EXPECT_EQ(PickInstallDrive({{L'D', 50 * kGiB}, {L'E', 80 * kGiB}}), L'E');
    EXPECT_EQ(PickInstallDrive({{L'D', 80 * kGiB}, {L'E', 80 * kGiB}}), L'D');
    EXPECT_EQ(PickInstallDrive({{L'D', 80 * kGiB}, {L'E', 80 * kGiB + 1}}), L'E');
    // Beyond 32 bits, where a narrower count would wrap.
    EXPECT_EQ(PickInstallDrive({{L'D', 5 * kGiB}, {L'E', 4 * kGiB + 1}}), L'D');
}

TEST(InstallDrive, NoDriveWithSpaceMeansNoChoice)
{
    EXPECT_EQ(PickInstallDrive({}), 0);
    EXPECT_EQ(PickInstallDrive({{L'D', 0}, {L'E', 0}}), 0);
    EXPECT_EQ(PickInstallDrive({{L'D', 0}, {L'E', 1}}), L'E');
}
