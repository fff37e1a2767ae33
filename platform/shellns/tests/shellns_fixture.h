#pragma once
// A home of its own for every test: HOME, the XDG folders, the trash and
// the mount table all point into a fresh temporary folder.
#include "platform/shellns/pidl.h"
#include "platform/shellns/shellops.h"

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ax::testing {

// Mounts a fresh tmpfs on dir, seen by this process only (a mount namespace
// of its own), so that tests have a second file system. Empty on success,
// else why it cannot be done here (the caller skips with that message).
inline std::string MountScratchFileSystem(const std::string& dir) {
    static bool privateNamespace = false;
    if (!privateNamespace) {
        if (unshare(CLONE_NEWNS) != 0)
            return std::string("no mount namespace of our own: ") + strerror(errno);
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return std::string("mounts cannot be made private: ") + strerror(errno);
        privateNamespace = true;
    }
    if (mount("axscratch", dir.c_str(), "tmpfs", 0, "size=64m,mode=0755") != 0)
        return std::string("tmpfs cannot be mounted: ") + strerror(errno);
    return {};
}

// Removes name below dirfd with all it holds, at any depth (each folder is
// opened relative to the one holding it). False when something stayed.
inline bool RemoveTreeAt(int dirfd, const char* name) {
    struct stat st;
    if (fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
    if (!S_ISDIR(st.st_mode)) return unlinkat(dirfd, name, 0) == 0;
    const int fd = openat(dirfd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return false;
    }
    bool ok = true;
    while (dirent* e = readdir(dir))
        if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, ".."))
            ok = RemoveTreeAt(fd, e->d_name) && ok;
    closedir(dir);
    return unlinkat(dirfd, name, AT_REMOVEDIR) == 0 && ok;
}

// levels folders called name, each inside the one before, made relative to
// each other so that the whole path may be longer than PATH_MAX. Answers
// the deepest folder's path.
inline std::string MakeDeepFolders(const std::string& base, const std::string& name, int levels) {
    int fd = open(base.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    std::string path = base;
    for (int i = 0; i < levels && fd >= 0; ++i) {
        if (mkdirat(fd, name.c_str(), 0755) != 0) ADD_FAILURE() << "mkdirat at level " << i;
        const int next = openat(fd, name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        close(fd);
        fd = next;
        path += "/" + name;
    }
    if (fd >= 0) close(fd);
    return path;
}

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
        if (!RemoveTreeAt(AT_FDCWD, root.c_str())) ADD_FAILURE() << "cleanup of " << root;
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
