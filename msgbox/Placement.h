#pragma once
// Where a message box goes: at the requested screen coordinates, or centred on
// its parent window on each axis whose coordinate is -1.

#include <cstdint>
#include <optional>

namespace gt3 {

struct ScreenRect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};

struct ScreenPoint {
    std::int32_t x = 0, y = 0;
    friend bool operator==(const ScreenPoint&, const ScreenPoint&) = default;
};

constexpr std::int32_t kCentre = -1;

// Top-left corner for a box with rectangle `box` over `parent`. Halves and
// centres are computed in double precision and rounded to nearest, ties to even;
// any 32-bit overflow gives nullopt (the box is then left where it is).
std::optional<ScreenPoint> PlaceMessageBox(const ScreenRect& box, const ScreenRect& parent, std::int32_t xPos,
                                           std::int32_t yPos);

}  // namespace gt3
