#pragma once
// The one move-only owner of a handle, whatever its kind: a registry key of a
// store, an event, a GDI object. It releases the handle on destruction and on
// reset, whatever path leaves the scope. A default-made handle value ({},
// nullptr or 0) owns nothing. Predefined roots and handles a caller handed in are
// never put into one. Portable: `registry/` and `app/` both build on it.

#include <utility>

namespace gt3 {

// `Release` is called with the handle; it may carry state (the store that
// opened a key), as a unique_ptr's deleter does.
template <typename Handle, typename Release>
class Owned {
public:
    Owned() noexcept = default;
    explicit Owned(Release release) noexcept : release_(std::move(release)) {}
    explicit Owned(Handle handle, Release release = Release{}) noexcept
        : release_(std::move(release)), handle_(handle) {}
    Owned(Owned&& other) noexcept : release_(other.release_), handle_(std::exchange(other.handle_, Handle{})) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) {
            reset();
            release_ = other.release_;
            handle_ = std::exchange(other.handle_, Handle{});
        }
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { reset(); }

    void reset(Handle handle = Handle{}) noexcept {
        if (handle_ != Handle{}) release_(handle_);
        handle_ = handle;
    }
    // Where a call writes a newly opened handle; releases the current one first.
    Handle* put() noexcept {
        reset();
        return &handle_;
    }
    Handle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != Handle{}; }

private:
    Release release_{};
    Handle handle_{};
};

// A Release that calls a plain function.
template <auto Function>
struct ReleaseWith {
    template <typename Handle>
    void operator()(Handle handle) const noexcept {
        Function(handle);
    }
};

}  // namespace gt3
