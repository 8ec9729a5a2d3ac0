#pragma once
// A message box's icon control, found by what it is (a static control of the
// icon type), not by the lookup the code under test uses: a check that used the
// same lookup would pass on the wrong control.

#include <windows.h>

#include <cwchar>

namespace gt3::test {

// A named CALLBACK function: on x86 the enumeration calls it as stdcall.
inline BOOL CALLBACK TakeIconControl(HWND child, LPARAM out) {
    wchar_t name[16] = {};
    GetClassNameW(child, name, 16);
    if (_wcsicmp(name, L"Static") != 0 || (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) return TRUE;
    *reinterpret_cast<HWND*>(out) = child;
    return FALSE;
}

inline HWND IconControlOf(HWND box) {
    HWND found = nullptr;
    EnumChildWindows(box, TakeIconControl, reinterpret_cast<LPARAM>(&found));
    return found;
}

}  // namespace gt3::test
