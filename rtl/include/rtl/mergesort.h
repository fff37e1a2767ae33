#pragma once
// A stable merge sort that stays within its buffers whatever the comparison
// answers: a folder's or a user's comparison need not be consistent, where
// std::sort and std::stable_sort may then read outside the range.
#include <algorithm>
#include <cstddef>
#include <vector>

namespace ax {

template <class T, class Less> void SafeMergeSort(std::vector<T>& v, Less less) {
    std::vector<T> tmp(v.size());
    for (size_t width = 1; width < v.size(); width *= 2) {
        for (size_t lo = 0; lo < v.size(); lo += 2 * width) {
            const size_t mid = std::min(lo + width, v.size()), hi = std::min(lo + 2 * width, v.size());
            size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi) tmp[k++] = less(v[j], v[i]) ? v[j++] : v[i++];
            while (i < mid) tmp[k++] = v[i++];
            while (j < hi) tmp[k++] = v[j++];
        }
        v.swap(tmp);
    }
}

} // namespace ax
