#include "msgbox/Placement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfenv>
#include <limits>
#include <optional>
#include <ostream>

namespace gt3 {

// Readable failures; found by argument-dependent lookup, so beside ScreenPoint.
void PrintTo(const ScreenPoint& p, std::ostream* os) { *os << "(" << p.x << ", " << p.y << ")"; }

namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

struct PlacementCase {
    const char* name;
    ScreenRect box;
    ScreenRect parent;
    std::int32_t xPos, yPos;
    std::optional<ScreenPoint> expected;
};

void PrintTo(const PlacementCase& c, std::ostream* os) { *os << c.name; }

constexpr ScreenRect kBox301x151{0, 0, 301, 151};
constexpr ScreenRect kParent401x201{100, 100, 501, 301};

const PlacementCase kCases[] = {
    // Halves 150.5 -> 150 and 75.5 -> 76; centre (300.5, 200.5) -> (300, 200).
    {"OddSizesCentred", kBox301x151, kParent401x201, -1, -1, ScreenPoint{150, 124}},
    // Halves 151.5 -> 152 and 76.5 -> 76; centre (301.5, 201.5) -> (302, 202).
    {"OddSizesCentredOtherParity", {0, 0, 303, 153}, {101, 101, 502, 302}, -1, -1, ScreenPoint{150, 126}},
    // The box's own position plays no part, only its size.
    {"BoxPositionIgnored", {-700, 900, -399, 1051}, kParent401x201, -1, -1, ScreenPoint{150, 124}},
    {"ZeroSizedBoxOnCentre", {5, 5, 5, 5}, kParent401x201, -1, -1, ScreenPoint{300, 200}},
    // Ties to even for negative values too: centre -2.5 -> -2, half -1.5 -> -2.
    {"NegativeCentreTies", {0, 0, 0, 0}, {-3, -3, -2, -2}, -1, -1, ScreenPoint{-2, -2}},
    {"InvertedBoxNegativeHalves", {3, 3, 0, 0}, {0, 0, 10, 10}, -1, -1, ScreenPoint{7, 7}},

    // Each axis decided by itself; any value but -1 is a coordinate.
    {"ExplicitXCentredY", kBox301x151, kParent401x201, 10, -1, ScreenPoint{10, 124}},
    {"CentredXExplicitY", kBox301x151, kParent401x201, -1, 20, ScreenPoint{150, 20}},
    {"BothExplicit", kBox301x151, kParent401x201, 0, -2, ScreenPoint{0, -2}},
    {"ExplicitExtremes", kBox301x151, kParent401x201, kMin, kMax, ScreenPoint{kMin, kMax}},

    // The widest rectangles that still fit 32 bits.
    {"ParentSpanningLowerHalf", {0, 0, 0, 0}, {kMin, kMin, -1, -1}, -1, -1, ScreenPoint{-1073741824, -1073741824}},
    {"BoxOfMaximalExtent", {kMin, kMin, -1, -1}, {0, 0, 0, 0}, -1, -1, ScreenPoint{-1073741824, -1073741824}},

    // Overflow in any difference or in the final subtraction: leave the box alone.
    {"BoxWidthOverflows", {kMin, 0, 1, 10}, kParent401x201, -1, -1, std::nullopt},
    {"BoxHeightOverflows", {0, kMax, 10, -2}, kParent401x201, -1, -1, std::nullopt},
    {"ParentWidthOverflows", kBox301x151, {-1, 0, kMax, 10}, -1, -1, std::nullopt},
    {"ParentHeightOverflows", kBox301x151, {0, kMax, 10, kMin}, -1, -1, std::nullopt},
    // Centre kMin + 1, half width 1073741823.5 -> 1073741824: x falls below kMin.
    {"LeftEdgeBelowRange", {0, 0, kMax, 10}, {kMin, 0, kMin + 2, 10}, -1, -1, std::nullopt},
    {"TopEdgeAboveRange", {0, kMax, 10, 0}, {0, kMax - 2, 10, kMax}, -1, -1, std::nullopt},
    // The same geometry with the overflowing axis given explicitly is fine...
    {"ExplicitAxisAvoidsEdgeOverflow", {0, 0, kMax, 10}, {kMin, 0, kMin + 2, 10}, 40, -1, ScreenPoint{40, 0}},
    // ...but halves and centres are computed on every axis, even explicit ones.
    {"ExplicitCoordinatesStillChecked", {kMin, 0, 1, 10}, kParent401x201, 10, 20, std::nullopt},
    {"ExplicitCoordinatesParentChecked", kBox301x151, {0, kMin, 10, 1}, 10, 20, std::nullopt},
};

class PlacementTest : public testing::TestWithParam<PlacementCase> {};

TEST_P(PlacementTest, PlacesBox) {
    const PlacementCase& c = GetParam();
    EXPECT_EQ(PlaceMessageBox(c.box, c.parent, c.xPos, c.yPos), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Rule, PlacementTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<PlacementCase>& info) { return info.param.name; });

// Two monitors side by side, each with a 40 px taskbar at its foot. As the
// platform picks, a rectangle belongs to the monitor that holds most of it; to
// the first when none holds any (the nearest in these cases).
struct Monitor {
    ScreenRect monitor, work;
};
constexpr Monitor kScreens[] = {
    {{0, 0, 1920, 1080}, {0, 0, 1920, 1040}},
    {{1920, 0, 3840, 1080}, {1920, 0, 3840, 1040}},
};

std::optional<ScreenRect> TwoScreens(const ScreenRect& rect) {
    const Monitor* best = &kScreens[0];
    std::int64_t bestArea = 0;
    for (const Monitor& m : kScreens) {
        const std::int64_t width =
            std::int64_t{std::min(rect.right, m.monitor.right)} - std::max(rect.left, m.monitor.left);
        const std::int64_t height =
            std::int64_t{std::min(rect.bottom, m.monitor.bottom)} - std::max(rect.top, m.monitor.top);
        if (width > 0 && height > 0 && width * height > bestArea) best = &m, bestArea = width * height;
    }
    return best->work;
}

std::optional<ScreenRect> ScreensUnknown(const ScreenRect&) { return std::nullopt; }

struct OnScreenCase {
    const char* name;
    ScreenRect box;
    ScreenRect owner;
    bool ownerShown;
    std::int32_t xPos, yPos;
    WorkAreaOf screens;
    std::optional<ScreenPoint> expected;
};

void PrintTo(const OnScreenCase& c, std::ostream* os) { *os << c.name; }

constexpr ScreenRect kBoxAt400x300{400, 300, 701, 451};  // 301 x 151, where the system put it
constexpr ScreenRect kMinimized{-32000, -32000, -31840, -31972};

const OnScreenCase kOnScreenCases[] = {
    {"OwnerInViewKeepsTheBoxCentred", kBoxAt400x300, kParent401x201, true, -1, -1, TwoScreens, ScreenPoint{150, 124}},
    // A minimized owner: the box stays where the system put it, on a monitor.
    {"MinimizedOwnerLeavesTheBox", kBoxAt400x300, kMinimized, false, -1, -1, TwoScreens, ScreenPoint{400, 300}},
    // A window parked there without being minimized still gets its box in view.
    {"OwnerFarOffScreenBringsTheBoxIntoView", kBoxAt400x300, kMinimized, true, -1, -1, TwoScreens, ScreenPoint{0, 0}},
    // Centred at x 3690, the box would end at 3991, past the desktop's right edge at 3840.
    {"OwnerHalfOffTheRightEdge", kBoxAt400x300, {3640, 400, 4040, 600}, true, -1, -1, TwoScreens,
     ScreenPoint{3539, 424}},
    // Centred at 1850 .. 2151, the box lies mostly on the second monitor: wholly there.
    {"OwnerAcrossTwoMonitors", kBoxAt400x300, {1500, 400, 2500, 600}, true, -1, -1, TwoScreens,
     ScreenPoint{1920, 424}},
    // Above the taskbar: the box would end at 1075, the work area ends at 1040.
    {"OwnerOverTheTaskbar", kBoxAt400x300, {100, 900, 501, 1100}, true, -1, -1, TwoScreens, ScreenPoint{150, 889}},
    // Larger than the work area: its top-left corner, and with it the caption, inside.
    {"BoxLargerThanTheWorkArea", {0, 0, 2000, 1200}, kParent401x201, true, -1, -1, TwoScreens, ScreenPoint{0, 0}},
    // Coordinates the caller gives are kept; the centred axis still fits.
    {"ExplicitXKeptCentredYFitted", kBoxAt400x300, {100, 900, 501, 1100}, true, 3700, -1, TwoScreens,
     ScreenPoint{3700, 889}},
    {"ExplicitCoordinatesKept", kBoxAt400x300, {3640, 400, 4040, 600}, true, 5000, -500, TwoScreens,
     ScreenPoint{5000, -500}},
    {"NoWorkAreaKnownKeepsTheBoxCentred", kBoxAt400x300, {3640, 400, 4040, 600}, true, -1, -1, ScreensUnknown,
     ScreenPoint{3690, 424}},
    // An overflow still leaves the box alone, whatever the owner.
    {"OverflowStillLeavesTheBox", {kMin, 0, 1, 10}, kParent401x201, true, -1, -1, TwoScreens, std::nullopt},
    {"OverflowWithMinimizedOwner", {kMin, 0, 1, 10}, kMinimized, false, -1, -1, TwoScreens, std::nullopt},
};

class OnScreenTest : public testing::TestWithParam<OnScreenCase> {};

TEST_P(OnScreenTest, PlacesBoxOnScreen) {
    const OnScreenCase& c = GetParam();
    EXPECT_EQ(PlaceMessageBoxOnScreen(c.box, c.owner, c.ownerShown, c.xPos, c.yPos, c.screens), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Rule, OnScreenTest, testing::ValuesIn(kOnScreenCases),
                         [](const testing::TestParamInfo<OnScreenCase>& info) { return info.param.name; });

// Rounding stays to-nearest-even whatever mode the process was left in.
TEST(PlacementRounding, IndependentOfFloatingPointRoundingMode) {
    const int saved = std::fegetround();
    for (const int mode : {FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        ASSERT_EQ(std::fesetround(mode), 0);
        const auto placed = PlaceMessageBox({0, 0, 303, 153}, {101, 101, 502, 302}, -1, -1);
        std::fesetround(saved);
        EXPECT_EQ(placed, (ScreenPoint{150, 126})) << "mode " << mode;
    }
}

}  // namespace
}  // namespace gt3
