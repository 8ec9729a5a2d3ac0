#pragma once
// Owner of one key handle opened through a RegistryStore: closes it through that
// store. Predefined roots and handles that a caller handed in are never put into
// a KeyHandle.

#include "Owned.h"
#include "RegistryStore.h"

namespace gt3 {

class CloseKeyOf {
public:
    CloseKeyOf() noexcept = default;
    CloseKeyOf(RegistryStore& store) noexcept : store_(&store) {}  // implicit: KeyHandle key(store)
    void operator()(RegHandle key) const noexcept { store_->CloseKey(key); }

private:
    RegistryStore* store_ = nullptr;
};

using KeyHandle = Owned<RegHandle, CloseKeyOf>;

}  // namespace gt3
