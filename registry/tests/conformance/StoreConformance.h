#pragma once
// One suite of registry behaviours, run against every store: the in-memory one
// natively and the platform registry under Wine. Each build instantiates
// StoreConformance with its own target.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "registry/KeyHandle.h"
#include "registry/RegistryStore.h"

namespace gt3::test {

// What differs between the stores under test, beyond the store calls themselves.
class ConformanceTarget {
public:
    virtual ~ConformanceTarget() = default;
    virtual RegistryStore& Store() = 0;
    // The name RegConnectRegistry knows as this machine.
    virtual std::string LocalMachineName() = 0;
    // Which registry this is: cases that hold only under Wine run only there, and
    // cases the documents leave open skip on Windows itself.
    enum class Kind { Memory, Wine, Windows };
    virtual Kind kind() const = 0;
    // Sets (or, with nullptr, removes) a variable ExpandEnvironmentStrings sees.
    virtual void SetVariable(const char* name, const char* value) = 0;
    // Runs after the test key is gone: checks the store was left clean.
    virtual void Finish() {}
    // Hands the watch what the platform has told it, until it has been quiet for
    // a moment. A store that sees its own changes has reported them already.
    virtual void Deliver(KeyWatch&) {}
    // RegRenameKey on the key at `path` below HKEY_CURRENT_USER.
    virtual bool Rename(const char* path, const char* newName) = 0;
};

struct TargetParam {
    const char* name;
    std::unique_ptr<ConformanceTarget> (*make)();
};

inline void PrintTo(const TargetParam& param, std::ostream* os) { *os << param.name; }

inline std::string TargetName(const ::testing::TestParamInfo<TargetParam>& info) { return info.param.name; }

constexpr std::uint8_t kSentinel = 0xBD;

class StoreConformance : public ::testing::TestWithParam<TargetParam> {
protected:
    // Private key the suite works under; removed before and after each test.
    static constexpr const char* kTestKeyPath = "Software\\GT3Conformance";

    void SetUp() override;
    void TearDown() override;

    RegistryStore& store() { return target_->Store(); }
    ConformanceTarget& target() { return *target_; }
    RegHandle testKey() const { return testKey_; }

    // Creates (or opens) a key below the test key; a failure fails the test.
    KeyHandle Create(const char* path, std::uint32_t access = access::kAllAccess);
    KeyHandle Open(const char* path, std::uint32_t access = access::kAllAccess);
    void Set(RegHandle key, const char* name, std::uint32_t type, std::string_view bytes);
    std::vector<std::string> SubKeyNames(RegHandle key);

private:
    std::unique_ptr<ConformanceTarget> target_;
    RegHandle testKey_ = 0;
};

// ExpandEnvironmentStrings, with two variables set for the test's duration.
class ExpandConformance : public StoreConformance {
protected:
    void SetUp() override;
    void TearDown() override;
    // Expands into a 64-byte sentinel-filled buffer and returns the text up to the NUL.
    std::string Expand(const char* source, std::uint32_t* returned = nullptr);
};

// Both suites against one target; `param` is a TargetParam.
#define GT3_INSTANTIATE_STORE_CONFORMANCE(prefix, param)                                                       \
    INSTANTIATE_TEST_SUITE_P(prefix, StoreConformance, ::testing::Values(param), ::gt3::test::TargetName); \
    INSTANTIATE_TEST_SUITE_P(prefix, ExpandConformance, ::testing::Values(param), ::gt3::test::TargetName)

// Deletes a key with everything below it through the store's own calls.
bool DeleteTree(RegistryStore& store, RegHandle parent, const char* path);

template <std::size_t N>
std::array<std::uint8_t, N> SentinelBuffer() {
    std::array<std::uint8_t, N> buffer;
    buffer.fill(kSentinel);
    return buffer;
}

}  // namespace gt3::test
