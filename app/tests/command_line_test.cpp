#include "app/core/command_line.h"

#include <gtest/gtest.h>

TEST(CommandLine, RecognisesEachOptionExactlyAsWritten)
{
    EXPECT_EQ(ParseCommandLine(L"re_open").option, StartOption::kReOpen);
    EXPECT_EQ(ParseCommandLine(L"re_open x").option, StartOption::kNone);
    // The self-test runs only when asked for exactly: it starts windows.
    EXPECT_EQ(ParseCommandLine(L"yw_selftest").option, StartOption::kSelfTest);
    EXPECT_EQ(ParseCommandLine(L"yw_selftest2").option, StartOption::kNone);
    EXPECT_EQ(ParseCommandLine(L"yw_selftest ").option, StartOption::kNone);
    EXPECT_EQ(ParseCommandLine(L"RE_OPEN").option, StartOption::kNone);
    EXPECT_EQ(ParseCommandLine(L"").option, StartOption::kNone);
    EXPECT_EQ(ParseCommandLine(nullptr).option, StartOption::kNone);
    EXPECT_EQ(ParseCommandLine(L"Yw_test_url=\"x\"").option, StartOption::kNone);
    EXPECT_EQ(ParseCommandLine(L" delfile=a").option, StartOption::kNone);
}

TEST(CommandLine, TestUrlDropsItsQuotes)
{
    const CommandLine line = ParseCommandLine(L"yw_test_url=\"http://a/b\"");
    EXPECT_EQ(line.option, StartOption::kTestUrl);
    EXPECT_EQ(line.testUrl, L"http://a/b");
    // The value starts at the first "=", wherever it stands.
    EXPECT_EQ(ParseCommandLine(L"yw_test_url2=\"http://h/?a=b\"").testUrl, L"http://h/?a=b");
}

TEST(CommandLine, MalformedTestUrlGivesTestModeWithoutUrl)
{
    for (const wchar_t* text : {L"yw_test_url", L"yw_test_url=", L"yw_test_url=\"", L"yw_test_url=\"\""}) {
        const CommandLine line = ParseCommandLine(text);
        EXPECT_EQ(line.option, StartOption::kTestUrl) << text;
        EXPECT_TRUE(line.testUrl.empty()) << text;
    }
}

TEST(CommandLine, OverlongTestUrlIsCutToItsBuffer)
{
    const std::wstring url(20000, L'u');
    const CommandLine line = ParseCommandLine((L"yw_test_url=\"" + url + L"\"").c_str());
    EXPECT_EQ(line.testUrl, std::wstring(8191, L'u'));
}

TEST(CommandLine, DelfileTakesEverythingAfterItsOwnEquals)
{
    EXPECT_EQ(ParseCommandLine(L"delfile=C:\\x=y\\k.exe").deletePath, L"C:\\x=y\\k.exe");
    EXPECT_EQ(ParseCommandLine(L"delfile=C:\\Program Files\\k.exe").deletePath, L"C:\\Program Files\\k.exe");
}

TEST(CommandLine, DelfileNeverDeletesACutOrMissingPath)
{
    EXPECT_EQ(ParseCommandLine(L"delfile").option, StartOption::kDelFile);
    EXPECT_TRUE(ParseCommandLine(L"delfile").deletePath.empty());
    EXPECT_TRUE(ParseCommandLine(L"delfileX=C:\\a").deletePath.empty());
    const std::wstring longest = L"C:\\" + std::wstring(256, L'a');
    EXPECT_EQ(ParseCommandLine((L"delfile=" + longest).c_str()).deletePath, longest);
    EXPECT_TRUE(ParseCommandLine((L"delfile=" + longest + L"b").c_str()).deletePath.empty());
}
