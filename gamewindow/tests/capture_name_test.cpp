#include "gamewindow/core/capture_name.h"

#include <gtest/gtest.h>

TEST(CapturePath, NamesTheErrorTitleAndTag)
{
    EXPECT_EQ(CapturePath(kCaptureFolder, false, L"Game", "", "&serverId=7&"),
              L".\\yw_test\\login_error_Game_&serverId=7&.bmp");
    EXPECT_EQ(CapturePath(kCaptureFolder, true, L"", "&pf=qq&", ""), L".\\yw_test\\&pf=qq&_.bmp");
}

TEST(CapturePath, CharactersFileNamesCannotHoldAreReplaced)
{
    EXPECT_EQ(CapturePath(kCaptureFolder, true, L"a\\b/c:d*e?f\"g<h>i|j\tk\x7f", "p/q", "s:t"),
              L".\\yw_test\\a_b_c_d_e_f_g_h_i_j_k_p_q_s_t.bmp");
}

TEST(CapturePath, LongTitlesAndTagsAreCutToTheLimits)
{
    const std::string longTag(500, 's');
    const std::wstring path = CapturePath(kCaptureFolder, false, std::wstring(40000, L'T'), "pf", longTag);
    EXPECT_EQ(path.size(), 10 + kCaptureNameMaxUnits); // the name is the tighter limit
    const std::wstring tag = CaptureTag("pf", longTag);
    EXPECT_EQ(tag.size(), kCaptureTagMaxUnits);
    EXPECT_EQ(path.substr(path.size() - 4 - tag.size()), tag + L".bmp"); // the tag and extension survive
    EXPECT_EQ(path.compare(0, 22, L".\\yw_test\\login_error_"), 0);
}

TEST(CapturePath, CutNeverSplitsASurrogatePair)
{
    // U+1F600 in UTF-16, so that a cut at an odd place would strand a half.
    const std::wstring pair = {wchar_t(0xD83D), wchar_t(0xDE00)};
    std::wstring title;
    while (title.size() < 600)
        title += L"a" + pair;
    const std::wstring path = CapturePath(kCaptureFolder, true, title, "", "");
    ASSERT_LE(path.size(), kCapturePathMaxUnits);
    const wchar_t last = path[path.size() - 6]; // before "_.bmp"
    EXPECT_FALSE(last >= 0xD800 && last <= 0xDBFF);
    EXPECT_EQ(CutUnits(L"ab" + pair, 3), L"ab");
}
