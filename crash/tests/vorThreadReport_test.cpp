// The thread part of a report when every other thread is busy: each thread
// named, each trace starting in the thread's own routine.
#include "crash/vorBugReport.h"

#include "crash/vorSettings.h"
#include "crash/vorThreadList.h"
#include "platform/thread_hooks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace ax {
namespace {

constexpr int kSpinners = 32;
std::atomic<int> g_spinning{0};
bool g_stop = false; // read with the compiler's atomic built-ins: no call in the loop

// One routine a thread, so that a trace taken from another thread's slot
// names another routine.
template <int N>
__attribute__((noinline)) void Spin() {
    g_spinning.fetch_add(1);
    while (!__atomic_load_n(&g_stop, __ATOMIC_ACQUIRE)) asm volatile("" ::: "memory");
}

template <std::size_t... N>
std::vector<void (*)()> Routines(std::index_sequence<N...>) {
    return {&Spin<static_cast<int>(N)>...};
}

// The report's section of the thread whose title starts with title.
std::string Section(const std::string& report, const std::string& title) {
    const auto at = report.find("\r\n\r\n" + title + " (");
    if (at == std::string::npos) return {};
    const auto end = report.find("\r\n\r\n", at + 4);
    return report.substr(at + 4, end == std::string::npos ? std::string::npos : end - at - 4);
}

TEST(ThreadReport, EveryBusyThreadIsNamedAndTracedFromItsOwnRoutine) {
    ASSERT_TRUE(OpenThreadList());
    ReporterSettings().ReportAllThreads = true;
    __atomic_store_n(&g_stop, false, __ATOMIC_RELEASE);
    const auto routines = Routines(std::make_index_sequence<kSpinners>());
    std::vector<std::thread> threads;
    for (int i = 0; i < kSpinners; ++i)
        threads.emplace_back([i, &routines] {
            RegisterThread(CurrentThreadId(), "spinner " + std::to_string(i));
            routines[i]();
            UnregisterThread(CurrentThreadId());
        });
    for (int i = 0; i < 20000000 && g_spinning.load() < kSpinners; ++i) std::this_thread::yield();
    ASSERT_EQ(g_spinning.load(), kSpinners);

    TBugReportInput in;
    in.Frozen = true;
    std::uintptr_t entry = 0;
    const std::string report = GetThreadReport(in, &entry);
    __atomic_store_n(&g_stop, true, __ATOMIC_RELEASE);
    for (auto& t : threads) t.join();
    CloseThreadList();

    for (int i = 0; i < kSpinners; ++i) {
        const std::string section = Section(report, "spinner " + std::to_string(i));
        ASSERT_FALSE(section.empty()) << "spinner " << i << " is missing:\n" << report;
        // The title line, then the innermost frame: the thread's own routine.
        const auto first = section.find("\r\n");
        ASSERT_NE(first, std::string::npos) << section;
        const std::string frame = section.substr(first + 2, section.find("\r\n", first + 2) - first - 2);
        EXPECT_NE(frame.find("Spin<" + std::to_string(i) + ">"), std::string::npos) << section;
    }
}

} // namespace
} // namespace ax
