// Expanding a folder of 100,000 files in the explorer tree (headless
// display, check boxes on, as the main window's tree), against ls and find
// over the same folder in the same run:
//
//   expand until the first screenful is painted   goal: within 2x `ls -f`
//   expand until the whole folder is listed,      goal: within 5x
//     sorted and checkable (every node has its    `find -maxdepth 1`
//     box and its stored state)
//
// Also shown, without a goal: checking the folder (every file checked and
// stored in the node storage) and freeing the nodes.
//
// explorer_bench [--files N] [--reps R]: the programs take turns, medians of
// R runs (default 5). The exit status is 1 when a goal is missed.
#include "framework/forms.h"
#include "platform/window/display.h"
#include "platform/window/window.h"
#include "shell/ExplorerTree.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using namespace ax;
using Wall = std::chrono::steady_clock;

double Ms(Wall::time_point from, Wall::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Runs a program (no shell), stdout to /dev/null; its wall time in
// milliseconds, or -1 when it failed.
double Run(const std::vector<std::string>& args) {
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
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return Ms(start, end);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

struct Times {
    double listed = 0, painted = 0, checked = 0, freed = 0;
    bool ok = false;
};

// One run: a fresh tree rooted at the folder holding "big", the main
// window's options, big expanded.
Times Expand(TApplication& app, const std::string& parent, uint32_t files) {
    Times t;
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
    tree->SetRootFolderCustomPath(Utf8ToWide(parent));
    form->Show();
    tree->SetActive(true);
    app.ProcessMessages();
    PDataNode big = tree->GetFirst()->FirstChild;

    const auto t0 = Wall::now();
    tree->SetExpanded(big, true);
    const auto t1 = Wall::now();
    UpdateWindow(tree->Handle());
    PumpDisplay();
    const auto t2 = Wall::now();
    bool checkable = big->ChildCount == files;
    for (PDataNode n = big->FirstChild; n && checkable; n = n->NextSibling)
        checkable = (n->States & vsInitialized) && n->CheckType == ctTriStateCheckBox;
    const auto c0 = Wall::now();
    tree->SetCheckState(big, csCheckedNormal);
    const auto c1 = Wall::now();
    TNamespace* last = tree->NodeNamespace(big->LastChild);
    TNodeStorage* record = last ? tree->Storage().Find(last->AbsolutePIDL(), skCheck) : nullptr;
    checkable = checkable && int(big->LastChild->CheckState) == int(csCheckedNormal) && record &&
                record->Storage.CheckState == csCheckedNormal;
    tree->SetCheckState(big, csUncheckedNormal);
    const auto f0 = Wall::now();
    form->Free();
    const auto f1 = Wall::now();
    t.listed = Ms(t0, t1);
    t.painted = Ms(t0, t2);
    t.checked = Ms(c0, c1);
    t.freed = Ms(f0, f1);
    t.ok = checkable;
    return t;
}

} // namespace

int main(int argc, char** argv) {
    int reps = 5;
    uint32_t files = 100000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (!std::strcmp(argv[i], "--reps")) reps = std::max(1, std::atoi(argv[i + 1]));
        if (!std::strcmp(argv[i], "--files")) files = uint32_t(std::max(1, std::atoi(argv[i + 1])));
    }
    char pattern[] = "/tmp/axexpbenchXXXXXX";
    if (!mkdtemp(pattern)) return 2;
    const std::string parent = pattern;
    const std::string big = parent + "/big";
    mkdir(big.c_str(), 0755);
    char name[32];
    for (uint32_t f = 0; f < files; ++f) {
        std::snprintf(name, sizeof name, "/file%06u.dat", f);
        const int fd = open((big + name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd >= 0) close(fd);
    }

    SelectDisplay(DisplayKind::Headless);
    TApplication app(nullptr);
    // Warm the caches once, then take turns.
    Run({"ls", "-f", big});
    Run({"find", big, "-maxdepth", "1"});
    Expand(app, parent, files);
    std::vector<double> ls, find, listed, painted, checked, freed;
    bool ok = true;
    for (int r = 0; r < reps; ++r) {
        ls.push_back(Run({"ls", "-f", big}));
        find.push_back(Run({"find", big, "-maxdepth", "1"}));
        const Times t = Expand(app, parent, files);
        ok = ok && t.ok;
        listed.push_back(t.listed);
        painted.push_back(t.painted);
        checked.push_back(t.checked);
        freed.push_back(t.freed);
    }
    std::error_code error;
    std::filesystem::remove_all(parent, error);

    const double l = Median(ls), f = Median(find), p = Median(painted), s = Median(listed);
    const bool paintOk = p > 0 && l > 0 && p <= 2 * l, listOk = s > 0 && f > 0 && s <= 5 * f;
    std::printf("explorer tree, a folder of %u files, headless, median of %d runs\n", files, reps);
    std::printf("| step | ms | ratio | goal |\n|---|---|---|---|\n");
    std::printf("| ls -f | %.1f | | |\n", l);
    std::printf("| find -maxdepth 1 | %.1f | | |\n", f);
    std::printf("| expand until the first screenful is painted | %.1f | %.2f x ls -f | 2x: %s |\n", p, p / l,
                paintOk ? "met" : "missed");
    std::printf("| expand until listed, sorted and checkable | %.1f | %.2f x find | 5x: %s |\n", s, s / f,
                listOk ? "met" : "missed");
    std::printf("| check the folder (every file checked and stored) | %.1f | | |\n", Median(checked));
    std::printf("| free the nodes | %.1f | | |\n", Median(freed));
    if (!ok) std::printf("a run did not list every file with its check box\n");
    return paintOk && listOk && ok ? 0 : 1;
}
