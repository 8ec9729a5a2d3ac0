// The conformance suite against the platform registry (under Wine, or Windows itself).

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "registry/Win32RegistryStore.h"
#include "registry/tests/conformance/StoreConformance.h"
#include "registry/tests/support/Wine.h"

namespace gt3::test {
namespace {

class Win32Target final : public ConformanceTarget {
public:
    RegistryStore& Store() override { return PlatformRegistryStore(); }
    std::string LocalMachineName() override {
        char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
        DWORD chars = sizeof name;
        EXPECT_TRUE(GetComputerNameA(name, &chars));
        return std::string(name, chars);
    }
    Kind kind() const override { return UnderWine() ? Kind::Wine : Kind::Windows; }
    void SetVariable(const char* name, const char* value) override {
        EXPECT_TRUE(SetEnvironmentVariableA(name, value) || !value);
    }
    void Deliver(KeyWatch& watch) override {
        constexpr DWORD kQuietMs = 250;
        for (int step = 0; step < 100; ++step) {
            const std::vector<std::uintptr_t> events = watch.Events();
            std::vector<HANDLE> handles;
            for (const std::uintptr_t event : events) handles.push_back(reinterpret_cast<HANDLE>(event));
            const auto count = static_cast<DWORD>(handles.size());
            const DWORD woke = count ? WaitForMultipleObjects(count, handles.data(), FALSE, kQuietMs) : WAIT_TIMEOUT;
            if (woke >= WAIT_OBJECT_0 + count) return;
            watch.Signalled(events[woke - WAIT_OBJECT_0]);
        }
        ADD_FAILURE() << "the watch never went quiet";
    }
    bool Rename(const char* path, const char* newName) override {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return false;
        const std::wstring wide(newName, newName + std::strlen(newName));  // ASCII names
        const LONG renamed = RegRenameKey(key, nullptr, wide.c_str());
        RegCloseKey(key);
        return renamed == ERROR_SUCCESS;
    }
};

std::unique_ptr<ConformanceTarget> MakeWin32Target() { return std::make_unique<Win32Target>(); }

GT3_INSTANTIATE_STORE_CONFORMANCE(Win32, (TargetParam{"Win32", &MakeWin32Target}));

}  // namespace
}  // namespace gt3::test
