#pragma once
// The main window's form: its form-level state and its event handlers. Each
// handler works its steps in a fixed order on the parts it is given; nothing here
// knows the platform.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FormControls.h"
#include "registry/Collection.h"
#include "registry/RegistryRoutines.h"
#include "registry/RegistryStore.h"
#include "registry/Variant.h"

namespace gt3::app {

// How long the window lets a change in the registry wait for the ones that follow
// it before it shows them all with one Registry_Change.
inline constexpr unsigned kRefreshDelayMs = 150;

class FormMain {
public:
    // `store` is what objReg reads and writes; it must outlive the form.
    FormMain(RegistryStore& store, const FormParts& parts) noexcept : store_(store), parts_(parts) {}

    void Form_Load();
    void comEmail_Click();
    void cmdEnable_Click();
    void cmdDisable_Click();
    void cmdReload_Click();
    // The accounts changed in the registry while the window is open: the list
    // again, the pick kept by name and shown as a pick shows it; the picked
    // account gone, the state at load. Writes nothing and broadcasts nothing.
    void Registry_Change();

    // A watch on the accounts' key: `changed` hears of every change below it.
    std::unique_ptr<KeyWatch> WatchAccounts(std::function<void()> changed);

    // Read-only views of the form-level state.
    const RegistryRoutines* registry() const noexcept { return objReg ? &*objReg : nullptr; }
    bool holdsAccounts() const noexcept { return colAccounts.has_value(); }
    const Variant& lastAccount() const noexcept { return varAccount; }
    std::int32_t pluginMessage() const noexcept { return lngPluginMsg; }
    std::int16_t firstSelect() const noexcept { return blnFirstSelect; }

private:
    std::vector<std::wstring> ReadAccounts();
    void List(std::vector<std::wstring> accounts);
    void ShowPicked();
    void ShowNothingPicked();
    void SetAccountContext();
    void ShowState(bool loggingOn);
    void Switch(bool loggingOn);
    void Tell(std::wstring_view prompt);

    RegistryStore& store_;
    FormParts parts_;

    std::optional<RegistryRoutines> objReg;
    std::optional<Collection> colAccounts;
    Variant varAccount;
    std::int32_t lngPluginMsg = 0;
    std::int16_t blnFirstSelect = Variant::kFalse;  // True is -1
    std::vector<std::wstring> listed_;               // what comEmail lists, in its order
};

}  // namespace gt3::app
