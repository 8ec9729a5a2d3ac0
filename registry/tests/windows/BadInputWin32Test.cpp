// The registry class on the platform registry with input it must not mangle:
// names the ANSI code page cannot hold (the platform's narrow calls would
// replace them, best fit or '?', and so name another key), names at the
// registry's length limits, and a megabyte value.

#include "registry/RegistryRoutines.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace gt3 {
namespace {

const std::wstring kTestPath = L"Software\\GT3ErrLogTests\\BadInput";

// What the platform's own narrow conversion makes of a text (best fit included).
std::string PlatformNarrow(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(std::size_t(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

bool RoundTrips(const std::wstring& text) {
    const std::string narrow = PlatformNarrow(text);
    std::wstring back(narrow.size() * 2, L'\0');
    back.resize(std::size_t(
        MultiByteToWideChar(CP_ACP, 0, narrow.data(), int(narrow.size()), back.data(), int(back.size()))));
    return back == text;
}

class Win32BadInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, kTestPath.c_str());
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kTestPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &base_,
                                  nullptr),
                  ERROR_SUCCESS);
        reg.hkey(root::kCurrentUser);
        reg.KeyRoot(kTestPath);
    }
    void TearDown() override {
        RegCloseKey(base_);
        RegDeleteTreeW(HKEY_CURRENT_USER, kTestPath.c_str());
    }

    void PutA(const std::string& key, const std::string& name, const std::string& text) {
        HKEY k{};
        ASSERT_EQ(RegCreateKeyExA(base_, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr), 0);
        RegSetValueExA(k, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), DWORD(text.size() + 1));
        RegCloseKey(k);
    }
    void PutW(const std::wstring& key, const std::wstring& name, const std::wstring& text) {
        HKEY k{};
        ASSERT_EQ(RegCreateKeyExW(base_, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr), 0);
        RegSetValueExW(k, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       DWORD((text.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(k);
    }
    // The text of a string value read through the narrow call; "<missing>" when absent.
    std::string GetA(const std::string& key, const std::string& name) {
        char buf[64] = {};
        DWORD size = sizeof buf - 1;
        const LSTATUS s = RegGetValueA(base_, key.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, buf, &size);
        return s == ERROR_SUCCESS ? std::string(buf) : "<missing>";
    }
    bool HasKeyA(const std::string& key) {
        HKEY k{};
        if (RegOpenKeyExA(base_, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
        RegCloseKey(k);
        return true;
    }

    HKEY base_{};
    RegistryRoutines reg;
};

// Characters 1252 lacks: one with no stand-in at all and two that best-fit
// tables map onto a plain letter.
TEST_F(Win32BadInputTest, NamesOutsideTheCodePageNeverReachTheKeyTheirNarrowFormNames) {
    std::printf("ANSI code page %u\n", GetACP());
    int tested = 0;
    for (const wchar_t* c : {L"\u4E00", L"\u0100", L"\uFF21"}) {
        const std::wstring account = std::wstring(L"a") + c + L"b";
        const std::string lossy = PlatformNarrow(account);
        SCOPED_TRACE(::testing::Message() << "U+" << std::hex << unsigned(c[0]) << ", narrow form " << lossy);
        if (RoundTrips(c)) continue;  // this code page holds it
        ++tested;
        const auto narrowOf = [c](const wchar_t* before, const wchar_t* after) {
            return PlatformNarrow(std::wstring(before) + c + after);
        };
        const std::string lossyValue = narrowOf(L"L", L"g"), lossyDeleted = narrowOf(L"d", L"b"),
                          lossyCreated = narrowOf(L"n", L"");
        PutA(lossy, "Log", "1");
        PutA(lossy, lossyValue, "keep");
        PutA(lossyDeleted, "Log", "1");
        const std::wstring path = kTestPath + L"\\" + account;

        reg.Subkey(account);
        EXPECT_FALSE(reg.KeyExists());
        EXPECT_TRUE(reg.GetRegistryValue(L"Log").IsEmpty());
        EXPECT_FALSE(reg.SetRegistryValue(L"Log", Variant{L"0"}, REG_SZ));
        EXPECT_EQ(reg.DeleteValue(L"Log"), status::kNoUnicodeTranslation);
        EXPECT_EQ(reg.EnumRegistryKeys(root::kCurrentUser, path).Count(), 0u);
        EXPECT_EQ(reg.EnumRegistryValues(root::kCurrentUser, path).Count(), 0u);
        EXPECT_EQ(reg.DeleteKey(std::wstring(L"d") + c + L"b"), status::kNoUnicodeTranslation);
        Variant fresh{std::wstring(L"n") + c};
        EXPECT_EQ(reg.CreateKey(fresh), L"");

        reg.Subkey(std::wstring(lossy.begin(), lossy.end()));  // the key a lossy call would reach (ASCII)
        const std::wstring badValue = std::wstring(L"L") + c + L"g";
        EXPECT_TRUE(reg.GetRegistryValue(badValue).IsEmpty());
        EXPECT_FALSE(reg.SetRegistryValue(badValue, Variant{L"0"}, REG_SZ));
        EXPECT_EQ(reg.DeleteValue(badValue), status::kNoUnicodeTranslation);

        EXPECT_EQ(GetA(lossy, "Log"), "1");
        EXPECT_EQ(GetA(lossy, lossyValue), "keep");
        EXPECT_TRUE(HasKeyA(lossyDeleted));
        EXPECT_FALSE(HasKeyA(lossyCreated));
    }
    if (tested == 0) GTEST_SKIP() << "the code page holds every character tried";
}

// Non-ASCII characters the code page does hold work like any other, whichever
// API wrote them.
TEST_F(Win32BadInputTest, NamesInsideTheCodePageWork) {
    if (GetACP() != 1252) GTEST_SKIP() << "written for code page 1252";
    PutW(L"jos\u00E9@example.com", L"Log", L"1");
    reg.Subkey(L"jos\u00E9@example.com");
    EXPECT_EQ(reg.GetRegistryValue(L"Log"), Variant{L"1"});
    EXPECT_TRUE(reg.SetRegistryValue(L"Log", Variant{L"0\u00E9\u20AC"}, REG_SZ));
    wchar_t buf[16] = {};
    DWORD size = sizeof buf - sizeof(wchar_t);
    ASSERT_EQ(RegGetValueW(base_, L"jos\u00E9@example.com", L"Log", RRF_RT_REG_SZ, nullptr, buf, &size), 0);
    EXPECT_STREQ(buf, L"0\u00E9\u20AC");
    EXPECT_TRUE(reg.EnumRegistryKeys(root::kCurrentUser, kTestPath).Contains(L"jos\u00E9@example.com"));
}

// Wine's narrow registry calls take a path of at most 260 characters, so the
// context is rooted at the test key's own handle with a one-letter KeyRoot.
TEST_F(Win32BadInputTest, KeyNameOf255CharactersRoundTrips) {
    const auto handle = static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(base_));
    reg.hkey(handle);
    reg.KeyRoot(L"a");
    const std::wstring name(255, L'k');
    Variant keyName{name};
    ASSERT_EQ(reg.CreateKey(keyName), L"0");
    const Collection names = reg.EnumRegistryKeys(handle, L"a");
    ASSERT_EQ(names.Count(), 1u);
    EXPECT_EQ(names[0], Variant{name});
    reg.Subkey(name);
    EXPECT_TRUE(reg.SetRegistryValue(L"Log", Variant{L"1"}, REG_SZ));
    EXPECT_EQ(reg.GetRegistryValue(L"Log"), Variant{L"1"});
    EXPECT_EQ(reg.DeleteKey(name), status::kSuccess);
    EXPECT_FALSE(reg.KeyExists());
}

// The narrow enumeration replaces what the code page lacks, so "x\u0100" (best
// fit: "xA") comes back under the name of its neighbour "xA". Both listings give
// that name once instead of raising the Collection's duplicate-key error.
TEST_F(Win32BadInputTest, NamesTheCodePageMergesAreListedOnce) {
    PutW(L"x\u0100", L"x\u0100", L"replaced");
    PutA("xA", "xA", "real");
    PutA("xA", "other", "2");
    PutW(L"xA", L"x\u0100", L"replaced");
    ASSERT_EQ(PlatformNarrow(L"x\u0100"), "xA") << "this code page has no best fit for U+0100";

    Collection keys, values;
    EXPECT_NO_THROW(keys = reg.EnumRegistryKeys(root::kCurrentUser, kTestPath));
    EXPECT_EQ(keys.Count(), 1u);
    EXPECT_TRUE(keys.Contains(L"xA"));
    EXPECT_NO_THROW(values = reg.EnumRegistryValues(root::kCurrentUser, kTestPath + L"\\xA"));
    EXPECT_EQ(values.Count(), 2u);
    EXPECT_TRUE(values.Contains(L"xA"));
    EXPECT_TRUE(values.Contains(L"other"));
}

TEST_F(Win32BadInputTest, ValueNameOf16383CharactersIsListedAndRead) {
    const std::wstring longName(16383, L'v');
    PutA("acct", "first", "1");
    PutW(L"acct", longName, L"long");
    PutA("acct", "last", "2");
    const Collection values = reg.EnumRegistryValues(root::kCurrentUser, kTestPath + L"\\acct");
    ASSERT_EQ(values.Count(), 3u);
    ASSERT_TRUE(values.Contains(longName));
    EXPECT_EQ(values.Item(longName).AsArray().at(1), Variant{L"long"});
    EXPECT_TRUE(values.Contains(L"last"));
    reg.Subkey(L"acct");
    EXPECT_EQ(reg.GetRegistryValue(longName), Variant{L"long"});
}

TEST_F(Win32BadInputTest, LogOfOneMegabyteIsReadWhole) {
    constexpr std::size_t kSize = 1 << 20;
    std::string text(kSize - 1, 'x');
    text[0] = '1';
    text.back() = 'z';
    PutA("acct", "Log", text);
    reg.Subkey(L"acct");
    const Variant v = reg.GetRegistryValue(L"Log");
    ASSERT_EQ(v.kind(), Variant::Kind::String);
    ASSERT_EQ(v.AsString().size(), kSize - 1);
    EXPECT_EQ(v.AsString().front(), L'1');
    EXPECT_EQ(v.AsString().back(), L'z');
}

}  // namespace
}  // namespace gt3
