// What a keyboard, screen-reader or high-contrast user gets from the real window:
// a taskbar button, names through Active Accessibility (asked from this 32-bit
// program, as a 64-bit client gets no answer for a 32-bit window), and the
// system's colours in high contrast.

#include "app/tests/windows/AccessibleWindow.h"
#include "app/tests/windows/WindowUnderTest.h"
#include "registry/Win32RegistryStore.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <set>
#include <string>

#include <gtest/gtest.h>

namespace gt3::app::test {
namespace {

using C = layout::Control;

TEST(Accessibility, TheTaskbarAndScreenReadersFindTheWindowAndNameItsControls) {
    PrivateLocalMachine hklm(L"Accessibility");
    hklm.Put("amy@example.com", REG_SZ, std::string("0\0", 2));
    WindowThread window(PlatformRegistryStore());
    ASSERT_TRUE(window.created());
    window.Pick(0);

    ExpectFoundAndNamed(window.hwnd());
    EXPECT_EQ(window.Close(), 0);
}

// The colours a window shows, read back from its device context.
std::set<COLORREF> Painted(HWND hwnd) {
    RECT r{};
    GetClientRect(hwnd, &r);
    HDC dc = GetDC(hwnd);
    HDC copy = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, r.right, r.bottom);
    HGDIOBJ old = SelectObject(copy, bitmap);
    BitBlt(copy, 0, 0, r.right, r.bottom, dc, 0, 0, SRCCOPY);
    std::set<COLORREF> colours;
    for (int y = 0; y < r.bottom; ++y)
        for (int x = 0; x < r.right; ++x) colours.insert(GetPixel(copy, x, y));
    SelectObject(copy, old);
    DeleteObject(bitmap);
    DeleteDC(copy);
    ReleaseDC(hwnd, dc);
    return colours;
}

std::atomic<bool> highContrast{false};

// Wine always reports high contrast off: the test answers for the system, and
// sets the system's colours to a scheme of its own, as switching it on would.
class HighContrastForTheTest {
public:
    HighContrastForTheTest() : saved_{GetSysColor(COLOR_WINDOW), GetSysColor(COLOR_WINDOWTEXT)} {
        MainWindow::highContrastQuery = [] { return highContrast.load(); };
    }
    ~HighContrastForTheTest() {
        SetSysColors(2, kElements, saved_);
        MainWindow::highContrastQuery = &MainWindow::SystemHighContrast;
    }
    static void Scheme(COLORREF window, COLORREF text) {
        const COLORREF colours[] = {window, text};
        SetSysColors(2, kElements, colours);  // broadcasts WM_SYSCOLORCHANGE
    }

private:
    static constexpr int kElements[] = {COLOR_WINDOW, COLOR_WINDOWTEXT};
    COLORREF saved_[2];
};

TEST(Accessibility, HighContrastPaintsWithTheSystemsColoursAndFollowsAChange) {
    PrivateLocalMachine hklm(L"HighContrast");
    hklm.Put("amy@example.com", REG_SZ, std::string("0\0", 2));
    hklm.Put("bob@example.com", REG_SZ, std::string("0\0", 2));
    HighContrastForTheTest system;
    constexpr COLORREF kBlack = RGB(0, 0, 0), kYellow = RGB(255, 255, 0), kNavy = RGB(0, 0, 128),
                       kGreen = RGB(0, 255, 0), kWhite = RGB(255, 255, 255);
    HighContrastForTheTest::Scheme(kBlack, kYellow);
    highContrast = true;
    WindowThread window(PlatformRegistryStore());
    ASSERT_TRUE(window.created());
    window.Pick(0);
    HWND hwnd = window.hwnd();
    // The next control takes the focus, so that the combo box's field shows its own colours.
    SendMessageW(hwnd, WM_NEXTDLGCTL, 0, FALSE);

    const auto settingChange = [&](bool on) {
        highContrast = on;
        SendMessageW(hwnd, WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
    };
    const struct {
        const char* step;
        std::function<void()> change;
        COLORREF background, instruction, state, combo;
    } steps[] = {
        {"opened in high contrast", [] {}, kBlack, kYellow, kYellow, kYellow},
        {"system colours changed", [] { HighContrastForTheTest::Scheme(kNavy, kGreen); }, kNavy, kGreen, kGreen,
         kGreen},
        {"high contrast off", [&] { settingChange(false); }, kWhite, RGB(255, 128, 0), RGB(255, 0, 0), RGB(0, 0, 255)},
        {"high contrast on", [&] { settingChange(true); }, kNavy, kGreen, kGreen, kGreen},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.step);
        s.change();
        // What the window invalidated is painted now; nothing more is invalidated.
        RedrawWindow(hwnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        HDC dc = GetDC(hwnd);
        EXPECT_EQ(GetPixel(dc, 1, 1), s.background);
        ReleaseDC(hwnd, dc);
        // The combo box's list, dropped down, shows the entry that is not selected in the text colour.
        SendMessageW(window.Child(C::comEmail), CB_SHOWDROPDOWN, TRUE, 0);
        COMBOBOXINFO combo{};
        combo.cbSize = sizeof combo;
        GetComboBoxInfo(window.Child(C::comEmail), &combo);
        for (const auto& [control, colour] :
             {std::pair{window.Child(C::lblInfo), s.instruction}, std::pair{window.Child(C::lblLog), s.state},
              std::pair{window.Child(C::comEmail), s.combo}, std::pair{combo.hwndList, s.combo}}) {
            SCOPED_TRACE(GetDlgCtrlID(control));
            const std::set<COLORREF> painted = Painted(control);
            EXPECT_TRUE(painted.count(colour)) << "text not in its colour";
            for (COLORREF other : {kYellow, kGreen, RGB(255, 128, 0), RGB(255, 0, 0), RGB(0, 0, 255)})
                if (other != colour) {
                    EXPECT_FALSE(painted.count(other)) << std::hex << std::showbase << other;
                }
        }
        SendMessageW(window.Child(C::comEmail), CB_SHOWDROPDOWN, FALSE, 0);
    }
    EXPECT_EQ(window.Close(), 0);
}

}  // namespace
}  // namespace gt3::app::test
