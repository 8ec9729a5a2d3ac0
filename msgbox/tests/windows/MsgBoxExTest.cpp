// MsgBoxEx against the real message box. The box is modal on the test thread, so a
// thread timer (dispatched by the box's own message loop) looks at it and
// presses OK; a second, slower one closes whatever is left.
#include "msgbox/MsgBoxEx.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "msgbox/Placement.h"
#include "msgbox/tests/windows/IconControl.h"
#include "registry/tests/support/Wine.h"

namespace gt3 {

void PrintTo(const ScreenPoint& p, std::ostream* os);  // beside the placement cases

namespace {

constexpr wchar_t kOwnerClass[] = L"GT3MsgBoxTestOwner";
constexpr wchar_t kPrompt[] = L"Logging Enabled\r\n\r\nReload Plugins or Restart Messenger";
constexpr int kBoxTextId = 0xFFFF;  // the message box's prompt control
constexpr UINT kInspectEveryMs = 30;
constexpr UINT kWatchdogAfterMs = 10000;
constexpr ScreenRect kOwnerRect{100, 80, 580, 440};  // off the screen's centre, where the system puts boxes
constexpr char kNoForeground[] =
    "Windows kept another program in the foreground (SetForegroundWindow's documented rules refused it to this "
    "test), and a box is placed as it is activated, which nothing promises a window in the background";

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

std::wstring TextOf(HWND window) {
    std::wstring text(GetWindowTextLengthW(window) + 1, L'\0');
    text.resize(GetWindowTextW(window, text.data(), static_cast<int>(text.size())));
    return text;
}

ScreenRect RectOf(HWND window) {
    RECT rc{};
    GetWindowRect(window, &rc);
    return {rc.left, rc.top, rc.right, rc.bottom};
}

// Callbacks are named functions: on x86 they must be CALLBACK (stdcall), which a
// lambda's function pointer is not.
BOOL CALLBACK CollectDialog(HWND window, LPARAM out) {
    if (ClassOf(window) == L"#32770") reinterpret_cast<std::vector<HWND>*>(out)->push_back(window);
    return TRUE;
}

std::vector<HWND> DialogsOfThread(DWORD threadId) {
    std::vector<HWND> found;
    EnumThreadWindows(threadId, CollectDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

// FALSE even for WM_INITDIALOG: setting the focus would activate the probe early.
INT_PTR CALLBACK InertDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// What the timer saw of the open box.
struct SeenBox {
    std::wstring caption, text;
    ScreenRect rect, parentRect;
    HWND parent = nullptr;
    HICON icon = nullptr;
    bool hasCancel = false;
};

std::optional<SeenBox> g_seen;

void CALLBACK InspectAndCloseBox(HWND, UINT, UINT_PTR timer, DWORD) {
    for (HWND box : DialogsOfThread(GetCurrentThreadId())) {
        if (!IsWindowVisible(box)) continue;
        KillTimer(nullptr, timer);
        SeenBox seen;
        seen.caption = TextOf(box);
        seen.text = TextOf(GetDlgItem(box, kBoxTextId));
        seen.rect = RectOf(box);
        seen.parent = GetParent(box);
        if (seen.parent != nullptr) seen.parentRect = RectOf(seen.parent);
        seen.icon = reinterpret_cast<HICON>(SendMessageW(gt3::test::IconControlOf(box), STM_GETICON, 0, 0));
        HWND cancel = GetDlgItem(box, IDCANCEL);
        seen.hasCancel = cancel != nullptr && IsWindowVisible(cancel);
        g_seen = std::move(seen);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        return;
    }
}

// Closes whatever box is still open once the time is up, so no test can hang.
bool g_watchdogFired = false;

void CALLBACK CloseLeftoverBoxes(HWND, UINT, UINT_PTR, DWORD) {
    g_watchdogFired = true;
    for (HWND box : DialogsOfThread(GetCurrentThreadId())) PostMessageW(box, WM_CLOSE, 0, 0);
}

struct ShowOutcome {
    std::int32_t result;
    std::optional<SeenBox> seen;
};

// Runs `show`, which opens a modal box, and looks at the box while it is open.
template <typename Show>
ShowOutcome InspectAndClose(Show show) {
    g_seen.reset();
    g_watchdogFired = false;
    const UINT_PTR inspector = SetTimer(nullptr, 0, kInspectEveryMs, InspectAndCloseBox);
    const UINT_PTR watchdog = SetTimer(nullptr, 0, kWatchdogAfterMs, CloseLeftoverBoxes);
    const std::int32_t result = show();
    KillTimer(nullptr, inspector);
    KillTimer(nullptr, watchdog);
    EXPECT_FALSE(g_watchdogFired) << "the box had to be closed by the watchdog";
    return {result, std::move(g_seen)};
}

ShowOutcome ShowAndClose(const std::wstring& title, std::int32_t buttons, std::int32_t xPos, std::int32_t yPos,
                         HICON icon, HWND owner) {
    return InspectAndClose([&] { return MsgBoxEx(kPrompt, buttons, title, xPos, yPos, icon, owner); });
}

struct HookRemover {
    void operator()(HHOOK hook) const { UnhookWindowsHookEx(hook); }
};
using TestHook = std::unique_ptr<std::remove_pointer_t<HHOOK>, HookRemover>;

TestHook InstallTestHook(HOOKPROC proc) {
    return TestHook(SetWindowsHookExW(WH_CBT, proc, nullptr, GetCurrentThreadId()));
}

// Opens a dialog-class window owned by `owner` at `at` and activates it, the
// moment a hook left armed would move it; returns where it ended up.
ScreenPoint ActivateProbeDialog(HWND owner, ScreenPoint at) {
    struct alignas(DWORD) Template {
        DLGTEMPLATE dialog;
        WORD menu, windowClass, title;
    } tmpl{};
    tmpl.dialog.style = WS_POPUP | WS_CAPTION;
    tmpl.dialog.cx = 80;
    tmpl.dialog.cy = 40;
    HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), &tmpl.dialog, owner, InertDialogProc, 0);
    EXPECT_NE(dialog, nullptr);
    SetWindowPos(dialog, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(dialog, SW_SHOW);
    EXPECT_EQ(GetActiveWindow(), dialog) << "the probe was never activated";
    const ScreenRect rect = RectOf(dialog);
    DestroyWindow(dialog);
    return {rect.left, rect.top};
}

class MsgBoxExTest : public testing::Test {
protected:
    void SetUp() override {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kOwnerClass;
        RegisterClassW(&wc);
        owner_ = CreateWindowExW(0, kOwnerClass, L"Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, kOwnerRect.left,
                                 kOwnerRect.top, kOwnerRect.right - kOwnerRect.left,
                                 kOwnerRect.bottom - kOwnerRect.top, nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(owner_, nullptr);
        // The box is placed when it is activated, and SetActiveWindow's documentation
        // promises no activation to a program in the background. Windows lets a
        // process take the foreground only under SetForegroundWindow's documented
        // conditions, which a run behind another program's window (a hosted runner's
        // console, say) may not meet; Wine grants every request.
        if (!SetForegroundWindow(owner_) || GetForegroundWindow() != owner_) {
            ASSERT_FALSE(gt3::test::UnderWine()) << "Wine refused the foreground";
            GTEST_SKIP() << kNoForeground;
        }
        SetActiveWindow(owner_);
        // A 32 x 32 icon of our own, so its handle cannot be a system icon's. In
        // colour, as the program's is: Wine's version 6 static control (this
        // program's manifest asks for it) sizes an icon by its colour bitmap and
        // refuses a monochrome one, which has none.
        const std::vector<BYTE> andMask(32 * 32 / 8, 0x00), colour(32 * 32 * 4, 0xA5);
        icon_ = CreateIcon(wc.hInstance, 32, 32, 1, 32, andMask.data(), colour.data());
        ASSERT_NE(icon_, nullptr);
    }
    void TearDown() override {
        if (owner_ != nullptr) DestroyWindow(owner_);
        if (icon_ != nullptr) DestroyIcon(icon_);
    }

    // The box is where the placement rule puts it over `over`.
    static void ExpectPlaced(const SeenBox& seen, const ScreenRect& over, std::int32_t xPos, std::int32_t yPos) {
        const auto expected = PlaceMessageBox(seen.rect, over, xPos, yPos);
        ASSERT_TRUE(expected.has_value());
        EXPECT_EQ(seen.rect.left, expected->x);
        EXPECT_EQ(seen.rect.top, expected->y);
    }

    HWND owner_ = nullptr;
    HICON icon_ = nullptr;
};

enum class ShownIcon { Custom, None, Warning };

struct ShowCase {
    const char* name;
    std::int32_t buttons;
    const wchar_t* title;
    std::int32_t xPos, yPos;
    bool withIcon;
    const wchar_t* caption;
    ShownIcon icon;
    bool hasCancel;
};

void PrintTo(const ShowCase& c, std::ostream* os) { *os << c.name; }

const ShowCase kShowCases[] = {
    {"CentredWithIcon", MB_OK, L"Glimtrove 3", -1, -1, true, L"Glimtrove 3", ShownIcon::Custom, false},
    {"ExplicitXCentredY", MB_OK, L"Glimtrove 3", 10, -1, true, L"Glimtrove 3", ShownIcon::Custom, false},
    {"CentredXExplicitY", MB_OK, L"Glimtrove 3", -1, 20, true, L"Glimtrove 3", ShownIcon::Custom, false},
    {"BothExplicit", MB_OK, L"Glimtrove 3", 30, 40, true, L"Glimtrove 3", ShownIcon::Custom, false},
    // Without an icon handle the style word is passed on untouched, and the box still placed.
    {"NoIconAddsNoIconFlag", MB_OK, L"Glimtrove 3", -1, -1, false, L"Glimtrove 3", ShownIcon::None, false},
    {"NoIconKeepsCallersIcon", MB_ICONWARNING, L"Glimtrove 3", -1, -1, false, L"Glimtrove 3", ShownIcon::Warning,
     false},
    // The information flag is OR-ed in: the caller's buttons stay.
    {"IconKeepsCallersButtons", MB_OKCANCEL | MB_ICONERROR, L"Glimtrove 3", -1, -1, true, L"Glimtrove 3",
     ShownIcon::Custom, true},
    {"SentinelBecomesAppTitle", MB_OK, L"SWVB_DEFAULT_TO_APP_TITLE", -1, -1, true, L"msgbox_windows_tests",
     ShownIcon::Custom, false},
    {"LowerCaseSentinelKept", MB_OK, L"swvb_default_to_app_title", -1, -1, true, L"swvb_default_to_app_title",
     ShownIcon::Custom, false},
};

class MsgBoxExShows : public MsgBoxExTest, public testing::WithParamInterface<ShowCase> {};

TEST_P(MsgBoxExShows, BoxAsRequested) {
    const ShowCase& c = GetParam();
    const auto [result, seen] = ShowAndClose(c.title, c.buttons, c.xPos, c.yPos, c.withIcon ? icon_ : nullptr, owner_);
    EXPECT_EQ(result, IDOK);
    ASSERT_TRUE(seen.has_value()) << "no box appeared";
    EXPECT_EQ(seen->caption, c.caption);
    EXPECT_EQ(seen->text, kPrompt);
    EXPECT_EQ(seen->parent, owner_);
    ExpectPlaced(*seen, seen->parentRect, c.xPos, c.yPos);
    EXPECT_EQ(seen->hasCancel, c.hasCancel);
    switch (c.icon) {
        case ShownIcon::Custom: EXPECT_EQ(seen->icon, icon_); break;
        case ShownIcon::None: EXPECT_EQ(seen->icon, nullptr); break;
        case ShownIcon::Warning: EXPECT_EQ(seen->icon, LoadIconA(nullptr, IDI_WARNING)); break;
    }
}

INSTANTIATE_TEST_SUITE_P(MsgBoxEx, MsgBoxExShows, testing::ValuesIn(kShowCases),
                         [](const testing::TestParamInfo<ShowCase>& info) { return info.param.name; });

TEST_F(MsgBoxExTest, ActiveWindowIsTheDefaultOwner) {
    ASSERT_EQ(GetActiveWindow(), owner_);
    const auto [result, seen] = ShowAndClose(L"Glimtrove 3", MB_OK, -1, -1, icon_, nullptr);
    ASSERT_TRUE(seen.has_value());
    EXPECT_EQ(seen->parent, owner_);
    ExpectPlaced(*seen, seen->parentRect, -1, -1);
}

TEST_F(MsgBoxExTest, OwnerlessBoxCentresOnWorkArea) {
    DestroyWindow(std::exchange(owner_, nullptr));
    ASSERT_EQ(GetActiveWindow(), nullptr);
    const auto [result, seen] = ShowAndClose(L"Glimtrove 3", MB_OK, 10, -1, icon_, nullptr);
    ASSERT_TRUE(seen.has_value());
    EXPECT_EQ(seen->parent, nullptr);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ASSERT_TRUE(GetMonitorInfoW(MonitorFromPoint({seen->rect.left, seen->rect.top}, MONITOR_DEFAULTTONEAREST),
                                &monitor));
    const RECT& work = monitor.rcWork;
    ExpectPlaced(*seen, {work.left, work.top, work.right, work.bottom}, 10, -1);
    EXPECT_EQ(seen->icon, icon_);
}

// An owner hanging half off the screen's right edge: the box, centred on it,
// is moved back into the work area, against its right edge; still centred
// vertically.
TEST_F(MsgBoxExTest, OwnerHalfOffTheScreenKeepsTheBoxOnIt) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ASSERT_TRUE(GetMonitorInfoW(MonitorFromWindow(owner_, MONITOR_DEFAULTTONEAREST), &monitor));
    const RECT& work = monitor.rcWork;
    const int width = kOwnerRect.right - kOwnerRect.left;
    ASSERT_TRUE(SetWindowPos(owner_, nullptr, work.right - width / 2, kOwnerRect.top, 0, 0,
                             SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE));
    const auto [result, seen] = ShowAndClose(L"Glimtrove 3", MB_OK, -1, -1, icon_, owner_);
    ASSERT_TRUE(seen.has_value());
    EXPECT_EQ(seen->rect.right, work.right);
    EXPECT_GE(seen->rect.left, work.left);
    const auto centred = PlaceMessageBox(seen->rect, seen->parentRect, -1, -1);
    ASSERT_TRUE(centred.has_value());
    EXPECT_EQ(seen->rect.top, centred->y);
    EXPECT_EQ(seen->icon, icon_);
}

// A minimized owner: the box opens where the system puts the same box without
// the hook, on a monitor, and still shows the icon.
TEST_F(MsgBoxExTest, MinimizedOwnerLeavesTheBoxWhereTheSystemPutsIt) {
    ShowWindow(owner_, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(owner_));
    const auto system = InspectAndClose(
        [&] { return MessageBoxW(owner_, kPrompt, L"Glimtrove 3", MB_OK | MB_ICONINFORMATION); });
    ASSERT_TRUE(system.seen.has_value());
    const auto [result, seen] = ShowAndClose(L"Glimtrove 3", MB_OK, -1, -1, icon_, owner_);
    ASSERT_TRUE(seen.has_value());
    EXPECT_EQ(seen->rect.left, system.seen->rect.left);
    EXPECT_EQ(seen->rect.top, system.seen->rect.top);
    EXPECT_EQ(seen->icon, icon_);
}

// A window of another class activated while the box is being created (here by
// an older hook of the thread) is left alone, and the hook still waits for the box.
HWND g_activateDuringCreation = nullptr;
bool g_otherWasActivated = false;

LRESULT CALLBACK ActivateOtherWhileBoxIsCreated(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && g_activateDuringCreation != nullptr &&
        ClassOf(reinterpret_cast<HWND>(wParam)) == L"#32770") {
        HWND other = std::exchange(g_activateDuringCreation, nullptr);
        ShowWindow(other, SW_SHOW);
        SetActiveWindow(other);
        g_otherWasActivated = GetActiveWindow() == other;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(MsgBoxExTest, OtherWindowActivatedFirstIsNotMoved) {
    constexpr ScreenRect kOtherRect{20, 20, 170, 120};
    HWND other = CreateWindowExW(0, kOwnerClass, L"Other", WS_POPUP | WS_CAPTION, kOtherRect.left, kOtherRect.top,
                                 kOtherRect.right - kOtherRect.left, kOtherRect.bottom - kOtherRect.top, owner_,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(other, nullptr);
    g_activateDuringCreation = other;
    g_otherWasActivated = false;
    TestHook hook = InstallTestHook(ActivateOtherWhileBoxIsCreated);
    ASSERT_TRUE(hook);

    const auto [result, seen] = ShowAndClose(L"Glimtrove 3", MB_OK, -1, -1, icon_, owner_);
    hook.reset();

    EXPECT_TRUE(g_otherWasActivated) << "the other window was never activated";
    const ScreenRect otherNow = RectOf(other);
    EXPECT_EQ(otherNow.left, kOtherRect.left);
    EXPECT_EQ(otherNow.top, kOtherRect.top);
    DestroyWindow(other);
    ASSERT_TRUE(seen.has_value());
    ExpectPlaced(*seen, seen->parentRect, -1, -1);
    EXPECT_EQ(seen->icon, icon_);
}

TEST_F(MsgBoxExTest, NoHookRemainsAfterTheBoxCloses) {
    const auto first = ShowAndClose(L"Glimtrove 3", MB_OK, -1, -1, icon_, owner_);
    ASSERT_TRUE(first.seen.has_value());
    ExpectPlaced(*first.seen, first.seen->parentRect, -1, -1);

    EXPECT_EQ(ActivateProbeDialog(owner_, {5, 5}), (ScreenPoint{5, 5}));

    const auto second = ShowAndClose(L"Glimtrove 3", MB_OK, 30, 40, icon_, owner_);
    ASSERT_TRUE(second.seen.has_value());
    EXPECT_EQ(second.seen->rect.left, 30);
    EXPECT_EQ(second.seen->rect.top, 40);
    EXPECT_EQ(second.seen->icon, icon_);
}

// The box can fail to come up; its hook must not stay armed for the next dialog.
LRESULT CALLBACK VetoDialogCreation(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && ClassOf(reinterpret_cast<HWND>(wParam)) == L"#32770") return 1;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(MsgBoxExTest, HookRemovedWhenBoxCannotBeCreated) {
    {
        const TestHook veto = InstallTestHook(VetoDialogCreation);
        ASSERT_TRUE(veto);
        const auto vetoed = ShowAndClose(L"Glimtrove 3", MB_OK, -1, -1, icon_, owner_);
        EXPECT_FALSE(vetoed.seen.has_value());
        EXPECT_NE(vetoed.result, IDOK);
    }
    EXPECT_EQ(ActivateProbeDialog(owner_, {5, 5}), (ScreenPoint{5, 5}));

    const auto later = ShowAndClose(L"Glimtrove 3", MB_OK, -1, -1, icon_, owner_);
    ASSERT_TRUE(later.seen.has_value());
    ExpectPlaced(*later.seen, later.seen->parentRect, -1, -1);
    EXPECT_EQ(later.seen->icon, icon_);
}

TEST_F(MsgBoxExTest, HookRemovedWhenOwnerIsInvalid) {
    HWND invalid = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7FFF0));
    ASSERT_FALSE(IsWindow(invalid));
    const auto failed = ShowAndClose(L"Glimtrove 3", MB_OK, -1, -1, icon_, invalid);
    EXPECT_FALSE(failed.seen.has_value());
    EXPECT_NE(failed.result, IDOK);  // 0 on Windows, -1 under Wine
    EXPECT_EQ(ActivateProbeDialog(owner_, {5, 5}), (ScreenPoint{5, 5}));
}

}  // namespace
}  // namespace gt3
