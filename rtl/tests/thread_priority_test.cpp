#include <gtest/gtest.h>

#include <algorithm>

#include <sys/resource.h>
#include <unistd.h>

#include "other_user.h"
#include "rtl/threads.h"
#include "task_stat.h"

using namespace ax;
using ax::test::ProcessNice;
using ax::test::ReadTaskStat;

namespace {

constexpr int kNormalPolicy = 0, kIdlePolicy = 5;

// Waits until told to stop; a thread whose priority can be watched.
class ParkedThread : public TThread {
public:
    ~ParkedThread() override { TerminateAndWait(); }
    TEvent started;

protected:
    void Execute() override {
        started.SetEvent();
        wake_.WaitFor(INFINITE);
    }
    void TerminatedSet() override { wake_.SetEvent(); }

private:
    TEvent wake_;
};


} // namespace

TEST(ThreadPriority, TheLevelsAreThePlatformsNumbers) {
    EXPECT_EQ(ThreadPriorityLevel(tpIdle), -15);
    EXPECT_EQ(ThreadPriorityLevel(tpLowest), -2);
    EXPECT_EQ(ThreadPriorityLevel(tpLower), -1);
    EXPECT_EQ(ThreadPriorityLevel(tpNormal), 0);
    EXPECT_EQ(ThreadPriorityLevel(tpHigher), 1);
    EXPECT_EQ(ThreadPriorityLevel(tpHighest), 2);
    EXPECT_EQ(ThreadPriorityLevel(tpTimeCritical), 15);
}

TEST(ThreadPriority, ARunningThreadTakesEachPriorityAtOnce) {
    if (geteuid() != 0) GTEST_SKIP() << "raising a priority back needs root";
    // The levels are steps from the process's own nice value (a test run
    // may itself be niced), within the kernel's range.
    const int base = ProcessNice();
    ParkedThread t;
    EXPECT_EQ(t.NativeThreadId(), 0) << "no id before it runs";
    t.Start();
    ASSERT_EQ(t.started.WaitFor(INFINITE), TWaitResult::wrSignaled);
    const long tid = t.NativeThreadId();
    ASSERT_GT(tid, 0);
    struct Case {
        TThreadPriority priority;
        int nice;
        int policy;
    };
    for (const Case c : {Case{tpLowest, 10, kNormalPolicy}, Case{tpLower, 5, kNormalPolicy},
                         Case{tpIdle, 0, kIdlePolicy}, Case{tpHigher, -5, kNormalPolicy},
                         Case{tpHighest, -10, kNormalPolicy}, Case{tpTimeCritical, -40, kNormalPolicy},
                         Case{tpNormal, 0, kNormalPolicy}}) {
        EXPECT_TRUE(t.SetPriority(c.priority)) << c.priority;
        EXPECT_EQ(t.Priority(), c.priority);
        const auto stat = ReadTaskStat(tid);
        ASSERT_TRUE(stat.valid);
        EXPECT_EQ(stat.nice, std::clamp(base + c.nice, -20, 19)) << "priority " << c.priority;
        EXPECT_EQ(stat.policy, c.policy) << "priority " << c.priority;
    }
    const auto self = ReadTaskStat(static_cast<long>(gettid()));
    EXPECT_EQ(self.nice, base) << "the caller's own priority changed";
    t.TerminateAndWait();
    EXPECT_EQ(t.NativeThreadId(), 0) << "the id is not kept once the thread ended";
}

TEST(ThreadPriority, APrioritySetBeforeTheStartIsTheThreadsFromItsStart) {
    ParkedThread t;
    EXPECT_TRUE(t.SetPriority(tpIdle)) << "nothing to refuse before it runs";
    t.Start();
    ASSERT_EQ(t.started.WaitFor(INFINITE), TWaitResult::wrSignaled);
    const auto stat = ReadTaskStat(t.NativeThreadId());
    ASSERT_TRUE(stat.valid);
    EXPECT_EQ(stat.policy, kIdlePolicy);
}

TEST(ThreadPriority, AnIdleCreatorsNewThreadStillRunsAtNormal) {
    if (geteuid() != 0) GTEST_SKIP() << "leaving the idle class needs root here";
    // The new thread is created from this one after it was lowered.
    ASSERT_TRUE(ApplyThreadPriority(0, tpIdle));
    ParkedThread t;
    t.Start();
    ASSERT_EQ(t.started.WaitFor(INFINITE), TWaitResult::wrSignaled);
    EXPECT_TRUE(ApplyThreadPriority(0, tpNormal));
    const auto stat = ReadTaskStat(t.NativeThreadId());
    EXPECT_EQ(stat.policy, kNormalPolicy);
    EXPECT_EQ(stat.nice, ProcessNice());
}

TEST(ThreadPriority, RaisingWithoutTheRightIsRefusedAndChangesNothing) {
    const int status = ax::test::AsNobody([] {
        ParkedThread t;
        t.Start();
        if (t.started.WaitFor(INFINITE) != TWaitResult::wrSignaled) return 1;
        const long tid = t.NativeThreadId();
        if (t.SetPriority(tpHighest)) return 2;        // nobody may raise a priority
        if (ReadTaskStat(tid).nice != ProcessNice()) return 3;
        if (!t.SetPriority(tpLowest)) return 4;        // lowering is always allowed
        if (ReadTaskStat(tid).nice != ProcessNice() + 10) return 5;
        return 0;
    });
    if (status == 126) GTEST_SKIP() << "cannot act as another user here";
    EXPECT_EQ(status, 0);
}
