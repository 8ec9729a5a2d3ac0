#include "RegistryRoutinesFixture.h"

#include "registry/Errors.h"

namespace gt3::test {
namespace {

using namespace std::literals;
using Call = MemoryRegistryStore::Call;

class Remote : public RegistryRoutinesTest {
protected:
    Remote() { store.AddReachableMachine("\\\\far"); }
    Variant Read(std::wstring name, std::optional<std::wstring> path = std::nullopt) {
        return reg.ReadRemoteRegistryValue(L"far", kRoot, std::move(name), std::move(path));
    }
    bool Write(std::wstring name, Variant value, std::int32_t type, std::optional<std::wstring> path = std::nullopt) {
        return reg.WriteRemoteRegistryValue(L"far", kRoot, std::move(name), value, type, std::move(path));
    }
};

TEST_F(Remote, ReadsTheContextPathOrTheGivenOne) {
    Put("Log", regtype::kSz, "1\0"sv);
    store.PutString(kRoot, "", "top", "root");
    reg.hkey(0);  // the object's root plays no part
    EXPECT_EQ(Read(L"Log"), Variant(L"1"));
    EXPECT_EQ(Read(L"top", L""), Variant(L"root"));
    EXPECT_EQ(Read(L"Log", L"SOFTWARE\\Missing"), Variant());
    EXPECT_EQ(reg.ReadRemoteRegistryValue(L"nowhere", kRoot, L"Log"), Variant(L"Error!"));
    EXPECT_EQ(reg.ReadRemoteRegistryValue(kNotNarrow, kRoot, L"Log"), Variant(L"Error!"));
    EXPECT_EQ(Read(L"Log", kNotNarrow), Variant());
}

TEST_F(Remote, ReadConvertsAsTheLocalRead) {
    const struct {
        std::uint32_t type;
        std::string data;
        Variant expected;
    } cases[] = {
        {regtype::kSz, "\0"s, L""},
        {regtype::kSz, ""s, Variant()},
        {regtype::kSz, std::string(1499, 'x') + '\0', std::wstring(1499, L'x')},
        {regtype::kDword, "\xFF\xFF\xFF\xFF", -1},
        {regtype::kMultiSz, "\0b\0\0"s, Variant()},
        {regtype::kExpandSz, "%PATH%\0"s, Variant()},
    };
    for (const auto& c : cases) {
        Put("v", c.type, c.data);
        store.ResetCounts();
        EXPECT_EQ(Read(L"v"), c.expected) << c.type;
        EXPECT_EQ(Calls(Call::Query), c.data.size() > 1024 ? 2u : 1u);
    }
}

TEST_F(Remote, WritesOnlyWhatItCanConvertIntoAnExistingKey) {
    EXPECT_FALSE(Write(L"Log", L"abc", 1));  // no key; none created
    EXPECT_FALSE(store.HasKey(kRoot, kAccount));
    store.PutKey(kRoot, kAccount);
    EXPECT_TRUE(Write(L"Log", L"abc", 1));
    EXPECT_EQ(store.GetValue(kRoot, kAccount, "Log")->data, Bytes("abc\0"sv));
    EXPECT_EQ(Read(L"Log"), Variant(L"abc"));
    for (std::int32_t type : {0, 5, 8}) EXPECT_FALSE(Write(L"x", L"1", type));
    EXPECT_FALSE(reg.WriteRemoteRegistryValue(L"nowhere", kRoot, L"Log", L"1", 1));
    EXPECT_THROW(Write(L"n", L"ten", 4), RuntimeError);
    EXPECT_FALSE(store.GetValue(kRoot, kAccount, "n"));
}

TEST_F(Remote, ReadNeedsOnlyReadRightsAndWriteOnlyWriteRights) {
    Put("Log", regtype::kSz, "1\0"sv);
    store.DenyAccess(kRoot, kAccount, access::kAllAccess & ~access::kRead);
    EXPECT_EQ(Read(L"Log"), Variant(L"1"));
    EXPECT_FALSE(Write(L"Log", L"0", 1));
    store.PutKey(kRoot, "SOFTWARE\\w");
    store.DenyAccess(kRoot, "SOFTWARE\\w", access::kAllAccess & ~access::kWrite);
    EXPECT_TRUE(Write(L"Log", L"0", 1, L"SOFTWARE\\w"));
}

}  // namespace
}  // namespace gt3::test
