// This program links the memory library: its whole heap, C++ new included, is
// ours.
#include "memory/ProcessHeap.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <malloc.h>
#include <memory>
#include <string>
#include <sys/mman.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern "C" void* __libc_malloc(size_t);

namespace ax::memory {
namespace {

// Keep the compiler from reasoning about pointers and sizes it would
// otherwise check at compile time.
void* Launder(void* p) {
    void* volatile v = p;
    return v;
}
std::size_t Opaque(std::size_t n) {
    volatile std::size_t v = n;
    return v;
}
bool Owns(void* p) {
    return ProcessHeapOwns(Launder(p));
}

TEST(ProcessHeapTest, MallocFamilyAndNewAreServedByUs) {
    void* p = std::malloc(24);
    void* alias = Launder(p);
    EXPECT_TRUE(Owns(p));
    std::free(p);
    EXPECT_FALSE(Owns(alias)) << "a released block is no longer in use";

    auto object = std::make_unique<std::uint64_t>(7);
    EXPECT_TRUE(Owns(object.get()));
    std::vector<int> numbers(1000, 3);
    EXPECT_TRUE(Owns(numbers.data()));
    std::string text(300, 'x');
    EXPECT_TRUE(Owns(text.data()));
    char* copy = strdup("copied");
    EXPECT_TRUE(Owns(copy));
    std::free(copy);
}

TEST(ProcessHeapTest, CallocZeroesReusedMemoryAndRejectsOverflow) {
    void* dirty = std::malloc(200);
    std::memset(dirty, 0xff, 200);
    std::free(dirty);
    auto* clean = static_cast<unsigned char*>(std::calloc(50, 4));
    ASSERT_NE(clean, nullptr);
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(clean[i], 0);
    std::free(clean);
    errno = 0;
    EXPECT_EQ(std::calloc(Opaque(SIZE_MAX / 2), 3), nullptr);
    EXPECT_EQ(errno, ENOMEM);
    errno = 0;
    EXPECT_EQ(reallocarray(nullptr, Opaque(SIZE_MAX / 2), 3), nullptr);
    EXPECT_EQ(errno, ENOMEM);
}

long ResidentKb() {
    long pages = 0, resident = 0;
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (f == nullptr || std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = -1;
    if (f != nullptr) std::fclose(f);
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

TEST(ProcessHeapTest, CallocOfFreshMemoryLeavesItsPagesUntouched) {
    constexpr std::size_t kSize = std::size_t{64} << 20;
    auto* p = static_cast<unsigned char*>(std::calloc(1, kSize));
    ASSERT_NE(p, nullptr);
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const auto first = (reinterpret_cast<std::uintptr_t>(p) + page - 1) & ~(page - 1);
    const std::size_t pages = (kSize - page) / page;
    std::vector<unsigned char> resident(pages);
    ASSERT_EQ(mincore(reinterpret_cast<void*>(first), pages * page, resident.data()), 0);
    std::size_t touched = 0;
    for (unsigned char r : resident)
        touched += r & 1;
    EXPECT_LT(touched, pages / 100) << "calloc wrote pages the kernel had zeroed";
    for (std::size_t i = 0; i < kSize; i += 4093)
        ASSERT_EQ(p[i], 0) << i;
    std::free(p);
}

TEST(ProcessHeapTest, ReleasedMemoryGoesBackToTheSystem) {
    const long before = ResidentKb();
    constexpr std::size_t kBlocks = 2'500'000; // of 100 bytes: 320 MB in blocks
    std::vector<void*> blocks(kBlocks);
    std::thread([&] {
        for (void*& b : blocks) {
            b = std::malloc(100);
            std::memset(b, 1, 100);
        }
    }).join();
    const long peak = ResidentKb();
    EXPECT_GT(peak - before, 250 * 1024);
    std::thread([&] {
        for (void* b : blocks)
            std::free(b);
    }).join();
    std::vector<void*>().swap(blocks);
    // The reserve and the last stretch released since the last trim may stay.
    EXPECT_LT(ResidentKb() - before, 64 * 1024);
}

TEST(ProcessHeapTest, CLibraryBlocksStayWithTheCLibrary) {
    auto* foreign = static_cast<char*>(__libc_malloc(64));
    ASSERT_NE(foreign, nullptr);
    EXPECT_FALSE(Owns(foreign));
    EXPECT_GE(malloc_usable_size(foreign), 64u);
    std::memset(foreign, 'f', 64);
    auto* moved = static_cast<char*>(std::realloc(foreign, 5000));
    ASSERT_NE(moved, nullptr);
    EXPECT_TRUE(Owns(moved));
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ(moved[i], 'f');
    std::free(moved);
    std::free(__libc_malloc(10));
}

TEST(ProcessHeapTest, ReallocKeepsContentsAndHandlesNull) {
    auto* p = static_cast<char*>(std::realloc(nullptr, 10));
    ASSERT_TRUE(Owns(p));
    std::memcpy(p, "abcdefghi", 10);
    for (std::size_t n = 20; n < 3'000'000; n *= 3) {
        p = static_cast<char*>(std::realloc(p, n));
        ASSERT_NE(p, nullptr);
        ASSERT_STREQ(p, "abcdefghi");
    }
    std::free(p);
}

TEST(ProcessHeapTest, AlignedFamily) {
    for (std::size_t align : {16u, 64u, 4096u, 65536u, 1u << 20}) {
        void* p = nullptr;
        ASSERT_EQ(posix_memalign(&p, align, 100), 0);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % align, 0u);
        std::free(p);
        void* q = aligned_alloc(align, 3 * align);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(q) % align, 0u);
        std::free(q);
        void* r = memalign(align, 1);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(r) % align, 0u);
        std::free(r);
    }
    void* p = nullptr;
    EXPECT_EQ(posix_memalign(&p, 24, 10), EINVAL);
    void* page = valloc(10);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(page) % 4096, 0u);
    std::free(page);
    void* whole = pvalloc(5000);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(whole) % 4096, 0u);
    EXPECT_GE(malloc_usable_size(whole), 8192u);
    std::free(whole);
}

TEST(ProcessHeapTest, HugeRequestsAndExhaustion) {
    void* big = std::malloc(kMaxRequest + 1);
    ASSERT_NE(big, nullptr);
    EXPECT_FALSE(Owns(big));
    std::free(big);
    errno = 0;
    EXPECT_EQ(std::malloc(Opaque(SIZE_MAX - 100)), nullptr);
    EXPECT_EQ(errno, ENOMEM);
    volatile std::size_t huge = SIZE_MAX / 4;
    // The vector's bytes escape, or Clang leaves out the unused allocation.
    EXPECT_THROW({ Launder(std::vector<char>(huge).data()); }, std::bad_alloc);
}

TEST(ProcessHeapTest, SecondReleaseIsReportedAsHeapCorruption) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            void* p = std::malloc(48);
            void* alias = Launder(p);
            std::free(p);
            std::free(alias);
            // Had it been listed twice, two allocations would share it.
            void* q = std::malloc(48);
            void* r = std::malloc(48);
            if (q == r) std::fputs("one block handed out twice\n", stderr);
        },
        "memory: heap corruption detected in free\\(\\) at 0x[0-9a-f]{16}");
}

TEST(ProcessHeapTest, ThreadsGetPoolsAndLaterThreadsReuseThem) {
    std::thread([] { std::free(std::malloc(10)); }).join();
    const std::uint32_t pools = ProcessHeap().PoolCount();
    ASSERT_GE(pools, 1u);
    for (int i = 0; i < 20; ++i) {
        std::thread([] {
            std::vector<std::unique_ptr<int>> v;
            for (int j = 0; j < 1000; ++j)
                v.push_back(std::make_unique<int>(j));
            EXPECT_TRUE(Owns(v.back().get()));
        }).join();
    }
    EXPECT_EQ(ProcessHeap().PoolCount(), pools);
}

TEST(ProcessHeapTest, CrossThreadReleases) {
    std::vector<void*> blocks(20000);
    std::thread([&] {
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            blocks[i] = std::malloc(8 + i % 500);
            std::memset(blocks[i], static_cast<int>(i & 0x7f), 8);
        }
    }).join();
    std::thread([&] {
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            EXPECT_EQ(static_cast<char*>(blocks[i])[7], static_cast<char>(i & 0x7f));
            std::free(blocks[i]);
        }
    }).join();
}

TEST(ProcessHeapTest, ForkWhileOtherThreadsAllocate) {
    std::atomic<bool> stop{false};
    std::vector<std::thread> workers;
    for (int i = 0; i < 3; ++i) {
        workers.emplace_back([&] {
            while (!stop.load()) {
                std::vector<std::string> v(64, std::string(100, 'w'));
            }
        });
    }
    for (int round = 0; round < 20; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            bool ok = true;
            std::thread t([&] {
                for (int i = 0; i < 1000; ++i) {
                    auto* p = static_cast<char*>(std::malloc(64 + i));
                    p[0] = 'c';
                    ok = ok && Owns(p);
                    std::free(p);
                }
            });
            t.join();
            _exit(ok ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    stop = true;
    for (auto& w : workers)
        w.join();
}

} // namespace
} // namespace ax::memory
