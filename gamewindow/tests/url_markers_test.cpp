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

TEST(UrlMarkers, CdnBaseFromAPage)
{
    EXPECT_TRUE(IsAcceptableCdnBase("http://cdn.example/res/"));
    EXPECT_TRUE(IsAcceptableCdnBase("HTTPS://cdn.example:8443/"));
    EXPECT_FALSE(IsAcceptableCdnBase("x/"));
    EXPECT_FALSE(IsAcceptableCdnBase("http://cdn.example/res"));
    EXPECT_FALSE(IsAcceptableCdnBase("http:///res/"));
    EXPECT_FALSE(IsAcceptableCdnBase("ftp://cdn.example/"));
    EXPECT_FALSE(IsAcceptableCdnBase("file:///C:/"));
    EXPECT_FALSE(IsAcceptableCdnBase("http://cdn.example/a b/"));
    EXPECT_FALSE(IsAcceptableCdnBase("http://cdn.example/\r\nX: y/"));
    EXPECT_FALSE(IsAcceptableCdnBase(""));
}
