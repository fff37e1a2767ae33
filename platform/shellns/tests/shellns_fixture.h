#pragma once
// A home of its own for every test: HOME, the XDG folders, the trash and
// the mount table all point into a fresh temporary folder.
#include "platform/shellns/pidl.h"
#include "platform/shellns/shellops.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace ax::testing {

class TempHome : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/axshellXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        home = root + "/home";
        mkdir(home.c_str(), 0755);
        mkdir((home + "/.config").c_str(), 0755);
        mkdir((home + "/Desktop").c_str(), 0755);
        mkdir((home + "/Documents").c_str(), 0755);
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
        setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
        setenv("TZ", "UTC", 1);
        tzset();
        mounts = root + "/mounts";
        Write(mounts, "/dev/sda1 / ext4 rw 0 0\nproc /proc proc rw 0 0\n");
        SetMountTableFile(mounts);
        IMalloc* m = nullptr;
        SHGetMalloc(&m);
        malloc_ = m;
        live = m->LiveBlocks();
    }
    void TearDown() override {
        EXPECT_EQ(malloc_->LiveBlocks(), live) << "PIDLs leaked or freed twice";
        SetMountTableFile("");
        std::error_code error;
        std::filesystem::remove_all(root, error);
        if (error) ADD_FAILURE() << "cleanup of " << root << ": " << error.message();
    }
    static void Write(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string root, home, mounts;
    IMalloc* malloc_ = nullptr;
    int64_t live = 0;
};

inline std::string PidlString(PCItemIDList p) {
    return p ? std::string(reinterpret_cast<const char*>(p), ILByteSize(p)) : std::string();
}

} // namespace ax::testing
