#include "app/core/version_file.h"

#include <gtest/gtest.h>

#include <string>

TEST(VersionFile, ValuesRunToLineEndsWithNothingTrimmed)
{
    const std::string text = "version=1.0.02\r\nmd5=ABCDEF\r\nexe=bin/Kestrun.exe\r\n";
    EXPECT_EQ(ReadVersionKey(text, "version"), "1.0.02");
    EXPECT_EQ(ReadVersionKey(text, "md5"), "ABCDEF");
    EXPECT_EQ(ReadVersionKey(text, "exe"), "bin/Kestrun.exe");
    EXPECT_EQ(ReadVersionKey("exe= a b \nx", "exe"), " a b ");
    EXPECT_EQ(ReadVersionKey("md5=1\rmd5=2", "md5"), "1");
    EXPECT_EQ(ReadVersionKey("exe=", "exe"), "");
    EXPECT_EQ(ReadVersionKey("a=1", "missing"), "");
}

TEST(VersionFile, KeysAreFoundAsSubstringsOnlyWithTheEqualsRightBehind)
{
    // Published files rely on both of these.
    EXPECT_EQ(ReadVersionKey("subversion=9\nversion=1", "version"), "9");
    EXPECT_EQ(ReadVersionKey("version = 1.0.02\n", "version"), "");
    EXPECT_EQ(ReadVersionKey("version: 2\nversion=3", "version"), "3");
    EXPECT_EQ(ReadVersionKey("Version=3", "version"), "");
    // A later occurrence overlapping an earlier one is still found.
    EXPECT_EQ(ReadVersionKey("exeexe=k.exe", "exe"), "k.exe");
}

TEST(VersionFile, TextEndsAtTheFirstZeroByte)
{
    const char body[] = "version=1\0md5=x";
    const VersionFile file = ParseVersionFile(body, sizeof body - 1);
    EXPECT_EQ(file.version, "1");
    EXPECT_EQ(file.md5, "");
    // Without a terminator the whole length counts.
    const char unterminated[] = {'e', 'x', 'e', '=', 'a'};
    EXPECT_EQ(ParseVersionFile(unterminated, sizeof unterminated).exe, "a");
    EXPECT_EQ(ParseVersionFile(nullptr, 4).exe, "");
}

TEST(VersionFile, KeysBeyondTheFirst255BytesCount)
{
    const std::string text = "# " + std::string(400, 'x') + "\r\nversion=1.0.02\r\nmd5=abc\r\nexe=K.exe\r\n";
    const VersionFile file = ParseVersionFile(text.data(), text.size());
    EXPECT_EQ(file.version, "1.0.02");
    EXPECT_EQ(file.md5, "abc");
    EXPECT_EQ(file.exe, "K.exe");
}
