// Portable narrow text: Windows-1252, exactly as Windows' own table has it, so that
// results do not depend on the machine's locale. The five bytes 1252 leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the control characters of the same number,
// both ways, as Windows does; every other byte 0x80..0x9F has its own character.

#include <algorithm>
#include <array>
#include <cstdint>

#include "NarrowText.h"

namespace gt3 {

namespace {

constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

constexpr wchar_t ToWide(unsigned char byte) noexcept {
    return (byte >= 0x80 && byte <= 0x9F) ? wchar_t(kHigh[byte - 0x80]) : wchar_t(byte);
}

// Every byte's character, worked out once: values can be long, and a lookup is
// all a byte then costs.
constexpr std::array<wchar_t, 256> kWide = [] {
    std::array<wchar_t, 256> table{};
    for (std::size_t b = 0; b < table.size(); ++b) table[b] = ToWide(static_cast<unsigned char>(b));
    return table;
}();

// The byte of a character, or -1 when 1252 has none. wchar_t is 32 bits here, so a
// character above U+FFFF (or a lone surrogate) simply finds no byte.
int ToByte(wchar_t c) noexcept {
    const auto code = static_cast<std::uint32_t>(c);
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return int(code);
    for (std::size_t i = 0; i < kHigh.size(); ++i)
        if (kHigh[i] == code) return int(0x80 + i);
    return -1;
}

}  // namespace

std::string ToNarrow(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        const int b = ToByte(c);
        out.push_back(b < 0 ? '?' : static_cast<char>(b));
    }
    return out;
}

std::optional<std::string> ToNarrowExact(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        const int b = ToByte(c);
        if (b < 0) return std::nullopt;
        out.push_back(static_cast<char>(b));
    }
    return out;
}

std::wstring FromNarrow(std::string_view bytes) {
    std::wstring out(bytes.size(), L'\0');
    std::transform(bytes.begin(), bytes.end(), out.begin(), [](char b) { return kWide[static_cast<unsigned char>(b)]; });
    return out;
}

}  // namespace gt3
