#pragma once
// Helpers shared by the explorer tree's source files.
#include "platform/shellns/shellapi.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace ax {

// Explorer misuse: an assertion failure naming the unit.
void ExplorerAssert(bool condition, const char* text);

// The sign of a folder's CompareIDs, read from the low 8 bits of its
// result as the node storage reads it; 0 when the folder cannot compare.
inline int CompareIDsSign(IShellFolder& folder, PCItemIDList a, PCItemIDList b) {
    const HRESULT hr = folder.CompareIDs(0, a, b);
    if (FAILED(hr)) return 0;
    return static_cast<int8_t>(static_cast<uint8_t>(hr & 0xFF));
}

// A stable merge sort that stays within its buffers whatever the order
// answers (a folder's comparison need not be consistent).
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
