// The orderings the explorer sorts a folder's items with: sort keys compared
// as bytes, and the merge sort over packed IDs used when a folder gives no
// keys. Both against a plain stable sort of the same strings.
#include "../src/ExplorerTreeInternal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

using namespace ax;

namespace {

// What both must give: a stable sort, then the first of equal strings.
std::vector<uint32_t> Reference(const std::vector<std::string>& keys, bool descending) {
    std::vector<uint32_t> order(keys.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        return descending ? keys[a] > keys[b] : keys[a] < keys[b];
    });
    std::vector<uint32_t> kept;
    for (uint32_t i : order)
        if (kept.empty() || keys[kept.back()] != keys[i]) kept.push_back(i);
    return kept;
}

std::vector<std::string_view> Views(const std::vector<std::string>& keys) {
    return {keys.begin(), keys.end()};
}

// Names as a folder holds them: long shared beginnings, 0 bytes (as keys
// have between their parts), one the beginning of another, duplicates.
std::vector<std::string> Keys(uint32_t seed, size_t n) {
    std::mt19937 random(seed);
    const std::vector<std::string> stems{"", "IMG_", "IMG_00", "file000", std::string("a\0b", 3), "zzzzzzzzzzzz"};
    std::vector<std::string> keys;
    for (size_t i = 0; i < n; ++i) {
        std::string k = stems[random() % stems.size()];
        for (int len = int(random() % 14); len > 0; --len) k += char("\0\1a09Z~\xff"[random() % 8]);
        keys.push_back(k);
        if (random() % 10 == 0) keys.push_back(k); // listed twice
    }
    return keys;
}

TEST(ExplorerSort, KeysSortAsBytesStablyWithoutDuplicates) {
    for (uint32_t seed = 1; seed <= 20; ++seed)
        for (bool descending : {false, true}) {
            const std::vector<std::string> keys = Keys(seed, 1 + seed * 37);
            EXPECT_EQ(SortKeys(Views(keys), descending), Reference(keys, descending)) << "seed " << seed;
        }
    EXPECT_TRUE(SortKeys({}, false).empty());
    // Every key alike for its first 8 bytes after what all share.
    const std::vector<std::string> alike{"prefix12345678b", "prefix12345678", "prefix12345678a", "prefix1234567"};
    EXPECT_EQ(SortKeys(Views(alike), false), (std::vector<uint32_t>{3, 1, 2, 0}));
}

TEST(ExplorerSort, PackedMergeSortFollowsAnyOrder) {
    for (uint32_t seed = 1; seed <= 20; ++seed)
        for (bool descending : {false, true}) {
            const std::vector<std::string> keys = Keys(seed, 1 + seed * 41);
            const std::vector<uint32_t> order = PackedMergeSort(
                Views(keys),
                [&](std::string_view a, std::string_view b) { return descending ? a > b : a < b; },
                [](std::string_view a, std::string_view b) { return a == b; });
            EXPECT_EQ(order, Reference(keys, descending)) << "seed " << seed;
        }
    // An order that contradicts itself still gives every index once.
    const std::vector<std::string> keys = Keys(99, 500);
    std::mt19937 random(5);
    const std::vector<uint32_t> order = PackedMergeSort(
        Views(keys), [&](std::string_view, std::string_view) { return random() % 2 == 0; },
        [](std::string_view, std::string_view) { return false; });
    std::vector<uint32_t> sorted = order;
    std::sort(sorted.begin(), sorted.end());
    std::vector<uint32_t> all(keys.size());
    std::iota(all.begin(), all.end(), 0u);
    EXPECT_EQ(sorted, all);
}

} // namespace
