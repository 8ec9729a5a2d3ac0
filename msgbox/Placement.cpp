#include "msgbox/Placement.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace gt3 {
namespace {

using Int32Limits = std::numeric_limits<std::int32_t>;

// Half-way values go to the even neighbour. Done by hand rather than with
// std::nearbyint so that a rounding mode changed elsewhere in the process (a
// loaded DLL may do that) cannot move the box.
double RoundHalfToEven(double value) {
    const double lower = std::floor(value);
    const double fraction = value - lower;
    if (fraction < 0.5) return lower;
    if (fraction > 0.5) return lower + 1.0;
    return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

std::optional<std::int32_t> RoundToInt32(double value) {
    const double rounded = RoundHalfToEven(value);
    if (rounded < Int32Limits::min() || rounded > Int32Limits::max()) return std::nullopt;
    return static_cast<std::int32_t>(rounded);
}

std::optional<std::int32_t> CheckedSubtract(std::int32_t a, std::int32_t b) {
    const std::int64_t difference = std::int64_t{a} - std::int64_t{b};
    if (difference < Int32Limits::min() || difference > Int32Limits::max()) return std::nullopt;
    return static_cast<std::int32_t>(difference);
}

// (high - low) / 2; the extent is a 32-bit difference even for the halves'
// double-precision division, so a rectangle wider than 2^31 - 1 is an overflow.
std::optional<std::int32_t> HalfExtent(std::int32_t low, std::int32_t high) {
    const auto extent = CheckedSubtract(high, low);
    if (!extent) return std::nullopt;
    return RoundToInt32(*extent / 2.0);
}

// (high - low) / 2 + low, rounded once at the end.
std::optional<std::int32_t> Centre(std::int32_t low, std::int32_t high) {
    const auto extent = CheckedSubtract(high, low);
    if (!extent) return std::nullopt;
    return RoundToInt32(*extent / 2.0 + low);
}

// 64-bit values back into 32 bits, saturating.
std::int32_t Saturated(std::int64_t value) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, Int32Limits::min(), Int32Limits::max()));
}

// A start coordinate that keeps [at, at + extent) inside [low, high); the start
// edge wins when the extent is larger than the range.
std::int32_t Fit(std::int32_t at, std::int64_t extent, std::int32_t low, std::int32_t high) {
    return Saturated(std::max<std::int64_t>(std::min<std::int64_t>(at, high - extent), low));
}

}  // namespace

std::optional<ScreenPoint> PlaceMessageBoxOnScreen(const ScreenRect& box, const ScreenRect& owner, bool ownerShown,
                                                   std::int32_t xPos, std::int32_t yPos, WorkAreaOf workAreaOf) {
    auto at = PlaceMessageBox(box, owner, xPos, yPos);
    if (!at) return std::nullopt;
    if (!ownerShown) return ScreenPoint{box.left, box.top};
    if (xPos != kCentre && yPos != kCentre) return at;
    const std::int64_t width = std::int64_t{box.right} - box.left;
    const std::int64_t height = std::int64_t{box.bottom} - box.top;
    const auto work = workAreaOf({at->x, at->y, Saturated(at->x + width), Saturated(at->y + height)});
    if (!work) return at;
    if (xPos == kCentre) at->x = Fit(at->x, width, work->left, work->right);
    if (yPos == kCentre) at->y = Fit(at->y, height, work->top, work->bottom);
    return at;
}

std::optional<ScreenPoint> PlaceMessageBox(const ScreenRect& box, const ScreenRect& parent, std::int32_t xPos,
                                           std::int32_t yPos) {
    // Halves and centres are needed only on a centred axis, but an overflow in
    // any of them leaves the box alone even when both coordinates are explicit.
    const auto halfHeight = HalfExtent(box.top, box.bottom);
    const auto halfWidth = HalfExtent(box.left, box.right);
    const auto centreY = Centre(parent.top, parent.bottom);
    const auto centreX = Centre(parent.left, parent.right);
    if (!halfHeight || !halfWidth || !centreY || !centreX) return std::nullopt;

    const auto x = xPos != kCentre ? std::optional{xPos} : CheckedSubtract(*centreX, *halfWidth);
    const auto y = yPos != kCentre ? std::optional{yPos} : CheckedSubtract(*centreY, *halfHeight);
    if (!x || !y) return std::nullopt;
    return ScreenPoint{*x, *y};
}

}  // namespace gt3
