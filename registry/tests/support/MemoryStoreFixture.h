#pragma once
// Base fixture for tests that run against the in-memory registry: every test
// must end with every handle it opened closed again, so a leak on any path of
// the code under test fails the test that caused it.

#include <gtest/gtest.h>

#include "registry/MemoryRegistryStore.h"

namespace gt3::test {

class MemoryStoreTest : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(store.OpenHandleCount(), 0u) << "a key handle was left open";
    }

    MemoryRegistryStore store;
};

}  // namespace gt3::test
