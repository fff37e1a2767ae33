#pragma once
// Helpers shared by the explorer tree's source files.
#include "platform/shellns/shellapi.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
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

// Sorts byte strings stably by less and answers their indexes in order,
// leaving out one equal to the one kept before it. A merge sort over one
// packed copy of the strings: every pass reads and writes memory in
// sequence, where sorting pointers to them would read all over memory at
// each comparison.
template <class Less, class Equal>
std::vector<uint32_t> PackedMergeSort(const std::vector<std::string_view>& items, Less less, Equal equal) {
    // A record: the index, the string's size (4 bytes each), the string.
    constexpr size_t kHead = 8;
    auto recordSize = [](const uint8_t* record) {
        uint32_t size;
        std::memcpy(&size, record + 4, 4);
        return kHead + size;
    };
    auto text = [](const uint8_t* record) {
        uint32_t size;
        std::memcpy(&size, record + 4, 4);
        return std::string_view(reinterpret_cast<const char*>(record + kHead), size);
    };
    size_t total = 0;
    for (std::string_view item : items) total += kHead + item.size();
    std::vector<uint8_t> from(total), to(total);
    std::vector<size_t> runs; // where each sorted run starts
    runs.reserve(items.size());
    size_t at = 0;
    for (uint32_t i = 0; i < items.size(); ++i) {
        const uint32_t size = uint32_t(items[i].size());
        runs.push_back(at);
        std::memcpy(&from[at], &i, 4);
        std::memcpy(&from[at + 4], &size, 4);
        std::memcpy(&from[at + kHead], items[i].data(), size);
        at += kHead + size;
    }
    while (runs.size() > 1) {
        std::vector<size_t> merged;
        merged.reserve(runs.size() / 2 + 1);
        size_t out = 0;
        auto copy = [&](size_t& position) {
            const size_t n = recordSize(&from[position]);
            std::memcpy(&to[out], &from[position], n);
            out += n;
            position += n;
        };
        for (size_t r = 0; r < runs.size(); r += 2) {
            merged.push_back(out);
            size_t i = runs[r], j = r + 1 < runs.size() ? runs[r + 1] : total;
            const size_t leftEnd = j, rightEnd = r + 2 < runs.size() ? runs[r + 2] : total;
            while (i < leftEnd && j < rightEnd) copy(less(text(&from[j]), text(&from[i])) ? j : i);
            while (i < leftEnd) copy(i);
            while (j < rightEnd) copy(j);
        }
        from.swap(to);
        runs.swap(merged);
    }
    std::vector<uint32_t> order;
    order.reserve(items.size());
    const uint8_t* kept = nullptr;
    for (size_t p = 0; p < total; p += recordSize(&from[p])) {
        if (kept && equal(text(kept), text(&from[p]))) continue;
        uint32_t index;
        std::memcpy(&index, &from[p], 4);
        order.push_back(index);
        kept = &from[p];
    }
    return order;
}

// Sorts byte strings (compared byte by byte, the shorter first where one
// begins the other) and answers their indexes in order, equal strings in
// their first order, leaving out a string equal to the one before it.
// Strings of one folder share long beginnings ("IMG_0001.jpg",
// "IMG_0002.jpg"): the beginning all share is passed over, the 8 bytes
// after it become one number, and those numbers are sorted; only strings
// whose numbers tie are compared further.
inline std::vector<uint32_t> SortKeys(const std::vector<std::string_view>& keys, bool descending) {
    std::vector<uint32_t> order;
    if (keys.empty()) return order;
    size_t shared = keys[0].size();
    for (std::string_view k : keys) {
        size_t n = 0;
        while (n < shared && n < k.size() && k[n] == keys[0][n]) ++n;
        shared = n;
    }
    struct Entry {
        uint64_t chunk;
        uint32_t index;
    };
    std::vector<Entry> entries(keys.size());
    for (uint32_t i = 0; i < keys.size(); ++i) {
        uint64_t chunk = 0;
        for (size_t b = 0; b < 8; ++b) {
            const size_t at = shared + b;
            chunk = (chunk << 8) | (at < keys[i].size() ? uint8_t(keys[i][at]) : 0);
        }
        entries[i] = {chunk, i};
    }
    std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        if (a.chunk != b.chunk) return descending ? a.chunk > b.chunk : a.chunk < b.chunk;
        return a.index < b.index;
    });
    // Ties (and strings padded out to the same number) by the whole rest.
    const size_t rest = shared + 8;
    for (size_t i = 0; i < entries.size();) {
        size_t j = i + 1;
        while (j < entries.size() && entries[j].chunk == entries[i].chunk) ++j;
        if (j - i > 1)
            std::sort(entries.begin() + long(i), entries.begin() + long(j), [&](const Entry& a, const Entry& b) {
                const std::string_view ka = keys[a.index], kb = keys[b.index];
                const int c = ka.size() < rest || kb.size() < rest
                                  ? ka.compare(kb)
                                  : ka.substr(rest).compare(kb.substr(rest));
                if (c != 0) return descending ? c > 0 : c < 0;
                return a.index < b.index;
            });
        i = j;
    }
    order.reserve(keys.size());
    // Strings whose numbers differ differ: only ties are compared, which
    // spares a look at each string, scattered in memory.
    for (size_t i = 0; i < entries.size(); ++i)
        if (i == 0 || entries[i].chunk != entries[i - 1].chunk ||
            keys[entries[i].index] != keys[entries[i - 1].index])
            order.push_back(entries[i].index);
    return order;
}

} // namespace ax
