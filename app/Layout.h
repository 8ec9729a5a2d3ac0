#pragma once
// The main window as designed, in twips (1/1440 inch), and the conversion to the
// pixels of a given DPI. No platform types: the Win32 layer reads this table.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace gt3::app::layout {

inline constexpr std::int32_t kTwipsPerInch = 1440;

struct Rgb {
    std::uint8_t red = 0, green = 0, blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// Point sizes are held in hundredths so that 8.25 and 6.75 stay exact.
struct FontDesign {
    std::wstring_view face;
    std::int32_t hundredthsOfPoint = 0;
    std::int32_t weight = 400;
};

inline constexpr FontDesign kWindowFont{L"Verdana", 825, 400};  // the buttons use it
inline constexpr FontDesign kSmallFont{L"Verdana", 675, 400};   // lblInfo, comEmail
inline constexpr FontDesign kStateFont{L"Verdana", 975, 700};   // lblLog

inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kOrange{255, 128, 0};
inline constexpr Rgb kBlue{0, 0, 255};
inline constexpr Rgb kRed{255, 0, 0};

inline constexpr std::int32_t kClientWidth = 6120;
inline constexpr std::int32_t kClientHeight = 4350;
inline constexpr std::int32_t kCollapsedHeight = 2850;  // outer height until the first pick
inline constexpr std::int32_t kExpandedHeight = 4500;   // outer height from then on
// The room the window keeps below the lowest control it shows: the design's top
// margin, the logo's distance from the top of the client area.
inline constexpr std::int32_t kBottomMargin = 150;

enum class Control { imgLogo, lblInfo, comEmail, lblLog, cmdEnable, cmdDisable, cmdReload };
enum class Kind { Image, Label, Combo, Button };

struct Rect {
    std::int32_t left = 0, top = 0, width = 0, height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

inline constexpr std::int32_t kNoTabStop = -1;

struct ControlDesign {
    Control id;
    Kind kind;
    std::wstring_view text;  // the image's is its name for screen readers; the combo box has none
    Rect rect;
    const FontDesign* font;  // nullptr for the image
    Rgb foreground;
    std::int32_t tabIndex;   // kNoTabStop: takes no focus
    bool visibleAtLoad;
    bool autoSize;           // labels size themselves to their text, keeping their centre
};

// In creation order, which is the z-order that the dialog keys and screen readers
// walk: the instruction right before the combo box, which a screen reader names
// after it; then the controls that take the focus, in tab order (comEmail 0 ...
// cmdReload 4); then the image.
extern const std::array<ControlDesign, 7> kControls;

const ControlDesign& Design(Control id);

// Twips to pixels at `dpi`, rounded to nearest as MulDiv does.
std::int32_t TwipsToPixels(std::int32_t twips, std::int32_t dpi);
std::int32_t PixelsToTwips(std::int32_t pixels, std::int32_t dpi);
// Character height in pixels for a font (negative: the platform's "em height" form).
std::int32_t FontHeightPixels(const FontDesign& font, std::int32_t dpi);

struct PixelRect {
    std::int32_t left = 0, top = 0, width = 0, height = 0;
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

PixelRect ToPixels(const Rect& rect, std::int32_t dpi);

// Where an auto-sized label of textWidth x textHeight pixels goes: its top stays,
// its horizontal centre stays where the design puts it.
PixelRect AutoSized(const Rect& designed, std::int32_t textWidth, std::int32_t textHeight, std::int32_t dpi);

// The outer height in pixels at `dpi` for a designed outer height, under a frame
// (caption and borders together) `frameHeight` pixels high: the design's height,
// or more where that frame would leave less than kBottomMargin below the lowest
// control shown at that height (at the collapsed height the controls visible at
// load, at any other all of them). Never less than the design.
std::int32_t OuterHeight(std::int32_t heightTwips, std::int32_t frameHeight, std::int32_t dpi);

// A picture's size at `dpi` from its size at 96 dpi, rounded.
std::int32_t ScaledFrom96(std::int32_t pixels, std::int32_t dpi);

// The same for a picture shown at its natural size inside its designed box.
PixelRect Centred(const Rect& designed, std::int32_t width, std::int32_t height, std::int32_t dpi);

}  // namespace gt3::app::layout
