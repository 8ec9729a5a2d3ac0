#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "registry/Errors.h"
#include "registry/Variant.h"
#include "registry/tests/support/ErrorOf.h"

namespace gt3 {
namespace {

using Kind = Variant::Kind;

using test::ErrorOf;

TEST(Variant, KindsAndDirectAccess) {
    EXPECT_EQ(Variant().kind(), Kind::Empty);
    EXPECT_TRUE(Variant().IsEmpty());
    EXPECT_TRUE(Variant::Missing().IsMissing());
    EXPECT_FALSE(Variant::Missing().IsEmpty());
    EXPECT_EQ(Variant(L"x").kind(), Kind::String);
    EXPECT_EQ(Variant(7).kind(), Kind::Long);
    EXPECT_EQ(Variant(true).kind(), Kind::Boolean);
    EXPECT_EQ(Variant(ByteArray{}).kind(), Kind::Bytes);
    EXPECT_EQ(Variant(VariantArray{}).kind(), Kind::Array);

    EXPECT_EQ(ErrorOf([] { (void)Variant(1).AsString(); }), ErrorNumber::TypeMismatch);
    EXPECT_EQ(ErrorOf([] { (void)Variant(L"1").AsLong(); }), ErrorNumber::TypeMismatch);
    EXPECT_EQ(ErrorOf([] { (void)Variant(0).AsBoolean(); }), ErrorNumber::TypeMismatch);
    EXPECT_EQ(ErrorOf([] { (void)Variant().AsBytes(); }), ErrorNumber::TypeMismatch);
    EXPECT_EQ(ErrorOf([] { (void)Variant::Missing().AsArray(); }), ErrorNumber::TypeMismatch);
}

TEST(Variant, EqualityComparesKindAndContent) {
    EXPECT_EQ(Variant(), Variant());
    EXPECT_NE(Variant(), Variant::Missing());
    EXPECT_NE(Variant(0), Variant(false));       // same number, different kind
    EXPECT_NE(Variant(-1), Variant(true));
    EXPECT_NE(Variant(L"1"), Variant(1));
    EXPECT_NE(Variant(), Variant(L""));
    EXPECT_NE((ByteArray{{1, 2}, 0}), (ByteArray{{1, 2}, 1}));  // lower bound counts
    EXPECT_EQ(Variant(VariantArray{L"a", 1}), Variant(VariantArray{L"a", 1}));
    EXPECT_NE(Variant(VariantArray{L"a", 1}), Variant(VariantArray{L"a", 2}));
}

TEST(Variant, ToText) {
    const struct {
        Variant value;
        std::wstring text;
    } cases[] = {
        {Variant(), L""},
        {Variant(std::wstring(L"a\0b", 3)), std::wstring(L"a\0b", 3)},
        {Variant(0), L"0"},
        {Variant(std::numeric_limits<std::int32_t>::min()), L"-2147483648"},
        {Variant(true), L"True"},
        {Variant(false), L"False"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.value.ToText(), c.text);

    for (const Variant& v : {Variant::Missing(), Variant(ByteArray{{65}, 0}), Variant(VariantArray{L"a"})})
        EXPECT_EQ(ErrorOf([&] { (void)v.ToText(); }), ErrorNumber::TypeMismatch);
}

TEST(Variant, ToLongFromKinds) {
    EXPECT_EQ(Variant().ToLong(), 0);
    EXPECT_EQ(Variant(42).ToLong(), 42);
    EXPECT_EQ(Variant(true).ToLong(), -1);
    EXPECT_EQ(Variant(false).ToLong(), 0);
    for (const Variant& v : {Variant::Missing(), Variant(ByteArray{{1}, 0}), Variant(VariantArray{1})})
        EXPECT_EQ(ErrorOf([&] { (void)v.ToLong(); }), ErrorNumber::TypeMismatch);
}

TEST(Variant, ToLongFromText) {
    const struct {
        const wchar_t* text;
        std::int32_t value;
    } good[] = {
        {L"0", 0},
        {L"17", 17},
        {L"+17", 17},
        {L"-17", -17},
        {L"-0", 0},
        {L"  \t 5 \t ", 5},
        {L"0000000000000000000012", 12},
        {L"2147483647", 2147483647},
        {L"-2147483648", std::numeric_limits<std::int32_t>::min()},
        {L" +2147483647 ", 2147483647},
    };
    for (const auto& c : good) EXPECT_EQ(Variant(c.text).ToLong(), c.value) << c.text;

    const wchar_t* overflow[] = {
        L"2147483648", L"-2147483649", L"+4294967296", L"99999999999999999999999999", L"  -3000000000  ",
    };
    for (const wchar_t* t : overflow)
        EXPECT_EQ(ErrorOf([&] { (void)Variant(t).ToLong(); }), ErrorNumber::Overflow) << t;

    const wchar_t* mismatch[] = {
        L"", L"   ", L"+", L"-", L"1 2", L"- 1", L"+-1", L"12a", L"0x10", L"1.0", L"1e3", L"\n1", L"1\n",
        L"99999999999x",  // an overflowing prefix still fails as a non-number
    };
    for (const wchar_t* t : mismatch)
        EXPECT_EQ(ErrorOf([&] { (void)Variant(t).ToLong(); }), ErrorNumber::TypeMismatch) << t;

    // A NUL inside the text is not a blank.
    EXPECT_EQ(ErrorOf([] { (void)Variant(std::wstring(L"1\0", 2)).ToLong(); }), ErrorNumber::TypeMismatch);
}

TEST(Variant, ToByteArray) {
    const ByteArray bounded{{9, 8, 7}, 1};
    EXPECT_EQ(Variant(bounded).ToByteArray(), bounded);  // lower bound kept
    EXPECT_EQ(Variant(std::wstring(L"Ab\0c", 4)).ToByteArray(), (ByteArray{{'A', 'b', 0, 'c'}, 0}));
    EXPECT_EQ(Variant(L"").ToByteArray(), ByteArray{});
    EXPECT_EQ(Variant(VariantArray{0, 255, L" 16 ", false}).ToByteArray(), (ByteArray{{0, 255, 16, 0}, 0}));
    EXPECT_EQ(Variant(VariantArray{}).ToByteArray(), ByteArray{});

    EXPECT_EQ(ErrorOf([] { (void)Variant(VariantArray{1, 256}).ToByteArray(); }), ErrorNumber::Overflow);
    EXPECT_EQ(ErrorOf([] { (void)Variant(VariantArray{-1}).ToByteArray(); }), ErrorNumber::Overflow);
    EXPECT_EQ(ErrorOf([] { (void)Variant(VariantArray{true}).ToByteArray(); }), ErrorNumber::Overflow);  // -1
    EXPECT_EQ(ErrorOf([] { (void)Variant(VariantArray{L"x"}).ToByteArray(); }), ErrorNumber::TypeMismatch);
    EXPECT_EQ(ErrorOf([] { (void)Variant(VariantArray{VariantArray{1}}).ToByteArray(); }),
              ErrorNumber::TypeMismatch);
    for (const Variant& v : {Variant(), Variant::Missing(), Variant(5), Variant(true)})
        EXPECT_EQ(ErrorOf([&] { (void)v.ToByteArray(); }), ErrorNumber::TypeMismatch);
}

TEST(Errors, CarryNumberAndStandardText) {
    const RuntimeError e(ErrorNumber::DuplicateKey);
    EXPECT_EQ(e.number(), ErrorNumber::DuplicateKey);
    EXPECT_STREQ(e.what(), "This key is already associated with an element of this collection");
    EXPECT_STREQ(Describe(ErrorNumber::TypeMismatch), "Type mismatch");
}

}  // namespace
}  // namespace gt3
