#include "FakePages.h"
#include "HeapChecker.h"
#include "memory/BlockHeap.h"

#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <random>
#include <utility>
#include <vector>

namespace ax::memory {
namespace {

using testing::CheckHeap;
using testing::FakePages;

constexpr std::size_t kMB = std::size_t{1} << 20;
constexpr std::size_t kClassicChunk = kMB + 65536;

// (payload offset from the chunk start, class) of every block of the chunk.
std::vector<std::pair<std::size_t, int>> Layout(std::uintptr_t chunk) {
    std::vector<std::pair<std::size_t, int>> out;
    const auto* c = reinterpret_cast<const ChunkHeader*>(chunk);
    std::uintptr_t pos = chunk + kChunkHeaderSize;
    while (pos < chunk + c->size - kHeaderSize) {
        out.emplace_back(pos + kHeaderSize - chunk, AsBlock(pos)->cls);
        pos += std::uintptr_t{1} << AsBlock(pos)->cls;
    }
    return out;
}

class BlockHeapTest : public ::testing::Test {
protected:
    FakePages pages;
    std::unique_ptr<TMemManager> heap = std::make_unique<TMemManager>(&pages);

    void ExpectSound() { EXPECT_EQ(CheckHeap(*heap), ""); }
    std::size_t Offset(const void* p) const {
        return reinterpret_cast<std::uintptr_t>(p) - pages.Base();
    }
};

TEST(SizeClassTest, SmallRequestsAndBoundaries) {
    EXPECT_EQ(SizeClass(0), 5);
    EXPECT_EQ(SizeClass(32), 5);
    EXPECT_EQ(SizeClass(33), 6);
    EXPECT_EQ(SizeClass(64), 6);
    EXPECT_EQ(SizeClass(65), 7);
    EXPECT_EQ(SizeClass(4096), 12);
    EXPECT_EQ(SizeClass(4097), 13);
    EXPECT_EQ(SizeClass(std::size_t{1} << 29), 29);
}

TEST_F(BlockHeapTest, RequestSizesPickTheSmallestFittingBlock) {
    const std::pair<std::size_t, int> cases[] = {{0, 5},     {1, 5},    {28, 5},  {29, 6},
                                                 {60, 6},    {61, 7},   {124, 7}, {125, 8},
                                                 {4092, 12}, {4093, 13}};
    for (auto [n, k] : cases) {
        void* p = heap->GetMem(n);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(HeaderOf(p)->cls, k) << "request " << n;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 32, 0u);
    }
    ExpectSound();
}

TEST_F(BlockHeapTest, HeaderBytesOfUsedBlocks) {
    // In a fresh chunk the 128-byte block follows the 64-byte one and the
    // 1 KB block follows the 512-byte one.
    auto* a = static_cast<std::uint8_t*>(heap->GetMem(100));
    EXPECT_EQ(Offset(a), 128u);
    const std::uint8_t expectA[] = {7, 1, 6, 104};
    EXPECT_EQ(std::memcmp(a - 4, expectA, 4), 0);

    // 1004 bytes with header in units of 8 bytes, rounded up: 126.
    auto* b = static_cast<std::uint8_t*>(heap->GetMem(1000));
    EXPECT_EQ(Offset(b), 1024u);
    const std::uint8_t expectB[] = {10, 1, 9, 126};
    EXPECT_EQ(std::memcmp(b - 4, expectB, 4), 0);
    EXPECT_EQ(UsedSize(HeaderOf(b)), 1008u);

    EXPECT_EQ(heap->FreeMem(a), 0);
    EXPECT_EQ(a[-3], 0) << "state byte after release";
    ExpectSound();
}

TEST_F(BlockHeapTest, FreshChunkOnAlignedAddress) {
    ASSERT_TRUE(heap->GetMoreMemory(0));
    ASSERT_EQ(heap->ChunkList(), pages.Base());
    const std::vector<std::pair<std::size_t, int>> expect = {
        {32, 5},      {64, 6},      {128, 7},     {256, 8},     {512, 9},    {1024, 10},
        {2048, 11},   {4096, 12},   {8192, 13},   {16384, 14},  {32768, 15}, {65536, 16},
        {131072, 19}, {655360, 18}, {917504, 17}, {1048576, 16}};
    EXPECT_EQ(Layout(pages.Base()), expect);
    EXPECT_EQ(reinterpret_cast<ChunkHeader*>(pages.Base())->size, kClassicChunk);
    EXPECT_EQ(heap->Count(16), 2);
    EXPECT_EQ(heap->Count(19), 1);
    EXPECT_EQ(heap->Count(20), 0);
    const auto* sentinel = AsBlock(pages.Base() + kClassicChunk - 4);
    EXPECT_EQ(sentinel->state, kChunkEnd);
    EXPECT_EQ(sentinel->prevCls, 16);
    ExpectSound();
}

TEST_F(BlockHeapTest, FreshChunkOnPageAlignedAddress) {
    // A chunk that starts 4 KB past a 16 MB boundary: blocks follow the
    // alignment of their payload address.
    pages.PlaceNextAt(4096);
    ASSERT_TRUE(heap->GetMoreMemory(0));
    const std::uintptr_t chunk = pages.Base() + 4096;
    const std::vector<std::pair<std::size_t, int>> expect = {
        {32, 5},      {64, 6},      {128, 7},      {256, 8},     {512, 9},    {1024, 10},
        {2048, 11},   {4096, 13},   {12288, 14},   {28672, 15},  {61440, 16}, {126976, 19},
        {651264, 18}, {913408, 17}, {1044480, 16}, {1110016, 12}};
    EXPECT_EQ(Layout(chunk), expect);
    ExpectSound();
}

TEST_F(BlockHeapTest, SplittingA4KBlockForASmallRequest) {
    ASSERT_TRUE(heap->GetMoreMemory(0));
    // Use up the single blocks of 32 bytes to 2 KB the carve made.
    for (std::size_t n = 28; n <= 2044; n = n * 2 + 4)
        ASSERT_NE(heap->GetMem(n), nullptr);
    for (int k = 5; k <= 11; ++k)
        ASSERT_EQ(heap->Count(k), 0);
    void* p = heap->GetMem(1);
    EXPECT_EQ(Offset(p), 4096u) << "the 4 KB block's first 32 bytes";
    for (int k = 5; k <= 11; ++k)
        EXPECT_EQ(heap->Count(k), 1) << "class " << k;
    EXPECT_EQ(heap->Count(12), 0);
    // The pieces follow each other: 32, 32 (free), 64, 128, ... 2048.
    EXPECT_EQ(heap->Class(5).head, pages.Base() + 4096 + 32 - 4);
    EXPECT_EQ(heap->Class(11).head, pages.Base() + 4096 + 2048 - 4);
    EXPECT_EQ(AsBlock(pages.Base() + 8192 - 4)->prevCls, 11) << "the 8 KB block after the split";
    ExpectSound();
}

TEST_F(BlockHeapTest, ProvideBlocksSplitsOneBlockIntoAPowerOfTwo) {
    ASSERT_TRUE(heap->GetMoreMemory(0));
    ASSERT_EQ(heap->Count(5), 1);
    // 49 missing: one 2 KB block becomes 64 blocks of 32 bytes.
    std::int32_t n = 50;
    heap->ProvideBlocks(5, n);
    EXPECT_EQ(n, 50);
    EXPECT_EQ(heap->Count(5), 65);
    EXPECT_EQ(heap->Count(11), 0);
    EXPECT_EQ(heap->Class(5).splitBatch, 1);
    ExpectSound();

    // One missing: a block of the next class, split in two.
    std::int32_t m = heap->Count(8) + 1;
    heap->ProvideBlocks(8, m);
    EXPECT_EQ(heap->Count(8), m + 1);
    ExpectSound();

    // Enough already: nothing changes.
    std::int32_t few = 3;
    heap->ProvideBlocks(5, few);
    EXPECT_EQ(heap->Count(5), 65);
}

TEST_F(BlockHeapTest, ReallocInPlaceAndMoving) {
    auto* p = static_cast<std::uint8_t*>(heap->GetMem(10));
    for (int i = 0; i < 10; ++i)
        p[i] = static_cast<std::uint8_t>(i + 1);
    EXPECT_EQ(heap->ReallocMem(p, 3), p) << "shrinking stays";
    EXPECT_EQ(HeaderOf(p)->used, 8);
    EXPECT_EQ(heap->ReallocMem(p, 24), p) << "growing within the block stays";
    EXPECT_EQ(HeaderOf(p)->used, 28);
    for (int i = 10; i < 24; ++i)
        p[i] = static_cast<std::uint8_t>(i + 1);
    auto* q = static_cast<std::uint8_t*>(heap->ReallocMem(p, 200));
    ASSERT_NE(q, nullptr);
    EXPECT_NE(q, p);
    EXPECT_EQ(HeaderOf(q)->cls, 8);
    for (int i = 0; i < 24; ++i)
        EXPECT_EQ(q[i], i + 1);
    EXPECT_EQ(HeaderOf(p)->state, kFree);
    EXPECT_EQ(heap->ReallocMem(p, 10), nullptr) << "a released block is not resized";
    ExpectSound();
}

TEST_F(BlockHeapTest, ReleaseTwiceAndForeignPointers) {
    void* p = heap->GetMem(40);
    const int k = HeaderOf(p)->cls;
    EXPECT_EQ(heap->FreeMem(p), 0);
    const std::int32_t before = heap->Count(k);
    EXPECT_EQ(heap->FreeMem(p), -2);
    EXPECT_EQ(heap->Count(k), before);
    int local = 0;
    EXPECT_EQ(heap->FreeMem(&local), -1);
    void* r = heap->GetMem(100);
    EXPECT_EQ(heap->FreeMem(static_cast<char*>(r) + 8), -2) << "inside a block";
    EXPECT_EQ(heap->FreeMem(r), 0);
    ExpectSound();
}

TEST_F(BlockHeapTest, LargeRequestsGetAChunkThatHoldsThem) {
    void* a = heap->GetMem(kMB - 4);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(HeaderOf(a)->cls, 20);
    void* b = heap->GetMem(kMB);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(HeaderOf(b)->cls, 21);
    void* c = heap->GetMem(600 * 1024);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(HeaderOf(c)->cls, 20);
    EXPECT_EQ(heap->GetMem(kMaxRequest + 1), nullptr);
    std::memset(b, 0x5a, kMB);
    ExpectSound();
}

TEST_F(BlockHeapTest, ExhaustedPagesGiveNullInsteadOfHanging) {
    pages.FailAfter(0);
    EXPECT_EQ(heap->GetMem(10), nullptr);
    EXPECT_EQ(heap->GetMem(kMB * 3), nullptr);
    pages.FailAfter(1);
    EXPECT_NE(heap->GetMem(10), nullptr);
    EXPECT_EQ(heap->GetMem(kMB * 3), nullptr);
    ExpectSound();
}

TEST_F(BlockHeapTest, ChunkMergedWithBothNeighboursLeavesOneEntry) {
    // Chunks of 1 MB + 128 KB at offsets 0, 2x and then 1x in between.
    const std::size_t size = TMemManager::ChunkSizeFor(20);
    ASSERT_EQ(size, kMB + 131072);
    pages.PlaceNextAt(0);
    pages.PlaceNextAt(2 * size);
    pages.PlaceNextAt(size);
    void* a = heap->GetMem(kMB - 4);
    void* c = heap->GetMem(kMB - 4);
    ASSERT_EQ(Offset(a), 131072u);
    ASSERT_EQ(Offset(c), 2 * size + 131072);
    ExpectSound();
    void* b = heap->GetMem(kMB - 4);
    ASSERT_NE(b, nullptr);
    // The new chunk's free space starts at the first chunk's end sentinel.
    EXPECT_EQ(Offset(b), size);
    EXPECT_EQ(HeaderOf(b)->prevCls, 20);
    const auto* head = reinterpret_cast<const ChunkHeader*>(heap->ChunkList());
    EXPECT_EQ(heap->ChunkList(), pages.Base());
    EXPECT_EQ(head->size, 3 * size);
    EXPECT_EQ(head->next, kEndOfList);
    ExpectSound();

    // A further chunk, not adjacent, is a second entry.
    pages.PlaceNextAt(8 * size);
    ASSERT_NE(heap->GetMem(kMB - 4), nullptr);
    EXPECT_EQ(head->next, pages.Base() + 8 * size);
    ExpectSound();
}

TEST_F(BlockHeapTest, ChunkMergedWithItsSuccessorOnly) {
    const std::size_t size = TMemManager::ChunkSizeFor(20);
    pages.PlaceNextAt(4 * size);
    pages.PlaceNextAt(3 * size);
    ASSERT_NE(heap->GetMem(kMB - 4), nullptr);
    ASSERT_NE(heap->GetMem(kMB - 4), nullptr);
    EXPECT_EQ(heap->ChunkList(), pages.Base() + 3 * size);
    EXPECT_EQ(reinterpret_cast<const ChunkHeader*>(heap->ChunkList())->size, 2 * size);
    ExpectSound();
}

TEST_F(BlockHeapTest, ReleasesEveryChunk) {
    for (int i = 0; i < 3; ++i)
        ASSERT_NE(heap->GetMem(3 * kMB), nullptr);
    // Neighbouring chunks may have merged; every byte goes back all the same.
    const std::size_t mapped = pages.MappedBytes();
    heap.reset();
    EXPECT_EQ(pages.UnmappedBytes(), mapped);
    EXPECT_GE(pages.Unmaps(), 1);
}

// Random allocation, release and resizing with the invariants checked after
// every step and every block's contents verified.
TEST_F(BlockHeapTest, RandomOperationsKeepTheHeapSound) {
    for (unsigned seed : {1u, 2u, 3u}) {
        heap = std::make_unique<TMemManager>(&pages);
        std::mt19937 rng(seed);
        std::map<std::uint8_t*, std::pair<std::size_t, std::uint8_t>> live;
        auto size = [&] {
            const unsigned r = rng() % 100;
            if (r < 70) return static_cast<std::size_t>(rng() % 200);
            if (r < 95) return static_cast<std::size_t>(rng() % 8192);
            return static_cast<std::size_t>(rng() % (3 * kMB));
        };
        auto fill = [](std::uint8_t* p, std::size_t n, std::uint8_t tag) {
            for (std::size_t i = 0; i < n; ++i)
                p[i] = static_cast<std::uint8_t>(tag + i);
        };
        auto verify = [](const std::uint8_t* p, std::size_t n, std::uint8_t tag) {
            for (std::size_t i = 0; i < n; ++i)
                if (p[i] != static_cast<std::uint8_t>(tag + i)) return false;
            return true;
        };
        for (int step = 0; step < 1500; ++step) {
            const unsigned op = rng() % 10;
            if (op < 5 || live.empty()) {
                const std::size_t n = size();
                auto* p = static_cast<std::uint8_t*>(heap->GetMem(n));
                ASSERT_NE(p, nullptr);
                ASSERT_FALSE(live.contains(p));
                const auto tag = static_cast<std::uint8_t>(rng());
                fill(p, n, tag);
                live[p] = {n, tag};
            } else {
                auto it = std::next(live.begin(), static_cast<long>(rng() % live.size()));
                auto [p, info] = *it;
                ASSERT_TRUE(verify(p, info.first, info.second)) << "step " << step;
                live.erase(it);
                if (op < 8) {
                    ASSERT_EQ(heap->FreeMem(p), 0);
                } else {
                    const std::size_t n = size();
                    auto* q = static_cast<std::uint8_t*>(heap->ReallocMem(p, n));
                    ASSERT_NE(q, nullptr);
                    ASSERT_TRUE(verify(q, std::min(n, info.first), info.second)) << "step " << step;
                    fill(q, n, info.second);
                    live[q] = {n, info.second};
                }
            }
            const std::string fault = CheckHeap(*heap);
            ASSERT_EQ(fault, "") << "seed " << seed << " step " << step;
        }
    }
}

} // namespace
} // namespace ax::memory
