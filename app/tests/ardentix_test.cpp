// The built program, run on temporary folders: select and selection round
// trip, and bad job files give one line on stderr and status 1.
#include <filesystem>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

struct Result {
    int status = -1;
    std::string out, err;
};

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
    }
    void TearDown() override {
        if (chdir("/") != 0) ADD_FAILURE() << "chdir";
        std::error_code error;
        std::filesystem::remove_all(root, error);
        if (error) ADD_FAILURE() << "cleanup of " << root;
    }

    // Runs the program with exactly these arguments (no shell in between).
    Result Run(const std::vector<std::string>& args) {
        const std::string outFile = root + "/stdout", errFile = root + "/stderr";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        std::vector<char*> argv{const_cast<char*>(AX_ARDENTIX)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        pid_t pid = 0;
        Result r;
        if (posix_spawn(&pid, AX_ARDENTIX, &actions, nullptr, argv.data(), environ) == 0) {
            int status = 0;
            waitpid(pid, &status, 0);
            r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        posix_spawn_file_actions_destroy(&actions);
        r.out = ReadAll(outFile);
        r.err = ReadAll(errFile);
        return r;
    }
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

    std::string root, data;
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

TEST_F(ArdentixTest, MisuseShowsTheUsage) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {}, {"select", "job"}, {"selection"}, {"selection", "a", "b"}, {"backup"}}) {
        const Result r = Run(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("usage: ardentix"), std::string::npos);
    }
}

} // namespace
