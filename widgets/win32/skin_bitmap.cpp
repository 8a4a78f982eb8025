#include "widgets/win32/skin_bitmap.h"

#include "widgets/core/skin_decode.h"

std::vector<uint8_t> ReadModuleResource(int id, const wchar_t* type)
{
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(id), type);
    if (!info)
        return {};
    const DWORD size = ::SizeofResource(module, info);
    if (size == 0)
        return {};
    HGLOBAL loaded = ::LoadResource(module, info);
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (!bytes)
        return {};
    const uint8_t* first = static_cast<const uint8_t*>(bytes);
    return std::vector<uint8_t>(first, first + size);
}

bool SkinBitmap::LoadFromResource(int resourceId)
{
    Release();
    const std::vector<uint8_t> data = ReadModuleResource(resourceId, L"webp");
    DecodedSkin skin;
    if (!DecodeSkin(data.data(), data.size(), skin))
        return false;
    bitmap.Reset(::CreateBitmap(skin.width, skin.height, 1, 32, skin.pixels.data()));
    if (!bitmap)
        return false;
    width = skin.width;
    height = skin.height;
    return true;
}

void SkinBitmap::Release()
{
    bitmap.Reset();
    width = 0;
    height = 0;
}

bool MyImage::Load(int resourceId)
{
    holder = std::make_unique<SkinBitmap>();
    holder->LoadFromResource(resourceId);
    bitmap = holder->bitmap.Get();
    width = holder->width;
    height = holder->height;
    return true;
}
