#include "app/core/shortcut_name.h"

#include <gtest/gtest.h>

TEST(ShortcutName, TitleTakesTheLinkExtensionWhateverDotsItHas)
{
    EXPECT_EQ(ShortcutFileName(L"OrvikVelmora极速登陆器"), L"OrvikVelmora极速登陆器.lnk");
    EXPECT_EQ(ShortcutFileName(L"Velmora 2.0"), L"Velmora 2.0.lnk");
    EXPECT_EQ(ShortcutFileName(L""), L".lnk");
}
