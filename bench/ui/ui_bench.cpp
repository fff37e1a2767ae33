// The framework and the window layer at scale: creating, showing and freeing
// many controls, showing many plain windows, repainting the demonstration
// form, an empty message retrieval among many windows, posting within a
// thread, and (on X11) repainting a theme-aware tree classic and in the
// desktop's GTK theme. Prints one line per measurement: "<name> <seconds>"; `run` puts
// them beside the same work done by the GTK3 peer (gtk_peer.c).
//
//   ui_bench [--display headless|x11] [--count N] [--only NAME]
#include "demo_form.h"
#include "framework/forms.h"
#include "platform/window/display.h"
#include "platform/window/window.h"
#include "platform/theme/GtkThemeLibrary.h"
#include "stdctrls/button.h"
#include "vtree/DataStringTree.h"
#include "vtree/ThemeServices.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

using namespace ax;

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void Report(const char* name, double seconds) {
    std::printf("%s %.9g\n", name, seconds);
    std::fflush(stdout);
}

// Serves everything waiting (paints included) and waits for the display.
void Settle(TApplication& app) {
    app.ProcessMessages();
    PumpDisplay();
    app.ProcessMessages();
}

// The buttons' grid: 100 columns of 22 x 14 buttons, 2 pixels apart, the
// same as the peer's.
constexpr int kColumns = 100, kCellX = 24, kCellY = 16, kButtonW = 22, kButtonH = 14;

void Buttons(TApplication& app, int count) {
    auto start = Clock::now();
    TForm* form = TComponent::Create<TForm>(&app);
    form->SetBorderStyle(bsNone);
    const int rows = (count + kColumns - 1) / kColumns;
    form->SetBounds(0, 0, kColumns * kCellX, rows * kCellY);
    for (int i = 0; i < count; ++i) {
        auto* b = TComponent::Create<TButton>(form);
        b->SetParent(form);
        b->SetBounds((i % kColumns) * kCellX, (i / kColumns) * kCellY, kButtonW, kButtonH);
        b->SetCaption("B");
    }
    Report("create_controls", Since(start));

    start = Clock::now();
    form->Show();
    Settle(app);
    Report("show_controls", Since(start));

    start = Clock::now();
    form->Free();
    Settle(app);
    Report("free_controls", Since(start));
}

LRESULT PlainProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    return DefWindowProc(h, m, w, l);
}

void RegisterPlainClass() {
    WNDCLASS wc;
    wc.lpszClassName = "BenchPlain";
    wc.lpfnWndProc = PlainProc;
    wc.hbrBackground = SysColorBrushValue(COLOR_BTNFACE);
    RegisterClass(wc);
}

void PlainWindows(TApplication& app, int count) {
    const int rows = (count + kColumns - 1) / kColumns;
    auto start = Clock::now();
    HWND top = CreateWindowEx(0, "BenchPlain", "", WS_POPUP | WS_CLIPCHILDREN, 0, 0,
                              kColumns * kCellX, rows * kCellY, nullptr);
    for (int i = 0; i < count; ++i)
        CreateWindowEx(0, "BenchPlain", "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_BORDER,
                       (i % kColumns) * kCellX, (i / kColumns) * kCellY, kButtonW, kButtonH, top);
    ShowWindow(top, SW_SHOW);
    Settle(app);
    Report("show_plain_windows", Since(start));

    // An empty retrieval among that many windows, and among ten.
    MSG m;
    constexpr int kPeeks = 200000;
    start = Clock::now();
    for (int i = 0; i < kPeeks; ++i)
        PeekMessage(m, nullptr, 0, 0, PM_REMOVE);
    const double many = Since(start) / kPeeks;
    DestroyWindow(top);
    Settle(app);
    HWND few = CreateWindowEx(0, "BenchPlain", "", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr);
    for (int i = 0; i < 9; ++i)
        CreateWindowEx(0, "BenchPlain", "", WS_CHILD | WS_VISIBLE, i * 10, 0, 10, 10, few);
    Settle(app);
    start = Clock::now();
    for (int i = 0; i < kPeeks; ++i)
        PeekMessage(m, nullptr, 0, 0, PM_REMOVE);
    const double ten = Since(start) / kPeeks;
    DestroyWindow(few);
    Settle(app);
    Report("peek_empty_10", ten);
    Report("peek_empty_many", many);
}

void RepaintDemo(TApplication& app, const char* name) {
    TForm* form = test::BuildDemo(app);
    form->Show();
    Settle(app);
    HWND h = form->Handle();
    constexpr int kRounds = 200;
    auto start = Clock::now();
    for (int i = 0; i < kRounds; ++i) {
        RedrawWindow(h, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        PumpDisplay();
    }
    Report(name, Since(start) / kRounds);
    form->Free();
    Settle(app);
}

// A theme-aware tree of 30 folders (every third open, two files each), all
// with check boxes, under a header of two columns: the parts the desktop's
// theme draws.
TForm* BuildTree(TApplication& app) {
    TForm* form = TComponent::Create<TForm>(&app);
    form->SetBounds(0, 0, 420, 300);
    auto* tree = TComponent::Create<TDataStringTree>(form);
    tree->SetParent(form);
    tree->SetAlign(alClient);
    TStringTreeOptions& o = tree->TreeOptions();
    o.SetMiscOptions(o.MiscOptions() | toCheckSupport);
    o.SetPaintOptions(o.PaintOptions() | toThemeAware);
    tree->Header().Columns().Add()->SetText(u"Name");
    tree->Header().Columns().Add()->SetText(u"Size");
    tree->Header().Columns()[0]->SetWidth(250);
    tree->Header().Columns()[1]->SetWidth(120);
    tree->Header().SetOptions(tree->Header().Options() | hoVisible);
    tree->OnInitNode = [](TBaseDataTree* t, PDataNode parent, PDataNode n, TDataNodeInitStates& s) {
        if (!parent) s |= ivsHasChildren;
        if (!parent && n->Index % 3 == 0) s |= ivsExpanded;
        t->SetCheckType(n, ctTriStateCheckBox);
        n->CheckState = n->Index % 2 ? csCheckedNormal : csUncheckedNormal;
    };
    tree->OnInitChildren = [](TBaseDataTree*, PDataNode, uint32_t& count) { count = 2; };
    tree->OnGetText = [](TBaseDataTree*, PDataNode n, TColumnIndex column, TDTStringType, WideString& text) {
        text = column == 1 ? u"1 KB" : (n->Parent && n->Parent->Parent ? u"file" : u"folder");
    };
    tree->SetRootNodeCount(30);
    return form;
}

// One full repaint of the tree's form, in the look bound now.
void RepaintTree(TApplication& app, const char* name) {
    TForm* form = BuildTree(app);
    form->Show();
    Settle(app);
    HWND h = form->Handle();
    constexpr int kRounds = 200;
    auto start = Clock::now();
    for (int i = 0; i < kRounds; ++i) {
        RedrawWindow(h, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        PumpDisplay();
    }
    Report(name, Since(start) / kRounds);
    form->Free();
    Settle(app);
}

// The classic tree, then the same in the desktop's GTK theme (only where
// a display lets GTK draw it).
void RepaintTrees(TApplication& app) {
    RepaintTree(app, "repaint_tree_classic_x11");
    if (!RegisterGtkThemeLibrary() || !LoadThemeLibrary() || !UseThemes()) {
        std::fprintf(stderr, "ui_bench: GTK3 cannot draw the theme here\n");
        return;
    }
    RepaintTree(app, "repaint_tree_themed_x11");
    UnbindThemeLibrary();
    UnregisterGtkThemeLibrary();
}

void PostRate() {
    HWND h = CreateWindowEx(0, "BenchPlain", "", WS_POPUP, 0, 0, 10, 10, nullptr);
    MSG m;
    constexpr int kBatch = 1000, kRounds = 4000;
    auto start = Clock::now();
    for (int r = 0; r < kRounds; ++r) {
        for (int i = 0; i < kBatch; ++i)
            PostMessage(h, WM_USER, WPARAM(i), 0);
        while (PeekMessage(m, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    Report("post_and_peek", Since(start) / (double(kBatch) * kRounds));
    DestroyWindow(h);
}

} // namespace

int main(int argc, char** argv) {
    std::string display = "headless", only;
    int count = 10000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--display"))
            display = argv[i + 1];
        else if (!std::strcmp(argv[i], "--count"))
            count = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--only"))
            only = argv[i + 1];
    }
    if (!SelectDisplay(display == "x11" ? DisplayKind::X11 : DisplayKind::Headless)) {
        std::fprintf(stderr, "ui_bench: no %s display\n", display.c_str());
        return 1;
    }
    TApplication app(nullptr);
    RegisterPlainClass();
    auto want = [&](const char* name) { return only.empty() || only == name; };
    if (want("controls")) Buttons(app, count);
    if (want("plain")) PlainWindows(app, count);
    if (want("repaint"))
        RepaintDemo(app, display == "x11" ? "repaint_demo_x11" : "repaint_demo_headless");
    if (want("post")) PostRate();
    if (want("tree") && display == "x11") RepaintTrees(app);
    return 0;
}
