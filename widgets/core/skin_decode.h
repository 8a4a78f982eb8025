// Skin pictures: WebP data decoded into the premultiplied 32-bit pixels that
// per-pixel-alpha layered windows expect (blue, green, red, alpha per pixel,
// rows top to bottom, no padding).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct DecodedSkin {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels; // width * height * 4 bytes, BGRA premultiplied
};

// Converts RGBA pixels (not premultiplied) to premultiplied BGRA; each
// colour becomes colour * alpha / 255, the remainder dropped.
void PremultiplyRgbaToBgra(const uint8_t* rgba, size_t pixelCount, uint8_t* bgra);

// Decodes a WebP file. False (and `out` left empty) for data shorter than 12
// bytes, data that is not WebP, or a failed decode.
bool DecodeSkin(const uint8_t* data, size_t size, DecodedSkin& out);
