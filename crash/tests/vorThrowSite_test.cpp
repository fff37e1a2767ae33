// The throw sites the installed reporter records: each thread keeps the
// list of its last throw, and the list goes with the thread.
#include <gtest/gtest.h>

#include "crash/vorExcept.h"
#include "crash/vorSettings.h"
#include "rtl/scopeguard.h"

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <thread>

using namespace ax;

namespace {

[[gnu::noinline]] void ThrowOnce() {
    throw std::runtime_error("thrown once");
}

bool ThrowAndKeepTheSite() {
    try {
        ThrowOnce();
    } catch (const std::runtime_error&) {
        return CurrentThrowSite() != nullptr && !CurrentThrowSite()->empty();
    }
    return false;
}

} // namespace

TEST(ThrowSite, ThreadsThatThrowLeaveNoListBehind) {
    char tmpl[] = "/tmp/axthrowsiteXXXXXX";
    const std::string folder = ::mkdtemp(tmpl);
    ScopeGuard removeFolder([&] { std::filesystem::remove_all(folder); });
    ReporterSettings().BugReportFile = folder + "/bugreport.txt";
    ReporterRuntime().ConsoleProgram = true;
    ASSERT_TRUE(InstallReporter());
    ScopeGuard uninstall([] { UninstallReporter(); });

    const std::size_t before = LiveThrowSiteLists();
    bool recorded = false;
    std::thread([&] { recorded = ThrowAndKeepTheSite(); }).join();
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer's runtime brings a throw routine of its own, found first.
    if (!recorded) GTEST_SKIP() << "throws are not intercepted under the address sanitizer";
#endif
    EXPECT_TRUE(recorded) << "the throw site was not recorded";
    for (int i = 0; i < 200; ++i)
        std::thread([] { ThrowAndKeepTheSite(); }).join();
    EXPECT_EQ(LiveThrowSiteLists(), before) << "ended threads kept their throw site lists";
}
