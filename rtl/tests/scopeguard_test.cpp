#include <gtest/gtest.h>

#include "rtl/scopeguard.h"

#include <stdexcept>

using namespace ax;

TEST(ScopeGuard, RunsOnceWhenTheScopeEndsOrThrows) {
    int runs = 0;
    {
        ScopeGuard guard([&] { ++runs; });
        EXPECT_TRUE(guard.Active());
    }
    EXPECT_EQ(runs, 1);
    try {
        ScopeGuard guard([&] { ++runs; });
        throw std::runtime_error("leaving");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(runs, 2);
}

TEST(ScopeGuard, DismissedGuardDoesNothing) {
    int runs = 0;
    {
        ScopeGuard guard([&] { ++runs; });
        guard.Dismiss();
        EXPECT_FALSE(guard.Active());
    }
    EXPECT_EQ(runs, 0);
}
