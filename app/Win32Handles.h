#pragma once
// Move-only owners of the window's GDI and user objects; each destroys its handle.

#include <windows.h>

#include <utility>

namespace gt3::app {

template <typename Handle, void (*Release)(Handle) noexcept>
class Owned {
public:
    Owned() noexcept = default;
    explicit Owned(Handle handle) noexcept : handle_(handle) {}
    Owned(Owned&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) reset(std::exchange(other.handle_, nullptr));
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { reset(); }

    void reset(Handle handle = nullptr) noexcept {
        if (handle_) Release(handle_);
        handle_ = handle;
    }
    Handle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != nullptr; }

private:
    Handle handle_ = nullptr;
};

namespace release {
inline void Font(HFONT font) noexcept { DeleteObject(font); }
inline void Brush(HBRUSH brush) noexcept { DeleteObject(brush); }
inline void Bitmap(HBITMAP bitmap) noexcept { DeleteObject(bitmap); }
inline void Icon(HICON icon) noexcept { DestroyIcon(icon); }
inline void MemoryDc(HDC dc) noexcept { DeleteDC(dc); }
}  // namespace release

using FontHandle = Owned<HFONT, release::Font>;
using BrushHandle = Owned<HBRUSH, release::Brush>;
using BitmapHandle = Owned<HBITMAP, release::Bitmap>;
using IconHandleOwner = Owned<HICON, release::Icon>;
using MemoryDcHandle = Owned<HDC, release::MemoryDc>;  // from CreateCompatibleDC

}  // namespace gt3::app
