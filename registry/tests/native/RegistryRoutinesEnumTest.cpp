#include "RegistryRoutinesFixture.h"

namespace gt3::test {
namespace {

using namespace std::literals;
using Call = MemoryRegistryStore::Call;
using EnumValues = RegistryRoutinesTest;

constexpr wchar_t kAccountW[] = L"SOFTWARE\\Quorvane\\Glimtrove\\a@b.c";

const Variant& Data(const Collection& values, std::wstring_view name) { return values.Item(name).AsArray().at(1); }

TEST_F(EnumValues, ItemsAreNameAndDisplayDataKeyedByName) {
    store.SetEnvironmentVariable("SHORT", "1");
    store.SetEnvironmentVariable("LONG", "C:\\Program Files\\Quorvane");
    const struct {
        std::string_view name;
        std::uint32_t type;
        std::string_view data;
        Variant shown;
    } cases[] = {
        {"Log", regtype::kSz, "1\0"sv, L"1"},
        {"", regtype::kSz, ""sv, L""},  // the unnamed value, keyed by the empty text
        {"bin", regtype::kBinary, "\x07\x0A\x1A"sv, L"07 0A 1A"},
        {"ff", regtype::kBinary, "\xFF"sv, L"FF"},
        {"bin0", regtype::kBinary, ""sv, L""},
        {"dw", regtype::kDword, "\x2A\0\0\0"sv, 42},
        {"neg", regtype::kDword, "\xFF\xFF\xFF\xFF"sv, -1},
        {"multi", regtype::kMultiSz, "a\0b\0\0"sv, L"a,b"},
        {"multi0", regtype::kMultiSz, "\0\0"sv, L""},
        {"shorter", regtype::kExpandSz, "%SHORT%xyz\0"sv, L"1xyz"},
        {"longer", regtype::kExpandSz, "%LONG%\\logs\0"sv, L"C:\\Program Files\\Quorvane\\logs"},
        {"unknown", regtype::kExpandSz, "%NOPE%\0"sv, L"%NOPE%"},
        {"odd", 11, "x"sv, Variant()},
    };
    for (const auto& c : cases) Put(c.name, c.type, c.data);
    const Collection values = reg.EnumRegistryValues(kRoot, kAccountW);
    ASSERT_EQ(values.Count(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const std::wstring name(cases[i].name.begin(), cases[i].name.end());
        EXPECT_EQ(values[i].AsArray().at(0), Variant(name));
        EXPECT_EQ(Data(values, name), cases[i].shown) << cases[i].name;
    }
}

TEST_F(EnumValues, MissingOrEmptyKeysGiveAnEmptyCollection) {
    EXPECT_TRUE(reg.EnumRegistryValues(kRoot, kAccountW).empty());
    store.PutKey(kRoot, kAccount);
    EXPECT_TRUE(reg.EnumRegistryValues(kRoot, kAccountW).empty());
    EXPECT_TRUE(reg.EnumRegistryValues(kRoot, kNotNarrow).empty());
}

TEST_F(EnumValues, AnEmptyKeyNameListsTheCallersHandleAndLeavesItOpen) {
    Put("Log", regtype::kSz, "0\0"sv);
    RegHandle account = 0;
    ASSERT_EQ(store.OpenKey(kRoot, std::string(kAccount).c_str(), 0, access::kRead, &account), 0);
    EXPECT_EQ(Data(reg.EnumRegistryValues(account, L""), L"log"), Variant(L"0"));
    EXPECT_EQ(reg.EnumRegistryValues(account, L"").Count(), 1u);
    EXPECT_EQ(store.CloseKey(account), 0);
}

TEST_F(EnumValues, DataOver4096BytesTakesOneRetryWithItsExactSize) {
    store.PutValue(kRoot, kAccount, "a", regtype::kBinary, std::vector<std::uint8_t>(4096, 0xAB));
    store.PutValue(kRoot, kAccount, "b", regtype::kBinary, std::vector<std::uint8_t>(4097, 0xCD));
    store.PutValue(kRoot, kAccount, "c", regtype::kBinary, std::vector<std::uint8_t>(40000, 0x01));
    store.PutValue(kRoot, kAccount, "d", regtype::kBinary, std::vector<std::uint8_t>(4000, 0xEF));
    const Collection values = reg.EnumRegistryValues(kRoot, kAccountW);
    ASSERT_EQ(values.Count(), 4u);
    EXPECT_EQ(Calls(Call::EnumValue), 1u + 2 + 2 + 1 + 1);
    const std::wstring b = Data(values, L"b").AsString();
    EXPECT_EQ(b.size(), 4097u * 3 - 1);
    EXPECT_EQ(b.substr(b.size() - 5), L"CD CD");
    EXPECT_EQ(Data(values, L"c").AsString().size(), 40000u * 3 - 1);  // no size limit
}

TEST_F(EnumValues, LongValueNamesAreListed) {
    const std::string name300(300, 'n'), longest(16383, 'm');
    Put("v0", regtype::kSz, "0\0"sv);
    Put("v1", regtype::kSz, "1\0"sv);
    Put(name300, regtype::kSz, "2\0"sv);
    store.PutValue(kRoot, kAccount, longest, regtype::kBinary, std::vector<std::uint8_t>(5000, 0));
    Put("v4", regtype::kSz, "4\0"sv);
    const Collection values = reg.EnumRegistryValues(kRoot, kAccountW);
    ASSERT_EQ(values.Count(), 5u);
    EXPECT_EQ(Data(values, std::wstring(300, L'n')), Variant(L"2"));
    EXPECT_EQ(values[3].AsArray().at(0), Variant(std::wstring(16383, L'm')));
    EXPECT_EQ(Data(values, L"v4"), Variant(L"4"));
}

TEST_F(EnumValues, ChangesDuringTheWalkEndItQuietly) {
    Put("v0", regtype::kSz, "0\0"sv);
    store.PutValue(kRoot, kAccount, "big", regtype::kBinary, std::vector<std::uint8_t>(5000, 0));
    Put("v2", regtype::kSz, "2\0"sv);
    // Grows again between the two calls for its index: the listing ends there.
    store.Before(Call::EnumValue, 2, [&] {
        store.PutValue(kRoot, kAccount, "big", regtype::kBinary, std::vector<std::uint8_t>(6000, 0));
    });
    EXPECT_EQ(reg.EnumRegistryValues(kRoot, kAccountW).Count(), 1u);
    EXPECT_EQ(Calls(Call::EnumValue), 3u);
    // The key is deleted after the first index.
    store.Before(Call::EnumValue, 1, [&] { store.RemoveKey(kRoot, kAccount); });
    EXPECT_EQ(reg.EnumRegistryValues(kRoot, kAccountW).Count(), 1u);
}

}  // namespace
}  // namespace gt3::test
