#include "ScriptedStore.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace gt3::fuzz {

namespace {
// Large enough for the 1024/4096 boundaries and a few retries, small enough that
// one input stays fast. The class allocates what the store reports; sizes the
// platform never hands out are not what is being tested here.
constexpr std::uint32_t kSomeSize = 9000;                 // past both first buffers
constexpr std::uint32_t kLargestSize = 2 * kSomeSize + 7;  // what a lying store may report
constexpr std::uint32_t kLongestName = 16383;  // the registry's limit for value names
constexpr std::uint32_t kLastIndex = 24;

// Fills `count` bytes with `pattern` over and over (with `blank` when it is
// empty), doubling what is written so far: patterns are a few bytes, sizes run
// to thousands.
void Repeat(std::string_view pattern, char blank, char* out, std::size_t count) {
    if (count == 0) return;
    if (pattern.empty()) pattern = std::string_view(&blank, 1);
    std::size_t done = std::min(pattern.size(), count);
    std::memcpy(out, pattern.data(), done);
    for (; done < count; done += std::min(done, count - done)) std::memcpy(out + done, out, std::min(done, count - done));
}

}  // namespace

void Fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "\n*** PROPERTY VIOLATED: %s%s%s\n", what, detail.empty() ? "" : ": ", detail.c_str());
    std::abort();
}

// GT3_FUZZ_TRACE=1 prints every answer, for reading a finding.
bool Tracing() {
    static const bool on = std::getenv("GT3_FUZZ_TRACE") != nullptr;
    return on;
}

std::string Show(const Variant& v) {
    auto text = [](const std::wstring& w) {
        std::string out;
        for (std::size_t i = 0; i < w.size() && i < 40; ++i) {
            const auto c = std::uint32_t(w[i]);
            char buf[12];
            std::snprintf(buf, sizeof buf, c >= 0x20 && c < 0x7F ? "%c" : "\\x%X", int(c));
            out += buf;
        }
        return out + (w.size() > 40 ? "...(" + std::to_string(w.size()) + " chars)" : "");
    };
    switch (v.kind()) {
        case Variant::Kind::Empty: return "Empty";
        case Variant::Kind::Missing: return "Missing";
        case Variant::Kind::String: return "String \"" + text(v.AsString()) + "\"";
        case Variant::Kind::Long: return "Long " + std::to_string(v.AsLong());
        case Variant::Kind::Boolean: return v.AsBoolean() ? "Boolean True" : "Boolean False";
        case Variant::Kind::Bytes:
            return "Bytes[" + std::to_string(v.AsBytes().bytes.size()) + "] from " +
                   std::to_string(v.AsBytes().lowerBound);
        case Variant::Kind::Array: return "Array[" + std::to_string(v.AsArray().size()) + "]";
    }
    return "?";
}

void ScriptedStore::Begin() {
    opens_.clear();
    replies_.clear();
    sets_.clear();
    connects_ = 0;
    connection_ = 0;
    machine_.clear();
    calls_ = 0;
}

void ScriptedStore::CheckAllClosed(const char* operation) const {
    if (!open_.empty())
        Fail("handle left open", std::string(operation) + " left " + std::to_string(open_.size()) + " open");
}

void ScriptedStore::CheckUsable(RegHandle key, const char* call) const {
    if (open_.count(key) == 0 && !IsPredefinedRoot(key) && key != kCallerKey)
        Fail("store call on a handle that is not open", call);
}

RegHandle ScriptedStore::NewHandle(RegHandle parent) {
    const RegHandle h = next_;
    next_ += 4;
    open_[h] = parent;
    return h;
}

RegStatus ScriptedStore::PickStatus(std::initializer_list<RegStatus> usual) {
    const auto i = script_.ConsumeIntegralInRange<std::size_t>(0, usual.size());
    return i < usual.size() ? usual.begin()[i] : script_.ConsumeIntegral<RegStatus>();
}

std::uint32_t ScriptedStore::PickSize(std::uint32_t natural, std::uint32_t capacity) {
    std::uint32_t n = natural;
    switch (script_.ConsumeIntegralInRange(0, 7)) {
        case 0: break;
        case 1: n = capacity; break;
        case 2: n = capacity + 1; break;
        case 3: n = capacity ? capacity - 1 : 0; break;
        case 4: n = script_.ConsumeIntegralInRange<std::uint32_t>(0, 8); break;
        case 5: n = script_.ConsumeIntegralInRange<std::uint32_t>(0, kSomeSize); break;
        case 6: n = 2 * capacity + 7; break;
        case 7: n = natural + 1; break;
    }
    return std::min(n, kLargestSize + 1);
}

std::string ScriptedStore::Pattern(std::size_t size, bool allowNul) {
    std::string chunk = script_.ConsumeBytesAsString(script_.ConsumeIntegralInRange<std::size_t>(1, 8));
    if (chunk.empty()) chunk = "A";
    if (!allowNul) std::replace(chunk.begin(), chunk.end(), '\0', 'N');
    std::string out(size, '\0');
    Repeat(chunk, 'A', out.data(), size);
    return out;
}

ScriptedValue ScriptedStore::NextValue(bool enumeration) {
    ScriptedValue v;
    if (script_.remaining_bytes() == 0 || (enumeration && replies_.size() > kLastIndex)) {
        v.mode = ScriptedValue::Mode::Absent;
        return v;
    }
    switch (script_.ConsumeIntegralInRange(0, 5)) {
        case 0: v.mode = ScriptedValue::Mode::Absent; return v;
        case 1: v.mode = ScriptedValue::Mode::Scripted; break;
        default: v.mode = ScriptedValue::Mode::Honest; break;
    }
    if (enumeration) {
        std::size_t length = 0;
        switch (script_.ConsumeIntegralInRange(0, 7)) {
            case 5: length = script_.ConsumeBool() ? 259 : 260; break;
            case 6: length = 300; break;
            // The longest name the registry allows: listing it costs more than the
            // rest of a typical input, so it comes a quarter as often as its siblings.
            case 7: length = script_.ConsumeIntegralInRange(0, 3) == 0 ? kLongestName : 300; break;
            default: length = script_.ConsumeIntegralInRange<std::size_t>(0, 12); break;
        }
        v.name = Pattern(length, false);
    }
    static constexpr std::uint32_t kTypes[] = {1, 1, 2, 3, 4, 7, 0, 11};
    const auto t = script_.ConsumeIntegralInRange<std::size_t>(0, std::size(kTypes));
    v.type = t < std::size(kTypes) ? kTypes[t] : script_.ConsumeIntegral<std::uint32_t>();

    std::size_t size = 0;
    switch (script_.ConsumeIntegralInRange(0, 9)) {
        case 4: size = 1023 + script_.ConsumeIntegralInRange(0, 2); break;
        case 5: size = 4095 + script_.ConsumeIntegralInRange(0, 2); break;
        case 7: size = script_.ConsumeIntegralInRange<std::uint32_t>(0, kSomeSize); break;
        default: size = script_.ConsumeIntegralInRange<std::size_t>(0, 16); break;
    }
    v.data = Pattern(size, true);
    // Terminators as a string value carries them: none, one or two NULs at the end.
    const auto nuls = std::min<std::size_t>(size, script_.ConsumeIntegralInRange(0, 2));
    std::fill(v.data.end() - std::ptrdiff_t(nuls), v.data.end(), '\0');

    if (v.type == 2) {
        switch (script_.ConsumeIntegralInRange(0, 3)) {
            case 0: v.expansion = ScriptedValue::Expansion::Identity; break;
            case 1:
                v.expansion = ScriptedValue::Expansion::Other;
                v.expanded = Pattern(script_.ConsumeBool() ? script_.ConsumeIntegralInRange(0, 20)
                                                           : (script_.ConsumeBool() ? 5000 : kSomeSize),
                                     false);
                break;
            case 2: v.expansion = ScriptedValue::Expansion::Fails; break;
            case 3: v.expansion = ScriptedValue::Expansion::Grows; break;
        }
    }
    return v;
}

void ScriptedStore::AddReply(bool enumeration) {
    Reply fresh;
    fresh.value = NextValue(enumeration);
    replies_.push_back(std::move(fresh));
}

// Answers one query or enumeration step for reply.value; the name part of an
// enumeration is the caller's business.
RegStatus ScriptedStore::AnswerData(Reply& r, std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize,
                                    bool enumeration, bool nameFits) {
    const ScriptedValue& v = r.value;
    const std::uint32_t cap = data ? *dataSize : 0;
    r.capacity = cap;
    r.capacities.push_back(cap);
    r.visible.clear();
    RegStatus st = 0;
    std::uint32_t t = v.type, n = std::uint32_t(v.data.size());
    bool setType = true;
    switch (v.mode) {
        case ScriptedValue::Mode::Absent:
            r.status = st = enumeration ? status::kNoMoreItems : status::kFileNotFound;
            r.statuses.push_back(st);
            r.reports.push_back(0);
            return st;
        case ScriptedValue::Mode::Honest:
            st = (!nameFits || (data && n > cap)) ? status::kMoreData : status::kSuccess;
            break;
        case ScriptedValue::Mode::Scripted: {
            st = enumeration ? PickStatus({0, 234, 0, 259, 5}) : PickStatus({0, 234, 0, 5, 2});
            static constexpr std::uint32_t kTypes[] = {1, 2, 3, 4, 7, 0};
            const auto i = script_.ConsumeIntegralInRange<std::size_t>(0, std::size(kTypes));
            if (i < std::size(kTypes)) t = kTypes[i];
            setType = st == 0 || script_.ConsumeBool();
            n = PickSize(n, cap);
            break;
        }
    }
    if (setType && type) *type = t;
    *dataSize = n;
    r.status = st;
    r.type = type ? *type : 0;
    r.reported = n;
    r.statuses.push_back(st);
    r.reports.push_back(n);
    if (Tracing())
        std::fprintf(stderr, "  answer #%d: mode %d, status %d, type %u, size %u, buffer %u\n", r.calls,
                     int(v.mode), int(st), r.type, n, cap);
    if (st == status::kMoreData || !data) return st;  // the buffer is left untouched

    const std::uint32_t filled = std::min(n, cap);
    if (st == status::kSuccess)
        Repeat(v.data, 'S', reinterpret_cast<char*>(data), filled);
    // A 32-bit value is read from its first four bytes whatever its size; those
    // bytes are the caller's own (zero) when the store reports fewer.
    const std::uint32_t tail = r.type == 4 ? std::max(filled, std::min(4u, cap)) : filled;
    std::fill(data + tail, data + cap, kSentinel);
    r.visible.assign(reinterpret_cast<const char*>(data), filled);
    return st;
}

RegStatus ScriptedStore::OpenKey(RegHandle key, const char* subKey, std::uint32_t options, std::uint32_t access,
                                 RegHandle* result) {
    CheckUsable(key, "OpenKey");
    if (!result || !subKey) Fail("OpenKey without a path or a place for the handle");
    if (options != 0) Fail("OpenKey with options", std::to_string(options));
    OpenRecord rec{key, subKey, access, PickStatus({0, 0, 0, 0, 2, 5}), 0};
    if (rec.status == status::kSuccess) *result = rec.handle = NewHandle(key);
    opens_.push_back(rec);
    return rec.status;
}

RegStatus ScriptedStore::CloseKey(RegHandle key) {
    const auto it = open_.find(key);
    if (it == open_.end()) {
        if (IsPredefinedRoot(key) || key == kCallerKey) Fail("closed a root the caller handed in");
        Fail("closed a handle that is not open", std::to_string(key));
    }
    for (const auto& [h, parent] : open_)
        if (parent == key) Fail("closed a connection while a key opened under it was still open");
    open_.erase(it);
    return status::kSuccess;
}

RegStatus ScriptedStore::ConnectRegistry(const char* machineName, RegHandle key, RegHandle* result) {
    if (!result) Fail("ConnectRegistry without a place for the handle");
    ++connects_;
    machine_ = machineName ? machineName : "(null)";
    const RegStatus st = PickStatus({0, 0, 53, 5});
    if (st == status::kSuccess) *result = connection_ = NewHandle(key);
    return st;
}

RegStatus ScriptedStore::QueryValue(RegHandle key, const char* valueName, std::uint32_t* type, std::uint8_t* data,
                                    std::uint32_t* dataSize) {
    CheckUsable(key, "QueryValue");
    if (!valueName || !dataSize) Fail("QueryValue without a value name or a size");
    if (replies_.empty()) AddReply(false);
    Reply& r = replies_.front();
    if (++r.calls > 2) Fail("more than two queries for one read");
    return AnswerData(r, type, data, dataSize, false, true);
}

RegStatus ScriptedStore::EnumValue(RegHandle key, std::uint32_t index, char* name, std::uint32_t* nameChars,
                                   std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) {
    CheckUsable(key, "EnumValue");
    if (!name || !nameChars || !dataSize) Fail("EnumValue without a name buffer, its count or a data size");
    if (++calls_ > 10000) Fail("the enumeration does not end");
    if (index > replies_.size()) Fail("skipped an index", std::to_string(index));
    if (index + 1 < replies_.size()) Fail("went back to an earlier index", std::to_string(index));
    if (index == replies_.size()) {
        if (!replies_.empty() && replies_.back().status != status::kSuccess)
            Fail("went on after an index ended with a failure", std::to_string(replies_.back().status));
        AddReply(true);
    }
    Reply& r = replies_[index];
    if (++r.calls > 6) Fail("asked for one index more than six times", std::to_string(index));
    const std::uint32_t cap = *nameChars;
    r.nameCapacity = cap;
    r.nameVisible.clear();
    const ScriptedValue& v = r.value;
    const bool honest = v.mode != ScriptedValue::Mode::Scripted;
    const RegStatus st = AnswerData(r, type, data, dataSize, true, v.name.size() < cap);
    if (st != status::kSuccess) return st;

    std::uint32_t written = std::uint32_t(v.name.size());
    std::uint32_t reported = written;
    if (!honest && (written >= cap || script_.ConsumeBool())) {
        // A store that claims a longer name than the buffer holds: it fills the whole
        // buffer, no terminator, and reports at least the capacity.
        written = cap;
        reported = cap + script_.ConsumeIntegralInRange<std::uint32_t>(0, 2) * script_.ConsumeIntegral<std::uint8_t>();
    }
    Repeat(v.name, 'n', name, written);
    if (written < cap) {
        name[written] = '\0';
        std::fill(name + written + 1, name + cap, char(kSentinel));
    }
    *nameChars = reported;
    if (Tracing())
        std::fprintf(stderr, "  name: %u of %zu written, %u reported, buffer %u\n", written, v.name.size(), reported,
                     cap);
    r.nameVisible.assign(name, written);
    return st;
}

std::uint32_t ScriptedStore::ExpandEnvironmentStrings(const char* source, char* destination, std::uint32_t capacity) {
    if (!source) Fail("ExpandEnvironmentStrings without a source");
    if (replies_.empty()) Fail("ExpandEnvironmentStrings outside an enumeration");
    Reply& r = replies_.back();
    if (++r.expansions > 100) Fail("the expansion is retried without end");
    std::string text = source;  // the source must be terminated within its buffer
    switch (r.value.expansion) {
        case ScriptedValue::Expansion::Identity: break;
        case ScriptedValue::Expansion::Other: text = r.value.expanded; break;
        case ScriptedValue::Expansion::Fails: return 0;
        case ScriptedValue::Expansion::Grows: text.append(std::size_t(16) * r.expansions, 'g'); break;
    }
    const auto needed = std::uint32_t(text.size() + 1);
    if (destination && capacity >= needed) {
        std::copy(text.c_str(), text.c_str() + needed, destination);
        return needed;
    }
    // Too small: the platform writes an empty text and asks for one more than needed.
    if (destination && capacity > 0) destination[0] = '\0';
    return needed + 1;
}

RegStatus ScriptedStore::SetValue(RegHandle key, const char* valueName, std::uint32_t reserved, std::uint32_t type,
                                  const std::uint8_t* data, std::uint32_t dataSize) {
    CheckUsable(key, "SetValue");
    if (!valueName || (dataSize && !data)) Fail("SetValue without a name, or a count without data");
    SetRecord rec{key, valueName, reserved, type,
                  data ? std::string(reinterpret_cast<const char*>(data), dataSize) : std::string(),
                  PickStatus({0, 0, 0, 5})};
    sets_.push_back(rec);
    return rec.status;
}

// The operations under test never create, delete, list or watch keys.
RegStatus ScriptedStore::CreateKey(RegHandle, const char*, std::uint32_t, const char*, std::uint32_t, std::uint32_t,
                                   const SecurityAttributes*, RegHandle*, std::uint32_t*) {
    Fail("unexpected CreateKey");
}
RegStatus ScriptedStore::DeleteKey(RegHandle, const char*) { Fail("unexpected DeleteKey"); }
RegStatus ScriptedStore::DeleteValue(RegHandle, const char*) { Fail("unexpected DeleteValue"); }
RegStatus ScriptedStore::EnumKey(RegHandle, std::uint32_t, char*, std::uint32_t*, char*, std::uint32_t*, FileTime*) {
    Fail("unexpected EnumKey");
}
std::unique_ptr<KeyWatch> ScriptedStore::WatchKey(RegHandle, const char*, std::function<void()>) {
    Fail("unexpected WatchKey");
}

}  // namespace gt3::fuzz
