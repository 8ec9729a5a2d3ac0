// The real window with input at the edges: a hundred thousand accounts, a Log
// of a megabyte, and account keys whose names the ANSI code page cannot hold.

#include "app/tests/windows/WindowUnderTest.h"
#include "registry/Win32RegistryStore.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

namespace gt3::app::test {
namespace {

using C = layout::Control;
using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::string ReadLog(HKEY product, const std::string& account) {
    DWORD size = 0;
    if (RegGetValueA(product, account.c_str(), "Log", RRF_RT_ANY, nullptr, nullptr, &size)) return "<missing>";
    std::string data(size, '\0');
    RegGetValueA(product, account.c_str(), "Log", RRF_RT_ANY | RRF_NOEXPAND, nullptr, data.data(), &size);
    data.resize(size);
    return data;
}

std::string AccountName(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "user%06d@example.com", i);
    return name;
}

// Seeded and removed one key per call: a tree delete walks every key several
// times over and takes minutes under Wine.
TEST(MainWindowBadInput, HundredThousandAccountsAreListed) {
    constexpr int kAccounts = 100000;
    PrivateLocalMachine hklm(L"ManyAccounts");
    auto start = Clock::now();
    for (int i = 0; i < kAccounts; ++i) {
        HKEY key{};
        ASSERT_EQ(RegCreateKeyExA(hklm.product(), AccountName(i).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  0);
        RegCloseKey(key);
    }
    hklm.Put("Nobody", REG_SZ, std::string("1\0", 2));
    hklm.Put(AccountName(kAccounts - 1), REG_SZ, std::string("1\0", 2));
    const double seeded = Since(start);

    start = Clock::now();
    double loaded = 0;
    {
        WindowThread window(PlatformRegistryStore());
        loaded = Since(start);
        ASSERT_TRUE(window.created());
        EXPECT_TRUE(window.TakeBoxes().empty());
        ASSERT_EQ(window.ComboCount(), kAccounts);
        EXPECT_EQ(window.ComboItem(0), L"user000000@example.com");
        EXPECT_EQ(window.ComboItem(kAccounts - 1), L"user099999@example.com");
        window.Pick(kAccounts - 1);
        EXPECT_EQ(window.State(), Shown::On);
        EXPECT_EQ(window.Close(), 0);
    }

    start = Clock::now();
    for (int i = 0; i < kAccounts; ++i) RegDeleteKeyA(hklm.product(), AccountName(i).c_str());
    std::printf("100,000 accounts: seeded in %.1f s, window loaded in %.1f s, removed in %.1f s\n", seeded, loaded,
                Since(start));
}

TEST(MainWindowBadInput, LogOfOneMegabyteShowsTheStateItBeginsWith) {
    constexpr std::size_t kSize = 1 << 20;
    PrivateLocalMachine hklm(L"BigLog");
    hklm.Put("text@example.com", REG_SZ, "1" + std::string(kSize - 2, 'x') + '\0');
    hklm.Put("bytes@example.com", REG_BINARY, "0" + std::string(kSize - 1, '\xBD'));
    hklm.Put("other@example.com", REG_SZ, "1" + std::string(kSize - 2, '0') + '\0');

    WindowThread window(PlatformRegistryStore());
    ASSERT_TRUE(window.created());
    ASSERT_EQ(window.ComboCount(), 3);
    const struct {
        const wchar_t* account;
        Shown expected;
    } picks[] = {{L"text@example.com", Shown::On}, {L"bytes@example.com", Shown::Off}, {L"other@example.com", Shown::On}};
    for (const auto& pick : picks) {
        SCOPED_TRACE(::testing::Message() << pick.account);
        const int index = window.IndexOf(pick.account);
        ASSERT_GE(index, 0);
        window.Pick(index);
        EXPECT_EQ(window.State(), pick.expected) << Name(window.State());
    }

    // Switching replaces the megabyte with the one-character value.
    window.Pick(window.IndexOf(L"text@example.com"));
    window.Press(C::cmdDisable);
    EXPECT_EQ(window.State(), Shown::Off);
    const auto boxes = window.TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, text::kDisabledMessage);
    EXPECT_TRUE(ReadLog(hklm.product(), "text@example.com") == std::string("0\0", 2));
    EXPECT_EQ(window.Close(), 0);
}

// An account key named with a character the code page lacks comes back from the
// narrow enumeration with that character replaced ('?', or a best-fit letter),
// so its listed name is not its own. It must neither end the program nor let a
// pick or a press reach the account whose real name is the replaced one.
TEST(MainWindowBadInput, AccountNamesOutsideTheCodePageReachNoOtherAccount) {
    PrivateLocalMachine hklm(L"LossyNames");
    const auto putW = [&](const std::wstring& account, const std::string& log) {
        HKEY key{};
        ASSERT_EQ(RegCreateKeyExW(hklm.product(), account.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  0);
        RegSetValueExA(key, "Log", 0, REG_SZ, reinterpret_cast<const BYTE*>(log.c_str()), DWORD(log.size() + 1));
        RegCloseKey(key);
    };
    putW(L"\u4E00@example.com", "1");  // no narrow form at all
    putW(L"x\u0100@example.com", "1");  // best fit: "xA@example.com"

    WindowThread window(PlatformRegistryStore());
    ASSERT_TRUE(window.created());
    ASSERT_TRUE(window.TakeBoxes().empty()) << "loading ended with an error";
    ASSERT_EQ(window.ComboCount(), 2);
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        window.Pick(i);
        // The listed name addresses no key, so nothing can be read: no other key
        // is ever shown as this account's.
        EXPECT_EQ(window.State(), Shown::Unreadable);
    }
    EXPECT_EQ(window.Close(), 0);
}

// The same, with an account whose real name is the replaced form: the narrow
// enumeration hands back that name twice. It is listed once, and it is the real
// account's.
TEST(MainWindowBadInput, AccountNameWhoseReplacedFormIsAnotherAccountIsListedOnce) {
    PrivateLocalMachine hklm(L"LossyCollision");
    HKEY key{};
    ASSERT_EQ(RegCreateKeyExW(hklm.product(), L"x\u0100@example.com", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              0);
    RegCloseKey(key);
    hklm.Put("xA@example.com", REG_SZ, std::string("0\0", 2));

    WindowThread window(PlatformRegistryStore());
    for (const auto& box : window.TakeBoxes())
        ADD_FAILURE() << "box while loading: " << std::string(box.text.begin(), box.text.end());
    ASSERT_TRUE(window.created());
    ASSERT_EQ(window.ComboCount(), 1);
    EXPECT_EQ(window.ComboItem(0), L"xA@example.com");
    window.Pick(0);
    EXPECT_EQ(window.State(), Shown::Off);
    EXPECT_EQ(window.Close(), 0);
    EXPECT_TRUE(ReadLog(hklm.product(), "xA@example.com") == std::string("0\0", 2));
}

}  // namespace
}  // namespace gt3::app::test
