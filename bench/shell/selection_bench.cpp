// The selection road as a user runs it, against find over the same tree in
// the same run:
//
//   ardentix select JOB PATH...   the files as arguments, relative to the
//                                 tree (goal: within 5x find -type f); left
//                                 out past 100,000 files (no command line
//                                 holds them)
//   find | ardentix select JOB -  the files' absolute paths through a pipe,
//                                 against find | sort (no goal: told)
//   ardentix selection JOB        the same job (goal: within 2x find -type f,
//                                 and a peak within 150 MB a million paths)
//   ardentix selection HOSTILE    a valid 64 MB job built to be slow to load
//                                 (goal: within 2 s)
//
// Every program runs as its own process with its output thrown away; each
// figure is the median of --reps runs (default 5), the programs taking
// turns, and each peak resident size the median of the runs' peaks. The
// tree is --files files (default 100,000) in folders of 100, under --root
// (default /tmp); --ardentix runs another build of the program. The exit
// status is 1 when a goal is missed.
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
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int kFilesPerFolder = 100;
// The most files given to `select` as arguments.
constexpr int kMostArguments = 100000;

// The peak resident size of the last program run, in bytes (for a pipeline,
// of the largest program in it).
double g_peak = 0;
std::string g_peakFile;

// `--launch PEAKFILE PROGRAM ARG...`: runs the program as a child of this
// small process and writes the peak resident size of it and its children
// to PEAKFILE. Started from the bench itself, a program would carry the
// bench's own peak in its figure: the kernel keeps the peak across exec.
int Launch(char** argv) {
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[3], argv + 3);
        _exit(127);
    }
    int status = -1;
    if (pid > 0) waitpid(pid, &status, 0);
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    std::ofstream(argv[2]) << usage.ru_maxrss;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

// Runs a program (no shell), stdout to /dev/null, stdin from input when
// given; its wall time in milliseconds, or -1 when it failed.
double Run(const std::vector<std::string>& args, const std::string& cwd = {},
           const std::string& input = {}) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (!input.empty()) posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
    if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    std::vector<char*> argv{const_cast<char*>("/proc/self/exe"), const_cast<char*>("--launch"),
                            g_peakFile.data()};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int status = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0)
        waitpid(pid, &status, 0);
    std::ifstream(g_peakFile) >> g_peak;
    g_peak *= 1024;
    const auto end = std::chrono::steady_clock::now();
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return std::chrono::duration<double, std::milli>(end - start).count();
}

// Runs a shell pipeline as Run does.
double RunShell(const std::string& command) { return Run({"sh", "-c", command}); }

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
    if (argc > 3 && !std::strcmp(argv[1], "--launch")) return Launch(argv);
    int reps = 5, files = 100000;
    std::string ardentix = AX_ARDENTIX, under = "/tmp";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--reps")) reps = std::max(1, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--files")) files = std::max(kFilesPerFolder, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--root")) under = argv[i + 1];
        else if (!std::strcmp(argv[i], "--ardentix")) ardentix = argv[i + 1];
    }
    const int folders = files / kFilesPerFolder;
    files = folders * kFilesPerFolder;
    const int width = std::max(3, int(std::to_string(folders - 1).size()));

    std::string pattern = under + "/axselbenchXXXXXX";
    if (!mkdtemp(pattern.data())) return 2;
    const std::string root = pattern;
    g_peakFile = root + ".peak";
    std::vector<std::string> relative;
    char name[32];
    auto folderName = [&](int d) {
        const std::string digits = std::to_string(d);
        return "d" + std::string(size_t(width) - std::min(digits.size(), size_t(width)), '0') + digits;
    };
    for (int d = 0; d < folders; ++d) {
        const std::string dir = folderName(d);
        mkdir((root + "/" + dir).c_str(), 0755);
        for (int f = 0; f < kFilesPerFolder; ++f) {
            std::snprintf(name, sizeof name, "/f%02d", f);
            if (files <= kMostArguments) relative.push_back(dir + name);
            std::ofstream(root + "/" + dir + name) << "x";
        }
    }
    const std::string job = root + ".JOB", piped = root + ".piped.JOB";
    std::vector<std::string> select{ardentix, "select", job};
    select.insert(select.end(), relative.begin(), relative.end());
    const std::string findSort = "find '" + root + "' -type f | sort";
    const std::string findSelect = "find '" + root + "' -type f | '" + ardentix + "' select '" + piped + "' -";
    // Without the arguments' run, the pipe makes the job listed.
    const std::string& listed = relative.empty() ? piped : job;

    // The hostile job: under the first folder, whose 100 files are real.
    ax::ShellFolderPtr desktop;
    ax::SHGetDesktopFolder(&desktop);
    ax::PItemIDList folder = nullptr;
    if (ax::FAILED(desktop->ParseDisplayName(root + "/" + folderName(0), &folder))) return 2;
    const std::string folderPidl(reinterpret_cast<const char*>(folder), ax::ILByteSize(folder));
    ax::TaskAllocatorDeleter()(folder);
    std::vector<std::string> realNames;
    for (int f = 0; f < kFilesPerFolder; ++f) {
        std::snprintf(name, sizeof name, "f%02d", f);
        realNames.push_back(name);
    }
    const std::string hostile = root + ".hostile.JOB";
    size_t hostileSize = 0;
    {
        const std::string hostileBytes = HostileJob(folderPidl, realNames, 64u << 20);
        hostileSize = hostileBytes.size();
        std::ofstream(hostile, std::ios::binary) << hostileBytes;
    }

    // Warm the caches once, then take turns.
    Run({"find", root, "-type", "f"});
    if ((!relative.empty() && Run(select, root) < 0) || RunShell(findSelect) < 0 ||
        Run({ardentix, "selection", hostile}) < 0) {
        std::fprintf(stderr, "selection_bench: a run failed\n");
        return 2;
    }
    std::vector<double> find, selectTimes, sorted, pipedTimes, selection, hostileTimes;
    std::vector<double> selectPeaks, pipedPeaks, selectionPeaks, hostilePeaks;
    for (int r = 0; r < reps; ++r) {
        find.push_back(Run({"find", root, "-type", "f"}));
        if (!relative.empty()) {
            selectTimes.push_back(Run(select, root));
            selectPeaks.push_back(g_peak);
        }
        sorted.push_back(RunShell(findSort));
        pipedTimes.push_back(RunShell(findSelect));
        pipedPeaks.push_back(g_peak);
        selection.push_back(Run({ardentix, "selection", listed}));
        selectionPeaks.push_back(g_peak);
        hostileTimes.push_back(Run({ardentix, "selection", hostile}));
        hostilePeaks.push_back(g_peak);
    }
    const double f = Median(find), s = Median(selectTimes), fs = Median(sorted), p = Median(pipedTimes),
                 l = Median(selection), h = Median(hostileTimes);
    const double lPeak = Median(selectionPeaks);
    const bool selectOk = relative.empty() || (s > 0 && s <= 5 * f),
               selectionOk = l > 0 && l <= 2 * f && lPeak <= 150e6 * std::max(1.0, files / 1e6),
               hostileOk = h > 0 && h <= 2000;
    auto mb = [](double bytes) { return bytes / 1e6; };
    std::printf("selection road, %d files in %d folders under %s, median of %d runs\n", files, folders,
                under.c_str(), reps);
    std::printf("| step | ms | ratio to find (a pipe: to find \\| sort) | peak MB | goal |\n|---|---|---|---|---|\n");
    std::printf("| find -type f | %.1f | 1.00 | | |\n", f);
    if (!relative.empty())
        std::printf("| ardentix select (%zu paths as arguments) | %.1f | %.2f | %.1f | 5x find: %s |\n",
                    relative.size(), s, s / f, mb(Median(selectPeaks)), selectOk ? "met" : "MISSED");
    std::printf("| find -type f \\| sort | %.1f | 1.00 | | |\n", fs);
    std::printf("| find -type f \\| ardentix select - | %.1f | %.2f | %.1f | told |\n", p, p / fs,
                mb(Median(pipedPeaks)));
    std::printf("| ardentix selection | %.1f | %.2f | %.1f (%.0f bytes a path) | 2x find, 150 MB a million: %s |\n",
                l, l / f, mb(lPeak), lPeak / files, selectionOk ? "met" : "MISSED");
    std::printf("| ardentix selection, hostile job (%.1f MB) | %.1f | | %.1f | 2000 ms: %s |\n",
                double(hostileSize) / (1 << 20), h, mb(Median(hostilePeaks)),
                hostileOk ? "met" : "MISSED");

    std::error_code error;
    for (const std::string& file : {job, piped, hostile, g_peakFile})
        std::filesystem::remove(file, error);
    std::filesystem::remove_all(root, error);
    if (error) std::fprintf(stderr, "cleanup of %s failed\n", root.c_str());
    return selectOk && selectionOk && hostileOk ? 0 : 1;
}
