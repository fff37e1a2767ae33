#include "crash/vorBugReport.h"

#include "crash/vorMsgWindows.h"
#include "crash/vorRestart.h"
#include "crash/vorSettings.h"
#include "platform/window/window.h"
#include "rtl/clock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <chrono>
#include <thread>

namespace ax {
namespace {

TEST(ReportTexts, DurationTakesTheTwoLargestParts) {
    EXPECT_EQ(DurationText(0), "");
    EXPECT_EQ(DurationText(1), "1 second ");
    EXPECT_EQ(DurationText(61), "1 minute 1 second ");
    EXPECT_EQ(DurationText(125), "2 minutes 5 seconds ");
    EXPECT_EQ(DurationText(3600), "1 hour ");
    EXPECT_EQ(DurationText(3 * 3600 + 59 * 60 + 59), "3 hours 59 minutes ");
    EXPECT_EQ(DurationText(90061), "1 day 1 hour ");
    EXPECT_EQ(DurationText(2 * 86400 + 59), "2 days ");
}

TEST(ReportTexts, MessageKeepsOneTrailingMarkAndGainsAFullStop) {
    EXPECT_EQ(TrimmedMessage("Boom!!"), "Boom!.");
    EXPECT_EQ(TrimmedMessage("Division by zero"), "Division by zero.");
    EXPECT_EQ(TrimmedMessage("Stack overflow."), "Stack overflow..");
    EXPECT_EQ(TrimmedMessage("x...!"), "x..");
}

TEST(ReportTexts, ClassAndMessage) {
    std::string cls, msg;
    ExceptionClassAndMessage(nullptr, cls, msg);
    EXPECT_EQ(cls, "Unknown");
    EXPECT_EQ(msg, "Unknown");
    const TExceptionObject noMessage{"TStringList", ""};
    ExceptionClassAndMessage(&noMessage, cls, msg);
    EXPECT_EQ(msg, cls) << "the class name stands for the message, so no message line";
}

class ReportWithClock : public ::testing::Test {
protected:
    void SetUp() override {
        SetClock(&clock);
        saved = ReporterSettings();
        ExceptionHistory() = {};
    }
    void TearDown() override {
        ReporterSettings() = saved;
        SetClock(nullptr);
        ExceptionHistory() = {};
    }
    ManualClock clock{1000, 45000.5}; // 2023-03-15, 12:00
    VorSettings saved;
};

TEST_F(ReportWithClock, HeaderLinesDateUpTimeAndException) {
    MarkProgramStart();
    clock.Advance(500);
    TExceptionObject object{"EAccessViolation", "Access violation at address 00401000!!"};
    TBugReportInput in;
    in.Object = &object;
    const std::string h = GetReportHeader(in);
    EXPECT_EQ(h.rfind("date/time         : 2023-03-15, 12:00:00, 500ms\r\n", 0), 0u) << h;
    EXPECT_NE(h.find("\r\nprogram up time   : 500 milliseconds\r\n"), std::string::npos) << h;
    EXPECT_NE(h.find("\r\nvorExcept version : 2.7i\r\nexception class   : EAccessViolation\r\n"
                     "exception message : Access violation at address 00401000!."),
              std::string::npos);
    EXPECT_EQ(h.substr(h.size() - 2), "!.") << "no line break after the last line";
    clock.Advance(61000);
    EXPECT_NE(GetReportHeader(in).find("\r\nprogram up time   : 1 minute 1 second \r\n"), std::string::npos);
    in.Frozen = true;
    const std::string frozen = GetReportHeader(in);
    EXPECT_EQ(frozen.substr(frozen.size() - 55), "exception message : The application seems to be frozen.");
    EXPECT_EQ(frozen.find("exception class"), std::string::npos);
}

TEST_F(ReportWithClock, HistoryDecidesAfterTenExceptionsWithinTheWindow) {
    EXPECT_TRUE(CheckHistory(1));
    EXPECT_FALSE(CheckHistory(0));
    for (int i = 0; i < 9; ++i) {
        RecordExceptionTime();
        clock.Advance(5000);
    }
    EXPECT_FALSE(CheckHistory(60)) << "nine are not ten";
    RecordExceptionTime();
    EXPECT_TRUE(CheckHistory(60));
    EXPECT_FALSE(CheckHistory(44)) << "the oldest lies 45 seconds back";
    clock.Advance(20000);
    EXPECT_FALSE(CheckHistory(60));
    EXPECT_EQ(ExceptionHistory()[0] - ExceptionHistory()[9], 45);
    EXPECT_EQ(RestartMappingName(0x1a2b), "vorExceptRestart$1a2b");
}

TEST(ReportFile, TrimKeepsWholeReportsFromALineStart) {
    const std::string one = "date/time         : 1\r\nxx date/time yy\r\n\r\n\r\n";
    const std::string two = "date/time         : 2\r\nshort\r\n\r\n\r\n";
    const std::string content = one + two;
    // Room for the second report only: the "date/time" inside a line is no start.
    EXPECT_EQ(TrimReportFile(content, static_cast<std::int32_t>(two.size() + two.size() / 2)), two);
    EXPECT_EQ(TrimReportFile(content, 0), content);
    EXPECT_EQ(TrimReportFile(content, 1000), content);
}

TEST(ReportFile, NameFromTheSettingAndFallbackWhenTheFolderCannotBeWritten) {
    const VorSettings saved = ReporterSettings();
    char tmpl[] = "/tmp/axreportXXXXXX";
    const std::string folder = ::mkdtemp(tmpl);
    ReporterSettings().BugReportFile = "%appname%.txt";
    EXPECT_EQ(std::filesystem::path(BugReportFileName()).filename(), "crash_vorBugReport_test.txt");
    EXPECT_EQ(std::filesystem::path(BugReportFileName()).parent_path(),
              std::filesystem::canonical("/proc/self/exe").parent_path());
    // A folder that cannot be made: the report goes to the user's state folder.
    ReporterSettings().BugReportFile = "/proc/self/nothing/bugreport.txt";
    ::setenv("XDG_STATE_HOME", folder.c_str(), 1);
    std::string savedAs;
    ASSERT_TRUE(SaveBugReport("date/time         : x", true, &savedAs));
    EXPECT_EQ(savedAs, folder + "/crash_vorBugReport_test/bugreport.txt");
    std::ifstream in(savedAs, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    EXPECT_EQ(s.str(), "date/time         : x\r\n\r\n");
    // Appending with a maximum size keeps whole reports.
    ReporterSettings().BugReportFile = folder + "/append.txt";
    ReporterSettings().BugReportFileMaxSize = 100;
    for (int i = 0; i < 5; ++i) SaveBugReport("date/time         : " + std::string(30, 'a' + i), true);
    std::ifstream again(folder + "/append.txt", std::ios::binary);
    std::stringstream t;
    t << again.rdbuf();
    EXPECT_EQ(t.str(), "date/time         : " + std::string(30, 'e') + "\r\n\r\n");
    ::unsetenv("XDG_STATE_HOME");
    ReporterSettings() = saved;
    std::filesystem::remove_all(folder);
}

// The watchdog probes the main thread's queue on the injected clock.
TEST_F(ReportWithClock, WatchdogReportsAFrozenThreadOnceAndThenProbesSlower) {
    char tmpl[] = "/tmp/axdogXXXXXX";
    const std::string folder = ::mkdtemp(tmpl);
    ReporterSettings().FreezeTimeout = 1000;
    ReporterSettings().BugReportFile = folder + "/bugreport.txt";
    ReporterSettings().AutoShowBox = false;
    ReporterRuntime().ConsoleProgram = true;
    ASSERT_NE(MsgHandlerWindow(0), nullptr);
    ASSERT_TRUE(StartFreezeWatchdog());
    // This thread answers nothing: ten periods of 100 ms are ten misses.
    // Bounded in real time: the report is composed meanwhile.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (WatchdogState().Period != 150 && std::chrono::steady_clock::now() < until) {
        clock.Advance(10);
        std::this_thread::yield();
    }
    EXPECT_EQ(WatchdogState().Reports, 1);
    EXPECT_EQ(WatchdogState().Period, 150u) << "the probing slows by half";
    EXPECT_TRUE(std::filesystem::exists(folder + "/bugreport.txt"));
    // Answering brings the period back.
    while (WatchdogState().Period != 100 && std::chrono::steady_clock::now() < until + std::chrono::seconds(30)) {
        MSG msg;
        while (PeekMessage(msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(msg);
        clock.Advance(10);
        std::this_thread::yield();
    }
    EXPECT_EQ(WatchdogState().Period, 100u);
    EXPECT_EQ(WatchdogState().Reports, 1);
    StopFreezeWatchdog();
    EXPECT_FALSE(FreezeWatchdogRunning());
    ReporterRuntime().ConsoleProgram = false;
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace ax
