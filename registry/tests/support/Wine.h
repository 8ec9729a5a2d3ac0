#pragma once
// Whether the Windows tests run under Wine or on Windows itself. Wine is a second
// implementation: a case that holds only there skips elsewhere with the reason,
// and an instrument that needs a Wine-only fallback uses it only there.

#include <windows.h>

namespace gt3::test {

inline bool UnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

}  // namespace gt3::test
