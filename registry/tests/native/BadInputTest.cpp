// Input the registry class must survive without touching the wrong data: names
// with characters the narrow code page lacks, names at the registry's length
// limits, and values far larger than the first read buffer.

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "registry/RegistryRoutines.h"
#include "registry/tests/support/MemoryStoreFixture.h"

namespace gt3 {
namespace {

using Call = MemoryRegistryStore::Call;

constexpr RegHandle kHklm = root::kLocalMachine;
const std::string kProduct = "SOFTWARE\\Quorvane\\Glimtrove";
const std::wstring kProductW = L"SOFTWARE\\Quorvane\\Glimtrove";

std::string Under(const std::string& sub) { return kProduct + "\\" + sub; }

std::vector<std::uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

// U+4E00 has no byte in Windows-1252: the platform's lossy conversion turns it
// into '?', so a careless call on "a\u4E00b" would reach the key "a?b".
class LossyNameTest : public test::MemoryStoreTest {
protected:
    void SetUp() override {
        store.PutString(kHklm, Under("a?b"), "Log", "1");
        store.PutString(kHklm, Under("a?b"), "L?g", "keep");
        store.PutKey(kHklm, Under("a?b\\child"));
        store.PutKey(kHklm, Under("d?b"));  // no sub-keys: a delete would succeed
        store.AddReachableMachine("?");
        store.ResetCounts();
        reg.hkey(kHklm);
        reg.KeyRoot(kProductW);
        reg.Subkey(L"a\u4E00b");
    }

    // What a lossy conversion would have destroyed or changed.
    void ExpectUntouched() {
        EXPECT_EQ(store.GetValue(kHklm, Under("a?b"), "Log")->data, Bytes(std::string("1\0", 2)));
        EXPECT_EQ(store.GetValue(kHklm, Under("a?b"), "L?g")->data, Bytes(std::string("keep\0", 5)));
        EXPECT_TRUE(store.HasKey(kHklm, Under("a?b\\child")));
        EXPECT_TRUE(store.HasKey(kHklm, Under("d?b")));
        for (Call call : {Call::Create, Call::Set, Call::DeleteKey, Call::DeleteValue})
            EXPECT_EQ(store.CallCount(call), 0u) << "a store write was attempted";
    }

    RegistryRoutines reg{store};
};

TEST_F(LossyNameTest, EveryOperationFailsCleanlyAndNeverAddressesTheReplacedName) {
    const std::wstring bad = L"a\u4E00b";
    const std::wstring badPath = kProductW + L"\\" + bad;
    struct Row {
        const char* what;
        std::function<void(RegistryRoutines&)> run;
    };
    const std::vector<Row> rows = {
        {"KeyExists, bad Subkey", [](RegistryRoutines& r) { EXPECT_FALSE(r.KeyExists()); }},
        {"KeyExists, bad KeyRoot",
         [](RegistryRoutines& r) {
             r.KeyRoot(L"SOFTWARE\\Quorvane\\Glimtrove\\a\u4E00b");
             r.Subkey(L"child");
             EXPECT_FALSE(r.KeyExists());
         }},
        {"CreateKey(), bad Subkey", [](RegistryRoutines& r) { EXPECT_EQ(r.CreateKey(), L""); }},
        {"CreateKey(name)",
         [&](RegistryRoutines& r) {
             Variant name{bad};
             EXPECT_EQ(r.CreateKey(name), L"");
             EXPECT_EQ(name, Variant{bad});
         }},
        {"DeleteKey", [&](RegistryRoutines& r) { EXPECT_EQ(r.DeleteKey(L"d\u4E00b"), status::kNoUnicodeTranslation); }},
        {"DeleteValue, bad Subkey",
         [](RegistryRoutines& r) { EXPECT_EQ(r.DeleteValue(L"Log"), status::kNoUnicodeTranslation); }},
        {"DeleteValue, bad value name",
         [](RegistryRoutines& r) {
             r.Subkey(L"a?b");
             EXPECT_EQ(r.DeleteValue(L"L\u4E00g"), status::kNoUnicodeTranslation);
         }},
        {"EnumRegistryKeys", [&](RegistryRoutines& r) { EXPECT_EQ(r.EnumRegistryKeys(kHklm, badPath).Count(), 0u); }},
        {"EnumRegistryValues",
         [&](RegistryRoutines& r) { EXPECT_EQ(r.EnumRegistryValues(kHklm, badPath).Count(), 0u); }},
        {"GetRegistryValue, bad Subkey",
         [](RegistryRoutines& r) {
             EXPECT_TRUE(r.GetRegistryValue(L"Log").IsEmpty());
             EXPECT_EQ(r.GetRegistryValue(L"Log", Variant{7}), Variant{7});
         }},
        {"GetRegistryValue, bad value name",
         [](RegistryRoutines& r) {
             r.Subkey(L"a?b");
             EXPECT_TRUE(r.GetRegistryValue(L"L\u4E00g").IsEmpty());
         }},
        {"SetRegistryValue, bad Subkey",
         [](RegistryRoutines& r) { EXPECT_FALSE(r.SetRegistryValue(L"Log", Variant{L"0"}, regtype::kSz)); }},
        {"SetRegistryValue, bad value name",
         [](RegistryRoutines& r) {
             r.Subkey(L"a?b");
             EXPECT_FALSE(r.SetRegistryValue(L"L\u4E00g", Variant{L"0"}, regtype::kSz));
         }},
        {"ReadRemoteRegistryValue, bad path",
         [&](RegistryRoutines& r) { EXPECT_TRUE(r.ReadRemoteRegistryValue(L"", kHklm, L"Log", badPath).IsEmpty()); }},
        {"ReadRemoteRegistryValue, bad machine",
         [&](RegistryRoutines& r) {
             EXPECT_EQ(r.ReadRemoteRegistryValue(L"\u4E00", kHklm, L"Log", kProductW + L"\\a?b"), Variant{L"Error!"});
         }},
        {"WriteRemoteRegistryValue, bad path",
         [&](RegistryRoutines& r) {
             EXPECT_FALSE(r.WriteRemoteRegistryValue(L"", kHklm, L"Log", Variant{L"0"}, regtype::kSz, badPath));
         }},
        {"WriteRemoteRegistryValue, bad machine",
         [&](RegistryRoutines& r) {
             EXPECT_FALSE(r.WriteRemoteRegistryValue(L"\u4E00", kHklm, L"Log", Variant{L"0"}, regtype::kSz,
                                                     kProductW + L"\\a?b"));
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        RegistryRoutines r{store};
        r.hkey(kHklm);
        r.KeyRoot(kProductW);
        r.Subkey(bad);
        row.run(r);
        ExpectUntouched();
        EXPECT_EQ(store.OpenHandleCount(), 0u);
    }
}

// The guard must not refuse what converts exactly: a real '?' and the
// non-ASCII characters that 1252 does have.
TEST_F(LossyNameTest, NamesInsideTheCodePageStillWork) {
    store.PutString(kHklm, Under("jos\xE9@example.com"), "Log", "0");
    store.PutString(kHklm, Under("\x80uro"), "Log", "1");
    const struct {
        std::wstring subkey;
        const wchar_t* expected;
    } rows[] = {{L"a?b", L"1"}, {L"jos\u00E9@example.com", L"0"}, {L"\u20ACuro", L"1"}};
    for (const auto& row : rows) {
        reg.Subkey(row.subkey);
        EXPECT_TRUE(reg.KeyExists());
        EXPECT_EQ(reg.GetRegistryValue(L"Log"), Variant{row.expected});
    }
    const Collection names = reg.EnumRegistryKeys(kHklm, kProductW);
    EXPECT_TRUE(names.Contains(L"jos\u00E9@example.com"));
    EXPECT_TRUE(names.Contains(L"\u20ACuro"));
}

// Value data is not a name: a character without a byte becomes '?', the write
// goes to the key that was named, and nothing else changes.
TEST_F(LossyNameTest, DataWithoutNarrowFormIsWrittenReplacedIntoTheNamedValueOnly) {
    reg.Subkey(L"a?b");
    EXPECT_TRUE(reg.SetRegistryValue(L"Log", Variant{L"0\u4E00"}, regtype::kSz));
    EXPECT_EQ(store.GetValue(kHklm, Under("a?b"), "Log")->data, Bytes(std::string("0?\0", 3)));
    EXPECT_EQ(store.GetValue(kHklm, Under("a?b"), "L?g")->data, Bytes(std::string("keep\0", 5)));
    EXPECT_EQ(reg.GetRegistryValue(L"Log"), Variant{L"0?"});
}

class LimitsTest : public test::MemoryStoreTest {
protected:
    void SetUp() override {
        reg.hkey(kHklm);
        reg.KeyRoot(kProductW);
    }
    RegistryRoutines reg{store};
};

// 255 characters is the registry's longest key name; the sub-key listing's
// 260-character buffer must hold it whole.
TEST_F(LimitsTest, KeyNameOf255CharactersIsCreatedListedReadAndWritten) {
    const std::wstring name(255, L'k');
    Variant keyName{name};
    ASSERT_EQ(reg.CreateKey(keyName), L"0");
    ASSERT_TRUE(store.HasKey(kHklm, Under(std::string(255, 'k'))));
    const Collection names = reg.EnumRegistryKeys(kHklm, kProductW);
    ASSERT_EQ(names.Count(), 1u);
    EXPECT_EQ(names[0], Variant{name});
    reg.Subkey(name);
    EXPECT_TRUE(reg.SetRegistryValue(L"Log", Variant{L"1"}, regtype::kSz));
    EXPECT_EQ(reg.GetRegistryValue(L"Log"), Variant{L"1"});
    EXPECT_EQ(reg.DeleteKey(name), status::kSuccess);
}

// 16,383 characters is the registry's longest value name: it is listed in full
// and the values after it are listed too.
TEST_F(LimitsTest, ValueNameOf16383CharactersIsListedAndRead) {
    const std::string longName(16383, 'v');
    store.PutString(kHklm, Under("acct"), "first", "1");
    store.PutString(kHklm, Under("acct"), longName, "long");
    store.PutDword(kHklm, Under("acct"), "after", 42);
    const Collection values = reg.EnumRegistryValues(kHklm, kProductW + L"\\acct");
    ASSERT_EQ(values.Count(), 3u);
    const std::wstring longW(16383, L'v');
    ASSERT_TRUE(values.Contains(longW));
    const VariantArray& item = values.Item(longW).AsArray();
    EXPECT_EQ(item.at(0), Variant{longW});
    EXPECT_EQ(item.at(1), Variant{L"long"});
    EXPECT_EQ(values.Item(L"after").AsArray().at(1), Variant{42});

    reg.Subkey(L"acct");
    EXPECT_EQ(reg.GetRegistryValue(longW), Variant{L"long"});
    EXPECT_TRUE(reg.SetRegistryValue(longW, Variant{L"new"}, regtype::kSz));
    EXPECT_EQ(store.GetValue(kHklm, Under("acct"), longName)->data, Bytes(std::string("new\0", 4)));
}

// A megabyte is a thousand times the first buffer: exactly one retry, sized as
// reported, and every byte comes back.
TEST_F(LimitsTest, LogOfOneMegabyteIsReadWholeWithTwoQueries) {
    constexpr std::size_t kSize = 1 << 20;
    std::string text(kSize - 1, 'x');
    text[0] = '1';
    text[kSize - 2] = 'z';
    std::vector<std::uint8_t> sz = Bytes(text);
    sz.push_back(0);
    std::vector<std::uint8_t> bin(kSize);
    for (std::size_t i = 0; i < kSize; ++i) bin[i] = static_cast<std::uint8_t>(i * 7 + 3);

    reg.Subkey(L"acct");
    store.PutValue(kHklm, Under("acct"), "Log", regtype::kSz, sz);
    store.ResetCounts();
    const Variant s = reg.GetRegistryValue(L"Log");
    EXPECT_EQ(store.CallCount(Call::Query), 2u);
    ASSERT_EQ(s.kind(), Variant::Kind::String);
    ASSERT_EQ(s.AsString().size(), kSize - 1);
    EXPECT_EQ(s.AsString().front(), L'1');
    EXPECT_EQ(s.AsString().back(), L'z');

    store.PutValue(kHklm, Under("acct"), "Log", regtype::kBinary, bin);
    store.ResetCounts();
    const Variant b = reg.GetRegistryValue(L"Log");
    EXPECT_EQ(store.CallCount(Call::Query), 2u);
    ASSERT_EQ(b.kind(), Variant::Kind::Bytes);
    EXPECT_EQ(b.AsBytes().lowerBound, 0);
    EXPECT_EQ(b.AsBytes().bytes, bin);
}

}  // namespace
}  // namespace gt3
