#pragma once
// Where a message box goes: at the requested screen coordinates, or centred on
// its parent window on each axis whose coordinate is -1, and then on screen.

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

// The work area (the screen without its taskbars) of the monitor that holds
// most of a rectangle, or the nearest monitor's when none does; nullopt when
// it cannot be told.
using WorkAreaOf = std::optional<ScreenRect> (*)(const ScreenRect& rect);

// Where the box goes on screen: PlaceMessageBox's corner, then, on each centred
// axis, moved so that the box lies wholly inside the work area that
// `workAreaOf` gives for the box there; a box larger than the work area keeps
// its top-left corner, and with it its caption, inside. Coordinates the caller
// gives are kept. A minimized or hidden owner (a minimized window reports a
// rectangle near (-32000, -32000)) leaves the box where the system put it: its
// own corner. nullopt on an overflow, as PlaceMessageBox.
std::optional<ScreenPoint> PlaceMessageBoxOnScreen(const ScreenRect& box, const ScreenRect& owner, bool ownerShown,
                                                   std::int32_t xPos, std::int32_t yPos, WorkAreaOf workAreaOf);

}  // namespace gt3
