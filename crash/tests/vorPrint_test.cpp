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

const std::string kReport = "date/time         : 2026-12-06, 10:11:12, 13ms\r\n"
                            "exception class   : EAccessViolation\r\n"
                            "exception message : Access violation at address 00401000.\r\n"
                            "\r\n"
                            "main thread ($1a2b):\r\n"
                            "00401000 +00 ardentix mainunit.cpp 120 TMainform::WriteZbtnClick";

std::string FindProgram(const std::string& name) {
    for (const char* dir : {"/usr/sbin", "/usr/bin", "/sbin", "/bin"})
        if (::access((std::string(dir) + "/" + name).c_str(), X_OK) == 0)
            return std::string(dir) + "/" + name;
    return {};
}

std::string CommandOutput(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            out.append(buffer, n);
        ::pclose(pipe);
    }
    return out;
}

// The text of a PDF, each run of blanks made one space, lines trimmed.
std::vector<std::string> PdfLines(const std::string& pdfFile) {
    std::istringstream text(CommandOutput("pdftotext -layout '" + pdfFile + "' - 2>/dev/null"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) {
        std::string squeezed;
        for (char c : line)
            if (c != ' ' || (!squeezed.empty() && squeezed.back() != ' ')) squeezed += c;
        while (!squeezed.empty() && squeezed.back() == ' ')
            squeezed.pop_back();
        if (!squeezed.empty() && squeezed[0] == '\f') squeezed.erase(0, 1); // a page break
        lines.push_back(squeezed);
    }
    return lines;
}

std::uint16_t FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    ::close(fd);
    return ntohs(a.sin_port);
}

std::string LoopbackServer(std::uint16_t port) {
    return "127.0.0.1:" + std::to_string(port);
}

// A scheduler of our own: its configuration, spool and logs in a private
// folder, listening on a free loopback port, with the printer "pdffile"
// as its default, which writes each job as PDF into Output().
class PrivateCups {
public:
    bool Start(std::string* error);
    void Stop();
    const std::string& Server() const { return server_; }
    std::string Output() const { return folder_ + "/out/pdffile.pdf"; }
    // Whether every job has left the queue (bounded).
    bool WaitIdle() const;

private:
    void WriteConfig(std::uint16_t port) const;
    std::string folder_, server_;
    pid_t pid_ = -1;
};

void PrivateCups::WriteConfig(std::uint16_t port) const {
    for (const char* sub : {"/etc", "/spool/tmp", "/cache", "/state", "/log", "/out"})
        fs::create_directories(folder_ + sub);
    std::ofstream(folder_ + "/etc/cups-files.conf")
        << "ServerRoot " << folder_ << "/etc\nRequestRoot " << folder_ << "/spool\nTempDir "
        << folder_ << "/spool/tmp\nCacheDir " << folder_ << "/cache\nStateDir " << folder_
        << "/state\nAccessLog " << folder_ << "/log/access_log\nErrorLog " << folder_
        << "/log/error_log\nPageLog " << folder_
        << "/log/page_log\nFileDevice Yes\nUser lp\nGroup lp\nSystemGroup root\n";
    std::ofstream(folder_ + "/etc/cupsd.conf")
        << "LogLevel warn\nListen " << LoopbackServer(port)
        << "\nBrowsing No\nWebInterface No\nDefaultAuthType None\n"
           "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
           "<Location /admin>\n  Order allow,deny\n  Allow all\n</Location>\n"
           "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n";
    // A driver that makes the scheduler hand the device PDF.
    std::ofstream(folder_ + "/pdf.ppd")
        << "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n*LanguageVersion: "
           "English\n"
           "*LanguageEncoding: ISOLatin1\n*PCFileName: \"PDFFILE.PPD\"\n*Manufacturer: \"Test\"\n"
           "*Product: \"(PDF file)\"\n*ModelName: \"PDF file\"\n*ShortNickName: \"PDF file\"\n"
           "*NickName: \"PDF file\"\n*PSVersion: \"(3010.000) 0\"\n*LanguageLevel: "
           "\"3\"\n*ColorDevice: True\n"
           "*DefaultColorSpace: RGB\n*FileSystem: False\n*Throughput: "
           "\"1\"\n*LandscapeOrientation: Plus90\n"
           "*TTRasterizer: Type42\n*cupsFilter2: \"application/vnd.cups-pdf application/pdf 0 -\"\n"
           "*OpenUI *PageSize/Page Size: PickOne\n*DefaultPageSize: A4\n"
           "*PageSize A4/A4: \"<</PageSize[595 842]>>setpagedevice\"\n*CloseUI: *PageSize\n"
           "*OpenUI *PageRegion: PickOne\n*DefaultPageRegion: A4\n"
           "*PageRegion A4/A4: \"<</PageSize[595 842]>>setpagedevice\"\n*CloseUI: *PageRegion\n"
           "*DefaultImageableArea: A4\n*ImageableArea A4/A4: \"18 36 577 "
           "806\"\n*DefaultPaperDimension: A4\n"
           "*PaperDimension A4/A4: \"595 842\"\n";
}

bool PrivateCups::Start(std::string* error) {
    char pattern[] = "/tmp/axcupsXXXXXX";
    folder_ = ::mkdtemp(pattern);
    const std::uint16_t port = FreePort();
    server_ = LoopbackServer(port);
    WriteConfig(port);
    // The scheduler runs as root and starts its filters as lp.
    if (std::system(("chown -R root:lp " + folder_ + " && chmod -R g+rwX " + folder_).c_str()) != 0)
        return *error = "cannot hand the folder to lp", false;
    // Its client side (lpadmin, and libcups here) reads this folder only.
    ::setenv("CUPS_SERVERROOT", (folder_ + "/etc").c_str(), 1);
    ::setenv("CUPS_SERVER", server_.c_str(), 1);
    ::unsetenv("LPDEST");
    ::unsetenv("PRINTER");
    const std::string cupsd = FindProgram("cupsd"), conf = folder_ + "/etc/cupsd.conf",
                      files = folder_ + "/etc/cups-files.conf";
    const char* argv[] = {cupsd.c_str(), "-f", "-c", conf.c_str(), "-s", files.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, (folder_ + "/log/stdout").c_str(),
                                     O_WRONLY | O_CREAT, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const int spawned =
        posix_spawn(&pid_, cupsd.c_str(), &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return pid_ = -1, *error = "cupsd did not start", false;
    const auto until = Clock::now() + std::chrono::seconds(5);
    while (CommandOutput("lpstat -h " + server_ + " -r 2>/dev/null").find("is running") ==
           std::string::npos) {
        if (Clock::now() > until) return *error = "cupsd does not answer", false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const std::string admin = "lpadmin -h " + server_;
    if (std::system((admin + " -p pdffile -E -v file://" + Output() + " -P " + folder_ +
                     "/pdf.ppd 2>/dev/null")
                        .c_str()) != 0 ||
        std::system((admin + " -d pdffile").c_str()) != 0)
        return *error = "lpadmin could not add the printer", false;
    return true;
}

void PrivateCups::Stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    if (!folder_.empty()) fs::remove_all(folder_);
    ::unsetenv("CUPS_SERVER");
    ::unsetenv("CUPS_SERVERROOT");
}

bool PrivateCups::WaitIdle() const {
    const auto until = Clock::now() + std::chrono::seconds(8);
    while (Clock::now() < until) {
        std::error_code ec;
        if (CommandOutput("lpstat -h " + server_ + " -o pdffile 2>/dev/null").empty() &&
            fs::file_size(Output(), ec) > 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

std::vector<UINT> Beeps() {
    std::vector<UINT> types;
    for (const SoundRequest& r : TakeSoundRequests())
        if (r.kind == SoundRequest::Beep) types.push_back(r.beepType);
    return types;
}

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
        if (FindProgram("pdftotext").empty())
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
    EXPECT_EQ(Beeps(), std::vector<UINT>{0});
    EXPECT_NE(box.Box->Button(bbPrint), nullptr) << "the user may try again";
    EXPECT_TRUE(IsWindow(box.Box->Window()));
}

// One scheduler for the whole program: it takes almost two seconds to stop.
class PrintThroughCups : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (::geteuid() != 0)
            skip = "needs root: the private cupsd runs as root";
        else if (FindProgram("cupsd").empty() || FindProgram("lpadmin").empty())
            skip = "cupsd or lpadmin is not installed (packages cups, cups-client)";
        else if (FindProgram("pdftotext").empty())
            skip = "pdftotext is not installed (package poppler-utils)";
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
    EXPECT_EQ(Beeps(), std::vector<UINT>{64});
    EXPECT_EQ(PrintedLines(), kReportLines);
}

} // namespace
} // namespace ax
