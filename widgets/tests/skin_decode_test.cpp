#include "widgets/core/skin_decode.h"
#include "widgets/tests/skin_table.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> ReadSkin(int id)
{
    std::ifstream in(std::string(KESTRUN_SKIN_DIR) + "/" + std::to_string(id) + ".webp", std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> Premultiply(std::vector<uint8_t> rgba)
{
    std::vector<uint8_t> bgra(rgba.size());
    PremultiplyRgbaToBgra(rgba.data(), rgba.size() / 4, bgra.data());
    return bgra;
}

} // namespace

TEST(SkinPremultiply, ChannelOrderAndIntegerRounding)
{
    // Opaque: colours kept, red and blue swap places.
    EXPECT_EQ(Premultiply({10, 20, 30, 255}), (std::vector<uint8_t>{30, 20, 10, 255}));
    // Fully transparent: four zero bytes whatever the colour.
    EXPECT_EQ(Premultiply({255, 255, 255, 0}), (std::vector<uint8_t>{0, 0, 0, 0}));
    EXPECT_EQ(Premultiply({255, 255, 255, 128}), (std::vector<uint8_t>{128, 128, 128, 128}));
    // Remainders are dropped: 200 * 100 / 255 = 78.43, 1 * 254 / 255 = 0.99.
    EXPECT_EQ(Premultiply({200, 1, 255, 100}), (std::vector<uint8_t>{100, 0, 78, 100}));
    EXPECT_EQ(Premultiply({1, 254, 3, 254}), (std::vector<uint8_t>{2, 253, 0, 254}));
    // Several pixels in a row stay in order.
    EXPECT_EQ(Premultiply({1, 2, 3, 255, 4, 5, 6, 0}), (std::vector<uint8_t>{3, 2, 1, 255, 0, 0, 0, 0}));
}

TEST(SkinDecode, EveryPictureHasItsSizeAndTransparency)
{
    const SkinEntry* table = SkinTableBegin();
    for (int i = 0; i < kSkinCount; ++i) {
        const SkinEntry& e = table[i];
        SCOPED_TRACE(e.id);
        const std::vector<uint8_t> data = ReadSkin(e.id);
        ASSERT_GT(data.size(), 20u);
        // The container layout the resources promise.
        ASSERT_EQ(std::string(data.begin() + 8, data.begin() + 12), "WEBP");
        EXPECT_EQ(std::string(data.begin() + 12, data.begin() + 16), e.alpha ? "VP8X" : "VP8 ");

        DecodedSkin skin;
        ASSERT_TRUE(DecodeSkin(data.data(), data.size(), skin));
        EXPECT_EQ(skin.width, e.width);
        EXPECT_EQ(skin.height, e.height);
        ASSERT_EQ(skin.pixels.size(), static_cast<size_t>(e.width) * e.height * 4);
        int minAlpha = 255;
        bool premultiplied = true;
        for (size_t p = 0; p < skin.pixels.size(); p += 4) {
            const uint8_t a = skin.pixels[p + 3];
            minAlpha = std::min<int>(minAlpha, a);
            premultiplied = premultiplied && skin.pixels[p] <= a && skin.pixels[p + 1] <= a && skin.pixels[p + 2] <= a;
        }
        EXPECT_TRUE(premultiplied);
        if (e.alpha)
            EXPECT_LT(minAlpha, 255);
        else
            EXPECT_EQ(minAlpha, 255);
    }
}

TEST(SkinDecode, LoginBackgroundFadesToNothingAtItsEdges)
{
    const std::vector<uint8_t> data = ReadSkin(271);
    DecodedSkin skin;
    ASSERT_TRUE(DecodeSkin(data.data(), data.size(), skin));
    auto alphaAt = [&](int x, int y) { return skin.pixels[(static_cast<size_t>(y) * skin.width + x) * 4 + 3]; };
    for (int x = 0; x < skin.width; x += 7) {
        EXPECT_EQ(alphaAt(x, 0), 0) << x;
        EXPECT_EQ(alphaAt(x, skin.height - 1), 0) << x;
    }
    for (int y = 0; y < skin.height; y += 7) {
        EXPECT_EQ(alphaAt(0, y), 0) << y;
        EXPECT_EQ(alphaAt(skin.width - 1, y), 0) << y;
    }
    // The panel under the login page and the caption buttons is solid.
    EXPECT_EQ(alphaAt(466 + 645 / 2, 197 + 421 / 2), 255);
    EXPECT_EQ(alphaAt(1148 + 15, 140 + 15), 255);
    // Somewhere between, the edges are partly transparent.
    int partial = 0;
    for (int x = 0; x < skin.width; ++x)
        partial += alphaAt(x, 60) > 0 && alphaAt(x, 60) < 255;
    EXPECT_GT(partial, 100);
}

TEST(SkinDecode, RejectsShortOrForeignData)
{
    DecodedSkin skin;
    const std::vector<uint8_t> data = ReadSkin(297);
    EXPECT_FALSE(DecodeSkin(data.data(), 11, skin));
    EXPECT_FALSE(DecodeSkin(nullptr, 0, skin));
    const std::string riff = "RIFF\x10\0\0\0WEBPVP8 garbage-garbage";
    EXPECT_FALSE(DecodeSkin(reinterpret_cast<const uint8_t*>(riff.data()), riff.size(), skin));
    // A cut file: the header parses, the picture does not.
    EXPECT_FALSE(DecodeSkin(data.data(), data.size() / 2, skin));
    EXPECT_EQ(skin.width, 0);
    EXPECT_EQ(skin.height, 0);
    EXPECT_TRUE(skin.pixels.empty());
}
