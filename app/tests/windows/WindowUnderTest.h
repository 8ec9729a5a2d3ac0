#pragma once
// The real main window, driven from a test the way a user's input reaches it.
//
// - PrivateLocalMachine points this process's HKEY_LOCAL_MACHINE at a private key
//   (RegOverridePredefKey), so a test seeds the product key freely without
//   touching the prefix's real one or a test running beside it.
// - WindowThread runs the window on a thread of its own, exactly as the program
//   does (Create, then the message loop). The test's thread sends it input with
//   SendMessage, which returns once the handler has finished; a watcher thread
//   closes each message box the handler opens and keeps what it said.

#include "app/Layout.h"
#include "app/MainWindow_win32.h"
#include "app/Texts.h"
#include "registry/RegistryStore.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
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

// One message box as the watcher found it.
struct SeenBox {
    std::wstring caption;
    std::wstring text;
    HWND owner = nullptr;
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
        if (hwnd_ && IsWindow(hwnd_)) PostMessageW(hwnd_, WM_CLOSE, 0, 0);
        if (thread_.joinable()) thread_.join();
        stop_ = true;
        if (watcher_.joinable()) watcher_.join();
    }
    WindowThread(const WindowThread&) = delete;
    WindowThread& operator=(const WindowThread&) = delete;

    // The window, or nullptr when it could not be made (or loading failed).
    HWND hwnd() const noexcept { return hwnd_; }
    bool created() const noexcept { return created_; }

    // Child controls by their ids in the window, which follow the design order.
    HWND Child(layout::Control id) const { return GetDlgItem(hwnd_, MainWindow::ControlId(id)); }

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
    void Press(layout::Control button) const { Send(Child(button), BM_CLICK, 0, 0); }

    // --- What the window shows ------------------------------------------------
    int ComboCount() const { return int(Send(Child(layout::Control::comEmail), CB_GETCOUNT, 0, 0)); }
    std::wstring ComboItem(int index) const {
        HWND combo = Child(layout::Control::comEmail);
        std::wstring text(std::size_t(Send(combo, CB_GETLBTEXTLEN, WPARAM(index), 0)) + 1, L'\0');
        text.resize(std::size_t(Send(combo, CB_GETLBTEXT, WPARAM(index), LPARAM(text.data()))));
        return text;
    }
    // The list position of an account; -1 when it is not listed.
    int IndexOf(const std::wstring& account) const {
        return int(Send(Child(layout::Control::comEmail), CB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(account.c_str())));
    }
    std::wstring Text(layout::Control id) const {
        wchar_t buf[256] = {};
        GetWindowTextW(Child(id), buf, 256);
        return buf;
    }
    bool Visible(layout::Control id) const { return GetWindowLongW(Child(id), GWL_STYLE) & WS_VISIBLE; }
    bool Enabled(layout::Control id) const { return IsWindowEnabled(Child(id)); }

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

    // The boxes seen since the last call, in the order they appeared.
    std::vector<SeenBox> TakeBoxes() {
        std::lock_guard lock(mutex_);
        return std::exchange(boxes_, {});
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
        created_ = window.Create();
        {
            std::lock_guard lock(mutex_);
            hwnd_ = window.handle();
            started_ = true;
        }
        ready_.notify_all();
        if (created_) exitCode_ = window.Run();
        else exitCode_ = window.exitCode() ? window.exitCode() : 1;
    }

    static BOOL CALLBACK FindVisibleBox(HWND w, LPARAM p) {
        wchar_t cls[16] = {};
        GetClassNameW(w, cls, 16);
        if (std::wstring(cls) != L"#32770" || !IsWindowVisible(w)) return TRUE;
        *reinterpret_cast<HWND*>(p) = w;
        return FALSE;
    }

    // Closes every message box of the window's thread as soon as it shows.
    void Watch() {
        while (!stop_) {
            HWND box = nullptr;
            EnumThreadWindows(threadId_, FindVisibleBox, LPARAM(&box));
            if (!box) {
                Sleep(2);
                continue;
            }
            SeenBox seen;
            wchar_t buf[512] = {};
            GetWindowTextW(box, buf, 512);
            seen.caption = buf;
            buf[0] = 0;
            GetDlgItemTextW(box, 0xFFFF, buf, 512);  // the box's text control
            seen.text = buf;
            seen.owner = GetWindow(box, GW_OWNER);
            {
                std::lock_guard lock(mutex_);
                boxes_.push_back(std::move(seen));
            }
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
    HWND hwnd_ = nullptr;
    std::atomic<DWORD> threadId_{0};
    bool created_ = false;
    int exitCode_ = 0;
    std::vector<SeenBox> boxes_;
};

}  // namespace gt3::app::test
