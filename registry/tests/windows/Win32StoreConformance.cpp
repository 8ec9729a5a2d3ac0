// The conformance suite against the platform registry (under Wine, or Windows itself).

#include <windows.h>

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
};

std::unique_ptr<ConformanceTarget> MakeWin32Target() { return std::make_unique<Win32Target>(); }

GT3_INSTANTIATE_STORE_CONFORMANCE(Win32, (TargetParam{"Win32", &MakeWin32Target}));

}  // namespace
}  // namespace gt3::test
