// This program links the memory library. Each case damages the heap the way
// a faulty program does (a write one byte past a block, a release of a
// pointer into a block, a second release, a write into a released block) in
// a child process, which must end with a report of heap corruption naming
// the entry point, and must never be handed a block overlapping a live one
// before that.
#include "memory/ProcessHeap.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

// The misuse is the point here.
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuse-after-free"
#endif
#pragma GCC diagnostic ignored "-Wfree-nonheap-object"

extern "C" void axmalloc_set_corruption_handler(void (*)(const char*, const void*));

namespace ax::memory {
namespace {

template <class T> T* Launder(T* p) {
    T* volatile v = p;
    return v;
}

// Two used neighbours of 32 bytes (28 usable), the second one's payload
// 64-byte aligned, so that a class byte of 6 written into its header would
// still look aligned.
std::pair<unsigned char*, unsigned char*> Neighbours() {
    std::vector<unsigned char*> blocks;
    for (int i = 0; i < 400; ++i) {
        auto* p = static_cast<unsigned char*>(std::malloc(28));
        for (unsigned char* q : blocks) {
            if (p == q + 32 && reinterpret_cast<std::uintptr_t>(p) % 64 == 0) return {q, p};
            if (q == p + 32 && reinterpret_cast<std::uintptr_t>(q) % 64 == 0) return {p, q};
        }
        blocks.push_back(p);
    }
    std::fputs("no neighbours found\n", stderr);
    std::_Exit(0);
}

// Blocks handed out while the damage is there, checked against the live
// ones; an overlap ends the child with status 0, which fails the test.
class LiveBlocks {
public:
    void Add(const void* p, std::size_t n) {
        const auto a = reinterpret_cast<std::uintptr_t>(p);
        for (const auto& [start, end] : live_) {
            if (a < end && start < a + n) {
                std::fputs("a block overlapping a live one was handed out\n", stderr);
                std::_Exit(0);
            }
        }
        live_.emplace_back(a, a + n);
    }
    // Allocates blocks of the sizes given until the heap stops the program.
    void AllocateMany(std::initializer_list<std::size_t> sizes) {
        for (int i = 0; i < 2000; ++i)
            for (std::size_t n : sizes)
                Add(std::malloc(n), n);
        std::fputs("the damage went unnoticed\n", stderr);
        std::_Exit(0);
    }

private:
    std::vector<std::pair<std::uintptr_t, std::uintptr_t>> live_;
};

class HeapCorruptionTest : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

constexpr const char* kInFree = "memory: heap corruption detected in free\\(\\) at 0x[0-9a-f]{16}";
constexpr const char* kInMalloc = "memory: heap corruption detected in malloc\\(\\) at 0x[0-9a-f]{16}";

TEST_F(HeapCorruptionTest, OneByteOverflowIntoAUsedNeighbourIsReportedWhenItIsReleased) {
    // A string terminator one byte too far, and a byte that names a larger
    // class the neighbour's address would allow.
    for (const unsigned char spill : {0x00, 0x06}) {
        EXPECT_DEATH(
            {
                const auto ab = Neighbours();
                unsigned char* a = ab.first;
                unsigned char* b = ab.second;
                LiveBlocks live;
                live.Add(a, 28);
                live.Add(b + 32, 28);
                a[28] = spill;
                std::free(b);
                // Listed as a 64-byte block it would cover the next one.
                live.AllocateMany({60, 28});
            },
            kInFree)
            << "byte " << int{spill};
    }
}

TEST_F(HeapCorruptionTest, OneByteOverflowIntoAFreeNeighbourIsReportedBeforeItIsHandedOut) {
    auto overflow = [] {
        const auto [a, b] = Neighbours();
        LiveBlocks live;
        live.Add(a, 28);
        std::free(b);
        a[28] = 0x06;
        live.AllocateMany({28, 60});
    };
    EXPECT_DEATH(overflow(), kInMalloc) << "in the main pool";
    // With a second thread each thread has a pool of its own.
    EXPECT_DEATH(std::thread(overflow).join(), kInMalloc) << "in a thread's pool";
}

TEST_F(HeapCorruptionTest, ReleaseOfAPointerIntoABlockIsReported) {
    auto* p = static_cast<unsigned char*>(std::malloc(100));
    // 32-byte aligned inside the block, and not aligned at all.
    EXPECT_DEATH(std::free(Launder(p + 32)), kInFree);
    EXPECT_DEATH(std::free(Launder(p + 1)), kInFree);
    EXPECT_DEATH(std::free(Launder(std::realloc(p + 64, 10))),
                 "memory: heap corruption detected in realloc\\(\\)");
    std::free(p);
}

TEST_F(HeapCorruptionTest, SecondReleaseIsReportedWithTheEntryPoint) {
    EXPECT_DEATH(
        {
            int* x = new int(5);
            delete x;
            delete Launder(x);
        },
        "memory: heap corruption detected in operator delete\\(\\)");
    EXPECT_DEATH(
        {
            void* p = std::malloc(300);
            std::free(p);
            std::free(Launder(std::realloc(Launder(p), 600)));
        },
        "memory: heap corruption detected in realloc\\(\\)");
    EXPECT_DEATH(
        std::thread([] {
            void* p = std::malloc(5000);
            std::free(p);
            std::free(Launder(p));
        }).join(),
        kInFree)
        << "in a thread's pool";
}

TEST_F(HeapCorruptionTest, DamagedFreeListLinkIsNeverFollowed) {
    alignas(64) static unsigned char outside[256];
    // A released block's link overwritten to lead outside the heap, or onto
    // a block in use.
    EXPECT_DEATH(
        {
            LiveBlocks live;
            void* q = std::malloc(28);
            void* p = std::malloc(28);
            std::free(q);
            std::free(p);
            const std::uintptr_t fake = reinterpret_cast<std::uintptr_t>(outside) + 28;
            std::memcpy(Launder(p), &fake, sizeof fake);
            live.Add(outside, sizeof outside);
            live.AllocateMany({28});
        },
        kInMalloc);
    EXPECT_DEATH(
        {
            LiveBlocks live;
            auto* used = static_cast<unsigned char*>(std::malloc(28));
            live.Add(used, 28);
            void* p = std::malloc(28);
            std::free(p);
            const std::uintptr_t onUsed = reinterpret_cast<std::uintptr_t>(used) - 4;
            std::memcpy(Launder(p), &onUsed, sizeof onUsed);
            live.AllocateMany({28});
        },
        kInMalloc);
}

TEST_F(HeapCorruptionTest, LinkWithAStrayZeroByteIsNeverFollowed) {
    // A string's terminating zero written one byte into a released block.
    EXPECT_DEATH(
        {
            LiveBlocks live;
            void* q = std::malloc(28);
            live.Add(q, 28);
            auto* p = static_cast<unsigned char*>(std::malloc(28));
            std::free(p);
            Launder(p)[0] = 0;
            live.AllocateMany({28});
        },
        kInMalloc);
}

TEST_F(HeapCorruptionTest, LinkIntoALiveBlockNearbyIsNeverHandedOut) {
    // A link overwritten with a pointer onto a block boundary inside a live
    // block nearby, in the same chunk.
    EXPECT_DEATH(
        {
            LiveBlocks live;
            auto* used = static_cast<unsigned char*>(std::malloc(200));
            std::memset(used, 0xab, 200);
            live.Add(used, 200);
            void* p = std::malloc(28);
            std::free(p);
            const std::uintptr_t inside = reinterpret_cast<std::uintptr_t>(used) + 64 - 4;
            std::memcpy(Launder(p), &inside, sizeof inside);
            live.AllocateMany({28});
        },
        kInMalloc);
}

TEST_F(HeapCorruptionTest, SoundListsAcrossChunksAreNotTakenForDamage) {
    // 28-byte blocks of several chunks released alternately from both ends,
    // so that most links lead to another chunk; all come back, none twice.
    std::vector<void*> blocks(80'000);
    for (void*& p : blocks)
        p = std::malloc(28);
    for (std::size_t i = 0, j = blocks.size() - 1; i < j; ++i, --j) {
        std::free(blocks[i]);
        std::free(blocks[j]);
    }
    std::vector<std::uintptr_t> again;
    for (std::size_t i = 0; i < blocks.size(); ++i)
        again.push_back(reinterpret_cast<std::uintptr_t>(std::malloc(28)));
    std::sort(again.begin(), again.end());
    EXPECT_EQ(std::adjacent_find(again.begin(), again.end()), again.end());
    for (std::uintptr_t p : again)
        std::free(reinterpret_cast<void*>(p));
}

const void* g_expected = nullptr;

void Handler(const char* function, const void* block) {
    std::fprintf(stderr, "handler told of %s(), %s\n", function,
                 block == g_expected ? "the block" : "another block");
    std::_Exit(3);
}

TEST_F(HeapCorruptionTest, InstalledHandlerIsToldInsteadOfStandardError) {
    EXPECT_EXIT(
        {
            void* p = std::malloc(40);
            g_expected = p;
            axmalloc_set_corruption_handler(Handler);
            std::free(p);
            std::free(Launder(p));
        },
        ::testing::ExitedWithCode(3), "handler told of free\\(\\), the block");
}

} // namespace
} // namespace ax::memory
