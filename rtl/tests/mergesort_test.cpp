// The merge sort the tree and the explorer sort with: stable, and within its
// buffers even when the comparison contradicts itself.
#include "rtl/mergesort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

using namespace ax;

namespace {

TEST(MergeSort, SortsStably) {
    // Pairs of (key, arrival); equal keys keep their arrival order.
    std::vector<std::pair<int, int>> v{{3, 0}, {1, 1}, {3, 2}, {2, 3}, {1, 4}, {3, 5}, {0, 6}};
    SafeMergeSort(v, [](const auto& a, const auto& b) { return a.first < b.first; });
    const std::vector<std::pair<int, int>> expected{{0, 6}, {1, 1}, {1, 4}, {2, 3}, {3, 0}, {3, 2}, {3, 5}};
    EXPECT_EQ(v, expected);

    std::vector<int> empty, one{7};
    SafeMergeSort(empty, [](int a, int b) { return a < b; });
    SafeMergeSort(one, [](int a, int b) { return a < b; });
    EXPECT_TRUE(empty.empty());
    EXPECT_EQ(one, std::vector<int>{7});
}

TEST(MergeSort, KeepsEveryItemWhateverTheComparisonAnswers) {
    // "Less" every time, both ways round: a sort that trusts the answer
    // could run past the range. Every item must come out once.
    std::vector<int> v{5, 4, 3, 2, 1, 0, 6, 7, 8};
    SafeMergeSort(v, [](int, int) { return true; });
    std::vector<int> sorted = v;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
}

} // namespace
