// Case folding for names that compare without regard to case. Folding goes to upper
// case, as the registry's own comparison does, one character to one character, from
// fixed tables so that every build and locale folds alike: ASCII, Latin-1,
// Latin Extended-A (which holds the 1252 extras Š, Œ, Ž and Ÿ's partner ÿ), basic
// Greek and Cyrillic. Characters without a simple one-to-one upper case (ß, ı, ŉ,
// ſ, µ) are left as they are.

#include <array>
#include <cstdint>
#include <iterator>

#include "NarrowText.h"

namespace gt3 {

namespace {

struct Range {
    char32_t first, last;
    char32_t delta;  // subtracted from a lower-case character in the range
    bool alternating;  // upper/lower pairs next to each other instead of a block
    bool lowerIsOdd;  // for pairs: whether the lower-case member has the odd code
};

constexpr Range kRanges[] = {
    {U'a', U'z', 0x20, false, false},
    {0x00E0, 0x00FE, 0x20, false, false},  // à..þ, except ÷ (checked below)
    {0x0100, 0x012F, 1, true, true},       // Ā ā .. Į į
    {0x0132, 0x0137, 1, true, true},       // Ĳ ĳ .. Ķ ķ
    {0x0139, 0x0148, 1, true, false},      // Ĺ ĺ .. Ň ň
    {0x014A, 0x0177, 1, true, true},       // Ŋ ŋ .. Ŷ ŷ (Œ œ, Š š among them)
    {0x0179, 0x017E, 1, true, false},      // Ź ź .. Ž ž
    {0x03B1, 0x03C1, 0x20, false, false},  // α..ρ
    {0x03C3, 0x03CB, 0x20, false, false},  // σ..ϋ
    {0x0430, 0x044F, 0x20, false, false},  // а..я
    {0x0450, 0x045F, 0x50, false, false},  // ѐ..џ
};

constexpr wchar_t FoldByRanges(wchar_t c) noexcept {
    const auto code = static_cast<char32_t>(c);
    if (code < U'a') return c;
    if (code == 0x00F7) return c;                   // ÷ is not a letter
    if (code == 0x00FF) return wchar_t(0x0178);     // ÿ -> Ÿ lies outside Latin-1
    if (code == 0x03C2) return wchar_t(0x03A3);     // final ς -> Σ, like σ
    if (code > std::end(kRanges)[-1].last) return c;  // past every range (most 1252 extras)
    for (const Range& r : kRanges) {
        if (code < r.first || code > r.last) continue;
        if (!r.alternating) return wchar_t(code - r.delta);
        const bool odd = (code & 1) != 0;
        return odd == r.lowerIsOdd ? wchar_t(code - 1) : c;
    }
    return c;
}

// Latin-1 from a table made of the same rules: names and value data are mostly
// these characters, and a lookup is all one then costs.
constexpr std::array<wchar_t, 256> kLatin1 = [] {
    std::array<wchar_t, 256> table{};
    for (std::size_t c = 0; c < table.size(); ++c) table[c] = FoldByRanges(static_cast<wchar_t>(c));
    return table;
}();

}  // namespace

wchar_t FoldCase(wchar_t c) noexcept {
    const auto code = static_cast<std::uint32_t>(c);
    return code < kLatin1.size() ? kLatin1[code] : FoldByRanges(c);
}

std::wstring FoldCase(std::wstring_view text) {
    std::wstring out(text);
    for (wchar_t& c : out) c = FoldCase(c);
    return out;
}

}  // namespace gt3
