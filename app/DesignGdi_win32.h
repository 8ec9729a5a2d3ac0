#pragma once
// The design table's colours and fonts as GDI objects. Shared by the window and
// the start-up benchmark's dialog, so that both draw with the very same fonts.

#include <windows.h>

#include <string>

#include "Layout.h"
#include "Win32Handles.h"

namespace gt3::app {

inline COLORREF ToColorRef(layout::Rgb rgb) { return RGB(rgb.red, rgb.green, rgb.blue); }

// A font of the design's face and weight, `height` pixels high (negative: the
// em height, as layout::FontHeightPixels gives it).
inline FontHandle MakeDesignFont(const layout::FontDesign& design, int height) {
    return FontHandle(CreateFontW(height, 0, 0, 0, design.weight, FALSE, FALSE, FALSE, ANSI_CHARSET,
                                  OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                                  std::wstring(design.face).c_str()));
}

}  // namespace gt3::app
