#include "gamewindow/core/url_markers.h"

#include <gtest/gtest.h>

TEST(UrlMarkers, MarkersCountFromTheSecondCharacter)
{
    EXPECT_FALSE(IsClientCommandUrl("client_cmd?a=1"));
    EXPECT_TRUE(IsClientCommandUrl("xclient_cmd?a=1"));
    EXPECT_TRUE(ReportsLoginSuccess("x/client_cmd?a=1&loginerrcode=0"));
    EXPECT_FALSE(ReportsLoginSuccess("x/client_cmd?loginerrcode=1"));
    EXPECT_FALSE(CarriesGamePageMarker("vexalogin"));
    EXPECT_TRUE(CarriesGamePageMarker("/vexalogin"));
    EXPECT_TRUE(WantsNoScrollBars(L"x?openid=1&openkey=2"));
    EXPECT_FALSE(WantsNoScrollBars(L"x?openid=1"));
}
