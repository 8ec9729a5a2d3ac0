#pragma once
// What the taskbar and a screen reader find of the main window, checked on a
// window of this process or of a started GT3ErrLog.exe alike. Active
// Accessibility is asked from this program, of the program's own bitness: a
// 64-bit client gets no answer for a 32-bit window under Wine.

#include <windows.h>
#include <oleacc.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/Layout.h"
#include "app/MainWindow_win32.h"

namespace gt3::app::test {

// Name or keyboard shortcut of a control as a screen reader asks for it; "" when
// it has none.
inline std::wstring Accessible(HWND control, HRESULT (STDMETHODCALLTYPE IAccessible::*property)(VARIANT, BSTR*)) {
    IAccessible* object = nullptr;
    if (AccessibleObjectFromWindow(control, DWORD(OBJID_CLIENT), __uuidof(IAccessible),
                                   reinterpret_cast<void**>(&object)) != S_OK)
        return L"(no accessible object)";
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR text = nullptr;
    std::wstring result;
    if ((object->*property)(self, &text) == S_OK && text) result = text;
    SysFreeString(text);
    object->Release();
    return result;
}

inline void ExpectFoundAndNamed(HWND window) {
    using C = layout::Control;
    const auto child = [&](C control) { return GetDlgItem(window, MainWindow::ControlId(control)); };
    // Windows gives a visible, unowned top-level window a taskbar button unless it
    // is a tool window without WS_EX_APPWINDOW. It stays a fixed tool window.
    const LONG style = GetWindowLongW(window, GWL_STYLE), ex = GetWindowLongW(window, GWL_EXSTYLE);
    EXPECT_EQ(GetWindow(window, GW_OWNER), nullptr);
    EXPECT_TRUE((ex & WS_EX_APPWINDOW) && (ex & WS_EX_TOOLWINDOW));
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));

    // The controls stand in the design's order, the z-order that the dialog keys
    // and screen readers walk, also those made after load.
    std::vector<HWND> zOrder, designed;
    for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) zOrder.push_back(c);
    for (const auto& design : layout::kControls) designed.push_back(child(design.id));
    EXPECT_EQ(zOrder, designed);

    // Windows names a combo box after the static right before it in the z-order.
    // (Wine names it by its selected entry instead, so the rule is checked here.)
    EXPECT_EQ(GetWindow(child(C::comEmail), GW_HWNDPREV), child(C::lblInfo));

    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const struct {
        C control;
        std::wstring name, shortcut;
    } named[] = {
        {C::cmdEnable, L"Enable Logging", L"Alt+E"}, {C::cmdDisable, L"Disable Logging", L"Alt+D"},
        {C::cmdReload, L"Reload Plugins", L""},      {C::lblLog, L"Logging Disabled", L""},
        {C::lblInfo, L"Select your Email Address from below", L""},
        {C::imgLogo, L"Glimtrove 3 Error Log Enabler", L""},
    };
    for (const auto& n : named) {
        SCOPED_TRACE(static_cast<int>(n.control));
        EXPECT_EQ(Accessible(child(n.control), &IAccessible::get_accName), n.name);
        EXPECT_EQ(Accessible(child(n.control), &IAccessible::get_accKeyboardShortcut), n.shortcut);
    }
    CoUninitialize();
    // Named at creation, the logo kept its picture.
    EXPECT_NE(SendMessageW(child(C::imgLogo), STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
}

}  // namespace gt3::app::test
