#include "Layout.h"

#include <algorithm>
#include <cstdlib>

#include "Texts.h"

namespace gt3::app::layout {

const std::array<ControlDesign, 7> kControls = {{
    {Control::lblInfo, Kind::Label, text::kInstruction, {1635, 1590, 2835, 180}, &kSmallFont, kOrange, 5, true, true},
    {Control::comEmail, Kind::Combo, L"", {637, 2070, 4830, 300}, &kSmallFont, kBlue, 0, true, false},
    {Control::lblLog, Kind::Label, text::kLoggingDisabled, {2122, 2595, 1860, 240}, &kStateFont, kRed, 1, false, true},
    {Control::cmdEnable, Kind::Button, text::kEnableButton, {1245, 3090, 1665, 390}, &kWindowFont, {}, 2, false, false},
    {Control::cmdDisable, Kind::Button, text::kDisableButton, {3375, 3090, 1665, 390}, &kWindowFont, {}, 3, false, false},
    {Control::cmdReload, Kind::Button, text::kReloadButton, {2340, 3705, 1425, 315}, &kWindowFont, {}, 4, false, false},
    {Control::imgLogo, Kind::Image, text::kLogoName, {1402, 150, 3300, 1230}, nullptr, {}, kNoTabStop, true, false},
}};

const ControlDesign& Design(Control id) {
    for (const auto& control : kControls)
        if (control.id == id) return control;
    std::abort();  // every Control has a row
}

namespace {
// a * b / c rounded half away from zero, in 64 bits: MulDiv without its failure case.
std::int32_t MulDivRound(std::int32_t a, std::int32_t b, std::int32_t c) {
    const std::int64_t product = std::int64_t{a} * b;
    const std::int64_t half = c / 2;
    const std::int64_t q = product >= 0 ? (product + half) / c : (product - half) / c;
    return static_cast<std::int32_t>(q);
}
}  // namespace

std::int32_t TwipsToPixels(std::int32_t twips, std::int32_t dpi) { return MulDivRound(twips, dpi, kTwipsPerInch); }

std::int32_t PixelsToTwips(std::int32_t pixels, std::int32_t dpi) { return MulDivRound(pixels, kTwipsPerInch, dpi); }

std::int32_t ScaledFrom96(std::int32_t pixels, std::int32_t dpi) { return MulDivRound(pixels, dpi, 96); }

std::int32_t FontHeightPixels(const FontDesign& font, std::int32_t dpi) {
    return -MulDivRound(font.hundredthsOfPoint, dpi, 72 * 100);
}

PixelRect ToPixels(const Rect& rect, std::int32_t dpi) {
    // Edges are converted, not sizes, so that neighbouring controls keep their gaps.
    const std::int32_t left = TwipsToPixels(rect.left, dpi);
    const std::int32_t top = TwipsToPixels(rect.top, dpi);
    return {left, top, TwipsToPixels(rect.left + rect.width, dpi) - left,
            TwipsToPixels(rect.top + rect.height, dpi) - top};
}

std::int32_t OuterHeight(std::int32_t heightTwips, std::int32_t frameHeight, std::int32_t dpi) {
    const bool collapsed = heightTwips == kCollapsedHeight;
    std::int32_t lowest = 0;
    for (const auto& control : kControls)
        if (control.visibleAtLoad || !collapsed) lowest = std::max(lowest, control.rect.top + control.rect.height);
    // Each edge rounded as ToPixels rounds the control's.
    const std::int32_t needed = frameHeight + TwipsToPixels(lowest, dpi) + TwipsToPixels(kBottomMargin, dpi);
    return std::max(TwipsToPixels(heightTwips, dpi), needed);
}

PixelRect Centred(const Rect& designed, std::int32_t width, std::int32_t height, std::int32_t dpi) {
    const PixelRect box = ToPixels(designed, dpi);
    return {box.left + (box.width - width) / 2, box.top + (box.height - height) / 2, width, height};
}

PixelRect AutoSized(const Rect& designed, std::int32_t textWidth, std::int32_t textHeight, std::int32_t dpi) {
    const PixelRect box = ToPixels(designed, dpi);
    return {box.left + (box.width - textWidth) / 2, box.top, textWidth, textHeight};
}

}  // namespace gt3::app::layout
