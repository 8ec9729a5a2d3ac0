// Drives a running GT3ErrLog.exe from outside, for scripts/run's screenshot: the
// program itself takes no command line. Window messages only, as a user's
// pick would arrive.
//   gt3_screenshot_driver pick    wait for the window, pick the first account,
//                                 print the window's screen rectangle "x y width height"
//   gt3_screenshot_driver close   close the window
// Exit code 0 on success, 1 when the window did not appear in time.

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "app/Layout.h"
#include "app/MainWindow_win32.h"

namespace {

using gt3::app::MainWindow;
using gt3::app::layout::Control;

HWND WaitForWindow(DWORD timeoutMs) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
        HWND window = FindWindowW(MainWindow::kClassName, nullptr);
        if (window && IsWindowVisible(window)) return window;
        Sleep(100);
    }
    return nullptr;
}

int Pick(HWND window) {
    HWND combo = GetDlgItem(window, MainWindow::ControlId(Control::comEmail));
    if (SendMessageW(combo, CB_GETCOUNT, 0, 0) > 0) {
        SendMessageW(combo, CB_SETCURSEL, 0, 0);
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(MainWindow::ControlId(Control::comEmail), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(combo));
    }
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    RECT r{};
    GetWindowRect(window, &r);
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const bool close = argc > 1 && std::strcmp(argv[1], "close") == 0;
    HWND window = WaitForWindow(close ? 2000 : 60000);
    if (!window) {
        std::fprintf(stderr, "gt3_screenshot_driver: no GT3ErrLog window\n");
        return 1;
    }
    if (close) {
        PostMessageW(window, WM_CLOSE, 0, 0);
        return 0;
    }
    return Pick(window);
}
