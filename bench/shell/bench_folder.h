#pragma once
// What the shell benchmarks share: a scratch folder of many empty files, the
// peer programs (ls, find) timed in the same run, medians and the command
// line's counts.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace ax::bench {

using Wall = std::chrono::steady_clock;

inline double Ms(Wall::time_point from, Wall::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

// Runs a program (no shell), stdout to /dev/null; its wall time in
// milliseconds, or -1 when it failed.
inline double Run(const std::vector<std::string>& args) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = Wall::now();
    pid_t pid = 0;
    int status = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) waitpid(pid, &status, 0);
    const auto end = Wall::now();
    posix_spawn_file_actions_destroy(&actions);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? Ms(start, end) : -1;
}

// The value after name on the command line (at least 1), else fallback.
inline int Count(int argc, char** argv, const char* name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i)
        if (!std::strcmp(argv[i], name)) fallback = std::max(1, std::atoi(argv[i + 1]));
    return fallback;
}

// An empty file.
inline void Touch(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) close(fd);
}

// count empty files in folder, named as format says of their number.
inline void MakeFiles(const std::string& folder, uint32_t count, const char* format = "/file%06u.dat") {
    char name[32];
    for (uint32_t f = 0; f < count; ++f) {
        std::snprintf(name, sizeof name, format, f);
        Touch(folder + name);
    }
}

// A scratch folder under /tmp, removed with what it holds when it goes;
// Path() is empty when it could not be made.
class BenchFolder {
public:
    explicit BenchFolder(const std::string& prefix) {
        std::string pattern = "/tmp/" + prefix + "XXXXXX";
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~BenchFolder() {
        std::error_code error;
        if (!path_.empty()) std::filesystem::remove_all(path_, error);
    }
    BenchFolder(const BenchFolder&) = delete;
    BenchFolder& operator=(const BenchFolder&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

} // namespace ax::bench
