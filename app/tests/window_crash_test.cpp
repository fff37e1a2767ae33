// A fault inside the main window (the test switch AX_ARDENTIX_FAULT=window
// makes one in a message handler of the form) ends in a bug report that
// names the window's functions, from the program's map file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct TRun {
    bool Ended = false;
    int Status = -1;
    std::string Report, Out;
};

// Runs a copy of the program (and its map) from folder, so that the report
// it writes beside itself is this test's alone.
TRun RunWindowFault(const fs::path& folder) {
    fs::copy_file(AX_ARDENTIX, folder / "ardentix");
    fs::copy_file(fs::path(AX_ARDENTIX).replace_extension(".map"), folder / "ardentix.map");
    fs::create_directories(folder / "home");
    TRun run;
    const pid_t child = ::fork();
    if (child == 0) {
        // No display: the window is headless and the report goes to stdout too.
        ::unsetenv("DISPLAY");
        ::unsetenv("LD_PRELOAD"); // the program carries its own heap
        ::setenv("AX_DISPLAY", "headless", 1);
        ::setenv("AX_ARDENTIX_FAULT", "window", 1);
        ::setenv("HOME", (folder / "home").c_str(), 1);
        const int out = ::open((folder / "stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, 1);
        const std::string program = (folder / "ardentix").string();
        ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Bounded: the program ends by itself; a minute is a failure, not a pace.
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
    pollfd p{fd, POLLIN, 0};
    run.Ended = ::poll(&p, 1, 60000) == 1;
    if (!run.Ended) ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(fd);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.Report = ReadFile(folder / "bugreport.txt");
    run.Out = ReadFile(folder / "stdout.txt");
    return run;
}

// The frame lines of the faulting thread's stack: unit and function.
bool HasFrame(const std::string& report, const std::string& unit, const std::string& function) {
    std::istringstream in(report);
    std::string line;
    while (std::getline(in, line))
        if (line.find(" " + unit + " ") != std::string::npos && line.find(function) != std::string::npos)
            return true;
    return false;
}

TEST(WindowCrash, AFaultInTheWindowGivesAReportNamingItsFunctions) {
    char tmpl[] = "/tmp/axwincrashXXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const fs::path folder = tmpl;
    const TRun run = RunWindowFault(folder);
    ASSERT_TRUE(run.Ended) << "the program did not end";
    EXPECT_EQ(run.Status, 1) << run.Out.substr(0, 2000);
    ASSERT_FALSE(run.Report.empty()) << "no report; output:\n" << run.Out.substr(0, 2000);
    EXPECT_NE(run.Report.find("executable        : ardentix\r\n"), std::string::npos);
    EXPECT_NE(run.Report.find("exception class   : EAccessViolation\r\n"), std::string::npos)
        << run.Report.substr(0, 2000);
    // The faulting handler of the form, by unit (the form's dispatch above
    // it may have handed over to it by a jump, leaving no frame).
    EXPECT_TRUE(HasFrame(run.Report, "MainForm.cpp", "TMainform::WMInjectFault")) << run.Report.substr(0, 6000);
    // Reached from the application's message loop, run by the window's
    // road, started by main.
    EXPECT_NE(run.Report.find("TApplication::Run"), std::string::npos);
    EXPECT_TRUE(HasFrame(run.Report, "MainWindow.cpp", "ax::RunMainWindow")) << run.Report.substr(0, 6000);
    EXPECT_TRUE(HasFrame(run.Report, "main.cpp", "main"));
    fs::remove_all(folder);
}

} // namespace
