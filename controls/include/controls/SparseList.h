#pragma once
// Sparse storage: a directory of fixed-size sections of slots, a section
// made (empty) on the first write into it. The array owns what its slots
// hold. Indices run from 0 to INT_MAX; the directory grows as needed.
#include <algorithm>
#include <memory>
#include <vector>

#include "rtl/exceptions.h"
#include "rtl/text.h"

namespace ax {

enum TSPAQuantum { SPASmall, SPALarge }; // 16 or 256 slots a section

template <class T> class TSparsePointerArray {
public:
    explicit TSparsePointerArray(TSPAQuantum quantum)
        : shift_(quantum == SPALarge ? 8 : 4), mask_(quantum == SPALarge ? 255 : 15) {}

    T* Get(int index) const {
        if (index < kInline) return inline_[size_t(index)].get();
        if (index == cacheIndex_) return cacheValue_;
        const size_t section = size_t(index) >> shift_;
        T* value = section < sections_.size() && sections_[section]
                       ? sections_[section][size_t(index) & mask_].get()
                       : nullptr;
        cacheIndex_ = index;
        cacheValue_ = value;
        return value;
    }

    // Stores value (nullptr empties the slot) and gives back what was there.
    std::unique_ptr<T> Put(int index, std::unique_ptr<T> value) {
        std::unique_ptr<T>* slot = nullptr;
        if (index < kInline) {
            slot = &inline_[size_t(index)];
        } else {
            const size_t section = size_t(index) >> shift_;
            if (!value && (section >= sections_.size() || !sections_[section])) return nullptr;
            cacheIndex_ = -1;
            if (section >= sections_.size()) sections_.resize(section + 1);
            if (!sections_[section]) sections_[section] = std::make_unique<std::unique_ptr<T>[]>(mask_ + 1);
            slot = &sections_[section][size_t(index) & mask_];
        }
        std::unique_ptr<T> old = std::move(*slot);
        const bool stored = value != nullptr;
        *slot = std::move(value);
        if (stored) {
            if (index > highBound_) highBound_ = index;
        } else if (index == highBound_) {
            RecalcHighBound();
        }
        return old;
    }

    // The highest index holding something, -1 when empty.
    int HighBound() const { return highBound_; }

    // Calls f(index, item) for every filled slot in index order until f
    // answers non-zero; answers that value or 0.
    template <class F> int ForAll(F f) const {
        for (int i = 0; i < kInline; ++i)
            if (T* item = inline_[size_t(i)].get())
                if (const int r = f(i, *item)) return r;
        for (size_t s = 0; s < sections_.size(); ++s) {
            if (!sections_[s]) continue;
            for (size_t i = 0; i <= mask_; ++i) {
                const size_t index = (s << shift_) | i;
                if (index < size_t(kInline)) continue;
                if (T* item = sections_[s][i].get()) {
                    if (const int r = f(int(index), *item)) return r;
                }
            }
        }
        return 0;
    }

private:
    // The first slots live in the object itself: a short row (the common
    // case) costs no section and no directory.
    static constexpr int kInline = 16;

    void RecalcHighBound() {
        for (size_t s = sections_.size(); s-- > 0;) {
            if (!sections_[s]) continue;
            for (size_t i = mask_ + 1; i-- > 0;) {
                const size_t index = (s << shift_) | i;
                if (index >= size_t(kInline) && sections_[s][i]) {
                    highBound_ = int(index);
                    return;
                }
            }
        }
        for (int i = kInline; i-- > 0;) {
            if (inline_[size_t(i)]) {
                highBound_ = i;
                return;
            }
        }
        highBound_ = -1;
    }

    unsigned shift_;
    size_t mask_;
    std::unique_ptr<T> inline_[kInline];
    std::vector<std::unique_ptr<std::unique_ptr<T>[]>> sections_;
    int highBound_ = -1;
    mutable int cacheIndex_ = -1;
    mutable T* cacheValue_ = nullptr;
};

// A list over a sparse array: Count is one past the highest filled index.
template <class T> class TSparseList {
public:
    explicit TSparseList(TSPAQuantum quantum) : quantum_(quantum), list_(quantum) {}

    int Count() const { return list_.HighBound() + 1; }
    T* Get(int index) const {
        Check(index);
        return list_.Get(index);
    }
    std::unique_ptr<T> Put(int index, std::unique_ptr<T> value) {
        Check(index);
        return list_.Put(index, std::move(value));
    }
    std::unique_ptr<T> Take(int index) { return Put(index, nullptr); }
    // The entries from index up move one place up.
    void Insert(int index, std::unique_ptr<T> value) {
        Check(index);
        for (int i = Count() - 1; i >= index; --i) list_.Put(i + 1, list_.Put(i, nullptr));
        list_.Put(index, std::move(value));
    }
    // The entry goes; those above it move one place down.
    void Delete(int index) {
        Check(index);
        const int count = Count();
        list_.Put(index, nullptr);
        for (int i = index + 1; i < count; ++i) list_.Put(i - 1, list_.Put(i, nullptr));
    }
    void Exchange(int a, int b) {
        Check(a);
        Check(b);
        if (a == b) return;
        std::unique_ptr<T> first = list_.Put(a, nullptr);
        list_.Put(a, list_.Put(b, std::move(first)));
    }
    void Move(int from, int to) {
        Check(from);
        Check(to);
        if (from == to) return;
        std::unique_ptr<T> item = list_.Put(from, nullptr);
        const int count = std::max(Count(), from + 1);
        for (int i = from + 1; i < count; ++i) list_.Put(i - 1, list_.Put(i, nullptr));
        Insert(to, std::move(item));
    }
    void Clear() { list_ = TSparsePointerArray<T>(quantum_); }
    template <class F> int ForAll(F f) const { return list_.ForAll(f); }

private:
    static void Check(int index) {
        if (index < 0) throw EListError(Format(SListIndexError, index));
    }
    TSPAQuantum quantum_;
    TSparsePointerArray<T> list_;
};

} // namespace ax
