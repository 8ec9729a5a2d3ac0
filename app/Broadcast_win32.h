#pragma once
// The form's broadcast and message box on the platform.

#include <windows.h>

#include "FormControls.h"

namespace gt3::app {

// A registered window message posted to every top-level window.
class Win32Broadcaster final : public Broadcaster {
public:
    std::uint32_t RegisterMessage(std::string_view name) override;
    bool Post(std::uint32_t id) override;
};

// Message boxes through MsgBoxEx, owned by (and so centred on) the given window.
class Win32MessageDialog final : public MessageDialog {
public:
    void SetOwner(HWND owner) noexcept { owner_ = owner; }
    std::int32_t Show(std::wstring_view prompt, std::int32_t buttons, std::wstring_view title, std::int32_t xPos,
                      std::int32_t yPos, IconHandle icon) override;

private:
    HWND owner_ = nullptr;
};

}  // namespace gt3::app
