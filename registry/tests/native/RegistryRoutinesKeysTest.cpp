#include "RegistryRoutinesFixture.h"

namespace gt3::test {
namespace {

using Call = MemoryRegistryStore::Call;
using Keys = RegistryRoutinesTest;

TEST_F(Keys, KeyExistsOnlyForAnOpenableContextKey) {
    store.PutKey(kRoot, kAccount);
    EXPECT_TRUE(reg.KeyExists());
    EXPECT_TRUE(reg.KeyExists());
    reg.Subkey(L"missing@b.c");
    EXPECT_FALSE(reg.KeyExists());
    reg.Subkey(kNotNarrow);
    EXPECT_FALSE(reg.KeyExists());
    reg.Subkey(L"a@b.c");
    reg.hkey(0);
    EXPECT_FALSE(reg.KeyExists());
}

TEST_F(Keys, CreateKeyWritesTheNameUsedBackAndReportsTheStore) {
    EXPECT_EQ(reg.CreateKey(), L"0");
    EXPECT_EQ(reg.CreateKey(), L"0");  // opening an existing key is success too
    EXPECT_TRUE(store.HasKey(kRoot, kAccount));

    Variant number(5);
    EXPECT_EQ(reg.CreateKey(number), L"0");
    EXPECT_EQ(number, Variant(L"5"));
    EXPECT_TRUE(store.HasKey(kRoot, "SOFTWARE\\Quorvane\\Glimtrove\\5"));

    store.FailNext(Call::Create, status::kAccessDenied);
    Variant nobody(L"Nobody");
    EXPECT_EQ(reg.CreateKey(nobody), L"");

    Variant lossy(kNotNarrow);
    const auto creates = Calls(Call::Create);
    EXPECT_EQ(reg.CreateKey(lossy), L"");
    EXPECT_EQ(Calls(Call::Create), creates);
}

TEST_F(Keys, DeleteKeyReturnsTheStoreStatus) {
    store.PutKey(kRoot, "SOFTWARE\\Quorvane\\Glimtrove\\a@b.c\\child");
    EXPECT_EQ(reg.DeleteKey(L"a@b.c"), status::kAccessDenied);  // still has a sub-key
    EXPECT_EQ(reg.DeleteKey(L"a@b.c\\child"), status::kSuccess);
    EXPECT_FALSE(store.HasKey(kRoot, "SOFTWARE\\Quorvane\\Glimtrove\\a@b.c\\child"));
    EXPECT_EQ(reg.DeleteKey(L"a@b.c\\child"), status::kFileNotFound);
    EXPECT_EQ(reg.DeleteKey(kNotNarrow), status::kNoUnicodeTranslation);
    EXPECT_EQ(Calls(Call::DeleteKey), 3u);
}

TEST_F(Keys, DeleteValueNeedsOnlyTheRightToSetValues) {
    EXPECT_EQ(reg.DeleteValue(L"Log"), status::kFileNotFound);  // no key
    store.PutString(kRoot, kAccount, "Log", "1");
    // Every right but KEY_SET_VALUE refused: full access would fail here.
    store.DenyAccess(kRoot, kAccount, access::kAllAccess & ~access::kSetValue);
    EXPECT_EQ(reg.DeleteValue(L"LOG"), status::kSuccess);
    EXPECT_FALSE(store.GetValue(kRoot, kAccount, "Log"));
    EXPECT_EQ(reg.DeleteValue(L"Log"), status::kFileNotFound);
    EXPECT_EQ(reg.DeleteValue(kNotNarrow), status::kNoUnicodeTranslation);
}

// b@x.y, in the middle of the list, has a class name: it must not end the listing.
TEST_F(Keys, EnumRegistryKeysListsSubKeysKeyedByName) {
    for (auto name : {"A@x.y", "Nobody"}) store.PutKey(kRoot, std::string(kProduct) + "\\" + name);
    RegHandle classed = 0;
    ASSERT_EQ(store.CreateKey(kRoot, (std::string(kProduct) + "\\b@x.y").c_str(), 0, "SomeClass", 0,
                              access::kAllAccess, nullptr, &classed, nullptr),
              status::kSuccess);
    store.CloseKey(classed);
    const Collection keys = reg.EnumRegistryKeys(kRoot, L"SOFTWARE\\Quorvane\\Glimtrove");
    ASSERT_EQ(keys.Count(), 3u);
    EXPECT_EQ(keys[0], Variant(L"A@x.y"));
    EXPECT_EQ(keys[2], Variant(L"Nobody"));
    EXPECT_EQ(keys.Item(L"B@X.Y"), Variant(L"b@x.y"));
    EXPECT_TRUE(reg.EnumRegistryKeys(kRoot, L"SOFTWARE\\Missing").empty());
    EXPECT_TRUE(reg.EnumRegistryKeys(kRoot, L"SOFTWARE\\Quorvane\\Glimtrove\\Nobody").empty());
    EXPECT_TRUE(reg.EnumRegistryKeys(kRoot, kNotNarrow).empty());
}

// A name of 255 characters takes more than 260 bytes in a multi-byte code page;
// it must not end the listing. This build reads narrow text as Windows-1252, so
// each byte comes back as one character.
TEST_F(Keys, EnumRegistryKeysListsTheLongestNamesOfMultiByteCodePages) {
    std::string utf8;
    for (std::size_t i = 0; i < kMaxKeyNameChars; ++i) utf8 += "\xE4\xB8\x80";  // U+4E00 in UTF-8
    const std::string doubleByte(2 * kMaxKeyNameChars, '\x82');               // 255 two-byte characters
    for (const std::string& name : {std::string("a@x.y"), utf8, doubleByte})
        store.PutKey(kRoot, std::string(kProduct) + "\\" + name);
    const Collection keys = reg.EnumRegistryKeys(kRoot, L"SOFTWARE\\Quorvane\\Glimtrove");
    ASSERT_EQ(keys.Count(), 3u);
    EXPECT_EQ(keys[1].AsString().size(), utf8.size());
    EXPECT_EQ(keys[2].AsString().size(), doubleByte.size());
}

TEST_F(Keys, EnumRegistryKeysOfTheCallersHandleLeavesItOpen) {
    store.PutKey(kRoot, "SOFTWARE\\Quorvane\\Glimtrove\\k1");
    RegHandle product = 0;
    ASSERT_EQ(store.OpenKey(kRoot, "SOFTWARE\\Quorvane\\Glimtrove", 0, access::kRead, &product), 0);
    EXPECT_EQ(reg.EnumRegistryKeys(product, L"").Count(), 1u);
    EXPECT_EQ(reg.EnumRegistryKeys(product, L"").Count(), 1u);  // still usable
    EXPECT_EQ(store.CloseKey(product), 0);
}

TEST_F(Keys, EnumRegistryKeysKeepsWhatItGatheredWhenTheKeyGoesAway) {
    for (auto name : {"k1", "k2", "k3"}) store.PutKey(kRoot, std::string(kProduct) + "\\" + name);
    store.Before(Call::EnumKey, 2, [&] { store.RemoveKey(kRoot, kProduct); });
    const Collection keys = reg.EnumRegistryKeys(kRoot, L"SOFTWARE\\Quorvane\\Glimtrove");
    EXPECT_EQ(keys.Count(), 2u);
}

TEST(TrimNull, CutsBeforeTheFirstNulInTheCallersVariable) {
    struct Case {
        std::wstring item, expected;
    } cases[] = {{std::wstring(L"Log\0xy", 6), L"Log"}, {std::wstring(L"\0ab", 3), L""}, {L"Log", L"Log"},
                 {L"", L""}, {std::wstring(40000, L'x') + L'\0' + L"tail", std::wstring(40000, L'x')}};
    for (auto& c : cases) {
        std::wstring item = c.item;
        EXPECT_EQ(RegistryRoutines::TrimNull(item), c.expected);
        EXPECT_EQ(item, c.expected);
    }
}

}  // namespace
}  // namespace gt3::test
