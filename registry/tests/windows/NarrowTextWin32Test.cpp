// Narrow text through the ANSI code page. Cases that depend on the code page run only
// where it is the single-byte Windows-1252 the test machines use; the rest hold for
// any code page.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "registry/NarrowText.h"

namespace gt3 {
namespace {

bool AnsiIs1252() { return GetACP() == 1252; }

TEST(NarrowTextWin32, AsciiEmptyAndEmbeddedNul) {
    EXPECT_EQ(ToNarrow(L""), "");
    EXPECT_EQ(ToNarrowExact(L""), std::string());
    EXPECT_EQ(FromNarrow(""), L"");

    const std::wstring wide(L"SOFTWARE\\Quorvane\0Log\0\0", 24);
    const std::string narrow("SOFTWARE\\Quorvane\0Log\0\0", 24);
    EXPECT_EQ(ToNarrow(wide), narrow);
    EXPECT_EQ(ToNarrowExact(wide), narrow);
    EXPECT_EQ(FromNarrow(narrow), wide);
    EXPECT_EQ(FromNarrow(std::string(1, '\0')), std::wstring(1, L'\0'));
}

TEST(NarrowTextWin32, UnpairedSurrogateHasNoExactForm) {
    // No ANSI code page, UTF-8 included, has a form for half a surrogate pair.
    EXPECT_FALSE(ToNarrowExact(std::wstring{L'a', wchar_t(0xD800), L'b'}).has_value());
    EXPECT_FALSE(ToNarrowExact(std::wstring{wchar_t(0xDC00)}).has_value());
}

TEST(NarrowTextWin32, AllBytesRoundTripIn1252) {
    if (!AnsiIs1252()) GTEST_SKIP() << "ANSI code page is " << GetACP();
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    const std::wstring wide = FromNarrow(all);
    ASSERT_EQ(wide.size(), 256u);
    EXPECT_EQ(wide[0x80], wchar_t(0x20AC));
    EXPECT_EQ(wide[0x8A], wchar_t(0x0160));
    EXPECT_EQ(wide[0x81], wchar_t(0x0081));
    EXPECT_EQ(wide[0xE9], wchar_t(0x00E9));
    EXPECT_EQ(ToNarrow(wide), all);
    EXPECT_EQ(ToNarrowExact(wide), all);
}

TEST(NarrowTextWin32, LossyAndExactIn1252) {
    if (!AnsiIs1252()) GTEST_SKIP() << "ANSI code page is " << GetACP();
    // U+0100 and U+221E have best-fit look-alikes in 1252 ('A', '8'); neither may slip
    // through as exact, and the lossy form shows '?' instead.
    for (wchar_t c : {wchar_t(0x0100), wchar_t(0x221E), wchar_t(0x4E2D)}) {
        const std::wstring text{L'x', c, L'y'};
        EXPECT_EQ(ToNarrow(text), "x?y") << std::hex << unsigned(c);
        EXPECT_FALSE(ToNarrowExact(text).has_value()) << std::hex << unsigned(c);
    }
    EXPECT_EQ(ToNarrowExact(L"caf\u00E9 \u20AC"), "caf\xE9 \x80");
}

}  // namespace
}  // namespace gt3
