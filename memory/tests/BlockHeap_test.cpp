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
    // The state byte of a used block is 0x40 plus its class.
    const std::uint8_t expectA[] = {7, 0x47, 6, 104};
    EXPECT_EQ(std::memcmp(a - 4, expectA, 4), 0);

    // 1004 bytes with header in units of 8 bytes, rounded up: 126.
    auto* b = static_cast<std::uint8_t*>(heap->GetMem(1000));
    EXPECT_EQ(Offset(b), 1024u);
    const std::uint8_t expectB[] = {10, 0x4a, 9, 126};
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

// Cutting many pieces of a page or less from a large block brings the
// block's pages in with one call; small splits and larger pieces do not.
TEST_F(BlockHeapTest, ProvideBlocksPopulatesLargeSplitsIntoSmallPieces) {
    ASSERT_TRUE(heap->GetMoreMemory(0));
    std::int32_t few = heap->Count(5) + 49; // a 2 KB block: too small
    heap->ProvideBlocks(5, few);
    EXPECT_TRUE(pages.Populated().empty());

    // 1000 blocks of 128 bytes: one 128 KB block cut in 1024.
    std::int32_t n = heap->Count(7) + 1000;
    heap->ProvideBlocks(7, n);
    ASSERT_EQ(pages.Populated().size(), 1u);
    const auto [from, size] = pages.Populated()[0];
    EXPECT_EQ(from % 4096, 0u);
    EXPECT_EQ(size % 4096, 0u);
    // The block's pages, less the partial ones at either end.
    EXPECT_GE(size, std::size_t{128 - 4} << 10);
    EXPECT_LE(size, std::size_t{128} << 10);
    // It holds the new pieces, all but those of the partial end pages.
    int inside = 0;
    for (std::uintptr_t b = heap->Class(7).head; b != kEndOfList; b = NextFree(AsBlock(b)))
        if (b >= from && b < from + size) ++inside;
    EXPECT_GE(inside, 1024 - 2 * 32);

    // Pieces of 8 KB touch one page in two: nothing is populated for them.
    std::int32_t big = heap->Count(13) + 20;
    heap->ProvideBlocks(13, big);
    EXPECT_EQ(pages.Populated().size(), 1u);
    ExpectSound();
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

TEST_F(BlockHeapTest, TouchingChunksStaySeparate) {
    // A chunk placed right behind another and one right before it: each keeps
    // its own header and sentinel, so that each can go back on its own.
    const std::size_t size = TMemManager::ChunkSizeFor(20);
    ASSERT_EQ(size, kMB + 131072);
    pages.PlaceNextAt(size);
    pages.PlaceNextAt(2 * size);
    pages.PlaceNextAt(0);
    void* a = heap->GetMem(kMB - 4);
    void* b = heap->GetMem(kMB - 4);
    void* c = heap->GetMem(kMB - 4);
    EXPECT_EQ(Offset(a), size + 131072);
    EXPECT_EQ(Offset(b), 2 * size + 131072);
    EXPECT_EQ(Offset(c), 131072u);
    int chunks = 0;
    for (std::uintptr_t at = heap->ChunkList(); at != kEndOfList;
         at = reinterpret_cast<const ChunkHeader*>(at)->next) {
        EXPECT_EQ(reinterpret_cast<const ChunkHeader*>(at)->size, size);
        ++chunks;
    }
    EXPECT_EQ(chunks, 3);
    EXPECT_EQ(heap->Chunks().ChunkOf(a), pages.Base() + size);
    EXPECT_EQ(heap->Chunks().ChunkOf(static_cast<char*>(c) + kMB - 8), pages.Base());
    ExpectSound();
}

TEST_F(BlockHeapTest, ReleasesEveryChunk) {
    for (int i = 0; i < 3; ++i)
        ASSERT_NE(heap->GetMem(3 * kMB), nullptr);
    const std::size_t mapped = pages.MappedBytes();
    heap.reset();
    EXPECT_EQ(pages.UnmappedBytes(), mapped);
    EXPECT_GE(pages.Unmaps(), 1);
}

// ---------------------------------------------------------------- giving back

// Blocks of one chunk, all in use: the chunk's carve taken whole.
std::vector<void*> FillOneChunk(TMemManager& heap) {
    std::vector<void*> blocks;
    // The classic carve: one block each of 32 B to 64 KB, then 512, 256, 128
    // and 64 KB.
    for (int k = 5; k <= 16; ++k)
        blocks.push_back(heap.GetMem((std::size_t{1} << k) - 4));
    for (int k : {19, 18, 17, 16})
        blocks.push_back(heap.GetMem((std::size_t{1} << k) - 4));
    return blocks;
}

TEST_F(BlockHeapTest, TrimGivesBackWhollyFreeChunksBeyondTheReserve) {
    std::vector<std::vector<void*>> chunks;
    for (int i = 0; i < 3; ++i)
        chunks.push_back(FillOneChunk(*heap));
    ASSERT_EQ(pages.Maps(), 3);
    for (int k = 5; k <= 29; ++k)
        ASSERT_EQ(heap->Count(k), 0) << "every block in use, class " << k;
    // Two chunks become wholly free, the third keeps one 32-byte block.
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = i == 2 ? 1 : 0; j < chunks[i].size(); ++j)
            ASSERT_EQ(heap->FreeMem(chunks[i][j]), 0);
    ExpectSound();

    // A reserve of one chunk: one of the two goes back, all but its first page.
    const std::size_t chunk = kClassicChunk;
    heap->Trim(chunk);
    ExpectSound();
    EXPECT_NE(heap->ReleasedList(), kEndOfList);
    const auto* released = reinterpret_cast<const ChunkHeader*>(heap->ReleasedList());
    EXPECT_EQ(released->next, kEndOfList) << "only one chunk went back";
    EXPECT_GE(pages.ReleasedBytes(), chunk - 4096);
    EXPECT_EQ(pages.Unmaps(), 0) << "the address range stays ours";
    int carved = 0;
    for (std::uintptr_t at = heap->ChunkList(); at != kEndOfList;
         at = reinterpret_cast<const ChunkHeader*>(at)->next)
        ++carved;
    EXPECT_EQ(carved, 2);
    // One 512 KB block in the kept free chunk and the 512 KB block of the
    // chunk still in use.
    EXPECT_EQ(heap->Count(19), 2);

    // A second release of a block of the chunk that went back is still told
    // apart from a pointer that was never ours.
    const std::uintptr_t gone = Addr(released);
    for (std::size_t i = 0; i < 2; ++i) {
        if (heap->Chunks().ChunkOf(chunks[i][0]) == gone) {
            EXPECT_EQ(heap->FreeMem(chunks[i][0]), -2);
            EXPECT_EQ(heap->FreeMem(chunks[i][15]), -2);
        }
    }

    // No reserve: the other wholly free chunk goes too; the chunk in use stays.
    heap->Trim(0);
    ExpectSound();
    carved = 0;
    for (std::uintptr_t at = heap->ChunkList(); at != kEndOfList;
         at = reinterpret_cast<const ChunkHeader*>(at)->next)
        ++carved;
    EXPECT_EQ(carved, 1);
    EXPECT_EQ(heap->Chunks().ChunkOf(chunks[2][0]), heap->ChunkList());

    // Memory needed again is carved from a chunk that went back, whatever
    // class it held before.
    const int maps = pages.Maps();
    std::vector<void*> again;
    for (int i = 0; i < 200; ++i)
        again.push_back(heap->GetMem(3000));
    EXPECT_EQ(pages.Maps(), maps);
    ExpectSound();
}

TEST_F(BlockHeapTest, TrimGivesBackTheInnerPagesOfLargeFreeBlocks) {
    std::vector<void*> blocks = FillOneChunk(*heap);
    // The 512 KB block: written all over, then released while the 32-byte
    // block keeps the chunk in use.
    auto* big = static_cast<unsigned char*>(blocks[12]);
    ASSERT_EQ(HeaderOf(big)->cls, 19);
    std::memset(big, 0xab, (std::size_t{1} << 19) - 4);
    ASSERT_EQ(heap->FreeMem(big), 0);
    // The 16 KB block is below the release class and keeps its pages.
    ASSERT_EQ(heap->FreeMem(blocks[9]), 0);
    heap->Trim(0);
    ExpectSound();
    // Inner pages: from the page after the first to the page before the
    // next block's header.
    EXPECT_EQ(pages.ReleasedBytes(), (std::size_t{1} << 19) - 2 * 4096);
    EXPECT_EQ(HeaderOf(big)->used, kPagesReleased);
    EXPECT_EQ(big[4096], 0);
    EXPECT_EQ(big[100], 0xab) << "the first page keeps its contents";
    // A second trim leaves it alone.
    heap->Trim(0);
    EXPECT_EQ(pages.ReleasedBytes(), (std::size_t{1} << 19) - 2 * 4096);

    // calloc of it reads zero all through, the kept first and last pages too.
    auto* again = static_cast<unsigned char*>(heap->GetZeroedMem((std::size_t{1} << 19) - 4));
    ASSERT_EQ(again, big);
    for (std::size_t i = 0; i < (std::size_t{1} << 19) - 4; ++i)
        ASSERT_EQ(again[i], 0) << i;
    ExpectSound();
}

TEST_F(BlockHeapTest, ALargeBlocksChunkGoesBackOnlyIfItsPagesWereUsed) {
    constexpr std::size_t kSize = 3 * kMB;
    auto* used = static_cast<unsigned char*>(heap->GetMem(kSize));
    ASSERT_EQ(HeaderOf(used)->cls, 22);
    std::memset(used, 0x11, kSize);
    ASSERT_EQ(heap->FreeMem(used), 0);
    heap->Trim(0);
    ASSERT_NE(heap->ReleasedList(), kEndOfList) << "written all over: it goes back";
    const std::size_t released = pages.ReleasedBytes();
    EXPECT_GE(released, kSize);
    ExpectSound();

    // The same chunk, carved afresh; this time its user writes one byte.
    const int maps = pages.Maps();
    auto* touched = static_cast<unsigned char*>(heap->GetMem(kSize));
    EXPECT_EQ(pages.Maps(), maps);
    EXPECT_EQ(heap->ReleasedList(), kEndOfList);
    touched[0] = 1;
    ASSERT_EQ(heap->FreeMem(touched), 0);
    heap->Trim(0);
    EXPECT_EQ(heap->ReleasedList(), kEndOfList) << "barely touched: it stays";
    EXPECT_EQ(pages.ReleasedBytes(), released);
    EXPECT_EQ(HeaderOf(touched)->used, kSparse);
    ExpectSound();
}

TEST_F(BlockHeapTest, ZeroedBlocksFromFreshReusedAndSplitMemory) {
    // Fresh: only the list words may be written.
    auto* fresh = static_cast<unsigned char*>(heap->GetZeroedMem(5000));
    ASSERT_NE(fresh, nullptr);
    for (std::size_t i = 0; i < 5000; ++i)
        ASSERT_EQ(fresh[i], 0);
    // Reused: written by its user, then released.
    std::memset(fresh, 0x77, 5000);
    ASSERT_EQ(heap->FreeMem(fresh), 0);
    auto* reused = static_cast<unsigned char*>(heap->GetZeroedMem(5000));
    ASSERT_EQ(reused, fresh);
    for (std::size_t i = 0; i < 5000; ++i)
        ASSERT_EQ(reused[i], 0);
    // A dirty block split for a smaller request gives dirty pieces.
    std::memset(reused, 0x55, 8188);
    ASSERT_EQ(heap->FreeMem(reused), 0);
    for (int i = 0; i < 64; ++i) {
        auto* piece = static_cast<unsigned char*>(heap->GetZeroedMem(100));
        ASSERT_NE(piece, nullptr);
        for (std::size_t j = 0; j < 100; ++j)
            ASSERT_EQ(piece[j], 0);
        std::memset(piece, 0x33, 100);
    }
    ExpectSound();
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
            if (step % 300 == 299) heap->Trim(step % 600 == 299 ? 0 : kClassicChunk);
            const std::string fault = CheckHeap(*heap);
            ASSERT_EQ(fault, "") << "seed " << seed << " step " << step;
        }
    }
}

} // namespace
} // namespace ax::memory
