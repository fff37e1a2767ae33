// The selection road as a user runs it, against find over the same tree in
// the same run:
//
//   ardentix select JOB PATH...   100,000 files (goal: within 5x find -type f)
//   ardentix selection JOB        the same job (goal: within 3x find -type f)
//   ardentix selection HOSTILE    a valid 64 MB job built to be slow to load
//                                 (goal: within 2 s)
//
// Every program runs as its own process with its output thrown away; each
// figure is the median of --reps runs (default 5), the programs taking
// turns. The exit status is 1 when a goal is missed.
#include "platform/shellns/pidl.h"
#include "platform/shellns/shellapi.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int kFolders = 1000;
constexpr int kFilesPerFolder = 100;

// Runs a program (no shell), stdout to /dev/null; its wall time in
// milliseconds, or -1 when it failed.
double Run(const std::vector<std::string>& args, const std::string& cwd = {}) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int status = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0)
        waitpid(pid, &status, 0);
    const auto end = std::chrono::steady_clock::now();
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return std::chrono::duration<double, std::milli>(end - start).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

void Append(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(char(v >> (8 * i)));
}

// One record of the job stream (no version words): the PIDL, no children,
// a checked tri-state record, three empty arrays, no object.
void Leaf(std::string& out, const std::string& pidl, uint8_t state) {
    Append(out, uint32_t(pidl.size()));
    out += pidl;
    out.push_back(0); // no children
    out.push_back(1); // kinds: check
    out.push_back(char(state));
    out.push_back(1); // tri-state
    Append(out, 0);
    Append(out, 0);
    Append(out, 0);
    out.push_back(0); // no object
}

std::string ItemOf(uint8_t kind, const std::string& payload) {
    std::string item;
    item.push_back(char((payload.size() + 3) & 0xFF));
    item.push_back(char((payload.size() + 3) >> 8));
    item.push_back(char(kind));
    return item + payload;
}

// A valid job of about `bytes` that loads slowly by design: the records on
// the way down to one folder, then that folder's children, mostly naming
// files that do not exist (each must be read, checked and dropped), with
// the real files among them, in reverse order (to be sorted).
std::string HostileJob(const std::string& folderPidl, const std::vector<std::string>& realNames,
                       size_t bytes) {
    // The folder's items, without the terminator.
    std::vector<std::string> items;
    for (size_t at = 0; at + 2 < folderPidl.size();) {
        const size_t cb = uint8_t(folderPidl[at]) | (uint8_t(folderPidl[at + 1]) << 8);
        items.push_back(folderPidl.substr(at, cb));
        at += cb;
    }
    const std::string body = folderPidl.substr(0, folderPidl.size() - 2);
    std::string children;
    uint32_t count = 0;
    for (auto it = realNames.rbegin(); it != realNames.rend(); ++it, ++count)
        Leaf(children, body + ItemOf(0x31, *it) + std::string(2, '\0'), 2);
    char name[32];
    for (uint32_t n = 0; children.size() < bytes; ++n, ++count) {
        std::snprintf(name, sizeof name, "absent-%09u.dat", n);
        Leaf(children, body + ItemOf(0x31, name) + std::string(2, '\0'), 2);
    }
    // Wrap the list in the folder's record, and that in each record above
    // it up to the root.
    std::string record;
    std::string pidl = body + std::string(2, '\0');
    Append(record, uint32_t(pidl.size()));
    record += pidl;
    record.push_back(1);
    Append(record, count);
    record += children;
    record += std::string("\0\0\0", 3) + std::string(13, '\0');
    for (size_t level = items.size(); level-- > 0;) {
        std::string prefix;
        for (size_t i = 0; i < level; ++i)
            prefix += items[i];
        std::string up;
        const std::string upPidl = prefix + std::string(2, '\0');
        Append(up, uint32_t(upPidl.size()));
        up += upPidl;
        up.push_back(1);
        Append(up, 1);
        up += record;
        up += std::string("\0\0\0", 3) + std::string(13, '\0');
        record = std::move(up);
    }
    return record;
}

} // namespace

int main(int argc, char** argv) {
    int reps = 5;
    for (int i = 1; i + 1 < argc; ++i)
        if (!std::strcmp(argv[i], "--reps")) reps = std::max(1, std::atoi(argv[i + 1]));
    const std::string ardentix = AX_ARDENTIX;

    char pattern[] = "/tmp/axselbenchXXXXXX";
    if (!mkdtemp(pattern)) return 2;
    const std::string root = pattern;
    std::vector<std::string> relative;
    char name[32];
    for (int d = 0; d < kFolders; ++d) {
        std::snprintf(name, sizeof name, "d%03d", d);
        const std::string dir = root + "/" + name;
        mkdir(dir.c_str(), 0755);
        for (int f = 0; f < kFilesPerFolder; ++f) {
            std::snprintf(name, sizeof name, "d%03d/f%02d", d, f);
            relative.push_back(name);
            std::ofstream(root + "/" + name) << "x";
        }
    }
    const std::string job = root + ".JOB";
    std::vector<std::string> select{ardentix, "select", job};
    select.insert(select.end(), relative.begin(), relative.end());

    // The hostile job: under d000, whose 100 files are real.
    ax::ShellFolderPtr desktop;
    ax::SHGetDesktopFolder(&desktop);
    ax::PItemIDList folder = nullptr;
    if (ax::FAILED(desktop->ParseDisplayName(root + "/d000", &folder))) return 2;
    const std::string folderPidl(reinterpret_cast<const char*>(folder), ax::ILByteSize(folder));
    ax::TaskAllocatorDeleter()(folder);
    std::vector<std::string> realNames;
    for (int f = 0; f < kFilesPerFolder; ++f) {
        std::snprintf(name, sizeof name, "f%02d", f);
        realNames.push_back(name);
    }
    const std::string hostile = root + ".hostile.JOB";
    const std::string hostileBytes = HostileJob(folderPidl, realNames, 64u << 20);
    std::ofstream(hostile, std::ios::binary) << hostileBytes;

    // Warm the caches once, then take turns.
    Run({"find", root, "-type", "f"});
    if (Run(select, root) < 0 || Run({ardentix, "selection", hostile}) < 0) {
        std::fprintf(stderr, "selection_bench: a run failed\n");
        return 2;
    }
    std::vector<double> find, selectTimes, selection, hostileTimes;
    for (int r = 0; r < reps; ++r) {
        find.push_back(Run({"find", root, "-type", "f"}));
        selectTimes.push_back(Run(select, root));
        selection.push_back(Run({ardentix, "selection", job}));
        hostileTimes.push_back(Run({ardentix, "selection", hostile}));
    }
    const double f = Median(find), s = Median(selectTimes), l = Median(selection),
                 h = Median(hostileTimes);
    const bool selectOk = s > 0 && s <= 5 * f, selectionOk = l > 0 && l <= 3 * f,
               hostileOk = h > 0 && h <= 2000;
    std::printf("selection road, %d files in %d folders, median of %d runs\n",
                kFolders * kFilesPerFolder, kFolders, reps);
    std::printf("| step | ms | ratio to find -type f | goal |\n|---|---|---|---|\n");
    std::printf("| find -type f | %.1f | 1.00 | |\n", f);
    std::printf("| ardentix select (%zu paths) | %.1f | %.2f | 5x: %s |\n", relative.size(), s,
                s / f, selectOk ? "met" : "MISSED");
    std::printf("| ardentix selection | %.1f | %.2f | 3x: %s |\n", l, l / f,
                selectionOk ? "met" : "MISSED");
    std::printf("| ardentix selection, hostile job (%.1f MB) | %.1f | | 2000 ms: %s |\n",
                double(hostileBytes.size()) / (1 << 20), h, hostileOk ? "met" : "MISSED");

    std::error_code error;
    std::filesystem::remove(job, error);
    std::filesystem::remove(hostile, error);
    std::filesystem::remove_all(root, error);
    if (error) std::fprintf(stderr, "cleanup of %s failed\n", root.c_str());
    return selectOk && selectionOk && hostileOk ? 0 : 1;
}
