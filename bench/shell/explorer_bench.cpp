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
#include "explorer/ExplorerTree.h"

#include "bench_folder.h"

#include <cstdio>

#include <string>
#include <vector>

namespace {

using namespace ax;
using namespace ax::bench;

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
    const int reps = Count(argc, argv, "--reps", 5);
    const auto files = uint32_t(Count(argc, argv, "--files", 100000));
    const BenchFolder folder("axexpbench");
    if (folder.Path().empty()) return 2;
    const std::string& parent = folder.Path();
    const std::string big = parent + "/big";
    mkdir(big.c_str(), 0755);
    MakeFiles(big, files);

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
