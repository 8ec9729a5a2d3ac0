#pragma once
// The dynamically typed value in which registry data is read and written.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace gt3 {

class Variant;

// One-dimensional byte array with its lower bound (arrays made by reads start at 0).
struct ByteArray {
    std::vector<std::uint8_t> bytes;
    std::int32_t lowerBound = 0;

    std::int64_t upperBound() const { return std::int64_t{lowerBound} + std::int64_t(bytes.size()) - 1; }
    friend bool operator==(const ByteArray&, const ByteArray&) = default;
};

using VariantArray = std::vector<Variant>;

class Variant {
public:
    enum class Kind { Empty, Missing, String, Long, Boolean, Bytes, Array };

    // Boolean as the classic runtime holds it: True is -1, False is 0.
    static constexpr std::int16_t kTrue = -1;
    static constexpr std::int16_t kFalse = 0;

    Variant() = default;  // Empty
    Variant(std::wstring text);
    Variant(const wchar_t* text);
    Variant(std::int32_t number);
    Variant(bool flag);
    // A narrow literal would otherwise bind to Variant(bool) and become True.
    Variant(const char*) = delete;
    Variant(ByteArray bytes);
    Variant(VariantArray items);

    // The marker of an omitted optional argument.
    static Variant Missing();

    Kind kind() const noexcept;
    bool IsEmpty() const noexcept { return kind() == Kind::Empty; }
    bool IsMissing() const noexcept { return kind() == Kind::Missing; }

    // Direct access; each throws TypeMismatch when the kind differs.
    const std::wstring& AsString() const;
    std::int32_t AsLong() const;
    bool AsBoolean() const;
    const ByteArray& AsBytes() const;
    const VariantArray& AsArray() const;

    // Conversions; each raises a RuntimeError where the value does not convert.
    //  ToText: Empty -> "", String as is, Long -> decimal digits, Boolean -> "True"/"False";
    //          Missing, byte arrays and Variant arrays -> TypeMismatch.
    //  ToLong: Empty -> 0, Long as is, Boolean -> -1/0, String -> see below;
    //          Missing, byte arrays and Variant arrays -> TypeMismatch.
    //          Text rule: optional blanks (space, tab), an optional '+' or '-', one or more
    //          ASCII digits (leading zeros allowed), optional blanks, nothing else. A number
    //          outside -2147483648..2147483647 is Overflow; any other text, the empty text,
    //          a lone sign, inner blanks, hex, decimals and exponents included, is
    //          TypeMismatch.
    //  ToByteArray: Bytes as is; String -> its narrow bytes (lower bound 0); an array of
    //          values that convert to Longs 0..255 -> those bytes (lower bound 0; out of
    //          0..255: Overflow); everything else -> TypeMismatch.
    std::wstring ToText() const;
    std::int32_t ToLong() const;
    ByteArray ToByteArray() const;

    friend bool operator==(const Variant&, const Variant&);

private:
    struct MissingTag {
        friend bool operator==(MissingTag, MissingTag) { return true; }
    };
    struct EmptyTag {
        friend bool operator==(EmptyTag, EmptyTag) { return true; }
    };
    using Storage = std::variant<EmptyTag, MissingTag, std::wstring, std::int32_t, bool, ByteArray, VariantArray>;
    Storage value_;
};

}  // namespace gt3
