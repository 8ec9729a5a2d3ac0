// The image's load configuration, for GNU ld: it links this structure but does
// not point the PE header's load-configuration directory at it, so
// cmake/pe-load-config.py does that after the link. (Microsoft's linker takes
// the C runtime's own structure and fills it from /DEPENDENTLOADFLAG.)

#include <windows.h>

#include <cstddef>

namespace {

// The PE format's 32-bit layout, up to the safe exception handler table.
// Spelled out here because headers differ: older MinGW-w64 ones name
// DependentLoadFlags Reserved1, newer ones add fields after SEHandlerCount.
struct LoadConfig32 {
    DWORD Size, TimeDateStamp;
    WORD MajorVersion, MinorVersion;
    DWORD GlobalFlagsClear, GlobalFlagsSet, CriticalSectionDefaultTimeout, DeCommitFreeBlockThreshold,
        DeCommitTotalFreeThreshold, LockPrefixTable, MaximumAllocationSize, VirtualMemoryThreshold, ProcessHeapFlags,
        ProcessAffinityMask;
    WORD CSDVersion, DependentLoadFlags;
    DWORD EditList, SecurityCookie, SEHandlerTable, SEHandlerCount;
};
static_assert(offsetof(LoadConfig32, DependentLoadFlags) == 54 && sizeof(LoadConfig32) == 72);

constexpr LoadConfig32 LoadConfig() {
    LoadConfig32 config{};
    config.Size = sizeof config;
    // The exe's statically linked imports are resolved from System32 only
    // (Windows 10 1607 and later; older ones ignore the field).
    config.DependentLoadFlags = LOAD_LIBRARY_SEARCH_SYSTEM32;
    return config;
}

}  // namespace

// On x86 the linker sees the C name as __load_config_used, the name Windows'
// tools give this structure. Everything not set is zero: no safe exception
// handler table (so none is checked), no security cookie, no control-flow guard.
extern "C" constinit const LoadConfig32 _load_config_used = LoadConfig();
