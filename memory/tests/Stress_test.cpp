// Eight threads allocating, resizing and releasing blocks of one manager
// instance, half of the releases on another thread, threads ending and new
// ones taking their pools, and forks in the middle; every block's contents are
// verified before it is released and the invariants are checked between
// rounds. AX_STRESS_SCALE=<n> multiplies the work.
#include "HeapChecker.h"
#include "memory/ThreadHeaps.h"

#include <barrier>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace ax::memory {
namespace {

using testing::CheckHeap;

struct Block {
    std::uint8_t* p;
    std::size_t n;
    std::uint8_t tag;
};

void Fill(const Block& b) {
    for (std::size_t i = 0; i < b.n; ++i)
        b.p[i] = static_cast<std::uint8_t>(b.tag + i * 7);
}

bool Intact(const Block& b) {
    for (std::size_t i = 0; i < b.n; ++i)
        if (b.p[i] != static_cast<std::uint8_t>(b.tag + i * 7)) return false;
    return true;
}

int Scale() {
    const char* s = std::getenv("AX_STRESS_SCALE");
    const int v = s != nullptr ? std::atoi(s) : 1;
    return v > 0 ? v : 1;
}

struct Inbox {
    std::mutex lock;
    std::vector<Block> blocks;
};

TEST(StressTest, EightThreadsWithCrossThreadFreesChurnAndFork) {
    constexpr int kThreads = 8;
    SystemPages pages;
    char singleThreaded = 0;
    PreviousManager previous{std::malloc, std::free, std::realloc, nullptr, nullptr};
    auto main = std::make_unique<TMainMemManager>(
        &pages, MainOptions{previous, &singleThreaded, false, nullptr});
    const int rounds = 4 * Scale();
    const int ops = 30000 * Scale();
    std::atomic<int> faults{0};

    for (int round = 0; round < rounds; ++round) {
        std::vector<Inbox> inboxes(kThreads);
        std::barrier done(kThreads);
        std::vector<std::thread> threads;
        for (int id = 0; id < kThreads; ++id) {
            threads.emplace_back([&, id] {
                ThreadContext t;
                std::mt19937 rng(static_cast<unsigned>(round * 100 + id));
                std::vector<Block> live;
                auto allocate = [&] {
                    const unsigned r = rng() % 100;
                    const std::size_t n = r < 80   ? rng() % 256
                                          : r < 98 ? rng() % 8192
                                                   : rng() % 300000;
                    Block b{static_cast<std::uint8_t*>(main->MultiGetMem(t, n)), n,
                            static_cast<std::uint8_t>(rng())};
                    if (b.p == nullptr) {
                        ++faults;
                        return;
                    }
                    Fill(b);
                    live.push_back(b);
                };
                auto release = [&](const Block& b) {
                    if (!Intact(b)) ++faults;
                    main->MultiFreeMem(t, b.p);
                };
                for (int i = 0; i < ops; ++i) {
                    const unsigned op = rng() % 16;
                    if (op < 7 || live.empty()) {
                        allocate();
                    } else if (op < 10) {
                        const std::size_t at = rng() % live.size();
                        release(live[at]);
                        live[at] = live.back();
                        live.pop_back();
                    } else if (op < 13) {
                        // Handed to another thread, which releases it.
                        const std::size_t at = rng() % live.size();
                        Inbox& to = inboxes[rng() % kThreads];
                        {
                            std::lock_guard lock(to.lock);
                            to.blocks.push_back(live[at]);
                        }
                        live[at] = live.back();
                        live.pop_back();
                    } else if (op < 15) {
                        std::vector<Block> mine;
                        {
                            std::lock_guard lock(inboxes[static_cast<std::size_t>(id)].lock);
                            mine.swap(inboxes[static_cast<std::size_t>(id)].blocks);
                        }
                        for (const Block& b : mine)
                            release(b);
                    } else {
                        Block& b = live[rng() % live.size()];
                        if (!Intact(b)) ++faults;
                        const std::size_t n = rng() % 20000;
                        auto* q = static_cast<std::uint8_t*>(main->MultiReallocMem(t, b.p, n));
                        if (q == nullptr) {
                            ++faults;
                            continue;
                        }
                        Block kept{q, std::min(n, b.n), b.tag};
                        if (!Intact(kept)) ++faults;
                        b = Block{q, n, b.tag};
                        Fill(b);
                    }
                    if (id == 0 && i == ops / 2) {
                        // A fork in the middle of everything: the child goes on
                        // with this thread's pool and the main pool.
                        main->LockForFork();
                        const pid_t child = fork();
                        main->UnlockAfterFork(child == 0);
                        if (child == 0) {
                            bool ok = true;
                            for (const Block& b : live)
                                ok = ok && Intact(b);
                            for (int j = 0; j < 2000; ++j) {
                                Block b{static_cast<std::uint8_t*>(main->MultiGetMem(
                                            t, static_cast<std::size_t>(j % 3000))),
                                        static_cast<std::size_t>(j % 3000),
                                        static_cast<std::uint8_t>(j)};
                                if (b.p == nullptr) _exit(2);
                                Fill(b);
                                ok = ok && Intact(b);
                                main->MultiFreeMem(t, b.p);
                            }
                            _exit(ok ? 0 : 1);
                        }
                        int status = -1;
                        if (child < 0 || waitpid(child, &status, 0) != child ||
                            !WIFEXITED(status) || WEXITSTATUS(status) != 0)
                            ++faults;
                    }
                }
                done.arrive_and_wait();
                for (const Block& b : inboxes[static_cast<std::size_t>(id)].blocks)
                    release(b);
                for (const Block& b : live)
                    release(b);
                main->ThreadExit(t);
            });
        }
        for (auto& th : threads)
            th.join();
        ASSERT_EQ(faults.load(), 0) << "round " << round;
        ASSERT_EQ(CheckHeap(*main), "") << "round " << round;
        EXPECT_LE(main->PoolCount(), static_cast<std::uint32_t>(kThreads)) << "pools are reused";
    }
}

} // namespace
} // namespace ax::memory
