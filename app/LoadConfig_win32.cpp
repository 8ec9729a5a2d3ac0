// The image's load configuration, for GNU ld: it links this structure but does
// not point the PE header's load-configuration directory at it, so
// cmake/pe-load-config.py does that after the link. (Microsoft's linker takes
// the C runtime's own structure and fills it from /DEPENDENTLOADFLAG.)

#include <windows.h>

namespace {

constexpr IMAGE_LOAD_CONFIG_DIRECTORY32 LoadConfig() {
    IMAGE_LOAD_CONFIG_DIRECTORY32 config{};
    config.Size = sizeof config;
    // DependentLoadFlags in newer headers: the static imports' own dependencies
    // come from System32 only (Windows 10 1607 and later; older ones ignore it).
    config.Reserved1 = LOAD_LIBRARY_SEARCH_SYSTEM32;
    return config;
}

}  // namespace

// On x86 the linker sees the C name as __load_config_used, the name Windows'
// tools give this structure.
extern "C" constinit const IMAGE_LOAD_CONFIG_DIRECTORY32 _load_config_used = LoadConfig();
