#pragma once
// The real main window, driven from a test the way a user's input reaches it.
//
// - PrivateLocalMachine points this process's HKEY_LOCAL_MACHINE at a private key
//   (RegOverridePredefKey), so a test seeds the product key freely without
//   touching the prefix's real one or a test running beside it.
// - WindowThread runs the window on a thread of its own, exactly as the program
//   does (Create, then the message loop). The test's thread sends it input with
//   SendMessage, which returns once the handler has finished; a watcher thread
//   closes each message box the handler opens and keeps what it showed.
// - The free helpers read any window, also one of another process.

#include "app/Layout.h"
#include "app/MainWindow_win32.h"
#include "app/Texts.h"
#include "msgbox/tests/windows/IconControl.h"
#include "registry/RegistryStore.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace gt3::app::test {

class PrivateLocalMachine {
public:
    explicit PrivateLocalMachine(const std::wstring& name) : path_(L"Software\\GT3ErrLogTests\\" + name) {
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root_, nullptr);
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, root_);
        RegCreateKeyExW(root_, L"SOFTWARE\\Quorvane\\Glimtrove", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &product_,
                        nullptr);
    }
    ~PrivateLocalMachine() {
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        RegCloseKey(product_);
        RegCloseKey(root_);
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    }
    PrivateLocalMachine(const PrivateLocalMachine&) = delete;
    PrivateLocalMachine& operator=(const PrivateLocalMachine&) = delete;

    // The product key the window lists.
    HKEY product() const noexcept { return product_; }

    // Sets the Log value of an account key, creating the key.
    void Put(const std::string& account, DWORD type, const std::string& data) const {
        HKEY key{};
        if (RegCreateKeyExA(product_, account.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr)) return;
        RegSetValueExA(key, "Log", 0, type, reinterpret_cast<const BYTE*>(data.data()), DWORD(data.size()));
        RegCloseKey(key);
    }

private:
    std::wstring path_;
    HKEY root_{};
    HKEY product_{};
};

// Waits for `done`, pumping this thread's messages meanwhile (a test's own
// windows, such as a broadcast receiver, live on it). False on timeout.
inline bool PumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

inline std::wstring Text(HWND hwnd) {
    wchar_t buffer[512] = {};
    GetWindowTextW(hwnd, buffer, 512);
    return buffer;
}

// The id of a message box's text control.
constexpr int kBoxTextId = 0xFFFF;

inline std::wstring ComboItem(HWND combo, int index) {
    const auto length = SendMessageW(combo, CB_GETLBTEXTLEN, WPARAM(index), 0);
    if (length == CB_ERR) return {};
    std::wstring text(std::size_t(length) + 1, L'\0');
    const auto copied = SendMessageW(combo, CB_GETLBTEXT, WPARAM(index), LPARAM(text.data()));
    text.resize(copied == CB_ERR ? 0 : std::size_t(copied));
    return text;
}

// The entries of a combo box, in list order.
inline std::vector<std::wstring> ListedItems(HWND combo) {
    std::vector<std::wstring> items;
    for (int i = 0, count = int(SendMessageW(combo, CB_GETCOUNT, 0, 0)); i < count; ++i)
        items.push_back(ComboItem(combo, i));
    return items;
}

// A visible message box (a dialog-class window) of that thread, owned by
// `owner` when one is given.
inline HWND FindOwnedBox(DWORD threadId, std::optional<HWND> owner = std::nullopt) {
    struct Search {
        std::optional<HWND> owner;
        HWND found;
    } search{owner, nullptr};
    // A named CALLBACK (stdcall) function: a lambda's function pointer is not one on x86.
    struct Visit {
        static BOOL CALLBACK Window(HWND hwnd, LPARAM param) {
            auto* s = reinterpret_cast<Search*>(param);
            wchar_t cls[16] = {};
            GetClassNameW(hwnd, cls, 16);
            if (std::wstring(cls) != L"#32770" || !IsWindowVisible(hwnd)) return TRUE;
            if (s->owner && GetWindow(hwnd, GW_OWNER) != *s->owner) return TRUE;
            s->found = hwnd;
            return FALSE;
        }
    };
    EnumThreadWindows(threadId, Visit::Window, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// One message box as the watcher found it, once it had been placed.
struct SeenBox {
    std::wstring caption;
    std::wstring text;
    HWND owner = nullptr;
    HWND hwnd = nullptr;  // gone soon after: the watcher closes it
    RECT rect{};
    HICON icon = nullptr;  // of its icon control
};

// The four states the window can show, and anything else it should never show.
enum class Shown { NotPicked, On, Off, Unreadable, Inconsistent };

inline const char* Name(Shown s) {
    switch (s) {
    case Shown::NotPicked: return "not picked";
    case Shown::On: return "on";
    case Shown::Off: return "off";
    case Shown::Unreadable: return "unreadable";
    default: return "inconsistent";
    }
}

class WindowThread {
public:
    // Returns once the window exists and has loaded (or failed to).
    explicit WindowThread(RegistryStore& store) : store_(store) {
        thread_ = std::thread([this] { Main(); });
        while (threadId_ == 0) Sleep(1);
        // Watching from the start: an error while loading shows a box too.
        watcher_ = std::thread([this] { Watch(); });
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return started_; });
    }
    ~WindowThread() {
        Close();
        stop_ = true;
        if (watcher_.joinable()) watcher_.join();
    }
    WindowThread(const WindowThread&) = delete;
    WindowThread& operator=(const WindowThread&) = delete;

    // The window, or nullptr when it could not be made (or loading failed).
    HWND hwnd() const noexcept { return hwnd_; }
    bool created() const noexcept { return created_; }
    DWORD threadId() const noexcept { return threadId_; }

    HWND Child(layout::Control id) const { return GetDlgItem(hwnd_, MainWindow::ControlId(id)); }
    // How often the window has shown a change in the registry.
    std::size_t Refreshes() const {
        const MainWindow* window = window_;
        return window ? window->refreshCount() : 0;
    }

    // Closes the window and waits for its thread; the program's exit code.
    int Close() {
        if (hwnd_ && IsWindow(hwnd_)) PostMessageW(hwnd_, WM_CLOSE, 0, 0);
        if (thread_.joinable()) thread_.join();
        return exitCode_;
    }

    // --- Input, each returning once the window's handler has finished -------
    void Pick(int index) const {
        HWND combo = Child(layout::Control::comEmail);
        Send(combo, CB_SETCURSEL, WPARAM(index), 0);
        Send(hwnd_, WM_COMMAND, MAKEWPARAM(MainWindow::ControlId(layout::Control::comEmail), CBN_SELCHANGE),
             LPARAM(combo));
    }
    // An account not listed picks nothing.
    void Pick(const std::wstring& account) const { Pick(IndexOf(account)); }
    void Press(layout::Control button) const { Send(Child(button), BM_CLICK, 0, 0); }

    // --- What the window shows ------------------------------------------------
    int ComboCount() const { return int(Send(Child(layout::Control::comEmail), CB_GETCOUNT, 0, 0)); }
    std::wstring ComboItem(int index) const { return test::ComboItem(Child(layout::Control::comEmail), index); }
    std::vector<std::wstring> Items() const { return ListedItems(Child(layout::Control::comEmail)); }
    // The list position of an account; -1 when it is not listed.
    int IndexOf(const std::wstring& account) const {
        return int(Send(Child(layout::Control::comEmail), CB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(account.c_str())));
    }
    std::wstring Text(layout::Control id) const { return test::Text(Child(id)); }
    bool Visible(layout::Control id) const { return GetWindowLongW(Child(id), GWL_STYLE) & WS_VISIBLE; }
    bool Enabled(layout::Control id) const { return IsWindowEnabled(Child(id)); }
    int HeightPixels() const {
        RECT r{};
        GetWindowRect(hwnd_, &r);
        return r.bottom - r.top;
    }

    Shown State() const {
        using C = layout::Control;
        const bool label = Visible(C::lblLog), en = Visible(C::cmdEnable), dis = Visible(C::cmdDisable),
                   rel = Visible(C::cmdReload);
        if (!label && !en && !dis && !rel) return Shown::NotPicked;
        const std::wstring caption = Text(C::lblLog);
        if (label && !en && !dis && !rel && caption == text::kErrorReading) return Shown::Unreadable;
        if (label && en && dis && rel) {
            const bool enOn = Enabled(C::cmdEnable), disOn = Enabled(C::cmdDisable);
            if (caption == text::kLoggingEnabled && !enOn && disOn) return Shown::On;
            if (caption == text::kLoggingDisabled && enOn && !disOn) return Shown::Off;
        }
        return Shown::Inconsistent;
    }

    // While held, a box that shows stays open (it is still seen): a test can
    // watch what the window does under it.
    void HoldBoxes(bool hold) { holdBoxes_ = hold; }

    // The boxes seen since the last call, in the order they appeared.
    std::vector<SeenBox> TakeBoxes() {
        std::lock_guard lock(mutex_);
        return std::exchange(boxes_, {});
    }
    // The first box not yet taken, waiting for one (input that was posted
    // rather than sent opens it later); nullopt on timeout.
    std::optional<SeenBox> WaitForBox(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::optional<SeenBox> box;
        PumpUntil(
            [&] {
                std::lock_guard lock(mutex_);
                if (boxes_.empty()) return false;
                box = std::move(boxes_.front());
                boxes_.erase(boxes_.begin());
                return true;
            },
            timeout);
        return box;
    }

    // Windows of the window's thread (top-level and children): a USER-object
    // count that works where GetGuiResources does not.
    int WindowCount() const {
        // Named CALLBACK (stdcall) functions: a lambda's function pointer is not one on x86.
        struct Visit {
            static BOOL CALLBACK Count(HWND, LPARAM p) {
                ++*reinterpret_cast<int*>(p);
                return TRUE;
            }
            static BOOL CALLBACK CountWithChildren(HWND w, LPARAM p) {
                Count(w, p);
                EnumChildWindows(w, Count, p);
                return TRUE;
            }
        };
        int count = 0;
        EnumThreadWindows(threadId_, Visit::CountWithChildren, LPARAM(&count));
        return count;
    }

private:
    static constexpr UINT kInputTimeoutMs = 20000;

    LRESULT Send(HWND target, UINT message, WPARAM w, LPARAM l) const {
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(target, message, w, l, SMTO_NORMAL, kInputTimeoutMs, &result)) return -1;
        return LRESULT(result);
    }

    void Main() {
        threadId_ = GetCurrentThreadId();
        MainWindow window(GetModuleHandleW(nullptr), store_);
        window_ = &window;
        created_ = window.Create();
        {
            std::lock_guard lock(mutex_);
            hwnd_ = window.handle();
            started_ = true;
        }
        ready_.notify_all();
        if (created_) exitCode_ = window.Run();
        else exitCode_ = window.exitCode() ? window.exitCode() : 1;
        window_ = nullptr;
    }

    // Closes every message box of the window's thread as soon as it shows.
    void Watch() {
        while (!stop_) {
            HWND box = FindOwnedBox(threadId_);
            if (!box) {
                Sleep(2);
                continue;
            }
            // A box shows before it activates, and the program's hook places it and
            // sets its icon as it activates: read it after that.
            GUITHREADINFO thread{};
            thread.cbSize = sizeof thread;
            for (int i = 0; i < 2000 && GetGUIThreadInfo(threadId_, &thread) && thread.hwndActive != box; ++i) Sleep(1);
            SeenBox seen{test::Text(box), test::Text(GetDlgItem(box, kBoxTextId)), GetWindow(box, GW_OWNER), box, {},
                         nullptr};
            GetWindowRect(box, &seen.rect);
            seen.icon = reinterpret_cast<HICON>(SendMessageW(gt3::test::IconControlOf(box), STM_GETICON, 0, 0));
            {
                std::lock_guard lock(mutex_);
                boxes_.push_back(std::move(seen));
            }
            while (holdBoxes_ && !stop_) Sleep(5);
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            for (int i = 0; i < 5000 && IsWindow(box); ++i) Sleep(1);
        }
    }

    RegistryStore& store_;
    std::thread thread_, watcher_;
    std::mutex mutex_;
    std::condition_variable ready_;
    bool started_ = false;
    std::atomic<bool> stop_{false};
    std::atomic<bool> holdBoxes_{false};
    HWND hwnd_ = nullptr;
    std::atomic<DWORD> threadId_{0};
    std::atomic<const MainWindow*> window_{nullptr};
    bool created_ = false;
    int exitCode_ = 0;
    std::vector<SeenBox> boxes_;
};

}  // namespace gt3::app::test
