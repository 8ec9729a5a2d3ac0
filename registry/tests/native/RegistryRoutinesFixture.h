#pragma once
// A RegistryRoutines over the in-memory store, its context set to one account
// key of the product, as the main window sets it.

#include <string_view>
#include <vector>

#include "registry/RegistryRoutines.h"
#include "registry/tests/support/MemoryStoreFixture.h"

namespace gt3::test {

inline std::vector<std::uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

class RegistryRoutinesTest : public MemoryStoreTest {
protected:
    static constexpr RegHandle kRoot = root::kLocalMachine;
    static constexpr std::string_view kProduct = "SOFTWARE\\Quorvane\\Glimtrove";
    static constexpr std::string_view kAccount = "SOFTWARE\\Quorvane\\Glimtrove\\a@b.c";

    RegistryRoutinesTest() {
        reg.hkey(kRoot);
        reg.KeyRoot(L"SOFTWARE\\Quorvane\\Glimtrove");
        reg.Subkey(L"a@b.c");
    }
    void Put(std::string_view name, std::uint32_t type, std::string_view data) {
        store.PutValue(kRoot, kAccount, name, type, Bytes(data));
    }
    std::size_t Calls(MemoryRegistryStore::Call call) const { return store.CallCount(call); }

    RegistryRoutines reg{store};
};

// Not in Windows-1252: such a name cannot reach the store unchanged.
inline constexpr wchar_t kNotNarrow[] = L"caf\u0101";

}  // namespace gt3::test
