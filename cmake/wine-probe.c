/* Proves that this machine runs 32-bit Windows programs under Wine as the tests
   need them: a 32-bit process inside 64-bit Windows (WoW64) that can start and
   join a second thread. Prints one line and exits 0 when all holds. */
#include <windows.h>
#include <stdio.h>

static DWORD WINAPI Second(void *counter) {
    InterlockedIncrement((LONG *)counter);
    return 7;
}

int main(void) {
    typedef BOOL(WINAPI * IsWow64)(HANDLE, PBOOL);
    IsWow64 isWow64 = (IsWow64)(void *)GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process");
    BOOL wow64 = FALSE;
    LONG counter = 0;
    DWORD code = 0;
    HANDLE thread;
    if (!isWow64 || !isWow64(GetCurrentProcess(), &wow64)) wow64 = FALSE;
    thread = CreateThread(NULL, 0, Second, &counter, 0, NULL);
    if (thread) {
        WaitForSingleObject(thread, INFINITE);
        GetExitCodeThread(thread, &code);
        CloseHandle(thread);
    }
    printf("gt3-wine-probe bits=%u wow64=%d thread=%ld/%lu\n", (unsigned)(8 * sizeof(void *)), (int)wow64,
           (long)counter, (unsigned long)code);
    return sizeof(void *) == 4 && wow64 && counter == 1 && code == 7 ? 0 : 1;
}
