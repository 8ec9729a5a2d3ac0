#include "ValueConversion.h"

#include <cstring>
#include <string>
#include <string_view>

#include "Errors.h"
#include "NarrowText.h"

namespace gt3::conversion {

namespace {

using Bytes = std::span<const std::uint8_t>;

std::string_view Chars(Bytes data) { return {reinterpret_cast<const char*>(data.data()), data.size()}; }

// Strings arrive with their terminators, but nothing guarantees they are there:
// a writer may store a string without one. Only final bytes that really are NUL
// are dropped (at most `count`), so no character of the data is lost.
Bytes DropFinalNuls(Bytes data, std::size_t count) {
    while (count-- > 0 && !data.empty() && data.back() == 0) data = data.first(data.size() - 1);
    return data;
}

// Least significant byte first; bytes the store did not report count as zero, as
// they would in a zero-filled buffer.
std::int32_t LongFrom(Bytes data) {
    std::uint32_t number = 0;
    const std::size_t n = data.size() < 4 ? data.size() : 4;
    for (std::size_t i = 0; i < n; ++i) number |= std::uint32_t{data[i]} << (8 * i);
    return static_cast<std::int32_t>(number);
}

std::wstring Text(Bytes data) { return FromNarrow(Chars(data)); }

// --- Single values ---------------------------------------------------------

// Size 0 keeps the default; a lone terminator is the empty String.
std::optional<Variant> ReadString(Bytes data) {
    if (data.empty()) return std::nullopt;
    return Variant(Text(DropFinalNuls(data, 1)));
}

// Exactly the reported bytes, lower bound 0. Zero bytes give an empty array with
// lower bound 0: the value exists, so the caller's default would misreport it.
std::optional<Variant> ReadBinary(Bytes data) {
    return Variant(ByteArray{std::vector<std::uint8_t>(data.begin(), data.end()), 0});
}

std::optional<Variant> ReadDword(Bytes data) { return Variant(LongFrom(data)); }

// The list with its inner NULs, or the default when its first string is empty.
// Shorter than two bytes falls out of the same rule: a lone NUL (or nothing) keeps
// the default, a single character reads as that character.
std::optional<Variant> ReadMultiString(Bytes data) {
    std::wstring text = Text(DropFinalNuls(data, 2));
    if (text.empty() || text.front() == L'\0') return std::nullopt;
    return Variant(std::move(text));
}

struct ReadRule {
    std::uint32_t type;
    std::optional<Variant> (*convert)(Bytes);
};
// REG_EXPAND_SZ is deliberately absent: a single-value read neither expands it nor
// hands out the unexpanded text.
constexpr ReadRule kReadRules[] = {
    {regtype::kSz, ReadString},
    {regtype::kBinary, ReadBinary},
    {regtype::kDword, ReadDword},
    {regtype::kMultiSz, ReadMultiString},
};

// --- Enumeration display ---------------------------------------------------

Variant ShowString(RegistryStore&, Bytes data) { return Variant(Text(DropFinalNuls(data, 1))); }

// Expanded in a destination sized from what the expansion reports it needs, then
// cut before its first NUL. The source is the stored text up to its first NUL, as
// the expansion reads a C string. Should the expansion fail, the stored text is
// shown unexpanded rather than losing it.
Variant ShowExpandString(RegistryStore& store, Bytes data) {
    const std::string_view stored = Chars(DropFinalNuls(data, 1));
    const std::string source(stored.substr(0, stored.find('\0')));
    std::string destination(source.size() + 1, '\0');
    auto capacity = static_cast<std::uint32_t>(destination.size());
    std::uint32_t needed = store.ExpandEnvironmentStrings(source.c_str(), destination.data(), capacity);
    if (needed > capacity) {
        destination.assign(needed, '\0');
        capacity = needed;
        needed = store.ExpandEnvironmentStrings(source.c_str(), destination.data(), capacity);
    }
    if (needed == 0 || needed > capacity) return Variant(FromNarrow(source));
    const std::string_view expanded(destination.data(), capacity);
    return Variant(FromNarrow(expanded.substr(0, expanded.find('\0'))));
}

// Two uppercase digits per byte, single spaces between; written into a string
// sized once, since binary values can be large. Zero bytes give the empty String.
Variant ShowBinary(RegistryStore&, Bytes data) {
    if (data.empty()) return Variant(std::wstring());
    static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring text(data.size() * 3 - 1, L' ');
    for (std::size_t i = 0; i < data.size(); ++i) {
        text[3 * i] = kDigits[data[i] >> 4];
        text[3 * i + 1] = kDigits[data[i] & 0x0F];
    }
    return Variant(std::move(text));
}

Variant ShowDword(RegistryStore&, Bytes data) { return Variant(LongFrom(data)); }

// Strings joined by commas. Shorter than two bytes follows the same rule as every
// other size: only final NULs are dropped, so a lone NUL shows as the empty String.
Variant ShowMultiString(RegistryStore&, Bytes data) {
    std::wstring text = Text(DropFinalNuls(data, 2));
    for (wchar_t& c : text)
        if (c == L'\0') c = L',';
    return Variant(std::move(text));
}

struct DisplayRule {
    std::uint32_t type;
    Variant (*convert)(RegistryStore&, Bytes);
};
constexpr DisplayRule kDisplayRules[] = {
    {regtype::kSz, ShowString},       {regtype::kExpandSz, ShowExpandString}, {regtype::kBinary, ShowBinary},
    {regtype::kDword, ShowDword},     {regtype::kMultiSz, ShowMultiString},
};

// --- Writes ----------------------------------------------------------------

std::vector<std::uint8_t> StringData(const Variant& value, std::size_t terminators) {
    const std::string narrow = ToNarrow(value.ToText());
    std::vector<std::uint8_t> data(narrow.size() + terminators, 0);
    std::memcpy(data.data(), narrow.data(), narrow.size());
    return data;
}

}  // namespace

std::optional<Variant> ValueFromData(std::uint32_t type, Bytes data) {
    for (const auto& rule : kReadRules)
        if (rule.type == type) return rule.convert(data);
    return std::nullopt;
}

Variant DisplayFromData(RegistryStore& store, std::uint32_t type, Bytes data) {
    for (const auto& rule : kDisplayRules)
        if (rule.type == type) return rule.convert(store, data);
    return Variant();
}

std::optional<std::vector<std::uint8_t>> DataFromValue(const Variant& value, std::int32_t dtype) {
    switch (static_cast<std::uint32_t>(dtype)) {
        case regtype::kSz:
        case regtype::kExpandSz:
            return StringData(value, 1);
        case regtype::kMultiSz:
            return StringData(value, 2);
        case regtype::kBinary: {
            // Whatever Variant::ToByteArray accepts: a byte array (elements from its
            // lower to its upper bound), a String (its narrow bytes) or an array of
            // numbers 0..255. An array without elements has no upper bound to take.
            ByteArray bytes = value.ToByteArray();
            if (bytes.bytes.empty()) throw RuntimeError(ErrorNumber::SubscriptOutOfRange);
            return std::move(bytes.bytes);
        }
        case regtype::kDword: {
            const auto number = static_cast<std::uint32_t>(value.ToLong());
            return std::vector<std::uint8_t>{static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
                                             static_cast<std::uint8_t>(number >> 16),
                                             static_cast<std::uint8_t>(number >> 24)};
        }
        default:
            return std::nullopt;
    }
}

}  // namespace gt3::conversion
