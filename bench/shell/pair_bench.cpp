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
#include "explorer/CheckboxesSynchronizer.h"

#include "bench_folder.h"

#include <cstdio>

#include <string>
#include <vector>

namespace {

using namespace ax;
using namespace ax::bench;

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
    const int reps = Count(argc, argv, "--reps", 5);
    const auto files = uint32_t(Count(argc, argv, "--files", 100000));
    const BenchFolder folder("axpairbench");
    if (folder.Path().empty()) return 2;
    const std::string& parent = folder.Path();
    const std::string big = parent + "/big", small = parent + "/small";
    mkdir(big.c_str(), 0755);
    mkdir(small.c_str(), 0755);
    for (const char* name : {"/one.txt", "/two.txt"}) Touch(small + name);
    MakeFiles(big, files);

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
