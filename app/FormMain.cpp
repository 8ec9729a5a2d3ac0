#include "FormMain.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

#include "Layout.h"
#include "Texts.h"
#include "registry/NarrowText.h"

namespace gt3::app {

namespace {

constexpr RegHandle kSettingsRoot = root::kLocalMachine;
constexpr std::wstring_view kProductKey = L"SOFTWARE\\Quorvane\\Glimtrove";
constexpr std::wstring_view kHiddenAccount = L"Nobody";
constexpr std::wstring_view kLogValue = L"Log";
constexpr std::string_view kPluginChangeMessage = "MessengerPlus_PluginChange";

constexpr std::int32_t kOkOnly = 0;
constexpr std::int32_t kCentre = -1;

// The stored Log value as text. Raw bytes (type 3) are taken as the narrow text
// they spell, so a binary "1" reads the same as the string "1".
std::wstring LogText(const Variant& value) {
    if (value.kind() == Variant::Kind::Bytes) {
        const auto& bytes = value.AsBytes().bytes;
        return FromNarrow(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }
    return value.ToText();
}

}  // namespace

void FormMain::Form_Load() {
    objReg.emplace(store_);
    parts_.window.SetHeight(layout::kCollapsedHeight);
    blnFirstSelect = Variant::kTrue;
    List(ReadAccounts());
}

void FormMain::comEmail_Click() {
    if (blnFirstSelect == Variant::kTrue) parts_.window.SetHeight(layout::kExpandedHeight);
    blnFirstSelect = Variant::kFalse;
    ShowPicked();
}

void FormMain::Registry_Change() {
    const std::wstring picked = parts_.comEmail.Text();
    std::vector<std::wstring> accounts = ReadAccounts();
    // Key names ignore case: an account made again as "AMY" is still the pick,
    // shown in its new spelling.
    const std::wstring pickedFolded = FoldCase(picked);
    const auto found = std::find_if(accounts.begin(), accounts.end(),
                                    [&](const std::wstring& account) { return FoldCase(account) == pickedFolded; });
    const bool kept = !picked.empty() && found != accounts.end();
    if (accounts != listed_) {
        const std::ptrdiff_t index = kept ? found - accounts.begin() : -1;
        parts_.comEmail.Clear();
        List(std::move(accounts));
        parts_.comEmail.Select(index);
    }
    if (kept) ShowPicked();
    else if (!picked.empty()) ShowNothingPicked();
}

std::unique_ptr<KeyWatch> FormMain::WatchAccounts(std::function<void()> changed) {
    return store_.WatchKey(kSettingsRoot, ToNarrow(kProductKey).c_str(), std::move(changed));
}

// The product key's sub-keys in the store's order, "Nobody" left out.
std::vector<std::wstring> FormMain::ReadAccounts() {
    colAccounts = objReg->EnumRegistryKeys(kSettingsRoot, std::wstring(kProductKey));
    std::vector<std::wstring> accounts;
    accounts.reserve(colAccounts->Count());
    for (const auto& entry : *colAccounts) {
        varAccount = entry.item;
        std::wstring account = varAccount.ToText();
        if (account != kHiddenAccount) accounts.push_back(std::move(account));
    }
    colAccounts.reset();
    return accounts;
}

void FormMain::List(std::vector<std::wstring> accounts) {
    parts_.comEmail.Reserve(accounts.size());
    for (const auto& account : accounts) parts_.comEmail.AddItem(account);
    listed_ = std::move(accounts);
}

// The picked account's Log, read and shown.
void FormMain::ShowPicked() {
    SetAccountContext();

    const std::wstring strLog = LogText(objReg->GetRegistryValue(std::wstring(kLogValue)));
    const std::wstring_view first = std::wstring_view(strLog).substr(0, 1);

    if (first == L"0" || first == L"1") {
        ShowState(first == L"1");
        parts_.cmdReload.SetVisible(true);
        return;
    }
    parts_.lblLog.SetCaption(text::kErrorReading);
    parts_.lblLog.SetVisible(true);
    parts_.cmdDisable.SetVisible(false);
    parts_.cmdEnable.SetVisible(false);
    parts_.cmdReload.SetVisible(false);
}

// As at load: nothing picked, the label and the buttons hidden as designed, the
// window collapsed, and the next pick expands it again.
void FormMain::ShowNothingPicked() {
    parts_.lblLog.SetVisible(false);
    parts_.cmdDisable.SetVisible(false);
    parts_.cmdEnable.SetVisible(false);
    parts_.cmdReload.SetVisible(false);
    parts_.lblLog.SetCaption(text::kLoggingDisabled);
    parts_.cmdDisable.SetEnabled(true);
    parts_.cmdEnable.SetEnabled(true);
    parts_.window.SetHeight(layout::kCollapsedHeight);
    blnFirstSelect = Variant::kTrue;
}

void FormMain::cmdEnable_Click() { Switch(true); }

void FormMain::cmdDisable_Click() { Switch(false); }

void FormMain::cmdReload_Click() {
    const std::uint32_t id = parts_.broadcaster.RegisterMessage(kPluginChangeMessage);
    lngPluginMsg = static_cast<std::int32_t>(id);
    // Posting id 0 would broadcast WM_NULL, which reloads nothing.
    const bool posted = id != 0 && parts_.broadcaster.Post(id);
    Tell(posted ? text::kReloadedMessage : text::kReloadFailedMessage);
}

void FormMain::SetAccountContext() {
    objReg->hkey(kSettingsRoot);
    objReg->KeyRoot(std::wstring(kProductKey));
    objReg->Subkey(parts_.comEmail.Text());
}

// Label first, then the enabled states (the button that would change nothing is
// disabled first), then visibility.
void FormMain::ShowState(bool loggingOn) {
    parts_.lblLog.SetCaption(loggingOn ? text::kLoggingEnabled : text::kLoggingDisabled);
    parts_.lblLog.SetVisible(true);
    if (loggingOn) {
        parts_.cmdDisable.SetEnabled(true);
        parts_.cmdEnable.SetEnabled(false);
    } else {
        parts_.cmdDisable.SetEnabled(false);
        parts_.cmdEnable.SetEnabled(true);
    }
    parts_.cmdDisable.SetVisible(true);
    parts_.cmdEnable.SetVisible(true);
}

void FormMain::Switch(bool loggingOn) {
    SetAccountContext();
    if (!objReg->SetRegistryValue(std::wstring(kLogValue), Variant(loggingOn ? L"1" : L"0"),
                                 static_cast<std::int32_t>(regtype::kSz))) {
        // Nothing was written: leave the display as it is rather than show a state
        // the store does not hold.
        Tell(text::kSaveFailedMessage);
        return;
    }
    ShowState(loggingOn);
    Tell(loggingOn ? text::kEnabledMessage : text::kDisabledMessage);
}

void FormMain::Tell(std::wstring_view prompt) {
    parts_.box.Show(prompt, kOkOnly, text::kBoxTitle, kCentre, kCentre, parts_.window.Icon());
}

}  // namespace gt3::app
