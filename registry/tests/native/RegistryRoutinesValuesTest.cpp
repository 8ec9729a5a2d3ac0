#include "RegistryRoutinesFixture.h"

#include "registry/Errors.h"

namespace gt3::test {
namespace {

using namespace std::literals;
using Call = MemoryRegistryStore::Call;
using Values = RegistryRoutinesTest;

TEST_F(Values, ReadConvertsByTypeKeepingEveryDataByte) {
    struct Case {
        std::uint32_t type;
        std::string_view data;
        Variant expected;
    } cases[] = {
        {regtype::kSz, "1\0"sv, L"1"},
        {regtype::kSz, "\0"sv, L""},
        {regtype::kSz, ""sv, Variant()},
        {regtype::kSz, "ab"sv, L"ab"},  // stored without terminator: nothing dropped
        {regtype::kSz, "ab\0c\0"sv, std::wstring(L"ab\0c", 4)},
        {regtype::kExpandSz, "%PATH%\0"sv, Variant()},
        {regtype::kDword, "\xFF\xFF\xFF\xFF"sv, -1},
        {regtype::kDword, "\x01\x02"sv, 513},
        {regtype::kBinary, "\x07\x00\x1A"sv, ByteArray{{7, 0, 0x1A}, 0}},
        {regtype::kBinary, ""sv, ByteArray{}},
        {regtype::kMultiSz, "a\0b\0\0"sv, std::wstring(L"a\0b", 3)},
        {regtype::kMultiSz, "a\0b\0"sv, std::wstring(L"a\0b", 3)},
        {regtype::kMultiSz, "a\0b"sv, std::wstring(L"a\0b", 3)},
        {regtype::kMultiSz, "\0b\0\0"sv, Variant()},
        {regtype::kMultiSz, "\0"sv, Variant()},
        {regtype::kMultiSz, "a"sv, L"a"},
        {11, "x"sv, Variant()},
    };
    for (const auto& c : cases) {
        Put("v", c.type, c.data);
        EXPECT_EQ(reg.GetRegistryValue(L"v"), c.expected) << "type " << c.type << ", " << c.data.size() << " bytes";
    }
}

TEST_F(Values, ReadGivesTheDefaultUnchangedWhereNothingConverts) {
    const Variant fallback(ByteArray{{1}, 3});
    EXPECT_EQ(reg.GetRegistryValue(L"Log", fallback), fallback);  // no key
    store.PutKey(kRoot, kAccount);
    EXPECT_EQ(reg.GetRegistryValue(L"Log"), Variant());
    Put("x", regtype::kExpandSz, "%x%\0"sv);
    EXPECT_EQ(reg.GetRegistryValue(L"x", fallback), fallback);
    EXPECT_EQ(reg.GetRegistryValue(kNotNarrow, fallback), fallback);
}

TEST_F(Values, ReadQueriesOnceUpTo1024BytesAndTwiceAbove) {
    for (std::size_t size : {1u, 1024u, 1025u, 5000u}) {
        store.PutValue(kRoot, kAccount, "bin", regtype::kBinary, std::vector<std::uint8_t>(size, 0x5A));
        store.ResetCounts();
        const Variant value = reg.GetRegistryValue(L"bin");
        EXPECT_EQ(value.AsBytes().bytes, std::vector<std::uint8_t>(size, 0x5A));
        EXPECT_EQ(Calls(Call::Query), size <= 1024 ? 1u : 2u) << size;
    }
}

TEST_F(Values, ReadGivesTheDefaultWhenTheValueChangesBetweenQueries) {
    Put("v", regtype::kSz, std::string(2000, 'a'));
    store.Before(Call::Query, 1, [&] { Put("v", regtype::kSz, std::string(3000, 'b')); });
    EXPECT_EQ(reg.GetRegistryValue(L"v", L"dflt"), Variant(L"dflt"));
    EXPECT_EQ(Calls(Call::Query), 2u);  // no third query
    store.Before(Call::Query, 1, [&] { store.RemoveValue(kRoot, kAccount, "v"); });
    EXPECT_EQ(reg.GetRegistryValue(L"v", L"dflt"), Variant(L"dflt"));
}

TEST_F(Values, WriteHandsTheStoreExactBytes) {
    struct Case {
        Variant value;
        std::int32_t type;
        std::string_view stored;
    } cases[] = {
        {L"0", 1, "0\0"sv},
        {Variant(), 1, "\0"sv},
        {L"%TEMP%", 2, "%TEMP%\0"sv},
        {std::wstring(L"a\0b", 3), 7, "a\0b\0\0"sv},
        {L"12", 4, "\x0C\0\0\0"sv},
        {-2, 4, "\xFE\xFF\xFF\xFF"sv},
        {ByteArray{{1, 2, 3}, 1}, 3, "\x01\x02\x03"sv},
        {L"hi", 3, "hi"sv},
    };
    store.PutKey(kRoot, kAccount);
    for (const auto& c : cases) {
        EXPECT_TRUE(reg.SetRegistryValue(L"v", c.value, c.type)) << c.type;
        const auto stored = store.GetValue(kRoot, kAccount, "v");
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->type, std::uint32_t(c.type));
        EXPECT_EQ(stored->data, Bytes(c.stored)) << c.type;
    }
}

TEST_F(Values, WriteReportsFalseWheneverNothingWasWritten) {
    for (std::int32_t type : {0, 5, 8}) EXPECT_FALSE(reg.SetRegistryValue(L"v", L"x", type));  // no key
    store.PutKey(kRoot, kAccount);
    for (std::int32_t type : {0, 5, 8}) EXPECT_FALSE(reg.SetRegistryValue(L"v", L"x", type));
    EXPECT_EQ(Calls(Call::Set), 0u);
    store.FailNext(Call::Set, status::kAccessDenied);
    EXPECT_FALSE(reg.SetRegistryValue(L"Log", L"1", 1));
    const auto opens = Calls(Call::Open);
    EXPECT_FALSE(reg.SetRegistryValue(kNotNarrow, L"1", 1));
    EXPECT_EQ(Calls(Call::Open), opens);
    EXPECT_FALSE(store.GetValue(kRoot, kAccount, "Log"));
}

TEST_F(Values, WriteRaisesConversionErrorsWithTheKeyClosed) {
    store.PutKey(kRoot, kAccount);
    const struct {
        Variant value;
        std::int32_t type;
        ErrorNumber error;
    } cases[] = {{L"x", 4, ErrorNumber::TypeMismatch},
                 {L"4294967296", 4, ErrorNumber::Overflow},
                 {ByteArray{}, 3, ErrorNumber::SubscriptOutOfRange},
                 {Variant::Missing(), 1, ErrorNumber::TypeMismatch}};
    for (const auto& c : cases) {
        try {
            reg.SetRegistryValue(L"v", c.value, c.type);
            ADD_FAILURE() << "no error for type " << c.type;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), c.error);
        }
    }
    EXPECT_EQ(Calls(Call::Set), 0u);
}

TEST_F(Values, WrittenValuesReadBackUnchanged) {
    store.PutKey(kRoot, kAccount);
    const Variant values[] = {L"1", std::wstring(L"a\0b", 3), -1, ByteArray{{0, 255}, 0}};
    const std::int32_t types[] = {1, 7, 4, 3};
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(reg.SetRegistryValue(L"Log", values[i], types[i]));
        EXPECT_EQ(reg.GetRegistryValue(L"Log"), values[i]);
    }
}

}  // namespace
}  // namespace gt3::test
