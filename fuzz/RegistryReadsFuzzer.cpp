// Reads through a store that says whatever the input says: GetRegistryValue,
// EnumRegistryValues and ReadRemoteRegistryValue. Beyond "no crash" (ASan, UBSan)
// each run checks that every handle was closed, that nothing the store did not
// fill reached a result, and that results are of the kinds the class promises,
// exactly the right ones where the store answered as the platform would.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "ScriptedStore.h"
#include "registry/Collection.h"
#include "registry/Errors.h"
#include "registry/NarrowText.h"
#include "registry/RegistryRoutines.h"

namespace {

using namespace gt3;
using namespace gt3::fuzz;
using Mode = ScriptedValue::Mode;

const std::wstring kKeyRoot = L"SOFTWARE\\Quorvane\\Glimtrove";
const std::wstring kAccount = L"a@b.c";
const std::string kContextPath = "SOFTWARE\\Quorvane\\Glimtrove\\a@b.c";

std::string_view DropFinalNuls(std::string_view b, int most) {
    while (most-- > 0 && !b.empty() && b.back() == '\0') b.remove_suffix(1);
    return b;
}

std::int32_t LittleEndian(const std::string& b) {
    std::uint32_t x = 0;
    for (std::size_t i = 0; i < b.size() && i < 4; ++i) x |= std::uint32_t(std::uint8_t(b[i])) << (8 * i);
    return std::int32_t(x);
}

// Written into a text sized once: byte by byte appends cost more than all else
// the oracle does for a large binary value.
std::wstring Hex(std::string_view b) {
    static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring out(b.empty() ? 0 : 3 * b.size() - 1, L' ');
    for (std::size_t i = 0; i < b.size(); ++i) {
        out[3 * i] = kDigits[std::uint8_t(b[i]) >> 4];
        out[3 * i + 1] = kDigits[std::uint8_t(b[i]) & 15];
    }
    return out;
}

// True when text is the decoded form of the first text.size() bytes the store
// left visible (an enumerated multi-string shows its NULs as commas).
bool DecodedPrefix(const std::wstring& text, const std::string& visible, bool commas) {
    if (text.size() > visible.size()) return false;
    const std::wstring w = FromNarrow(std::string_view(visible).substr(0, text.size()));
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] != w[i] && !(commas && w[i] == 0 && text[i] == L',')) return false;
    return true;
}

bool HexPrefix(const std::wstring& text, const std::string& visible) {
    const std::size_t bytes = (text.size() + 1) / 3;
    return bytes <= visible.size() && text == Hex(std::string_view(visible).substr(0, bytes));
}

// A Long built from the visible bytes; where the store reported fewer than four,
// the rest are the caller's own zeros (never the sentinel behind them).
bool LongFromVisible(std::int32_t value, const std::string& visible) {
    return value == LittleEndian(visible);
}

// What a read gives for a value the store handed back as the platform would:
// the class leaves no choice open. The single-value conversions (the local and
// the remote read share them):
Variant ExpectSingle(const ScriptedValue& v, const Variant& dflt) {
    const std::string& b = v.data;
    switch (v.type) {
        case 1:
            if (b.empty()) return dflt;
            return Variant(FromNarrow(DropFinalNuls(b, 1)));
        case 3: return Variant(ByteArray{std::vector<std::uint8_t>(b.begin(), b.end()), 0});
        case 4: return Variant(LittleEndian(b));
        case 7: {
            std::wstring w = FromNarrow(DropFinalNuls(b, 2));
            return w.empty() || w.front() == L'\0' ? dflt : Variant(std::move(w));
        }
        default: return dflt;
    }
}

// An expansion that fails, or asks for ever more room, leaves the stored text as
// it stands (up to its first NUL).
Variant ExpectEnumerated(const ScriptedValue& v) {
    const std::string& b = v.data;
    switch (v.type) {
        case 1: return Variant(FromNarrow(DropFinalNuls(b, 1)));
        case 2: {
            if (v.expansion == ScriptedValue::Expansion::Other) return Variant(FromNarrow(v.expanded));
            const std::string_view s = DropFinalNuls(b, 1);
            return Variant(FromNarrow(s.substr(0, s.find('\0'))));
        }
        case 3: return Variant(Hex(b));
        case 4: return Variant(LittleEndian(b));
        case 7: {
            std::wstring w = FromNarrow(DropFinalNuls(b, 2));
            std::replace(w.begin(), w.end(), L'\0', L',');
            return Variant(std::move(w));
        }
        default: return Variant();
    }
}

// No read raises an error, whatever the store answers.
void NoError(std::optional<ErrorNumber> error, const char* what) {
    if (error) Fail(what, "raised error " + std::to_string(int(*error)));
}

void Match(const Variant& expected, const Variant& result, std::optional<ErrorNumber> error, const char* what) {
    NoError(error, what);
    if (result != expected) Fail(what, "gave " + Show(result) + ", expected " + Show(expected));
}

// A store that lied or failed: whatever came back must be built from bytes it
// left visible, of a kind that fits the type it reported.
void CheckLooseSingle(const Reply& r, const Variant& result, std::optional<ErrorNumber> error, const Variant& dflt) {
    NoError(error, "read");
    if (result == dflt) return;
    bool ok = false;
    switch (result.kind()) {
        case Variant::Kind::String: ok = (r.type == 1 || r.type == 7) && DecodedPrefix(result.AsString(), r.visible, false); break;
        case Variant::Kind::Bytes: {
            const ByteArray& a = result.AsBytes();
            ok = r.type == 3 && a.lowerBound == 0 && a.bytes.size() <= r.visible.size() &&
                 std::equal(a.bytes.begin(), a.bytes.end(), r.visible.begin(),
                            [](std::uint8_t x, char y) { return x == std::uint8_t(y); });
            break;
        }
        case Variant::Kind::Long: ok = r.type == 4 && LongFromVisible(result.AsLong(), r.visible); break;
        default: break;
    }
    if (!ok)
        Fail("read gave what the store did not hand back",
             Show(result) + " for type " + std::to_string(r.type) + ", status " + std::to_string(r.status) +
                 ", reported " + std::to_string(r.reported) + ", buffer " + std::to_string(r.capacity));
}

void CheckSingleRead(const ScriptedStore& store, const Variant& result, std::optional<ErrorNumber> error,
                     const Variant& dflt) {
    if (store.replies().empty()) Fail("the key was opened but the value never queried");
    const Reply& r = store.replies().front();
    if (r.capacities.front() != 1024) Fail("first query not with 1024 bytes", std::to_string(r.capacities.front()));
    if (r.calls == 2 && (r.statuses[0] != status::kMoreData || r.capacities[1] != r.reports[0]))
        Fail("second query without ERROR_MORE_DATA, or not with exactly the reported size");
    switch (r.value.mode) {
        case Mode::Absent: return Match(dflt, result, error, "missing value");
        case Mode::Honest:
            if (r.status != status::kSuccess) Fail("a value was not read in full", std::to_string(r.value.data.size()));
            return Match(ExpectSingle(r.value, dflt), result, error, "read");
        case Mode::Scripted:
            if (r.status == status::kFileNotFound || r.status == status::kMoreData)
                return Match(dflt, result, error, "read ending in 2 or a second 234");
            return CheckLooseSingle(r, result, error, dflt);
    }
}

// The open the operation made: exactly one, where and how it should be.
bool CheckOpen(const ScriptedStore& store, RegHandle parent, const std::string& path, std::uint32_t access) {
    if (store.opens().size() != 1) Fail("expected one OpenKey", std::to_string(store.opens().size()));
    const OpenRecord& o = store.opens().front();
    if (o.parent != parent || o.path != path || o.access != access)
        Fail("OpenKey with the wrong root, path or access", o.path + " access " + std::to_string(o.access));
    return o.status == status::kSuccess;
}

Variant PickDefault(FuzzedDataProvider& s) {
    switch (s.ConsumeIntegralInRange(0, 5)) {
        case 0: return Variant::Missing();
        case 1: return Variant();
        case 2: return Variant(L"default");
        case 3: return Variant(std::int32_t(7));
        case 4: return Variant(true);
        default: return Variant(ByteArray{{1, 2}, 5});
    }
}

void FuzzGet(FuzzedDataProvider& s, ScriptedStore& store, RegistryRoutines& reg) {
    const Variant given = PickDefault(s);
    const Variant dflt = given.IsMissing() ? Variant() : given;
    Variant result;
    std::optional<ErrorNumber> error;
    try {
        result = given.IsMissing() ? reg.GetRegistryValue(L"Log") : reg.GetRegistryValue(L"Log", given);
    } catch (const RuntimeError& e) {
        error = e.number();
    }
    store.CheckAllClosed("GetRegistryValue");
    if (!CheckOpen(store, root::kLocalMachine, kContextPath, access::kRead)) {
        if (!store.replies().empty()) Fail("queried after a failed open");
        return Match(dflt, result, error, "read of a key that did not open");
    }
    CheckSingleRead(store, result, error, dflt);
}

void FuzzRemote(FuzzedDataProvider& s, ScriptedStore& store, RegistryRoutines& reg) {
    const bool withPath = s.ConsumeBool();
    const bool local = s.ConsumeBool();
    const std::wstring machine = local ? L"" : L"FARHOST";
    Variant result;
    std::optional<ErrorNumber> error;
    try {
        result = withPath ? reg.ReadRemoteRegistryValue(machine, root::kLocalMachine, L"Log", std::wstring())
                          : reg.ReadRemoteRegistryValue(machine, root::kLocalMachine, L"Log");
    } catch (const RuntimeError& e) {
        error = e.number();
    }
    store.CheckAllClosed("ReadRemoteRegistryValue");
    if (store.connects() != 1 || store.machine() != (local ? "" : "FARHOST"))
        Fail("expected one connect to the named machine", store.machine());
    if (store.connection() == 0) {
        if (!store.opens().empty()) Fail("opened a key after a failed connect");
        return Match(Variant(L"Error!"), result, error, "failed connect");
    }
    if (!CheckOpen(store, store.connection(), withPath ? "" : kContextPath, access::kRead)) {
        if (!store.replies().empty()) Fail("queried after a failed open");
        return Match(Variant(), result, error, "remote read of a key that did not open");
    }
    CheckSingleRead(store, result, error, Variant());
}

// The name the store wrote for an index: exact when it fit, else cut, never read
// past what the store wrote.
bool NameAsWritten(const std::wstring& name, const Reply& r) {
    if (r.value.mode == Mode::Honest) return name == FromNarrow(r.value.name);
    const bool truthful = r.nameVisible.size() < r.nameCapacity;
    return truthful ? name == FromNarrow(r.nameVisible) : DecodedPrefix(name, r.nameVisible, false);
}

// Whether one of the listed names (folded) is the name of that index, compared
// without regard to case.
bool NameListed(const std::vector<std::wstring>& foldedKeys, const Reply& r) {
    const bool honest = r.value.mode == Mode::Honest;
    const std::wstring name = FoldCase(FromNarrow(honest ? r.value.name : r.nameVisible));
    const bool whole = honest || r.nameVisible.size() < r.nameCapacity;
    return std::any_of(foldedKeys.begin(), foldedKeys.end(),
                       [&](const std::wstring& key) { return whole ? key == name : name.starts_with(key); });
}

// Whether a listed item can have come from that index: its name as the store
// wrote it, its data built only from what the store handed back.
bool CameFrom(const Collection::Entry& entry, const Reply& r) {
    const std::wstring& name = entry.item.AsArray()[0].AsString();
    const Variant& data = entry.item.AsArray()[1];
    if (!NameAsWritten(name, r)) return false;
    if (r.value.mode == Mode::Honest) return data == ExpectEnumerated(r.value);
    switch (data.kind()) {
        case Variant::Kind::Empty: return true;
        case Variant::Kind::Long: return r.type == 4 && LongFromVisible(data.AsLong(), r.visible);
        case Variant::Kind::String: {
            const std::wstring& t = data.AsString();
            return (r.type == 1 && DecodedPrefix(t, r.visible, false)) ||
                   (r.type == 7 && DecodedPrefix(t, r.visible, true)) || (r.type == 3 && HexPrefix(t, r.visible)) ||
                   (r.type == 2 && t.find(L'\0') == std::wstring::npos);
        }
        default: return false;
    }
}

void FuzzEnum(FuzzedDataProvider& s, ScriptedStore& store, RegistryRoutines& reg) {
    const bool below = s.ConsumeBool();  // a path below the root, or the caller's own key
    const RegHandle root = below ? root::kLocalMachine : (s.ConsumeBool() ? kCallerKey : root::kCurrentUser);
    Collection items;
    std::optional<ErrorNumber> error;
    try {
        items = reg.EnumRegistryValues(root, below ? L"SOFTWARE\\Quorvane" : L"");
    } catch (const RuntimeError& e) {
        error = e.number();
    }
    store.CheckAllClosed("EnumRegistryValues");
    if (below && !CheckOpen(store, root, "SOFTWARE\\Quorvane", access::kRead)) {
        if (!store.replies().empty() || !items.empty() || error) Fail("listed a key that did not open");
        return;
    }
    if (!below && !store.opens().empty()) Fail("opened a key to list the caller's own");
    const auto& rs = store.replies();
    if (rs.empty()) Fail("never asked for index 0");
    const Reply& last = rs.back();
    NoError(error, "enumeration");
    if (last.status == status::kSuccess) Fail("enumeration stopped after an index that succeeded");
    if (last.value.mode == Mode::Honest) Fail("enumeration ended at a value it could have read", last.value.name.size() > 259 ? "long name" : "large data");

    for (const auto& entry : items) {
        const Variant& item = entry.item;
        if (item.kind() != Variant::Kind::Array || item.AsArray().size() != 2 ||
            item.AsArray()[0].kind() != Variant::Kind::String)
            Fail("item is not a two-element array with a String name", Show(item));
    }
    // The items come from the indexes that succeeded, in their order (matched
    // leftmost first, which finds such an order whenever one exists); an index is
    // left out only when its name, compared without regard to case, is listed.
    std::size_t i = 0;
    std::vector<const Reply*> leftOut;
    for (std::size_t reply = 0; reply + 1 < rs.size(); ++reply) {
        if (i < items.Count() && CameFrom(items.EntryAt(i), rs[reply])) ++i;
        else leftOut.push_back(&rs[reply]);
    }
    if (i != items.Count())
        Fail("item not built from what the store handed back, in order", Show(items[i]));
    std::vector<std::wstring> foldedKeys;
    for (const auto& entry : items) {
        if (*entry.key != entry.item.AsArray()[0].AsString()) Fail("item not keyed by its name");
        foldedKeys.push_back(FoldCase(*entry.key));
    }
    for (const Reply* r : leftOut)
        if (!NameListed(foldedKeys, *r)) Fail("a value the store handed back was left out");
}

}  // namespace

// ASan keeps freed memory out of use (its quarantine) to catch a late use of it.
// With the default 256 MB the process cycles through that much memory, and page
// faults took about a third of the time (100,000 in 6,000 inputs; 22,000 with
// 16 MB). An input frees some megabytes, a few tens at the very most: 64 MB
// still holds all it freed, and more.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=64"; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider script(data, size);
    ScriptedStore store(script);
    RegistryRoutines reg(store);
    reg.hkey(root::kLocalMachine);
    reg.KeyRoot(kKeyRoot);
    reg.Subkey(kAccount);
    store.Begin();
    try {
        switch (script.ConsumeIntegralInRange(0, 2)) {
            case 0: FuzzGet(script, store, reg); break;
            case 1: FuzzEnum(script, store, reg); break;
            case 2: FuzzRemote(script, store, reg); break;
        }
    } catch (const std::exception& e) {
        Fail("an exception other than a run-time error escaped", e.what());
    }
    return 0;
}
