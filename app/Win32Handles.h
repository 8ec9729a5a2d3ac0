#pragma once
// Move-only owners of the window's GDI and user objects; each destroys its handle.

#include <windows.h>

#include "registry/Owned.h"

namespace gt3::app {

namespace release {
inline void Font(HFONT font) noexcept { DeleteObject(font); }
inline void Brush(HBRUSH brush) noexcept { DeleteObject(brush); }
inline void Bitmap(HBITMAP bitmap) noexcept { DeleteObject(bitmap); }
inline void Icon(HICON icon) noexcept { DestroyIcon(icon); }
inline void MemoryDc(HDC dc) noexcept { DeleteDC(dc); }
}  // namespace release

using FontHandle = Owned<HFONT, ReleaseWith<&release::Font>>;
using BrushHandle = Owned<HBRUSH, ReleaseWith<&release::Brush>>;
using BitmapHandle = Owned<HBITMAP, ReleaseWith<&release::Bitmap>>;
using IconHandleOwner = Owned<HICON, ReleaseWith<&release::Icon>>;
using MemoryDcHandle = Owned<HDC, ReleaseWith<&release::MemoryDc>>;  // from CreateCompatibleDC

}  // namespace gt3::app
