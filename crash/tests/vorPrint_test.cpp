// Printing the bug report: the pages laid out (read back with pdftotext),
// a real print through a private CUPS scheduler on its own port and folder
// with a printer on a file device, the box's print button on the headless
// display, and every way the print road can fail without holding the box.
#include "crash/vorExcept.h"
#include "crash/vorExceptBox.h"
#include "crash/vorPrint.h"
#include "crash/vorSettings.h"
#include "platform/gdi/image.h"
#include "platform/window/display.h"
#include "platform/window/sound.h"
#include "platform/window/window.h"
#include "rtl/clock.h"
#include "support/private_cups.h"
#include "support/beeps.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cups/cups.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace ax {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using test::CommandOutput;
using test::FreePort;
using test::LoopbackServer;
using test::PdfLines;
using test::PrivateCups;

const std::string kReport = "date/time         : 2026-12-06, 10:11:12, 13ms\r\n"
                            "exception class   : EAccessViolation\r\n"
                            "exception message : Access violation at address 00401000.\r\n"
                            "\r\n"
                            "main thread ($1a2b):\r\n"
                            "00401000 +00 ardentix mainunit.cpp 120 TMainform::WriteZbtnClick";








// A port nobody listens on, as the client library is told to use it.
void UseClosedServer() {
    cupsSetServer(LoopbackServer(FreePort()).c_str());
}

// The box on the headless display, driven on the test's own thread (the
// print runs where the box runs) on the injected clock.
class BoxDriver {
public:
    BoxDriver() {
        SelectDisplay(DisplayKind::Headless);
        SetTestFont(true);
        SetClock(&clock_);
        saved_ = ReporterSettings();
        ReporterSettings().PrintButtonCaption = "print bug report";
        ReporterSettings().AutoSaveReport = false;
        ReporterRuntime().ConsoleProgram = false;
        SetActionHandler([this](int action) {
            Actions.push_back(action);
            return action == bbClose || action == bbRestart; // the process stays
        });
        Box = std::make_unique<TExceptionBox>(true, false, kReport, "Access violation");
        Pump();
        TakeSoundRequests();
    }
    ~BoxDriver() {
        Box.reset();
        SetActionHandler(nullptr);
        ReporterSettings() = saved_;
        SetClock(nullptr);
    }
    static void Pump() {
        MSG msg;
        for (int i = 0; i < 10000 && PeekMessage(msg, nullptr, 0, 0, PM_REMOVE); ++i)
            DispatchMessage(msg);
    }
    void Advance(std::uint64_t ms) {
        clock_.Advance(ms);
        Pump();
    }
    void Click(int button) {
        SendMessage(Box->Window(), WM_COMMAND, static_cast<WPARAM>(button), 0);
    }

    std::unique_ptr<TExceptionBox> Box;
    std::vector<int> Actions;

private:
    ManualClock clock_;
    VorSettings saved_;
};

const std::vector<std::string> kReportLines = {
    "date/time : 2026-12-06, 10:11:12, 13ms",
    "exception class : EAccessViolation",
    "exception message : Access violation at address 00401000.",
    "",
    "main thread ($1a2b):",
    "00401000 +00 ardentix mainunit.cpp 120 TMainform::WriteZbtnClick",
};

class PrintPages : public ::testing::Test {
protected:
    void SetUp() override {
        if (test::FindSystemProgram("pdftotext").empty())
            GTEST_SKIP() << "pdftotext is not installed (package poppler-utils)";
        char pattern[] = "/tmp/axprintXXXXXX";
        folder = ::mkdtemp(pattern);
    }
    void TearDown() override {
        if (!folder.empty()) fs::remove_all(folder);
    }
    std::vector<std::string> Printed(const std::string& report) {
        const std::string file = folder + "/report.pdf";
        std::ofstream(file, std::ios::binary) << BugReportPdf(report);
        return PdfLines(file);
    }
    std::string folder;
};

TEST_F(PrintPages, HoldTheReportLineByLine) {
    std::vector<std::string> lines = Printed(kReport);
    while (!lines.empty() && lines.back().empty())
        lines.pop_back();
    EXPECT_EQ(lines, kReportLines);
}

TEST_F(PrintPages, WrapLongLinesAndGoOnOverFurtherPages) {
    std::string longLine;
    for (int i = 0; i < 20; ++i)
        longLine += "word" + std::to_string(i) + "-abcdefgh ";
    std::string report = kReport + "\r\n" + longLine + "\r\n";
    for (int i = 1; i <= 150; ++i)
        report += "line " + std::to_string(i) + "\r\n";
    const std::vector<std::string> lines = Printed(report);
    std::string all;
    int pages = 0;
    for (const auto& l : lines)
        all += l + " ";
    for (const auto& l : CommandOutput("pdftotext '" + folder + "/report.pdf' -"))
        pages += l == '\f';
    EXPECT_NE(all.find("word0-abcdefgh"), std::string::npos);
    EXPECT_NE(all.find("word19-abcdefgh"), std::string::npos)
        << "the end of a long line is printed, not cut";
    EXPECT_GT(std::count(lines.begin(), lines.end(), std::string("line 150")), 0)
        << "the last line is printed";
    EXPECT_EQ(pages, 3) << "159 rows of 9 pt type, about 73 a page";
    // The first page as a picture beside the test, to look at.
    std::system(
        ("pdftoppm -png -r 70 -singlefile '" + folder + "/report.pdf' printed_report").c_str());
}

TEST_F(PrintPages, TakeBytesThatAreNotText) {
    const std::vector<std::string> lines = Printed("abc\xff\xfe"
                                                   "def\x01ghi");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "abc\xEF\xBF\xBD\xEF\xBF\xBD"
                        "def\xEF\xBF\xBDghi")
        << "each stray byte shows as a replacement";
}

TEST(PrintFailures, NoServerIsReportedAtOnce) {
    UseClosedServer();
    std::string error;
    EXPECT_FALSE(PrintBugReport(kReport, &error));
    EXPECT_NE(error.find("No print server answers at 127.0.0.1:"), std::string::npos) << error;
}

TEST(PrintFailures, ASilentServerIsGivenUp) {
    // Listens, so connecting works, but never answers.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(fd, 4), 0);
    socklen_t n = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    cupsSetServer(LoopbackServer(ntohs(a.sin_port)).c_str());
    const TPrintServer saved = PrintServer();
    PrintServer().ReplyTimeoutMs = 300;
    std::string error;
    EXPECT_FALSE(PrintBugReport(kReport, &error));
    EXPECT_FALSE(error.empty());
    PrintServer() = saved;
    ::close(fd);
}

TEST(PrintFailures, TheBoxBeepsPlainlyAndKeepsItsButton) {
    UseClosedServer();
    BoxDriver box;
    ReporterSettings().ButtonFeedback = false;
    ASSERT_NE(box.Box->Button(bbPrint), nullptr);
    box.Click(bbPrint);
    EXPECT_EQ(box.Actions, std::vector<int>{bbPrint});
    EXPECT_EQ(test::TakeBeeps(), std::vector<UINT>{0});
    EXPECT_NE(box.Box->Button(bbPrint), nullptr) << "the user may try again";
    EXPECT_TRUE(IsWindow(box.Box->Window()));
}

// One scheduler for the whole program: it takes almost two seconds to stop.
class PrintThroughCups : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        skip = test::PrivateCupsUnavailable();
        if (!skip.empty()) return;
        cups = new PrivateCups;
        if (!cups->Start(&startError)) startError += " (see the folder's log)";
    }
    static void TearDownTestSuite() {
        if (cups) cups->Stop();
        delete cups;
        cups = nullptr;
    }
    void SetUp() override {
        if (!skip.empty()) GTEST_SKIP() << skip;
        ASSERT_TRUE(startError.empty()) << startError;
        cupsSetServer(cups->Server().c_str());
        fs::remove(cups->Output());
    }
    std::vector<std::string> PrintedLines() const {
        EXPECT_TRUE(cups->WaitIdle()) << "the job did not come out";
        std::vector<std::string> lines = PdfLines(cups->Output());
        lines.resize(kReportLines.size());
        return lines;
    }
    static inline PrivateCups* cups = nullptr;
    static inline std::string skip, startError;
};

TEST_F(PrintThroughCups, TheReportComesOutOfTheDefaultPrinter) {
    std::string error;
    ASSERT_TRUE(PrintBugReport(kReport, &error)) << error;
    EXPECT_EQ(PrintedLines(), kReportLines);
}

TEST_F(PrintThroughCups, TheBoxPrintsAfterItsFlashAndBeeps) {
    BoxDriver box;
    box.Click(bbPrint);
    EXPECT_TRUE(box.Box->Flashing());
    EXPECT_TRUE(box.Actions.empty()) << "the print follows the flash";
    box.Advance(400);
    EXPECT_EQ(box.Actions, std::vector<int>{bbPrint});
    EXPECT_EQ(test::TakeBeeps(), std::vector<UINT>{64});
    EXPECT_EQ(PrintedLines(), kReportLines);
}

} // namespace
} // namespace ax
