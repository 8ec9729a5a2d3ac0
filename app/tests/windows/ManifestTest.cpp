// Every exe of the build, read as Windows reads it before starting it: one
// manifest, resource 1, asking for highestAvailable in GT3ErrLog.exe alone and
// asInvoker everywhere else, so that an unelevated test run on a machine with UAC
// starts every test program. programs.txt (written by cmake/Manifests.cmake)
// lists them beside this program.

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/tests/windows/ShippedExe.h"

namespace gt3::app {
namespace {

const auto kManifest = MAKEINTRESOURCEW(24);  // RT_MANIFEST, wide

std::wstring OwnFolder() {
    std::wstring path(MAX_PATH, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

BOOL CALLBACK CountName(HMODULE, LPCWSTR, LPWSTR, LONG_PTR count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

// The manifests an exe carries: their number, and the text of resource 1.
struct Manifests {
    int count = 0;
    std::string first;
};

Manifests ReadManifests(const std::wstring& exe) {
    Manifests found;
    HMODULE image = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!image) return found;
    EnumResourceNamesW(image, kManifest, CountName, reinterpret_cast<LONG_PTR>(&found.count));
    if (HRSRC resource = FindResourceW(image, MAKEINTRESOURCEW(1), kManifest))
        found.first.assign(static_cast<const char*>(LockResource(LoadResource(image, resource))),
                           SizeofResource(image, resource));
    FreeLibrary(image);
    return found;
}

TEST(Manifests, EveryProgramAsksForItsOwnLevelAndOnlyGT3ErrLogForMore) {
    std::ifstream list(std::filesystem::path(OwnFolder() + L"programs.txt"));
    ASSERT_TRUE(list) << "programs.txt is missing beside the test program";
    std::string path, level;
    std::vector<std::string> seen;
    while (list >> path >> level) {
        SCOPED_TRACE(path);
        seen.push_back(path.substr(path.find_last_of('/') + 1) + " " + level);
        const std::wstring exe = gt3::test::WindowsPath(OwnFolder() + std::wstring(path.begin(), path.end()));
        const Manifests manifests = ReadManifests(exe);
        EXPECT_EQ(manifests.count, 1) << "a second manifest (a linker's own?) or none";
        EXPECT_NE(manifests.first.find("<requestedExecutionLevel level=\"" + level + "\""), std::string::npos)
            << manifests.first;
        EXPECT_EQ(level == "highestAvailable", path.ends_with("GT3ErrLog.exe"));
    }
    EXPECT_NE(std::find(seen.begin(), seen.end(), "GT3ErrLog.exe highestAvailable"), seen.end());
    EXPECT_NE(std::find(seen.begin(), seen.end(), "app_windows_tests.exe asInvoker"), seen.end());
}

}  // namespace
}  // namespace gt3::app
