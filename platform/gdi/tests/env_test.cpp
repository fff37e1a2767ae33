// Run with AX_TEST_FONT=1 in the environment (set by the build).
#include "test_canvas.h"

#include <gtest/gtest.h>

using namespace ax;
using namespace ax::test;

TEST(TestFontSwitch, TheEnvironmentTurnsItOn) {
    ASSERT_TRUE(IsTestFont());
    Canvas c(10, 10);
    TEXTMETRIC tm;
    ASSERT_TRUE(GetTextMetrics(c.dc(), &tm));
    EXPECT_EQ(tm.tmHeight, kTestFontHeight);
    EXPECT_EQ(tm.tmAscent, kTestFontAscent);
    SIZE s;
    GetTextExtentPoint32(c.dc(), "abc", &s);
    EXPECT_EQ(s.cx, 3 * kTestFontAdvance);
    SetTestFont(false); // the call wins over the environment
    EXPECT_FALSE(IsTestFont());
}
