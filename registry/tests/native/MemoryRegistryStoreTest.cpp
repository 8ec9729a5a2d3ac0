// The in-memory store beyond what it shares with the platform registry: where it
// follows Windows rather than Wine, its test hooks, and its scale.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "registry/KeyHandle.h"
#include "registry/tests/support/MemoryStoreFixture.h"

namespace gt3::test {
namespace {

using Call = MemoryRegistryStore::Call;
constexpr RegHandle kHkcu = root::kCurrentUser;

class MemoryRegistryStoreTest : public MemoryStoreTest {
protected:
    KeyHandle Open(const char* path, std::uint32_t accessMask = access::kAllAccess) {
        KeyHandle key(store);
        EXPECT_EQ(store.OpenKey(kHkcu, path, 0, accessMask, key.put()), status::kSuccess) << path;
        return key;
    }

    std::vector<std::string> SubKeys(RegHandle key) {
        std::vector<std::string> names;
        char name[300];
        for (std::uint32_t i = 0;; ++i) {
            std::uint32_t chars = sizeof name;
            if (store.EnumKey(key, i, name, &chars, nullptr, nullptr, nullptr) != status::kSuccess) break;
            names.emplace_back(name, chars);
        }
        return names;
    }

    std::vector<std::string> ValueNames(RegHandle key) {
        std::vector<std::string> names;
        char name[64];
        for (std::uint32_t i = 0;; ++i) {
            std::uint32_t chars = sizeof name;
            if (store.EnumValue(key, i, name, &chars, nullptr, nullptr, nullptr) != status::kSuccess) break;
            names.emplace_back(name, chars);
        }
        return names;
    }
};

// Windows keeps insertion order (Wine sorts); a rewrite keeps the value's place.
TEST_F(MemoryRegistryStoreTest, ValuesEnumerateInInsertionOrder) {
    for (const char* name : {"zulu", "Alpha", "mike", "bravo"}) store.PutString(kHkcu, "K", name, "x");
    store.PutString(kHkcu, "K", "ALPHA", "rewritten");
    store.RemoveValue(kHkcu, "K", "mike");
    KeyHandle key = Open("K");
    EXPECT_EQ(ValueNames(key.get()), (std::vector<std::string>{"zulu", "Alpha", "bravo"}));
}

// Windows refuses both; Wine creates the key.
TEST_F(MemoryRegistryStoreTest, KeyNameLongerThan255IsInvalidParameter) {
    const std::string tooLong(kMaxKeyNameChars + 1, 'k');
    RegHandle result = 0;
    EXPECT_EQ(store.CreateKey(kHkcu, tooLong.c_str(), 0, "", 0, access::kAllAccess, nullptr, &result, nullptr),
              status::kInvalidParameter);
    EXPECT_EQ(store.OpenKey(kHkcu, ("A\\" + tooLong).c_str(), 0, access::kRead, &result), status::kInvalidParameter);
    EXPECT_FALSE(store.HasKey(kHkcu, "A"));
}

// Windows wants KEY_CREATE_SUB_KEY on the parent handle; Wine does not check it.
TEST_F(MemoryRegistryStoreTest, CreatingThroughReadOnlyHandleIsAccessDenied) {
    store.PutKey(kHkcu, "Parent\\Existing");
    KeyHandle reader = Open("Parent", access::kRead);
    RegHandle child = 0;
    EXPECT_EQ(store.CreateKey(reader.get(), "New", 0, "", 0, access::kAllAccess, nullptr, &child, nullptr),
              status::kAccessDenied);
    EXPECT_FALSE(store.HasKey(kHkcu, "Parent\\New"));
    KeyHandle existing(store);
    EXPECT_EQ(store.CreateKey(reader.get(), "Existing", 0, "", 0, access::kRead, nullptr, existing.put(), nullptr),
              status::kSuccess);
    KeyHandle creator = Open("Parent", access::kCreateSubKey);
    KeyHandle made(store);
    EXPECT_EQ(store.CreateKey(creator.get(), "New", 0, "", 0, access::kAllAccess, nullptr, made.put(), nullptr),
              status::kSuccess);
}

TEST_F(MemoryRegistryStoreTest, ExpandIntoTooSmallDestinationFollowsWindows) {
    store.SetEnvironmentVariable("Word", "word");
    char out[8];
    std::fill(std::begin(out), std::end(out), 'x');
    EXPECT_EQ(store.ExpandEnvironmentStrings("%WORD%", out, 4), 6u);  // needed + 1
    EXPECT_EQ(out[0], '\0');
    EXPECT_EQ(out[1], 'x');
    EXPECT_EQ(store.ExpandEnvironmentStrings("%WORD%", nullptr, 0), 5u);
}

TEST_F(MemoryRegistryStoreTest, DeniedAccessRefusesOpenCreateAndDelete) {
    store.PutKey(kHkcu, "Locked");
    store.DenyAccess(kHkcu, "locked", access::kSetValue | access::kDelete);
    store.DenyAccess(kHkcu, "Never\\Made", access::kSetValue);
    RegHandle result = 0;
    EXPECT_EQ(store.OpenKey(kHkcu, "Locked", 0, access::kWrite, &result), status::kAccessDenied);
    EXPECT_EQ(store.OpenKey(kHkcu, "Locked", 0, access::kAllAccess, &result), status::kAccessDenied);
    { KeyHandle reader = Open("LOCKED", access::kRead); }
    EXPECT_EQ(store.DeleteKey(kHkcu, "Locked"), status::kAccessDenied);
    EXPECT_EQ(store.CreateKey(kHkcu, "Never\\Made", 0, "", 0, access::kAllAccess, nullptr, &result, nullptr),
              status::kAccessDenied);
    EXPECT_FALSE(store.HasKey(kHkcu, "Never"));
}

TEST_F(MemoryRegistryStoreTest, ConnectReachesListedMachinesAndCountsTheHandle) {
    store.AddReachableMachine("\\\\Far");
    for (const char* machine : {static_cast<const char*>(nullptr), "", "far", "\\\\FAR"}) {
        RegHandle remote = 0;
        ASSERT_EQ(store.ConnectRegistry(machine, root::kLocalMachine, &remote), status::kSuccess) << machine;
        EXPECT_EQ(store.OpenHandleCount(), 1u);
        EXPECT_EQ(store.CloseKey(remote), status::kSuccess);
    }
    RegHandle remote = 0;
    EXPECT_EQ(store.ConnectRegistry("Elsewhere", root::kLocalMachine, &remote), status::kBadNetPath);
    // By name only the documented roots; this machine's own, any predefined root.
    EXPECT_EQ(store.ConnectRegistry("far", root::kCurrentUser, &remote), status::kInvalidHandle);
    ASSERT_EQ(store.ConnectRegistry(nullptr, root::kCurrentUser, &remote), status::kSuccess);
    EXPECT_EQ(store.CloseKey(remote), status::kSuccess);
    EXPECT_EQ(store.ConnectRegistry("", 0x1234, &remote), status::kInvalidHandle);
}

TEST_F(MemoryRegistryStoreTest, OpenHandleCountIgnoresRoots) {
    RegHandle result = 0;
    ASSERT_EQ(store.OpenKey(kHkcu, "", 0, access::kRead, &result), status::kSuccess);
    EXPECT_EQ(store.OpenHandleCount(), 0u);
    store.PutKey(kHkcu, "A");
    KeyHandle a = Open("A");
    KeyHandle again = Open("a");
    EXPECT_EQ(store.OpenHandleCount(), 2u);
}

TEST_F(MemoryRegistryStoreTest, FailNextFailsOneCallAndChangesNothing) {
    store.FailNext(Call::Create, status::kAccessDenied);
    RegHandle result = 0x77;
    EXPECT_EQ(store.CreateKey(kHkcu, "A", 0, "", 0, access::kAllAccess, nullptr, &result, nullptr),
              status::kAccessDenied);
    EXPECT_EQ(result, 0x77);
    EXPECT_FALSE(store.HasKey(kHkcu, "A"));
    KeyHandle made(store);
    EXPECT_EQ(store.CreateKey(kHkcu, "A", 0, "", 0, access::kAllAccess, nullptr, made.put(), nullptr),
              status::kSuccess);
    store.FailNext(Call::Set, status::kInvalidHandle);
    store.FailNext(Call::Expand, status::kInvalidParameter);
    EXPECT_EQ(store.SetValue(made.get(), "V", 0, regtype::kSz, nullptr, 0), status::kInvalidHandle);
    EXPECT_FALSE(store.GetValue(kHkcu, "A", "V"));
    EXPECT_EQ(store.ExpandEnvironmentStrings("abc", nullptr, 0), 0u);
    EXPECT_EQ(store.CallCount(Call::Create), 2u);
    EXPECT_EQ(store.CallCount(Call::Set), 1u);
    store.ResetCounts();
    EXPECT_EQ(store.CallCount(Call::Create), 0u);
}

TEST_F(MemoryRegistryStoreTest, BeforeChangesAValueBetweenTwoQueries) {
    store.PutString(kHkcu, "A", "V", "short");
    store.Before(Call::Query, 1, [&] { store.PutString(kHkcu, "A", "V", "a good deal longer"); });
    KeyHandle a = Open("A");
    std::uint32_t size = 0;
    ASSERT_EQ(store.QueryValue(a.get(), "V", nullptr, nullptr, &size), status::kSuccess);
    EXPECT_EQ(size, 6u);
    ASSERT_EQ(store.QueryValue(a.get(), "V", nullptr, nullptr, &size), status::kSuccess);
    EXPECT_EQ(size, 19u);
}

TEST_F(MemoryRegistryStoreTest, KeyRemovedDuringEnumerationEndsItAndDeletesHandles) {
    for (const char* name : {"P\\a", "P\\b", "P\\c"}) store.PutKey(kHkcu, name);
    KeyHandle parent = Open("P");
    KeyHandle c = Open("P\\c");
    store.Before(Call::EnumKey, 1, [&] { store.RemoveKey(kHkcu, "P\\c"); });
    EXPECT_EQ(SubKeys(parent.get()), (std::vector<std::string>{"a", "b"}));
    std::uint32_t size = 0;
    EXPECT_EQ(store.QueryValue(c.get(), "", nullptr, nullptr, &size), status::kKeyDeleted);
    store.PutKey(kHkcu, "P\\c");  // a new key of that name; the old handle stays dead
    EXPECT_EQ(store.QueryValue(c.get(), "", nullptr, nullptr, &size), status::kKeyDeleted);
    store.RemoveKey(kHkcu, "P");
    EXPECT_EQ(SubKeys(parent.get()).size(), 0u);
    char name[8];
    std::uint32_t chars = sizeof name;
    EXPECT_EQ(store.EnumKey(parent.get(), 0, name, &chars, nullptr, nullptr, nullptr), status::kKeyDeleted);
}

TEST_F(MemoryRegistryStoreTest, DirectAccessWritesWhatTheCallsRead) {
    store.PutString(kHkcu, "Path\\To", "Text", "abc");
    store.PutDword(kHkcu, "path\\to", "Number", 0x12345678u);
    EXPECT_TRUE(store.HasKey(kHkcu, "PATH\\TO"));
    const auto text = store.GetValue(kHkcu, "Path\\To", "TEXT");
    ASSERT_TRUE(text);
    EXPECT_EQ(text->type, regtype::kSz);
    EXPECT_EQ(text->data, (std::vector<std::uint8_t>{'a', 'b', 'c', 0}));
    KeyHandle key = Open("Path\\To", access::kRead);
    std::uint8_t number[4] = {};
    std::uint32_t type = 0, size = sizeof number;
    ASSERT_EQ(store.QueryValue(key.get(), "number", &type, number, &size), status::kSuccess);
    EXPECT_EQ(type, regtype::kDword);
    EXPECT_EQ(number[0], 0x78);
    EXPECT_EQ(number[3], 0x12);
    EXPECT_THROW(store.PutKey(0x1234, "X"), std::invalid_argument);
}

// The store remembers the last listing step; a key or value added or removed
// between two steps must shift the later indexes as a fresh listing would.
TEST_F(MemoryRegistryStoreTest, ListingStepsSeeChangesMadeBetweenThem) {
    std::vector<std::string> keys{"b", "d", "f"}, values = keys;  // sorted; insertion order
    for (const auto& name : keys) {
        store.PutKey(kHkcu, "L\\" + name);
        store.PutString(kHkcu, "L", name, "x");
    }
    KeyHandle list = Open("L");
    auto nameAt = [&](bool value, std::uint32_t index) {
        char name[8];
        std::uint32_t chars = sizeof name;
        const RegStatus s = value ? store.EnumValue(list.get(), index, name, &chars, nullptr, nullptr, nullptr)
                                  : store.EnumKey(list.get(), index, name, &chars, nullptr, nullptr, nullptr);
        return s == status::kSuccess ? std::string(name, chars) : "(status " + std::to_string(s) + ")";
    };
    // Before the cursor, at it, after it, and back; each after steps 0 and 1.
    const struct {
        bool add;
        const char* name;
    } changes[] = {{true, "a"}, {false, "b"}, {true, "e"}, {false, "a"}, {true, "c"}};
    for (const auto& change : changes) {
        SCOPED_TRACE(std::string(change.add ? "add " : "remove ") + change.name);
        for (bool value : {false, true}) {
            nameAt(value, 0);
            nameAt(value, 1);
        }
        if (change.add) {
            store.PutKey(kHkcu, std::string("L\\") + change.name);
            store.PutString(kHkcu, "L", change.name, "x");
            keys.insert(std::lower_bound(keys.begin(), keys.end(), change.name), change.name);
            values.push_back(change.name);
        } else {
            store.RemoveKey(kHkcu, std::string("L\\") + change.name);
            store.RemoveValue(kHkcu, "L", change.name);
            std::erase(keys, change.name);
            std::erase(values, change.name);
        }
        for (std::uint32_t i = 1; i < keys.size(); ++i) {
            EXPECT_EQ(nameAt(false, i), keys[i]) << i;
            EXPECT_EQ(nameAt(true, i), values[i]) << i;
        }
        EXPECT_EQ(nameAt(false, keys.size()), "(status 259)");
    }
}

// Many sub-keys, added out of order, come back sorted and are found by name.
// (Kept to a size the sanitizer build runs quickly; the benchmark takes the scale.)
TEST_F(MemoryRegistryStoreTest, ManySubKeysEnumerateSortedAndDeleteByName) {
    constexpr int kCount = 20000;
    for (int i = 0; i < kCount; ++i) store.PutKey(kHkcu, "Big\\K" + std::to_string((i * 7919) % kCount + kCount));
    KeyHandle big = Open("Big");
    char previous[16] = "";
    char name[16];
    std::uint32_t i = 0;
    for (;; ++i) {
        std::uint32_t chars = sizeof name;
        const RegStatus s = store.EnumKey(big.get(), i, name, &chars, nullptr, nullptr, nullptr);
        if (s != status::kSuccess) {
            EXPECT_EQ(s, status::kNoMoreItems);
            break;
        }
        ASSERT_LT(std::string(previous), std::string(name));
        std::copy(name, name + chars + 1, previous);
    }
    EXPECT_EQ(i, static_cast<std::uint32_t>(kCount));
    for (int k = 0; k < kCount; k += 2)
        ASSERT_EQ(store.DeleteKey(big.get(), ("k" + std::to_string(k + kCount)).c_str()), status::kSuccess);
    EXPECT_EQ(SubKeys(big.get()).size(), static_cast<std::size_t>(kCount / 2));
}

// A report may destroy watches, its own or another one; a watch destroyed hears
// nothing more, even of the change being reported.
TEST_F(MemoryRegistryStoreTest, AWatchDestroyedDuringAReportHearsNothingMore) {
    struct Case {
        const char* what;
        int destroyer, destroyed;
    };
    for (const Case c : {Case{"a later watch", 0, 1}, Case{"its own watch", 1, 1}, Case{"an earlier watch", 1, 0}}) {
        SCOPED_TRACE(c.what);
        store.PutKey(kHkcu, "W");
        std::unique_ptr<KeyWatch> watches[2];
        int heard[2] = {0, 0};
        for (int i = 0; i < 2; ++i)
            watches[i] = store.WatchKey(kHkcu, "W", [&, i] {
                ++heard[i];
                if (i == c.destroyer) watches[c.destroyed].reset();
            });
        store.PutString(kHkcu, "W", "Log", "1");
        EXPECT_EQ(heard[c.destroyer], 1);
        if (c.destroyed != c.destroyer) {
            EXPECT_EQ(heard[c.destroyed], c.destroyed < c.destroyer ? 1 : 0);
        }
        const int before = heard[c.destroyed];
        store.PutString(kHkcu, "W", "Log", "0");
        EXPECT_EQ(heard[c.destroyed], before) << "heard after it was destroyed";
        for (auto& watch : watches) watch.reset();
        store.RemoveKey(kHkcu, "W");
    }
}

}  // namespace
}  // namespace gt3::test
