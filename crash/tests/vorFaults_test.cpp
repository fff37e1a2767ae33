// The test program fails in each way the reporter must catch; every run
// must leave a complete "bugreport.txt" and end with the status the
// settings say.
#include "crash/vorTraceExport.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

int FaultLine(const std::string& mode, const std::string& mark = "FAULT") {
    std::istringstream in(ReadFile(AX_FAULTER_SOURCE));
    std::string line;
    for (int n = 1; std::getline(in, line); ++n)
        if (line.find("// " + mark + ":" + mode) != std::string::npos) return n;
    return -1;
}

struct TRun {
    bool Ended = false;
    int Status = -1;
    std::string Folder;
    std::string Report;
    std::string Out;
};

TRun RunFaulter(const std::string& mode, const std::string& extra = "", rlim_t stackLimit = 0) {
    TRun run;
    char tmpl[] = "/tmp/axfaultXXXXXX";
    run.Folder = ::mkdtemp(tmpl);
    const pid_t child = ::fork();
    if (child == 0) {
        if (stackLimit != 0) {
            rlimit limit{stackLimit, stackLimit};
            ::setrlimit(RLIMIT_STACK, &limit);
        }
        // The test program carries its own heap; a preloaded one stays out.
        ::unsetenv("LD_PRELOAD");
        const int out = ::open((run.Folder + "/stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, 1);
        std::vector<const char*> argv = {AX_FAULTER, mode.c_str(), run.Folder.c_str()};
        if (!extra.empty()) argv.push_back(extra.c_str());
        argv.push_back(nullptr);
        ::execv(AX_FAULTER, const_cast<char* const*>(argv.data()));
        ::_exit(127);
    }
    // Bounded: the child ends by itself; a minute is a failure, not a pace.
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
    pollfd p{fd, POLLIN, 0};
    run.Ended = ::poll(&p, 1, 60000) == 1;
    if (!run.Ended) ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(fd);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.Report = ReadFile(run.Folder + "/bugreport.txt");
    run.Out = ReadFile(run.Folder + "/stdout.txt");
    return run;
}

// The header labels in report order (those this system always writes).
void ExpectHeader(const std::string& report) {
    std::size_t at = 0;
    for (const char* label : {"date/time         : ", "computer name     : ", "user name         : ",
                              "operating system  : ", "program up time   : ", "process id        : $",
                              "allocated memory  : ", "command line      : ", "executable        : crash_faulter\r\n",
                              "vorExcept version : 2.7i\r\n"}) {
        const std::size_t found = report.find(label, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << label << "\n" << report.substr(0, 2000);
        at = found;
    }
    EXPECT_EQ(report.compare(0, 20, "date/time         : "), 0);
}

// A frame line of the faulter: its unit, the line and the function.
void ExpectFrame(const std::string& report, int line, const std::string& function) {
    std::istringstream in(report);
    std::string l;
    while (std::getline(in, l)) {
        if (l.find(" faulter.cpp ") != std::string::npos && l.find(" " + std::to_string(line) + " ") != std::string::npos &&
            l.find(function) != std::string::npos)
            return;
    }
    ADD_FAILURE() << "no frame " << function << " at faulter.cpp " << line << " in\n" << report;
}

void ExpectComplete(const TRun& run, const std::string& exceptionLines, const std::string& function,
                    const std::string& mode, bool disassembly = true, int status = 1,
                    const std::string& boxText = "An error occurred in the application.") {
    ASSERT_TRUE(run.Ended) << "the program did not end";
    EXPECT_EQ(run.Status, status) << run.Out;
    ASSERT_FALSE(run.Report.empty()) << "no report; output:\n" << run.Out;
    ExpectHeader(run.Report);
    EXPECT_NE(run.Report.find(exceptionLines), std::string::npos) << run.Report.substr(0, 3000);
    EXPECT_NE(run.Report.find("\r\n\r\nmain thread ($"), std::string::npos);
    EXPECT_NE(run.Report.find("\r\n\r\nworker thread ($"), std::string::npos);
    ExpectFrame(run.Report, FaultLine(mode), function);
    // The worker's own frame, named with unit and line, in every report.
    EXPECT_NE(run.Report.find("WorkerWaits"), std::string::npos);
    EXPECT_NE(run.Report.find("\r\n\r\nmodules:\r\n"), std::string::npos);
    EXPECT_NE(run.Report.find(" crash_faulter "), std::string::npos);
    if (disassembly) {
        const auto d = run.Report.find("\r\n\r\ndisassembling:\r\n");
        ASSERT_NE(d, std::string::npos);
        EXPECT_NE(run.Report.find("\n>", d), std::string::npos) << "the faulting instruction is marked";
    }
    // The reporter's own threads never appear.
    EXPECT_EQ(run.Report.find("vorExcept work"), std::string::npos);
    // The console gets the box text and the report.
    EXPECT_EQ(run.Out.rfind(boxText + "\r\n", 0), 0u) << run.Out.substr(0, 200);
    std::filesystem::remove_all(run.Folder);
}

TEST(Faults, NullDereference) {
    ExpectComplete(RunFaulter("null"),
                   "exception class   : EAccessViolation\r\nexception message : Access violation at address ",
                   "NullDereference", "null");
}

TEST(Faults, NullDereferenceReadOfAddressZero) {
    const TRun run = RunFaulter("null");
    EXPECT_NE(run.Report.find(". Read of address 00000000."), std::string::npos) << run.Report.substr(0, 2000);
    std::filesystem::remove_all(run.Folder);
}

TEST(Faults, StackOverflow) {
    ExpectComplete(RunFaulter("stack", "", 1 << 20), "exception class   : EStackOverflow\r\nexception message : Stack overflow.",
                   "Overflow", "stack");
}

// The lines of one thread's trace in a report, from its title to the blank line.
std::vector<std::string> ThreadTrace(const std::string& report, const std::string& title) {
    std::vector<std::string> out;
    auto at = report.find("\r\n\r\n" + title);
    if (at == std::string::npos) return out;
    std::istringstream in(report.substr(at + 4));
    std::string l;
    std::getline(in, l);
    while (std::getline(in, l) && l != "\r") out.push_back(l);
    return out;
}

// The frames an overflow's trace shows: each named frame's function, "#"
// and the numbers of a repetition note, in order (the count of stale values
// left out is no frame).
std::vector<std::string> OverflowFrames(const std::vector<std::string>& trace) {
    std::vector<std::string> out;
    for (const std::string& l : trace) {
        unsigned block = 0, repeats = 0, leftOut = 0;
        if (std::sscanf(l.c_str(), ">> the %u frames above repeated %u more times (%u frames left out)", &block,
                        &repeats, &leftOut) == 3 ||
            (block = 1, std::sscanf(l.c_str(), ">> the frame above repeated %u more times (%u frames left out)",
                                    &repeats, &leftOut) == 2)) {
            out.push_back("#" + std::to_string(block) + "x" + std::to_string(repeats) + "=" + std::to_string(leftOut));
            continue;
        }
        if (l.find(" stale frame") != std::string::npos) continue; // said, and not listed
        std::string name = l.substr(l.rfind(' ') + 1);
        if (!name.empty() && name.back() == '\r') name.pop_back();
        out.push_back(name);
    }
    return out;
}

// Deep recursion: the trace shows the recursion once with one line saying
// how often it repeated, and walks on to the program's entry.
TEST(Faults, StackOverflowFoldsTheRecursion) {
    const TRun run = RunFaulter("stack", "", 1 << 20);
    ASSERT_TRUE(run.Ended);
    const auto frames = OverflowFrames(ThreadTrace(run.Report, "main thread ($"));
    ASSERT_GE(frames.size(), 5u) << run.Report.substr(0, 3000);
    std::size_t note = 0;
    while (note < frames.size() && frames[note][0] != '#') ++note;
    ASSERT_LT(note, frames.size()) << "no repetition line in\n" << run.Report.substr(0, 3000);
    // One repeated frame, a megabyte of stack deep: thousands of times.
    unsigned block = 0, repeats = 0, leftOut = 0;
    ASSERT_EQ(std::sscanf(frames[note].c_str(), "#%ux%u=%u", &block, &repeats, &leftOut), 3);
    EXPECT_EQ(block, 1u);
    EXPECT_GT(repeats, 1000u);
    EXPECT_EQ(leftOut, repeats);
    // Above it the faulting frame and the repeated one; below, the way in.
    EXPECT_LE(note, 2u) << run.Report.substr(0, 3000);
    for (std::size_t k = 0; k < note; ++k) EXPECT_EQ(frames[k], "(anonymous_namespace)::Overflow");
    const std::vector<std::string> tail(frames.begin() + static_cast<std::ptrdiff_t>(note) + 1, frames.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"main", "__libc_start_main", "_start"})) << run.Report.substr(0, 3000);
    std::filesystem::remove_all(run.Folder);
}

// Recursion through the C library (each level sorts with a comparison that
// goes deeper): the three frames of a level are folded, and no frame the
// recursion did not make (a stale value some earlier call left) is listed.
TEST(Faults, StackOverflowThroughALibraryFoldsTheLevelAndListsNoStaleFrames) {
    const TRun run = RunFaulter("stack-lib", "", 1 << 20);
    ASSERT_TRUE(run.Ended);
    const auto frames = OverflowFrames(ThreadTrace(run.Report, "main thread ($"));
    ASSERT_GE(frames.size(), 5u) << run.Report.substr(0, 3000);
    int notes = 0;
    const std::vector<std::string> level = {"(anonymous_namespace)::OverflowThroughLibrary",
                                            "(anonymous_namespace)::CompareDeeper", "qsort_r"};
    std::map<std::string, int> seen;
    for (std::size_t k = 1; k < frames.size(); ++k) { // the first is where it stood
        const std::string& f = frames[k];
        if (f[0] == '#') {
            ++notes;
            unsigned block = 0, repeats = 0, leftOut = 0;
            ASSERT_EQ(std::sscanf(f.c_str(), "#%ux%u=%u", &block, &repeats, &leftOut), 3);
            EXPECT_EQ(block, 3u);
            EXPECT_GT(repeats, 500u);
            EXPECT_EQ(leftOut, 3 * repeats);
            continue;
        }
        ++seen[f];
        EXPECT_TRUE(std::find(level.begin(), level.end(), f) != level.end() || k + 3 >= frames.size())
            << f << " is no frame of the recursion\n" << run.Report.substr(0, 3000);
    }
    EXPECT_EQ(notes, 1) << run.Report.substr(0, 3000);
    for (const auto& f : level) EXPECT_LE(seen[f], 3) << f << "\n" << run.Report.substr(0, 3000);
    ASSERT_GE(frames.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(frames.end() - 3, frames.end()),
              (std::vector<std::string>{"main", "__libc_start_main", "_start"}))
        << run.Report.substr(0, 3000);
    std::filesystem::remove_all(run.Folder);
}

// The line under "created by ... at:" in a thread's section.
std::string CreatedAt(const std::string& report, const std::string& title) {
    const auto trace = ThreadTrace(report, title);
    for (std::size_t k = 0; k + 1 < trace.size(); ++k)
        if (trace[k].rfind(">> created by main thread ($", 0) == 0) return trace[k + 1];
    return {};
}

// Threads started through std::thread and the runtime's thread class name
// the routine the program gave, not the C++ library's trampoline.
TEST(Faults, ThreadsNameTheRoutineTheProgramStartedThemWith) {
    const TRun run = RunFaulter("null");
    const std::string worker = CreatedAt(run.Report, "worker thread ($");
    EXPECT_NE(worker.find(" crash_faulter "), std::string::npos) << worker << "\n" << run.Report.substr(0, 4000);
    EXPECT_NE(worker.find(" faulter.cpp "), std::string::npos) << worker;
    // The callable: a lambda of main ("main::{lambda()#1}", Clang: "main::$_1").
    EXPECT_NE(worker.find("<main::"), std::string::npos) << worker;
    EXPECT_NE(worker.find("_M_run"), std::string::npos) << worker;
    const std::string tthread = CreatedAt(run.Report, "tthread worker ($");
    EXPECT_NE(tthread.find(" faulter.cpp "), std::string::npos) << tthread << "\n" << run.Report.substr(0, 4000);
    EXPECT_NE(tthread.find("TWaitingThread::Execute\r"), std::string::npos) << tthread;
    std::filesystem::remove_all(run.Folder);
}

// A thread that polls an empty queue stands still in its retrieval while
// the report is composed: the count it advances does not move.
TEST(Faults, AThreadPollingAnEmptyQueueIsHeldWhileTheReportIsComposed) {
    const TRun run = RunFaulter("peek");
    ASSERT_TRUE(run.Ended);
    std::istringstream peeks(ReadFile(run.Folder + "/peeks.txt"));
    long before = -1, after = -1;
    ASSERT_TRUE(peeks >> before >> after) << "the save step did not run\n" << run.Out.substr(0, 2000);
    EXPECT_GT(before, 0);
    EXPECT_EQ(after, before) << "the polling thread ran on during the report";
    EXPECT_NE(run.Report.find("\r\n\r\npeek thread ($"), std::string::npos);
    std::filesystem::remove_all(run.Folder);
}

TEST(Faults, DivisionByZero) {
    ExpectComplete(RunFaulter("div"), "exception class   : EDivByZero\r\nexception message : Division by zero.", "Divide",
                   "div");
}

TEST(Faults, IllegalInstruction) {
    ExpectComplete(RunFaulter("ill"), "exception class   : EIllegalInstruction", "Illegal", "ill");
}

TEST(Faults, BusError) {
    ExpectComplete(RunFaulter("bus"), "exception class   : EBusError", "BusError", "bus");
}

TEST(Faults, Abort) {
    ExpectComplete(RunFaulter("abort"),
                   "exception class   : BcbTermination\r\nexception message : Abnormal program termination.", "Abort",
                   "abort", false);
}

TEST(Faults, UncaughtExceptionOnTheMainThread) {
    ExpectComplete(RunFaulter("throw"),
                   "exception class   : std::runtime_error\r\nexception message : thrown on the main thread.", "ThrowIt",
                   "throw", false);
}

// The fault is called from main's cold part (the compiler moves calls of
// routines that never return there): the frame is main's, at the line of the
// call, and the walk goes on to the program's entry.
void ExpectMainWalkedToTheEntry(const std::string& mode) {
    const std::string map = ReadFile(std::string(AX_FAULTER).append(".map"));
#if defined(__clang__)
    // Clang splits no cold parts by default.
    if (map.find(" main.cold\n") == std::string::npos) GTEST_SKIP() << "no cold part of main";
#endif
    ASSERT_NE(map.find(" main.cold\n"), std::string::npos) << "the compiler made no cold part of main";
    const TRun run = RunFaulter(mode);
    const auto trace = ThreadTrace(run.Report, "main thread ($");
    ASSERT_FALSE(trace.empty()) << run.Report.substr(0, 3000);
    std::size_t mainAt = trace.size();
    for (std::size_t k = 0; k < trace.size(); ++k)
        if (trace[k].find(" faulter.cpp " + std::to_string(FaultLine(mode, "MAIN")) + " main\r") != std::string::npos)
            mainAt = k;
    ASSERT_LT(mainAt, trace.size()) << "no frame of main at its call in\n" << run.Report.substr(0, 3000);
    ASSERT_EQ(trace.size(), mainAt + 3) << run.Report.substr(0, 3000);
    EXPECT_NE(trace[mainAt + 1].find(" __libc_start_main\r"), std::string::npos) << trace[mainAt + 1];
    EXPECT_NE(trace[mainAt + 2].find(" _start\r"), std::string::npos) << trace[mainAt + 2];
    EXPECT_EQ(run.Report.find(".cold"), std::string::npos);
    std::filesystem::remove_all(run.Folder);
}

TEST(Faults, AbortFromMainsColdPartWalksToTheEntry) { ExpectMainWalkedToTheEntry("abort"); }

TEST(Faults, ThrowFromMainsColdPartWalksToTheEntry) { ExpectMainWalkedToTheEntry("throw"); }

// The thread's wrapper reports it as one the program can go on from: the
// thread ends and the program goes on (its main then returns 0).
TEST(Faults, UncaughtExceptionOnAWorker) {
    const TRun run = RunFaulter("throw-worker");
    ExpectComplete(run, "exception class   : std::runtime_error\r\nexception message : thrown on a worker.", "ThrowIt",
                   "throw", false, 0);
}

TEST(Faults, DoubleFreeCaughtByTheMemoryManager) {
    ExpectComplete(RunFaulter("doublefree"),
                   "exception class   : EHeapCorruption\r\nexception message : Heap corruption detected in free() at address ",
                   "DoubleFree", "doublefree", false);
}

TEST(Faults, FrozenMainThread) {
    ExpectComplete(RunFaulter("freeze"), "exception message : The application seems to be frozen.", "Freeze", "freeze",
                   false, 1, "The application seems to be frozen.");
}

TEST(Faults, RestartEndsWithTwoAndTheNewProcessGetsTheHistory) {
    const TRun run = RunFaulter("null", "restart");
    ASSERT_TRUE(run.Ended);
    EXPECT_EQ(run.Status, 2) << run.Out;
    EXPECT_FALSE(run.Report.empty());
    // The new process waits for this one to end, then leaves its mark.
    const std::string mark = run.Folder + "/restarted.txt";
    for (int i = 0; i < 6000 && !std::filesystem::exists(mark); ++i) ::poll(nullptr, 0, 10);
    EXPECT_TRUE(std::filesystem::exists(mark)) << "the restarted process did not start";
    std::filesystem::remove_all(run.Folder);
}

} // namespace

namespace {

// Another process asks the test program for the trace of its threads.
TEST(TraceExport, AnotherProcessReceivesTheTraceOfEveryThread) {
    char tmpl[] = "/tmp/axtraceXXXXXX";
    const std::string folder = ::mkdtemp(tmpl);
    int in[2], out[2];
    ASSERT_EQ(::pipe(in), 0);
    ASSERT_EQ(::pipe(out), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::close(in[1]);
        ::close(out[0]);
        ::unsetenv("LD_PRELOAD");
        ::execl(AX_FAULTER, AX_FAULTER, "serve", folder.c_str(), nullptr);
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    pollfd p{out[0], POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 20000), 1) << "the program did not start";
    char ready[16] = {};
    ASSERT_GT(::read(out[0], ready, sizeof ready - 1), 0);
    std::string text;
    ASSERT_TRUE(ax::RequestProcessTrace(child, 1 << 20, 20000, text)) << "no answer";
    EXPECT_EQ(text.compare(0, 20, "date/time         : "), 0) << text.substr(0, 200);
    EXPECT_NE(text.find("exception message : The application seems to be frozen."), std::string::npos);
    EXPECT_NE(text.find("\r\n\r\nmain thread ($" ), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n\r\nworker thread ($"), std::string::npos) << text;
    EXPECT_NE(text.find("WorkerWaits"), std::string::npos);
    // A mapping of one byte: an empty text.
    ASSERT_TRUE(ax::RequestProcessTrace(child, 1, 20000, text));
    EXPECT_EQ(text, "");
    ::close(in[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::filesystem::remove_all(folder);
}

} // namespace
