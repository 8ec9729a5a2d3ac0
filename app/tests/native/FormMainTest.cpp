// The form's handlers against the in-memory registry and recording fakes.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "FormFakes.h"
#include "app/FormMain.h"
#include "registry/tests/support/MemoryStoreFixture.h"

namespace gt3::app::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr RegHandle kHklm = root::kLocalMachine;
constexpr char kProduct[] = "SOFTWARE\\Quorvane\\Glimtrove";
constexpr wchar_t kErrorText[] = L"Error Reading Settings\r\n\r\nTry Reinstalling Glimtrove 3";

std::string AccountPath(const std::string& account) { return std::string(kProduct) + "\\" + account; }

class FormTest : public gt3::test::MemoryStoreTest, public FakeFormParts {
protected:
    void AddAccount(const std::string& name) { store.PutKey(kHklm, AccountPath(name)); }
    void AddAccount(const std::string& name, const std::string& log) {
        store.PutString(kHklm, AccountPath(name), "Log", log);
    }

    // Loads the form and forgets what loading logged.
    void Load() {
        form.Form_Load();
        log.clear();
    }
    void Pick(const std::wstring& account) {
        combo.selected = account;
        form.comEmail_Click();
    }
    std::optional<std::string> StoredLog(const std::string& account) const {
        auto value = store.GetValue(kHklm, AccountPath(account), "Log");
        if (!value) return std::nullopt;
        EXPECT_EQ(value->type, regtype::kSz);
        return std::string(value->data.begin(), value->data.end());
    }

    FormMain form{store, parts()};
};

// --- Loading --------------------------------------------------------------------

struct ListCase {
    const char* name;
    std::vector<std::string> keys;
    std::vector<std::wstring> listed;
};

void PrintTo(const ListCase& c, std::ostream* os) { *os << c.name; }

class LoadList : public FormTest, public ::testing::WithParamInterface<ListCase> {};

TEST_P(LoadList, ListsSubKeysInStoreOrderLeavingOutExactlyNobody) {
    store.PutKey(kHklm, kProduct);
    for (const auto& key : GetParam().keys) AddAccount(key);
    form.Form_Load();
    EXPECT_EQ(combo.items, GetParam().listed);
    EXPECT_EQ(window.height, 2850);
    EXPECT_EQ(log.front(), L"Height=2850") << "collapsed before the list is filled";
    EXPECT_TRUE(box.calls.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Accounts, LoadList,
    ::testing::Values(
        ListCase{"None", {}, {}}, ListCase{"OnlyNobody", {"Nobody"}, {}},
        ListCase{"NobodyAndAlpha", {"Nobody", "alpha@example.com"}, {L"alpha@example.com"}},
        ListCase{"LowerCaseNobodyIsListed", {"nobody", "alpha"}, {L"alpha", L"nobody"}},
        ListCase{"UpperCaseNobodyIsListed", {"NOBODY"}, {L"NOBODY"}},
        // The memory store enumerates in case-insensitive order, as the platform does;
        // the list keeps that order and the names' spelling.
        ListCase{"StoreOrderAndSpelling", {"zed@Mail.example", "Bob@example.com", "amy@example.com"},
                 {L"amy@example.com", L"Bob@example.com", L"zed@Mail.example"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FormTest, MissingProductKeyGivesAnEmptyCollapsedWindowAndNoMessage) {
    form.Form_Load();
    EXPECT_THAT(combo.items, IsEmpty());
    EXPECT_THAT(log, ElementsAre(L"Height=2850"));
    EXPECT_TRUE(box.calls.empty());
}

TEST_F(FormTest, StateAfterLoading) {
    AddAccount("alpha", "1");
    EXPECT_EQ(form.registry(), nullptr);
    form.Form_Load();
    EXPECT_EQ(form.firstSelect(), -1);
    EXPECT_FALSE(form.holdsAccounts());
    EXPECT_EQ(form.pluginMessage(), 0);
    ASSERT_NE(form.registry(), nullptr);
    EXPECT_EQ(form.registry()->hkey(), 0);
    EXPECT_EQ(form.registry()->KeyRoot(), L"");
    EXPECT_EQ(form.registry()->Subkey(), L"");
    EXPECT_EQ(combo.Text(), L"") << "nothing selected";
    EXPECT_EQ(store.CallCount(MemoryRegistryStore::Call::Query), 0u) << "no account is read before a pick";
}

// --- Picking an account -------------------------------------------------------

struct PickCase {
    const char* name;
    std::function<void(MemoryRegistryStore&, const std::string& path)> seed;
    enum { Off, On, Unreadable } shows;
};

void Text(MemoryRegistryStore& s, const std::string& p, const char* t) { s.PutString(kHklm, p, "Log", t); }

const PickCase kPickCases[] = {
    {"Zero", [](auto& s, auto& p) { Text(s, p, "0"); }, PickCase::Off},
    {"One", [](auto& s, auto& p) { Text(s, p, "1"); }, PickCase::On},
    {"TenReadsAsOn", [](auto& s, auto& p) { Text(s, p, "10"); }, PickCase::On},
    {"OneXReadsAsOn", [](auto& s, auto& p) { Text(s, p, "1x"); }, PickCase::On},
    {"ZeroXReadsAsOff", [](auto& s, auto& p) { Text(s, p, "0x"); }, PickCase::Off},
    {"LeadingBlankIsUnreadable", [](auto& s, auto& p) { Text(s, p, " 1"); }, PickCase::Unreadable},
    {"EmptyText", [](auto& s, auto& p) { Text(s, p, ""); }, PickCase::Unreadable},
    {"OtherText", [](auto& s, auto& p) { Text(s, p, "yes"); }, PickCase::Unreadable},
    {"Absent", [](auto& s, auto& p) { s.PutKey(kHklm, p); }, PickCase::Unreadable},
    {"AccountKeyGone", [](auto&, auto&) {}, PickCase::Unreadable},
    {"DwordOne", [](auto& s, auto& p) { s.PutDword(kHklm, p, "Log", 1); }, PickCase::On},
    {"DwordZero", [](auto& s, auto& p) { s.PutDword(kHklm, p, "Log", 0); }, PickCase::Off},
    {"DwordTen", [](auto& s, auto& p) { s.PutDword(kHklm, p, "Log", 10); }, PickCase::On},
    {"NegativeDwordIsUnreadable", [](auto& s, auto& p) { s.PutDword(kHklm, p, "Log", 0xFFFFFFFFu); },
     PickCase::Unreadable},
    {"BinaryOneReadsAsText", [](auto& s, auto& p) { s.PutValue(kHklm, p, "Log", regtype::kBinary, {'1'}); },
     PickCase::On},
    {"BinaryZeroReadsAsText", [](auto& s, auto& p) { s.PutValue(kHklm, p, "Log", regtype::kBinary, {'0', 0}); },
     PickCase::Off},
    {"BinaryByteOneIsUnreadable", [](auto& s, auto& p) { s.PutValue(kHklm, p, "Log", regtype::kBinary, {1}); },
     PickCase::Unreadable},
    {"ExpandStringIsUnreadable",
     [](auto& s, auto& p) { s.PutValue(kHklm, p, "Log", regtype::kExpandSz, {'1', 0}); }, PickCase::Unreadable},
    {"MultiStringOne", [](auto& s, auto& p) { s.PutValue(kHklm, p, "Log", regtype::kMultiSz, {'1', 0, 0}); },
     PickCase::On},
};

void PrintTo(const PickCase& c, std::ostream* os) { *os << c.name; }

class PickAccount : public FormTest, public ::testing::WithParamInterface<PickCase> {};

TEST_P(PickAccount, ShowsTheStateOfTheFirstCharacter) {
    AddAccount("a@example.com", "1");  // so the product key exists
    GetParam().seed(store, AccountPath("b@example.com"));
    Load();
    Pick(L"b@example.com");

    const std::wstring heightStep = L"Height=4500";
    switch (GetParam().shows) {
    case PickCase::Off:
        EXPECT_THAT(log, ElementsAre(heightStep, L"lblLog.Caption=Logging Disabled", L"lblLog.Visible=1",
                                     L"cmdDisable.Enabled=0", L"cmdEnable.Enabled=1", L"cmdDisable.Visible=1",
                                     L"cmdEnable.Visible=1", L"cmdReload.Visible=1"));
        break;
    case PickCase::On:
        EXPECT_THAT(log, ElementsAre(heightStep, L"lblLog.Caption=Logging Enabled", L"lblLog.Visible=1",
                                     L"cmdDisable.Enabled=1", L"cmdEnable.Enabled=0", L"cmdDisable.Visible=1",
                                     L"cmdEnable.Visible=1", L"cmdReload.Visible=1"));
        break;
    case PickCase::Unreadable:
        EXPECT_THAT(log, ElementsAre(heightStep, std::wstring(L"lblLog.Caption=") + kErrorText,
                                     L"lblLog.Visible=1", L"cmdDisable.Visible=0", L"cmdEnable.Visible=0",
                                     L"cmdReload.Visible=0"));
        break;
    }
    EXPECT_TRUE(box.calls.empty()) << "a pick shows no message";
    EXPECT_EQ(form.firstSelect(), 0);
    EXPECT_EQ(form.registry()->hkey(), root::kLocalMachine);
    EXPECT_EQ(form.registry()->KeyRoot(), L"SOFTWARE\\Quorvane\\Glimtrove");
    EXPECT_EQ(form.registry()->Subkey(), L"b@example.com");
    EXPECT_EQ(store.CallCount(MemoryRegistryStore::Call::Set), 0u) << "a pick never writes";
}

INSTANTIATE_TEST_SUITE_P(LogValues, PickAccount, ::testing::ValuesIn(kPickCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FormTest, WindowGrowsOnTheFirstPickOnlyWhateverItsOutcome) {
    AddAccount("gone");
    AddAccount("on", "1");
    Load();
    Pick(L"gone");
    Pick(L"on");
    Pick(L"gone");
    EXPECT_EQ(std::count(log.begin(), log.end(), L"Height=4500"), 1);
    EXPECT_EQ(log.front(), L"Height=4500");
    EXPECT_EQ(window.height, 4500);
}

TEST_F(FormTest, UnreadableKeepsEnabledStatesAndAReadablePickRestoresTheButtons) {
    AddAccount("off", "0");
    AddAccount("unset");
    AddAccount("on", "1");
    Load();
    Pick(L"off");
    Pick(L"unset");
    EXPECT_EQ(lblLog.caption, kErrorText);
    EXPECT_FALSE(cmdEnable.visible || cmdDisable.visible || cmdReload.visible);
    EXPECT_TRUE(cmdEnable.enabled) << "hidden, enabled state as before";
    EXPECT_FALSE(cmdDisable.enabled) << "hidden, enabled state as before";

    Pick(L"on");
    EXPECT_EQ(lblLog.caption, L"Logging Enabled");
    EXPECT_TRUE(lblLog.visible && cmdEnable.visible && cmdDisable.visible && cmdReload.visible);
    EXPECT_FALSE(cmdEnable.enabled);
    EXPECT_TRUE(cmdDisable.enabled);
}

TEST_F(FormTest, EachPickReadsTheStoreAgain) {
    AddAccount("a", "0");
    Load();
    Pick(L"a");
    EXPECT_EQ(lblLog.caption, L"Logging Disabled");
    store.PutString(kHklm, AccountPath("a"), "Log", "1");
    Pick(L"a");
    EXPECT_EQ(lblLog.caption, L"Logging Enabled");
}

// --- The switch buttons ---------------------------------------------------------

struct SwitchCase {
    const char* name;
    const char* before;
    void (FormMain::*press)();
    const char* written;
    std::vector<std::wstring> steps;
    const wchar_t* message;
};

const SwitchCase kSwitchCases[] = {
    {"Enable", "0", &FormMain::cmdEnable_Click, "1",
     {L"lblLog.Caption=Logging Enabled", L"lblLog.Visible=1", L"cmdDisable.Enabled=1", L"cmdEnable.Enabled=0",
      L"cmdDisable.Visible=1", L"cmdEnable.Visible=1",
      L"Box=Logging Enabled\r\n\r\nReload Plugins or Restart Messenger"},
     L"Logging Enabled\r\n\r\nReload Plugins or Restart Messenger"},
    {"Disable", "1", &FormMain::cmdDisable_Click, "0",
     {L"lblLog.Caption=Logging Disabled", L"lblLog.Visible=1", L"cmdDisable.Enabled=0", L"cmdEnable.Enabled=1",
      L"cmdDisable.Visible=1", L"cmdEnable.Visible=1",
      L"Box=Logging Disabled\r\n\r\nReload Plugins or Restart Messenger"},
     L"Logging Disabled\r\n\r\nReload Plugins or Restart Messenger"},
};

void PrintTo(const SwitchCase& c, std::ostream* os) { *os << c.name; }

class SwitchPress : public FormTest, public ::testing::WithParamInterface<SwitchCase> {};

TEST_P(SwitchPress, WritesTheStringThenShowsTheStateThenTheMessage) {
    const auto& c = GetParam();
    AddAccount("other", c.before);
    AddAccount("me@example.com", c.before);
    Load();
    Pick(L"me@example.com");
    log.clear();
    (form.*c.press)();

    EXPECT_EQ(log, c.steps) << "controls change before the box opens";
    EXPECT_EQ(StoredLog("me@example.com"), std::string(c.written) + '\0') << "string value, one NUL";
    EXPECT_EQ(StoredLog("other"), std::string(c.before) + '\0');
    ASSERT_EQ(box.calls.size(), 1u);
    const BoxCall& call = box.calls[0];
    EXPECT_EQ(call.prompt, c.message);
    EXPECT_EQ(call.buttons, 0);
    EXPECT_EQ(call.title, L"Glimtrove 3");
    EXPECT_EQ(call.x, -1);
    EXPECT_EQ(call.y, -1);
    EXPECT_EQ(call.icon, FakeWindow::kIcon);
    EXPECT_EQ(store.CallCount(MemoryRegistryStore::Call::Set), 1u);
}

TEST_P(SwitchPress, WritesToTheAccountNowShownInTheList) {
    const auto& c = GetParam();
    AddAccount("first", c.before);
    AddAccount("second", c.before);
    Load();
    Pick(L"first");
    combo.selected = L"second";  // the context is set from the list's current text
    (form.*c.press)();
    EXPECT_EQ(StoredLog("first"), std::string(c.before) + '\0');
    EXPECT_EQ(StoredLog("second"), std::string(c.written) + '\0');
}

INSTANTIATE_TEST_SUITE_P(Buttons, SwitchPress, ::testing::ValuesIn(kSwitchCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A write that the store does not take leaves the display as it was and says so.
struct WriteFailure {
    const char* name;
    std::function<void(MemoryRegistryStore&)> fail;
};

const WriteFailure kWriteFailures[] = {
    {"KeyRemoved", [](auto& s) { s.RemoveKey(kHklm, AccountPath("me")); }},
    {"WriteRefused", [](auto& s) { s.FailNext(MemoryRegistryStore::Call::Set, status::kAccessDenied); }},
    {"NoWriteAccess", [](auto& s) { s.DenyAccess(kHklm, AccountPath("me"), access::kSetValue); }},
};

void PrintTo(const WriteFailure& c, std::ostream* os) { *os << c.name; }

class FailedWrite : public FormTest, public ::testing::WithParamInterface<std::tuple<SwitchCase, WriteFailure>> {};

TEST_P(FailedWrite, KeepsTheDisplayAndReportsTheError) {
    const auto& [c, failure] = GetParam();
    AddAccount("me", c.before);
    Load();
    Pick(L"me");
    const std::wstring caption = lblLog.caption;
    const bool enableOn = cmdEnable.enabled, disableOn = cmdDisable.enabled;
    failure.fail(store);
    log.clear();
    (form.*c.press)();

    EXPECT_THAT(log, ElementsAre(L"Box=Error Saving Settings\r\n\r\nTry Running as Administrator"));
    EXPECT_EQ(lblLog.caption, caption);
    EXPECT_EQ(cmdEnable.enabled, enableOn);
    EXPECT_EQ(cmdDisable.enabled, disableOn);
    ASSERT_EQ(box.calls.size(), 1u);
    EXPECT_EQ(box.calls[0].buttons, 0);
    EXPECT_EQ(box.calls[0].title, L"Glimtrove 3");
    EXPECT_EQ(box.calls[0].x, -1);
    EXPECT_EQ(box.calls[0].y, -1);
    EXPECT_EQ(box.calls[0].icon, FakeWindow::kIcon);
}

INSTANTIATE_TEST_SUITE_P(Buttons, FailedWrite,
                         ::testing::Combine(::testing::ValuesIn(kSwitchCases), ::testing::ValuesIn(kWriteFailures)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + std::get<1>(info.param).name;
                         });
// --- Reload ---------------------------------------------------------------------

TEST_F(FormTest, ReloadRegistersAndPostsOnEveryPressAndConfirms) {
    AddAccount("a", "1");
    Load();
    Pick(L"a");
    log.clear();
    store.ResetCounts();
    form.cmdReload_Click();
    form.cmdReload_Click();

    EXPECT_THAT(broadcaster.registered, ElementsAre("MessengerPlus_PluginChange", "MessengerPlus_PluginChange"));
    EXPECT_THAT(broadcaster.posted, ElementsAre(0xC0DEu, 0xC0DEu));
    EXPECT_EQ(form.pluginMessage(), 0xC0DE);
    EXPECT_THAT(log, ElementsAre(L"Box=Plugins Successfully Reloaded", L"Box=Plugins Successfully Reloaded"))
        << "no control changes";
    for (const auto& call : box.calls) {
        EXPECT_EQ(call.buttons, 0);
        EXPECT_EQ(call.title, L"Glimtrove 3");
        EXPECT_EQ(call.x, -1);
        EXPECT_EQ(call.y, -1);
        EXPECT_EQ(call.icon, FakeWindow::kIcon);
    }
    EXPECT_EQ(store.CallCount(MemoryRegistryStore::Call::Open), 0u) << "the registry is not touched";
}

TEST_F(FormTest, ReloadWhoseBroadcastFailsSaysSo) {
    Load();
    broadcaster.postSucceeds = false;
    form.cmdReload_Click();
    EXPECT_THAT(broadcaster.posted, ElementsAre(0xC0DEu));

    broadcaster.id = 0;  // the name could not be registered
    form.cmdReload_Click();
    EXPECT_EQ(form.pluginMessage(), 0) << "stored without a test";
    EXPECT_THAT(broadcaster.posted, ElementsAre(0xC0DEu)) << "message 0 is not broadcast";

    EXPECT_THAT(log, ElementsAre(L"Box=Plugins Could Not Be Reloaded\r\n\r\nRestart Messenger",
                                 L"Box=Plugins Could Not Be Reloaded\r\n\r\nRestart Messenger"));
    EXPECT_EQ(box.calls[1].icon, FakeWindow::kIcon);
    EXPECT_EQ(box.calls[1].title, L"Glimtrove 3");
}

// --- Following the registry -------------------------------------------------------

// Changes reach the form through the store's watch; a refresh lists the accounts
// again, keeps the pick by name and shows it as a pick does, writes nothing, and
// goes back to the state at load once the picked account is gone.
TEST_F(FormTest, RefreshFollowsTheStoreAndKeepsThePickByName) {
    AddAccount("amy", "1");
    AddAccount("bob", "0");
    Load();
    int reports = 0;
    auto watch = form.WatchAccounts([&] { ++reports; });
    Pick(L"bob");
    const auto refresh = [&](const std::function<void()>& change) {
        reports = 0;
        change();
        EXPECT_GT(reports, 0) << "the change was not reported";
        log.clear();
        form.Registry_Change();
    };
    refresh([&] {
        AddAccount("bob", "1");
        AddAccount("Nobody");
        store.RemoveKey(kHklm, AccountPath("amy"));
    });
    EXPECT_EQ(combo.items, std::vector<std::wstring>{L"bob"});
    EXPECT_EQ(combo.selected, L"bob");
    EXPECT_TRUE(lblLog.caption == L"Logging Enabled" && !cmdEnable.enabled && cmdDisable.enabled);

    refresh([&] { AddAccount("bob", "x"); });
    EXPECT_THAT(log, ::testing::Not(::testing::Contains(L"comEmail.Clear"))) << "an unchanged list is kept";
    EXPECT_TRUE(lblLog.caption == kErrorText && !cmdEnable.visible && !cmdDisable.visible && !cmdReload.visible);

    refresh([&] {
        store.RemoveKey(kHklm, AccountPath("bob"));
        AddAccount("BOB", "0");
    });
    EXPECT_EQ(combo.items, std::vector<std::wstring>{L"BOB"}) << "the new spelling is listed";
    EXPECT_EQ(combo.selected, L"BOB") << "the same key to the registry stays picked";
    EXPECT_TRUE(lblLog.caption == L"Logging Disabled" && cmdEnable.enabled && !cmdDisable.enabled);

    // The picked account gone while others remain: back to the state at load.
    refresh([&] {
        AddAccount("cat", "1");
        store.RemoveKey(kHklm, AccountPath("BOB"));
    });
    EXPECT_EQ(combo.items, std::vector<std::wstring>{L"cat"});
    EXPECT_TRUE(combo.selected.empty() && !lblLog.visible && !cmdReload.visible);
    EXPECT_TRUE(lblLog.caption == L"Logging Disabled" && cmdEnable.enabled && cmdDisable.enabled);
    EXPECT_EQ(window.height, 2850);
    EXPECT_EQ(form.firstSelect(), -1) << "the next pick expands the window again";
    EXPECT_EQ(store.CallCount(MemoryRegistryStore::Call::Set), 0u);
    EXPECT_TRUE(box.calls.empty() && broadcaster.registered.empty());
    watch.reset();
    reports = 0;
    AddAccount("dan");
    EXPECT_EQ(reports, 0) << "a report after the watch ended";
}

}  // namespace
}  // namespace gt3::app::test
