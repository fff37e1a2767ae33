// The threaded timer on the manual clock: steps on the GUI thread or on the
// worker, one step per interval, suspended while it has nothing to do,
// window mode, and a timer destroyed while its worker is busy.
#include "controls/ExCustomListBox.h"
#include "controls/ExTimer.h"
#include "controls_fixture.h"
#include "task_stat.h"

#include <algorithm>
#include <condition_variable>
#include <thread>

namespace ax {
namespace {

using namespace std::chrono_literals;

// Steps seen from any thread; the test waits for them with a bound.
struct Steps {
    std::mutex mutex;
    std::condition_variable cv;
    int count = 0;
    std::thread::id lastThread;
    void Add() {
        std::lock_guard<std::mutex> g(mutex);
        ++count;
        lastThread = std::this_thread::get_id();
        cv.notify_all();
    }
    bool WaitFor(int n) {
        std::unique_lock<std::mutex> lock(mutex);
        return cv.wait_for(lock, 10s, [&] { return count >= n; });
    }
    int Count() {
        std::lock_guard<std::mutex> g(mutex);
        return count;
    }
};

class ExTimerTest : public test::ControlsTest {
protected:
    // Serves the GUI thread's messages until done holds (at most 10 s).
    void PumpUntil(const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (!done() && std::chrono::steady_clock::now() < end) {
            app->ProcessMessages();
            std::this_thread::yield();
        }
    }
};

TEST_F(ExTimerTest, ThreadedStepsRunOnTheGuiThreadOncePerInterval) {
    Steps steps;
    TExTimer* timer = TComponent::Create<TExTimer>(app.get());
    timer->SetInterval(100);
    EXPECT_FALSE(timer->WorkerRunning()); // no handler yet
    timer->SetOnTimer([&](TObject* sender) {
        EXPECT_EQ(sender, timer);
        steps.Add();
    });
    EXPECT_TRUE(timer->WorkerRunning());
    clock.Advance(99);
    app->ProcessMessages();
    EXPECT_EQ(steps.Count(), 0);
    for (int i = 1; i <= 3; ++i) {
        clock.Advance(i == 1 ? 1 : 100);
        // The worker posts the step; the GUI thread runs it.
        PumpUntil([&] { return steps.Count() >= i; });
        ASSERT_EQ(steps.Count(), i) << "step " << i << " did not come";
        EXPECT_EQ(steps.lastThread, std::this_thread::get_id());
    }
    timer->SetEnabled(false);
    EXPECT_FALSE(timer->WorkerRunning());
    timer->Free();
}

TEST_F(ExTimerTest, WorkerStepsRunOnTheWorker) {
    Steps steps;
    TExTimer* timer = TComponent::Create<TExTimer>(app.get());
    timer->SetSyncEvent(false);
    timer->SetInterval(250);
    timer->SetOnTimer([&](TObject*) { steps.Add(); });
    clock.Advance(250);
    ASSERT_TRUE(steps.WaitFor(1)) << "the worker did not step";
    EXPECT_NE(steps.lastThread, std::this_thread::get_id());
    clock.Advance(250);
    ASSERT_TRUE(steps.WaitFor(2));
    EXPECT_EQ(steps.Count(), 2);
    timer->Free();
}

TEST_F(ExTimerTest, ANothingToDoTimerKeepsItsWorkerSuspended) {
    TExTimer* timer = TComponent::Create<TExTimer>(app.get());
    timer->SetOnTimer([](TObject*) {});
    EXPECT_TRUE(timer->WorkerRunning());
    timer->SetInterval(0);
    EXPECT_FALSE(timer->WorkerRunning());
    timer->SetInterval(10);
    EXPECT_TRUE(timer->WorkerRunning());
    timer->SetOnTimer(nullptr);
    EXPECT_FALSE(timer->WorkerRunning());
    timer->SetOnTimer([](TObject*) {});
    timer->SetThreaded(false); // window mode
    EXPECT_FALSE(timer->WorkerRunning());
    timer->Free();
}

TEST_F(ExTimerTest, WindowModeUsesAWindowTimer) {
    int steps = 0;
    TExTimer* timer = TComponent::Create<TExTimer>(app.get());
    timer->SetThreaded(false);
    timer->SetInterval(40);
    timer->SetOnTimer([&](TObject*) { ++steps; });
    clock.Advance(40);
    app->ProcessMessages();
    EXPECT_EQ(steps, 1);
    clock.Advance(40);
    app->ProcessMessages();
    EXPECT_EQ(steps, 2);
    timer->Free();
}

TEST_F(ExTimerTest, WithoutFreeTimersWindowModeRaises) {
    TExTimer* timer = TComponent::Create<TExTimer>(app.get());
    timer->SetThreaded(false);
    timer->SetInterval(40);
    SetTimerLimit(0);
    try {
        timer->SetOnTimer([](TObject*) {});
        ADD_FAILURE() << "no exception";
    } catch (const EOutOfResources& e) {
        EXPECT_STREQ(e.what(), "Not enough timers available");
    }
    SetTimerLimit(-1);
    timer->Free();
}

TEST_F(ExTimerTest, ATimerGoesWhileItsWorkerIsInsideAStep) {
    std::mutex m;
    std::condition_variable cv;
    bool inside = false, release = false;
    TExTimer* timer = TComponent::Create<TExTimer>(app.get());
    timer->SetSyncEvent(false);
    timer->SetInterval(10);
    timer->SetOnTimer([&](TObject*) {
        std::unique_lock<std::mutex> lock(m);
        inside = true;
        cv.notify_all();
        cv.wait_for(lock, 10s, [&] { return release; });
    });
    clock.Advance(10);
    {
        std::unique_lock<std::mutex> lock(m);
        ASSERT_TRUE(cv.wait_for(lock, 10s, [&] { return inside; }));
    }
    std::thread releaser([&] {
        std::lock_guard<std::mutex> g(m);
        release = true;
        cv.notify_all();
    });
    timer->Free(); // joins the worker after its step
    releaser.join();
}

TEST_F(ExTimerTest, AWorkerStepsExceptionIsShownByTheGuiThread) {
    Steps steps;
    TExTimer* timer = TComponent::Create<TExTimer>(app.get());
    timer->SetSyncEvent(false);
    timer->SetInterval(10);
    timer->SetOnTimer([&](TObject*) {
        steps.Add();
        throw Exception("step failed");
    });
    clock.Advance(10);
    ASSERT_TRUE(steps.WaitFor(1));
    timer->SetEnabled(false);
    PumpUntil([&] { return !shown.empty(); });
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "step failed.");
    shown.clear();
    timer->Free();
}

TEST_F(ExTimerTest, TheWorkerRunsAtTheTimersPriority) {
    TExTimer* timer = TComponent::Create<TExTimer>(app.get());
    PumpUntil([&] { return timer->WorkerThreadId() != 0; });
    const long tid = timer->WorkerThreadId();
    ASSERT_NE(tid, 0);
    timer->SetThreadPriority(tpIdle);
    EXPECT_EQ(test::ReadTaskStat(tid).policy, 5) << "the idle class";
    timer->SetThreadPriority(tpLowest);
    const test::TaskStat stat = test::ReadTaskStat(tid);
    EXPECT_EQ(stat.policy, 0);
    EXPECT_EQ(stat.nice, std::min(test::ProcessNice() + 10, 19)) << "ten steps below the process";
    EXPECT_EQ(timer->ThreadPriority(), tpLowest);
    timer->Free();
}

} // namespace
} // namespace ax
