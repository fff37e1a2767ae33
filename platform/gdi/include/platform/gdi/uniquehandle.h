#pragma once
// One owner of a drawing handle: the handle is freed exactly once, by the
// deleter, when the owner goes or is given another handle. Moving hands the
// handle over and leaves the source empty; an empty owner frees nothing.
// The kinds (GDI objects, memory DCs, icons, image lists) are aliases of this
// one template in headers of their own.
#include <utility>

namespace ax {

template <typename Handle, typename Deleter> class UniqueHandle {
public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Handle handle) noexcept : handle_(handle) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Handle Get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return bool(handle_); }
    // The caller takes the handle over; the owner is left empty.
    [[nodiscard]] Handle Release() noexcept { return std::exchange(handle_, Handle{}); }
    // Frees the handle held (if any) and takes `handle`.
    void Reset(Handle handle = Handle{}) noexcept {
        const Handle old = std::exchange(handle_, handle);
        if (old && !(old == handle)) Deleter{}(old);
    }

private:
    Handle handle_{};
};

} // namespace ax
