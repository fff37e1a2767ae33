#include "crash/vorTools.h"
#include "platform/module.h"
#include "platform/resource.h"
#include "rtl/clock.h"

#include <gtest/gtest.h>

#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

AX_RESOURCE(toolsVersion, "VERSION", "FIXED", "\x02\0\x01\0\x04\0\x03\0");
AX_RESOURCE(toolsText, "VOR", "GREETING", "hello");

namespace ax {

int toolsExported(int x) { return x + 1; }

namespace {

TEST(OsVersion, Windows9xKinds) {
    auto se = ClassifyWindowsVersion(platformWin9x, 4, 10, 0x040A08AE, "");
    EXPECT_EQ(se.Build, 2222u);
    EXPECT_EQ(se.OsKind, 4);
    EXPECT_EQ(se.Kind9x, 4);
    EXPECT_EQ(se.Description, "Windows 98 SE");
    EXPECT_EQ(ClassifyWindowsVersion(platformWin9x, 4, 90, 3000, "").OsKind, 5);
    EXPECT_EQ(ClassifyWindowsVersion(platformWin9x, 4, 0, 950, "").Description, "Windows 95");
    EXPECT_EQ(ClassifyWindowsVersion(platformWin9x, 4, 0, 1111, "").Description, "Windows 95 OSR-2");
    EXPECT_EQ(ClassifyWindowsVersion(platformWin9x, 4, 10, 1998, "").Description, "Windows 98");
    EXPECT_EQ(ClassifyWindowsVersion(platformWin9x, 4, 10, 2701, "").Description, "Windows ME");
    EXPECT_EQ(ClassifyWindowsVersion(platformWin9x, 4, 91, 0, "").Description, "Windows 9x New");
    EXPECT_EQ(ClassifyWindowsVersion(platformWin9x, 3, 0, 0, "").Description, "None");
    EXPECT_TRUE(se.IsWin9x);
    EXPECT_FALSE(se.IsNT);
}

TEST(OsVersion, NtKindsAndServicePacks) {
    auto xp = ClassifyWindowsVersion(platformNT, 5, 1, 2600, "Service Pack 2");
    EXPECT_EQ(xp.Description, "Windows XP Service Pack 2");
    EXPECT_EQ(xp.ServicePackNumber, 2u);
    EXPECT_EQ(xp.KindNT, 10);
    EXPECT_TRUE(xp.IsNT);
    EXPECT_EQ(ClassifyWindowsVersion(platformNT, 3, 51, 0, "").Description, "Windows NT 3");
    EXPECT_EQ(ClassifyWindowsVersion(platformNT, 4, 0, 0, "Service Pack 6a").ServicePackNumber, 6u);
    EXPECT_EQ(ClassifyWindowsVersion(platformNT, 5, 0, 0, "").Description, "Windows 2000");
    EXPECT_EQ(ClassifyWindowsVersion(platformNT, 5, 2, 0, "").Description, "Windows 2003");
    EXPECT_EQ(ClassifyWindowsVersion(platformNT, 5, 3, 0, "").Description, "Windows NT New");
    EXPECT_EQ(ClassifyWindowsVersion(platformNT, 6, 0, 0, "").Description, "Windows NT New");
    EXPECT_EQ(ClassifyWindowsVersion(platformNT, 5, 1, 0, "SP2").ServicePackNumber, 0u);
    EXPECT_EQ(ClassifyWindowsVersion(3, 10, 0, 0, "").OsKind, 0);
    EXPECT_STREQ(OsKindName(200), "None");
}

TEST(OsVersion, RunningSystemReportedAsItIs) {
    utsname u{};
    ASSERT_EQ(uname(&u), 0);
    const auto& v = GetOsVersion();
    EXPECT_EQ(v.Description.rfind(std::string("Linux ") + u.release, 0), 0u) << v.Description;
    EXPECT_EQ(v.OsKind, 0);
    EXPECT_GT(v.Major, 0u);

    // One file per process: the test runs again, at the same time, on the other heap.
    std::string path = testing::TempDir() + "os-release-test-" + std::to_string(getpid());
    {
        std::ofstream f(path);
        f << "NAME=\"Example OS\"\nVERSION=\"7 (seven)\"\n";
    }
    auto sys = ReadLinuxSystem(path);
    EXPECT_EQ(sys.Distribution, "Example OS 7 (seven)");
    {
        std::ofstream f(path);
        f << "PRETTY_NAME=\"Example OS 7\"\nNAME=x\n";
    }
    EXPECT_EQ(ReadLinuxSystem(path).Distribution, "Example OS 7");
    std::remove(path.c_str());
    EXPECT_EQ(GetFreeSystemResources(0), 0);
}

TEST(FileVersion, FromTheVersionResource) {
    auto program = programModule();
    std::uint64_t v = GetFileVersion(program->fileName);
    EXPECT_EQ(v, 0x0001000200030004ull);
    EXPECT_EQ(FileVersionText(static_cast<std::uint32_t>(v >> 32), static_cast<std::uint32_t>(v)),
              "1.2.3.4");
    EXPECT_EQ(GetFileVersion("/nonexistent"), 0u);
    EXPECT_EQ(GetProgramVersion(), 0x0001000200030004ull) << "the loaded image says the same as the file";
}

TEST(Modules, LookupsThroughTheModuleHelper) {
    std::uintptr_t module = 0;
    std::string file;
    ASSERT_TRUE(GetModuleOfAddress(reinterpret_cast<std::uintptr_t>(&toolsExported), module, file));
    EXPECT_EQ(module, programModule()->handle);
    EXPECT_EQ(file, programModule()->fileName);
    EXPECT_FALSE(GetModuleOfAddress(8, module, file));
    EXPECT_EQ(GetResourceString(0, "VOR", "GREETING"), "hello");
    EXPECT_EQ(GetResourceString(0, "VOR", "MISSING"), "");

    std::uintptr_t libc = 0;
    ASSERT_TRUE(GetModuleOfAddress(reinterpret_cast<std::uintptr_t>(&std::fopen), libc, file));
    std::uintptr_t address = GetExportByName(libc, "fopen");
    EXPECT_EQ(address, reinterpret_cast<std::uintptr_t>(&std::fopen));
    EXPECT_FALSE(GetExportName(libc, address, false).empty());
    EXPECT_EQ(GetExportByName(libc, "no_such_name"), 0u);
    EXPECT_NE(GetExportByOrdinal(libc, 1), 0u);
}

TEST(Ticks, ElapsedAcrossTheWrapIsExact) {
    ManualClock clock(0xFFFFFFF0ull);
    SetClock(&clock);
    std::uint32_t start = static_cast<std::uint32_t>(clock.Ticks());
    clock.Advance(0x20);
    EXPECT_EQ(ElapsedTicks(start), 0x20u);
    clock.Advance(5);
    EXPECT_EQ(ElapsedTicks(start), 0x25u);
    EXPECT_EQ(ElapsedTicks(static_cast<std::uint32_t>(clock.Ticks())), 0u);
    SetClock(nullptr);
}

} // namespace
} // namespace ax
