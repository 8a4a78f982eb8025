#include "app/core/selftest_report.h"

#include <gtest/gtest.h>

TEST(SelfTestReport, FileHasOneCrlfLinePerCheckAfterMarkAndHeading)
{
    SelfTestReport report;
    report.Pass("system.windows", "Windows 10.0 build 19045");
    report.Fail("swap.rename", "MoveFileW: error 5");
    report.NotRun("browser.page_script", "the page's script did not report");
    report.Add("pictures.bmp", CheckOutcome::kPass, "");
    EXPECT_EQ(report.FileText("Kestrun self-test 1.0"),
              "\xEF\xBB\xBF"
              "Kestrun self-test 1.0\r\n"
              "system.windows: PASS: Windows 10.0 build 19045\r\n"
              "swap.rename: FAIL: MoveFileW: error 5\r\n"
              "browser.page_script: NOT RUN: the page's script did not report\r\n"
              "pictures.bmp: PASS\r\n"
              "result: 2 passed, 1 failed, 1 not run\r\n");
}

TEST(SelfTestReport, ExitCodeIsZeroOnlyWhenEveryCheckPassed)
{
    struct Case {
        std::vector<CheckOutcome> outcomes;
        int exitCode;
    };
    const Case cases[] = {
        {{}, 1}, // nothing checked proves nothing
        {{CheckOutcome::kPass}, 0},
        {{CheckOutcome::kPass, CheckOutcome::kPass}, 0},
        {{CheckOutcome::kPass, CheckOutcome::kNotRun}, 1},
        {{CheckOutcome::kFail, CheckOutcome::kPass}, 1},
    };
    for (const Case& c : cases) {
        SelfTestReport report;
        for (size_t i = 0; i < c.outcomes.size(); ++i)
            report.Add("check.n" + std::to_string(i), c.outcomes[i], "x");
        EXPECT_EQ(report.ExitCode(), c.exitCode) << c.outcomes.size() << " checks";
    }
}

TEST(SelfTestReport, DetailStaysOneValidUtf8Line)
{
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"a\r\nb\tc", "a  b c"},
        {"agent\x7F", "agent "},
        {"\xE4\xB8\xAD\xE6\x96\x87", "\xE4\xB8\xAD\xE6\x96\x87"},     // kept whole
        {"x\xE4\xB8", "x??"},                                          // broken off
        {"\xC0\xAF/", "?" "?/"},                                       // overlong "/"
        {"\xED\xA0\x80", "???"},                                       // a surrogate
        {"\xF4\x90\x80\x80", "????"},                                  // beyond U+10FFFF
        {std::string("nul\0in", 6), "nul in"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CleanDetail(c.in), c.out) << c.in;
}

TEST(SelfTestReport, LongDetailIsCutAtACharacterBoundary)
{
    // 3-byte characters: a cut at a fixed byte count would split one.
    std::string wide;
    while (wide.size() < 2 * kCheckDetailMaxBytes)
        wide += "\xE4\xB8\xAD";
    const std::string cut = CleanDetail(wide);
    ASSERT_LE(cut.size(), kCheckDetailMaxBytes);
    ASSERT_EQ(cut.substr(cut.size() - 3), "...");
    EXPECT_EQ((cut.size() - 3) % 3, 0u);
    EXPECT_EQ(CleanDetail(cut.substr(0, cut.size() - 3)), cut.substr(0, cut.size() - 3));

    const std::string exact(kCheckDetailMaxBytes, 'a');
    EXPECT_EQ(CleanDetail(exact), exact);
}

TEST(SelfTestReport, BadOrRepeatedNamesAreFailuresOfTheirOwn)
{
    SelfTestReport report;
    report.Pass("cache.miss", "ok");
    report.Pass("cache.miss", "again");
    report.Pass("bad name: PASS", "forged");
    report.Pass("", "empty");
    ASSERT_EQ(report.Lines().size(), 4u);
    EXPECT_EQ(report.Lines()[1].name, "report.duplicate");
    EXPECT_EQ(report.Lines()[2].name, "report.bad_name");
    EXPECT_EQ(report.Lines()[3].name, "report.bad_name");
    EXPECT_EQ(report.Count(CheckOutcome::kFail), 3u);
    EXPECT_FALSE(report.AllPassed());
}

TEST(SelfTestReport, ExpectedLinesKeepTheirPlaceAndNameTheFailureThatSkippedThem)
{
    SelfTestReport report;
    report.Expect({"system.windows", "swap.rename", "cache.miss", "selftest.cleanup", "system.windows", "bad name"});
    report.Pass("system.windows", "10.0");
    report.Fail("selftest.cleanup", "no temporary folder");
    report.Pass("extra.line", "appended");
    report.Pass("system.windows", "again");
    EXPECT_EQ(report.FileText("h"),
              "\xEF\xBB\xBF"
              "h\r\n"
              "system.windows: PASS: 10.0\r\n"
              "swap.rename: NOT RUN: not reached: selftest.cleanup failed\r\n"
              "cache.miss: NOT RUN: not reached: selftest.cleanup failed\r\n"
              "selftest.cleanup: FAIL: no temporary folder\r\n"
              "extra.line: PASS: appended\r\n"
              "report.duplicate: FAIL: the check system.windows was reported twice\r\n"
              "result: 2 passed, 2 failed, 2 not run\r\n");

    SelfTestReport untouched;
    untouched.Expect({"a.b"});
    EXPECT_EQ(untouched.Lines()[0].detail, "not reached");
    EXPECT_EQ(untouched.ExitCode(), 1);
}
