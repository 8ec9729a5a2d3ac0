// GT3ErrLog.exe: the main window is the whole program. It has no command line,
// and it ignores the launcher's show command (see MainWindow::Create).

#include <windows.h>

#include "DllSearch_win32.h"
#include "MainWindow_win32.h"
#include "registry/Win32RegistryStore.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Before anything can load a DLL by name: an administrator's run must not
    // pick one up from the folder the exe was saved in.
    gt3::app::LoadDllsFromSystem32Only();
    gt3::app::MainWindow window(instance, gt3::PlatformRegistryStore());
    if (!window.Create()) return window.exitCode() ? window.exitCode() : 1;
    return window.Run();
}
