#pragma once
// The main window on Win32: one window class, child controls as members, and the
// form's handlers behind the window procedure.

#include <windows.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Broadcast_win32.h"
#include "FormControls.h"
#include "FormMain.h"
#include "Layout.h"
#include "Win32Handles.h"
#include "registry/RegistryStore.h"

namespace gt3::app {

class MainWindow;

// A child control as the handlers see it.
class Win32Control {
public:
    Win32Control(MainWindow& window, layout::Control id) noexcept : window_(window), id_(id) {}
    HWND handle() const noexcept { return hwnd_; }
    layout::Control id() const noexcept { return id_; }
    void Attach(HWND hwnd) noexcept { hwnd_ = hwnd; }

protected:
    // The control, made first when it is one of those the window makes at the
    // first pick rather than at load.
    HWND Made();
    void Show(bool visible);
    void Enable(bool enabled);

    MainWindow& window_;
    layout::Control id_;
    HWND hwnd_ = nullptr;
};

class Win32Label final : public Win32Control, public LabelControl {
public:
    using Win32Control::Win32Control;
    void SetCaption(std::wstring_view caption) override;
    void SetVisible(bool visible) override { Show(visible); }
};

class Win32Button final : public Win32Control, public ButtonControl {
public:
    using Win32Control::Win32Control;
    void SetVisible(bool visible) override { Show(visible); }
    void SetEnabled(bool enabled) override { Enable(enabled); }
};

class Win32Combo final : public Win32Control, public ComboControl {
public:
    using Win32Control::Win32Control;
    void AddItem(std::wstring_view item) override;
    void Reserve(std::size_t items) override;
    void Clear() override;
    void Select(std::ptrdiff_t index) override;
    std::wstring Text() const override;
    // Draws the list again after a refill, once.
    void EndRefill();

private:
    bool refilling_ = false;
};

class MainWindow final : public FormWindow {
public:
    static constexpr wchar_t kClassName[] = L"GT3ErrLog.frmMain";
    // The child window id of each control (GetDlgItem).
    static constexpr int ControlId(layout::Control id) noexcept { return 100 + static_cast<int>(id); }

    // A fixed tool window: thin caption with a close box, no minimise or maximise
    // box, no sizing border. WS_EX_APPWINDOW gives it the taskbar button and the
    // place in Alt+Tab that a tool window alone does not get.
    static constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    static constexpr DWORD kExStyle = WS_EX_TOOLWINDOW | WS_EX_APPWINDOW | WS_EX_WINDOWEDGE;
    // The combo box: its closed field's item height for the designed height, and
    // the height of its window, which also holds ten items of drop-down list
    // where the list follows that height (common controls before version 6;
    // version 6 takes the count from CB_SETMINVISIBLE).
    static constexpr int ComboFieldHeight(int designed) noexcept { return designed > 7 ? designed - 6 : 1; }
    static constexpr int ComboWindowHeight(int designed, int itemHeight) noexcept {
        return designed + kComboDropItems * itemHeight + 2;
    }
    static constexpr int kComboDropItems = 10;

    MainWindow(HINSTANCE instance, RegistryStore& store);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Creates the window (running Form_Load) and shows it normally, centred on
    // the screen. False when the window could not be made or loading ended the
    // program.
    bool Create();
    // Runs the message loop until the window is gone; the program's exit code.
    int Run();

    HWND handle() const noexcept { return hwnd_; }
    int exitCode() const noexcept { return exitCode_; }
    // How often the window has shown a change in the registry; for the tests.
    std::size_t refreshCount() const noexcept { return refreshes_; }

    // FormWindow
    void SetHeight(std::int32_t twips) override;
    IconHandle Icon() const override { return reinterpret_cast<IconHandle>(icon_.get()); }

    // Re-places a control after its text or the DPI changed.
    void Place(const Win32Control& control);
    // Makes the controls hidden at load, and the fonts only they use, at their
    // places in the z-order; once. Until the first pick the user sees none of
    // them, so start-up leaves them out.
    void MakeLateControls();

    // Whether the system's high-contrast mode is on: SPI_GETHIGHCONTRAST by
    // default. A seam for the tests, since Wine always reports it off.
    static bool SystemHighContrast() noexcept;
    static inline bool (*highContrastQuery)() = &SystemHighContrast;
    // Moves the focus on when the focused control is about to be hidden or disabled.
    void FocusAwayFrom(HWND control);

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    LRESULT OnCreate();
    void OnCommand(WORD id, WORD code, HWND control);
    LRESULT OnControlColour(HDC dc, HWND control);
    void OnActivate(WORD state);
    void OnNextControl(WPARAM target, bool isHandle);
    void OnDpiChanged(UINT dpi, const RECT& suggested);
    void OnColoursChanged(bool forwardToControls);
    LRESULT OnEraseBackground(HDC dc);
    void OnDestroy();
    void Deliver(MSG& msg);
    void OnWatchSignalled(HANDLE event) noexcept;
    void OnWaitFailed() noexcept;
    void TakeWatchEvents();
    void StopWatching() noexcept;
    void StartTimerOnce(UINT_PTR timer, UINT delayMs, bool& running) noexcept;
    bool TimerWentOff(UINT_PTR timer, bool& running) noexcept;
    void StartRewatch() noexcept;
    void OnRewatchTimer();
    void OnRegistryChanged();
    void OnRefreshTimer();
    void ResumeRefresh();
    LRESULT OnNcDestroy(WPARAM wParam, LPARAM lParam);
    void Fail(std::exception_ptr error) noexcept;

    // Makes the controls shown at load, or those hidden at load (`late`).
    void CreateControls(bool late);
    BitmapHandle ScaledLogo() const;
    void ShowLogo(BitmapHandle scaled);
    HBITMAP ShownLogo() const noexcept { return scaledLogo_ ? scaledLogo_.get() : logo_.get(); }
    void SetComboField(HWND combo) const;
    layout::PixelRect FinalRect(const layout::ControlDesign& design, std::wstring_view text, HDC dc) const;
    COLORREF BackgroundColour() const noexcept;
    HBRUSH BackgroundBrush() const noexcept;
    void ApplyLayout();
    SIZE FrameSize(UINT dpi) const;
    void FitHeight();
    RECT CentredFrame() const;
    void ShowNormally();
    Win32Control* Find(layout::Control id) noexcept;
    std::array<Win32Control*, 7> Controls() noexcept {
        return {&imgLogo_, &lblInfo_, &comEmail_, &lblLog_, &cmdEnable_, &cmdDisable_, &cmdReload_};
    }
    HFONT FontFor(const layout::ControlDesign& design) const noexcept { return fonts_.For(design); }

    // The design's three fonts at one DPI, each once a control made uses it.
    struct Fonts {
        FontHandle windowFont, smallFont, stateFont;
        HFONT For(const layout::ControlDesign& design) const noexcept;
        // Where a font of the design is held, in `fonts` (const or not).
        template <typename Self>
        static auto& Slot(Self& fonts, const layout::FontDesign* font) noexcept {
            if (font == &layout::kSmallFont) return fonts.smallFont;
            if (font == &layout::kStateFont) return fonts.stateFont;
            return fonts.windowFont;
        }
    };
    // Adds the fonts missing for the controls shown at load, and with `late` for
    // those made at the first pick too.
    static void MakeFonts(Fonts& fonts, UINT dpi, bool late);

    HINSTANCE instance_;
    HWND hwnd_ = nullptr;
    UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
    std::int32_t heightTwips_ = layout::kCollapsedHeight;
    HWND savedFocus_ = nullptr;
    bool failed_ = false;
    bool highContrast_ = false;
    bool lateMade_ = false;  // the controls hidden at load exist
    int exitCode_ = 0;

    static constexpr UINT_PTR kRefreshTimer = 1;
    // A watch that could not be placed, or a wait that failed: the window goes on
    // as it was and watches again after this long, refreshing on the way.
    static constexpr UINT_PTR kRewatchTimer = 2;
    static constexpr UINT kRewatchDelayMs = 3000;
    const DWORD wakeMask_;
    std::unique_ptr<KeyWatch> watch_;
    std::vector<HANDLE> watchEvents_;  // the watch's, as the loop waits for them
    bool waitFailed_ = false;          // the loop takes messages only, until the rewatch
    bool rewatchTimer_ = false;
    bool refreshTimer_ = false;        // a change waits for the timer
    bool refreshDue_ = false;          // the timer went off while the refresh had to wait
    int handling_ = 0;                 // form handlers running
    std::atomic<std::size_t> refreshes_{0};

    IconHandleOwner icon_;
    BitmapHandle logo_;        // the resource, at its 96-dpi size
    BitmapHandle scaledLogo_;  // the logo at any other DPI; empty at 96
    BrushHandle background_;
    Fonts fonts_;

    Win32Control imgLogo_{*this, layout::Control::imgLogo};
    Win32Label lblInfo_{*this, layout::Control::lblInfo};
    Win32Combo comEmail_{*this, layout::Control::comEmail};
    Win32Label lblLog_{*this, layout::Control::lblLog};
    Win32Button cmdEnable_{*this, layout::Control::cmdEnable};
    Win32Button cmdDisable_{*this, layout::Control::cmdDisable};
    Win32Button cmdReload_{*this, layout::Control::cmdReload};

    Win32MessageDialog box_;
    Win32Broadcaster broadcaster_;
    FormMain form_;
};

}  // namespace gt3::app
