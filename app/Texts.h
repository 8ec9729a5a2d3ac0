#pragma once
// Every text the user can see, in one place.

#include <string_view>

#include "res/resource.h"

namespace gt3::app::text {

// The main window.
inline constexpr std::wstring_view kWindowCaption = L"Glimtrove 3  -  Error Log Enabler";
inline constexpr std::wstring_view kInstruction = L"Select your Email Address from below";
inline constexpr std::wstring_view kEnableButton = L"&Enable Logging";
inline constexpr std::wstring_view kDisableButton = L"&Disable Logging";
inline constexpr std::wstring_view kReloadButton = L"Reload Plugins";
// What a screen reader says for the logo: the words in the picture.
inline constexpr std::wstring_view kLogoName = L"Glimtrove 3 Error Log Enabler";

// The state label.
inline constexpr std::wstring_view kLoggingEnabled = L"Logging Enabled";
inline constexpr std::wstring_view kLoggingDisabled = L"Logging Disabled";
inline constexpr std::wstring_view kErrorReading = L"Error Reading Settings\r\n\r\nTry Reinstalling Glimtrove 3";

// Message boxes.
inline constexpr std::wstring_view kBoxTitle = L"Glimtrove 3";
inline constexpr std::wstring_view kEnabledMessage = L"Logging Enabled\r\n\r\nReload Plugins or Restart Messenger";
inline constexpr std::wstring_view kDisabledMessage = L"Logging Disabled\r\n\r\nReload Plugins or Restart Messenger";
inline constexpr std::wstring_view kSaveFailedMessage = L"Error Saving Settings\r\n\r\nTry Running as Administrator";
inline constexpr std::wstring_view kReloadedMessage = L"Plugins Successfully Reloaded";
inline constexpr std::wstring_view kReloadFailedMessage = L"Plugins Could Not Be Reloaded\r\n\r\nRestart Messenger";

// The program's own title, as its version record gives it: the caption of the
// box that reports an error ending it.
inline constexpr std::wstring_view kProgramTitle = L"" GT3_PROGRAM_TITLE;

// The report of an error that ends the program: "Run-time error '13':" + blank line + description.
inline constexpr std::wstring_view kRunTimeErrorPrefix = L"Run-time error '";
inline constexpr std::wstring_view kRunTimeErrorSuffix = L"':\r\n\r\n";
inline constexpr std::wstring_view kOutOfMemory = L"Out of memory";
inline constexpr std::wstring_view kInternalError = L"Internal error";

}  // namespace gt3::app::text
