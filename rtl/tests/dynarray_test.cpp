// The one-pointer dynamic array: empty costs nothing, resizing keeps what
// fits and zeroes what is new, copies are deep.
#include <gtest/gtest.h>

#include "rtl/dynarray.h"

using namespace ax;

TEST(DynArray, OnePointerWideAndEmptyUntilGivenElements) {
    static_assert(sizeof(TDynArray<uint16_t>) == sizeof(void*));
    TDynArray<uint16_t> a;
    EXPECT_TRUE(a.empty());
    EXPECT_EQ(a.data(), nullptr);
    EXPECT_EQ(a.begin(), a.end());
    EXPECT_EQ(a, TDynArray<uint16_t>{});
}

TEST(DynArray, ResizeKeepsWhatFitsAndZeroesTheRest) {
    TDynArray<uint16_t> a{7, 0x1234, 9};
    a.resize(5);
    ASSERT_EQ(a.size(), 5u);
    EXPECT_EQ(a, (TDynArray<uint16_t>{7, 0x1234, 9, 0, 0}));
    a.resize(2);
    EXPECT_EQ(a, (TDynArray<uint16_t>{7, 0x1234}));
    a.resize(0);
    EXPECT_TRUE(a.empty());
    a.resize(3);
    EXPECT_EQ(a, (TDynArray<uint16_t>{0, 0, 0}));
}

TEST(DynArray, CopiesAreDeepAndMovesLeaveTheSourceEmpty) {
    TDynArray<uint8_t> a{1, 2, 3};
    TDynArray<uint8_t> b = a;
    b[0] = 9;
    EXPECT_EQ(a[0], 1);
    EXPECT_FALSE(a == b);
    a = b;
    EXPECT_EQ(a, b);
    TDynArray<uint8_t> c = std::move(a);
    EXPECT_TRUE(a.empty()); // a moved-from array is empty
    EXPECT_EQ(c, (TDynArray<uint8_t>{9, 2, 3}));
    const uint8_t raw[] = {4, 5};
    c.Assign(raw, 2);
    EXPECT_EQ(c, (TDynArray<uint8_t>{4, 5}));
    c.Assign(raw, 0);
    EXPECT_TRUE(c.empty());
}
