#pragma once
// Fakes of the form's parts that record every property change, in order, in one
// shared log, so tests can check both the end state and the order of the steps.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/FormControls.h"

namespace gt3::app::test {

using EventLog = std::vector<std::wstring>;

inline std::wstring Flag(bool value) { return value ? L"1" : L"0"; }

class FakeWindow final : public FormWindow {
public:
    explicit FakeWindow(EventLog& log) : log_(log) {}
    void SetHeight(std::int32_t twips) override {
        height = twips;
        log_.push_back(L"Height=" + std::to_wstring(twips));
    }
    IconHandle Icon() const override { return kIcon; }

    static constexpr IconHandle kIcon = 0x5A17;
    std::optional<std::int32_t> height;

private:
    EventLog& log_;
};

class FakeLabel final : public LabelControl {
public:
    FakeLabel(EventLog& log, std::wstring name, std::wstring text) : caption(std::move(text)), log_(log), name_(std::move(name)) {}
    void SetCaption(std::wstring_view text) override {
        caption = text;
        log_.push_back(name_ + L".Caption=" + caption);
    }
    void SetVisible(bool value) override {
        visible = value;
        log_.push_back(name_ + L".Visible=" + Flag(value));
    }
    std::wstring caption;
    bool visible = false;

private:
    EventLog& log_;
    std::wstring name_;
};

class FakeButton final : public ButtonControl {
public:
    FakeButton(EventLog& log, std::wstring name) : log_(log), name_(std::move(name)) {}
    void SetVisible(bool value) override {
        visible = value;
        log_.push_back(name_ + L".Visible=" + Flag(value));
    }
    void SetEnabled(bool value) override {
        enabled = value;
        log_.push_back(name_ + L".Enabled=" + Flag(value));
    }
    bool visible = false;
    bool enabled = true;

private:
    EventLog& log_;
    std::wstring name_;
};

class FakeCombo final : public ComboControl {
public:
    explicit FakeCombo(EventLog& log) : log_(log) {}
    void AddItem(std::wstring_view item) override {
        items.emplace_back(item);
        log_.push_back(L"comEmail.AddItem=" + items.back());
    }
    void Clear() override {
        items.clear();
        selected.clear();
        log_.push_back(L"comEmail.Clear");
    }
    void Select(std::ptrdiff_t index) override { selected = index < 0 ? L"" : items.at(std::size_t(index)); }
    std::wstring Text() const override { return selected; }

    std::vector<std::wstring> items;
    std::wstring selected;

private:
    EventLog& log_;
};

struct BoxCall {
    std::wstring prompt;
    std::int32_t buttons;
    std::wstring title;
    std::int32_t x, y;
    IconHandle icon;
};

class FakeBox final : public MessageDialog {
public:
    explicit FakeBox(EventLog& log) : log_(log) {}
    std::int32_t Show(std::wstring_view prompt, std::int32_t buttons, std::wstring_view title, std::int32_t x,
                      std::int32_t y, IconHandle icon) override {
        calls.push_back({std::wstring(prompt), buttons, std::wstring(title), x, y, icon});
        log_.push_back(L"Box=" + calls.back().prompt);
        return 1;  // IDOK
    }
    std::vector<BoxCall> calls;

private:
    EventLog& log_;
};

class FakeBroadcaster final : public Broadcaster {
public:
    std::uint32_t RegisterMessage(std::string_view name) override {
        registered.emplace_back(name);
        return id;
    }
    bool Post(std::uint32_t message) override {
        posted.push_back(message);
        return postSucceeds;
    }
    std::uint32_t id = 0xC0DE;
    bool postSucceeds = true;
    std::vector<std::string> registered;
    std::vector<std::uint32_t> posted;
};

// Every part of the form, faked, with one log.
struct FakeFormParts {
    EventLog log;
    FakeWindow window{log};
    FakeCombo combo{log};
    FakeLabel lblLog{log, L"lblLog", L"Logging Disabled"};
    FakeButton cmdEnable{log, L"cmdEnable"}, cmdDisable{log, L"cmdDisable"}, cmdReload{log, L"cmdReload"};
    FakeBox box{log};
    FakeBroadcaster broadcaster;
    FormParts parts() { return {window, combo, lblLog, cmdEnable, cmdDisable, cmdReload, box, broadcaster}; }
};

}  // namespace gt3::app::test
