#include "MainWindow_win32.h"

#include <commctrl.h>

#include <utility>

#include "DesignGdi_win32.h"
#include "ErrorReport.h"
#include "Texts.h"
#include "WakeMask.h"
#include "msgbox/MsgBoxEx.h"
#include "res/resource.h"

namespace gt3::app {

namespace {

using layout::Control;

// WM_GETDPISCALEDSIZE (Windows 10 1703 on), which SDK headers for Windows 7 leave out.
constexpr UINT kGetDpiScaledSize = 0x02E4;

// A monitor's DPI as this process sees it, through shcore's GetDpiForMonitor
// (Windows 8.1 on, loaded at run time from System32 and kept); 0 where unknown.
UINT MonitorDpi(HMONITOR monitor) {
    using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI
    static const auto getDpiForMonitor = [] {
        const HMODULE shcore = LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        return shcore ? reinterpret_cast<GetDpiForMonitorFn>(
                            reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")))
                      : nullptr;
    }();
    UINT x = 0, y = 0;
    return getDpiForMonitor && monitor && SUCCEEDED(getDpiForMonitor(monitor, kEffectiveDpi, &x, &y)) ? y : 0;
}

// GetDpiForWindow exists from Windows 10 1607 on; Windows 8.1 knows each
// monitor's DPI; older systems have one DPI for the whole session. No window
// yet (nullptr): the primary monitor's, where the window opens.
UINT WindowDpi(HWND hwnd) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow && hwnd) {
        if (const UINT dpi = getDpiForWindow(hwnd)) return dpi;
    }
    const HMONITOR monitor = hwnd ? MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST)
                                  : MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    if (const UINT dpi = MonitorDpi(monitor)) return dpi;
    HDC dc = GetDC(hwnd);
    const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 0;
    if (dc) ReleaseDC(hwnd, dc);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

RECT AdjustForFrame(RECT rect, UINT dpi) {
    using AdjustFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = reinterpret_cast<AdjustFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    constexpr DWORD style = MainWindow::kStyle, exStyle = MainWindow::kExStyle;
    if (!adjustForDpi || !adjustForDpi(&rect, style, FALSE, exStyle, dpi))
        AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    return rect;
}

// Windows 10 1607, which knows no PerMonitorV2, runs the program per monitor
// (v1), where a window's frame keeps the system's DPI unless this is asked while
// it is being made; with V2 (1703 on) the frame follows anyway and the call
// fails, as it does wherever it does not apply.
void ScaleFrameWithDpi(HWND hwnd) {
    using EnableFn = BOOL(WINAPI*)(HWND);
    static const auto enable = reinterpret_cast<EnableFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "EnableNonClientDpiScaling")));
    if (enable) enable(hwnd);
}

std::wstring WindowText(HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

FontHandle MakeFont(const layout::FontDesign& design, UINT dpi) {
    return MakeDesignFont(design, layout::FontHeightPixels(design, static_cast<std::int32_t>(dpi)));
}

// A smoothed copy of a bitmap at another size; 24 bits a pixel, so without the
// alpha that would make a static control keep a copy of its own. Empty on failure.
BitmapHandle ScaledCopy(HBITMAP source, const BITMAP& from, int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    BitmapHandle scaled(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    const MemoryDcHandle read(CreateCompatibleDC(nullptr)), write(CreateCompatibleDC(nullptr));
    if (!scaled || !read || !write) return {};
    const HGDIOBJ oldRead = SelectObject(read.get(), source), oldWrite = SelectObject(write.get(), scaled.get());
    SetStretchBltMode(write.get(), HALFTONE);
    SetBrushOrgEx(write.get(), 0, 0, nullptr);  // HALFTONE asks for the origin to be set after the mode
    const BOOL drawn =
        StretchBlt(write.get(), 0, 0, width, height, read.get(), 0, 0, from.bmWidth, from.bmHeight, SRCCOPY);
    SelectObject(read.get(), oldRead);
    SelectObject(write.get(), oldWrite);
    return drawn ? std::move(scaled) : BitmapHandle{};
}

// The version Windows reports to this exe. The wake mask asks only "Windows 8 or
// later?", which this answers rightly with or without the manifest's supportedOS
// entries: Windows 8.1 and later report 6.2, Windows 8's own version, to an exe
// that does not list them (GetVersionEx documentation), and 6.2 is enough.
// _WIN32_WINNT stays at Windows 7, so nothing newer is imported.
WindowsVersion ReportedVersion() {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
#ifdef _MSC_VER
#pragma warning(push)
#pragma warning(disable : 4996)  // deprecated for feature checks; the reported version is what is wanted here
#endif
    const BOOL known = GetVersionExW(&info);
#ifdef _MSC_VER
#pragma warning(pop)
#endif
    if (!known) return {};
    return {info.dwMajorVersion, info.dwMinorVersion};
}

static_assert(QS_ALLINPUT == wake::kAllInputWindows7, "built for Windows 7: the newer input bits come at run time");

// A form handler running: the refresh waits, and the combo box is drawn again
// however the handler ends, an exception included, so that it is never left
// with its redraw off (which may also lose it WS_VISIBLE).
class HandlerScope {
public:
    HandlerScope(int& handling, Win32Combo& combo) noexcept : handling_(handling), combo_(combo) { ++handling_; }
    ~HandlerScope() {
        --handling_;
        combo_.EndRefill();
    }
    HandlerScope(const HandlerScope&) = delete;
    HandlerScope& operator=(const HandlerScope&) = delete;

private:
    int& handling_;
    Win32Combo& combo_;
};

void RegisterWindowClass(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = nullptr;  // the window erases with its own colour (WM_ERASEBKGND)
    wc.lpszClassName = MainWindow::kClassName;
    RegisterClassExW(&wc);  // fails harmlessly when a second window registers it again
}

}  // namespace

// --- Controls ------------------------------------------------------------------

// The form first touches the controls hidden at load when the user first picks
// an account, and only then need they exist.
HWND Win32Control::Made() {
    if (!hwnd_) window_.MakeLateControls();
    return hwnd_;
}

// A change to what a control already shows is left out: the refresh after a
// change in the registry sets them all again, and must not make them flicker.
void Win32Control::Show(bool visible) {
    const HWND hwnd = Made();
    if (((GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0) == visible) return;
    if (!visible) window_.FocusAwayFrom(hwnd);
    ShowWindow(hwnd, visible ? SW_SHOWNA : SW_HIDE);
}

void Win32Control::Enable(bool enabled) {
    const HWND hwnd = Made();
    if ((IsWindowEnabled(hwnd) != FALSE) == enabled) return;
    if (!enabled) window_.FocusAwayFrom(hwnd);
    EnableWindow(hwnd, enabled ? TRUE : FALSE);
}

void Win32Label::SetCaption(std::wstring_view caption) {
    const HWND hwnd = Made();
    if (WindowText(hwnd) == caption) return;
    SetWindowTextW(hwnd, std::wstring(caption).c_str());
    window_.Place(*this);  // the label sizes itself to its text
}

void Win32Combo::AddItem(std::wstring_view item) {
    SendMessageW(hwnd_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(std::wstring(item).c_str()));
}

void Win32Combo::Reserve(std::size_t items) {
    constexpr std::size_t kTypicalBytes = 64;
    SendMessageW(hwnd_, CB_INITSTORAGE, items, static_cast<LPARAM>(items * kTypicalBytes));
}

// A refill (Clear, AddItem, ...) is drawn once, at EndRefill.
void Win32Combo::Clear() {
    if (!std::exchange(refilling_, true)) SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
    SendMessageW(hwnd_, CB_RESETCONTENT, 0, 0);
}

void Win32Combo::Select(std::ptrdiff_t index) { SendMessageW(hwnd_, CB_SETCURSEL, static_cast<WPARAM>(index), 0); }

void Win32Combo::EndRefill() {
    if (!std::exchange(refilling_, false)) return;
    SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

std::wstring Win32Combo::Text() const {
    const LRESULT index = SendMessageW(hwnd_, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return {};
    const LRESULT length = SendMessageW(hwnd_, CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(hwnd_, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied == CB_ERR ? 0 : static_cast<std::size_t>(copied));
    return text;
}

// --- Window --------------------------------------------------------------------

MainWindow::MainWindow(HINSTANCE instance, RegistryStore& store)
    : instance_(instance),
      wakeMask_(WakeMask(ReportedVersion())),
      form_(store, FormParts{*this, comEmail_, lblLog_, cmdEnable_, cmdDisable_, cmdReload_, box_, broadcaster_}) {}

MainWindow::~MainWindow() {
    if (hwnd_) DestroyWindow(hwnd_);
}

bool MainWindow::Create() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    RegisterWindowClass(instance_, &MainWindow::WindowProc);

    // Loaded at their own size (35 x 38): the same handle serves the caption, the
    // taskbar and every message box.
    icon_.reset(static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDI_GT3ERRLOG), IMAGE_ICON, 0, 0, 0)));
    logo_.reset(static_cast<HBITMAP>(LoadImageW(instance_, MAKEINTRESOURCEW(IDB_LOGO), IMAGE_BITMAP, 0, 0, 0)));
    background_.reset(CreateSolidBrush(ToColorRef(layout::kWhite)));

    // Made where it ends up, at its size for the DPI of the screen it opens on.
    dpi_ = WindowDpi(nullptr);
    const RECT frame = CentredFrame();
    CreateWindowExW(kExStyle, kClassName, std::wstring(text::kWindowCaption).c_str(), kStyle, frame.left, frame.top,
                    frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance_, this);
    if (!hwnd_ || failed_) return false;
    ShowNormally();
    UpdateWindow(hwnd_);
    return !failed_;
}

// Waits for input and for the registry watch's events alike; every wake takes
// all the input there is, so a stream of changes cannot starve the window.
// After a failed wait, a plain message loop until the watch is made again.
int MainWindow::Run() {
    MSG msg;
    for (;;) {
        if (waitFailed_) {
            if (GetMessageW(&msg, nullptr, 0, 0) == 0) return static_cast<int>(msg.wParam);
            Deliver(msg);
        } else {
            const auto count = static_cast<DWORD>(watchEvents_.size());
            const DWORD woke =
                MsgWaitForMultipleObjectsEx(count, watchEvents_.data(), INFINITE, wakeMask_, MWMO_INPUTAVAILABLE);
            if (woke < WAIT_OBJECT_0 + count) OnWatchSignalled(watchEvents_[woke - WAIT_OBJECT_0]);
            else if (woke == WAIT_FAILED) OnWaitFailed();
        }
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return static_cast<int>(msg.wParam);
            Deliver(msg);
        }
    }
}

void MainWindow::Deliver(MSG& msg) {
    // Tab, the arrow keys and the access keys (Alt+E, Alt+D) as in a dialog.
    if (hwnd_ && IsDialogMessageW(hwnd_, &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

// Called by the loop, outside any window procedure: no exception leaves here.
void MainWindow::OnWatchSignalled(HANDLE event) noexcept {
    try {
        if (!watch_) return;
        watch_->Signalled(reinterpret_cast<std::uintptr_t>(event));  // re-arms, then reports
        TakeWatchEvents();
    } catch (...) {
        Fail(std::current_exception());
    }
}

// Whether the handles or the wait itself failed, waiting again at once could fail
// at once, for ever: the window goes on with a plain message loop and watches
// again on the rewatch timer.
void MainWindow::OnWaitFailed() noexcept {
    StopWatching();
    waitFailed_ = true;
    StartRewatch();
}

void MainWindow::TakeWatchEvents() {
    watchEvents_.clear();
    if (!watch_) return;
    for (const std::uintptr_t event : watch_->Events()) watchEvents_.push_back(reinterpret_cast<HANDLE>(event));
    if (!watch_->Placed()) StartRewatch();
}

void MainWindow::StopWatching() noexcept {
    watchEvents_.clear();
    watch_.reset();
}

// The window's timers go off once each: started unless running, and never once
// the window has failed; as one goes off, nothing follows if the window has
// failed meanwhile (the error box's own loop delivers timers).
void MainWindow::StartTimerOnce(UINT_PTR timer, UINT delayMs, bool& running) noexcept {
    if (hwnd_ && !failed_ && !running) running = SetTimer(hwnd_, timer, delayMs, nullptr) != 0;
}

bool MainWindow::TimerWentOff(UINT_PTR timer, bool& running) noexcept {
    KillTimer(hwnd_, timer);
    running = false;
    return !failed_;
}

void MainWindow::StartRewatch() noexcept { StartTimerOnce(kRewatchTimer, kRewatchDelayMs, rewatchTimer_); }

// A new watch, and a refresh: changes made meanwhile went unheard.
void MainWindow::OnRewatchTimer() {
    if (!TimerWentOff(kRewatchTimer, rewatchTimer_)) return;
    waitFailed_ = false;
    StopWatching();
    watch_ = form_.WatchAccounts([this] { OnRegistryChanged(); });
    TakeWatchEvents();
    OnRegistryChanged();
}

// No exception leaves here: the platform cannot carry one through its frames.
LRESULT CALLBACK MainWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* created = reinterpret_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        created->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
        ScaleFrameWithDpi(hwnd);
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    try {
        return self->HandleMessage(message, wParam, lParam);
    } catch (...) {
        self->Fail(std::current_exception());
        return 0;
    }
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: return OnCreate();
    case WM_COMMAND: OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)); return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN: return OnControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_ACTIVATE: OnActivate(LOWORD(wParam)); return 0;
    case WM_NEXTDLGCTL: OnNextControl(wParam, LOWORD(lParam) != 0); return 0;
    case WM_DPICHANGED: OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam)); return 0;
    case kGetDpiScaledSize: *reinterpret_cast<SIZE*>(lParam) = FrameSize(LOWORD(wParam)); return TRUE;
    case WM_ERASEBKGND: return OnEraseBackground(reinterpret_cast<HDC>(wParam));
    case WM_SETTINGCHANGE:
        if (wParam == SPI_SETHIGHCONTRAST) OnColoursChanged(false);
        // A larger caption, or a theme's, must not cut the controls off.
        if (wParam == SPI_SETNONCLIENTMETRICS || wParam == SPI_SETHIGHCONTRAST) FitHeight();
        break;
    case WM_SYSCOLORCHANGE: OnColoursChanged(true); break;
    case WM_TIMER:
        if (wParam == kRefreshTimer) OnRefreshTimer();
        else if (wParam == kRewatchTimer) OnRewatchTimer();
        return 0;
    case WM_DESTROY: OnDestroy(); return 0;
    case WM_NCDESTROY: return OnNcDestroy(wParam, lParam);
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

LRESULT MainWindow::OnCreate() {
    if (const UINT dpi = WindowDpi(hwnd_); dpi != dpi_) {
        // On a screen of another DPI than the session's: its size there.
        dpi_ = dpi;
        const RECT frame = CentredFrame();
        SetWindowPos(hwnd_, nullptr, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    highContrast_ = highContrastQuery();
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_.get()));
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_.get()));
    box_.SetOwner(hwnd_);
    MakeFonts(fonts_, dpi_, false);
    CreateControls(false);
    // Watching before the first read: nothing made in between goes unseen. On
    // this thread, which the watch's notifications live with.
    watch_ = form_.WatchAccounts([this] { OnRegistryChanged(); });
    TakeWatchEvents();
    form_.Form_Load();
    return 0;
}

// A change in the registry starts the timer unless it runs: a burst of changes
// (an installer writing fifty keys) gives one refresh.
void MainWindow::OnRegistryChanged() { StartTimerOnce(kRefreshTimer, kRefreshDelayMs, refreshTimer_); }

void MainWindow::OnRefreshTimer() {
    if (!TimerWentOff(kRefreshTimer, refreshTimer_)) return;
    // Not while the list is dropped down, nor inside a handler: a message box's
    // loop delivers timers too. ResumeRefresh takes it up afterwards.
    if (handling_ > 0 || SendMessageW(comEmail_.handle(), CB_GETDROPPEDSTATE, 0, 0)) {
        refreshDue_ = true;
        return;
    }
    const HWND focus = GetFocus();
    {
        const HandlerScope scope(handling_, comEmail_);
        form_.Registry_Change();
    }
    // The focus stays, unless the refresh took its control away.
    if (focus && IsChild(hwnd_, focus) && !(IsWindowVisible(focus) && IsWindowEnabled(focus)))
        SetFocus(comEmail_.handle());
    ++refreshes_;
}

void MainWindow::ResumeRefresh() {
    if (std::exchange(refreshDue_, false)) OnRegistryChanged();
}

void MainWindow::OnCommand(WORD id, WORD code, HWND control) {
    if (failed_) return;
    if (id == IDOK && !control) {
        // Enter in the dialog-style loop: press the focused button, as dialogs do.
        HWND focus = GetFocus();
        for (const Win32Button* button : {&cmdEnable_, &cmdDisable_, &cmdReload_})
            if (focus && focus == button->handle()) SendMessageW(focus, BM_CLICK, 0, 0);
        return;
    }
    void (FormMain::*handler)() = nullptr;
    if (id == ControlId(Control::comEmail) && code == CBN_SELCHANGE) handler = &FormMain::comEmail_Click;
    else if (id == ControlId(Control::cmdEnable) && code == BN_CLICKED) handler = &FormMain::cmdEnable_Click;
    else if (id == ControlId(Control::cmdDisable) && code == BN_CLICKED) handler = &FormMain::cmdDisable_Click;
    else if (id == ControlId(Control::cmdReload) && code == BN_CLICKED) handler = &FormMain::cmdReload_Click;
    else if (id == ControlId(Control::comEmail) && code == CBN_CLOSEUP) ResumeRefresh();
    if (!handler) return;
    {
        const HandlerScope scope(handling_, comEmail_);
        (form_.*handler)();
    }
    ResumeRefresh();
}

LRESULT MainWindow::OnControlColour(HDC dc, HWND control) {
    // Labels draw without a background of their own on the white window; the
    // combo box (its selection field and its list) writes in blue. In high
    // contrast, all of them write in the system's window text colour.
    const Win32Control* coloured = nullptr;
    for (const Win32Control* c : std::initializer_list<const Win32Control*>{&lblInfo_, &lblLog_, &comEmail_})
        if (c->handle() == control || IsChild(c->handle(), control)) coloured = c;
    if (!coloured && GetParent(control) != hwnd_) coloured = &comEmail_;  // the combo's drop-down list
    if (coloured)
        SetTextColor(dc, highContrast_ ? GetSysColor(COLOR_WINDOWTEXT)
                                       : ToColorRef(layout::Design(coloured->id()).foreground));
    SetBkColor(dc, BackgroundColour());
    SetBkMode(dc, coloured && coloured->id() != Control::comEmail ? TRANSPARENT : OPAQUE);
    return reinterpret_cast<LRESULT>(BackgroundBrush());
}

LRESULT MainWindow::OnEraseBackground(HDC dc) {
    RECT client{};
    GetClientRect(hwnd_, &client);
    FillRect(dc, &client, BackgroundBrush());
    return 1;
}

// The high-contrast mode or the system's colours changed: the window follows at
// once. The common controls hear of new system colours from their parent.
void MainWindow::OnColoursChanged(bool forwardToControls) {
    highContrast_ = highContrastQuery();
    if (forwardToControls)
        for (const Win32Control* control : Controls())
            if (control->handle()) SendMessageW(control->handle(), WM_SYSCOLORCHANGE, 0, 0);
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

COLORREF MainWindow::BackgroundColour() const noexcept {
    return highContrast_ ? GetSysColor(COLOR_WINDOW) : ToColorRef(layout::kWhite);
}

HBRUSH MainWindow::BackgroundBrush() const noexcept {
    return highContrast_ ? GetSysColorBrush(COLOR_WINDOW) : background_.get();
}

bool MainWindow::SystemHighContrast() noexcept {
    HIGHCONTRASTW mode{};
    mode.cbSize = sizeof mode;
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof mode, &mode, 0) && (mode.dwFlags & HCF_HIGHCONTRASTON);
}

void MainWindow::OnActivate(WORD state) {
    // Keep the focused control across deactivation (message boxes included), as
    // dialogs do.
    if (state == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd_, focus)) savedFocus_ = focus;
        return;
    }
    HWND target = savedFocus_ && IsWindow(savedFocus_) && IsWindowVisible(savedFocus_) && IsWindowEnabled(savedFocus_)
                      ? savedFocus_
                      : comEmail_.handle();
    SetFocus(target);
}

// IsDialogMessage moves the focus for Tab, Shift+Tab and the arrow keys by
// sending this message, to an ordinary window too, which has to act on it
// itself: focus the control it names, or the next or previous tab stop.
void MainWindow::OnNextControl(WPARAM target, bool isHandle) {
    HWND next = isHandle ? reinterpret_cast<HWND>(target) : GetNextDlgTabItem(hwnd_, GetFocus(), target != 0);
    if (next) SetFocus(next);
}

void MainWindow::OnDpiChanged(UINT dpi, const RECT& suggested) {
    dpi_ = dpi ? dpi : USER_DEFAULT_SCREEN_DPI;
    // The controls take the new fonts before the old ones are deleted: a control
    // must never be left holding a deleted font. Controls not made yet are made
    // later at this DPI.
    Fonts fresh;
    MakeFonts(fresh, dpi_, lateMade_);
    for (Win32Control* control : Controls()) {
        const auto& design = layout::Design(control->id());
        if (control->handle() && design.font)
            SendMessageW(control->handle(), WM_SETFONT, reinterpret_cast<WPARAM>(fresh.For(design)), FALSE);
    }
    fonts_ = std::move(fresh);  // deletes the old fonts
    ShowLogo(ScaledLogo());
    // Where Windows suggests, so that a window moved between monitors lands
    // where the move leaves it; at the size for the new DPI, which Windows 10
    // 1703 on has already suggested (kGetDpiScaledSize), so it does not bounce.
    const SIZE size = FrameSize(dpi_);
    SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    ApplyLayout();
    InvalidateRect(hwnd_, nullptr, TRUE);
}

// No notification reaches the window once it is going.
void MainWindow::OnDestroy() {
    StopWatching();
    KillTimer(hwnd_, kRefreshTimer);
    KillTimer(hwnd_, kRewatchTimer);
    PostQuitMessage(exitCode_);
}

// The window's last message: from here on it no longer reaches this object,
// and the system frees what it keeps for the window.
LRESULT MainWindow::OnNcDestroy(WPARAM wParam, LPARAM lParam) {
    const HWND hwnd = std::exchange(hwnd_, nullptr);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    return DefWindowProcW(hwnd, WM_NCDESTROY, wParam, lParam);
}

// An error that reaches a handler ends the program: the report, then a non-zero exit.
void MainWindow::Fail(std::exception_ptr error) noexcept {
    if (failed_) return;
    failed_ = true;
    exitCode_ = 1;
    try {
        const ErrorReport report = DescribeError(error);
        exitCode_ = report.exitCode;
        // Titled with the program's title, which the box takes from the version
        // record, so that a renamed copy reports under the same name.
        MsgBoxEx(report.text, MB_OK | MB_ICONERROR, kAppTitleSentinel, -1, -1, nullptr, hwnd_);
    } catch (...) {
        // Nothing more can be said; the exit code still tells.
    }
    PostQuitMessage(exitCode_);
}

void MainWindow::SetHeight(std::int32_t twips) {
    if (twips == heightTwips_) return;  // loading sets the height the window was made with
    heightTwips_ = twips;
    FitHeight();
}

// The outer size for the frame as it is now; the frame is worked out again too.
void MainWindow::FitHeight() {
    const SIZE size = FrameSize(dpi_);
    SetWindowPos(hwnd_, nullptr, 0, 0, size.cx, size.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void MainWindow::MakeFonts(Fonts& fonts, UINT dpi, bool late) {
    for (const auto& design : layout::kControls) {
        if (!design.font || !(design.visibleAtLoad || late)) continue;
        if (FontHandle& font = Fonts::Slot(fonts, design.font); !font) font = MakeFont(*design.font, dpi);
    }
}

HFONT MainWindow::Fonts::For(const layout::ControlDesign& design) const noexcept {
    return Slot(*this, design.font).get();
}

void MainWindow::MakeLateControls() {
    if (std::exchange(lateMade_, true) || !hwnd_) return;
    MakeFonts(fonts_, dpi_, true);
    CreateControls(true);
}

void MainWindow::CreateControls(bool late) {
    // Created in the table's order, each at its final rectangle. The order is the
    // z-order; a control made late is put back to its place in it, after the
    // control before it in the table. The image's text is its name for screen
    // readers: given here, before its picture, since a bitmap static takes text
    // set later as a resource name and drops its picture.
    if (!late) scaledLogo_ = ScaledLogo();
    const MemoryDcHandle measuring(CreateCompatibleDC(nullptr));
    HWND previous = HWND_TOP;
    for (const auto& design : layout::kControls) {
        Win32Control& control = *Find(design.id);
        if (design.visibleAtLoad == late) {
            if (control.handle()) previous = control.handle();
            continue;
        }
        const wchar_t* className = L"STATIC";
        DWORD style = WS_CHILD | (design.visibleAtLoad ? WS_VISIBLE : 0);
        switch (design.kind) {
        case layout::Kind::Image: style |= SS_BITMAP; break;
        case layout::Kind::Label: style |= SS_CENTER | SS_NOPREFIX; break;
        case layout::Kind::Combo:
            className = WC_COMBOBOXW;
            style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
            break;
        case layout::Kind::Button:
            className = WC_BUTTONW;
            style |= WS_TABSTOP | BS_PUSHBUTTON;
            break;
        }
        const layout::PixelRect r = FinalRect(design, design.text, measuring.get());
        const auto id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(design.id)));
        HWND child = CreateWindowExW(0, className, std::wstring(design.text).c_str(), style, r.left, r.top, r.width,
                                     r.height, hwnd_, id, instance_, nullptr);
        if (!child) continue;
        control.Attach(child);
        if (late) SetWindowPos(child, previous, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        previous = child;
        if (design.kind == layout::Kind::Image)
            SendMessageW(child, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(ShownLogo()));
        else
            SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(design)), FALSE);
        if (design.kind == layout::Kind::Combo) {
            SetComboField(child);
            // Common controls 6 size the list by this count, not by the window's height.
            SendMessageW(child, CB_SETMINVISIBLE, kComboDropItems, 0);
        }
    }
}

// The logo at the design's size for the DPI: the resource's own pixels at 96
// dpi (empty here), a smoothed copy at any other.
BitmapHandle MainWindow::ScaledLogo() const {
    BITMAP natural{};
    if (dpi_ == USER_DEFAULT_SCREEN_DPI || !logo_ || !GetObjectW(logo_.get(), sizeof natural, &natural)) return {};
    const auto dpi = static_cast<std::int32_t>(dpi_);
    return ScaledCopy(logo_.get(), natural, layout::ScaledFrom96(natural.bmWidth, dpi),
                      layout::ScaledFrom96(natural.bmHeight, dpi));
}

void MainWindow::ShowLogo(BitmapHandle scaled) {
    const HBITMAP shown = scaled ? scaled.get() : logo_.get();
    const auto previous = reinterpret_cast<HBITMAP>(
        SendMessageW(imgLogo_.handle(), STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(shown)));
    // A control that copied a bitmap with alpha hands its copy back here.
    if (previous && previous != logo_.get() && previous != scaledLogo_.get()) DeleteObject(previous);
    scaledLogo_ = std::move(scaled);  // the old copy only now that the control holds the new picture
}

// The closed field as tall as designed.
void MainWindow::SetComboField(HWND combo) const {
    const auto dpi = static_cast<std::int32_t>(dpi_);
    const int designed = layout::ToPixels(layout::Design(Control::comEmail).rect, dpi).height;
    SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), ComboFieldHeight(designed));
}

Win32Control* MainWindow::Find(Control id) noexcept {
    for (Win32Control* c : Controls())
        if (c->id() == id) return c;
    return nullptr;
}

void MainWindow::ApplyLayout() {
    for (const auto& design : layout::kControls) Place(*Find(design.id));
}

void MainWindow::Place(const Win32Control& control) {
    HWND child = control.handle();
    if (!child) return;
    const auto& design = layout::Design(control.id());
    if (design.kind == layout::Kind::Combo) SetComboField(child);
    const MemoryDcHandle measuring(CreateCompatibleDC(nullptr));
    const layout::PixelRect r = FinalRect(design, WindowText(child), measuring.get());
    SetWindowPos(child, nullptr, r.left, r.top, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(child, nullptr, TRUE);
}

// Where a control goes at the current DPI, measured in `dc` before the control
// need exist.
layout::PixelRect MainWindow::FinalRect(const layout::ControlDesign& design, std::wstring_view text, HDC dc) const {
    const auto dpi = static_cast<std::int32_t>(dpi_);
    layout::PixelRect r = layout::ToPixels(design.rect, dpi);
    if (design.kind == layout::Kind::Image) {
        BITMAP bm{};
        if (ShownLogo() && GetObjectW(ShownLogo(), sizeof bm, &bm))
            r = layout::Centred(design.rect, bm.bmWidth, bm.bmHeight, dpi);
        return r;
    }
    const HGDIOBJ old = SelectObject(dc, FontFor(design));
    if (design.kind == layout::Kind::Label) {
        // Auto-size: the text's extent, one line per "\r\n", centred where designed.
        RECT extent{0, 0, 0, 0};
        DrawTextW(dc, text.data(), static_cast<int>(text.size()), &extent, DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS);
        r = layout::AutoSized(design.rect, extent.right - extent.left + 2, extent.bottom - extent.top, dpi);
    } else if (design.kind == layout::Kind::Combo) {
        // The height designed is the closed box's; its window also holds the
        // drop-down list, whose items are a line of the font each.
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        r.height = ComboWindowHeight(r.height, metrics.tmHeight);
    }
    SelectObject(dc, old);
    return r;
}

// The outer size at `dpi`: the design's client width inside the frame, and the
// current designed height, grown where the frame would leave the lowest control
// too little room.
SIZE MainWindow::FrameSize(UINT dpi) const {
    const auto scale = static_cast<std::int32_t>(dpi);
    const RECT frame = AdjustForFrame({0, 0, layout::TwipsToPixels(layout::kClientWidth, scale), 0}, dpi);
    return {frame.right - frame.left, layout::OuterHeight(heightTwips_, frame.bottom - frame.top, scale)};
}

// The window's rectangle at that size, centred on the screen.
RECT MainWindow::CentredFrame() const {
    const SIZE size = FrameSize(dpi_);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(hwnd_ ? MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY)
                          : MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY),
                    &monitor);
    const RECT& screen = monitor.rcMonitor;
    const int x = screen.left + ((screen.right - screen.left) - size.cx) / 2;
    const int y = screen.top + ((screen.bottom - screen.top) - size.cy) / 2;
    return {x, y, x + size.cx, y + size.cy};
}

// The window has a fixed size and no minimise box: a launcher's "Maximized"
// would stretch it over the screen, "Minimized" would start it as a bare taskbar
// button and "Hidden" would leave nothing to bring it back by. Windows may apply
// the launcher's show command to a process's first ShowWindow even when that
// asks for SW_SHOWNORMAL; a second call is taken as asked.
void MainWindow::ShowNormally() {
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    if (IsIconic(hwnd_) || IsZoomed(hwnd_) || !IsWindowVisible(hwnd_)) ShowWindow(hwnd_, SW_SHOWNORMAL);
}

void MainWindow::FocusAwayFrom(HWND control) {
    if (!hwnd_ || GetFocus() != control) return;
    HWND next = GetNextDlgTabItem(hwnd_, control, FALSE);
    SetFocus(next && next != control ? next : hwnd_);
}

}  // namespace gt3::app
