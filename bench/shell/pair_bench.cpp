// Checking a folder of 100,000 files in the explorer list of the main
// window's pair (tree, list and synchroniser, headless) and reading the
// backup selection afterwards, against find over the same folder in the
// same run:
//
//   check the folder's item in the list, then read   goal: within 3x
//     CheckedFileNames (the folder and every file)    `find FOLDER`
//
// Also shown: the two parts apart, and the nodes the synchroniser visited
// for the click (the tree's share of the folder) next to a click on a file
// of a small folder.
//
// pair_bench [--files N] [--reps R]: the programs take turns, medians of R
// runs (default 5). The exit status is 1 when the goal is missed.
#include "framework/forms.h"
#include "platform/window/display.h"
#include "shell/CheckboxesSynchronizer.h"

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

PDataNode Item(TCustomExplorerTree* list, const char* name) {
    for (PDataNode n = list->GetFirst(); n; n = list->GetNextSibling(n))
        if (TNamespace* ns = list->NodeNamespace(n); ns && WideToUtf8(ns->NameInFolder()) == name) return n;
    return nullptr;
}

struct Times {
    double checked = 0, read = 0;
    uint64_t visitedBig = 0, visitedSmall = 0;
    bool ok = false;
};

// One run: a fresh pair rooted at the folder holding "big", the list
// showing that folder; big checked in the list, then the selection read.
Times CheckInList(TApplication& app, const std::string& parent, uint32_t files) {
    Times t;
    TForm* form = app.CreateForm<TForm>();
    form->SetBounds(40, 40, 640, 340);
    auto* tree = TComponent::Create<TExplorerTreeview>(form);
    tree->SetParent(form);
    tree->SetBounds(0, 0, 300, 300);
    auto* list = TComponent::Create<TExplorerListview>(form);
    list->SetParent(form);
    list->SetBounds(310, 0, 300, 300);
    for (TCustomExplorerTree* c : {static_cast<TCustomExplorerTree*>(tree), static_cast<TCustomExplorerTree*>(list)}) {
        TExplorerTreeOptions& o = c->TreeOptions();
        o.SetExpMiscOptions(o.ExpMiscOptions() & ~TExpMiscOptions(toChangeNotifierThread));
        o.SetExpImageOptions(o.ExpImageOptions() & ~TExpImageOptions(toThreadedImages));
        c->SetRootFolderCustomPath(Utf8ToWide(parent));
    }
    form->Show();
    tree->SetExplorerListview(list);
    list->SetExplorerTreeview(tree);
    tree->SetActive(true);
    list->SetActive(true);
    auto* sync = TComponent::Create<TCheckboxesSynchronizer>(list);
    sync->SetExplorerTreeview(tree);
    sync->SetExplorerListview(list);
    app.ProcessMessages();

    // A file of a small folder first: what one click costs where little is.
    list->BrowseToPath(Utf8ToWide(parent + "/small"), false, false, false, false);
    uint64_t before = sync->VisitedNodes();
    list->SetCheckState(Item(list, "one.txt"), csCheckedNormal);
    t.visitedSmall = sync->VisitedNodes() - before;
    list->SetCheckState(Item(list, "one.txt"), csUncheckedNormal);
    list->BrowseToPath(Utf8ToWide(parent), false, false, false, false);
    app.ProcessMessages();

    PDataNode big = Item(list, "big");
    before = sync->VisitedNodes();
    const auto c0 = Wall::now();
    list->SetCheckState(big, csCheckedNormal);
    const auto c1 = Wall::now();
    const int count = tree->Storage().CheckedFileNames().Count();
    const auto c2 = Wall::now();
    t.visitedBig = sync->VisitedNodes() - before;
    t.checked = Ms(c0, c1);
    t.read = Ms(c1, c2);
    t.ok = count == int(files) + 1;
    form->Free();
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
    char pattern[] = "/tmp/axpairbenchXXXXXX";
    if (!mkdtemp(pattern)) return 2;
    const std::string parent = pattern;
    const std::string big = parent + "/big", small = parent + "/small";
    mkdir(big.c_str(), 0755);
    mkdir(small.c_str(), 0755);
    for (const char* name : {"/one.txt", "/two.txt"}) {
        const int fd = open((small + name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd >= 0) close(fd);
    }
    char name[32];
    for (uint32_t f = 0; f < files; ++f) {
        std::snprintf(name, sizeof name, "/file%06u.dat", f);
        const int fd = open((big + name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd >= 0) close(fd);
    }

    SelectDisplay(DisplayKind::Headless);
    TApplication app(nullptr);
    Run({"find", big});
    CheckInList(app, parent, files);
    std::vector<double> find, total, checked, read;
    uint64_t visitedBig = 0, visitedSmall = 0;
    bool ok = true;
    for (int r = 0; r < reps; ++r) {
        find.push_back(Run({"find", big}));
        const Times t = CheckInList(app, parent, files);
        ok = ok && t.ok;
        total.push_back(t.checked + t.read);
        checked.push_back(t.checked);
        read.push_back(t.read);
        visitedBig = t.visitedBig;
        visitedSmall = t.visitedSmall;
    }
    std::error_code error;
    std::filesystem::remove_all(parent, error);

    const double f = Median(find), s = Median(total);
    const bool met = s > 0 && f > 0 && s <= 3 * f;
    std::printf("explorer pair, a folder of %u files checked in the list, headless, median of %d runs\n", files,
                reps);
    std::printf("| step | ms | ratio | goal |\n|---|---|---|---|\n");
    std::printf("| find FOLDER | %.1f | | |\n", f);
    std::printf("| check the folder in the list and read CheckedFileNames | %.1f | %.2f x find | 3x: %s |\n", s,
                s / f, met ? "met" : "missed");
    std::printf("| of which the check (tree listed, every file checked and stored) | %.1f | | |\n",
                Median(checked));
    std::printf("| of which CheckedFileNames (%u paths) | %.1f | | |\n", files + 1, Median(read));
    std::printf("nodes the synchroniser visited: %llu for the folder, %llu for a file of a small folder\n",
                static_cast<unsigned long long>(visitedBig), static_cast<unsigned long long>(visitedSmall));
    if (!ok) std::printf("a run did not list every file as checked\n");
    return met && ok ? 0 : 1;
}
