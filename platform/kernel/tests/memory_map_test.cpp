#include "platform/memory_map.h"
#include "platform/tick_count.h"
#include "rtl/clock.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

namespace ax {
namespace {

TEST(RegionMap, ParsesMapsText) {
    auto map = RegionMap::parse("00400000-00452000 r-xp 00000000 08:02 173521      /usr/bin/dbus\n"
                                "00651000-00652000 rw-p 00051000 08:02 173521 /usr/bin/dbus\n"
                                "00652000-00655000 ---p 00000000 00:00 0\n"
                                "garbage line\n");
    ASSERT_EQ(map.regions().size(), 3u);
    EXPECT_EQ(map.regions()[0].path, "/usr/bin/dbus");
    EXPECT_TRUE(map.regions()[0].executable);
    EXPECT_EQ(map.regions()[1].offset, 0x51000u);
    EXPECT_TRUE(map.isReadable(0x400000, 0x52000));
    EXPECT_FALSE(map.isReadable(0x451fff, 2)); // runs into a gap
    EXPECT_FALSE(map.isReadable(0x652000, 1)); // no access
    EXPECT_EQ(map.find(0x3fffff), nullptr);
    EXPECT_FALSE(map.isReadable(UINTPTR_MAX - 1, 4)); // wraps
}

TEST(SafeRead, ReadsMappedMemoryAndRefusesTheRest) {
    long page = sysconf(_SC_PAGESIZE);
    auto* p = static_cast<char*>(
        mmap(nullptr, 3 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(p, MAP_FAILED);
    p[0] = 'a';
    p[page - 1] = 'z';
    ASSERT_EQ(mprotect(p + page, page, PROT_NONE), 0);
    ASSERT_EQ(munmap(p + 2 * page, page), 0);
    auto base = reinterpret_cast<std::uintptr_t>(p);

    char out[2] = {};
    EXPECT_TRUE(safeRead(base, out, 1));
    EXPECT_EQ(out[0], 'a');
    EXPECT_FALSE(safeRead(base + page - 1, out, 2)); // second byte is not readable
    EXPECT_FALSE(safeRead(base + page, out, 1));
    EXPECT_FALSE(safeRead(base + 2 * page, out, 1)); // unmapped
    EXPECT_FALSE(safeRead(0, out, 1));

    auto map = RegionMap::build();
    EXPECT_TRUE(map.isReadable(base, 1));
    EXPECT_FALSE(map.isReadable(base + page, 1));
    EXPECT_TRUE(safeRead(base, out, 1, 0, &map));
    EXPECT_FALSE(safeRead(base + page - 1, out, 2, 0, &map));
    EXPECT_TRUE(safeRead(base, out, 1, getpid(), &map));
    munmap(p, 2 * page);
}

TEST(TickCount, WrapsAt32BitsAndFollowsTheInstalledClock) {
    ManualClock clock(0x1'0000'0005ull);
    SetClock(&clock);
    EXPECT_EQ(tickCount(), 5u);
    clock.Advance(0xFFFFFFFAull);
    EXPECT_EQ(tickCount(), 0xFFFFFFFFu);
    clock.Advance(1);
    EXPECT_EQ(tickCount(), 0u);
    SetClock(nullptr);
}

} // namespace
} // namespace ax
