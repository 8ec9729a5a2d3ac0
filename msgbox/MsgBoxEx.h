#pragma once
// A modal message box placed at given screen coordinates (or centred on its
// owner on each axis given as -1) and showing a caller-supplied icon.
// Windows only.

#include <windows.h>

#include <cstdint>
#include <string>

namespace gt3 {

// Title that stands for the application's title.
inline constexpr wchar_t kAppTitleSentinel[] = L"SWVB_DEFAULT_TO_APP_TITLE";

// Shows the box owned by `owner` (nullptr: the thread's active window) and returns
// the id of the button that closed it. With hIcon != nullptr, MB_ICONINFORMATION
// is OR-ed into Buttons and the box shows hIcon instead.
std::int32_t MsgBoxEx(const std::wstring& Prompt, std::int32_t Buttons, const std::wstring& Title, std::int32_t xPos,
                      std::int32_t yPos, HICON hIcon, HWND owner = nullptr);

}  // namespace gt3
