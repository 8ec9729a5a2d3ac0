#pragma once
// Where the tests find GT3ErrLog.exe: the exe of this build, the one that ships,
// beside the test programs' folder. The tests that start the program start this
// one, and those that read its image (machine, imports, manifest, version record)
// read it.

#include <windows.h>

#include <string>

namespace gt3::test {

inline std::wstring ProgramPath() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring path(self);
    return path.substr(0, path.find_last_of(L"\\/")) + L"\\..\\GT3ErrLog.exe";
}

}  // namespace gt3::test
