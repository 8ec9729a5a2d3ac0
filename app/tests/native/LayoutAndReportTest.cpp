// The design table's conversion to pixels, the report of an error that ends the
// program, and what wakes the window's loop.

#include <gtest/gtest.h>

#include <new>
#include <ostream>
#include <set>
#include <stdexcept>
#include <string>

#include "app/ErrorReport.h"
#include "app/Layout.h"
#include "app/WakeMask.h"
#include "registry/Errors.h"

namespace gt3::app {
namespace {

using namespace layout;

struct DpiCase {
    std::int32_t dpi;
    std::int32_t clientWidth, collapsed, expanded;
    std::int32_t windowFont, smallFont, stateFont;  // em heights, negative
    PixelRect combo;
};

void PrintTo(const DpiCase& c, std::ostream* os) { *os << c.dpi << " dpi"; }

class AtDpi : public ::testing::TestWithParam<DpiCase> {};

TEST_P(AtDpi, TwipsBecomePixelsOfTheWindowsDpi) {
    const auto& c = GetParam();
    EXPECT_EQ(TwipsToPixels(kClientWidth, c.dpi), c.clientWidth);
    EXPECT_EQ(TwipsToPixels(kCollapsedHeight, c.dpi), c.collapsed);
    EXPECT_EQ(TwipsToPixels(kExpandedHeight, c.dpi), c.expanded);
    EXPECT_EQ(FontHeightPixels(kWindowFont, c.dpi), c.windowFont);
    EXPECT_EQ(FontHeightPixels(kSmallFont, c.dpi), c.smallFont);
    EXPECT_EQ(FontHeightPixels(kStateFont, c.dpi), c.stateFont);
    EXPECT_EQ(ToPixels(Design(Control::comEmail).rect, c.dpi), c.combo);
    EXPECT_EQ(PixelsToTwips(c.clientWidth, c.dpi), kClientWidth);
}

INSTANTIATE_TEST_SUITE_P(Layout, AtDpi,
                         ::testing::Values(DpiCase{96, 408, 190, 300, -11, -9, -13, {42, 138, 322, 20}},
                                           // 1.5 x: halves round away from zero, as MulDiv does.
                                           DpiCase{144, 612, 285, 450, -17, -14, -20, {64, 207, 483, 30}}),
                         [](const auto& info) { return std::to_string(info.param.dpi) + "dpi"; });

// Screen readers name the combo box after the static right before it in the
// z-order; the controls after it are created in tab order.
TEST(Layout, TheInstructionComesRightBeforeTheComboAndTheRestInTabOrder) {
    ASSERT_EQ(kControls[0].id, Control::lblInfo);
    EXPECT_EQ(kControls[1].id, Control::comEmail);
    std::int32_t expected = 0;
    for (const auto& control : std::span(kControls).subspan(1)) {
        if (control.tabIndex == kNoTabStop) continue;
        EXPECT_EQ(control.tabIndex, expected++);
    }
    EXPECT_EQ(expected, 5);
    EXPECT_EQ(Design(Control::imgLogo).tabIndex, kNoTabStop);
}

TEST(Layout, CentredControlsShareOneAxisAndAutoSizedLabelsKeepIt) {
    for (Control id : {Control::imgLogo, Control::lblInfo, Control::comEmail, Control::lblLog, Control::cmdReload}) {
        const Rect r = Design(id).rect;
        EXPECT_NEAR(r.left + r.width / 2.0, 3052, 1) << static_cast<int>(id);
    }
    const Rect info = Design(Control::lblInfo).rect;
    for (std::int32_t width : {10, 189, 250}) {
        const PixelRect p = AutoSized(info, width, 12, 96);
        EXPECT_NEAR(p.left + p.width / 2.0, ToPixels(info, 96).left + ToPixels(info, 96).width / 2.0, 1);
        EXPECT_EQ(p.top, ToPixels(info, 96).top);
        EXPECT_EQ(p.width, width);
    }
    // The logo is shown at its natural size, centred in its box.
    EXPECT_EQ(Centred(Design(Control::imgLogo).rect, 220, 82, 96), (PixelRect{93, 10, 220, 82}));
    EXPECT_EQ(Centred(Design(Control::imgLogo).rect, 220, 82, 144), (PixelRect{195, 35, 220, 82}));
}

TEST(Layout, CollapsedWindowHidesTheStateRowAndExpandedShowsEverything) {
    std::int32_t lowest = 0;
    for (const auto& control : kControls) {
        const Rect r = control.rect;
        if (control.visibleAtLoad) {
            EXPECT_LT(r.top + r.height, kCollapsedHeight - 300) << static_cast<int>(control.id);
        }
        lowest = std::max(lowest, r.top + r.height);
    }
    EXPECT_GT(Design(Control::lblLog).rect.top, kCollapsedHeight - 300);
    EXPECT_LT(lowest, kExpandedHeight - 300);  // room for a caption bar and border
}

// The outer height keeps the design until the frame leaves the lowest control
// shown (the combo box collapsed, Reload expanded) less than the design's top
// margin below it; then it grows by the difference, never shrinking below the design.
TEST(Layout, OuterHeightGrowsOnlyWhereTheFrameLeavesTooLittleRoom) {
    const struct {
        std::int32_t dpi, frame, collapsed, expanded;
    } cases[] = {
        {96, 0, 190, 300},     // no frame at all: still the design
        {96, 20, 190, 300},    // Wine's tool window: 12 px left below either control
        {96, 22, 190, 300},    // exactly the 10 px margin left
        {96, 23, 191, 301},    // one pixel short
        {96, 29, 197, 307},    // Windows 10's, as estimated from its default metrics
        {96, 47, 215, 325},    // a 40 px caption
        {120, 36, 247, 384},   // combo ends at 197.5 -> 198, Reload at 335, margin 12.5 -> 13
        {144, 30, 285, 450},   // room enough at 1.5 x
        {144, 44, 296, 461},
        {192, 58, 394, 614},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.dpi) + " dpi, frame " + std::to_string(c.frame));
        EXPECT_EQ(OuterHeight(kCollapsedHeight, c.frame, c.dpi), c.collapsed);
        EXPECT_EQ(OuterHeight(kExpandedHeight, c.frame, c.dpi), c.expanded);
    }
}

TEST(ErrorReportTest, ReadsAsTheClassicRunTimeErrorAndExitsNonZero) {
    const ErrorReport typeMismatch = DescribeError(std::make_exception_ptr(RuntimeError(ErrorNumber::TypeMismatch)));
    EXPECT_EQ(typeMismatch.text, L"Run-time error '13':\r\n\r\nType mismatch");
    EXPECT_EQ(typeMismatch.exitCode, 13);

    const ErrorReport duplicate = DescribeError(std::make_exception_ptr(RuntimeError(ErrorNumber::DuplicateKey)));
    EXPECT_EQ(duplicate.text,
              L"Run-time error '457':\r\n\r\nThis key is already associated with an element of this collection");

    const ErrorReport memory = DescribeError(std::make_exception_ptr(std::bad_alloc()));
    EXPECT_EQ(memory.text, L"Run-time error '7':\r\n\r\nOut of memory");
    EXPECT_EQ(memory.exitCode, 7);

    const ErrorReport other = DescribeError(std::make_exception_ptr(std::logic_error("x")));
    EXPECT_EQ(other.text, L"Run-time error '51':\r\n\r\nInternal error");
    EXPECT_NE(other.exitCode, 0);
}

// Touch and pen input wake the loop from Windows 8 on (6.2; 8.1 is 6.3, 10 and
// 11 are 10.0); Windows 7 refuses those bits, so it keeps its own QS_ALLINPUT.
TEST(WakeMaskTest, TouchAndPenFromWindows8On) {
    struct Case {
        const char* windows;
        WindowsVersion version;
        std::uint32_t mask;
    };
    for (const Case c : {Case{"7", {6, 1}, 0x04FF}, Case{"8", {6, 2}, 0x1CFF}, Case{"8.1", {6, 3}, 0x1CFF},
                         Case{"10 and 11", {10, 0}, 0x1CFF}, Case{"Vista", {6, 0}, 0x04FF}})
        EXPECT_EQ(WakeMask(c.version), c.mask) << "Windows " << c.windows;
}

}  // namespace
}  // namespace gt3::app
