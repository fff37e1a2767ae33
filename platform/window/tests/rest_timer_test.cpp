// The pointer-rest timer on a manual clock: only the latest arming fires,
// once its whole delay has passed, and a cancel drops it.
#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "bounded_wait.h"
#include "rest_timer.h"

namespace ax::wm {
namespace {

class RestTimerTest : public ::testing::Test {
protected:
    void SetUp() override { SetClock(&clock); }
    void TearDown() override {
        timer.reset();
        SetClock(nullptr);
    }
    std::vector<uint64_t> WaitForCalls(size_t count) {
        EXPECT_TRUE(test::WaitUntil([&] {
            std::lock_guard<std::mutex> g(mutex);
            return calls.size() >= count;
        }));
        std::lock_guard<std::mutex> g(mutex);
        return calls;
    }

    ManualClock clock;
    std::mutex mutex;
    std::vector<uint64_t> calls;
    std::unique_ptr<RestTimer> timer = std::make_unique<RestTimer>(500, [this](uint64_t arming) {
        std::lock_guard<std::mutex> g(mutex);
        calls.push_back(arming);
    });
};

TEST_F(RestTimerTest, AMoveStartsTheDelayAgain) {
    const uint64_t first = timer->Arm();
    clock.Advance(400);
    const uint64_t second = timer->Arm();
    // 800 ms after the first arming, 400 after the second.
    clock.Advance(400);
    clock.Advance(100);
    EXPECT_EQ(WaitForCalls(1), std::vector<uint64_t>{second});
    EXPECT_NE(first, second);
}

TEST_F(RestTimerTest, ACancelledRestNeverFires) {
    timer->Arm();
    timer->Cancel();
    clock.Advance(1000);
    const uint64_t again = timer->Arm();
    clock.Advance(500);
    EXPECT_EQ(WaitForCalls(1), std::vector<uint64_t>{again});
    // Fired once: a later arming fires again.
    const uint64_t third = timer->Arm();
    clock.Advance(500);
    EXPECT_EQ(WaitForCalls(2), (std::vector<uint64_t>{again, third}));
}

} // namespace
} // namespace ax::wm
