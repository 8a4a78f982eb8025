#include "gamewindow/core/bmp_layout.h"

#include <cstring>

namespace {

void Put16(uint8_t* at, uint32_t value)
{
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void Put32(uint8_t* at, uint32_t value)
{
    Put16(at, value & 0xFFFF);
    Put16(at + 2, value >> 16);
}

} // namespace

int BmpDepthForDisplay(int planesTimesBits)
{
    if (planesTimesBits <= 1)
        return 1;
    if (planesTimesBits <= 4)
        return 4;
    if (planesTimesBits <= 8)
        return 8;
    return 24;
}

bool ComputeBmpLayout(int width, int height, int depth, BmpLayout* out)
{
    if (!out || width <= 0 || height <= 0)
        return false;
    if (depth != 1 && depth != 4 && depth != 8 && depth != 24)
        return false;
    const uint64_t palette = depth <= 8 ? (uint64_t{1} << depth) * 4 : 0;
    const uint64_t row = (static_cast<uint64_t>(width) * depth + 31) / 32 * 4;
    const uint64_t image = row * static_cast<uint64_t>(height);
    const uint64_t offBits = kBmpFileHeaderBytes + kBmpInfoHeaderBytes + palette;
    const uint64_t fileSize = offBits + image;
    if (fileSize > UINT32_MAX)
        return false;
    out->width = width;
    out->height = height;
    out->depth = depth;
    out->paletteBytes = static_cast<uint32_t>(palette);
    out->rowBytes = static_cast<uint32_t>(row);
    out->imageBytes = static_cast<uint32_t>(image);
    out->offBits = static_cast<uint32_t>(offBits);
    out->fileSize = static_cast<uint32_t>(fileSize);
    return true;
}

void WriteBmpFileHeader(const BmpLayout& layout, uint8_t* out)
{
    std::memset(out, 0, kBmpFileHeaderBytes);
    out[0] = 'B';
    out[1] = 'M';
    Put32(out + 2, layout.fileSize);
    Put32(out + 10, layout.offBits);
}

void WriteBmpInfoHeader(const BmpLayout& layout, uint8_t* out)
{
    std::memset(out, 0, kBmpInfoHeaderBytes);
    Put32(out, kBmpInfoHeaderBytes);
    Put32(out + 4, static_cast<uint32_t>(layout.width));
    Put32(out + 8, static_cast<uint32_t>(layout.height));
    Put16(out + 12, 1);
    Put16(out + 14, static_cast<uint32_t>(layout.depth));
}
