// The window's form, driven by any order of picks, presses, answers, registry
// changes made by other processes and refresh timers, over the in-memory store and
// the fakes of the controls. After every event a model of what the user should see
// and what the registry should hold is compared with the form's controls, the
// store, its write count and the broadcasts; any difference aborts and names the
// event, the expected value and the value seen.
//
// Input, each choice one byte read from the input's end (FuzzedDataProvider's
// way; fuzz/window_events_seeds.py writes seeds so): the product key there,
// missing, or its parent missing; one byte per account of the pool (absent, or
// present with a Log and a spelling); then events of three bytes (account,
// spelling, what happens), four when a Log value follows.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "app/FormMain.h"
#include "app/Texts.h"
#include "app/tests/native/FormFakes.h"
#include "registry/MemoryRegistryStore.h"
#include "registry/NarrowText.h"

namespace {

using namespace gt3;
using namespace gt3::app;
using Call = MemoryRegistryStore::Call;

constexpr RegHandle kHklm = root::kLocalMachine;
const std::string kAbove = "SOFTWARE\\Quorvane";
const std::string kProduct = kAbove + "\\Glimtrove";
constexpr std::int32_t kCollapsed = 2850, kExpanded = 4500;  // the window's outer height, twips
constexpr int kMaxEvents = 32;

// Few names, so that sequences collide; each has three spellings: as here, all
// capitals, and its first letter's case turned ("Nobody" is hidden only as spelled here).
constexpr const char* kPool[] = {"amy@example.com", "Nobody", "bob@Mail.example"};
constexpr std::size_t kSlots = std::size(kPool);

std::string Spell(std::size_t slot, int spelling) {
    std::string name = kPool[slot];
    if (spelling == 1) std::transform(name.begin(), name.end(), name.begin(), [](char c) { return std::toupper(c); });
    if (spelling == 2) name[0] ^= 0x20;  // every name begins with a letter
    return name;
}


std::wstring Fold(std::wstring s) {
    for (wchar_t& c : s)
        if (c >= L'A' && c <= L'Z') c += L'a' - L'A';
    return s;
}

enum class Shows { Off, On, Unreadable };

// The Log values the registry class tells apart, and what a pick shows for each.
struct LogKind {
    const char* name;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
    Shows shows;
};
const LogKind kLogKinds[] = {
    {"\"1\"", regtype::kSz, {'1', 0}, Shows::On},  // what Enable writes
    {"\"0\"", regtype::kSz, {'0', 0}, Shows::Off},  // what Disable writes
    {"\" 1\"", regtype::kSz, {' ', '1', 0}, Shows::Unreadable},
    {"\"10\"", regtype::kSz, {'1', '0', 0}, Shows::On},
    {"\"\"", regtype::kSz, {0}, Shows::Unreadable},
    {"DWORD 0", regtype::kDword, {0, 0, 0, 0}, Shows::Off},
    {"DWORD 1", regtype::kDword, {1, 0, 0, 0}, Shows::On},
    {"DWORD -1", regtype::kDword, {0xFF, 0xFF, 0xFF, 0xFF}, Shows::Unreadable},
    {"binary \"1\"", regtype::kBinary, {'1'}, Shows::On},
    {"binary 01", regtype::kBinary, {1}, Shows::Unreadable},
    {"expandable \"1\"", regtype::kExpandSz, {'1', 0}, Shows::Unreadable},
    {"multi-string \"0\"", regtype::kMultiSz, {'0', 0, 0}, Shows::Off},
};
constexpr int kMissing = static_cast<int>(std::size(kLogKinds));  // no Log value

// What the form should do, written from its documented behaviour.
struct Model {
    struct Account {
        std::wstring spelling;
        int log = kMissing;
    };
    // The registry as the events leave it; accounts by folded name, the store's order.
    bool above = true, product = true;
    std::map<std::wstring, Account> accounts;
    int refusals = 0;  // writes the store is still to refuse
    // What the user sees.
    std::vector<std::wstring> list;
    std::wstring pick, label{text::kLoggingDisabled};
    bool first = true, labelShown = false, enableShown = false, enableOn = true, disableShown = false,
         disableOn = true, reloadShown = false;
    std::int32_t height = 0;
    // What the current event must do beyond that.
    std::size_t writes = 0, posts = 0;
    std::optional<std::wstring_view> box;
    bool mustReport = false;

    Account* Find(const std::wstring& name) {
        const auto it = accounts.find(Fold(name));
        return it == accounts.end() ? nullptr : &it->second;
    }
    std::vector<std::wstring> Listed() const {
        std::vector<std::wstring> names;
        for (const auto& [folded, account] : accounts)
            if (account.spelling != L"Nobody") names.push_back(account.spelling);
        return names;
    }
    Shows Read() {
        const Account* account = pick.empty() ? nullptr : Find(pick);
        return account && account->log != kMissing ? kLogKinds[account->log].shows : Shows::Unreadable;
    }
    void ShowState(bool on) {
        label = on ? text::kLoggingEnabled : text::kLoggingDisabled;
        labelShown = enableShown = disableShown = true;
        enableOn = !on;
        disableOn = on;
    }
    void Show(Shows shows) {
        if (shows == Shows::Unreadable) {
            label = text::kErrorReading;
            labelShown = true;
            enableShown = disableShown = reloadShown = false;
            return;
        }
        ShowState(shows == Shows::On);
        reloadShown = true;
    }
    void AtLoad() {
        label = text::kLoggingDisabled;
        labelShown = enableShown = disableShown = reloadShown = false;
        enableOn = disableOn = first = true;
        height = kCollapsed;
        pick.clear();
    }

    void Load() {
        AtLoad();
        list = Listed();
    }
    void Pick(std::size_t index) {
        pick = index < list.size() ? list[index] : L"";
        if (first) height = kExpanded;
        first = false;
        Show(Read());
    }
    void Press(bool on) {
        Account* account = pick.empty() ? nullptr : Find(pick);
        box = text::kSaveFailedMessage;
        if (!account) return;  // nothing to write into, and no key is made
        ++writes;
        if (refusals > 0) {
            --refusals;
            return;
        }
        account->log = on ? 0 : 1;
        mustReport = true;
        ShowState(on);
        box = on ? text::kEnabledMessage : text::kDisabledMessage;
    }
    void Reload() {
        ++posts;
        box = text::kReloadedMessage;
    }
    // The pick kept by name whatever its case, in its new spelling; gone, the state at load.
    void Refresh() {
        list = Listed();
        const auto kept = std::find_if(list.begin(), list.end(),
                                       [&](const std::wstring& name) { return Fold(name) == Fold(pick); });
        if (!pick.empty() && kept != list.end()) {
            pick = *kept;
            Show(Read());
        } else if (!pick.empty()) {
            AtLoad();
        }
    }

    // Other processes' changes; each notes whether the watch must hear of it.
    void SetLog(const std::wstring& name, int log) {
        Account* account = Find(name);
        if (log == kMissing) {
            if (account && account->log != kMissing) mustReport = true;
            if (account) account->log = kMissing;
            return;
        }
        above = product = mustReport = true;
        accounts.try_emplace(Fold(name), Account{name}).first->second.log = log;
    }
    void Add(const std::wstring& name) {
        if (!Find(name)) mustReport = true;
        above = product = true;
        accounts.try_emplace(Fold(name), Account{name});
    }
    void Delete(const std::wstring& name) {
        if (accounts.erase(Fold(name))) mustReport = true;
    }
    void DeleteProduct(bool andAbove) {
        mustReport = product || (andAbove && above);
        product = false;
        above = above && !andAbove;
        accounts.clear();
    }
    void MakeProduct() {
        mustReport = !product;
        above = product = true;
    }
};

[[noreturn]] void Fail(const std::string& event, const char* what, const std::string& expected,
                       const std::string& seen) {
    std::fprintf(stderr, "window_events: %s: %s: expected %s, seen %s\n", event.c_str(), what, expected.c_str(),
                 seen.c_str());
    std::abort();
}

template <class T>
std::string Quote(const T& value) {
    if constexpr (std::is_same_v<T, bool>) return value ? "true" : "false";
    else if constexpr (std::is_arithmetic_v<T>) return std::to_string(value);
    else if constexpr (std::is_convertible_v<const T&, std::wstring_view>) return '"' + ToNarrow(value) + '"';
    else {
        std::string joined;
        for (const auto& item : value) joined += (joined.empty() ? "" : ", ") + Quote(item);
        return "[" + joined + "]";
    }
}

// What the input makes happen, in the order of the cases below.
constexpr const char* kOps[] = {"pick of list entry (the blank one past the last)", "Enable pressed",
                                "Disable pressed", "Reload pressed", "message box answered", "Log set",
                                "account added", "account deleted", "the picked account deleted",
                                "account made again in its next spelling", "product key deleted",
                                "product key's parent deleted", "product key made again", "the next write refused",
                                "refresh timer"};

struct Event {
    int number = 0, op = -1, log = kMissing;
    std::size_t slot = 0;
    int spelling = 0;
    bool afterBox = false;
};

std::string Describe(const Event& e) {
    if (e.op < 0) return "load";
    std::string text = "event " + std::to_string(e.number) + " (" + kOps[e.op];
    if (e.op == 0) text += ": " + std::to_string(e.slot * 3 + e.spelling) + " modulo the entries + 1";
    if (e.op == 5 || e.op == 6 || e.op == 7 || e.op == 9) text += ": " + Spell(e.slot, e.spelling);
    if (e.op == 5) text += std::string(" to ") + (e.log == kMissing ? "missing" : kLogKinds[e.log].name);
    return text + (e.afterBox ? "), after its box" : ")");
}

// One run: the store, the form over the fakes, its watch, and the model beside them.
class Run final : public MessageDialog {
public:
    explicit Run(FuzzedDataProvider& in) : in_(in) {}

    void Play() {
        Start();
        while (in_.remaining_bytes() > 0 && events_ < kMaxEvents) Step();
    }

    std::int32_t Show(std::wstring_view prompt, std::int32_t buttons, std::wstring_view title, std::int32_t x,
                      std::int32_t y, IconHandle icon) override {
        if (!model_.box) Fail(Describe(event_), "message box", "none", Quote(prompt));
        Expect("message box", *model_.box, prompt);
        Expect("message box buttons", 0, buttons);
        Expect("message box title", text::kBoxTitle, title);
        Expect("message box x", -1, x);
        Expect("message box y", -1, y);
        Expect("message box icon", fakes_.window.Icon(), icon);
        model_.box.reset();
        Check();  // the press shows its state before the box opens
        // Modal: until it is answered, only other processes and timers act.
        const Event press = event_;
        std::int32_t answer = 1;  // IDOK, when the input ends first
        boxOpen_ = true;
        while (in_.remaining_bytes() > 0 && events_ < kMaxEvents)
            if (const auto answered = Step()) {
                answer = *answered;
                break;
            }
        boxOpen_ = false;
        event_ = press;
        event_.afterBox = true;
        return answer;
    }

private:
    void Start() {
        const int start = in_.ConsumeIntegralInRange(0, 2);  // 1: no product key, 2: no parent key either
        store_.PutKey(kHklm, start == 0 ? kProduct : start == 1 ? kAbove : "SOFTWARE");
        model_.product = start == 0;
        model_.above = start < 2;
        for (std::size_t slot = 0; slot < kSlots && start == 0; ++slot) {
            const int b = in_.ConsumeIntegral<std::uint8_t>(), log = b % (kMissing + 2) - 1;  // -1: absent
            const std::string name = Spell(slot, b / (kMissing + 2) % 3);
            if (log == kMissing) Add(name);
            else if (log >= 0) SetLog(name, log);
        }
        model_.mustReport = false;
        // Watching before the first read, as the window does.
        watch_ = form_.WatchAccounts([this] {
            ++reports_;
            due_ = true;
        });
        model_.Load();
        form_.Form_Load();
        Check();
    }

    // One event; the answer when it closed the open message box.
    std::optional<std::int32_t> Step() {
        event_ = {++events_};
        reportsBefore_ = reports_;
        fakes_.log.clear();
        std::optional<std::int32_t> answer;
        const std::size_t slot = event_.slot = in_.ConsumeIntegralInRange<std::size_t>(0, kSlots - 1);
        const int spelling = event_.spelling = in_.ConsumeIntegralInRange(0, 2);
        const std::string name = Spell(slot, spelling);
        const int op = event_.op = in_.ConsumeIntegralInRange(0, 14);
        switch (op) {
        case 0: {  // a pick of entry i, or of nothing: the list's blank
            const auto& items = fakes_.combo.items;
            const std::size_t i = (slot * 3 + spelling) % (items.size() + 1);
            if (boxOpen_) break;
            fakes_.combo.selected = i < items.size() ? items[i] : L"";
            model_.Pick(i);
            form_.comEmail_Click();
            break;
        }
        case 1:
        case 2:
        case 3: {  // a press, of a button the user can see and reach
            auto& button = op == 1 ? fakes_.cmdEnable : op == 2 ? fakes_.cmdDisable : fakes_.cmdReload;
            if (boxOpen_ || !button.visible || !button.enabled) break;
            op == 3 ? model_.Reload() : model_.Press(op == 1);
            (form_.*(op == 1   ? &FormMain::cmdEnable_Click
                     : op == 2 ? &FormMain::cmdDisable_Click
                               : &FormMain::cmdReload_Click))();
            break;
        }
        case 4:
            if (boxOpen_) answer = spelling + 1;  // IDOK, IDCANCEL or IDABORT: the form ignores which
            break;
        case 5:
            SetLog(name, event_.log = in_.ConsumeIntegralInRange(0, kMissing));
            break;
        case 6:
            Add(name);
            break;
        case 7:
            Delete(name);
            break;
        case 8:
            if (!fakes_.combo.Text().empty()) Delete(ToNarrow(fakes_.combo.Text()));
            break;
        case 9:
            Delete(name);
            Add(Spell(slot, (spelling + 1) % 3));
            break;
        case 10:
        case 11:
            store_.RemoveKey(kHklm, op == 11 ? kAbove : kProduct);
            model_.DeleteProduct(op == 11);
            break;
        case 12:
            store_.PutKey(kHklm, kProduct);
            model_.MakeProduct();
            break;
        case 13:
            store_.FailNext(Call::Set, status::kAccessDenied);
            ++model_.refusals;
            break;
        default:
            // As in the window: only after a report, and not while a box is open.
            if (boxOpen_ || !std::exchange(due_, false)) break;
            model_.Refresh();
            form_.Registry_Change();
        }
        Check();
        return answer;
    }

    void SetLog(const std::string& name, int log) {
        const std::string path = kProduct + "\\" + name;
        if (log == kMissing) store_.RemoveValue(kHklm, path, "Log");
        else store_.PutValue(kHklm, path, "Log", kLogKinds[log].type, kLogKinds[log].data);
        model_.SetLog(FromNarrow(name), log);
    }
    void Add(const std::string& name) {
        store_.PutKey(kHklm, kProduct + "\\" + name);
        model_.Add(FromNarrow(name));
    }
    void Delete(const std::string& name) {
        store_.RemoveKey(kHklm, kProduct + "\\" + name);
        model_.Delete(FromNarrow(name));
    }

    template <class T, class U>
    void Expect(const char* what, const T& expected, const U& seen) {
        if (!(expected == seen)) Fail(Describe(event_), what, Quote(expected), Quote(seen));
    }

    void Check() {
        if (model_.mustReport && reports_ == reportsBefore_) Fail(Describe(event_), "watch", "a report", "none");
        model_.mustReport = false;
        if (model_.box) Fail(Describe(event_), "message box", Quote(*model_.box), "none");
        Expect("list", model_.list, fakes_.combo.items);
        Expect("pick", model_.pick, fakes_.combo.Text());
        Expect("window height", model_.height, fakes_.window.height.value_or(0));
        Expect("next pick expands", model_.first, form_.firstSelect() == Variant::kTrue);
        Expect("state label", model_.label, fakes_.lblLog.caption);
        Expect("state label shown", model_.labelShown, fakes_.lblLog.visible);
        Expect("Enable shown", model_.enableShown, fakes_.cmdEnable.visible);
        Expect("Enable enabled", model_.enableOn, fakes_.cmdEnable.enabled);
        Expect("Disable shown", model_.disableShown, fakes_.cmdDisable.visible);
        Expect("Disable enabled", model_.disableOn, fakes_.cmdDisable.enabled);
        Expect("Reload shown", model_.reloadShown, fakes_.cmdReload.visible);
        // Writes: only the presses', only to the picked account's Log as REG_SZ, no key made.
        Expect("registry writes", model_.writes, store_.CallCount(Call::Set));
        Expect("keys made", std::size_t{0}, store_.CallCount(Call::Create));
        // Broadcasts: one per Reload press, the registered id (both parameters 0).
        const auto& broadcaster = fakes_.broadcaster;
        Expect("broadcasts", model_.posts, broadcaster.posted.size());
        Expect("registrations", model_.posts, broadcaster.registered.size());
        if (!broadcaster.posted.empty()) Expect("broadcast id", broadcaster.id, broadcaster.posted.back());
        // Only the form writes through the store's calls: after one, every account's Log.
        if (std::exchange(writesSeen_, model_.writes) == model_.writes) return;
        for (const char* account : kPool) {
            const std::string path = kProduct + "\\" + account;
            const Model::Account* expected = model_.Find(FromNarrow(account));
            const int kind = expected ? expected->log : kMissing;
            const auto log = store_.GetValue(kHklm, path, "Log");
            if (kind == kMissing ? log.has_value()
                                 : !log || log->type != kLogKinds[kind].type || log->data != kLogKinds[kind].data)
                Fail(Describe(event_), ("Log of " + path).c_str(), kind == kMissing ? "none" : kLogKinds[kind].name,
                     log ? "type " + std::to_string(log->type) + ", " + std::to_string(log->data.size()) + " bytes"
                         : "none");
        }
    }

    FuzzedDataProvider& in_;
    MemoryRegistryStore store_;
    test::FakeFormParts fakes_;
    FormMain form_{store_, FormParts{fakes_.window, fakes_.combo, fakes_.lblLog, fakes_.cmdEnable,
                                     fakes_.cmdDisable, fakes_.cmdReload, *this, fakes_.broadcaster}};
    Model model_;
    std::unique_ptr<KeyWatch> watch_;  // last: ends before the store
    Event event_;  // the load until the first event
    int events_ = 0;
    std::size_t reports_ = 0, reportsBefore_ = 0, writesSeen_ = 0;
    bool due_ = false, boxOpen_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    Run(in).Play();
    return 0;
}
