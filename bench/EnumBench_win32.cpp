// Benchmarks 1 and 2 on the platform registry (Windows build, run under Wine).
// The scratch key lives in HKCU of the benchmark's own prefix and is removed
// before and after, so a run that was killed half-way does not skew the next.
#include <windows.h>

#include <cstdio>
#include <exception>

#include "EnumBench.h"
#include "registry/Win32RegistryStore.h"

namespace {
constexpr const char* kScratch = "Software\\GT3Bench";

void RemoveScratch() { RegDeleteTreeA(HKEY_CURRENT_USER, kScratch), RegDeleteKeyA(HKEY_CURRENT_USER, kScratch); }
}  // namespace

int main() {
    int rc = 2;
    try {
        RemoveScratch();
        gt3::Win32RegistryStore store;
        const gt3::bench::EnumBenchSetup setup{store, gt3::root::kCurrentUser, kScratch, "win32", 10000, 1000, 11, 21};
        gt3::bench::PopulateEnumBench(setup);
        rc = gt3::bench::RunEnumBench(setup) ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "enum bench (win32): %s\n", e.what());
    }
    RemoveScratch();
    return rc;
}
