// The conformance suite against the in-memory store.

#include "registry/MemoryRegistryStore.h"
#include "registry/tests/conformance/StoreConformance.h"

namespace gt3::test {
namespace {

class MemoryTarget final : public ConformanceTarget {
public:
    MemoryTarget() { store_.AddReachableMachine(kLocalName); }

    RegistryStore& Store() override { return store_; }
    std::string LocalMachineName() override { return kLocalName; }
    Kind kind() const override { return Kind::Memory; }
    void SetVariable(const char* name, const char* value) override {
        if (value) store_.SetEnvironmentVariable(name, value);
    }
    void Finish() override { EXPECT_EQ(store_.OpenHandleCount(), 0u) << "a key handle was left open"; }
    bool Rename(const char* path, const char* newName) override {
        return store_.RenameKey(root::kCurrentUser, path, newName);
    }

private:
    static constexpr const char* kLocalName = "GT3-CONF-HOST";
    MemoryRegistryStore store_;
};

std::unique_ptr<ConformanceTarget> MakeMemoryTarget() { return std::make_unique<MemoryTarget>(); }

GT3_INSTANTIATE_STORE_CONFORMANCE(Memory, (TargetParam{"Memory", &MakeMemoryTarget}));

}  // namespace
}  // namespace gt3::test
