// Variant conversions, and the bytes SetRegistryValue and WriteRemoteRegistryValue
// hand to the store. Each Variant the input describes is converted to text, to a
// Long and to bytes, and checked against the documented rules; then it is written
// with a type code the input picks, and the one store write (or its absence) is
// checked byte for byte, with every handle closed.

#include <fuzzer/FuzzedDataProvider.h>

#include <optional>
#include <string>

#include "ScriptedStore.h"
#include "registry/Errors.h"
#include "registry/NarrowText.h"
#include "registry/RegistryRoutines.h"

namespace {

using namespace gt3;
using namespace gt3::fuzz;

const std::string kContextPath = "SOFTWARE\\Quorvane\\Glimtrove\\a@b.c";

template <class T>
struct Outcome {
    std::optional<T> value;
    std::optional<ErrorNumber> error;
};

template <class F>
auto Attempt(F f) -> Outcome<decltype(f())> {
    try {
        return {f(), std::nullopt};
    } catch (const RuntimeError& e) {
        return {std::nullopt, e.number()};
    }
}

template <class T>
Outcome<T> Raises(ErrorNumber e) {
    return {std::nullopt, e};
}

std::wstring MakeText(FuzzedDataProvider& s) {
    static constexpr wchar_t kChars[] = {L'0', L'1', L'9', L' ', L'\t', L'+', L'-', L'a',  L'x',
                                         L'.', L'e', L'\0', 0x20AC, 0x0100, 0x00E9, 0xFFFF};
    std::wstring text;
    for (auto n = s.ConsumeIntegralInRange(0, 24); n > 0; --n) {
        const auto i = s.ConsumeIntegralInRange<std::size_t>(0, std::size(kChars));
        text += i < std::size(kChars) ? kChars[i] : wchar_t(s.ConsumeIntegral<std::uint16_t>());
    }
    return text;
}

// Numbers near and beyond the 32-bit range, with the blanks, signs and zeros the
// text rule allows around them.
std::wstring MakeNumberText(FuzzedDataProvider& s) {
    const auto n = s.ConsumeIntegralInRange<std::int64_t>(-4294967296LL, 4294967296LL);
    std::wstring digits = std::to_wstring(n < 0 ? -n : n);
    if (s.ConsumeBool()) digits.insert(0, L"00");
    std::wstring sign = n < 0 ? L"-" : (s.ConsumeBool() ? L"+" : L"");
    return std::wstring(s.ConsumeIntegralInRange(0, 2), L' ') + sign + digits +
           std::wstring(s.ConsumeIntegralInRange(0, 2), L'\t');
}

Variant MakeVariant(FuzzedDataProvider& s, int depth) {
    switch (s.ConsumeIntegralInRange(0, depth < 2 ? 7 : 6)) {
        case 0: return Variant();
        case 1: return Variant::Missing();
        case 2: return Variant(MakeText(s));
        case 3: return Variant(s.ConsumeIntegral<std::int32_t>());
        case 4: return Variant(s.ConsumeBool());
        case 5: {
            static constexpr std::int32_t kBounds[] = {0, 1, -3, 1000};
            auto bytes = s.ConsumeBytes<std::uint8_t>(s.ConsumeIntegralInRange(0, 16));
            return Variant(ByteArray{std::move(bytes), kBounds[s.ConsumeIntegralInRange(0, 3)]});
        }
        case 6: return Variant(MakeNumberText(s));
        default: {
            VariantArray items;
            for (auto n = s.ConsumeIntegralInRange(0, 5); n > 0; --n) items.push_back(MakeVariant(s, depth + 1));
            return Variant(std::move(items));
        }
    }
}

// The text rule for numbers: blanks, an optional sign, digits, blanks.
Outcome<std::int32_t> ParseLong(const std::wstring& t) {
    std::size_t i = 0;
    auto blanks = [&] {
        while (i < t.size() && (t[i] == L' ' || t[i] == L'\t')) ++i;
    };
    blanks();
    const bool negative = i < t.size() && t[i] == L'-';
    if (i < t.size() && (t[i] == L'-' || t[i] == L'+')) ++i;
    const std::size_t first = i;
    std::uint64_t value = 0;
    for (; i < t.size() && t[i] >= L'0' && t[i] <= L'9'; ++i) value = std::min<std::uint64_t>(value * 10 + (t[i] - L'0'), 1ULL << 40);
    const bool digits = i > first;
    blanks();
    if (!digits || i != t.size()) return Raises<std::int32_t>(ErrorNumber::TypeMismatch);
    if (value > (negative ? 2147483648ULL : 2147483647ULL)) return Raises<std::int32_t>(ErrorNumber::Overflow);
    return {std::int32_t(negative ? -std::int64_t(value) : std::int64_t(value)), std::nullopt};
}

Outcome<std::wstring> ExpectText(const Variant& v) {
    switch (v.kind()) {
        case Variant::Kind::Empty: return {std::wstring(), std::nullopt};
        case Variant::Kind::String: return {v.AsString(), std::nullopt};
        case Variant::Kind::Long: return {std::to_wstring(v.AsLong()), std::nullopt};
        case Variant::Kind::Boolean: return {std::wstring(v.AsBoolean() ? L"True" : L"False"), std::nullopt};
        default: return Raises<std::wstring>(ErrorNumber::TypeMismatch);
    }
}

Outcome<std::int32_t> ExpectLong(const Variant& v) {
    switch (v.kind()) {
        case Variant::Kind::Empty: return {0, std::nullopt};
        case Variant::Kind::String: return ParseLong(v.AsString());
        case Variant::Kind::Long: return {v.AsLong(), std::nullopt};
        case Variant::Kind::Boolean: return {v.AsBoolean() ? -1 : 0, std::nullopt};
        default: return Raises<std::int32_t>(ErrorNumber::TypeMismatch);
    }
}

// For an array, an element that does not convert may report its own error or a
// type mismatch for the whole.
struct BytesExpectation {
    Outcome<ByteArray> outcome;
    bool mismatchAlso = false;
};

BytesExpectation ExpectBytes(const Variant& v) {
    switch (v.kind()) {
        case Variant::Kind::Bytes: return {{v.AsBytes(), std::nullopt}};
        case Variant::Kind::String: {
            const std::string n = ToNarrow(v.AsString());
            return {{ByteArray{std::vector<std::uint8_t>(n.begin(), n.end()), 0}, std::nullopt}};
        }
        case Variant::Kind::Array: {
            ByteArray out;
            for (const Variant& item : v.AsArray()) {
                const auto l = ExpectLong(item);
                if (l.error) return {Raises<ByteArray>(*l.error), true};
                if (*l.value < 0 || *l.value > 255) return {Raises<ByteArray>(ErrorNumber::Overflow)};
                out.bytes.push_back(std::uint8_t(*l.value));
            }
            return {{out, std::nullopt}};
        }
        default: return {Raises<ByteArray>(ErrorNumber::TypeMismatch)};
    }
}

template <class T>
void Compare(const Outcome<T>& actual, const Outcome<T>& expected, const char* what, const Variant& v,
             bool mismatchAlso = false) {
    if (expected.error) {
        if (actual.error == expected.error || (mismatchAlso && actual.error == ErrorNumber::TypeMismatch)) return;
        Fail(what, Show(v) + ": expected error " + std::to_string(int(*expected.error)));
    }
    if (actual.error) Fail(what, Show(v) + ": raised " + std::to_string(int(*actual.error)));
    if (!(*actual.value == *expected.value)) Fail(what, Show(v) + ": wrong result");
}

void CheckConversions(const Variant& v) {
    const Variant copy = v;
    if (!(copy == v)) Fail("a copy differs from its original", Show(v));
    Compare(Attempt([&] { return v.ToText(); }), ExpectText(v), "ToText", v);
    Compare(Attempt([&] { return v.ToLong(); }), ExpectLong(v), "ToLong", v);
    const BytesExpectation b = ExpectBytes(v);
    Compare(Attempt([&] { return v.ToByteArray(); }), b.outcome, "ToByteArray", v, b.mismatchAlso);
}

// The bytes a write of v as dtype must hand to the store, or the error it must raise.
Outcome<std::string> ExpectWrite(const Variant& v, std::int32_t dtype) {
    switch (dtype) {
        case 1:
        case 2:
        case 7: {
            const auto t = Attempt([&] { return v.ToText(); });
            if (t.error) return Raises<std::string>(*t.error);
            return {ToNarrow(*t.value) + std::string(dtype == 7 ? 2 : 1, '\0'), std::nullopt};
        }
        case 4: {
            const auto l = Attempt([&] { return v.ToLong(); });
            if (l.error) return Raises<std::string>(*l.error);
            const auto u = std::uint32_t(*l.value);
            return {std::string{char(u), char(u >> 8), char(u >> 16), char(u >> 24)}, std::nullopt};
        }
        case 3: {
            const auto b = Attempt([&] { return v.ToByteArray(); });
            if (b.error) return Raises<std::string>(*b.error);
            if (b.value->bytes.empty()) return Raises<std::string>(ErrorNumber::SubscriptOutOfRange);
            return {std::string(b.value->bytes.begin(), b.value->bytes.end()), std::nullopt};
        }
        default: return {std::nullopt, std::nullopt};  // nothing is written
    }
}

void FuzzWrite(FuzzedDataProvider& s, ScriptedStore& store, RegistryRoutines& reg, const Variant& v) {
    static constexpr std::int32_t kTypes[] = {1, 2, 3, 4, 7, 0, 5, 8};
    const auto t = s.ConsumeIntegralInRange<std::size_t>(0, std::size(kTypes));
    const std::int32_t dtype = t < std::size(kTypes) ? kTypes[t] : s.ConsumeIntegral<std::int32_t>();
    const bool remote = s.ConsumeBool();

    store.Begin();
    const auto written = Attempt([&] {
        return remote ? reg.WriteRemoteRegistryValue(L"FARHOST", root::kLocalMachine, L"Log", v, dtype)
                      : reg.SetRegistryValue(L"Log", v, dtype);
    });
    store.CheckAllClosed(remote ? "WriteRemoteRegistryValue" : "SetRegistryValue");

    RegHandle parent = root::kLocalMachine;
    if (remote) {
        if (store.connects() != 1 || store.machine() != "FARHOST") Fail("expected one connect to the named machine");
        if (store.connection() == 0) {
            if (!store.opens().empty() || written.error || *written.value) Fail("wrote, or succeeded, without a connection");
            return;
        }
        parent = store.connection();
    }
    if (store.opens().size() != 1) Fail("expected one OpenKey");
    const OpenRecord& o = store.opens().front();
    if (o.parent != parent || o.path != kContextPath || o.access != access::kWrite)
        Fail("OpenKey with the wrong root, path or access", o.path + " access " + std::to_string(o.access));
    if (o.status != status::kSuccess) {
        if (!store.sets().empty() || written.error || *written.value) Fail("wrote, or succeeded, on a key that did not open");
        return;
    }

    const Outcome<std::string> expected = ExpectWrite(v, dtype);
    if (expected.error) {
        if (written.error != expected.error)
            Fail("write did not raise the conversion's error", Show(v) + " as type " + std::to_string(dtype));
        if (!store.sets().empty()) Fail("wrote a value that did not convert", Show(v));
        return;
    }
    if (written.error) Fail("write raised an error", Show(v) + " as type " + std::to_string(dtype));
    if (!expected.value) {
        if (!store.sets().empty() || *written.value) Fail("type without a conversion wrote, or reported success");
        return;
    }
    if (store.sets().size() != 1) Fail("expected exactly one store write", std::to_string(store.sets().size()));
    const SetRecord& w = store.sets().front();
    if (w.key != o.handle || w.name != "Log" || w.reserved != 0 || w.type != std::uint32_t(dtype))
        Fail("store write with the wrong key, name, reserved word or type");
    if (w.bytes != *expected.value)
        Fail("store write with the wrong bytes", Show(v) + " as type " + std::to_string(dtype) + ": " +
                                                     std::to_string(w.bytes.size()) + " bytes");
    if (*written.value != (w.status == status::kSuccess)) Fail("result does not follow the store's status");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider script(data, size);
    ScriptedStore store(script);
    RegistryRoutines reg(store);
    reg.hkey(root::kLocalMachine);
    reg.KeyRoot(L"SOFTWARE\\Quorvane\\Glimtrove");
    reg.Subkey(L"a@b.c");
    try {
        const Variant v = MakeVariant(script, 0);
        CheckConversions(v);
        FuzzWrite(script, store, reg, v);
    } catch (const std::exception& e) {
        Fail("an exception other than a run-time error escaped", e.what());
    }
    return 0;
}
