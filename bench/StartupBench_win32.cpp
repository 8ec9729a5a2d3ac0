// Benchmark 4: time from process start to the main window's first idle, taken
// as a launcher would (CreateProcess, then WaitForInputIdle), for GT3ErrLog.exe
// against the same window built as a dialog template (gt3_dialog_window.exe) in
// the same prefix, both listing the same accounts; then the same for
// GT3ErrLog.exe with 100,000 accounts to load.
//   gt3_startup_bench.exe <GT3ErrLog.exe> <dialog window exe> [reps [--startup-only]]
// (--startup-only leaves out the 100,000 accounts: for comparing two builds.)
// The accounts live in the benchmark prefix's own HKLM and are removed at the end.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchTiming.h"

namespace {

using gt3::bench::Median;
using gt3::bench::PrintFigure;
using gt3::bench::PrintRatio;

constexpr const char* kProductKey = "SOFTWARE\\Quorvane\\Glimtrove";
constexpr DWORD kIdleTimeoutMs = 300000;

double NowMs() {
    static const double perMs = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / perMs;
}

struct WindowSearch {
    DWORD processId;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == search->processId && IsWindowVisible(window)) search->windows.push_back(window);
    return TRUE;
}

// The entries in the window's account list, or -1 when it has none: both programs
// must have listed every account, or the faster one may simply have done less.
LRESULT ListedAccounts(HWND window) {
    HWND combo = FindWindowExA(window, nullptr, "ComboBox", nullptr);
    DWORD_PTR count = 0;
    if (!combo || !SendMessageTimeoutA(combo, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 10000, &count)) return -1;
    return static_cast<LRESULT>(count);
}

// Starts the program, waits for its first idle and returns the milliseconds that
// took, or a negative number when it never got there with a visible window
// listing `accounts` entries.
double TimeToIdle(const std::string& exe, int accounts) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string commandLine = "\"" + exe + "\"";
    const double start = NowMs();
    if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        std::fprintf(stderr, "startup bench: cannot start %s (error %lu)\n", exe.c_str(), GetLastError());
        return -1;
    }
    const DWORD wait = WaitForInputIdle(pi.hProcess, kIdleTimeoutMs);
    const double elapsed = NowMs() - start;

    // The window must be up; on the prefix's very first start the desktop may
    // still be settling, so allow it a moment (outside the timed span).
    WindowSearch search{pi.dwProcessId, {}};
    for (int tries = 0; tries < 100; ++tries) {
        EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
        if (!search.windows.empty() || WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) break;
        Sleep(50);
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(pi.hProcess, &exitCode);
    const LRESULT listed = search.windows.empty() ? -1 : ListedAccounts(search.windows.front());
    const bool ok = wait == 0 && exitCode == STILL_ACTIVE && listed == accounts;
    if (!ok)
        std::fprintf(stderr, "startup bench: %s: wait %lu, %s, %zu visible windows, %ld of %d accounts listed\n",
                     exe.c_str(), wait, exitCode == STILL_ACTIVE ? "running" : "ended", search.windows.size(),
                     static_cast<long>(listed), accounts);

    // Close it the way a user would; only a program that will not go is killed.
    for (HWND w : search.windows) PostMessageA(w, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 1);
        WaitForSingleObject(pi.hProcess, 10000);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return ok ? elapsed : -1;
}

void RemoveAccounts() { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kProductKey); }

bool PutAccounts(int count, bool withLog) {
    RemoveAccounts();
    HKEY product = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProductKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &product, nullptr))
        return false;
    bool ok = true;
    for (int i = 0; i < count && ok; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "user%06d@example.com", i);
        HKEY account = nullptr;
        ok = RegCreateKeyExA(product, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &account, nullptr) == 0;
        if (ok && withLog) RegSetValueExA(account, "Log", 0, REG_SZ, reinterpret_cast<const BYTE*>("0"), 2);
        if (account) RegCloseKey(account);
    }
    RegCloseKey(product);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <GT3ErrLog.exe> <dialog window exe> [reps [--startup-only]]\n", argv[0]);
        return 2;
    }
    const std::string app = argv[1], dialog = argv[2];
    const int reps = argc > 3 ? std::atoi(argv[3]) : 31;
    const bool startupOnly = argc > 4 && std::string(argv[4]) == "--startup-only";
    bool ok = true;

    // A handful of accounts, as on a real machine.
    constexpr int kAccounts = 5, kManyAccounts = 100000;
    if (!PutAccounts(kAccounts, true)) {
        std::fprintf(stderr, "startup bench: cannot write the accounts\n");
        return 2;
    }
    // Warm-up (the prefix's first window start is slow), then alternating rounds.
    TimeToIdle(app, kAccounts);
    TimeToIdle(dialog, kAccounts);
    std::vector<double> appMs, dialogMs, pairRatios;
    for (int i = 0; i < reps && ok; ++i) {
        double a = 0, b = 0;
        if (i % 2 == 0) {
            a = TimeToIdle(app, kAccounts);
            b = TimeToIdle(dialog, kAccounts);
        } else {
            b = TimeToIdle(dialog, kAccounts);
            a = TimeToIdle(app, kAccounts);
        }
        if (a < 0 || b < 0) ok = false;
        appMs.push_back(a);
        dialogMs.push_back(b);
        pairRatios.push_back(a / b);
    }
    if (ok) {
        // The median of the rounds' own ratios is printed too: when load from
        // elsewhere comes and goes during the run, it shows how far the ratio of
        // the medians can be trusted.
        char line[320];
        std::snprintf(line, sizeof line,
                      "startup_to_idle: GT3ErrLog.exe %.1f ms, dialog window %.1f ms (%d accounts, median of %d "
                      "each; median ratio of the rounds %.3f)",
                      Median(appMs), Median(dialogMs), kAccounts, reps, Median(pairRatios));
        PrintFigure(line);
        PrintRatio("startup_to_idle", Median(appMs) / Median(dialogMs), 1.0);
    }

    // Bad input in bulk: the window loading 100,000 accounts.
    const double fillStart = NowMs();
    if (startupOnly) {
        // nothing more
    } else if (ok && PutAccounts(kManyAccounts, false)) {
        const double fillMs = NowMs() - fillStart;
        std::vector<double> loadMs;
        for (int i = 0; i < 3 && ok; ++i) {
            const double ms = TimeToIdle(app, kManyAccounts);
            ok = ms >= 0;
            loadMs.push_back(ms);
        }
        if (ok) {
            char line[256];
            std::snprintf(line, sizeof line,
                          "load_100k_accounts: GT3ErrLog.exe %.1f ms to first idle with 100,000 accounts "
                          "(median of 3; %.1f ms over the dialog window with 5; writing them took %.0f ms)",
                          Median(loadMs), Median(loadMs) - Median(dialogMs), fillMs);
            PrintFigure(line);
        }
    } else {
        ok = false;
    }
    RemoveAccounts();
    return ok ? 0 : 1;
}
