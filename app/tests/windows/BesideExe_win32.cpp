// A DLL that exists only beside the test programs: no system folder has one by
// its name, so finding it by bare name means the exe's folder was searched.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
