#pragma once
// Move-only owner of one key handle opened through a RegistryStore: closes it on
// destruction, whatever path leaves the scope. Predefined roots and handles that
// a caller handed in are never put into a KeyHandle.

#include <utility>

#include "RegistryStore.h"

namespace gt3 {

class KeyHandle {
public:
    explicit KeyHandle(RegistryStore& store) noexcept : store_(&store) {}
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;
    KeyHandle(KeyHandle&& other) noexcept : store_(other.store_), handle_(std::exchange(other.handle_, 0)) {}
    KeyHandle& operator=(KeyHandle&& other) noexcept {
        if (this != &other) {
            reset();
            store_ = other.store_;
            handle_ = std::exchange(other.handle_, 0);
        }
        return *this;
    }
    ~KeyHandle() { reset(); }

    RegHandle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != 0; }

    // Where the store writes a newly opened handle; closes the current one first.
    RegHandle* put() noexcept {
        reset();
        return &handle_;
    }

    void reset() noexcept {
        if (handle_ != 0) store_->CloseKey(std::exchange(handle_, 0));
    }

private:
    RegistryStore* store_;
    RegHandle handle_ = 0;
};

}  // namespace gt3
