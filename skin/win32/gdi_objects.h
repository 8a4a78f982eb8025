// Owners of the GDI objects the skin makes, typed so that no caller casts.
#pragma once

#include "framework/handles.h"

#include <windows.h>

template <typename T>
struct GdiTraits {
    using Type = T;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::DeleteObject(h); }
};

using ScopedBitmap = UniqueHandle<GdiTraits<HBITMAP>>;
using ScopedBrush = UniqueHandle<GdiTraits<HBRUSH>>;
