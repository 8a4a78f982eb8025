// Skin pictures from the executable's WebP resources, held as premultiplied
// 32-bit GDI bitmaps.
#pragma once

#include "framework/handles.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

// The raw bytes of a resource of this module; empty when there is none.
std::vector<uint8_t> ReadModuleResource(int id, const wchar_t* type);

struct BitmapTraits {
    using Type = HBITMAP;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::DeleteObject(h); }
};
using ScopedBitmap = UniqueHandle<BitmapTraits>;

// One decoded picture; owns its bitmap.
class SkinBitmap {
public:
    SkinBitmap() = default;
    SkinBitmap(const SkinBitmap&) = delete;
    SkinBitmap& operator=(const SkinBitmap&) = delete;

    // Reads resource `resourceId` of type "webp" and decodes it into this
    // holder. False, with the holder empty, on any failure.
    bool LoadFromResource(int resourceId);
    // Deletes the bitmap and empties the holder.
    void Release();

    ScopedBitmap bitmap;
    int width = 0;
    int height = 0;
};

// A skin picture with its size, as drawing code reads it.
class MyImage {
public:
    MyImage() = default;
    virtual ~MyImage() = default;
    MyImage(const MyImage&) = delete;
    MyImage& operator=(const MyImage&) = delete;

    // Always true: a picture that fails to load leaves the image empty.
    bool Load(int resourceId);

    int Width() const { return width; }
    int Height() const { return height; }
    HBITMAP Bitmap() const { return bitmap; }

private:
    std::unique_ptr<SkinBitmap> holder;
    HBITMAP bitmap = nullptr;
    int width = 0;
    int height = 0;
};
