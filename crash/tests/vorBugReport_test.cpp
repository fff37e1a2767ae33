#include "crash/vorBugReport.h"

#include "crash/vorMsgWindows.h"
#include "crash/vorRestart.h"
#include "crash/vorSettings.h"
#include "platform/window/window.h"
#include "rtl/clock.h"

#include "other_user.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
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

using test::AsNobody;
using test::kNobody;

std::string ReadText(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

mode_t ModeOf(const std::string& path) {
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// A report holds private data: wherever it lands, only its user reads it.
class ReportPlaces : public ::testing::Test {
protected:
    void SetUp() override {
        saved = ReporterSettings();
        char tmpl[] = "/tmp/axplacesXXXXXX";
        folder = ::mkdtemp(tmpl);
        ::chmod(folder.c_str(), 0755);
        ::setenv("XDG_STATE_HOME", (folder + "/state").c_str(), 1);
        if (const char* home = std::getenv("HOME")) savedHome = home;
    }
    void TearDown() override {
        ::unsetenv("XDG_STATE_HOME");
        if (!savedHome.empty()) ::setenv("HOME", savedHome.c_str(), 1);
        ReporterSettings() = saved;
        std::filesystem::remove_all(folder);
    }
    VorSettings saved;
    std::string folder, savedHome;
};

TEST_F(ReportPlaces, TheFallbackIsTheUsersOwnFolderAndReportsAreTheUsersAlone) {
    // Beside the program (here a folder of the test's) the report is 0600,
    // also when it replaces one that others could read.
    ReporterSettings().BugReportFile = folder + "/bugreport.txt";
    std::ofstream(folder + "/bugreport.txt") << "date/time         : old\r\n\r\n";
    ::chmod((folder + "/bugreport.txt").c_str(), 0644);
    std::string savedAs;
    ASSERT_TRUE(SaveBugReport("date/time         : x", true, &savedAs));
    EXPECT_EQ(savedAs, folder + "/bugreport.txt");
    EXPECT_EQ(ModeOf(savedAs), 0600u);

    // The fallback: the state folder, a folder of the program's name 0700.
    ReporterSettings().BugReportFile = "/proc/self/nothing/bugreport.txt";
    const std::string fallback = folder + "/state/crash_vorBugReport_test";
    ASSERT_TRUE(SaveBugReport("date/time         : y", true, &savedAs));
    EXPECT_EQ(savedAs, fallback + "/bugreport.txt");
    EXPECT_EQ(ModeOf(fallback), 0700u);
    EXPECT_EQ(ModeOf(savedAs), 0600u);
    if (::geteuid() == 0) {
        EXPECT_EQ(AsNobody([&] { return ::open(savedAs.c_str(), O_RDONLY) < 0 && errno == EACCES ? 0 : 1; }), 0)
            << "another user read the report";
    }

    // A folder of ours that others may enter is narrowed first.
    ASSERT_EQ(::chmod(fallback.c_str(), 0755), 0);
    ASSERT_TRUE(SaveBugReport("date/time         : z", true, &savedAs));
    EXPECT_EQ(ModeOf(fallback), 0700u);

    // Without XDG_STATE_HOME: ~/.local/state, never a shared folder.
    ::unsetenv("XDG_STATE_HOME");
    ::setenv("HOME", (folder + "/home").c_str(), 1);
    EXPECT_EQ(FallbackReportFileName(), folder + "/home/.local/state/crash_vorBugReport_test/bugreport.txt");
    ::unsetenv("HOME");
    const passwd* user = ::getpwuid(::geteuid());
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(FallbackReportFileName(),
              std::string(user->pw_dir) + "/.local/state/crash_vorBugReport_test/bugreport.txt");
}

TEST_F(ReportPlaces, AFallbackFolderThatIsALinkOrAnotherUsersIsRefused) {
    ReporterSettings().BugReportFile = "/proc/self/nothing/bugreport.txt";
    ASSERT_EQ(::mkdir((folder + "/state").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((folder + "/elsewhere").c_str(), 0700), 0);
    const std::string fallback = folder + "/state/crash_vorBugReport_test";
    ASSERT_EQ(::symlink((folder + "/elsewhere").c_str(), fallback.c_str()), 0);
    EXPECT_FALSE(SaveBugReport("date/time         : x", true));
    EXPECT_TRUE(std::filesystem::is_empty(folder + "/elsewhere"));

    if (::geteuid() != 0) return;
    ASSERT_EQ(::unlink(fallback.c_str()), 0);
    ASSERT_EQ(::mkdir(fallback.c_str(), 0777), 0);
    ASSERT_EQ(::chown(fallback.c_str(), kNobody, kNobody), 0);
    EXPECT_FALSE(SaveBugReport("date/time         : x", true));
    EXPECT_TRUE(std::filesystem::is_empty(fallback));
}

// A report beside a program in a shared folder does not follow a link
// another user planted under its name: it goes to the fallback.
TEST_F(ReportPlaces, ALinkAnotherUserPlantedForTheReportIsNotFollowed) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
    const std::string shared = folder + "/shared";
    ASSERT_EQ(::mkdir(shared.c_str(), 01777), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    const std::string victim = folder + "/victim";
    std::ofstream(victim) << "the victim's bytes";
    const std::string planted = shared + "/bugreport.txt";
    ASSERT_EQ(AsNobody([&] { return ::symlink(victim.c_str(), planted.c_str()) == 0 ? 0 : 1; }), 0);
    ReporterSettings().BugReportFile = planted;
    std::string savedAs;
    ASSERT_TRUE(SaveBugReport("date/time         : x", true, &savedAs));
    EXPECT_EQ(savedAs, folder + "/state/crash_vorBugReport_test/bugreport.txt");
    EXPECT_EQ(ReadText(victim), "the victim's bytes");
    EXPECT_EQ(ReadText(savedAs), "date/time         : x\r\n\r\n");
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
