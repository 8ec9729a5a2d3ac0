// RegistryRoutines on the platform registry, checked against Wine's own reg.exe.
// Everything happens below a private key of the current user, removed before
// and after each test.

#include "registry/RegistryRoutines.h"

#include <windows.h>
#include <sddl.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "registry/tests/support/RegExe.h"
#include "registry/tests/support/Wine.h"

namespace gt3 {
namespace {

constexpr char kKey[] = "Software\\GT3ErrLogTests\\Routines";
constexpr char kKeyForReg[] = "HKCU\\Software\\GT3ErrLogTests\\Routines";
constexpr std::int32_t kCurrentUser = root::kCurrentUser;

// reg.exe in the 32-bit view, the one this 32-bit test program sees.
std::string RegExe(const std::string& arguments) { return test::RegExe(arguments, test::RegView::k32); }

void RegAdd(const std::string& name, const std::string& type, const std::string& data) {
    RegExe(std::string("add ") + kKeyForReg + " /v " + name + " /t " + type + " /d \"" + data + "\" /f");
}

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// This user's key below HKEY_USERS (its SID), which HKEY_CURRENT_USER is.
std::string UserKeyName() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    alignas(TOKEN_USER) unsigned char user[256];
    DWORD size = 0;
    char* sid = nullptr;
    std::string name;
    if (GetTokenInformation(token, TokenUser, user, sizeof user, &size) &&
        ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &sid)) {
        name = sid;
        LocalFree(sid);
    }
    CloseHandle(token);
    return name;
}

class RoutinesWin32 : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, kKey);
        reg.hkey(kCurrentUser);
        reg.KeyRoot(L"Software\\GT3ErrLogTests");
        reg.Subkey(L"Routines");
    }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, kKey); }
    RegistryRoutines reg;
};

TEST_F(RoutinesWin32, KeyOperations) {
    EXPECT_FALSE(reg.KeyExists());
    EXPECT_EQ(reg.CreateKey(), L"0");
    EXPECT_TRUE(reg.KeyExists());
    Variant child(L"Routines\\child");
    EXPECT_EQ(reg.CreateKey(child), L"0");
    EXPECT_EQ(reg.EnumRegistryKeys(kCurrentUser, Wide(kKey)).Item(L"CHILD"), Variant(L"child"));
    EXPECT_EQ(reg.DeleteValue(L"Log"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(reg.DeleteKey(L"Routines\\child"), ERROR_SUCCESS);
    EXPECT_EQ(reg.DeleteKey(L"Routines\\child"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RoutinesWin32, ReadsWhatRegExeWrote) {
    RegAdd("Log", "REG_SZ", "1");
    RegAdd("dw", "REG_DWORD", "4294967295");
    RegAdd("multi", "REG_MULTI_SZ", "a\\0b");
    EXPECT_EQ(reg.GetRegistryValue(L"Log"), Variant(L"1"));
    EXPECT_EQ(reg.GetRegistryValue(L"dw"), Variant(-1));
    EXPECT_EQ(reg.GetRegistryValue(L"multi"), Variant(std::wstring(L"a\0b", 3)));
    EXPECT_TRUE(reg.SetRegistryValue(L"Log", L"0", REG_SZ));
    EXPECT_NE(RegExe(std::string("query ") + kKeyForReg + " /v Log").find("REG_SZ    0\n"), std::string::npos);
}

// reg.exe shows binary as bare hex digits, DWORDs as 0x-hex and lists with \0.
std::string AsRegShowsIt(const std::string& type, const Variant& shown) {
    if (type == "REG_DWORD") {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%x", static_cast<unsigned>(shown.AsLong()));
        return hex;
    }
    std::string text;
    for (wchar_t c : shown.AsString()) {
        if (type == "REG_BINARY" && c == L' ') continue;
        if (type == "REG_MULTI_SZ" && c == L',') text += "\\0";
        else text += static_cast<char>(c);
    }
    return text;
}

TEST_F(RoutinesWin32, EnumRegistryValuesAgreesWithRegQuery) {
    RegAdd("sz", "REG_SZ", "text");
    RegAdd("exp", "REG_EXPAND_SZ", "%GT3_UNSET_VAR%x");
    RegAdd("bin", "REG_BINARY", "070A1AFF");
    RegAdd("dw", "REG_DWORD", "42");
    RegAdd("multi", "REG_MULTI_SZ", "a\\0b\\0c");
    std::map<std::string, std::pair<std::string, std::string>> listed, ours;  // name -> type, data
    const std::string output = RegExe(std::string("query ") + kKeyForReg);
    for (std::size_t at = 0, end; (end = output.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = output.substr(at, end - at);
        const auto type = line.find("    REG_");
        if (line.rfind("    ", 0) != 0 || type == std::string::npos) continue;
        const auto data = line.find("    ", type + 4);
        listed[line.substr(4, type - 4)] = {line.substr(type + 4, data - type - 4), line.substr(data + 4)};
    }
    const Collection values = reg.EnumRegistryValues(kCurrentUser, Wide(kKey));
    EXPECT_EQ(values.Count(), 5u);
    for (const auto& entry : values) {
        const VariantArray& item = entry.item.AsArray();
        const std::string name(item[0].AsString().begin(), item[0].AsString().end());
        const auto found = listed.find(name);
        ASSERT_NE(found, listed.end()) << name;
        ours[name] = {found->second.first, AsRegShowsIt(found->second.first, item[1])};
    }
    EXPECT_EQ(ours, listed);
}

// No machine name is this machine, as documented, reached here through
// HKEY_USERS, a documented root. By this machine's own name the pair goes
// through the Remote Registry service on Windows, which client editions do not
// start by default; Wine short-cuts it, so those names are tried under Wine only.
TEST_F(RoutinesWin32, RemotePairOnTheLocalMachine) {
    ASSERT_EQ(reg.CreateKey(), L"0");
    const std::string user = UserKeyName();
    ASSERT_FALSE(user.empty());
    const std::wstring path = Wide(user + "\\" + kKey);
    char computer[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD length = sizeof computer;
    ASSERT_TRUE(GetComputerNameA(computer, &length));
    std::vector<std::string> machines{std::string()};
    if (test::UnderWine()) machines.insert(machines.end(), {computer, std::string("\\\\").append(computer)});
    for (const std::string& machine : machines) {
        EXPECT_TRUE(reg.WriteRemoteRegistryValue(Wide(machine), root::kUsers, L"Log", Wide(machine), REG_SZ, path));
        EXPECT_EQ(reg.ReadRemoteRegistryValue(Wide(machine), root::kUsers, L"Log", path), Variant(Wide(machine)));
    }
    EXPECT_EQ(reg.ReadRemoteRegistryValue(L"GT3NoSuchMachine", kCurrentUser, L"Log"), Variant(L"Error!"));
    EXPECT_FALSE(reg.WriteRemoteRegistryValue(L"GT3NoSuchMachine", kCurrentUser, L"Log", L"1", REG_SZ));
}

}  // namespace
}  // namespace gt3
