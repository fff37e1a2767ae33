#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "rtl/clock.h"
#include "rtl/exceptions.h"
#include "rtl/threads.h"

using namespace ax;

namespace {

// Waits, yielding, until done() holds; false once a bound no passing run
// comes near has passed, so that a broken wait fails instead of hanging.
template <class Pred> bool WaitUntil(Pred done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

// Installs a manual clock for one test.
class ManualTime : public ::testing::Test {
protected:
    void SetUp() override { SetClock(&clock); }
    void TearDown() override { SetClock(nullptr); }
    // Advances in steps until done holds; the bound keeps a broken wait
    // from hanging the run.
    void AdvanceUntil(const std::atomic<bool>& done, uint64_t step) {
        for (int i = 0; i < 1000000 && !done; ++i) {
            clock.Advance(step);
            std::this_thread::yield();
        }
    }
    ManualClock clock;
};

class CountingThread : public TThread {
public:
    ~CountingThread() override { TerminateAndWait(); }
    std::atomic<int> loops{0};
    TEvent wake{false, false};

protected:
    void Execute() override {
        while (!Terminated()) {
            ++loops;
            wake.WaitFor(INFINITE);
        }
        returnValue_ = 42;
    }
    void TerminatedSet() override { wake.SetEvent(); }
};

} // namespace

using ClockedWaits = ManualTime;

TEST_F(ClockedWaits, TimeoutEndsOnlyWhenTheClockReachesIt) {
    TEvent event;
    std::atomic<bool> done{false};
    std::atomic<uint64_t> returnedAt{0};
    const uint64_t start = clock.Ticks();
    TWaitResult result = TWaitResult::wrError;
    std::thread waiter([&] {
        result = event.WaitFor(5000);
        returnedAt = clock.Ticks();
        done = true;
    });
    AdvanceUntil(done, 7);
    waiter.join();
    EXPECT_EQ(result, TWaitResult::wrTimeout);
    EXPECT_GE(returnedAt.load(), start + 5000);
}

// A waiter that worked out its deadline before the clock moved must still
// end at that deadline, not one interval after the move.
TEST_F(ClockedWaits, DeadlineWaitEndsAtTheDeadlineWhenTheClockMovedFirst) {
    TimedCondition cond;
    const uint64_t deadline = clock.Ticks() + 400;
    clock.Advance(400);
    std::unique_lock<std::mutex> lock(cond.Mutex());
    EXPECT_FALSE(cond.WaitUntil(lock, deadline, [] { return false; }));
    lock.unlock();

    // One move of the whole interval while the waiter sleeps releases it.
    std::atomic<bool> done{false};
    std::thread waiter([&] {
        std::unique_lock<std::mutex> l(cond.Mutex());
        cond.WaitUntil(l, deadline + 400, [] { return false; });
        done = true;
    });
    clock.Advance(400);
    EXPECT_TRUE(WaitUntil([&] { return done.load(); }));
    if (!done) clock.Advance(1000000); // let a broken wait end before the join
    waiter.join();
}

TEST_F(ClockedWaits, SignalEndsWaitWithoutAnyTimePassing) {
    TEvent event;
    std::thread waiter([&] { EXPECT_EQ(event.WaitFor(1000), TWaitResult::wrSignaled); });
    event.SetEvent();
    waiter.join();
    EXPECT_TRUE(event.IsSet()); // manual reset stays set
}

TEST_F(ClockedWaits, ZeroTimeoutPolls) {
    TEvent event;
    EXPECT_EQ(event.WaitFor(0), TWaitResult::wrTimeout);
    event.SetEvent();
    EXPECT_EQ(event.WaitFor(0), TWaitResult::wrSignaled);
}

TEST_F(ClockedWaits, SleepMovesManualTime) {
    const uint64_t before = clock.Ticks();
    const TDateTime now = clock.Now();
    CurrentClock().Sleep(86400000 / 2);
    EXPECT_EQ(clock.Ticks(), before + 43200000);
    EXPECT_DOUBLE_EQ(clock.Now(), now + 0.5);
}

TEST(Events, AutoResetReleasesOneWaiterAtATime) {
    TEvent event(false, false);
    std::atomic<int> released{0};
    std::thread a([&] { event.WaitFor(INFINITE); ++released; });
    std::thread b([&] { event.WaitFor(INFINITE); ++released; });
    event.SetEvent();
    ASSERT_TRUE(WaitUntil([&] { return released.load() >= 1; })) << "no waiter was released";
    EXPECT_FALSE(event.IsSet());
    event.SetEvent();
    a.join();
    b.join();
    EXPECT_EQ(released.load(), 2);
    EXPECT_FALSE(event.IsSet());
}

TEST(Threads, TerminateStopsCooperatively) {
    CountingThread t;
    t.Start();
    ASSERT_TRUE(WaitUntil([&] { return t.loops.load() > 0; })) << "the thread never ran";
    t.Terminate();
    EXPECT_EQ(t.WaitFor(), 42);
    EXPECT_TRUE(t.Finished());
    EXPECT_TRUE(t.Terminated());
}

TEST(Threads, ExceptionInExecuteIsKept) {
    struct Failing : TThread {
        void Execute() override { throw EAbort("stop"); }
    } t;
    t.Start();
    t.WaitFor();
    ASSERT_TRUE(t.FatalException());
    EXPECT_THROW(std::rethrow_exception(t.FatalException()), EAbort);
}

TEST(Threads, FreeOnTerminateFreesItself) {
    TEvent freed;
    struct SelfFreeing : TThread {
        explicit SelfFreeing(TEvent& e) : freed(e) {}
        ~SelfFreeing() override { freed.SetEvent(); }
        void Execute() override {}
        TEvent& freed;
    };
    TThread::StartFreeOnTerminate(std::make_unique<SelfFreeing>(freed));
    EXPECT_EQ(freed.WaitFor(INFINITE), TWaitResult::wrSignaled);
}

TEST(Threads, DestroyingARunningThreadAsksItToStop) {
    auto t = std::make_unique<CountingThread>();
    t->Start();
    t.reset(); // must not hang or kill
    SUCCEED();
}

TEST(Synchronize, RunsOnTheMainThreadAndWaits) {
    SetMainThread(std::this_thread::get_id());
    ResetSynchronize();
    std::thread::id ranOn;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        EXPECT_TRUE(Synchronize([&] { ranOn = std::this_thread::get_id(); }));
        done = true;
    });
    if (!WaitUntil([&] {
            CheckSynchronize();
            return done.load();
        })) {
        ADD_FAILURE() << "the call never came back";
        ReleaseSynchronize();
    }
    worker.join();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(Synchronize, FailureReachesTheCaller) {
    SetMainThread(std::this_thread::get_id());
    ResetSynchronize();
    std::atomic<bool> done{false};
    std::thread worker([&] {
        EXPECT_THROW(Synchronize([] { throw EInvalidOperation("nope"); }), EInvalidOperation);
        done = true;
    });
    if (!WaitUntil([&] {
            CheckSynchronize();
            return done.load();
        })) {
        ADD_FAILURE() << "the call never came back";
        ReleaseSynchronize();
    }
    worker.join();
}

TEST(Synchronize, ReleaseAtShutdownFreesWaitingCallers) {
    SetMainThread(std::this_thread::get_id());
    ResetSynchronize();
    std::atomic<bool> queued{false};
    SetSynchronizeWakeup([&] { queued = true; });
    bool ran = false;
    std::atomic<bool> result{true};
    std::thread worker([&] { result = Synchronize([&] { ran = true; }); });
    EXPECT_TRUE(WaitUntil([&] { return queued.load(); })) << "the call was never queued";
    ReleaseSynchronize(); // the main loop is gone: nobody will serve the call
    worker.join();
    EXPECT_FALSE(result.load());
    EXPECT_FALSE(ran);
    EXPECT_FALSE(Synchronize([] {}) && false);
    SetSynchronizeWakeup(nullptr);
    ResetSynchronize();
}
