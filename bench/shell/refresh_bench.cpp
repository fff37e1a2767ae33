// The explorer tree kept up to date, on the system clock (the real 750 ms
// quiet period), headless display, the tree set up as the main window's
// (files, folders and hidden items, check boxes, the change notifier):
//
//   burst   10,000 files created in a folder the tree shows, by the
//           system's own calls: goal one merge of that folder (one refresh),
//           after which the folder shows every file. Printed: how long the
//           merge took against `ls -f` over the folder, and how long after
//           the last creation the tree was up to date.
//   icons   the first paint of a folder of 100,000 files of many types
//           (activation: listing, sorting, one screenful painted), icons on
//           (threaded) against icons off: goal that the first paint waits
//           for no icon (no item holds its icon when it ends); the ratio of
//           the two times is printed, and the time with icons fetched on
//           the GUI thread (toThreadedImages off) beside them. The image
//           lists start cold in every run.
//
// refresh_bench [--reps R]: medians of R runs (default 5). The exit status
// is 1 when a goal is missed.
#include "framework/forms.h"
#include "platform/window/display.h"
#include "platform/window/window.h"
#include "explorer/ExplorerTree.h"
#include "shell/IconThread.h"
#include "shell/ShellNotifier.h"
#include "shell/SystemImageLists.h"

#include "bench_folder.h"

#include <cstdio>
#include <filesystem>

#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace ax;
using namespace ax::bench;

constexpr int kBurst = 10000;
constexpr int kPaintFiles = 100000;

// A tree that times and counts its merges, by folder name.
class TimedTree : public TExplorerTree {
public:
    using TExplorerTree::TExplorerTree;
    void RereadAndMergeFolder(PDataNode node, bool sortAfter) override {
        const auto start = Wall::now();
        TExplorerTree::RereadAndMergeFolder(node, sortAfter);
        if (TNamespace* ns = NodeNamespace(node)) {
            const std::string name = WideToUtf8(ns->NameInFolder());
            ++merges[name];
            mergeMs[name] += Ms(start, Wall::now());
            lastMerge = Wall::now();
        }
    }
    std::map<std::string, int> merges;
    std::map<std::string, double> mergeMs;
    Wall::time_point lastMerge;
};

TimedTree* MakeTree(TApplication& app, const std::string& root, bool notifier, TExpImageOptions images) {
    TForm* form = app.CreateForm<TForm>();
    form->SetBounds(40, 40, 420, 740);
    auto* tree = TComponent::Create<TimedTree>(form);
    tree->SetParent(form);
    tree->SetAlign(alClient);
    tree->SetFileObjects(foFolders | foNonFolders | foHidden);
    TExplorerTreeOptions& o = tree->TreeOptions();
    o.SetMiscOptions(o.MiscOptions() | toCheckSupport);
    if (notifier) o.SetExpMiscOptions(o.ExpMiscOptions() | toChangeNotifierThread);
    o.SetExpImageOptions(images);
    tree->OnInitNode = [](TBaseDataTree* t, PDataNode, PDataNode node, TDataNodeInitStates&) {
        if (node->CheckType == ctNone) t->SetCheckType(node, ctTriStateCheckBox);
    };
    tree->SetRootFolderCustomPath(Utf8ToWide(root));
    form->Show();
    app.ProcessMessages();
    return tree;
}

void Pump(TApplication& app, int ms) {
    const auto end = Wall::now() + std::chrono::milliseconds(ms);
    while (Wall::now() < end) {
        app.ProcessMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

struct Burst {
    double mergeMs = 0, lsMs = 0, upToDateMs = 0;
    int merges = 0;
    bool ok = false;
};

// One run: a tree showing "burst" (empty) and watching it; the files come.
Burst RunBurst(TApplication& app, const std::string& root, int rep) {
    Burst b;
    const std::string folder = root + "/burst" + std::to_string(rep);
    mkdir(folder.c_str(), 0755);
    TimedTree* tree = MakeTree(app, root, true, toImages);
    tree->SetActive(true);
    PDataNode node = nullptr;
    const std::string name = "burst" + std::to_string(rep);
    for (PDataNode c = tree->GetFirstChild(tree->GetFirst()); c; c = tree->GetNextSibling(c))
        if (WideToUtf8(tree->NodeNamespace(c)->NameInFolder()) == name) node = c;
    if (!node) return b;
    tree->ExpandNamespaceFolder(node); // listed (empty), so watched
    app.ProcessMessages();
    auto& notifier = static_cast<TShellChangeNotifier&>(ChangeNotifier());
    if (TKernelChangeThread* kernel = notifier.KernelThread()) {
        const uint64_t asked = kernel->RebuildsAsked();
        while (kernel->RebuildsDone() < asked) std::this_thread::yield();
    }
    MakeFiles(folder, kBurst, "/f%05u.dat");
    const auto created = Wall::now();
    // Up to date once the folder shows every file; then nothing more comes.
    const auto end = created + std::chrono::seconds(30);
    while (node->ChildCount < uint32_t(kBurst) && Wall::now() < end) Pump(app, 10);
    Pump(app, 3 * int(ShellNotifyQuietMs));
    b.upToDateMs = Ms(created, tree->lastMerge);
    b.mergeMs = tree->mergeMs[name];
    b.merges = tree->merges[name];
    b.ok = node->ChildCount == uint32_t(kBurst) && b.merges == 1;
    b.lsMs = Run({"ls", "-f", folder});
    tree->Owner()->Free();
    std::error_code error;
    std::filesystem::remove_all(folder, error);
    return b;
}

const char* const kTypes[] = {
    "txt", "png", "jpg", "gif", "svg", "pdf", "ps",  "ogg", "mp3", "flac", "wav", "mp4", "avi", "mkv",
    "webm", "html", "css", "js", "json", "xml", "c", "h", "cpp", "py", "sh", "pl", "rb", "java", "zip",
    "tar", "gz", "bz2", "xz", "7z", "deb", "iso", "odt", "ods", "odp", "doc", "xls", "ppt", "rtf", "tex",
    "csv", "ttf", "otf", "desktop", "md", "log",
};

struct Paint {
    double off = 0, threaded = 0, unthreaded = 0;
    bool waited = false; // an item held its icon after the threaded first paint
};

// The first paint of the folder, from activation to the last pixel.
double FirstPaint(TApplication& app, const std::string& root, TExpImageOptions images, bool* waited) {
    TimedTree* tree = MakeTree(app, root, false, images);
    const auto start = Wall::now();
    tree->SetActive(true);
    UpdateWindow(tree->Handle());
    PumpDisplay();
    const double ms = Ms(start, Wall::now());
    if (waited) {
        *waited = false;
        for (PDataNode c = tree->GetFirst()->FirstChild; c; c = c->NextSibling)
            if (TNamespace* ns = tree->NodeNamespace(c);
                ns && (ns->ThreadedIconLoaded() || ns->GetIconIndex(false, 0, false) >= 0))
                *waited = true;
    }
    tree->Owner()->Free();
    IconThreadFinalize();
    SystemImageListsFinalize(); // cold again for the next run
    return ms;
}

Paint RunPaint(TApplication& app, const std::string& root) {
    Paint p;
    p.off = FirstPaint(app, root, 0, nullptr);
    p.threaded = FirstPaint(app, root, toImages | toThreadedImages, &p.waited);
    p.unthreaded = FirstPaint(app, root, toImages, nullptr);
    return p;
}

} // namespace

int main(int argc, char** argv) {
    const int reps = Count(argc, argv, "--reps", 5);
    const BenchFolder folder("axrefreshbench");
    if (folder.Path().empty()) return 2;
    const std::string& root = folder.Path();
    const std::string burstRoot = root + "/b", iconRoot = root + "/icons";
    mkdir(burstRoot.c_str(), 0755);
    mkdir(iconRoot.c_str(), 0755);
    char name[64];
    for (int i = 0; i < kPaintFiles; ++i) {
        std::snprintf(name, sizeof name, "/f%06d.%s", i, kTypes[i % std::size(kTypes)]);
        Touch(iconRoot + name);
    }

    SelectDisplay(DisplayKind::Headless);
    auto app = std::make_unique<TApplication>(nullptr);
    std::vector<double> merge, ls, upToDate, off, threaded, unthreaded;
    std::vector<int> merges;
    bool burstMet = true, paintMet = true;
    for (int rep = 0; rep < reps; ++rep) {
        const Burst b = RunBurst(*app, burstRoot, rep);
        burstMet = burstMet && b.ok;
        merges.push_back(b.merges);
        merge.push_back(b.mergeMs);
        ls.push_back(b.lsMs);
        upToDate.push_back(b.upToDateMs);
        const Paint p = RunPaint(*app, iconRoot);
        paintMet = paintMet && !p.waited;
        off.push_back(p.off);
        threaded.push_back(p.threaded);
        unthreaded.push_back(p.unthreaded);
    }
    ChangeNotifier().UnRegisterAll();
    ShellNotifierFinalize();
    app.reset();

    std::printf("explorer tree refresh, median of %d runs\n", reps);
    std::printf("| step | ms | ratio | goal |\n|---|---|---|---|\n");
    std::printf("| ls -f over the burst folder (%d files) | %.1f | | |\n", kBurst, Median(ls));
    std::printf("refreshes of the burst folder per run:");
    for (int m : merges) std::printf(" %d", m);
    std::printf(" (goal: 1 each)\n");
    std::printf("| the one merge of the burst folder | %.1f | %.2f x ls -f | one refresh: %s |\n", Median(merge),
                Median(merge) / Median(ls), burstMet ? "met" : "MISSED");
    std::printf("| last creation to the tree up to date | %.0f | | quiet period %u ms |\n", Median(upToDate),
                ShellNotifyQuietMs);
    std::printf("| first paint of %d files (%zu types), icons off | %.1f | 1.00 | |\n", kPaintFiles,
                std::size(kTypes), Median(off));
    std::printf("| first paint, icons on (icon thread) | %.1f | %.2f | waits for no icon: %s |\n",
                Median(threaded), Median(threaded) / Median(off), paintMet ? "met" : "MISSED");
    std::printf("| first paint, icons on the GUI thread | %.1f | %.2f | |\n", Median(unthreaded),
                Median(unthreaded) / Median(off));
    return burstMet && paintMet ? 0 : 1;
}
