#include "base/win32/wide_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(WideText, RoundTripsAsciiInBothCodePages)
{
    wchar_t wide[32];
    EXPECT_TRUE(ToWide("http://localhost:22325/wz_cdn/", wide, 32));
    EXPECT_STREQ(wide, L"http://localhost:22325/wz_cdn/");
    char narrow[32];
    EXPECT_TRUE(ToNarrow(wide, narrow, sizeof narrow));
    EXPECT_STREQ(narrow, "http://localhost:22325/wz_cdn/");
    EXPECT_EQ(ToWide(std::string("abc")), L"abc");
    EXPECT_EQ(ToNarrow(std::wstring(L"abc")), "abc");
}

TEST(WideText, NeverWritesPastTheDestination)
{
    wchar_t wide[8];
    wmemset(wide, L'#', 8);
    EXPECT_FALSE(ToWide("0123456789", wide, 5));
    EXPECT_STREQ(wide, L"0123");
    EXPECT_EQ(wide[5], L'#');

    char narrow[8];
    std::memset(narrow, '#', sizeof narrow);
    EXPECT_FALSE(ToNarrow(L"0123456789", narrow, 5));
    EXPECT_STREQ(narrow, "0123");
    EXPECT_EQ(narrow[5], '#');

    EXPECT_TRUE(ToWide("", wide, 1));
    EXPECT_STREQ(wide, L"");
    EXPECT_FALSE(ToWide("x", wide, 0));
    EXPECT_TRUE(ToNarrow(nullptr, narrow, 4));
    EXPECT_STREQ(narrow, "");
}

TEST(WideText, ExactFitIsWhole)
{
    wchar_t wide[4];
    EXPECT_TRUE(ToWide("abc", wide, 4));
    EXPECT_STREQ(wide, L"abc");
    char narrow[4];
    EXPECT_TRUE(ToNarrow(L"abc", narrow, 4));
    EXPECT_STREQ(narrow, "abc");
}
