// Every operation of RegistryRoutines, run 1,000 times against the platform
// registry, leaves the process's handle count where it was: each key it opens,
// creates or connects is closed again. Works below a private key of the current
// user, removed before and after.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "registry/RegistryRoutines.h"
#include "registry/Win32RegistryStore.h"
#include "registry/tests/support/Wine.h"

namespace gt3 {
namespace {

constexpr char kKey[] = "Software\\GT3ErrLogTests\\Handles";
constexpr int kCycles = 1000;
constexpr int kWarmUp = 20;  // the platform opens and caches its own handles on first use

// The handles this process holds: GetProcessHandleCount where it answers. Wine
// answers it with 0, so there, and only there, the system handle table is
// counted in Wine's entry layout (Windows' own entry holds a 16-bit process id
// and a 16-bit back-trace index instead). 0 means no count, which the tests fail.
std::size_t HandleCount() {
    if (DWORD count = 0; GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0) return count;
    if (!test::UnderWine()) return 0;
    struct Entry {
        ULONG process;
        BYTE type;
        BYTE flags;
        USHORT value;
        PVOID object;
        ACCESS_MASK access;
    };
    struct Table {
        ULONG count;
        Entry entries[1];
    };
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    constexpr ULONG kSystemHandleInformation = 16;
    constexpr LONG kLengthMismatch = static_cast<LONG>(0xC0000004);
    static const auto query =
        reinterpret_cast<Query>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    std::vector<unsigned char> buffer(1 << 16);
    LONG status;
    while ((status = query(kSystemHandleInformation, buffer.data(), ULONG(buffer.size()), nullptr)) == kLengthMismatch)
        buffer.resize(buffer.size() * 2);
    if (status != 0) return 0;
    const auto* table = reinterpret_cast<const Table*>(buffer.data());
    const ULONG self = GetCurrentProcessId();
    std::size_t count = 0;
    for (ULONG i = 0; i < table->count; ++i) count += table->entries[i].process == self;
    return count;
}

struct Operation {
    const char* name;
    std::function<void(RegistryRoutines&)> run;
};

// Each touches the paths that open something: hits and misses, the retry with a
// larger buffer, and a connection that fails.
const Operation kOperations[] = {
    {"KeyExists", [](RegistryRoutines& r) { r.KeyExists(); }},
    {"CreateKey", [](RegistryRoutines& r) { r.CreateKey(); }},
    {"CreateKeyDeleteKey",
     [](RegistryRoutines& r) {
         Variant child(L"Account\\Child");
         r.CreateKey(child);
         r.DeleteKey(L"Account\\Child");
     }},
    {"DeleteValue",
     [](RegistryRoutines& r) {
         r.SetRegistryValue(L"Gone", Variant(L"x"), 1);
         r.DeleteValue(L"Gone");
         r.DeleteValue(L"Gone");
     }},
    {"EnumRegistryKeys", [](RegistryRoutines& r) { r.EnumRegistryKeys(root::kCurrentUser, L"Software\\GT3ErrLogTests\\Handles"); }},
    {"EnumRegistryValues",
     [](RegistryRoutines& r) { r.EnumRegistryValues(root::kCurrentUser, L"Software\\GT3ErrLogTests\\Handles\\Account"); }},
    {"GetRegistryValue",
     [](RegistryRoutines& r) {
         r.GetRegistryValue(L"Log");
         r.GetRegistryValue(L"Big");
         r.GetRegistryValue(L"Missing", Variant(L"default"));
     }},
    {"SetRegistryValue",
     [](RegistryRoutines& r) {
         r.SetRegistryValue(L"Log", Variant(L"1"), 1);
         r.SetRegistryValue(L"Count", Variant(std::int32_t(7)), 4);
     }},
    {"ReadRemoteRegistryValue",
     [](RegistryRoutines& r) {
         r.ReadRemoteRegistryValue(L"", root::kCurrentUser, L"Log");
         r.ReadRemoteRegistryValue(L"", root::kCurrentUser, L"Big");
     }},
    {"WriteRemoteRegistryValue",
     [](RegistryRoutines& r) { r.WriteRemoteRegistryValue(L"", root::kCurrentUser, L"Log", Variant(L"0"), 1); }},
    {"RemoteUnknownMachine",
     [](RegistryRoutines& r) {
         r.ReadRemoteRegistryValue(L"NOSUCHHOST", root::kCurrentUser, L"Log");
         r.WriteRemoteRegistryValue(L"NOSUCHHOST", root::kCurrentUser, L"Log", Variant(L"0"), 1);
     }},
};

class HandleDiscipline : public ::testing::TestWithParam<Operation> {
protected:
    void SetUp() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, kKey);
        reg.hkey(root::kCurrentUser);
        reg.KeyRoot(L"Software\\GT3ErrLogTests\\Handles");
        reg.Subkey(L"Account");
        ASSERT_EQ(reg.CreateKey(), L"0");
        // One value of each kind, one larger than every first read buffer.
        ASSERT_TRUE(reg.SetRegistryValue(L"Log", Variant(L"1"), 1));
        ASSERT_TRUE(reg.SetRegistryValue(L"Path", Variant(L"%SystemRoot%\\x"), 2));
        ASSERT_TRUE(reg.SetRegistryValue(L"Big", Variant(ByteArray{std::vector<std::uint8_t>(5000, 0x5A), 0}), 3));
        ASSERT_TRUE(reg.SetRegistryValue(L"Count", Variant(std::int32_t(7)), 4));
        ASSERT_TRUE(reg.SetRegistryValue(L"List", Variant(std::wstring(L"a\0b", 3)), 7));
    }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, kKey); }

    Win32RegistryStore store;
    RegistryRoutines reg{store};
};

// The instrument itself: a key left open must show in the count, or the test
// below would pass whatever the class does.
TEST(HandleCount, SeesAnOpenKey) {
    HKEY key = nullptr;
    const std::size_t before = HandleCount();
    ASSERT_GT(before, 0u);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(HandleCount(), before + 1);
    RegCloseKey(key);
    EXPECT_EQ(HandleCount(), before);
}

TEST_P(HandleDiscipline, ThousandCyclesLeaveTheHandleCountUnchanged) {
    const Operation& op = GetParam();
    for (int i = 0; i < kWarmUp; ++i) op.run(reg);
    const std::size_t baseline = HandleCount();
    ASSERT_GT(baseline, 0u) << "no handle count here";
    for (int i = 0; i < kCycles; ++i) op.run(reg);
    EXPECT_EQ(HandleCount(), baseline) << op.name << " leaks handles";
}

INSTANTIATE_TEST_SUITE_P(EveryOperation, HandleDiscipline, ::testing::ValuesIn(kOperations),
                         [](const ::testing::TestParamInfo<Operation>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace gt3
