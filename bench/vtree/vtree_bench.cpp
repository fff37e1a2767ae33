// The tree at a million rows: memory per node, creating and showing the rows,
// scrolling to the end, a screenful painted at the start and at the end, and
// expanding a node of a million children; against a GTK3 tree view over a
// list store of the same rows (the peer program, run in the same run on the
// same display).
//
// vtree_bench [--rows=N] [--repeats=R] [--peer=PATH]
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "framework/forms.h"
#include "platform/window/display.h"
#include "vtree/DataStringTree.h"

#ifndef AX_VTREE_PEER
#define AX_VTREE_PEER ""
#endif

namespace {

using namespace ax;
using Wall = std::chrono::steady_clock;

double Ms(Wall::time_point from, Wall::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

size_t HeapInUse() {
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

struct Peer {
    bool ok = false;
    double create = 0, show = 0, scroll = 0;
};

Peer RunPeer(const std::string& path, int rows) {
    Peer p;
    if (path.empty()) return p;
    const std::string command = path + " " + std::to_string(rows);
    FILE* out = popen(command.c_str(), "r");
    if (!out) return p;
    char line[256] = {};
    while (fgets(line, sizeof line, out))
        if (std::sscanf(line, "create_ms=%lf show_ms=%lf scroll_ms=%lf", &p.create, &p.show, &p.scroll) == 3)
            p.ok = true;
    pclose(out);
    return p;
}

void RowText(TBaseDataTree*, PDataNode node, TColumnIndex, TDTStringType, WideString& text) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "Row %u", node->Index);
    text.assign(buffer, buffer + std::strlen(buffer));
}

// Median of repeated timings of fn, in milliseconds.
template <class F> double Median(int repeats, F fn) {
    std::vector<double> t;
    for (int i = 0; i < repeats; ++i) {
        const auto a = Wall::now();
        fn();
        t.push_back(Ms(a, Wall::now()));
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    int rows = 1000000, repeats = 31;
    std::string peer = AX_VTREE_PEER;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--rows=", 7) == 0) rows = std::atoi(argv[i] + 7);
        else if (std::strncmp(argv[i], "--repeats=", 10) == 0) repeats = std::atoi(argv[i] + 10);
        else if (std::strncmp(argv[i], "--peer=", 7) == 0) peer = argv[i] + 7;
    }
    TApplication app(nullptr);
    const bool x11 = ActiveDisplay() == DisplayKind::X11;

    // Memory: a tree with an 8-byte data area, positions of every row known.
    double perNode, record;
    {
        auto* tree = TComponent::Create<TDataStringTree>(&app);
        tree->SetNodeDataSize(8);
        const size_t before = HeapInUse();
        tree->SetRootNodeCount(uint32_t(rows));
        int top;
        tree->InternalGetNodeAt(0, tree->RangeY() - 1, false, top);
        perNode = double(HeapInUse() - before) / rows;
        record = double(sizeof(TDataNode) + 8);
        tree->Free();
    }

    // Creating and showing.
    TForm* form = app.CreateForm<TForm>();
    form->SetBounds(40, 40, 420, 340);
    auto* tree = TComponent::Create<TDataStringTree>(form);
    tree->SetParent(form);
    tree->SetAlign(alClient);
    tree->OnGetText = RowText;
    const auto t0 = Wall::now();
    tree->SetRootNodeCount(uint32_t(rows));
    const auto t1 = Wall::now();
    form->Show();
    app.ProcessMessages();
    PumpDisplay();
    const auto t2 = Wall::now();

    auto paint = [&] {
        tree->Invalidate();
        tree->Update();
        PumpDisplay();
    };
    const double paintStart = Median(repeats, paint);
    const auto s0 = Wall::now();
    tree->SetOffsetY(tree->RangeY());
    tree->Update();
    PumpDisplay();
    const double scroll = Ms(s0, Wall::now());
    const double paintEnd = Median(repeats, paint);
    tree->SetOffsetY(tree->RangeY() / 2);
    tree->Update();
    const double paintMiddle = Median(repeats, paint);

    // Expanding one node of a million children.
    tree->Clear();
    tree->OnInitNode = [](TBaseDataTree*, PDataNode parent, PDataNode, TDataNodeInitStates& s) {
        if (!parent) s |= ivsHasChildren;
    };
    tree->OnInitChildren = [rows](TBaseDataTree*, PDataNode, uint32_t& count) { count = uint32_t(rows); };
    tree->SetRootNodeCount(1);
    app.ProcessMessages();
    const auto e0 = Wall::now();
    tree->SetExpanded(tree->GetFirst(), true);
    tree->Update();
    PumpDisplay();
    const double expand = Ms(e0, Wall::now());
    form->Hide();
    app.ProcessMessages();

    const Peer gtk = x11 ? RunPeer(peer, rows) : Peer{};
    std::printf("Tree benchmark: %d rows, display %s, medians of %d paints\n\n", rows, x11 ? "X11" : "headless",
                repeats);
    std::printf("| step | ours (ms) | GTK3 tree view (ms) | GTK3 / ours |\n|---|---|---|---|\n");
    auto row = [&](const char* step, double ours, double theirs, bool have) {
        if (have) std::printf("| %s | %.1f | %.1f | %.1fx |\n", step, ours, theirs, theirs / ours);
        else std::printf("| %s | %.1f | - | - |\n", step, ours);
    };
    row("create the rows", Ms(t0, t1), gtk.create, gtk.ok);
    row("create and show (first frame)", Ms(t0, t2), gtk.show, gtk.ok);
    row("scroll to the last row", scroll, gtk.scroll, gtk.ok);
    std::printf("| expand a node of %d children and show | %.1f | - | - |\n", rows, expand);
    std::printf("\n| paint one screenful | ms |\n|---|---|\n");
    std::printf("| at the start | %.3f |\n| in the middle | %.3f |\n| at the end | %.3f |\n", paintStart, paintMiddle,
                paintEnd);
    std::printf("| end / start | %.2f |\n", paintEnd / paintStart);
    std::printf("\nMemory per node: %.1f bytes for a record and data area of %.0f bytes (%.2fx)\n", perNode, record,
                perNode / record);
    if (!gtk.ok && x11) std::printf("(the GTK3 peer did not run: %s)\n", peer.empty() ? "not built" : peer.c_str());
    return 0;
}
