// The built program on a private Xvfb with openbox, its window taken away
// by other X clients: destroyed, or its connection killed, the program ends
// as a close ends it, with status 0; a close request that comes as the
// window first shows (while a job loads) is not dropped.
#include "x11_program.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern char** environ;

namespace ax {
namespace {

namespace fs = std::filesystem;

class X11WindowEndTest : public test::X11Test {
protected:
    void SetUp() override {
        test::X11Test::SetUp();
        if (!Started()) return;
        folder = (fs::temp_directory_path() / ("ax-windowend-" + std::to_string(getpid()))).string();
        fs::remove_all(folder);
        home = folder + "/home";
        fs::create_directories(home + "/Music");
        std::ofstream(home + "/Music/a.ogg") << "x";
        std::ofstream(home + "/notes.txt") << "x";
        savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
        // The program must not look at the real home.
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
        setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
        unsetenv("AX_DISPLAY");
    }
    void TearDown() override {
        if (pid > 0) {
            // A program that did not end is ended here, by its own id.
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        test::X11Test::TearDown();
        if (!folder.empty()) {
            setenv("HOME", savedHome.c_str(), 1);
            fs::remove_all(folder);
        }
    }

    // Starts the program with these arguments, its output going to files.
    void Start(const std::vector<std::string>& args) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, (folder + "/stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, 2, (folder + "/stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        std::vector<char*> argv{const_cast<char*>(AX_ARDENTIX)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ASSERT_EQ(posix_spawn(&pid, AX_ARDENTIX, &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
    }
    // The program's main window once it exists (mapped or not): the one
    // of its windows named after the program (and the job) with a size.
    unsigned long MainWindow(bool mapped) {
        unsigned long found = 0;
        EXPECT_TRUE(server.WaitFor([&] {
            for (unsigned long w : server.WindowsNamed("ArdentixXP"))
                if (server.WindowGeometry(w).width > 1 && (!mapped || server.WmState(w) == 1)) found = w;
            return found != 0;
        })) << "the program's window did not come";
        return found;
    }
    // The program's exit status once it ended; -1 when it did not.
    int Status() {
        int status = 0;
        if (!server.WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; })) return -1;
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::string Err() {
        std::ifstream in(folder + "/stderr", std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::string folder, home, savedHome;
    pid_t pid = -1;
};

TEST_F(X11WindowEndTest, AWindowDestroyedByAnotherClientEndsTheProgramWithStatusZero) {
    Start({});
    const unsigned long window = MainWindow(true);
    ASSERT_NE(window, 0u);
    server.Destroy(window);
    EXPECT_EQ(Status(), 0);
    EXPECT_EQ(Err(), "");
}

TEST_F(X11WindowEndTest, AKilledConnectionEndsTheProgramWithStatusZero) {
    Start({});
    const unsigned long window = MainWindow(true);
    ASSERT_NE(window, 0u);
    server.KillClient(window);
    EXPECT_EQ(Status(), 0);
    EXPECT_EQ(Err(), "");
}

TEST_F(X11WindowEndTest, ACloseRequestAsTheWindowFirstShowsEndsIt) {
    // A job to load: the window takes it in steps while it comes up.
    const std::string job = folder + "/start.JOB";
    Start({"select", job, home + "/Music", home + "/notes.txt"});
    ASSERT_EQ(Status(), 0) << Err();
    Start({job});
    const unsigned long window = MainWindow(false);
    ASSERT_NE(window, 0u);
    server.DeleteWindow(window);
    EXPECT_EQ(Status(), 0);
    EXPECT_EQ(Err(), "");
}

} // namespace
} // namespace ax
