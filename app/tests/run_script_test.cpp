// The scripts a newcomer runs first, on stand-ins for the build and the
// package tools: what they are doing is told on stderr (stdout is the
// program's), and a failed build shows its errors.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

namespace {

struct Result {
    int status = -1;
    std::string out, err;
};

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteScript(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "#!/usr/bin/env bash\n" << text;
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
}

class RunScriptTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/axrunXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        // The stand-ins: found first on PATH.
        WriteScript(root / "bin/cmake",
                    "[ \"$1\" = --build ] || exit 0\n"
                    "echo \"[ 50%] Building CXX object app/src/main.cpp.o\"\n"
                    "if [ -n \"${BROKEN:-}\" ]; then echo 'main.cpp:1: error: broken' >&2; exit 2; fi\n"
                    "mkdir -p build/release/app\n"
                    "printf '#!/bin/sh\\nprintf \"ran:%%s\\\\n\" \"$*\"\\n' > build/release/app/ardentix\n"
                    "chmod +x build/release/app/ardentix\n");
        WriteScript(root / "bin/dpkg-query", "exit 1\n"); // nothing installed
        WriteScript(root / "bin/apt-get", "echo \"$*\" >> \"$APT_LOG\"\n");
        WriteScript(root / "bin/sudo", "exec \"$@\"\n");
    }
    void TearDown() override { fs::remove_all(root); }

    // Runs command under bash with the stand-ins first on PATH.
    Result Run(const std::string& command) {
        const fs::path out = root / "stdout", err = root / "stderr";
        const std::string line = "PATH='" + (root / "bin").string() + "':\"$PATH\" APT_LOG='" +
                                 (root / "apt.log").string() + "' " + command + " >'" +
                                 out.string() + "' 2>'" + err.string() + "'";
        Result r;
        const int status = std::system(("bash -c " + Quote(line)).c_str());
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = ReadAll(out);
        r.err = ReadAll(err);
        return r;
    }
    static std::string Quote(const std::string& text) {
        std::string quoted = "'";
        for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return quoted + "'";
    }

    fs::path root;
};

TEST_F(RunScriptTest, RunTellsTheBuildOnStderrAndPassesStdoutOn) {
    const fs::path tree = root / "tree";
    fs::create_directories(tree);
    fs::copy_file(fs::path(AX_SOURCE_DIR) / "run", tree / "run");
    WriteScript(tree / "scripts/setup", "exit 0\n");

    Result r = Run("BROKEN=1 '" + (tree / "run").string() + "' selection x.JOB");
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("building ardentix (the first build takes several minutes)...\n"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("main.cpp:1: error: broken\n"), std::string::npos) << r.err;

    r = Run("'" + (tree / "run").string() + "' selection x.JOB");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "ran:selection x.JOB\n");
    EXPECT_EQ(r.err, "building ardentix (the first build takes several minutes)...\n");

    // Built: a later build is told once it compiles.
    r = Run("'" + (tree / "run").string() + "' selection -0 x.JOB");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "ran:selection -0 x.JOB\n");
    EXPECT_EQ(r.err, "building ardentix...\n");
}

TEST_F(RunScriptTest, SetupTellsWhatItInstallsOnStderr) {
    const fs::path tree = root / "tree";
    fs::create_directories(tree / "scripts/deps");
    fs::copy_file(fs::path(AX_SOURCE_DIR) / "scripts/setup", tree / "scripts/setup");
    std::ofstream(tree / "scripts/deps/a.list") << "# the layer's packages\nlibfoo-dev libbar-dev\n";
    const Result r = Run("'" + (tree / "scripts/setup").string() + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "setup: installing the Debian packages the build needs: libbar-dev libfoo-dev\n");
    const std::string apt = ReadAll(root / "apt.log");
    EXPECT_NE(apt.find("install -y -qq --no-install-recommends libbar-dev libfoo-dev"), std::string::npos)
        << apt;
}

} // namespace
