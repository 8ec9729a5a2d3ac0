#include "Variant.h"

#include <limits>
#include <utility>

#include "Errors.h"
#include "NarrowText.h"

namespace gt3 {

namespace {

[[noreturn]] void Raise(ErrorNumber number) { throw RuntimeError(number); }

bool IsBlank(wchar_t c) noexcept { return c == L' ' || c == L'\t'; }

// Decimal text to a signed 32-bit number: [blanks][+|-]digits[blanks]. The value is
// accumulated as a magnitude with an early stop, so any number of digits is safe and
// "-2147483648" is representable.
std::int32_t ParseLong(const std::wstring& text) {
    std::size_t pos = 0;
    const std::size_t end = text.size();
    while (pos < end && IsBlank(text[pos])) ++pos;

    bool negative = false;
    if (pos < end && (text[pos] == L'+' || text[pos] == L'-')) {
        negative = text[pos] == L'-';
        ++pos;
    }

    constexpr std::uint64_t kLimit = std::uint64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::uint64_t magnitude = 0;
    bool tooLarge = false;
    const std::size_t digitsStart = pos;
    for (; pos < end && text[pos] >= L'0' && text[pos] <= L'9'; ++pos) {
        if (!tooLarge) {
            magnitude = magnitude * 10 + std::uint64_t(text[pos] - L'0');
            tooLarge = magnitude > kLimit;
        }
    }
    if (pos == digitsStart) Raise(ErrorNumber::TypeMismatch);

    while (pos < end && IsBlank(text[pos])) ++pos;
    if (pos != end) Raise(ErrorNumber::TypeMismatch);

    if (tooLarge || magnitude > (negative ? kLimit : kLimit - 1)) Raise(ErrorNumber::Overflow);
    return negative ? std::int32_t(-std::int64_t(magnitude)) : std::int32_t(magnitude);
}

}  // namespace

Variant::Variant(std::wstring text) : value_(std::move(text)) {}
Variant::Variant(const wchar_t* text) : value_(std::wstring(text ? text : L"")) {}
Variant::Variant(std::int32_t number) : value_(number) {}
Variant::Variant(bool flag) : value_(flag) {}
Variant::Variant(ByteArray bytes) : value_(std::move(bytes)) {}
Variant::Variant(VariantArray items) : value_(std::move(items)) {}

Variant Variant::Missing() {
    Variant v;
    v.value_ = MissingTag{};
    return v;
}

Variant::Kind Variant::kind() const noexcept {
    // The alternatives of Storage stand in the order of Kind.
    return static_cast<Kind>(value_.index());
}

const std::wstring& Variant::AsString() const {
    if (const auto* p = std::get_if<std::wstring>(&value_)) return *p;
    Raise(ErrorNumber::TypeMismatch);
}

std::int32_t Variant::AsLong() const {
    if (const auto* p = std::get_if<std::int32_t>(&value_)) return *p;
    Raise(ErrorNumber::TypeMismatch);
}

bool Variant::AsBoolean() const {
    if (const auto* p = std::get_if<bool>(&value_)) return *p;
    Raise(ErrorNumber::TypeMismatch);
}

const ByteArray& Variant::AsBytes() const {
    if (const auto* p = std::get_if<ByteArray>(&value_)) return *p;
    Raise(ErrorNumber::TypeMismatch);
}

const VariantArray& Variant::AsArray() const {
    if (const auto* p = std::get_if<VariantArray>(&value_)) return *p;
    Raise(ErrorNumber::TypeMismatch);
}

std::wstring Variant::ToText() const {
    switch (kind()) {
        case Kind::Empty: return {};
        case Kind::String: return AsString();
        case Kind::Long: return std::to_wstring(AsLong());
        case Kind::Boolean: return AsBoolean() ? L"True" : L"False";
        case Kind::Missing:
        case Kind::Bytes:
        case Kind::Array: break;
    }
    Raise(ErrorNumber::TypeMismatch);
}

std::int32_t Variant::ToLong() const {
    switch (kind()) {
        case Kind::Empty: return 0;
        case Kind::Long: return AsLong();
        case Kind::Boolean: return AsBoolean() ? kTrue : kFalse;
        case Kind::String: return ParseLong(AsString());
        case Kind::Missing:
        case Kind::Bytes:
        case Kind::Array: break;
    }
    Raise(ErrorNumber::TypeMismatch);
}

ByteArray Variant::ToByteArray() const {
    switch (kind()) {
        case Kind::Bytes: return AsBytes();
        case Kind::String: {
            const std::string narrow = ToNarrow(AsString());
            return ByteArray{{narrow.begin(), narrow.end()}, 0};
        }
        case Kind::Array: {
            const VariantArray& items = AsArray();
            ByteArray result;
            result.bytes.reserve(items.size());
            for (const Variant& item : items) {
                const std::int32_t n = item.ToLong();
                if (n < 0 || n > 255) Raise(ErrorNumber::Overflow);
                result.bytes.push_back(static_cast<std::uint8_t>(n));
            }
            return result;
        }
        case Kind::Empty:
        case Kind::Missing:
        case Kind::Long:
        case Kind::Boolean: break;
    }
    Raise(ErrorNumber::TypeMismatch);
}

bool operator==(const Variant& a, const Variant& b) { return a.value_ == b.value_; }

}  // namespace gt3
