#pragma once
// What wakes the window's message loop, by the version of Windows it runs on.

#include <cstdint>

namespace gt3::app {

struct WindowsVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
};

namespace wake {
constexpr std::uint32_t kAllInputWindows7 = 0x04FF;  // QS_ALLINPUT as Windows 7 knows it
constexpr std::uint32_t kTouch = 0x0800;             // QS_TOUCH, Windows 8 and later
constexpr std::uint32_t kPointer = 0x1000;           // QS_POINTER, Windows 8 and later
}  // namespace wake

// Windows 8 and later queue touch and pen input under QS_TOUCH and QS_POINTER,
// which a wait must name to wake for it; Windows 7 refuses those bits.
constexpr std::uint32_t WakeMask(WindowsVersion version) noexcept {
    const bool windows8OrLater = version.major > 6 || (version.major == 6 && version.minor >= 2);
    return windows8OrLater ? wake::kAllInputWindows7 | wake::kTouch | wake::kPointer : wake::kAllInputWindows7;
}

}  // namespace gt3::app
