#include "Broadcast_win32.h"

#include <string>

#include "msgbox/MsgBoxEx.h"

namespace gt3::app {

std::uint32_t Win32Broadcaster::RegisterMessage(std::string_view name) {
    return RegisterWindowMessageA(std::string(name).c_str());
}

bool Win32Broadcaster::Post(std::uint32_t id) { return PostMessageA(HWND_BROADCAST, id, 0, 0) != FALSE; }

std::int32_t Win32MessageDialog::Show(std::wstring_view prompt, std::int32_t buttons, std::wstring_view title,
                                      std::int32_t xPos, std::int32_t yPos, IconHandle icon) {
    return MsgBoxEx(std::wstring(prompt), buttons, std::wstring(title), xPos, yPos, reinterpret_cast<HICON>(icon),
                    owner_);
}

}  // namespace gt3::app
