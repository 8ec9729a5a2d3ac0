// Benchmarks 1 and 2 on the in-memory store (native build).
#include <cstdio>
#include <exception>

#include "EnumBench.h"
#include "registry/MemoryRegistryStore.h"

int main() {
    try {
        gt3::MemoryRegistryStore store;
        store.SetEnvironmentVariable("SystemRoot", "C:\\windows");
        const gt3::bench::EnumBenchSetup setup{store, gt3::root::kCurrentUser, "Software\\GT3Bench", "memory"};
        gt3::bench::PopulateEnumBench(setup);
        return gt3::bench::RunEnumBench(setup) ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "enum bench (memory): %s\n", e.what());
        return 2;
    }
}
