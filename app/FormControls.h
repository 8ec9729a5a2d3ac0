#pragma once
// What the form's handlers need of the window, its controls, the message box and
// the broadcast. The Win32 layer implements these with real controls; tests with fakes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace gt3::app {

// A platform icon handle, carried opaquely.
using IconHandle = std::uintptr_t;

class FormWindow {
public:
    virtual ~FormWindow() = default;
    virtual void SetHeight(std::int32_t twips) = 0;  // outer height; the width stays
    virtual IconHandle Icon() const = 0;              // the window's own icon
};

class LabelControl {
public:
    virtual ~LabelControl() = default;
    virtual void SetCaption(std::wstring_view caption) = 0;
    virtual void SetVisible(bool visible) = 0;
};

class ButtonControl {
public:
    virtual ~ButtonControl() = default;
    virtual void SetVisible(bool visible) = 0;
    virtual void SetEnabled(bool enabled) = 0;
};

class ComboControl {
public:
    virtual ~ComboControl() = default;
    virtual void AddItem(std::wstring_view item) = 0;  // appends; the list is not sorted
    virtual void Reserve(std::size_t /*items*/) {}      // a hint before many AddItem calls
    virtual void Clear() = 0;                           // no entries, nothing selected
    virtual void Select(std::ptrdiff_t index) = 0;      // -1: nothing; no click follows
    virtual std::wstring Text() const = 0;             // the selected entry, "" when none
};

class MessageDialog {
public:
    virtual ~MessageDialog() = default;
    // Modal; returns the id of the button that closed it.
    virtual std::int32_t Show(std::wstring_view prompt, std::int32_t buttons, std::wstring_view title,
                              std::int32_t xPos, std::int32_t yPos, IconHandle icon) = 0;
};

class Broadcaster {
public:
    virtual ~Broadcaster() = default;
    // The id the platform gives the message name; 0 on failure.
    virtual std::uint32_t RegisterMessage(std::string_view name) = 0;
    // Posts the message to every top-level window with both parameters 0; false on failure.
    virtual bool Post(std::uint32_t id) = 0;
};

// The parts of the form the handlers work on.
struct FormParts {
    FormWindow& window;
    ComboControl& comEmail;
    LabelControl& lblLog;
    ButtonControl& cmdEnable;
    ButtonControl& cmdDisable;
    ButtonControl& cmdReload;
    MessageDialog& box;
    Broadcaster& broadcaster;
};

}  // namespace gt3::app
