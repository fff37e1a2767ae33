// The built program, run on temporary folders: select and selection round
// trip, and bad job files give one line on stderr and status 1.
#include <algorithm>
#include <filesystem>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include "other_user.h"

#include <gtest/gtest.h>

#include "app/ExampleJob.h"
#include <iterator>
#include <csignal>
#include <grp.h>
#include <poll.h>
#include <string>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <netinet/in.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

struct Result {
    int status = -1;
    std::string out, err;
};

// Removes a tree of any depth, each folder opened relative to its parent.
bool RemoveTree(int dirfd, const char* name) {
    struct stat st;
    if (fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
    if (!S_ISDIR(st.st_mode)) return unlinkat(dirfd, name, 0) == 0;
    const int fd = openat(dirfd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    DIR* dir = fd >= 0 ? fdopendir(fd) : nullptr;
    if (!dir) return false;
    bool ok = true;
    while (dirent* e = readdir(dir))
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
            ok = RemoveTree(fd, e->d_name) && ok;
    closedir(dir);
    return unlinkat(dirfd, name, AT_REMOVEDIR) == 0 && ok;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class ArdentixTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/axappXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        // The program must not look at the real home.
        const std::string home = root + "/home";
        mkdir(home.c_str(), 0755);
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
        setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
        data = root + "/data";
        mkdir(data.c_str(), 0755);
        // The example's folder lands here, the test's own.
        tmp = root + "/tmp";
        mkdir(tmp.c_str(), 0755);
        chmod(tmp.c_str(), 01777);
        setenv("TMPDIR", tmp.c_str(), 1);
    }
    void TearDown() override {
        if (chdir("/") != 0) ADD_FAILURE() << "chdir";
        if (!RemoveTree(AT_FDCWD, root.c_str())) ADD_FAILURE() << "cleanup of " << root;
    }

    // Runs the program with exactly these arguments (no shell in between),
    // as user (when given, and the test runs as root). A program that has
    // not ended after the safety bound is killed: status kHung.
    // beforeStart runs with the process's id before the program starts.
    Result Run(const std::vector<std::string>& args, uid_t user = kSameUser,
               const std::function<void(pid_t)>& beforeStart = {}) {
        const std::string outFile = root + "/stdout", errFile = root + "/stderr";
        std::vector<char*> argv{const_cast<char*>(AX_ARDENTIX)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const int in = inputFile.empty() ? -1 : open(inputFile.c_str(), O_RDONLY | O_CLOEXEC);
        int go[2];
        if (pipe2(go, O_CLOEXEC) != 0) return {};
        Result r;
        const pid_t pid = fork();
        if (pid == 0) {
            // Only calls safe after a fork of a threaded program.
            char byte;
            close(go[1]);
            while (read(go[0], &byte, 1) < 0 && errno == EINTR) {
            }
            if (dup2(out, 1) < 0 || dup2(err, 2) < 0 || (in >= 0 && dup2(in, 0) < 0)) _exit(126);
            if (user != kSameUser && (setgroups(0, nullptr) != 0 || setgid(user) != 0 || setuid(user) != 0))
                _exit(126);
            execve(AX_ARDENTIX, argv.data(), environ);
            _exit(127);
        }
        close(out);
        close(err);
        if (in >= 0) close(in);
        close(go[0]);
        if (pid > 0 && beforeStart) beforeStart(pid);
        close(go[1]);
        if (pid > 0) r.status = WaitBounded(pid);
        r.out = ReadAll(outFile);
        r.err = ReadAll(errFile);
        return r;
    }
    // Runs the program with input as its standard input.
    Result RunWithInput(const std::vector<std::string>& args, const std::string& input) {
        inputFile = root + "/stdin";
        std::ofstream(inputFile, std::ios::binary) << input;
        Result r = Run(args);
        inputFile.clear();
        return r;
    }
    // Runs the program with stdout and stderr both on one terminal (a
    // pseudo-terminal in raw mode, so line ends arrive as written) or one
    // pipe; what arrived there, and the status in status.
    std::string RunOnOneStream(const std::vector<std::string>& args, bool terminal, int& status) {
        int reader = -1, writer = -1;
        if (terminal) {
            reader = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
            if (reader < 0 || grantpt(reader) != 0 || unlockpt(reader) != 0) return "no pty";
            writer = open(ptsname(reader), O_RDWR | O_NOCTTY | O_CLOEXEC);
            termios raw{};
            if (writer < 0 || tcgetattr(writer, &raw) != 0) return "no pty";
            cfmakeraw(&raw);
            if (tcsetattr(writer, TCSANOW, &raw) != 0) return "no raw pty";
        } else {
            int ends[2];
            if (pipe2(ends, O_CLOEXEC) != 0) return "no pipe";
            reader = ends[0];
            writer = ends[1];
        }
        std::vector<char*> argv{const_cast<char*>(AX_ARDENTIX)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            if (dup2(writer, 1) < 0 || dup2(writer, 2) < 0) _exit(126);
            execve(AX_ARDENTIX, argv.data(), environ);
            _exit(127);
        }
        close(writer);
        // Read until the last writer is gone: end of file on a pipe, EIO on
        // a terminal's master.
        std::string got;
        pollfd ready{reader, POLLIN, 0};
        char buffer[4096];
        while (poll(&ready, 1, kSafetyBoundMs) > 0) {
            const ssize_t n = read(reader, buffer, sizeof buffer);
            if (n <= 0) break;
            got.append(buffer, size_t(n));
        }
        close(reader);
        status = pid > 0 ? WaitBounded(pid) : -1;
        return got;
    }
    static int WaitBounded(pid_t pid) {
        const int pidfd = int(syscall(SYS_pidfd_open, pid, 0));
        pollfd ended{pidfd, POLLIN, 0};
        const bool hung = pidfd >= 0 && poll(&ended, 1, kSafetyBoundMs) == 0;
        if (pidfd >= 0) close(pidfd);
        if (hung) kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        if (hung) return kHung;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    static constexpr uid_t kSameUser = uid_t(-1);
    static constexpr uid_t kNobody = ax::test::kNobody;
    static constexpr int kHung = -2;
    static constexpr int kSafetyBoundMs = 120000;
    std::string MakeFile(const std::string& name) {
        const std::string path = data + "/" + name;
        std::ofstream(path, std::ios::binary) << "content";
        return path;
    }
    std::string MakeDir(const std::string& name) {
        const std::string path = data + "/" + name;
        mkdir(path.c_str(), 0755);
        return path;
    }
    static bool OneLineNaming(const std::string& err, const std::string& name) {
        return !err.empty() && err.back() == '\n' && err.find('\n') == err.size() - 1 &&
               err.find(name) != std::string::npos;
    }

    std::string root, data, tmp;
    std::string inputFile; // the standard input of Run, when set
};

TEST_F(ArdentixTest, SelectAndSelectionRoundTripOddNames) {
    const std::string latin1 = MakeFile("caf\xE9.txt"); // not UTF-8
    const std::string spaced = MakeFile("my notes.txt");
    const std::string folder = MakeDir("Photos 2024");
    const std::string inside = data + "/Photos 2024/b\xFF.jpg";
    std::ofstream(inside) << "x";
    const std::string job = root + "/nightly \xE9 job.JOB";

    const Result select = Run({"select", job, spaced, inside, latin1, folder});
    ASSERT_EQ(select.status, 0) << select.err;
    EXPECT_EQ(select.out, "");
    EXPECT_EQ(select.err, "");

    const Result listed = Run({"selection", job});
    ASSERT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.err, "");
    // The folder's order ignores case; a folder comes before what it holds.
    EXPECT_EQ(listed.out, latin1 + "\n" + spaced + "\n" + folder + "\n" + inside + "\n");
}

TEST_F(ArdentixTest, RelativePathsAndLaterDeletions) {
    const std::string a = MakeFile("a"), b = MakeFile("b");
    const std::string job = root + "/job.JOB";
    ASSERT_EQ(chdir(data.c_str()), 0);
    ASSERT_EQ(Run({"select", job, "a", "./b"}).status, 0);
    unlink(b.c_str());
    const Result listed = Run({"selection", job});
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.out, a + "\n");
}

TEST_F(ArdentixTest, BadJobFilesFailWithOneLine) {
    const std::string missing = root + "/missing.JOB";
    Result r = Run({"selection", missing});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(OneLineNaming(r.err, missing)) << r.err;

    const std::string empty = root + "/empty.JOB";
    std::ofstream(empty).close();
    r = Run({"selection", empty});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(OneLineNaming(r.err, empty)) << r.err;

    // A good job cut short.
    const std::string good = root + "/good.JOB";
    ASSERT_EQ(Run({"select", good, MakeFile("x")}).status, 0);
    const std::string bytes = ReadAll(good);
    const std::string cut = root + "/cut.JOB";
    std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() - 3);
    r = Run({"selection", cut});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(OneLineNaming(r.err, cut)) << r.err;

    r = Run({"selection", data});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(OneLineNaming(r.err, data)) << r.err;
}

TEST_F(ArdentixTest, SelectRefusesMissingPathsAndKeepsTheJob) {
    const std::string job = root + "/job.JOB";
    ASSERT_EQ(Run({"select", job, MakeFile("kept")}).status, 0);
    const std::string before = ReadAll(job);
    const std::string typo = data + "/no such file";
    const Result r = Run({"select", job, MakeFile("other"), typo});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(OneLineNaming(r.err, typo)) << r.err;
    EXPECT_EQ(ReadAll(job), before);

    const Result unwritable = Run({"select", root + "/no/such/dir/job.JOB", MakeFile("y")});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_TRUE(OneLineNaming(unwritable.err, "job.JOB")) << unwritable.err;
}

// A link to a folder is a folder: what lies through it is selected, under
// the path the user gave.
TEST_F(ArdentixTest, PathsThroughALinkedFolderAreSelected) {
    MakeDir("real");
    const std::string x = MakeFile("real/x");
    const std::string link = data + "/link";
    ASSERT_EQ(symlink("real", link.c_str()), 0);
    const std::string job = root + "/job.JOB";
    const Result select = Run({"select", job, link + "/x", link});
    ASSERT_EQ(select.status, 0) << select.err;
    const Result listed = Run({"selection", job});
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.out, link + "\n" + link + "/x\n");

    // Debian's /bin is such a link.
    struct stat st;
    if (lstat("/bin", &st) == 0 && S_ISLNK(st.st_mode) && access("/bin/ls", F_OK) == 0) {
        ASSERT_EQ(Run({"select", job, "/bin/ls"}).status, 0);
        EXPECT_EQ(Run({"selection", job}).out, "/bin/ls\n");
    }
}

TEST_F(ArdentixTest, FoldersDeeperThanPathMaxAreSelected) {
    const std::string name(200, 'd');
    std::string deepest = data;
    int fd = open(data.c_str(), O_PATH | O_DIRECTORY);
    for (int i = 0; i < 25; ++i) {
        ASSERT_EQ(mkdirat(fd, name.c_str(), 0755), 0);
        const int next = openat(fd, name.c_str(), O_PATH | O_DIRECTORY);
        close(fd);
        fd = next;
        deepest += "/" + name;
    }
    const int leaf = openat(fd, "leaf", O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(leaf, 0);
    close(leaf);
    close(fd);
    ASSERT_GT(deepest.size(), 5000u);
    const std::string job = root + "/job.JOB";
    const Result select = Run({"select", job, deepest + "/leaf"});
    ASSERT_EQ(select.status, 0) << select.err;
    const Result listed = Run({"selection", job});
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.out, deepest + "/leaf\n");
}

// Every path that cannot be selected is told, one line each, and nothing
// is saved: a job must never lack a path the user asked for.
TEST_F(ArdentixTest, EveryRefusedPathIsToldAndNothingIsSaved) {
    const std::string good = MakeFile("good");
    const std::string job = root + "/job.JOB";
    const Result r = Run({"select", job, good, data + "/gone one", "", data + "/gone two"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    const auto lines = std::count(r.err.begin(), r.err.end(), '\n');
    EXPECT_EQ(lines, 3) << r.err;
    EXPECT_NE(r.err.find(data + "/gone one: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(data + "/gone two: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\"\": "), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(good + ":"), std::string::npos) << r.err;
    EXPECT_NE(access(job.c_str(), F_OK), 0) << "no job written";
}

// ".." leaves the folder a link led to, as the shell's cd -P and the kernel
// do; as text it would name another file.
TEST_F(ArdentixTest, DotDotIsResolvedOnTheDisk) {
    MakeDir("real");
    MakeDir("real/sub");
    const std::string x = MakeFile("real/x.txt");
    MakeFile("x.txt"); // where a textual ".." would land
    ASSERT_EQ(symlink("real/sub", (data + "/link").c_str()), 0);
    const std::string job = root + "/job.JOB";
    ASSERT_EQ(chdir(data.c_str()), 0);
    ASSERT_EQ(Run({"select", job, "link/../x.txt"}).status, 0);
    EXPECT_EQ(Run({"selection", job}).out, x + "\n");
}

TEST_F(ArdentixTest, NamesWithLineBreaksNeedTheNulForm) {
    const std::string plain = MakeFile("plain");
    const std::string odd = MakeFile("two\nlines");
    const std::string job = root + "/job.JOB";
    ASSERT_EQ(Run({"select", job, plain, odd}).status, 0);
    const Result lines = Run({"selection", job});
    EXPECT_EQ(lines.status, 1);
    EXPECT_EQ(lines.out, "");
    EXPECT_TRUE(OneLineNaming(lines.err, "-0")) << lines.err;
    const Result nul = Run({"selection", "-0", job});
    EXPECT_EQ(nul.status, 0) << nul.err;
    EXPECT_EQ(nul.out, plain + std::string(1, '\0') + odd + std::string(1, '\0'));
}

// A terminal acts on the control bytes of a name (this one retitles it):
// there names are shown escaped, in the selection and in messages alike;
// to a pipe the bytes go exactly.
TEST_F(ArdentixTest, NamesReachATerminalEscapedAndAPipeExactly) {
    const std::string osc = "a\x1B]0;owned\x07" "b";
    const std::string file = MakeFile(osc);
    const std::string job = root + "/job.JOB";
    ASSERT_EQ(Run({"select", job, file}).status, 0);
    const std::string shownFile = data + "/a\\x1B]0;owned\\x07" "b";
    int status = -1;

    EXPECT_EQ(RunOnOneStream({"selection", job}, true, status), shownFile + "\n");
    EXPECT_EQ(status, 0);
    // With -0 the NUL still ends the path; the path is shown all the same.
    EXPECT_EQ(RunOnOneStream({"selection", "-0", job}, true, status), shownFile + std::string(1, '\0'));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(RunOnOneStream({"selection", job}, false, status), data + "/a\x1B]0;owned\x07" "b\n");
    EXPECT_EQ(RunOnOneStream({"selection", "-0", job}, false, status),
              data + "/a\x1B]0;owned\x07" "b" + std::string(1, '\0'));

    // A message naming the file: a missing job, a path select refuses.
    const std::string missing = root + "/\x1B]0;owned\x07.JOB";
    EXPECT_EQ(RunOnOneStream({"selection", missing}, true, status),
              "ardentix: " + root + "/\\x1B]0;owned\\x07.JOB: no such job file\n");
    EXPECT_EQ(status, 1);
    EXPECT_EQ(RunOnOneStream({"selection", missing}, false, status),
              "ardentix: " + root + "/\x1B]0;owned\x07.JOB: no such job file\n");
    EXPECT_EQ(status, 1);
    const std::string gone = data + "/\x9B" "2J\tx\\y";
    EXPECT_EQ(RunOnOneStream({"select", job, gone}, true, status),
              "ardentix: " + data + "/\\x9B2J\\tx\\\\y: No such file or directory\n");
    EXPECT_EQ(status, 1);
}

TEST_F(ArdentixTest, AJobReachedThroughALinkStaysALink) {
    MakeDir("jobs");
    const std::string real = data + "/jobs/nightly.JOB";
    const std::string link = root + "/nightly.JOB";
    ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
    const std::string f = MakeFile("f");
    ASSERT_EQ(Run({"select", link, f}).status, 0);
    struct stat st;
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(Run({"selection", real}).out, f + "\n");
}

// In a sticky folder anyone may write, a link another user planted under
// the job's name is not followed: its target keeps its bytes.
TEST_F(ArdentixTest, ALinkAnotherUserPlantedInASharedFolderIsNotFollowed) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
    ASSERT_EQ(chmod(root.c_str(), 0755), 0);
    const std::string victim = MakeFile("victim");
    const std::string job = tmp + "/nightly.JOB";
    ASSERT_EQ(ax::test::AsNobody([&] { return symlink(victim.c_str(), job.c_str()) == 0 ? 0 : 1; }), 0);
    const Result r = Run({"select", job, MakeFile("f")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ardentix: " + job +
                         ": cannot save the job: it is a link another user made in a shared folder; not followed\n");
    EXPECT_EQ(ReadAll(victim), "content");
    struct stat st;
    ASSERT_EQ(lstat(job.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

// Another user who makes the crash reporter's shared-memory names for the
// program's coming process id (a FIFO for the restart hand-over, which
// would hold an open) does not stop the program.
TEST_F(ArdentixTest, SharedMemoryNamesAnotherUserTookLeaveTheProgramWorking) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
    std::string list;
    std::vector<std::string> taken;
    const auto squat = [&](pid_t pid) {
        char hex[32];
        snprintf(hex, sizeof hex, "$%x", unsigned(pid));
        list = std::string("vorExceptThreadNameBuf") + hex;
        taken = {"/dev/shm/" + list, std::string("/dev/shm/vorExceptRestart") + hex};
        const int fd = shm_open(("/" + list).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
        if (fd < 0 || ftruncate(fd, 4096) != 0 || fchown(fd, kNobody, kNobody) != 0) ADD_FAILURE() << "squat";
        close(fd);
        if (mkfifo(taken[1].c_str(), 0600) != 0 || chown(taken[1].c_str(), kNobody, kNobody) != 0)
            ADD_FAILURE() << "squat";
    };
    const std::string job = root + "/nightly.JOB", f = MakeFile("f");
    const Result r = Run({"select", job, f}, kSameUser, squat);
    for (const std::string& name : taken) unlink(name.c_str());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "vorExcept: " + list + " is another user's; thread names are not shared\n");
    EXPECT_EQ(Run({"selection", job}).out, f + "\n");
}

TEST_F(ArdentixTest, MisuseShowsTheUsage) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"select", "job"}, {"selection"}, {"selection", "a", "b"}, {"demo"}, {"a.JOB", "b.JOB"},
             {"--help", "x.JOB"}, {"-x"}, {"--version"}}) {
        const Result r = Run(args);
        EXPECT_EQ(r.status, 2) << (args.empty() ? "" : args[0]) << ": " << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("usage: ardentix [JOBFILE]\n"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("ardentix selection [-0] JOBFILE\n"), std::string::npos) << r.err;
    }
}

// Asked for, the usage is the answer: on stdout, every form named.
TEST_F(ArdentixTest, HelpPrintsTheUsage) {
    const std::string usage = "usage: ardentix [JOBFILE]\n"
                              "       ardentix demo SCREENSHOT.png\n"
                              "       ardentix select JOBFILE PATH...\n"
                              "       ardentix select [-0] JOBFILE -\n"
                              "       ardentix selection [-0] JOBFILE\n"
                              "       ardentix --help\n"
                              "\n"
                              "select JOBFILE - reads the paths from standard input, one a line: a line\n"
                              "is the name as it is (a carriage return before the line end is part of\n"
                              "it), and empty lines are skipped. With -0 each path is ended by a NUL\n"
                              "(`find -print0`), for names that hold line breaks. A path that cannot be\n"
                              "selected is named, and then nothing is saved; so is an input without\n"
                              "paths. A file named \"-\" is given as ./-.\n";
    for (const char* help : {"--help", "-h"}) {
        const Result r = Run({help});
        EXPECT_EQ(r.status, 0) << help;
        EXPECT_EQ(r.out, usage) << help;
        EXPECT_EQ(r.err, "") << help;
    }
}

// `select JOBFILE -` takes the paths from standard input and makes the
// same job as the arguments do: relative paths from the working folder,
// empty lines skipped, the last line without its line end.
TEST_F(ArdentixTest, SelectFromInputMakesTheJobTheArgumentsMake) {
    const std::string a = MakeFile("a"), spaced = MakeFile("my notes.txt");
    const std::string folder = MakeDir("Photos");
    const std::string fromArgs = root + "/args.JOB", fromLines = root + "/lines.JOB",
                      fromNul = root + "/nul.JOB";
    ASSERT_EQ(chdir(data.c_str()), 0);
    ASSERT_EQ(Run({"select", fromArgs, spaced, "a", folder}).status, 0);

    const Result lines = RunWithInput({"select", fromLines, "-"}, spaced + "\n\na\n\n" + folder);
    EXPECT_EQ(lines.status, 0) << lines.err;
    EXPECT_EQ(lines.err, "");
    EXPECT_EQ(ReadAll(fromLines), ReadAll(fromArgs));

    const Result nul = RunWithInput({"select", "-0", fromNul, "-"},
                                    spaced + std::string(1, '\0') + "a" + std::string(2, '\0') + folder);
    EXPECT_EQ(nul.status, 0) << nul.err;
    EXPECT_EQ(ReadAll(fromNul), ReadAll(fromArgs));
    EXPECT_EQ(Run({"selection", fromNul}).out, a + "\n" + spaced + "\n" + folder + "\n");
}

// With -0 a name is kept exactly, line breaks and carriage returns
// included; as a line, a carriage return is part of the name too, and a
// refusal says so.
TEST_F(ArdentixTest, SelectFromInputKeepsNamesExact) {
    const std::string crlf = MakeFile("dos\r"), broken = MakeFile("two\nlines");
    MakeFile("dos");
    const std::string job = root + "/job.JOB";
    const Result nul = RunWithInput({"select", "-0", job, "-"},
                                    crlf + std::string(1, '\0') + broken + std::string(1, '\0'));
    ASSERT_EQ(nul.status, 0) << nul.err;
    EXPECT_EQ(Run({"selection", "-0", job}).out, crlf + std::string(1, '\0') + broken + std::string(1, '\0'));

    // As lines: "dos\r" is the name, and it is there.
    const std::string linesJob = root + "/lines.JOB";
    ASSERT_EQ(RunWithInput({"select", linesJob, "-"}, crlf + "\r\n").status, 1);
    const Result taken = RunWithInput({"select", linesJob, "-"}, crlf + "\n");
    ASSERT_EQ(taken.status, 0) << taken.err;
    EXPECT_EQ(Run({"selection", "-0", linesJob}).out, crlf + std::string(1, '\0'));

    // A list made on another system: each name ends in a carriage return.
    const std::string gone = data + "/gone";
    const Result r = RunWithInput({"select", job, "-"}, gone + "\r\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(OneLineNaming(r.err, gone + "\r: No such file or directory (the line ends in a carriage "
                                             "return, which is part of the name)"))
        << r.err;
    // A NUL in a line: the input was meant for -0.
    const Result withNul = RunWithInput({"select", job, "-"}, crlf + std::string(1, '\0') + crlf + "\n");
    EXPECT_EQ(withNul.status, 1);
    EXPECT_TRUE(OneLineNaming(withNul.err, "use -0")) << withNul.err;
    EXPECT_EQ(Run({"selection", "-0", job}).out, crlf + std::string(1, '\0') + broken + std::string(1, '\0'));
}

// All or nothing, as with arguments: a bad path is named, and the job
// there is kept; an input without paths (a failed command before the pipe)
// saves nothing either.
TEST_F(ArdentixTest, SelectFromInputRefusesAllOnOneBadPath) {
    const std::string job = root + "/job.JOB";
    ASSERT_EQ(Run({"select", job, MakeFile("kept")}).status, 0);
    const std::string before = ReadAll(job);
    const std::string typo = data + "/no such file";
    Result r = RunWithInput({"select", job, "-"}, MakeFile("other") + "\n" + typo + "\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ardentix: " + typo + ": No such file or directory\n");
    EXPECT_EQ(ReadAll(job), before);

    for (const std::string& nothing : {std::string(), std::string("\n\n")}) {
        r = RunWithInput({"select", job, "-"}, nothing);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "ardentix: no paths on standard input; nothing saved\n");
        EXPECT_EQ(ReadAll(job), before);
    }
    // -0 reads only standard input.
    for (const auto& args : std::vector<std::vector<std::string>>{{"select", "-0", job, MakeFile("x")},
                                                                   {"select", "-0", job}})
        EXPECT_EQ(RunWithInput(args, "").status, 2);
    EXPECT_EQ(ReadAll(job), before);
}

// A list longer than any command line, read across many blocks and
// batches (the same few paths over and over: one record each).
TEST_F(ArdentixTest, SelectFromInputTakesAListLongerThanACommandLine) {
    std::string input, expected;
    std::vector<std::string> files;
    for (int i = 0; i < 10; ++i)
        files.push_back(MakeFile("file " + std::to_string(i)));
    for (const std::string& f : files)
        expected += f + "\n";
    for (int i = 0; i < 300000; ++i)
        input += files[size_t(i) % files.size()] + "\n";
    ASSERT_GT(input.size(), size_t(sysconf(_SC_ARG_MAX)));
    const std::string job = root + "/job.JOB";
    const Result r = RunWithInput({"select", job, "-"}, input);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Run({"selection", job}).out, expected);
}

// A job the user write-protected is not replaced, by `select` or anyone
// saving through the atomic save; the refusal says why, once.
TEST_F(ArdentixTest, AWriteProtectedJobIsKept) {
    const std::string job = root + "/nightly.JOB";
    ASSERT_EQ(Run({"select", job, MakeFile("kept")}).status, 0);
    const std::string before = ReadAll(job);
    ASSERT_EQ(chmod(job.c_str(), 0444), 0);
    const Result r = Run({"select", job, MakeFile("other")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ardentix: " + job + ": cannot save the job: the file is write-protected\n");
    EXPECT_EQ(ReadAll(job), before);
    EXPECT_EQ(Run({"selection", job}).out, data + "/kept\n");
}

// A folder that takes no new file is named once, with the system's reason
// (as root, the save runs as another user: root may write anywhere).
TEST_F(ArdentixTest, AnUnwritableFolderIsNamedOnce) {
    const std::string folder = root + "/locked";
    ASSERT_EQ(mkdir(folder.c_str(), 0555), 0);
    chmod(root.c_str(), 0755);
    const std::string file = MakeFile("f");
    const uid_t user = geteuid() == 0 ? kNobody : kSameUser;
    const Result r = Run({"select", folder + "/x.JOB", file}, user);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ardentix: " + folder + "/x.JOB: cannot save the job: the folder " + folder +
                         " cannot be written (Permission denied)\n");
    EXPECT_NE(access((folder + "/x.JOB").c_str(), F_OK), 0);
}

// A job that is not there, or not readable, is told the same way by the
// window and by `selection`.
TEST_F(ArdentixTest, AJobThatCannotBeReadIsToldAlikeBothWays) {
    const std::string missing = root + "/missing.JOB";
    const std::string line = "ardentix: " + missing + ": no such job file\n";
    EXPECT_EQ(Run({"selection", missing}).err, line);
    EXPECT_EQ(Run({missing}).err, line);
    if (geteuid() == 0) {
        chmod(root.c_str(), 0755);
        const std::string closed = root + "/closed.JOB";
        ASSERT_EQ(Run({"select", closed, MakeFile("x")}).status, 0);
        ASSERT_EQ(chmod(closed.c_str(), 0600), 0);
        const std::string unreadable = "ardentix: " + closed + ": cannot be read (Permission denied)\n";
        const Result listed = Run({"selection", closed}, kNobody);
        EXPECT_EQ(listed.status, 1);
        EXPECT_EQ(listed.err, unreadable);
        const Result window = Run({closed}, kNobody);
        EXPECT_EQ(window.status, 1);
        EXPECT_EQ(window.err, unreadable);
    }
}

// The example a newcomer sees first: its job, written into the program,
// is what `select` makes of the same two paths but for the mixed folders on
// the way, and the demo prints its selection and leaves its picture. Its
// folder is the user's own.
TEST_F(ArdentixTest, TheExampleJobIsWhatSelectMakesAndTheDemoShowsIt) {
    const std::string shot = root + "/demo.png";
    // Headless, with the fixed-metric test font: nothing of the machine's.
    setenv("AX_DISPLAY", "headless", 1);
    setenv("AX_TEST_FONT", "1", 1);
    const Result demo = Run({"demo", shot});
    unsetenv("AX_DISPLAY");
    unsetenv("AX_TEST_FONT");
    ASSERT_EQ(demo.status, 0) << demo.err;
    const std::string folder = tmp + "/ardentix-example-" + std::to_string(geteuid());
    EXPECT_EQ(demo.out, "screenshot: " + shot + "\njob: " + folder + "/example.JOB\nselection:\n" + folder +
                            "/Documents\n" + folder + "/Pictures/holiday.png\n");
    EXPECT_EQ(demo.err, "");
    const std::string png = ReadAll(shot);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");

    // The same selection from `select`: the same records, but for the
    // folders on the way, which the example stores as mixed.
    const std::string job = root + "/same.JOB";
    ASSERT_EQ(Run({"select", job, folder + "/Pictures/holiday.png", folder + "/Documents"}).status, 0);
    std::string example = ReadAll(folder + "/example.JOB");
    EXPECT_EQ(Run({"selection", folder + "/example.JOB"}).out, Run({"selection", job}).out);
    const std::string mixed("\x01\x04\x01", 3), unset(3, '\0');
    for (size_t at = 0; (at = example.find(mixed + std::string(12, '\0') + '\0', at)) != std::string::npos;)
        example.replace(at, 3, unset);
    EXPECT_EQ(example, ReadAll(job));
}

// The job's records, written out by hand for the folder the example once
// had for everybody: one record a line.
TEST_F(ArdentixTest, TheExampleJobHasTheStreamsLayout) {
    const char* hex =
        "02000000 0000 01 01000000"
        "0e000000 0c001f2f636f6d7075746572 0000 01 01000000"
        "12000000 0c001f2f636f6d7075746572 04002f2f 0000 01 01000000"
        "18000000 0c001f2f636f6d7075746572 04002f2f 060031746d70 0000 01 01000000"
        "2b000000 0c001f2f636f6d7075746572 04002f2f 060031746d70 130031617264656e7469782d6578616d706c65"
        " 0000 01 02000000"
        "37000000 0c001f2f636f6d7075746572 04002f2f 060031746d70 130031617264656e7469782d6578616d706c65"
        " 0c0031446f63756d656e7473 0000 00 010201 00000000 00000000 00000000 00"
        "36000000 0c001f2f636f6d7075746572 04002f2f 060031746d70 130031617264656e7469782d6578616d706c65"
        " 0b00315069637475726573 0000 01 01000000"
        "44000000 0c001f2f636f6d7075746572 04002f2f 060031746d70 130031617264656e7469782d6578616d706c65"
        " 0b00315069637475726573 0e0031686f6c696461792e706e67 0000 00 010201 00000000 00000000 00000000 00"
        "010401 00000000 00000000 00000000 00"
        "010401 00000000 00000000 00000000 00"
        "010401 00000000 00000000 00000000 00"
        "010401 00000000 00000000 00000000 00"
        "010401 00000000 00000000 00000000 00"
        "000000 00000000 00000000 00000000 00";
    std::vector<uint8_t> expected;
    for (const char* p = hex; *p; ++p)
        if (*p != ' ') expected.push_back(uint8_t(std::stoi(std::string(p, 2), nullptr, 16))), ++p;
    EXPECT_EQ(ax::ExampleJobBytes("/tmp/ardentix-example"), expected);
    EXPECT_EQ(ax::ExampleJobBytes("//tmp//ardentix-example/"), expected);
}

// Every user has an example folder of their own, under a plain TMPDIR.
TEST_F(ArdentixTest, TheExampleFolderIsTheUsersOwn) {
    const std::string uid = std::to_string(geteuid());
    EXPECT_EQ(ax::ExampleFolder(), tmp + "/ardentix-example-" + uid);
    for (const char* odd : {"relative/tmp", "/a/../b", "/a/./b", ""}) {
        setenv("TMPDIR", odd, 1);
        EXPECT_EQ(ax::ExampleFolder(), "/tmp/ardentix-example-" + uid) << odd;
    }
    unsetenv("TMPDIR");
    EXPECT_EQ(ax::ExampleFolder(), "/tmp/ardentix-example-" + uid);
}

// A second user's demo gets a folder of its own; a folder of another user
// or a link where the folder belongs is refused, and nothing is made.
TEST_F(ArdentixTest, TheDemoOfEachUserHasItsOwnFolder) {
    setenv("AX_DISPLAY", "headless", 1);
    setenv("AX_TEST_FONT", "1", 1);
    const std::string mine = tmp + "/ardentix-example-" + std::to_string(geteuid());
    const Result first = Run({"demo", root + "/mine.png"});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_NE(first.out.find("job: " + mine + "/example.JOB\n"), std::string::npos) << first.out;
    if (geteuid() == 0) {
        // The other user reaches the test's folders, and writes only in tmp.
        chmod(root.c_str(), 0755);
        const std::string theirs = tmp + "/ardentix-example-" + std::to_string(kNobody);
        const Result second = Run({"demo", tmp + "/theirs.png"}, kNobody);
        EXPECT_EQ(second.status, 0) << second.err;
        EXPECT_NE(second.out.find(theirs + "/Pictures/holiday.png\n"), std::string::npos) << second.out;
        struct stat st;
        ASSERT_EQ(lstat(theirs.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, kNobody);

        // Made by another user: not ours to use.
        ASSERT_EQ(chown(mine.c_str(), kNobody, kNobody), 0);
        const Result refused = Run({"demo", root + "/refused.png"});
        EXPECT_EQ(refused.status, 1);
        EXPECT_EQ(refused.err, "ardentix: " + mine + ": belongs to another user\n");
        EXPECT_NE(access((root + "/refused.png").c_str(), F_OK), 0);
    }
    // A link planted where the folder belongs.
    ASSERT_TRUE(RemoveTree(AT_FDCWD, mine.c_str()));
    ASSERT_EQ(symlink(data.c_str(), mine.c_str()), 0);
    const Result linked = Run({"demo", root + "/linked.png"});
    EXPECT_EQ(linked.status, 1);
    EXPECT_EQ(linked.err, "ardentix: " + mine + ": is not a folder\n");
    EXPECT_NE(access((data + "/example.JOB").c_str(), F_OK), 0);
    unsetenv("AX_DISPLAY");
    unsetenv("AX_TEST_FONT");
}

// The program's heap is the memory manager's: it defines the malloc
// family itself (nothing is preloaded for it).
TEST_F(ArdentixTest, TheProgramCarriesItsOwnHeap) {
    if (!AX_OWN_HEAP) GTEST_SKIP() << "built with the sanitizers, whose heap is the process's";
    const std::string list = root + "/symbols";
    ASSERT_EQ(std::system(("nm --defined-only " + std::string(AX_ARDENTIX) + " > " + list).c_str()), 0);
    const std::string symbols = ReadAll(list);
    for (const char* name : {" T malloc\n", " T free\n", " T realloc\n", " T calloc\n", " T axmalloc_owns\n"})
        EXPECT_NE(symbols.find(name), std::string::npos) << name;
}

// A program that ends at once (here with its usage) ends cleanly every
// time, whatever its crash reporter's worker is still doing.
TEST_F(ArdentixTest, AQuickEndIsCleanEveryTime) {
    int odd = 0;
    std::string last;
    for (int i = 0; i < 100; ++i) {
        const Result r = Run({"selection"});
        if (r.status != 2 || r.err.find("vorExcept") != std::string::npos) {
            ++odd;
            last = r.err;
        }
    }
    EXPECT_EQ(odd, 0) << last;
}

// The window's job file must be there before any window opens.
TEST_F(ArdentixTest, AMissingJobForTheWindowIsOneLineAndStatusOne) {
    const Result r = Run({root + "/backup"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(OneLineNaming(r.err, root + "/backup: no such job file")) << r.err;
}

// A display named but not answering: one line and status 1, never a
// window waiting on no screen. A local port that takes connections and
// never answers stands for a server gone silent.
TEST_F(ArdentixTest, ADisplayThatDoesNotAnswerIsOneLineAndStatusOne) {
    const int silent = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(silent, 0);
    int number = 0;
    for (int n = 50; n < 100 && !number; ++n) {
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(uint16_t(6000 + n));
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(silent, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0) number = n;
    }
    ASSERT_NE(number, 0) << "no free port";
    ASSERT_EQ(listen(silent, 8), 0);
    const char* display = getenv("DISPLAY");
    const std::string saved = display ? display : "";
    unsetenv("AX_DISPLAY");
    const std::string silentDisplay = "127.0.0.1:" + std::to_string(number);
    setenv("DISPLAY", silentDisplay.c_str(), 1);
    const Result r = Run({});
    close(silent);
    // A display nobody serves at all: no socket, no port.
    const std::string noneDisplay = ":" + std::to_string(number);
    setenv("DISPLAY", noneDisplay.c_str(), 1);
    const Result none = Run({});
    if (saved.empty()) unsetenv("DISPLAY");
    else setenv("DISPLAY", saved.c_str(), 1);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ardentix: cannot open display " + silentDisplay + "\n");
    if (access(("/tmp/.X11-unix/X" + std::to_string(number)).c_str(), F_OK) != 0) {
        EXPECT_EQ(none.status, 1);
        EXPECT_EQ(none.err, "ardentix: cannot open display " + noneDisplay + "\n");
    }
}

TEST_F(ArdentixTest, TheWindowWithoutADisplayIsOneLineAndStatusOne) {
    const char* display = getenv("DISPLAY");
    const std::string saved = display ? display : "";
    unsetenv("DISPLAY");
    unsetenv("AX_DISPLAY");
    const Result r = Run({});
    if (!saved.empty()) setenv("DISPLAY", saved.c_str(), 1);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(OneLineNaming(r.err, "no display to open the window on")) << r.err;
}

} // namespace
