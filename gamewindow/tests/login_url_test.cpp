#include "gamewindow/core/login_url.h"

#include <gtest/gtest.h>

namespace {

const std::string kBase = "http://localhost:23000/wz_cdn/";
const std::string P = "http://g.example/s1/";

std::string Rewrite(const std::string& url, bool testMode = false, LoginRewrite* out = nullptr)
{
    LoginRewrite local;
    LoginRewrite* r = out ? out : &local;
    return RewriteLoginText(url, testMode, 23000, r) ? r->gameUrl : "<not captured>";
}

} // namespace

TEST(RewriteLoginText, WorkedExamples)
{
    LoginRewrite r;
    EXPECT_EQ(Rewrite(P + "vexalogin?pf=a1&serverId=7&showlogin=2&t=9", false, &r),
              P + "vexalogin?pf=a1&serverId=7&showlogin=5&t=9&wd20170319=1&clientloginPath=" + kBase);
    EXPECT_EQ(r.pf, ""); // straight after "?"
    EXPECT_EQ(r.serverId, "&serverId=7&");

    EXPECT_EQ(Rewrite(P + "vexalogin?a=1&serverId=7", false, &r),
              P + "vexalogin?a=1&serverId=7&wd20170319=1&showlogin=5&clientloginPath=" + kBase);
    EXPECT_EQ(r.serverId, "&serverId=7&");
}

TEST(RewriteLoginText, MarkerMustFollowTheFirstCharacter)
{
    EXPECT_EQ(Rewrite("vexalogin?a=1"), "<not captured>");
    EXPECT_NE(Rewrite("xvexalogin?a=1"), "<not captured>");
    EXPECT_EQ(Rewrite(P + "login_kq?a=1"), "<not captured>");
    EXPECT_EQ(Rewrite(P + "login_kq?a=1", true), P + "login_kq?a=1&wd20170319=1&showlogin=yw_test&clientloginPath=" + kBase);
    EXPECT_EQ(Rewrite("login_kq?a=1", true), "<not captured>");
    EXPECT_EQ(Rewrite(P + "nothing?a=1", true), "<not captured>");
}

TEST(RewriteLoginText, ShowloginParameters)
{
    // After "?" it does not count: a second one is appended.
    EXPECT_EQ(Rewrite(P + "vexalogin?showlogin=2&x=1"),
              P + "vexalogin?showlogin=2&x=1&wd20170319=1&showlogin=5&clientloginPath=" + kBase);
    EXPECT_EQ(Rewrite(P + "vexalogin?a=1&showlogin=2&b=2&showlogin=3", true),
              P + "vexalogin?a=1&showlogin=yw_test&b=2&showlogin=yw_test&wd20170319=1&clientloginPath=" + kBase);
    EXPECT_EQ(Rewrite(P + "vexalogin?a=1&showlogin=3"),
              P + "vexalogin?a=1&showlogin=5&wd20170319=1&clientloginPath=" + kBase);
}

TEST(RewriteLoginText, OverlongUrlIsRefusedWithoutExhaustingTheStack)
{
    // A run this long under "[^&]*" overflows the matcher's recursion.
    const std::string huge = P + "vexalogin?a=1&showlogin=" + std::string(200000, 'v');
    EXPECT_EQ(Rewrite(huge), "<not captured>");
    EXPECT_EQ(GetQueryParam("&pf=" + std::string(200000, 'p'), "pf"), "");
    const std::string longest = P + "vexalogin?a=1&showlogin=" + std::string(kLoginUrlMaxBytes - P.size() - 24, 'v');
    ASSERT_EQ(longest.size(), kLoginUrlMaxBytes);
    EXPECT_NE(Rewrite(longest).find("&showlogin=5&wd20170319=1"), std::string::npos);
}

TEST(GetQueryParam, WholeMatchWithItsAmpersands)
{
    EXPECT_EQ(GetQueryParam("pf=a&b=1", "pf"), "pf=a&");
    EXPECT_EQ(GetQueryParam("x?b=1&pf=a", "pf"), "&pf=a");
    EXPECT_EQ(GetQueryParam("x?pf=a&b=1", "pf"), "");
    EXPECT_EQ(GetQueryParam("x?b=1&pf=&c", "pf"), "&pf=&");
    EXPECT_EQ(GetQueryParam("x?b=1", "pf"), "");
    EXPECT_EQ(GetQueryParam("x?b=1&(=2", "("), ""); // an invalid pattern is no match
}

TEST(RegexReplaceAll, EveryMatchAndInvalidPatterns)
{
    EXPECT_EQ(RegexReplaceAll("a1b22c", "[0-9]+", "#"), "a#b#c");
    EXPECT_EQ(RegexReplaceAll("abc", "(", "#"), "abc");
}

// The default format rules, and the digits a pattern reads (counts,
// back-references, escapes), as the standard library's own replace has them.
TEST(RegexReplaceAll, FormatRulesAndDigitsInPatterns)
{
    const struct {
        const char* input;
        const char* pattern;
        const char* replacement;
        const char* output;
    } cases[] = {
        {"a-b", "(a)-(b)", "$2+$1", "b+a"},
        {"xay", "a", "[$&|$`|$']", "x[a|x|y]y"},
        {"a", "a", "$$", "$"},
        {"a", "a", "$x", "$x"},
        {"a", "(a)", "$10", ""}, // two digits name group 10, which is not there
        {"a", "(a)(b)?", "<$2>", "<>"},
        {"aaaa", "a{3}", "#", "#a"},
        {"aab", "(a)\\1", "#", "#b"},
        {"A+", "\\x41\\u002b", "#", "#"},
        {"ab", "", "-", "-a-b-"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RegexReplaceAll(c.input, c.pattern, c.replacement), c.output)
            << c.input << " / " << c.pattern << " / " << c.replacement;
}
