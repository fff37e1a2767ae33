// Expanding every folder of a home of 1,000,000 entries in 50,000 folders
// in the explorer tree (headless display, files, folders and hidden items
// listed, check boxes on every node, as explorer_bench sets it up), against
// a GTK3 tree view holding the same rows, measured in the same run:
//
//   peak resident memory of the whole expansion    goal: within 1.5x GTK3
//
// Each side runs in a process of its own, so the peak is its own (the
// kernel's high-water mark, read when it ends). The home is made on
// /dev/shm: 50 folders under the home, 999 under each of them, and the
// files spread evenly over all 50,000 (19 each).
//
// home_bench [--folders F] [--entries E] [--reps R] [--root DIR]: medians
// of R runs (default 3). The peer runs when it was built (GTK3's
// development files) and a display answers; bench/shell/run_home starts a
// private one. The exit status is 1 when the goal is missed.
#include "framework/forms.h"
#include "platform/window/display.h"
#include "platform/window/window.h"
#include "explorer/ExplorerTree.h"

#include "bench_folder.h"

#include <sys/resource.h>

#include <bit>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace ax;
using namespace ax::bench;

struct Shape {
    uint32_t top = 0, sub = 0, files = 0;
    uint64_t Folders() const { return top + uint64_t(top) * sub; }
    uint64_t Entries() const { return Folders() * (1 + files); }
};

Shape ShapeOf(uint32_t folders, uint32_t entries) {
    Shape s;
    s.top = std::max<uint32_t>(1, folders / 1000);
    s.sub = std::max<uint32_t>(folders / s.top, 1) - 1;
    s.files = (entries - std::min(entries, folders)) / std::max<uint32_t>(folders, 1);
    return s;
}

void MakeHome(const std::string& home, const Shape& s) {
    char name[32];
    for (uint32_t t = 0; t < s.top; ++t) {
        std::snprintf(name, sizeof name, "/dir%02u", t);
        const std::string top = home + name;
        mkdir(top.c_str(), 0755);
        MakeFiles(top, s.files, "/file%02u.dat");
        for (uint32_t d = 0; d < s.sub; ++d) {
            std::snprintf(name, sizeof name, "/sub%03u", d);
            const std::string sub = top + name;
            mkdir(sub.c_str(), 0755);
            MakeFiles(sub, s.files, "/file%02u.dat");
        }
    }
}

// A figure of /proc/self/status in MB ("VmRSS", "VmHWM").
double StatusMB(const char* field) {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    char line[256];
    double kb = -1;
    const size_t n = std::strlen(field);
    while (f && std::fgets(line, sizeof line, f))
        if (!std::strncmp(line, field, n) && line[n] == ':') kb = std::atof(line + n + 1);
    if (f) std::fclose(f);
    return kb / 1024.0;
}

// The program's heap hands out power-of-two blocks with a 4-byte header,
// 32 bytes the least; the task allocator puts the block's size in front.
size_t HeapBlock(size_t bytes) {
    return std::max<size_t>(32, std::bit_ceil(bytes + 4));
}

// Where the bytes of the expanded tree go per node, on stderr.
void PrintWhere(TExplorerTree* tree, double baseMB) {
    uint64_t rows = 0, itemBytes = 0, itemBlocks = 0;
    for (PDataNode n = tree->GetFirst(); n; n = tree->GetNext(n)) {
        TNamespace* ns = tree->NodeNamespace(n);
        if (!ns || n == tree->GetFirst()) continue;
        ++rows;
        const size_t item = ILByteSize(ns->RelativePIDL());
        itemBytes += item;
        itemBlocks += HeapBlock(item + sizeof(size_t));
    }
    const double peak = StatusMB("VmHWM");
    const size_t node = sizeof(TDataNode) + ((sizeof(TExpNodeData) + 7) & ~size_t(7)) + size_t(tree->NodeDataSize());
    std::fprintf(stderr, "where the bytes go, per node (%llu nodes):\n", static_cast<unsigned long long>(rows));
    std::fprintf(stderr, "  node record %zu + explorer record %zu (node pool, no header): %zu\n", sizeof(TDataNode),
                 sizeof(TExpNodeData), node);
    std::fprintf(stderr, "  shell item object %zu: heap block %zu\n", sizeof(TNamespace),
                 HeapBlock(sizeof(TNamespace)));
    std::fprintf(stderr, "  its item PIDL %.1f bytes on average: heap block %.1f\n", double(itemBytes) / double(rows),
                 double(itemBlocks) / double(rows));
    std::fprintf(stderr, "  resident before expanding %.1f MB, peak %.1f MB: %.1f bytes a node\n", baseMB, peak,
                 (peak - baseMB) * 1048576.0 / double(rows));
}

// The child's side: the tree rooted at home, every folder expanded and the
// first screenful painted. Prints "rows=N ms=T".
int ExpandHome(const std::string& home, bool where) {
    SelectDisplay(DisplayKind::Headless);
    TApplication app(nullptr);
    TForm* form = app.CreateForm<TForm>();
    form->SetBounds(40, 40, 420, 340);
    auto* tree = TComponent::Create<TExplorerTree>(form);
    tree->SetParent(form);
    tree->SetAlign(alClient);
    tree->SetFileObjects(foFolders | foNonFolders | foHidden);
    TExplorerTreeOptions& o = tree->TreeOptions();
    o.SetMiscOptions(o.MiscOptions() | toCheckSupport);
    tree->OnInitNode = [](TBaseDataTree* tree, PDataNode, PDataNode node, TDataNodeInitStates&) {
        if (node->CheckType == ctNone) tree->SetCheckType(node, ctTriStateCheckBox);
    };
    tree->SetRootFolderCustomPath(Utf8ToWide(home));
    form->Show();
    tree->SetActive(true);
    app.ProcessMessages();
    const double baseMB = StatusMB("VmRSS");
    const auto t0 = Wall::now();
    tree->FullExpand();
    UpdateWindow(tree->Handle());
    PumpDisplay();
    const auto t1 = Wall::now();
    // The root node stands for the home itself.
    std::printf("rows=%llu ms=%.1f\n", static_cast<unsigned long long>(tree->TotalCount() - 1), Ms(t0, t1));
    std::fflush(stdout);
    if (where) PrintWhere(tree, baseMB);
    // The peak is reached: freeing a million nodes is not measured.
    std::_Exit(0);
}

struct Result {
    double ms = -1, peakMB = -1;
    uint64_t rows = 0;
};

// Runs a program with its stdout read back; its peak resident memory from
// the kernel's accounting of the ended child.
Result Measure(const std::vector<std::string>& args) {
    Result r;
    int out[2];
    if (pipe(out) != 0) return r;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const bool started = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, size_t(n));
    close(out[0]);
    if (!started) return r;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return r;
    unsigned long long rows = 0;
    double ms = -1;
    if (std::sscanf(text.c_str(), "rows=%llu ms=%lf", &rows, &ms) != 2) return r;
    r.rows = rows;
    r.ms = ms;
    r.peakMB = double(usage.ru_maxrss) / 1024.0;
    return r;
}

std::string Option(int argc, char** argv, const char* name, const char* fallback) {
    for (int i = 1; i + 1 < argc; ++i)
        if (!std::strcmp(argv[i], name)) return argv[i + 1];
    return fallback;
}

} // namespace

int main(int argc, char** argv) {
    const std::string expand = Option(argc, argv, "--expand", "");
    if (!expand.empty()) return ExpandHome(expand, Option(argc, argv, "--where", "0") == "1");

    const int reps = Count(argc, argv, "--reps", 3);
    const Shape shape = ShapeOf(uint32_t(Count(argc, argv, "--folders", 50000)),
                                uint32_t(Count(argc, argv, "--entries", 1000000)));
    const std::string root = Option(argc, argv, "--root", "/dev/shm");
    std::string pattern = root + "/axhomeXXXXXX";
    if (!mkdtemp(pattern.data())) {
        std::fprintf(stderr, "home_bench: cannot make a folder in %s\n", root.c_str());
        return 2;
    }
    struct Remove {
        std::string path;
        ~Remove() {
            std::error_code error;
            std::filesystem::remove_all(path, error);
        }
    } remove{pattern};
    const std::string& home = pattern;
    MakeHome(home, shape);

    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
#ifdef AX_HOME_PEER
    const bool peer = getenv("DISPLAY") && *getenv("DISPLAY");
#else
    const bool peer = false;
#endif
    std::vector<double> ours, oursMs, gtk, gtkMs;
    uint64_t ourRows = 0, gtkRows = 0;
    for (int r = 0; r < reps; ++r) {
        // The first run also tells where the bytes go (after its peak).
        const Result o = Measure({self, "--expand", home, "--where", r == 0 ? "1" : "0"});
        ours.push_back(o.peakMB);
        oursMs.push_back(o.ms);
        ourRows = o.rows;
#ifdef AX_HOME_PEER
        if (peer) {
            const Result g = Measure({AX_HOME_PEER, home});
            gtk.push_back(g.peakMB);
            gtkMs.push_back(g.ms);
            gtkRows = g.rows;
        }
#endif
    }
    if (ourRows != shape.Entries()) {
        // Touch and mkdir fail quietly: a full file system (tmpfs runs out
        // of inodes too) leaves a smaller home.
        std::fprintf(stderr, "home_bench: the tree showed %llu entries of %llu made (is %s full?)\n",
                     static_cast<unsigned long long>(ourRows), static_cast<unsigned long long>(shape.Entries()),
                     root.c_str());
        return 2;
    }
    const double m = Median(ours), g = Median(gtk);
    std::printf("a home of %llu entries in %llu folders on %s, every folder expanded, median of %d runs\n",
                static_cast<unsigned long long>(shape.Entries()),
                static_cast<unsigned long long>(shape.Folders()), root.c_str(), reps);
    std::printf("| program | rows | peak resident MB | expand ms |\n|---|---|---|---|\n");
    std::printf("| explorer tree (headless) | %llu | %.1f | %.1f |\n", static_cast<unsigned long long>(ourRows), m,
                Median(oursMs));
    if (!peer) {
        std::printf("GTK3 peer not run (not built, or no DISPLAY): no ratio\n");
        return m > 0 ? 0 : 1;
    }
    std::printf("| GTK3 tree view, tree store of names | %llu | %.1f | %.1f |\n",
                static_cast<unsigned long long>(gtkRows), g, Median(gtkMs));
    const bool met = m > 0 && g > 0 && m <= 1.5 * g && ourRows == gtkRows;
    std::printf("peak memory: %.2f x GTK3 (goal 1.5x: %s)\n", m / g, met ? "met" : "missed");
    return met ? 0 : 1;
}
