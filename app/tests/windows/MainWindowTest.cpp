// The real window under Wine: the form runs on its own user-interface thread of
// this process, against the platform registry, and is driven by window messages
// as a user's clicks and keys would drive it. One more test starts GT3ErrLog.exe.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <fstream>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <sstream>
#include <thread>
#include <string>
#include <vector>

#include "app/tests/windows/AccessibleWindow.h"
#include "app/tests/windows/ShippedExe.h"
#include "app/tests/windows/WindowUnderTest.h"
#include "registry/Win32RegistryStore.h"
#include "registry/tests/support/ForwardingStore.h"
#include "registry/tests/support/RegExe.h"
#include "registry/tests/support/Wine.h"

namespace gt3::app::test {
namespace {

using layout::Control;
using gt3::test::ProgramPath;
using namespace std::chrono_literals;

constexpr char kProduct[] = "SOFTWARE\\Quorvane\\Glimtrove";

// --- Registry seeding -----------------------------------------------------------

void RemoveProduct() { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kProduct); }

void PutAccount(const std::string& name, DWORD type = REG_NONE, const std::string& data = {}) {
    HKEY key = nullptr;
    const std::string path = std::string(kProduct) + "\\" + name;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    if (type != REG_NONE)
        RegSetValueExA(key, "Log", 0, type, reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
    RegCloseKey(key);
}

void PutLog(const std::string& name, const char* text) { PutAccount(name, REG_SZ, std::string(text) + '\0'); }

struct StoredValue {
    DWORD type = 0;
    std::string data;
    bool found = false;
};

StoredValue ReadLog(const std::string& name) {
    StoredValue value;
    char data[64] = {};
    DWORD size = sizeof data;
    const std::string path = std::string(kProduct) + "\\" + name;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, path.c_str(), "Log", RRF_RT_ANY | RRF_NOEXPAND, &value.type, data, &size) ==
        ERROR_SUCCESS) {
        value.found = true;
        value.data.assign(data, size);
    }
    return value;
}

// Counts the broadcast as any top-level window of another program would see it.
class BroadcastReceiver {
public:
    BroadcastReceiver() {
        id_ = RegisterWindowMessageA("MessengerPlus_PluginChange");
        WNDCLASSW wc{};
        wc.lpfnWndProc = &BroadcastReceiver::Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"GT3ErrLogTest.Receiver";
        RegisterClassW(&wc);
        // Top level and hidden: broadcasts reach it, message-only windows they would not.
        hwnd_ = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, this);
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~BroadcastReceiver() { DestroyWindow(hwnd_); }

    struct Received {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    UINT id() const { return id_; }
    const std::vector<Received>& received() const { return received_; }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<BroadcastReceiver*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && message == self->id_) {
            self->received_.push_back({message, wParam, lParam});
            return 0;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }

    UINT id_ = 0;
    HWND hwnd_ = nullptr;
    std::vector<Received> received_;
};

UINT Dpi(HWND hwnd) {
    HDC dc = GetDC(hwnd);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(hwnd, dc);
    return static_cast<UINT>(dpi);
}

constexpr char kOtherDpisNeedWine[] =
    "the runs at other DPIs need Wine prefixes of their own; on Windows, set the display's scale instead";

int Twips(int twips, HWND hwnd) { return layout::TwipsToPixels(twips, static_cast<std::int32_t>(Dpi(hwnd))); }

// The controls hidden at load, which the window makes at the first pick.
constexpr Control kMadeAtFirstPick[] = {Control::lblLog, Control::cmdEnable, Control::cmdDisable, Control::cmdReload};

// The outer height for a designed one under the window's own frame at `dpi`:
// the design's wherever the frame leaves the lowest control room, as Wine's
// default frame does; more under a larger frame, as Windows 10's may be.
int Outer(int twips, HWND hwnd, int dpi) {
    RECT outer{}, client{};
    GetWindowRect(hwnd, &outer);
    GetClientRect(hwnd, &client);
    return layout::OuterHeight(twips, (outer.bottom - outer.top) - client.bottom, dpi);
}
int Outer(int twips, HWND hwnd) { return Outer(twips, hwnd, static_cast<int>(Dpi(hwnd))); }

// The tests share the machine's registry key and the broadcast: one at a time,
// also across the processes ctest runs side by side.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        lock_ = CreateMutexW(nullptr, FALSE, L"GT3ErrLog.AppWindowTests");
        ASSERT_EQ(WaitForSingleObject(lock_, 280000) & ~WAIT_ABANDONED, WAIT_OBJECT_0);
        RemoveProduct();
    }
    void TearDown() override {
        form.reset();
        RemoveProduct();
        ReleaseMutex(lock_);
        CloseHandle(lock_);
    }
    void Start(RegistryStore& store = PlatformRegistryStore()) { form.emplace(store); }

    // Checks the next box's owner, text, caption, placement and icon, and that
    // it closed (the watcher closes it).
    void ExpectBox(const std::wstring& prompt) {
        const std::optional<SeenBox> box = form->WaitForBox();
        ASSERT_TRUE(box) << "no message box";
        EXPECT_TRUE(PumpUntil([&] { return !IsWindow(box->hwnd); })) << "the box did not close";
        EXPECT_EQ(box->owner, form->hwnd());
        EXPECT_EQ(box->text, prompt);
        EXPECT_EQ(box->caption, L"Glimtrove 3");

        const RECT& b = box->rect;
        RECT w{};
        GetWindowRect(form->hwnd(), &w);
        EXPECT_NEAR((b.left + b.right) / 2.0, (w.left + w.right) / 2.0, 1.0) << "centred across the window";
        EXPECT_NEAR((b.top + b.bottom) / 2.0, (w.top + w.bottom) / 2.0, 1.0) << "centred over the window";

        const auto windowIcon = reinterpret_cast<HICON>(SendMessageW(form->hwnd(), WM_GETICON, ICON_BIG, 0));
        ASSERT_NE(windowIcon, nullptr);
        EXPECT_EQ(box->icon, windowIcon);
    }

    gt3::test::UnwatchedStore unwatched{PlatformRegistryStore()};
    std::optional<WindowThread> form;

private:
    HANDLE lock_ = nullptr;
};

// --- Tests --------------------------------------------------------------------------

TEST_F(MainWindowTest, OpensCollapsedAndCentredWithTheAccountsListed) {
    PutLog("zed@example.com", "1");
    PutAccount("Nobody");
    PutAccount("nobody.else@example.com");
    PutLog("amy@example.com", "0");
    Start();
    HWND window = form->hwnd();
    ASSERT_NE(window, nullptr);

    EXPECT_EQ(Text(window), L"Glimtrove 3  -  Error Log Enabler");
    EXPECT_EQ(form->Items(), (std::vector<std::wstring>{L"amy@example.com", L"nobody.else@example.com",
                                                        L"zed@example.com"}));
    EXPECT_EQ(SendMessageW(form->Child(Control::comEmail), CB_GETCURSEL, 0, 0), CB_ERR) << "nothing selected";
    // Ten rows of list: common controls 6 take the count from CB_SETMINVISIBLE
    // (30 unless set), not from the combo box's window height.
    EXPECT_EQ(SendMessageW(form->Child(Control::comEmail), CB_GETMINVISIBLE, 0, 0), MainWindow::kComboDropItems);
    EXPECT_EQ(form->HeightPixels(), Outer(2850, window));

    RECT client{}, screen{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, Twips(6120, window));
    RECT outer{};
    GetWindowRect(window, &outer);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
    screen = monitor.rcMonitor;
    EXPECT_NEAR((outer.left + outer.right) / 2.0, (screen.left + screen.right) / 2.0, 1.0);
    EXPECT_NEAR((outer.top + outer.bottom) / 2.0, (screen.top + screen.bottom) / 2.0, 1.0);

    const LONG style = GetWindowLongW(window, GWL_STYLE), exStyle = GetWindowLongW(window, GWL_EXSTYLE);
    EXPECT_TRUE(exStyle & WS_EX_TOOLWINDOW);
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    EXPECT_TRUE(style & WS_SYSMENU);

    EXPECT_TRUE(form->Visible(Control::imgLogo));
    EXPECT_TRUE(form->Visible(Control::lblInfo));
    EXPECT_EQ(form->Text(Control::lblInfo), L"Select your Email Address from below");
    // What shows only after a pick is not made before it.
    for (Control late : kMadeAtFirstPick) EXPECT_EQ(form->Child(late), nullptr) << static_cast<int>(late);

    // The logo at its natural size, the icon at its own.
    RECT logo{};
    GetWindowRect(form->Child(Control::imgLogo), &logo);
    EXPECT_EQ(logo.right - logo.left, 220);
    EXPECT_EQ(logo.bottom - logo.top, 82);
    const auto icon = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0));
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_SMALL, 0)), icon);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP colour{};
    GetObjectW(info.hbmColor, sizeof colour, &colour);
    EXPECT_EQ(colour.bmWidth, 35);
    EXPECT_EQ(colour.bmHeight, 38);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
}

TEST_F(MainWindowTest, EmptyProductKeyGivesAnEmptyListAndNoMessage) {
    Start();
    EXPECT_TRUE(form->Items().empty());
    EXPECT_EQ(form->HeightPixels(), Outer(2850, form->hwnd()));
    PumpUntil([] { return false; }, 300ms);
    EXPECT_TRUE(form->TakeBoxes().empty());
}

TEST_F(MainWindowTest, PicksShowTheStoredStateAndGrowTheWindowOnce) {
    PutLog("on@example.com", "1");
    PutLog("off@example.com", "0");
    PutLog("ten@example.com", "10");
    PutLog("blank@example.com", " 1");
    PutAccount("unset@example.com");
    PutAccount("dword1@example.com", REG_DWORD, std::string("\1\0\0\0", 4));
    PutAccount("dword0@example.com", REG_DWORD, std::string("\0\0\0\0", 4));
    Start();
    HWND window = form->hwnd();

    // Shown says which controls show and, for on and off, which switch is
    // enabled; an unreadable value hides both switches and keeps their states.
    const std::wstring error = L"Error Reading Settings\r\n\r\nTry Reinstalling Glimtrove 3";
    const struct {
        const wchar_t* account;
        Shown shown;
        std::wstring label;
        bool enableEnabled, disableEnabled;
    } picks[] = {
        {L"unset@example.com", Shown::Unreadable, error, true, true},
        {L"off@example.com", Shown::Off, L"Logging Disabled", true, false},
        {L"blank@example.com", Shown::Unreadable, error, true, false},  // enabled states as before
        {L"on@example.com", Shown::On, L"Logging Enabled", false, true},
        {L"dword0@example.com", Shown::Off, L"Logging Disabled", true, false},
        {L"ten@example.com", Shown::On, L"Logging Enabled", false, true},
        {L"dword1@example.com", Shown::On, L"Logging Enabled", false, true},
    };
    for (const auto& pick : picks) {
        SCOPED_TRACE(pick.account);
        form->Pick(pick.account);
        EXPECT_EQ(form->State(), pick.shown) << Name(form->State());
        EXPECT_EQ(form->Text(Control::lblLog), pick.label);
        EXPECT_EQ(form->Enabled(Control::cmdEnable), pick.enableEnabled);
        EXPECT_EQ(form->Enabled(Control::cmdDisable), pick.disableEnabled);
        HWND label = form->Child(Control::lblLog);
        EXPECT_EQ(form->HeightPixels(), Outer(4500, window));

        // The label fits its text and stays centred on the window.
        RECT labelRect{}, client{};
        GetWindowRect(label, &labelRect);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&labelRect), 2);
        GetClientRect(window, &client);
        const auto& designed = layout::Design(Control::lblLog).rect;
        EXPECT_NEAR((labelRect.left + labelRect.right) / 2.0,
                    Twips(designed.left, window) + Twips(designed.width, window) / 2.0, 2.0);
        EXPECT_EQ(labelRect.top, Twips(designed.top, window));
        const int lines = pick.shown == Shown::Unreadable ? 3 : 1;
        EXPECT_GT(labelRect.bottom - labelRect.top, lines * 10);
        EXPECT_LT(labelRect.bottom - labelRect.top, lines * 24);
        EXPECT_LE(labelRect.right, client.right);
    }
    EXPECT_TRUE(form->TakeBoxes().empty()) << "a pick shows no message";
}

// The state label and the buttons are made at the first pick, as designed, and
// kept: a refresh back to the state at load hides the same controls, and the
// next pick shows them again, one of each.
TEST_F(MainWindowTest, TheFirstPickMakesTheHiddenControlsOnceAndTheyStay) {
    PutLog("amy@example.com", "1");
    PutLog("bob@example.com", "0");
    Start();
    form->Pick(L"amy@example.com");
    ASSERT_EQ(form->State(), Shown::On) << Name(form->State());
    std::vector<HWND> made;
    for (Control late : kMadeAtFirstPick) made.push_back(form->Child(late));
    EXPECT_EQ(form->Text(Control::cmdEnable), L"&Enable Logging");
    EXPECT_EQ(form->Text(Control::cmdDisable), L"&Disable Logging");
    EXPECT_EQ(form->Text(Control::cmdReload), L"Reload Plugins");
    const int windows = form->WindowCount();

    RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string(kProduct) + "\\amy@example.com").c_str());
    // The window collapses last, once the refresh has set the controls as at load.
    const int collapsed = Outer(2850, form->hwnd());
    ASSERT_TRUE(PumpUntil([&] { return form->State() == Shown::NotPicked && form->HeightPixels() == collapsed; }))
        << Name(form->State());
    EXPECT_EQ(form->Text(Control::lblLog), L"Logging Disabled");
    for (Control late : kMadeAtFirstPick) EXPECT_TRUE(form->Enabled(late)) << static_cast<int>(late);

    form->Pick(L"bob@example.com");
    EXPECT_EQ(form->State(), Shown::Off) << Name(form->State());
    std::vector<HWND> shown;
    for (Control late : kMadeAtFirstPick) shown.push_back(form->Child(late));
    EXPECT_EQ(shown, made) << "made again";
    EXPECT_EQ(form->WindowCount(), windows) << "one of each";
    ExpectFoundAndNamed(form->hwnd());
}

TEST_F(MainWindowTest, SwitchButtonsWriteTheValueShowTheStateAndConfirm) {
    PutLog("me@example.com", "0");
    Start();
    form->Pick(L"me@example.com");

    form->Press(Control::cmdEnable);
    ExpectBox(L"Logging Enabled\r\n\r\nReload Plugins or Restart Messenger");
    EXPECT_EQ(form->Text(Control::lblLog), L"Logging Enabled");
    EXPECT_FALSE(form->Enabled(Control::cmdEnable));
    EXPECT_TRUE(form->Enabled(Control::cmdDisable));
    StoredValue stored = ReadLog("me@example.com");
    EXPECT_EQ(stored.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(stored.data, std::string("1\0", 2));

    form->Press(Control::cmdDisable);
    ExpectBox(L"Logging Disabled\r\n\r\nReload Plugins or Restart Messenger");
    EXPECT_EQ(form->Text(Control::lblLog), L"Logging Disabled");
    EXPECT_TRUE(form->Enabled(Control::cmdEnable));
    EXPECT_FALSE(form->Enabled(Control::cmdDisable));
    stored = ReadLog("me@example.com");
    EXPECT_EQ(stored.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(stored.data, std::string("0\0", 2));
}

TEST_F(MainWindowTest, AWriteToARemovedAccountIsReportedAndChangesNothing) {
    PutLog("gone@example.com", "0");
    Start(unwatched);  // a window that follows the registry would go back to its state at load
    form->Pick(L"gone@example.com");
    RemoveProduct();

    form->Press(Control::cmdEnable);
    ExpectBox(L"Error Saving Settings\r\n\r\nTry Running as Administrator");
    EXPECT_EQ(form->Text(Control::lblLog), L"Logging Disabled");
    EXPECT_TRUE(form->Enabled(Control::cmdEnable));
    EXPECT_FALSE(form->Enabled(Control::cmdDisable));
    EXPECT_FALSE(ReadLog("gone@example.com").found) << "no key was created";
}

TEST_F(MainWindowTest, ReloadBroadcastsTheRegisteredMessageOnEveryPress) {
    PutLog("me@example.com", "1");
    BroadcastReceiver receiver;
    Start();
    form->Pick(L"me@example.com");

    for (int press = 1; press <= 2; ++press) {
        form->Press(Control::cmdReload);
        ExpectBox(L"Plugins Successfully Reloaded");
        EXPECT_TRUE(PumpUntil([&] { return receiver.received().size() >= static_cast<std::size_t>(press); }));
    }
    PumpUntil([] { return false; }, 300ms);  // nothing more arrives
    ASSERT_EQ(receiver.received().size(), 2u);
    for (const auto& r : receiver.received()) {
        EXPECT_EQ(r.message, receiver.id());
        EXPECT_EQ(r.wParam, 0u);
        EXPECT_EQ(r.lParam, 0);
    }
    EXPECT_NE(receiver.id(), 0u);
}

TEST_F(MainWindowTest, AccessKeysAndTabWorkFromTheKeyboard) {
    PutLog("me@example.com", "0");
    Start();
    form->Pick(L"me@example.com");

    // Alt+E: the mnemonic of "&Enable Logging".
    PostMessageW(form->hwnd(), WM_SYSCHAR, L'e', 1 << 29);
    ExpectBox(L"Logging Enabled\r\n\r\nReload Plugins or Restart Messenger");
    EXPECT_EQ(ReadLog("me@example.com").data, std::string("1\0", 2));

    PostMessageW(form->hwnd(), WM_SYSCHAR, L'd', 1 << 29);
    ExpectBox(L"Logging Disabled\r\n\r\nReload Plugins or Restart Messenger");
    EXPECT_EQ(ReadLog("me@example.com").data, std::string("0\0", 2));

    // Tab walks the controls that can take the focus, in tab order: the combo, the
    // one enabled switch button, reload, and round again.
    auto focus = [&] {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(form->threadId(), &info);
        return info.hwndFocus;
    };
    // Each press moved the focus off the button it disabled: it is now on reload.
    ASSERT_TRUE(PumpUntil([&] { return focus() == form->Child(Control::cmdReload); }));
    std::vector<HWND> visited;
    for (int i = 0; i < 4; ++i) {
        HWND from = focus();
        PostMessageW(from, WM_KEYDOWN, VK_TAB, 0);
        PumpUntil([&] { return focus() != from; }, 2s);
        visited.push_back(focus());
    }
    const std::vector<HWND> expected{form->Child(Control::comEmail), form->Child(Control::cmdEnable),
                                     form->Child(Control::cmdReload), form->Child(Control::comEmail)};
    EXPECT_EQ(visited, expected);
}

// The window follows changes that another process (reg.exe, in the 32-bit view
// where a 32-bit program reads and writes) makes while it is open: the picked
// account's Log, accounts added and deleted with the pick kept, and the picked
// account deleted, which brings back the state at load.
TEST_F(MainWindowTest, WindowFollowsChangesThatAnotherProcessMakes) {
    using gt3::test::RegView;
    PutLog("amy@example.com", "1");
    PutLog("zed@example.com", "1");
    Start();
    form->Pick(L"amy@example.com");
    const auto reg = [](const std::string& command, const char* account, const char* rest) {
        gt3::test::RegExe(command + " HKLM\\SOFTWARE\\Quorvane\\Glimtrove\\" + account + rest, RegView::k32);
    };
    reg("add", "amy@example.com", " /v Log /d 0 /f");
    EXPECT_TRUE(PumpUntil([&] { return form->State() == Shown::Off; })) << Name(form->State());

    reg("add", "bob@example.com", " /v Log /d 1 /f");
    reg("delete", "zed@example.com", " /f");
    const std::vector<std::wstring> listed{L"amy@example.com", L"bob@example.com"};
    EXPECT_TRUE(PumpUntil([&] { return form->Items() == listed; }));
    EXPECT_EQ(form->Text(Control::comEmail), L"amy@example.com");
    EXPECT_EQ(form->State(), Shown::Off);

    reg("delete", "amy@example.com", " /f");
    // The window collapses last: this test's thread sees the controls hidden before.
    const int collapsed = Outer(2850, form->hwnd());
    EXPECT_TRUE(PumpUntil([&] { return form->State() == Shown::NotPicked && form->HeightPixels() == collapsed; }))
        << Name(form->State());
    EXPECT_EQ(form->Items(), std::vector<std::wstring>{L"bob@example.com"});
    EXPECT_EQ(form->Text(Control::comEmail), L"");
    EXPECT_TRUE(form->TakeBoxes().empty()) << "a refresh shows no message";
}

// The path, not the key: the product key renamed away (regedit's Rename) and
// made again is followed, and so is the pick when its account is made again in
// another case, in one burst.
TEST_F(MainWindowTest, WindowFollowsThePathAndKeepsThePickWhateverItsCase) {
    PutLog("alice@example.com", "1");
    PutLog("bob@example.com", "0");
    Start();
    form->Pick(L"alice@example.com");
    ASSERT_EQ(form->State(), Shown::On);

    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorvane\\Glimtrove\\alice@example.com");
    PutLog("ALICE@example.com", "0");
    const std::vector<std::wstring> respelt{L"ALICE@example.com", L"bob@example.com"};
    EXPECT_TRUE(PumpUntil([&] { return form->Items() == respelt && form->State() == Shown::Off; }, 5s))
        << Name(form->State());
    EXPECT_EQ(form->Text(Control::comEmail), L"ALICE@example.com");

    constexpr char kRenamed[] = "SOFTWARE\\Quorvane\\Glimtrove.old";
    HKEY product = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProduct, 0, KEY_ALL_ACCESS, &product), ERROR_SUCCESS);
    const LONG renamed = RegRenameKey(product, nullptr, L"Glimtrove.old");
    RegCloseKey(product);
    ASSERT_EQ(renamed, ERROR_SUCCESS);
    PutLog("carol@example.com", "1");
    EXPECT_TRUE(PumpUntil([&] { return form->Items() == std::vector<std::wstring>{L"carol@example.com"}; }, 5s));
    // Inside the new key: heard only by a watch that moved to it.
    PutLog("dave@example.com", "1");
    const std::vector<std::wstring> both{L"carol@example.com", L"dave@example.com"};
    EXPECT_TRUE(PumpUntil([&] { return form->Items() == both; }, 5s)) << "the new key is not watched";
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kRenamed);
}

// Counts the keys it opens, the platform watch's among them (the watch opens its
// keys through this store), and opens each without the access bits `withheld`.
class OpenCountingStore : public gt3::test::ForwardingStore {
public:
    explicit OpenCountingStore(RegistryStore& inner, std::uint32_t withheld = 0)
        : ForwardingStore(inner), withheld_(withheld) {}
    RegStatus OpenKey(RegHandle key, const char* subKey, std::uint32_t options, std::uint32_t accessMask,
                      RegHandle* result) override {
        ++opens;
        return inner_.OpenKey(key, subKey, options, accessMask & ~withheld_, result);
    }
    std::unique_ptr<KeyWatch> WatchKey(RegHandle key, const char* path, std::function<void()> changed) override {
        return WatchPlatformKey(*this, key, path, std::move(changed));
    }
    std::atomic<int> opens{0};

private:
    const std::uint32_t withheld_;
};

// A watch that cannot be placed never blocks the loop: placing it ends at once,
// unplaced, after a few opens; the window answers at once, and still follows the
// registry, later, on its rewatch timer.
TEST_F(MainWindowTest, AWatchThatCannotBeArmedLeavesTheWindowResponsive) {
    PutLog("amy@example.com", "1");
    // On a thread of its own, so that a watch that spins fails here rather than
    // hanging the test; the store outlives a thread that never ends.
    // Keys opened without KEY_NOTIFY: the watch opens every level, and can arm none.
    auto store = std::make_shared<OpenCountingStore>(PlatformRegistryStore(), access::kNotify);
    auto placed = std::make_shared<std::atomic<int>>(-1);
    std::thread([store, placed] {
        const auto watch = store->WatchKey(root::kLocalMachine, kProduct, [] {});
        *placed = watch && watch->Placed() ? 1 : 0;
    }).detach();
    ASSERT_TRUE(PumpUntil([&] { return *placed >= 0; }, 1s)) << "placing the watch does not end";
    EXPECT_EQ(*placed, 0);
    EXPECT_LE(store->opens, 10) << "rounds";

    Start(*store);
    ASSERT_TRUE(form->created());
    const int opened = store->opens;
    for (int i = 0; i < 5; ++i) {
        DWORD_PTR result = 0;
        EXPECT_TRUE(SendMessageTimeoutW(form->hwnd(), WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result)) << "no answer";
        Sleep(200);
    }
    EXPECT_LE(store->opens - opened, 10) << "the watch keeps trying";
    PutLog("bob@example.com", "0");
    const std::vector<std::wstring> listed{L"amy@example.com", L"bob@example.com"};
    EXPECT_TRUE(PumpUntil([&] { return form->Items() == listed; }, 10s)) << "not checked again on the timer";
}

// A watch whose event is no handle at all: every wait for it fails.
class FailingWaitStore final : public gt3::test::ForwardingStore {
public:
    using ForwardingStore::ForwardingStore;
    std::unique_ptr<KeyWatch> WatchKey(RegHandle, const char*, std::function<void()>) override {
        ++watches;
        struct NoHandle final : KeyWatch {
            std::vector<std::uintptr_t> Events() const override { return {0x7FFFFFF0u}; }
            void Signalled(std::uintptr_t) override {}
        };
        return std::make_unique<NoHandle>();
    }
    std::atomic<int> watches{0};
};

// CPU time the thread has used, in milliseconds.
double ThreadCpuMs(DWORD threadId) {
    const HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, threadId);
    FILETIME created{}, ended{}, kernel{}, user{};
    const BOOL got = thread && GetThreadTimes(thread, &created, &ended, &kernel, &user);
    if (thread) CloseHandle(thread);
    if (!got) return 0;
    const auto ms = [](const FILETIME& t) { return (double(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) / 1e4; };
    return ms(kernel) + ms(user);
}

// A wait that fails turns into a plain message loop, not a busy one: the window
// answers, uses next to no time while idle, watches again on its rewatch timer
// and refreshes then.
TEST_F(MainWindowTest, AFailedWaitFallsBackToAPlainMessageLoop) {
    FailingWaitStore store(PlatformRegistryStore());
    PutLog("amy@example.com", "1");
    Start(store);
    ASSERT_TRUE(form->created());
    const double before = ThreadCpuMs(form->threadId());
    for (int i = 0; i < 5; ++i) {
        DWORD_PTR result = 0;
        EXPECT_TRUE(SendMessageTimeoutW(form->hwnd(), WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result)) << "no answer";
        Sleep(200);
    }
    // A loop that waits again at once uses the whole second on Windows; under Wine,
    // where each failing wait is a round trip to its server, a fifth of it.
    EXPECT_LT(ThreadCpuMs(form->threadId()) - before, 100.0) << "the loop spins";
    PutLog("bob@example.com", "0");
    const std::vector<std::wstring> listed{L"amy@example.com", L"bob@example.com"};
    EXPECT_TRUE(PumpUntil([&] { return form->Items() == listed; }, 10s)) << "no refresh after the rewatch";
    EXPECT_LE(store.watches, 6) << "watched again too often";
}

// Value reads fail; the enumerations a refresh makes are counted from the first
// failing read on, and the keys the watch opens as it hears a change.
class FailingPickStore final : public OpenCountingStore {
public:
    using OpenCountingStore::OpenCountingStore;
    RegStatus EnumKey(RegHandle key, std::uint32_t index, char* name, std::uint32_t* nameChars, char* className,
                      std::uint32_t* classChars, FileTime* lastWriteTime) override {
        if (failed) ++enumsAfterFailure;
        return inner_.EnumKey(key, index, name, nameChars, className, classChars, lastWriteTime);
    }
    RegStatus QueryValue(RegHandle, const char*, std::uint32_t*, std::uint8_t*, std::uint32_t*) override {
        failed = true;
        throw std::bad_alloc();
    }
    std::atomic<bool> failed{false};
    std::atomic<int> enumsAfterFailure{0};
};

// Once a handler has failed, no refresh runs, though the error box's own loop
// delivers the refresh timer that a change had started just before.
TEST_F(MainWindowTest, NoRefreshRunsOnceTheWindowHasFailed) {
    FailingPickStore store(PlatformRegistryStore());
    PutLog("amy@example.com", "1");
    Start(store);
    form->HoldBoxes(true);
    // The change heard (the watch checks its key) starts the refresh timer.
    const int opened = store.opens;
    PutLog("bob@example.com", "1");
    ASSERT_TRUE(PumpUntil([&] { return store.opens > opened; }, 5s)) << "the change was not heard";
    const HWND combo = form->Child(Control::comEmail);
    SendMessageW(combo, CB_SETCURSEL, 0, 0);
    PostMessageW(form->hwnd(), WM_COMMAND, MAKEWPARAM(MainWindow::ControlId(Control::comEmail), CBN_SELCHANGE),
                 LPARAM(combo));
    ASSERT_TRUE(form->WaitForBox()) << "no error box";
    Sleep(2 * kRefreshDelayMs + 300);
    EXPECT_EQ(store.enumsAfterFailure, 0) << "a refresh ran under the error box";
    form->HoldBoxes(false);
    EXPECT_NE(form->Close(), 0);
}

std::wstring SelfPath() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return self;
}

// Started with this argument, this test program stands in for GT3ErrLog.exe
// with a store whose value reads fail as when memory runs out: an error reaches
// a handler of the real window, in a process of its own.
constexpr wchar_t kFailingReadsArgument[] = L"--gt3-program-with-failing-reads";

class FailingReadsStore final : public gt3::test::ForwardingStore {
public:
    using ForwardingStore::ForwardingStore;
    RegStatus QueryValue(RegHandle, const char*, std::uint32_t*, std::uint8_t*, std::uint32_t*) override {
        throw std::bad_alloc();
    }
};

int RunProgramWithFailingReads() {
    FailingReadsStore store(PlatformRegistryStore());
    MainWindow window(GetModuleHandleW(nullptr), store);
    if (!window.Create()) return window.exitCode() ? window.exitCode() : 1;
    return window.Run();
}

// Decided before any test runs: in that role the process is the program and ends with it.
[[maybe_unused]] const bool kPlaysTheProgram = [] {
    if (std::wcsstr(GetCommandLineW(), kFailingReadsArgument))
        ExitProcess(static_cast<UINT>(RunProgramWithFailingReads()));
    return false;
}();

// How a program is started: which exe, its arguments, and the launcher's show
// command (a shortcut's "Run: Maximized", say), if it gives one.
struct Launch {
    std::wstring exe = ProgramPath();
    std::wstring arguments;
    std::optional<WORD> show;
};

// GT3ErrLog.exe asks for the user's highest rights. On a machine with UAC an
// administrator's unelevated test run may not start it (CreateProcess answers
// ERROR_ELEVATION_REQUIRED), nor drive its window if it could: user interface
// privilege isolation drops the messages. Such a case skips with this reason.
constexpr DWORD kElevationRequired = 740;  // ERROR_ELEVATION_REQUIRED, missing from MinGW-w64's headers
constexpr char kRunElevated[] = "GT3ErrLog.exe needs elevation here: run the tests from an elevated prompt";

// The program started as a user starts it, with its main window found.
class RunningProgram {
public:
    explicit RunningProgram(const Launch& launch = {}) {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        if (launch.show) {
            si.dwFlags = STARTF_USESHOWWINDOW;
            si.wShowWindow = *launch.show;
        }
        std::wstring commandLine = L"\"" + launch.exe + L"\" " + launch.arguments;
        if (!CreateProcessW(launch.exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                            &process_)) {
            elevationRequired_ = GetLastError() == kElevationRequired;
            return;
        }
        // A console program (this test program in the program's role) has no idle
        // to wait for; the window showing is what counts.
        WaitForInputIdle(process_.hProcess, 20000);
        PumpUntil([&] {
            window_ = FindWindowW(MainWindow::kClassName, L"Glimtrove 3  -  Error Log Enabler");
            return window_ && IsWindowVisible(window_);
        });
    }
    ~RunningProgram() {
        if (!process_.hProcess) return;
        if (WaitForSingleObject(process_.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(process_.hProcess, 1);
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    HWND window() const { return window_; }
    bool elevationRequired() const { return elevationRequired_; }
    DWORD processId() const { return process_.dwProcessId; }
    HWND control(Control id) const { return GetDlgItem(window_, MainWindow::ControlId(id)); }

    std::vector<std::wstring> Items() const { return ListedItems(control(Control::comEmail)); }

    // The list reports a pick to the window; posted, so a handler that opens a
    // box does not hold up the test.
    void PostPick(int index) const {
        HWND combo = control(Control::comEmail);
        SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        PostMessageW(window_, WM_COMMAND, MAKEWPARAM(MainWindow::ControlId(Control::comEmail), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(combo));
    }
    void PostPress(Control button) const {
        PostMessageW(window_, WM_COMMAND, MAKEWPARAM(MainWindow::ControlId(button), BN_CLICKED),
                     reinterpret_cast<LPARAM>(control(button)));
    }

    HWND WaitForBox() const {
        HWND box = nullptr;
        PumpUntil([&] { return (box = FindOwnedBox(GetWindowThreadProcessId(window_, nullptr), window_)) != nullptr; });
        return box;
    }

    // The exit code once the program has ended, or nullopt when it did not end.
    std::optional<DWORD> WaitForExit() {
        if (WaitForSingleObject(process_.hProcess, 20000) != WAIT_OBJECT_0) return std::nullopt;
        DWORD exitCode = 1;
        GetExitCodeProcess(process_.hProcess, &exitCode);
        return exitCode;
    }
    // Closes the window as the user would, then waits for the program to end.
    std::optional<DWORD> Close() {
        PostMessageW(window_, WM_CLOSE, 0, 0);
        return WaitForExit();
    }

private:
    PROCESS_INFORMATION process_{};
    HWND window_ = nullptr;
    bool elevationRequired_ = false;
};

// The program itself: a 32-bit exe, like its host, asking for the rights to
// write the machine's settings where the user has them; its version record; it
// starts, shows its window and ends with code 0 when the window is closed. (Its
// icon is checked in-process above: Wine answers WM_GETICON from another process
// with a failed send.)
TEST_F(MainWindowTest, ProgramStartsShowsItsWindowAndEndsCleanlyWhenClosed) {
    const std::wstring exe = ProgramPath();
    HMODULE image = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(image, nullptr);
    // A data-file module's handle points one byte past its mapping.
    const auto* base = reinterpret_cast<const std::uint8_t*>(reinterpret_cast<std::uintptr_t>(image) & ~std::uintptr_t{3});
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    HRSRC found = FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24) /* RT_MANIFEST */);
    ASSERT_NE(found, nullptr) << "no manifest";
    const std::string manifest(static_cast<const char*>(LockResource(LoadResource(image, found))),
                               SizeofResource(image, found));
    // Pieced together, so that this test program's own bytes never hold the
    // phrase that a scan of the built programs looks for.
    const std::string asked = std::string("requestedExecutionLevel level=\"") + "highestAvailable" + '"';
    EXPECT_NE(manifest.find(asked), std::string::npos);
    FreeLibrary(image);

    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version record";
    std::vector<char> version(size);
    ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, size, version.data()));
    for (const auto& [name, expected] : {std::pair{L"ProductName", L"GT3ErrLog"}, std::pair{L"InternalName", L"GT3ErrLog"},
                                         std::pair{L"FileVersion", L"1.00"}, std::pair{L"ProductVersion", L"1.00"}}) {
        void* value = nullptr;
        UINT length = 0;
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        ASSERT_TRUE(VerQueryValueW(version.data(), query.c_str(), &value, &length)) << name;
        EXPECT_STREQ(static_cast<const wchar_t*>(value), expected);
    }

    PutLog("amy@example.com", "0");
    RunningProgram program;
    if (program.elevationRequired()) GTEST_SKIP() << kRunElevated;
    ASSERT_NE(program.window(), nullptr);
    DWORD pid = 0;
    GetWindowThreadProcessId(program.window(), &pid);
    EXPECT_EQ(pid, program.processId());
    for (Control late : kMadeAtFirstPick) EXPECT_EQ(program.control(late), nullptr) << static_cast<int>(late);
    // Started as a user starts it, the window has its taskbar button and, once
    // an account is picked, its names.
    program.PostPick(0);
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(program.control(Control::cmdReload)); }));
    ExpectFoundAndNamed(program.window());
    EXPECT_EQ(program.Close(), std::optional<DWORD>(0));
}

// A shortcut set to run maximized, minimized or hidden still opens the fixed-size
// tool window normally: in view, at its designed size.
// What Wine cannot show: Windows applies the launcher's show command to a
// program's first ShowWindow, whatever that call asks, which is why ShowNormally
// calls ShowWindow a second time. Wine does not apply it, so under Wine this
// passes with that second call removed too; only a run on Windows guards it.
TEST_F(MainWindowTest, ProgramOpensNormallyWhateverTheLauncherAsks) {
    for (const WORD show : {WORD(SW_SHOWMAXIMIZED), WORD(SW_SHOWMINNOACTIVE), WORD(SW_HIDE)}) {
        SCOPED_TRACE("show command " + std::to_string(show));
        RunningProgram program({ProgramPath(), L"", show});
        if (program.elevationRequired()) GTEST_SKIP() << kRunElevated;
        HWND window = program.window();
        ASSERT_NE(window, nullptr) << "never visible";
        EXPECT_FALSE(IsIconic(window));
        EXPECT_FALSE(IsZoomed(window));
        RECT outer{};
        GetWindowRect(window, &outer);
        EXPECT_EQ(outer.bottom - outer.top, Outer(2850, window));
        EXPECT_EQ(program.Close(), std::optional<DWORD>(0));
    }
}

// The messenger host is 32-bit and keeps its settings in the registry's 32-bit
// view, where its installer (here reg.exe /reg:32) writes them. The program lists
// those accounts in the store's order, "Nobody" left out, also past one whose key
// has a class name; it does not list an account that exists only in the 64-bit
// view; and its switch writes the 32-bit view.
TEST_F(MainWindowTest, ProgramWorksInTheHostsRegistryView) {
    using gt3::test::RegExe;
    using gt3::test::RegView;
    const std::string product = "HKLM\\SOFTWARE\\Quorvane\\Glimtrove\\";
    RegExe("delete HKLM\\SOFTWARE\\Quorvane /f", RegView::k64);
    for (const char* account : {"zed@example.com", "Nobody", "amy@example.com"})
        RegExe("add " + product + account + " /v Log /d 0 /f", RegView::k32);
    RegExe("add " + product + "only64@example.com /v Log /d 0 /f", RegView::k64);
    // The class name last, from this 32-bit program: reg add clears the class of a key it touches.
    HKEY classed = nullptr;
    char className[] = "SomeClass";
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (std::string(kProduct) + "\\bob@example.com").c_str(), 0, className,
                              0, KEY_ALL_ACCESS, nullptr, &classed, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(classed);

    RunningProgram program;
    if (program.elevationRequired()) GTEST_SKIP() << kRunElevated;
    ASSERT_NE(program.window(), nullptr);
    EXPECT_EQ(program.Items(), (std::vector<std::wstring>{L"amy@example.com", L"bob@example.com", L"zed@example.com"}));

    program.PostPick(2);
    program.PostPress(Control::cmdEnable);
    HWND box = program.WaitForBox();
    ASSERT_NE(box, nullptr) << "no confirmation";
    EXPECT_EQ(Text(GetDlgItem(box, 0xFFFF)), L"Logging Enabled\r\n\r\nReload Plugins or Restart Messenger");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_NE(RegExe("query " + product + "zed@example.com /v Log", RegView::k32).find("REG_SZ    1\n"),
              std::string::npos);
    EXPECT_EQ(RegExe("query " + product + "zed@example.com", RegView::k64).find("Log"), std::string::npos);
    EXPECT_EQ(program.Close(), std::optional<DWORD>(0));
    RegExe("delete HKLM\\SOFTWARE\\Quorvane /f", RegView::k64);
}

// An error inside a handler ends the program with the standard report: a box
// titled with the program's title (this copy has another file name), then a
// non-zero exit code, and a command queued behind the failing one never runs.
TEST_F(MainWindowTest, AnErrorInAHandlerEndsTheProgramWithItsReport) {
    PutLog("amy@example.com", "0");
    RunningProgram program({SelfPath(), kFailingReadsArgument, std::nullopt});
    ASSERT_NE(program.window(), nullptr);
    program.PostPick(0);                     // its read fails
    program.PostPress(Control::cmdEnable);  // waiting behind it
    HWND box = program.WaitForBox();
    ASSERT_NE(box, nullptr) << "no report";
    EXPECT_EQ(Text(box), L"GT3ErrLog");
    EXPECT_EQ(Text(GetDlgItem(box, 0xFFFF)), L"Run-time error '7':\r\n\r\nOut of memory");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(program.WaitForExit(), std::optional<DWORD>(7));
    EXPECT_EQ(ReadLog("amy@example.com").data, std::string("0\0", 2)) << "the queued press was carried out";
}

// The DPI calls of Windows 10, looked up as the program looks them up (it runs on
// Windows 7 too).
template <typename Fn>
Fn User32(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

// Twips become pixels by the display's DPI: at 96 the client area 6120 twips wide
// is 408 pixels, at 144 it is 612. The tests run at 96; the build runs this case
// once more in prefixes whose display is set to 120, 144 and 192 dpi
// (GT3_EXPECT_DPI says which).
TEST_F(MainWindowTest, ProgramLaysItselfOutByTheDisplaysDpi) {
    if (std::getenv("GT3_WINE_DPI") && !gt3::test::UnderWine())
        GTEST_SKIP() << kOtherDpisNeedWine;
    PutLog("amy@example.com", "1");
    const auto setThreadAwareness = User32<HANDLE(WINAPI*)(HANDLE)>("SetThreadDpiAwarenessContext");
    const auto dpiForWindow = User32<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
    ASSERT_TRUE(setThreadAwareness && dpiForWindow);
    setThreadAwareness(reinterpret_cast<HANDLE>(-3));  // per-monitor aware: the other window's pixels unscaled

    RunningProgram program;
    if (program.elevationRequired()) GTEST_SKIP() << kRunElevated;
    HWND window = program.window();
    ASSERT_NE(window, nullptr);
    const auto dpi = static_cast<std::int32_t>(dpiForWindow(window));
    if (const char* expected = std::getenv("GT3_EXPECT_DPI")) {
        ASSERT_EQ(dpi, std::atoi(expected));
    }
    std::printf("display at %d dpi\n", dpi);

    RECT client{}, outer{};
    GetClientRect(window, &client);
    GetWindowRect(window, &outer);
    EXPECT_EQ(client.right, layout::TwipsToPixels(6120, dpi));
    EXPECT_EQ(outer.bottom - outer.top, Outer(2850, window, dpi));
    program.PostPick(0);  // which makes the buttons
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(program.control(Control::cmdReload)); }));
    for (Control id : {Control::comEmail, Control::cmdEnable, Control::cmdReload}) {
        SCOPED_TRACE(static_cast<int>(id));
        const layout::PixelRect designed = layout::ToPixels(layout::Design(id).rect, dpi);
        RECT r{};
        GetWindowRect(GetDlgItem(window, MainWindow::ControlId(id)), &r);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, designed.left);
        EXPECT_EQ(r.top, designed.top);
        EXPECT_EQ(r.right - r.left, designed.width);
    }
    // The logo scales too: 220 x 82 at 96 dpi, 330 x 123 at 144.
    RECT logo{};
    GetWindowRect(GetDlgItem(window, MainWindow::ControlId(Control::imgLogo)), &logo);
    EXPECT_NEAR(logo.right - logo.left, 220 * dpi / 96.0, 1);
    EXPECT_NEAR(logo.bottom - logo.top, 82 * dpi / 96.0, 1);
    EXPECT_EQ(program.Close(), std::optional<DWORD>(0));
}

// A readme's lines, without their indent or line end.
std::vector<std::string> ReadmeLines(const char* path = GT3_README) {
    std::vector<std::string> lines;
    std::ifstream readme(path);
    EXPECT_TRUE(readme) << path;
    for (std::string line; std::getline(readme, line);) {
        line.erase(0, line.find_first_not_of(' '));
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// A Windows program as an elevated prompt on 64-bit Windows starts it: the
// 64-bit one (the 32-bit one would hide a missing /reg:32). 32-bit Windows has
// only the one.
std::string NativeProgram(const std::string& name) {
    const std::string native = "C:\\windows\\sysnative\\" + name;
    return GetFileAttributesA(native.c_str()) != INVALID_FILE_ATTRIBUTES ? native : name;
}

// The caption bars of the system's windows at another height, for as long as it
// lives: for this process's windows, and under Wine for the prefix's session
// (never saved to the registry); the old metrics come back at its end.
class CaptionHeight {
public:
    explicit CaptionHeight(int pixels) {
        saved_.cbSize = sizeof saved_;
        ok_ = SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof saved_, &saved_, 0);
        NONCLIENTMETRICSW larger = saved_;
        larger.iCaptionHeight = larger.iSmCaptionHeight = pixels;
        ok_ = ok_ && SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof larger, &larger, 0);
    }
    ~CaptionHeight() {
        if (ok_) SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof saved_, &saved_, 0);
    }
    CaptionHeight(const CaptionHeight&) = delete;
    CaptionHeight& operator=(const CaptionHeight&) = delete;
    bool ok() const noexcept { return ok_; }

private:
    NONCLIENTMETRICSW saved_{};
    BOOL ok_ = FALSE;
};

// Every control the window shows lies wholly inside its client area, with at
// least the design's margin below the lowest.
void ExpectShownControlsInside(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    const int margin = Twips(layout::kBottomMargin, window);
    int lowest = 0;
    for (const auto& design : layout::kControls) {
        HWND child = GetDlgItem(window, MainWindow::ControlId(design.id));
        if (!IsWindowVisible(child)) continue;
        RECT r{};
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right && r.bottom <= client.bottom)
            << "control " << static_cast<int>(design.id) << " at (" << r.left << ", " << r.top << ", " << r.right
            << ", " << r.bottom << ") outside the client area (" << client.right << " x " << client.bottom << ")";
        lowest = std::max<int>(lowest, r.bottom);
    }
    EXPECT_GE(client.bottom - lowest, margin - 1) << "the margin below the lowest control";
}

// Nothing the window shows falls outside its client area, collapsed or expanded,
// under the system's caption and under one as large as a user may choose (40 px
// at 96 dpi), chosen before the window opens or while it is open. Where the
// default caption leaves room, as Wine's does, the window keeps its designed
// heights. The build runs this once more at 120, 144 and 192 dpi, each in a
// Wine prefix of its own.
TEST_F(MainWindowTest, ShownControlsStayInsideTheClientAreaWhateverTheCaption) {
    if (std::getenv("GT3_WINE_DPI") && !gt3::test::UnderWine())
        GTEST_SKIP() << kOtherDpisNeedWine;
    PutLog("amy@example.com", "1");
    const int dpi = static_cast<int>(Dpi(nullptr));
    if (const char* expected = std::getenv("GT3_EXPECT_DPI")) {
        ASSERT_EQ(dpi, std::atoi(expected));
    }
    const int larger = MulDiv(40, dpi, 96);
    enum class Caption { Default, LargerFirst, LargerWhileOpen };
    for (const Caption caption : {Caption::Default, Caption::LargerFirst, Caption::LargerWhileOpen}) {
        const char* name = caption == Caption::Default       ? "default caption"
                           : caption == Caption::LargerFirst ? "larger caption"
                                                             : "caption enlarged while open";
        SCOPED_TRACE(std::string(name) + " at " + std::to_string(dpi) + " dpi");
        std::optional<CaptionHeight> set;
        if (caption == Caption::LargerFirst) set.emplace(larger);
        Start();
        HWND window = form->hwnd();
        ASSERT_NE(window, nullptr);
        if (caption == Caption::LargerWhileOpen) {
            set.emplace(larger);
            // What Windows broadcasts when the user's change is saved (a change
            // saved in the prefix's registry would outlive a failed test).
            SendMessageW(window, WM_SETTINGCHANGE, SPI_SETNONCLIENTMETRICS, reinterpret_cast<LPARAM>(L"WindowMetrics"));
        }
        if (set) {
            ASSERT_TRUE(set->ok()) << "SPI_SETNONCLIENTMETRICS failed";
        }
        RECT client{};
        GetClientRect(window, &client);
        std::printf("%s at %d dpi: frame %d px, outer height %d collapsed", name, dpi,
                    form->HeightPixels() - static_cast<int>(client.bottom), form->HeightPixels());
        ExpectShownControlsInside(window);
        const int collapsed = form->HeightPixels();
        form->Pick(0);
        ASSERT_EQ(form->State(), Shown::On);
        std::printf(", %d expanded\n", form->HeightPixels());
        ExpectShownControlsInside(window);
        if (caption != Caption::Default) {
            EXPECT_GT(collapsed, Twips(layout::kCollapsedHeight, window)) << "the window did not grow";
        } else if (gt3::test::UnderWine()) {
            EXPECT_NEAR(collapsed, Twips(layout::kCollapsedHeight, window), 1);
            EXPECT_NEAR(form->HeightPixels(), Twips(layout::kExpandedHeight, window), 1);
        }
        form.reset();
    }
}

// Moved to a monitor of another DPI, the window works its height out for the
// new DPI and its frame, whatever size Windows suggests (before Windows 10 1703
// it suggests the old size scaled, here 1.5 x), and tells Windows that size
// beforehand when asked (WM_GETDPISCALEDSIZE). Under Wine, which has one DPI
// for the session, the messages are sent here as Windows would send them; the
// frame then stays at the session's DPI, which only leaves more room.
TEST_F(MainWindowTest, ADpiChangeWorksTheHeightOutAgain) {
    if (std::getenv("GT3_WINE_DPI")) GTEST_SKIP() << "run at the session's DPI only";
    PutLog("amy@example.com", "1");
    const CaptionHeight larger(MulDiv(40, static_cast<int>(Dpi(nullptr)), 96));
    ASSERT_TRUE(larger.ok());
    Start();
    HWND window = form->hwnd();
    form->Pick(0);
    RECT before{};
    GetWindowRect(window, &before);
    const UINT dpi = Dpi(window) * 3 / 2;
    SIZE asked{};
    ASSERT_TRUE(SendMessageW(window, 0x02E4 /* WM_GETDPISCALEDSIZE */, dpi, reinterpret_cast<LPARAM>(&asked)));
    RECT suggested{before.left, before.top, before.left + (before.right - before.left) * 3 / 2,
                   before.top + (before.bottom - before.top) * 3 / 2};
    SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    RECT after{};
    GetWindowRect(window, &after);
    EXPECT_EQ(after.left, suggested.left);
    EXPECT_EQ(after.top, suggested.top);
    EXPECT_EQ(after.right - after.left, asked.cx);
    EXPECT_EQ(after.bottom - after.top, asked.cy);
    // Reload, laid out for the new DPI, keeps the margin below it.
    RECT client{}, reload{};
    GetClientRect(window, &client);
    GetWindowRect(form->Child(Control::cmdReload), &reload);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&reload), 2);
    const auto scale = static_cast<std::int32_t>(dpi);
    const layout::PixelRect designed = layout::ToPixels(layout::Design(Control::cmdReload).rect, scale);
    EXPECT_EQ(reload.bottom, designed.top + designed.height);
    EXPECT_GE(client.bottom - reload.bottom, layout::TwipsToPixels(layout::kBottomMargin, scale));
}

// The commands for administrators in the README and in the user's readme,
// copied from them and run as an administrator runs them, by the 64-bit reg.exe.
// The program then shows what each add line wrote; the query line lists the
// host's accounts and not one that only the 64-bit view holds. Remote lines,
// which name a machine, are for Windows alone.
TEST_F(MainWindowTest, TheReadmesRegCommandsReachTheHostsView) {
    using gt3::test::RegExe;
    using gt3::test::RegView;
    struct Command {
        std::string line, verb, key, data;  // data: what /d gives
    };
    std::vector<Command> commands;
    for (const char* readme : {GT3_README, GT3_USER_README})
        for (const std::string& line : ReadmeLines(readme)) {
            std::istringstream words(line);
            std::string program, word;
            Command c{line, {}, {}, {}};
            words >> program >> c.verb >> c.key;
            while (words >> word)
                if (word == "/d") words >> c.data;
            if (program == "reg" && c.key.rfind("HKLM\\", 0) == 0) commands.push_back(c);
        }
    const std::string reg = NativeProgram("reg.exe");

    RegExe("delete HKLM\\SOFTWARE\\Quorvane /f", RegView::k64);
    PutLog("zed@example.com", "1");
    RegExe("add HKLM\\SOFTWARE\\Quorvane\\Glimtrove\\only64@example.com /v Log /d 1 /f", RegView::k64);
    std::vector<std::string> checked;
    for (const Command& c : commands) {
        SCOPED_TRACE(c.line);
        const std::string output = gt3::test::CommandOutput(reg + c.line.substr(3));
        if (c.verb == "query") {
            EXPECT_NE(output.find("\\Glimtrove\\zed@example.com\n"), std::string::npos) << output;
            EXPECT_EQ(output.find("only64"), std::string::npos) << output;
            checked.push_back(c.verb);
            continue;
        }
        ASSERT_EQ(c.verb, "add");
        ASSERT_TRUE(c.data == "1" || c.data == "0") << "logging is switched with 1 or 0";
        const std::string account = c.key.substr(c.key.rfind('\\') + 1);
        Start();
        form->Pick(std::wstring(account.begin(), account.end()));
        EXPECT_EQ(form->State(), c.data == "1" ? Shown::On : Shown::Off) << Name(form->State()) << '\n' << output;
        const StoredValue stored = ReadLog(account);
        EXPECT_EQ(stored.type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(stored.data, c.data + '\0');
        form.reset();
        checked.push_back(c.verb + ' ' + c.data);
    }
    EXPECT_EQ(checked, (std::vector<std::string>{"query", "add 1", "add 0", "add 1"}))
        << "the README's local reg lines, then the user's readme's";
    RegExe("delete HKLM\\SOFTWARE\\Quorvane /f", RegView::k64);
}

// The README's batch line for many machines, run from a batch file by the 64-bit
// cmd.exe of an elevated prompt, over a machines.txt with a blank line (for /f
// skips it). As written, over machines that cannot be reached, it reports each
// one as not changed and changes nothing here. With its \\%%m\ taken out, the
// same line for this machine, it reports each name as switched, and the host's
// view holds the value. (Wine 8's cmd runs both sides of "a && b || c" after a
// program fails, which is one reason the line tests errorlevel instead.)
TEST_F(MainWindowTest, TheReadmesBatchLoopReportsEachMachine) {
    std::vector<std::string> loops;
    for (const std::string& line : ReadmeLines())
        if (line.rfind("for /f ", 0) == 0) loops.push_back(line);
    ASSERT_EQ(loops.size(), 1u) << "the README's for /f line";
    const std::string& loop = loops.front();
    const std::string remote = "\\\\%%m\\";
    const auto at = loop.find(remote + "HKLM\\");
    ASSERT_NE(at, std::string::npos) << loop;
    const std::string local = std::string(loop).erase(at, remote.size());
    std::istringstream words(local.substr(local.find("reg add ")));
    std::string reg, add, key;
    words >> reg >> add >> key;
    const std::string account = key.substr(key.rfind('\\') + 1);

    char temp[MAX_PATH] = {};
    ASSERT_NE(GetTempPathA(MAX_PATH, temp), 0u);
    const std::string folder = temp + std::string("gt3-readme-loop-") + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string machines = folder + "\\machines.txt", batch = folder + "\\loop.bat";
    std::ofstream(machines, std::ios::binary) << "nosuch1.invalid\r\n\r\nnosuch2.invalid\r\n";
    // The printed lines, trailing blanks cut, empty ones left out.
    const auto run = [&](const std::string& line) {
        std::ofstream(batch, std::ios::binary) << "@echo off\r\ncd /d \"%~dp0\"\r\n" << line << "\r\n";
        std::istringstream output(gt3::test::CommandOutput(NativeProgram("cmd.exe") + " /c \"" + batch + '"'));
        std::vector<std::string> printed;
        for (std::string l; std::getline(output, l);) {
            l.erase(l.find_last_not_of(' ') + 1);
            if (!l.empty()) printed.push_back(l);
        }
        return printed;
    };

    RemoveProduct();
    gt3::test::RegExe("delete HKLM\\SOFTWARE\\Quorvane /f", gt3::test::RegView::k64);
    EXPECT_EQ(run(loop), (std::vector<std::string>{"nosuch1.invalid: NOT changed", "nosuch2.invalid: NOT changed"}));
    EXPECT_FALSE(ReadLog(account).found) << "a machine that cannot be reached changed this one";

    EXPECT_EQ(run(local), (std::vector<std::string>{"nosuch1.invalid: logging on", "nosuch2.invalid: logging on"}));
    const StoredValue stored = ReadLog(account);
    EXPECT_EQ(stored.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(stored.data, std::string("1\0", 2));
    Start();
    form->Pick(std::wstring(account.begin(), account.end()));
    EXPECT_EQ(form->State(), Shown::On) << Name(form->State());
    form.reset();

    DeleteFileA(batch.c_str());
    DeleteFileA(machines.c_str());
    RemoveDirectoryA(folder.c_str());
    RemoveProduct();
}

}  // namespace
}  // namespace gt3::app::test
