#pragma once
// Benchmarks 1 and 2: the registry class's two enumerations against the plain
// store loop a caller would write by hand, on whichever store is handed in.

#include <string>

#include "registry/RegistryStore.h"

namespace gt3::bench {

struct EnumBenchSetup {
    RegistryStore& store;
    RegHandle root;        // a predefined root of that store
    std::string basePath;  // scratch key below root; created by the benchmark
    std::string label;     // "memory" or "win32": part of the RATIO names
    int keyCount = 10000;
    int valueCount = 1000;
    int keyReps = 21;
    int valueReps = 41;
};

// Fills basePath\Keys with keyCount sub-keys and basePath\Values with valueCount
// values of mixed types through the store's own calls. The caller clears up.
void PopulateEnumBench(const EnumBenchSetup& setup);

// Times both enumerations against their plain loops and prints the RATIO lines
// and the absolute figures. Returns false when a side listed something different.
bool RunEnumBench(const EnumBenchSetup& setup);

}  // namespace gt3::bench
