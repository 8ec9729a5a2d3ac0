#pragma once
// Where the tests find GT3ErrLog.exe: the exe of this build, the one that ships,
// at the path the build gave it (GT3_PROGRAM). Its folder depends on the build's
// generator: a multi-configuration build (Visual Studio) keeps one per
// configuration. The tests that start the program start this one, and those that
// read its image (machine, imports, manifest, version record) read it.

#include <windows.h>

#include <algorithm>
#include <string>

namespace gt3::test {

// The build writes its paths with forward slashes; LoadLibraryExW's
// documentation asks for backslashes.
inline std::wstring WindowsPath(std::wstring path) {
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

inline std::wstring ProgramPath() { return WindowsPath(L"" GT3_PROGRAM); }

}  // namespace gt3::test
