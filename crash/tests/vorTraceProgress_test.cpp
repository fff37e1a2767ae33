#include "crash/vorTraceProgress.h"

#include "platform/gdi/gdi.h"
#include "rtl/clock.h"

#include <gtest/gtest.h>

namespace ax {
namespace {

class TraceProgressTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetClock(&clock);
        SetTestFont(true); // the machine's fonts play no part
    }
    void TearDown() override { SetClock(nullptr); }
    ManualClock clock;
};

TEST_F(TraceProgressTest, QuickWorkNeverShowsTheWindow) {
    auto p = CreateTraceProgress();
    AddPhase(p.get(), 100);
    AddPhase(p.get(), 300);
    clock.Advance(700);
    SetPosition(p.get(), 500);
    NextPhase(p.get());
    SetPosition(p.get(), 1000);
    EXPECT_EQ(p->Window, nullptr);
}

TEST_F(TraceProgressTest, WorkPastHalfAfterTheDelayNeverShowsTheWindow) {
    auto p = CreateTraceProgress();
    AddPhase(p.get(), 100);
    AddPhase(p.get(), 100);
    NextPhase(p.get()); // half of the work done
    clock.Advance(800);
    SetPosition(p.get(), 10);
    EXPECT_EQ(p->Window, nullptr);
}

TEST_F(TraceProgressTest, ShownLateItStartsAtZeroAndCountsTheRest) {
    auto p = CreateTraceProgress();
    AddPhase(p.get(), 1000);
    AddPhase(p.get(), 1000);
    SetPosition(p.get(), 200); // 10 % of the whole, before the delay
    clock.Advance(751);
    SetPosition(p.get(), 400); // 20 %: the window appears at 0
    ASSERT_NE(p->Window, nullptr);
    EXPECT_EQ(p->Shown, 0);
    EXPECT_EQ(p->Offset, 400u);
    // The rest (1600 of weight) is the new whole: 1000 of it done is 625 per mille.
    NextPhase(p.get());
    SetPosition(p.get(), 400);
    EXPECT_EQ(p->Shown, (400 + 1000 - 400) * 1000 / 1600);
    EXPECT_EQ(p->Window->LastPosition(), p->Shown);
}

TEST_F(TraceProgressTest, NullRecordIsIgnored) {
    AddPhase(nullptr, 5);
    SetPosition(nullptr, 5);
    NextPhase(nullptr);
}

} // namespace
} // namespace ax
