// A dynamic array that is one pointer wide and nothing while empty: for
// records kept by the hundred thousand that seldom hold any elements.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <type_traits>

namespace ax {

template <typename T> class TDynArray {
    static_assert(std::is_trivially_copyable_v<T>, "TDynArray holds plain values");

public:
    using value_type = T;
    using iterator = T*;
    using const_iterator = const T*;

    TDynArray() = default;
    TDynArray(std::initializer_list<T> values) { Assign(values.begin(), values.size()); }
    TDynArray(const TDynArray& other) { Assign(other.data(), other.size()); }
    TDynArray(TDynArray&& other) noexcept : block_(std::move(other.block_)) {}
    TDynArray& operator=(const TDynArray& other) {
        if (this != &other) Assign(other.data(), other.size());
        return *this;
    }
    TDynArray& operator=(TDynArray&& other) noexcept {
        block_ = std::move(other.block_);
        return *this;
    }

    size_t size() const { return block_ ? *CountOf(block_.get()) : 0; }
    bool empty() const { return size() == 0; }
    T* data() { return block_ ? ItemsOf(block_.get()) : nullptr; }
    const T* data() const { return block_ ? ItemsOf(block_.get()) : nullptr; }
    T& operator[](size_t i) { return data()[i]; }
    const T& operator[](size_t i) const { return data()[i]; }
    T* begin() { return data(); }
    T* end() { return data() + size(); }
    const T* begin() const { return data(); }
    const T* end() const { return data() + size(); }

    void clear() { block_.reset(); }
    // New elements are zero; the old ones up to the new size stay.
    void resize(size_t count) {
        if (count == size()) return;
        if (count == 0) {
            clear();
            return;
        }
        BlockPtr fresh = Make(count);
        if (!empty())
            std::memcpy(ItemsOf(fresh.get()), data(), std::min(count, size()) * sizeof(T));
        block_ = std::move(fresh);
    }
    void Assign(const T* values, size_t count) {
        if (count == 0) {
            clear();
            return;
        }
        BlockPtr fresh = Make(count);
        std::memcpy(ItemsOf(fresh.get()), values, count * sizeof(T));
        block_ = std::move(fresh);
    }

    friend bool operator==(const TDynArray& a, const TDynArray& b) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
    }

private:
    // One block: the count, then the elements.
    static constexpr size_t kItemsAt = std::max(sizeof(size_t), alignof(T));
    struct Free {
        void operator()(unsigned char* b) const { ::operator delete(b); }
    };
    using BlockPtr = std::unique_ptr<unsigned char, Free>;
    static size_t* CountOf(unsigned char* b) { return reinterpret_cast<size_t*>(b); }
    static T* ItemsOf(unsigned char* b) { return reinterpret_cast<T*>(b + kItemsAt); }

    static BlockPtr Make(size_t count) {
        BlockPtr b(static_cast<unsigned char*>(::operator new(kItemsAt + count * sizeof(T))));
        *CountOf(b.get()) = count;
        std::memset(ItemsOf(b.get()), 0, count * sizeof(T));
        return b;
    }

    BlockPtr block_;
};

} // namespace ax
