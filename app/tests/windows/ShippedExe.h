#pragma once
// Where the tests find GT3ErrLog.exe.
//
// ProgramPath: the exe of this build, beside the test programs' folder; the tests
// that start the program start this one.
// ShippedExePath: the exe whose image the tests read (machine, imports, manifest,
// version record). It is the same file, except where the tests run from the
// 64-bit test build because the kernel cannot run 32-bit programs: scripts/test
// then names the 32-bit exe it built in GT3_PRODUCT_EXE.

#include <windows.h>

#include <cstdlib>
#include <string>

namespace gt3::test {

inline std::wstring ProgramPath() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring path(self);
    return path.substr(0, path.find_last_of(L"\\/")) + L"\\..\\GT3ErrLog.exe";
}

inline std::wstring ShippedExePath() {
    const wchar_t* named = _wgetenv(L"GT3_PRODUCT_EXE");
    if (!named || !*named) return ProgramPath();
    // A path from the Linux side (scripts/test under Wine) is reached through Z:,
    // Wine's drive for the Unix root.
    return named[0] == L'/' ? std::wstring(L"Z:") + named : std::wstring(named);
}

}  // namespace gt3::test
