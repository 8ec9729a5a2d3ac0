// The portable build's narrow text is Windows-1252 exactly.

#include <gtest/gtest.h>

#include <string>

#include "registry/NarrowText.h"
#include "registry/Variant.h"

namespace gt3 {
namespace {

TEST(NarrowText, AllBytesRoundTripThrough1252) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    const std::wstring wide = FromNarrow(all);
    ASSERT_EQ(wide.size(), 256u);  // NUL included
    EXPECT_EQ(ToNarrow(wide), all);
    EXPECT_EQ(ToNarrowExact(wide), all);
}

TEST(NarrowText, CodePageTable) {
    const struct {
        unsigned char byte;
        wchar_t wide;
    } cases[] = {
        {0x00, 0x0000}, {0x41, L'A'},     {0x7F, 0x007F}, {0x80, 0x20AC}, {0x81, 0x0081},
        {0x8A, 0x0160}, {0x8C, 0x0152},   {0x8D, 0x008D}, {0x8E, 0x017D}, {0x8F, 0x008F},
        {0x90, 0x0090}, {0x92, 0x2019},   {0x99, 0x2122}, {0x9D, 0x009D}, {0x9F, 0x0178},
        {0xA0, 0x00A0}, {0xE9, 0x00E9},   {0xFF, 0x00FF},
    };
    for (const auto& c : cases) {
        const std::string narrow(1, static_cast<char>(c.byte));
        EXPECT_EQ(FromNarrow(narrow), std::wstring(1, c.wide)) << int(c.byte);
        EXPECT_EQ(ToNarrowExact(std::wstring(1, c.wide)), narrow) << int(c.byte);
    }
}

TEST(NarrowText, UnmappableCharacters) {
    // C1 controls that 1252 gives a printable character instead, and characters
    // beyond it, including one above U+FFFF.
    const wchar_t unmappable[] = {0x0080, 0x0083, 0x009F, 0x0100, 0x20AD, 0x4E2D, 0xD800, 0xFFFD,
                                  static_cast<wchar_t>(0x1F600)};
    for (wchar_t c : unmappable) {
        const std::wstring text = std::wstring(L"a") + c + L"b";
        EXPECT_EQ(ToNarrow(text), "a?b") << std::hex << unsigned(c);
        EXPECT_FALSE(ToNarrowExact(text).has_value()) << std::hex << unsigned(c);
    }
    EXPECT_EQ(ToNarrowExact(L"caf\u00E9 \u20AC"), "caf\xE9 \x80");
}

TEST(NarrowText, EmptyAndEmbeddedNul) {
    EXPECT_EQ(ToNarrow(L""), "");
    EXPECT_EQ(ToNarrowExact(L""), std::string());
    EXPECT_EQ(FromNarrow(""), L"");
    EXPECT_EQ(FromNarrow(std::string("a\0\0b", 4)), std::wstring(L"a\0\0b", 4));
    EXPECT_EQ(ToNarrow(std::wstring(L"\0x\0", 3)), std::string("\0x\0", 3));
}

TEST(NarrowText, VariantTextToBytesGoesThroughCodePage) {
    EXPECT_EQ(Variant(L"\u20AC\u00E9\u4E2D").ToByteArray(), (ByteArray{{0x80, 0xE9, '?'}, 0}));
}

TEST(FoldCase, FoldsToUpperOneToOne) {
    const struct {
        wchar_t in, out;
    } cases[] = {
        {L'a', L'A'},     {L'z', L'Z'},     {L'A', L'A'},     {L'1', L'1'},     {L'@', L'@'},
        {0x00E0, 0x00C0}, {0x00E9, 0x00C9}, {0x00FE, 0x00DE}, {0x00F7, 0x00F7}, {0x00D7, 0x00D7},
        {0x00FF, 0x0178}, {0x00DF, 0x00DF}, {0x00B5, 0x00B5}, {0x0161, 0x0160}, {0x0160, 0x0160},
        {0x017E, 0x017D}, {0x0153, 0x0152}, {0x0101, 0x0100}, {0x013A, 0x0139}, {0x0131, 0x0131},
        {0x0138, 0x0138}, {0x0149, 0x0149}, {0x017F, 0x017F}, {0x03B1, 0x0391}, {0x03C2, 0x03A3},
        {0x0430, 0x0410}, {0x0451, 0x0401}, {0x20AC, 0x20AC},
    };
    for (const auto& c : cases) EXPECT_EQ(FoldCase(c.in), c.out) << std::hex << unsigned(c.in);
    EXPECT_EQ(FoldCase(L"Software\\Quorvane"), L"SOFTWARE\\QUORVANE");
}

}  // namespace
}  // namespace gt3
