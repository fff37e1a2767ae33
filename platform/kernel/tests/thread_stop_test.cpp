// Stopping a group of threads together: every thread answers into its own
// slot, and a thread that ends while the stop is under way is left out
// without holding the others.
#include "platform/thread_stop.h"

#include "platform/thread_hooks.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <thread>
#include <vector>

namespace ax {
namespace {

struct Spinner {
    std::atomic<pid_t> Id{0};
    std::atomic<std::uintptr_t> Marker{0}; // a local's address on its stack
};

__attribute__((noinline)) void Spin(Spinner& me, std::atomic<bool>& stop) {
    int marker = 0;
    me.Marker = reinterpret_cast<std::uintptr_t>(&marker);
    while (!stop.load()) asm volatile("" ::: "memory");
}

// Spinners that stand until stop is set, joined when the group goes.
struct SpinnerGroup {
    explicit SpinnerGroup(int count) : Spinners(count) {
        for (auto& s : Spinners)
            Threads.emplace_back([&s, this] {
                s.Id = CurrentThreadId();
                Spin(s, Stop);
            });
        for (auto& s : Spinners)
            for (int i = 0; i < 20000000 && (s.Id == 0 || s.Marker == 0); ++i) std::this_thread::yield();
    }
    ~SpinnerGroup() {
        Stop = true;
        for (auto& t : Threads) t.join();
    }
    std::vector<pid_t> Ids() const {
        std::vector<pid_t> ids;
        for (const auto& s : Spinners) ids.push_back(s.Id);
        return ids;
    }
    std::atomic<bool> Stop{false};
    std::vector<Spinner> Spinners;
    std::vector<std::thread> Threads;
};

TEST(ThreadStopGroup, EveryBusyThreadAnswersWithItsOwnRegisters) {
    SpinnerGroup group(32);
    const std::vector<pid_t> ids = group.Ids();
    std::vector<StoppedThread> seen;
    seen.reserve(ids.size());
    StopThreads(ids, 60000, [&](const std::vector<StoppedThread>& stopped) {
        for (const auto& t : stopped) seen.push_back(t);
    });
    ASSERT_EQ(seen.size(), 32u);
    for (std::size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].Id, ids[i]) << "in the order asked";
        // Each stack pointer lies near its own thread's local (or in the red
        // zone below it), never near another's.
        const std::uintptr_t marker = group.Spinners[i].Marker;
        EXPECT_LE(seen[i].Registers.Sp, marker + 128) << i;
        EXPECT_GT(seen[i].Registers.Sp + 4096, marker) << i;
    }
    // A second round over the same threads works as the first.
    int again = 0;
    StopThreads(ids, 60000, [&](const std::vector<StoppedThread>& stopped) { again = static_cast<int>(stopped.size()); });
    EXPECT_EQ(again, 32);
}

TEST(ThreadStopGroup, AThreadEndingWhileTheStopIsUnderWayIsLeftOut) {
    SpinnerGroup group(4);
    // This thread blocks the stop signal and ends once the signal is pending:
    // the stop is then under way and it will never answer. The bound is far
    // beyond the test's own time limit, so only noticing the end returns.
    std::atomic<pid_t> leaving{0};
    std::thread t([&] {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, ThreadStopSignal());
        ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
        leaving = CurrentThreadId();
        for (;;) {
            sigset_t pending;
            ::sigpending(&pending);
            if (sigismember(&pending, ThreadStopSignal())) return;
            std::this_thread::yield();
        }
    });
    for (int i = 0; i < 20000000 && leaving == 0; ++i) std::this_thread::yield();
    std::vector<pid_t> ids = group.Ids();
    ids.insert(ids.begin() + 2, leaving.load());
    std::vector<pid_t> seen;
    seen.reserve(ids.size());
    StopThreads(ids, 3600 * 1000, [&](const std::vector<StoppedThread>& stopped) {
        for (const auto& s : stopped) seen.push_back(s.Id);
    });
    t.join();
    EXPECT_EQ(seen, group.Ids());
    // A thread that is already gone is left out at once.
    std::vector<pid_t> after;
    after.reserve(ids.size());
    StopThreads(ids, 3600 * 1000, [&](const std::vector<StoppedThread>& stopped) {
        for (const auto& s : stopped) after.push_back(s.Id);
    });
    EXPECT_EQ(after, group.Ids());
}

TEST(ThreadStopGroup, TheCallerIsNeverStopped) {
    SpinnerGroup group(1);
    std::vector<pid_t> seen;
    seen.reserve(2);
    StopThreads({CurrentThreadId(), group.Spinners[0].Id}, 60000, [&](const std::vector<StoppedThread>& stopped) {
        for (const auto& s : stopped) seen.push_back(s.Id);
    });
    EXPECT_EQ(seen, std::vector<pid_t>{group.Spinners[0].Id});
}

} // namespace
} // namespace ax
