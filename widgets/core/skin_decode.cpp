#include "widgets/core/skin_decode.h"

#include <webp/decode.h>

#include <cstdio>

namespace {

// Frees the decoder's output buffer on every path.
class DecoderOutput {
public:
    explicit DecoderOutput(WebPDecBuffer& buffer) : m_buffer(buffer) {}
    ~DecoderOutput() { WebPFreeDecBuffer(&m_buffer); }
    DecoderOutput(const DecoderOutput&) = delete;
    DecoderOutput& operator=(const DecoderOutput&) = delete;

private:
    WebPDecBuffer& m_buffer;
};

} // namespace

void PremultiplyRgbaToBgra(const uint8_t* rgba, size_t pixelCount, uint8_t* bgra)
{
    for (size_t i = 0; i < pixelCount; ++i, rgba += 4, bgra += 4) {
        const unsigned a = rgba[3];
        bgra[0] = static_cast<uint8_t>(rgba[2] * a / 255);
        bgra[1] = static_cast<uint8_t>(rgba[1] * a / 255);
        bgra[2] = static_cast<uint8_t>(rgba[0] * a / 255);
        bgra[3] = static_cast<uint8_t>(a);
    }
}

bool DecodeSkin(const uint8_t* data, size_t size, DecodedSkin& out)
{
    out = DecodedSkin();
    if (!data || size < 12)
        return false;
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) {
        std::fputs("Library version mismatch!\n", stderr);
        return false;
    }
    if (WebPGetFeatures(data, size, &config.input) != VP8_STATUS_OK)
        return false;
    config.output.colorspace = MODE_RGBA;
    DecoderOutput release(config.output);
    if (WebPDecode(data, size, &config) != VP8_STATUS_OK)
        return false;

    const WebPRGBABuffer& rgba = config.output.u.RGBA;
    const int width = config.output.width;
    const int height = config.output.height;
    if (width <= 0 || height <= 0 || !rgba.rgba)
        return false;
    const size_t rowPixels = static_cast<size_t>(width);
    out.pixels.resize(rowPixels * static_cast<size_t>(height) * 4);
    // The decoder's rows are width * 4 bytes apart; go by its stride anyway.
    for (int y = 0; y < height; ++y)
        PremultiplyRgbaToBgra(rgba.rgba + static_cast<size_t>(y) * static_cast<size_t>(rgba.stride), rowPixels,
                              out.pixels.data() + static_cast<size_t>(y) * rowPixels * 4);
    out.width = width;
    out.height = height;
    return true;
}
