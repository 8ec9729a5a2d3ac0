#include "msgbox/Placement.h"

#include <gtest/gtest.h>

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
