#include "FakePages.h"
#include "HeapChecker.h"
#include "memory/ThreadHeaps.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <malloc.h>
#include <memory>
#include <random>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace ax::memory {
namespace {

using testing::CheckHeap;
using testing::FakePages;

// The previous manager: the C library of the test process, with every call
// counted.
struct PreviousCalls {
    int allocate = 0, release = 0, resize = 0, aligned = 0, usable = 0;
    std::size_t usableAnswer = 0; // 0: ask the C library
};
PreviousCalls g_prev;

PreviousManager CountingPrevious() {
    return PreviousManager{[](std::size_t n) {
                               ++g_prev.allocate;
                               return std::malloc(n);
                           },
                           [](void* p) {
                               ++g_prev.release;
                               std::free(p);
                           },
                           [](void* p, std::size_t n) {
                               ++g_prev.resize;
                               return std::realloc(p, n);
                           },
                           [](std::size_t a, std::size_t n) {
                               ++g_prev.aligned;
                               return memalign(a, n);
                           },
                           [](void* p) {
                               ++g_prev.usable;
                               return g_prev.usableAnswer != 0 ? g_prev.usableAnswer
                                                               : malloc_usable_size(p);
                           }};
}

class ThreadHeapsTest : public ::testing::Test {
protected:
    void SetUp() override { g_prev = {}; }

    FakePages pages;
    char singleThreaded = 0;
    std::unique_ptr<TMainMemManager> main = std::make_unique<TMainMemManager>(
        &pages, MainOptions{CountingPrevious(), &singleThreaded, false, nullptr});

    void ExpectSound() { EXPECT_EQ(CheckHeap(*main), ""); }
};

TEST_F(ThreadHeapsTest, SingleThreadedProcessUsesTheMainPoolOnly) {
    singleThreaded = 1;
    ThreadContext t;
    void* p = main->MultiGetMem(t, 10);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(t.pool, nullptr);
    EXPECT_EQ(main->PoolCount(), 0u);
    EXPECT_EQ(main->Classify(p), Ownership::Used);
    main->MultiFreeMem(t, p);
    EXPECT_EQ(main->PoolCount(), 0u);
    ExpectSound();
}

TEST_F(ThreadHeapsTest, FirstAllocationFetchesLowBlocksOfEveryClass) {
    ThreadContext t;
    void* p = main->MultiGetMem(t, 10);
    ASSERT_NE(p, nullptr);
    ASSERT_NE(t.pool, nullptr);
    EXPECT_EQ(t.slot, 1u);
    EXPECT_EQ(main->PoolCount(), 1u);
    const std::int32_t expect[] = {49, 50, 50, 20, 20, 10, 10, 5, 5, 2, 2, 1, 1};
    for (int k = 5; k <= 17; ++k)
        EXPECT_EQ(t.pool->Count(k), expect[k - 5]) << "class " << k;
    for (int k = 18; k <= 29; ++k)
        EXPECT_EQ(t.pool->Count(k), 0) << "class " << k;
    ExpectSound();
}

TEST_F(ThreadHeapsTest, PoolOverHighHandsItsSurplusBack) {
    ThreadContext producer, consumer;
    std::vector<void*> blocks;
    for (int i = 0; i < 401; ++i)
        blocks.push_back(main->MultiGetMem(producer, 20));
    // The consumer's pool is created by its first release and starts empty.
    for (int i = 0; i < 400; ++i)
        main->MultiFreeMem(consumer, blocks[static_cast<std::size_t>(i)]);
    ASSERT_NE(consumer.pool, nullptr);
    EXPECT_EQ(consumer.pool->Count(5), 400);
    EXPECT_EQ(consumer.pool->Count(6), 0);
    const std::int32_t mainBefore = main->Count(5);
    main->MultiFreeMem(consumer, blocks[400]);
    EXPECT_EQ(consumer.pool->Count(5), 200);
    EXPECT_EQ(main->Count(5), mainBefore + 201);
    // The same exchange topped up every class below its Low.
    const std::int32_t low[] = {50, 50, 20, 20, 10, 10, 5, 5, 2, 2, 1, 1};
    for (int k = 6; k <= 17; ++k)
        EXPECT_EQ(consumer.pool->Count(k), low[k - 6]) << "class " << k;
    ExpectSound();
}

TEST_F(ThreadHeapsTest, CrossThreadFreesReturnThroughTheFreeingPool) {
    constexpr int kBlocks = 5000;
    std::vector<std::uint32_t*> handed(kBlocks);
    std::thread producer([&] {
        ThreadContext t;
        for (int i = 0; i < kBlocks; ++i) {
            auto* p = static_cast<std::uint32_t*>(
                main->MultiGetMem(t, 16 + static_cast<std::size_t>(i % 300)));
            p[0] = static_cast<std::uint32_t>(i);
            handed[static_cast<std::size_t>(i)] = p;
        }
        main->ThreadExit(t);
    });
    producer.join();
    std::thread consumer([&] {
        ThreadContext t;
        for (int i = 0; i < kBlocks; ++i) {
            EXPECT_EQ(handed[static_cast<std::size_t>(i)][0], static_cast<std::uint32_t>(i));
            main->MultiFreeMem(t, handed[static_cast<std::size_t>(i)]);
        }
        main->ThreadExit(t);
    });
    consumer.join();
    EXPECT_EQ(main->PoolCount(), 1u) << "the consumer reused the producer's pool";
    ExpectSound();
    // After its exit step the pool keeps no more than Target of any class.
    // The step also asks for one 32-byte block, and the main pool delivers
    // whole runs, so up to one run of class 5 may come on top.
    for (int k = 5; k <= 29; ++k)
        EXPECT_LE(main->Pool(1)->Count(k),
                  main->Pool(1)->Class(k).target +
                      (k == 5 ? static_cast<std::int32_t>(TBlockManager::RunLength(5)) : 0))
            << k;
    EXPECT_EQ(g_prev.release, 0);
}

TEST_F(ThreadHeapsTest, NextThreadReusesTheExitedThreadsPool) {
    ThreadContext first;
    void* kept = main->MultiGetMem(first, 100);
    TThreadMemManager* pool = first.pool;
    main->ThreadExit(first);
    EXPECT_EQ(first.pool, nullptr);
    EXPECT_TRUE(first.retired);
    const std::int32_t left = pool->Count(5);

    ThreadContext second;
    void* p = main->MultiGetMem(second, 10);
    EXPECT_EQ(second.pool, pool);
    EXPECT_EQ(second.slot, 1u);
    EXPECT_EQ(main->PoolCount(), 1u);
    EXPECT_EQ(pool->Count(5), left - 1) << "served from the blocks left in the pool";
    main->MultiFreeMem(second, p);
    main->MultiFreeMem(second, kept);
    ExpectSound();
}

TEST_F(ThreadHeapsTest, RetiredThreadNeverTouchesItsOldPool) {
    ThreadContext first;
    main->MultiGetMem(first, 10);
    TThreadMemManager* pool = first.pool;
    main->ThreadExit(first);
    ThreadContext second;
    main->MultiGetMem(second, 10);
    ASSERT_EQ(second.pool, pool);

    std::int32_t counts[kClassCount];
    for (int k = 0; k < kClassCount; ++k)
        counts[k] = pool->Count(k);
    const std::size_t mainFree = main->FreeBytes();
    // The exited thread still allocates (a late destructor, say): the main
    // pool serves it.
    void* late = main->MultiGetMem(first, 10);
    ASSERT_NE(late, nullptr);
    EXPECT_EQ(first.pool, nullptr);
    EXPECT_EQ(main->FreeBytes(), mainFree - 32);
    main->MultiFreeMem(first, late);
    EXPECT_EQ(main->FreeBytes(), mainFree);
    for (int k = 0; k < kClassCount; ++k)
        EXPECT_EQ(pool->Count(k), counts[k]);
    EXPECT_EQ(main->PoolCount(), 1u);
    ExpectSound();
}

TEST_F(ThreadHeapsTest, PoolTableGrowsGeometrically) {
    std::vector<ThreadContext> threads(210);
    for (ThreadContext& t : threads)
        ASSERT_NE(main->MultiGetMem(t, 8), nullptr);
    EXPECT_EQ(main->PoolCount(), 210u);
    EXPECT_EQ(main->PoolCapacity(), 400u);
    for (std::uint32_t i = 1; i <= 210; ++i)
        EXPECT_EQ(main->Pool(i), threads[i - 1].pool);
    ExpectSound();
}

TEST_F(ThreadHeapsTest, ForeignBlocksGoToThePreviousManager) {
    ThreadContext t;
    void* foreign = std::malloc(100);
    main->MultiFreeMem(t, foreign);
    EXPECT_EQ(g_prev.release, 1);

    // Resizing a foreign block moves it into a block of ours.
    auto* old = static_cast<char*>(std::malloc(40));
    std::memcpy(old, "0123456789012345678901234567890123456789", 40);
    auto* moved = static_cast<char*>(main->MultiReallocMem(t, old, 1000));
    ASSERT_NE(moved, nullptr);
    EXPECT_EQ(main->Classify(moved), Ownership::Used);
    EXPECT_EQ(std::memcmp(moved, "0123456789012345678901234567890123456789", 40), 0);
    EXPECT_EQ(g_prev.release, 2);
    main->MultiFreeMem(t, moved);
    ExpectSound();
}

TEST_F(ThreadHeapsTest, ResizingAForeignBlockCopiesNoMoreThanItHolds) {
    // A foreign block of 16 bytes at the very end of readable memory.
    const long page = sysconf(_SC_PAGESIZE);
    auto* region =
        static_cast<char*>(mmap(nullptr, static_cast<std::size_t>(2 * page), PROT_READ | PROT_WRITE,
                                MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(region, MAP_FAILED);
    ASSERT_EQ(mprotect(region + page, static_cast<std::size_t>(page), PROT_NONE), 0);
    char* foreign = region + page - 16;
    std::memcpy(foreign, "abcdefghijklmnop", 16);
    g_prev.usableAnswer = 16;
    PreviousManager prev = CountingPrevious();
    prev.release = [](void*) { ++g_prev.release; };
    main = std::make_unique<TMainMemManager>(&pages,
                                             MainOptions{prev, &singleThreaded, false, nullptr});
    ThreadContext t;
    auto* q = static_cast<char*>(main->MultiReallocMem(t, foreign, 3000));
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(std::memcmp(q, "abcdefghijklmnop", 16), 0);
    EXPECT_EQ(g_prev.release, 1);
    munmap(region, static_cast<std::size_t>(2 * page));
}

TEST_F(ThreadHeapsTest, SecondReleaseIsIgnoredAndNeverPassedOn) {
    ThreadContext t;
    void* p = main->MultiGetMem(t, 50);
    main->MultiFreeMem(t, p);
    const std::int32_t count = t.pool->Count(HeaderOf(p)->cls);
    main->MultiFreeMem(t, p);
    EXPECT_EQ(t.pool->Count(HeaderOf(p)->cls), count);
    EXPECT_EQ(g_prev.release, 0);
    errno = 0;
    EXPECT_EQ(main->MultiReallocMem(t, p, 10), nullptr);
    EXPECT_EQ(errno, EINVAL);
    main->MultiFreeMem(t, nullptr);
    EXPECT_EQ(g_prev.release, 0);
    ExpectSound();
}

TEST_F(ThreadHeapsTest, ReallocOfNullAllocatesAndLargeRequestsGoToThePreviousManager) {
    ThreadContext t;
    void* p = main->MultiReallocMem(t, nullptr, 30);
    EXPECT_EQ(main->Classify(p), Ownership::Used);
    void* big = main->MultiGetMem(t, kMaxRequest + 1);
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(g_prev.allocate, 1);
    EXPECT_EQ(main->Classify(big), Ownership::Foreign);
    main->MultiFreeMem(t, big);
    EXPECT_EQ(g_prev.release, 1);
    ExpectSound();
}

TEST_F(ThreadHeapsTest, AlignedRequests) {
    ThreadContext t;
    for (std::size_t align : {64u, 256u, 4096u, 65536u, 131072u}) {
        for (std::size_t n : {1u, 100u, 70000u}) {
            void* p = main->MultiAlignedMem(t, align, n);
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % align, 0u) << align << " " << n;
            EXPECT_EQ(main->Classify(p), Ownership::Used);
            std::memset(p, 1, n);
        }
    }
    EXPECT_EQ(g_prev.aligned, 0);
    void* huge = main->MultiAlignedMem(t, 1 << 20, 10);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(huge) % (1 << 20), 0u);
    EXPECT_EQ(g_prev.aligned, 1);
    main->MultiFreeMem(t, huge);
    ExpectSound();
}

TEST_F(ThreadHeapsTest, UsableSizeMarksTheWholeBlockForLaterMoves) {
    ThreadContext t;
    auto* p = static_cast<std::uint8_t*>(main->MultiGetMem(t, 40));
    const std::size_t usable = main->UsableSize(p);
    EXPECT_EQ(usable, 60u);
    for (std::size_t i = 0; i < usable; ++i)
        p[i] = static_cast<std::uint8_t>(i);
    auto* q = static_cast<std::uint8_t*>(main->MultiReallocMem(t, p, 500));
    for (std::size_t i = 0; i < usable; ++i)
        ASSERT_EQ(q[i], i);
    EXPECT_EQ(main->UsableSize(nullptr), 0u);
    ExpectSound();
}

TEST_F(ThreadHeapsTest, OutOfPagesGivesNullWithEnomem) {
    pages.FailAfter(0);
    ThreadContext t;
    errno = 0;
    EXPECT_EQ(main->MultiGetMem(t, 10), nullptr);
    EXPECT_EQ(errno, ENOMEM);
}

TEST_F(ThreadHeapsTest, ForkLocksAreReleasedOnBothSides) {
    ThreadContext t;
    main->MultiGetMem(t, 10);
    main->LockForFork();
    main->UnlockAfterFork(false);
    main->LockForFork();
    main->UnlockAfterFork(true);
    ThreadContext other;
    EXPECT_NE(main->MultiGetMem(other, 10), nullptr);
}

// ---------------------------------------------------------------- runs

TEST_F(ThreadHeapsTest, HandOversAreCutIntoRunsThatMoveWhole) {
    ThreadContext producer, consumer;
    std::vector<void*> blocks;
    for (int i = 0; i < 401; ++i)
        blocks.push_back(main->MultiGetMem(producer, 20));
    for (void* p : blocks)
        main->MultiFreeMem(consumer, p);
    // 401 > High: 201 go back, cut into a run of 150 (Target - Low) and one
    // of 51, and lie at the head of the main pool's list.
    ASSERT_EQ(consumer.pool->Count(5), 200);
    BlockHeader* head = AsBlock(main->Class(5).head);
    EXPECT_EQ(SegmentLength(head), 150u);
    BlockHeader* second = AsBlock(NextFree(AsBlock(SegmentLast(head))));
    EXPECT_EQ(SegmentLength(second), 51u);
    ExpectSound();

    // A new pool asks for Low (50) and gets the whole first run; the other
    // classes, which the main pool must split for, come exactly.
    ThreadContext third;
    ASSERT_NE(main->MultiGetMem(third, 20), nullptr);
    EXPECT_GE(third.pool->Count(5), 149);
    EXPECT_LE(third.pool->Count(5), 200);
    EXPECT_EQ(third.pool->Count(6), 50);
    EXPECT_EQ(third.pool->Count(12), 5);
    ExpectSound();
}


TEST_F(ThreadHeapsTest, SingleThreadedAllocationsTakeRunsApartOneBlockAtATime) {
    ThreadContext producer, consumer;
    std::vector<void*> blocks;
    for (int i = 0; i < 401; ++i)
        blocks.push_back(main->MultiGetMem(producer, 20));
    for (void* p : blocks)
        main->MultiFreeMem(consumer, p);
    BlockHeader* head = AsBlock(main->Class(5).head);
    ASSERT_EQ(SegmentLength(head), 150u);
    const std::uintptr_t last = SegmentLast(head);
    const std::uintptr_t second = NextFree(head);
    const std::int32_t listed = main->Count(5);

    // The program is down to one thread again: the main pool serves it
    // without a pool; a pop leaves the rest of the run marked as a run.
    singleThreaded = 1;
    ThreadContext alone;
    EXPECT_EQ(main->MultiGetMem(alone, 20), PayloadOf(head));
    EXPECT_EQ(alone.pool, nullptr);
    EXPECT_EQ(main->Class(5).head, second);
    EXPECT_EQ(SegmentLength(AsBlock(second)), 149u);
    EXPECT_EQ(SegmentLast(AsBlock(second)), last);
    EXPECT_EQ(main->Count(5), listed - 1);
    ExpectSound();

    // A release goes back as a run of its own, at the head.
    main->MultiFreeMem(alone, PayloadOf(head));
    EXPECT_EQ(main->Class(5).head, Addr(head));
    EXPECT_EQ(SegmentLength(head), 1u);
    EXPECT_EQ(SegmentLast(head), Addr(head));
    EXPECT_EQ(main->Count(5), listed);
    ExpectSound();

    // The released block, the rest of the first run and one more: the
    // second run (51) is left with 50.
    for (int i = 0; i < 151; ++i)
        ASSERT_NE(main->MultiGetMem(alone, 20), nullptr);
    EXPECT_EQ(main->Count(5), listed - 151);
    EXPECT_EQ(SegmentLength(AsBlock(main->Class(5).head)), 50u);
    ExpectSound();
}
TEST_F(ThreadHeapsTest, PoolsNeverSplitTheirOwnBlocks) {
    ThreadContext t;
    void* big = main->MultiGetMem(t, (std::size_t{1} << 20) - 100);
    main->MultiFreeMem(t, big);
    ASSERT_EQ(t.pool->Count(20), 1);
    // Far more small blocks than the pool holds: every refill is an exchange.
    std::vector<void*> small;
    for (int i = 0; i < 2000; ++i)
        small.push_back(main->MultiGetMem(t, 10));
    EXPECT_EQ(t.pool->Count(20), 1);
    EXPECT_EQ(HeaderOf(big)->cls, 20) << "the pool's large block is whole";
    for (void* p : small)
        main->MultiFreeMem(t, p);
    ExpectSound();
}

// ---------------------------------------------------------------- giving back

TEST_F(ThreadHeapsTest, ReleasesPilingUpInTheMainPoolAreTrimmed) {
    ThreadContext producer, consumer;
    constexpr int kBlocks = 80 * 1024; // 80 MB of 1 KB blocks
    std::vector<void*> blocks;
    for (int i = 0; i < kBlocks; ++i)
        blocks.push_back(main->MultiGetMem(producer, 1000));
    EXPECT_EQ(pages.ReleasedBytes(), 0u);
    for (void* p : blocks)
        main->MultiFreeMem(consumer, p);
    ExpectSound();
    // Trims ran as the main pool's lists grew. Each pool keeps a few of the
    // small blocks that start every chunk, so the chunks are not wholly free;
    // their runs of free blocks were carved afresh and gave back their pages:
    // all but the reserve and the last stretch released since the last trim.
    EXPECT_GT(pages.ReleasedBytes(), std::size_t{40} << 20);
    EXPECT_EQ(pages.Unmaps(), 0);

    // A pool that keeps reusing what it releases moves many times its set
    // through the main pool without a trim: the level does not grow.
    const std::size_t released = pages.ReleasedBytes();
    ThreadContext worker;
    for (int round = 0; round < 20; ++round) {
        std::vector<void*> set;
        for (int i = 0; i < 4096; ++i)
            set.push_back(main->MultiGetMem(worker, 1000));
        for (void* p : set)
            main->MultiFreeMem(worker, p);
    }
    EXPECT_EQ(pages.ReleasedBytes(), released);
    ExpectSound();
}

TEST_F(ThreadHeapsTest, IdlePoolsGiveEverythingBackBeforeATrim) {
    ThreadContext idle, busy;
    main->MultiFreeMem(idle, main->MultiGetMem(idle, 10));
    main->MultiFreeMem(busy, main->MultiGetMem(busy, 10));
    TThreadMemManager* idlePool = idle.pool;
    main->ThreadExit(idle);
    ASSERT_GT(idlePool->Count(5), 0);
    std::vector<void*> blocks;
    for (int i = 0; i < 40 * 1024; ++i)
        blocks.push_back(main->MultiGetMem(busy, 1000));
    for (void* p : blocks)
        main->MultiFreeMem(busy, p);
    ASSERT_GT(pages.ReleasedBytes(), 0u) << "a trim ran";
    for (int k = kMinClass; k <= kMaxClass; ++k)
        EXPECT_EQ(idlePool->Count(k), 0) << "class " << k;
    ExpectSound();
}

std::size_t DirtyBytes(const TBlockManager& pool, int k) {
    std::size_t n = 0;
    for (std::uintptr_t b = pool.Class(k).head; b != kEndOfList; b = NextFree(AsBlock(b)))
        if (AsBlock(b)->used == kDirty) n += std::size_t{1} << k;
    return n;
}

TEST_F(ThreadHeapsTest, PoolsGiveBackLargePagesWhenIdleAndHugeOnesAtOnce) {
    constexpr std::size_t kMB = std::size_t{1} << 20;
    ThreadContext t;
    std::vector<void*> big;
    for (int i = 0; i < 3; ++i) {
        big.push_back(main->MultiGetMem(t, kMB - 100));
        std::memset(big.back(), 0x5a, kMB - 100);
    }
    for (void* p : big)
        main->MultiFreeMem(t, p);
    // Within the class's High: the pool keeps them as they are.
    ASSERT_EQ(t.pool->Count(20), 3);
    EXPECT_EQ(DirtyBytes(*t.pool, 20), 3 * kMB);
    EXPECT_EQ(pages.ReleasedBytes(), 0u);

    // Above 32 MB a released block gives back its pages at once, if its user
    // wrote them; one barely touched is not worth the flush.
    auto* huge = static_cast<unsigned char*>(main->MultiGetMem(t, 40 * kMB));
    ASSERT_EQ(HeaderOf(huge)->cls, 26);
    std::memset(huge, 0x77, 40 * kMB);
    main->MultiFreeMem(t, huge);
    EXPECT_EQ(HeaderOf(huge)->used, kPagesReleased);
    EXPECT_EQ(pages.ReleasedBytes(), 64 * kMB - 2 * 4096);
    auto* again = static_cast<unsigned char*>(main->MultiCallocMem(t, 1, 40 * kMB));
    ASSERT_EQ(again, huge);
    for (std::size_t i = 0; i < 40 * kMB; i += 4093)
        ASSERT_EQ(again[i], 0) << i;
    main->MultiFreeMem(t, again);

    // An idle pool keeps no more than 1 MB of its large pages.
    TThreadMemManager* pool = t.pool;
    main->ThreadExit(t);
    EXPECT_EQ(DirtyBytes(*pool, 20), kMB);
    EXPECT_GE(pages.ReleasedBytes(), 64 * kMB - 2 * 4096 + 2 * (kMB - 2 * 4096));
    ExpectSound();
}

std::size_t BlocksIn(const TBlockManager& pool, int k, std::uint8_t zero) {
    std::size_t n = 0;
    for (std::uintptr_t b = pool.Class(k).head; b != kEndOfList; b = NextFree(AsBlock(b)))
        n += AsBlock(b)->used == zero;
    return n;
}

TEST_F(ThreadHeapsTest, APoolHoldingManyLargePagesGivesThemBackAtItsNextExchange) {
    constexpr std::size_t kBlock = (std::size_t{4} << 20) - 100; // class 22
    auto fillAndFree = [&](ThreadContext& t, bool write) {
        std::vector<void*> big;
        for (int i = 0; i < 6; ++i) {
            big.push_back(main->MultiGetMem(t, kBlock));
            if (write)
                std::memset(big.back(), 0x3c, kBlock);
            else
                static_cast<char*>(big.back())[0] = 1;
        }
        for (void* p : big)
            main->MultiFreeMem(t, p);
        ASSERT_EQ(t.pool->Count(22), 6);
        // Small blocks until the pool exchanges with the main pool.
        for (int i = 0; i < 300; ++i)
            main->MultiGetMem(t, 10);
    };
    ThreadContext writer, toucher;
    fillAndFree(writer, true);
    // 24 MB held, over the 16 MB limit: all but the 8 MB most recently
    // released (at the head of the list) give back their pages; the same
    // exchange hands the three above Target to the main pool, head first.
    EXPECT_EQ(writer.pool->Count(22), 3);
    EXPECT_EQ(BlocksIn(*writer.pool, 22, kPagesReleased), 3u);
    EXPECT_GE(pages.ReleasedBytes(), 4 * ((std::size_t{4} << 20) - 2 * 4096));

    // Blocks barely touched are not worth it; they are marked so that they
    // are not looked at again until used.
    const std::size_t released = pages.ReleasedBytes();
    fillAndFree(toucher, false);
    EXPECT_EQ(BlocksIn(*toucher.pool, 22, kSparse), 3u);
    EXPECT_EQ(pages.ReleasedBytes(), released);
    ExpectSound();
}

TEST_F(ThreadHeapsTest, CallocThroughThePools) {
    ThreadContext t;
    auto* dirty = static_cast<unsigned char*>(main->MultiGetMem(t, 300));
    std::memset(dirty, 0xee, 300);
    main->MultiFreeMem(t, dirty);
    auto* p = static_cast<unsigned char*>(main->MultiCallocMem(t, 3, 100));
    EXPECT_EQ(p, dirty) << "the released block comes back";
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(p[i], 0);
    errno = 0;
    EXPECT_EQ(main->MultiCallocMem(t, SIZE_MAX / 2, 3), nullptr);
    EXPECT_EQ(errno, ENOMEM);
    void* huge = main->MultiCallocMem(t, 1, kMaxRequest + 1);
    ASSERT_NE(huge, nullptr);
    EXPECT_EQ(g_prev.allocate, 1) << "allocated and cleared by the previous manager";
    main->MultiFreeMem(t, huge);
    ExpectSound();
}

// Simulated threads on one OS thread: allocations, releases by any thread,
// resizing, threads ending and new ones starting, with the invariants checked
// after every step.
TEST_F(ThreadHeapsTest, RandomOperationsAcrossPoolsKeepTheHeapSound) {
    struct Live {
        std::uint8_t* p;
        std::size_t n;
        std::uint8_t tag;
    };
    for (unsigned seed : {11u, 12u}) {
        main = std::make_unique<TMainMemManager>(
            &pages, MainOptions{CountingPrevious(), &singleThreaded, false, nullptr});
        std::mt19937 rng(seed);
        std::vector<ThreadContext> threads(4);
        std::vector<Live> live;
        auto ok = [](const Live& l) {
            for (std::size_t i = 0; i < l.n; ++i)
                if (l.p[i] != static_cast<std::uint8_t>(l.tag ^ i)) return false;
            return true;
        };
        auto fill = [](const Live& l) {
            for (std::size_t i = 0; i < l.n; ++i)
                l.p[i] = static_cast<std::uint8_t>(l.tag ^ i);
        };
        for (int step = 0; step < 1500; ++step) {
            ThreadContext& t = threads[rng() % threads.size()];
            const unsigned op = rng() % 20;
            if (op < 9 || live.empty()) {
                const std::size_t n = rng() % 4 == 0 ? rng() % 20000 : rng() % 300;
                Live l{static_cast<std::uint8_t*>(main->MultiGetMem(t, n)), n,
                       static_cast<std::uint8_t>(rng())};
                ASSERT_NE(l.p, nullptr);
                fill(l);
                live.push_back(l);
            } else if (op < 18) {
                const std::size_t i = rng() % live.size();
                Live l = live[i];
                ASSERT_TRUE(ok(l)) << "step " << step;
                live.erase(live.begin() + static_cast<long>(i));
                if (op < 15) {
                    main->MultiFreeMem(t, l.p);
                } else {
                    const std::size_t n = rng() % 3000;
                    auto* q = static_cast<std::uint8_t*>(main->MultiReallocMem(t, l.p, n));
                    ASSERT_NE(q, nullptr);
                    Live moved{q, std::min(n, l.n), l.tag};
                    ASSERT_TRUE(ok(moved)) << "step " << step;
                    moved.n = n;
                    fill(moved);
                    live.push_back(moved);
                }
            } else {
                main->ThreadExit(t);
                t = ThreadContext{};
            }
            const std::string fault = CheckHeap(*main);
            ASSERT_EQ(fault, "") << "seed " << seed << " step " << step;
        }
        EXPECT_LE(main->PoolCount(), 4u);
    }
}

} // namespace
} // namespace ax::memory
