// The layout of the BMP files that window pictures are saved as: a 14-byte
// file header, a 40-byte info header, a colour table for depths up to 8 and
// bottom-up rows padded to 4 bytes. All fields little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t kBmpFileHeaderBytes = 14;
constexpr uint32_t kBmpInfoHeaderBytes = 40;

// The file's depth for a display of planes x bits-per-pixel: 1, 4, 8, or 24
// for anything deeper.
int BmpDepthForDisplay(int planesTimesBits);

struct BmpLayout {
    int width = 0;
    int height = 0;
    int depth = 0;
    uint32_t paletteBytes = 0; // (1 << depth) * 4 up to depth 8, else 0
    uint32_t rowBytes = 0;     // ((width * depth + 31) / 32) * 4
    uint32_t imageBytes = 0;   // rowBytes * height
    uint32_t offBits = 0;      // 54 + paletteBytes
    uint32_t fileSize = 0;     // offBits + imageBytes
};

// False for a non-positive size, a depth other than 1, 4, 8 or 24, or a
// file that would not fit the 32-bit size field.
bool ComputeBmpLayout(int width, int height, int depth, BmpLayout* out);

// The 14-byte file header.
void WriteBmpFileHeader(const BmpLayout& layout, uint8_t* out);
// The 40-byte info header as it is before the pixels are read: size, planes
// 1, depth, BI_RGB, every other field zero.
void WriteBmpInfoHeader(const BmpLayout& layout, uint8_t* out);
