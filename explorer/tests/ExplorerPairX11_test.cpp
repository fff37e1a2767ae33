// The explorer tree and list of the main window with their synchroniser on
// a real display: a private Xvfb with openbox, driven with XTest clicks as a
// user would. The application runs on its own thread as a program would;
// the test thread is the user, and reads the controls' state on the
// application's thread once the application has taken the input. Positions
// are asked of the controls (their hit tests), never assumed from a font.
//
// The picture of the pair with its checks is kept beside the test (the
// build tree) as explorer_pair_x11.png.
#include "framework/forms.h"
#include "platform/shellns/messageboxservice.h"
#include "platform/shellns/recordingmessageboxservice.h"
#include "platform/shellns/shellclipboard.h"
#include "platform/window/display.h"
#include "rtl/clock.h"
#include "explorer/CheckboxesSynchronizer.h"
#include "x11_program.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ax {
namespace {

using test::Xvfb;

// ---- Read on the application's thread ------------------------------------------------------

PDataNode NodeOf(TCustomExplorerTree* control, const std::string& path) {
    PItemIDList pidl = PathToPIDL(Utf8ToWide(path));
    if (!pidl) return nullptr;
    PDataNode node = control->FindNodeByPIDL(pidl);
    NamespacePIDLManager().FreePIDL(pidl);
    return node == control->RootNode() ? nullptr : node;
}

// The screen point of a node's check box, from the control's hit tests.
POINT BoxPoint(TCustomExplorerTree* control, PDataNode node) {
    if (!node) return POINT{-1, -1};
    control->ScrollIntoView(node, false);
    const RECT r = control->GetDisplayRect(node, NoColumn, false);
    const int y = (r.top + r.bottom) / 2;
    int first = -1, last = -1;
    for (int x = r.left; x < r.right; ++x) {
        THitInfo hit;
        control->GetHitTestInfoAt(x, y, true, hit);
        if (hit.HitNode == node && (hit.HitPositions & hiOnItemCheckbox)) {
            if (first < 0) first = x;
            last = x;
        }
    }
    if (first < 0) return POINT{-1, -1};
    return control->ClientToScreen(POINT{(first + last) / 2, y});
}

POINT LabelPoint(TCustomExplorerTree* control, PDataNode node) {
    if (!node) return POINT{-1, -1};
    control->ScrollIntoView(node, false);
    const RECT r = control->GetDisplayRect(node, NoColumn, true);
    return control->ClientToScreen(POINT{r.left + 4, (r.top + r.bottom) / 2});
}

// ---- The user's side -----------------------------------------------------------------------

class X11PairTest : public test::X11Test {
protected:
    void SetUp() override {
        test::X11Test::SetUp();
        if (!Started()) return;
        char pattern[] = "/tmp/axpairx11XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        for (const char* d : {"/docs", "/docs/old", "/music", "/photos"}) mkdir((folder + d).c_str(), 0755);
        for (const char* f : {"/docs/notes.txt", "/docs/report.txt", "/docs/old/o.txt", "/music/m.mp3",
                              "/photos/p1.jpg", "/photos/p2.jpg", "/top.txt"}) {
            const int fd = open((folder + f).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            if (fd >= 0) close(fd);
        }
        ASSERT_NO_FATAL_FAILURE(
            StartProgram({.build = [this](TApplication& app) { return Build(app); }, .logged = test::IsInput}));
        ASSERT_NO_FATAL_FAILURE(ActivateMainForm());
    }
    void TearDown() override {
        test::X11Test::TearDown();
        std::error_code error;
        if (!folder.empty()) std::filesystem::remove_all(folder, error);
    }

    // The application's thread: a form with the pair.
    TForm* Build(TApplication& app) {
        TForm* form = app.CreateForm<TForm>();
        form->SetCaption("Backup selection");
        form->SetBorderStyle(bsSingle);
        form->SetBounds(40, 40, 0, 0);
        form->SetClientSize(520, 280);
        tree = TComponent::Create<TExplorerTreeview>(form);
        tree->SetParent(form);
        tree->SetBounds(8, 8, 240, 264);
        list = TComponent::Create<TExplorerListview>(form);
        list->SetParent(form);
        list->SetBounds(256, 8, 256, 264);
        for (TCustomExplorerTree* c : {static_cast<TCustomExplorerTree*>(tree), static_cast<TCustomExplorerTree*>(list)}) {
            TExplorerTreeOptions& o = c->TreeOptions();
            o.SetExpMiscOptions(o.ExpMiscOptions() & ~TExpMiscOptions(toChangeNotifierThread));
            o.SetExpImageOptions(o.ExpImageOptions() & ~TExpImageOptions(toThreadedImages));
            c->SetRootFolderCustomPath(Utf8ToWide(folder));
        }
        tree->SetExplorerListview(list);
        list->SetExplorerTreeview(tree);
        tree->SetActive(true);
        list->SetActive(true);
        auto* sync = TComponent::Create<TCheckboxesSynchronizer>(list);
        sync->SetExplorerTreeview(tree);
        sync->SetExplorerListview(list);
        form->Show();
        return form;
    }

    void ClickAt(POINT p, const std::string& what) {
        if (HasFatalFailure()) return;
        ASSERT_GE(p.x, 0) << what << " is not shown";
        clock.Advance(1000); // never a double click
        const size_t from = program->InputCount();
        server.Click(p.x, p.y);
        ASSERT_TRUE(program->WaitMessage(from, nullptr, WM_LBUTTONUP)) << "the click on " << what << " did not arrive";
        program->Call([&] { UpdateWindow(program->formWindow()); });
    }
    void ClickBox(bool inTree, const std::string& relative) {
        const POINT p = program->Get<POINT>([&] {
            TCustomExplorerTree* c = inTree ? static_cast<TCustomExplorerTree*>(tree) : list;
            return BoxPoint(c, NodeOf(c, folder + relative));
        });
        ClickAt(p, relative + "'s box");
    }
    void ClickLabel(bool inTree, const std::string& relative) {
        const POINT p = program->Get<POINT>([&] {
            TCustomExplorerTree* c = inTree ? static_cast<TCustomExplorerTree*>(tree) : list;
            return LabelPoint(c, NodeOf(c, folder + relative));
        });
        ClickAt(p, relative + "'s label");
    }
    int State(bool inTree, const std::string& relative) {
        return program->Get<int>([&] {
            TCustomExplorerTree* c = inTree ? static_cast<TCustomExplorerTree*>(tree) : list;
            PDataNode n = NodeOf(c, folder + relative);
            return n ? int(n->CheckState) : -1;
        });
    }
    std::string ListFolder() {
        return program->Get<std::string>([&] {
            TNamespace* ns = list->RootFolderNamespace();
            return ns ? WideToUtf8(ns->NameForParsing()) : std::string("-");
        });
    }
    std::vector<std::string> Checked() {
        return program->Get<std::vector<std::string>>([&] {
            std::vector<std::string> out;
            const TStringList& names = tree->Storage().CheckedFileNames();
            for (int i = 0; i < names.Count(); ++i) out.push_back(names[i].substr(folder.size()));
            return out;
        });
    }

    std::string folder;
    TExplorerTreeview* tree = nullptr; // the application thread's own
    TExplorerListview* list = nullptr;
};

TEST_F(X11PairTest, ChecksClickedInBothControlsAreOneSelection) {
    // In the tree: photos' box. The list shows the root folder and follows.
    ClickBox(true, "/photos");
    EXPECT_EQ(State(true, "/photos"), csCheckedNormal);
    EXPECT_EQ(State(false, "/photos"), csCheckedNormal) << "the list shows the same item checked";
    EXPECT_EQ(State(true, ""), csMixedNormal);

    // In the list: top.txt, then docs opened from the tree and report.txt.
    ClickBox(false, "/top.txt");
    EXPECT_EQ(State(true, "/top.txt"), csCheckedNormal) << "hidden in the tree, checked all the same";
    ClickLabel(true, "/docs");
    ASSERT_EQ(ListFolder(), folder + "/docs");
    ClickBox(false, "/docs/report.txt");
    ClickBox(false, "/docs/old");
    EXPECT_EQ(State(true, "/docs"), csMixedNormal);
    EXPECT_EQ(State(true, "/docs/old"), csCheckedNormal);
    EXPECT_EQ(State(false, "/docs/notes.txt"), csUncheckedNormal);
    EXPECT_EQ(Checked(), (std::vector<std::string>{"/docs/old", "/docs/old/o.txt", "/docs/report.txt", "/photos",
                                                   "/photos/p1.jpg", "/photos/p2.jpg", "/top.txt"}));

    // Unchecked again in the tree: the list follows.
    ClickBox(true, "/docs/old");
    EXPECT_EQ(State(false, "/docs/old"), csUncheckedNormal);
    ClickBox(true, "/docs/old");
    EXPECT_EQ(State(false, "/docs/old"), csCheckedNormal);

    // The picture: both controls with their checks.
    program->Call([&] {
        UpdateWindow(program->formWindow());
        PumpDisplay();
    });
    ASSERT_TRUE(server.Screenshot("explorer_pair_x11.png", window));
    struct stat st {};
    ASSERT_EQ(stat("explorer_pair_x11.png", &st), 0);
    EXPECT_GT(st.st_size, 1000);
}

// ---- Drag and drop, and the clipboard, with real input -------------------------------------

constexpr unsigned long kXK_Control_L = 0xFFE3, kXK_Escape = 0xFF1B, kXK_c = 0x63, kXK_v = 0x76;

std::string ReadFile(const std::string& path) {
    std::string out;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
            out.append(buf, n);
        std::fclose(f);
    }
    return out;
}

void WriteFile(const std::string& path, const std::string& text) {
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
}

bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

// The pair with dragging on in both controls and the shell's boxes recorded,
// never shown: a refused drop must not wait for a user.
class X11PairShellTest : public X11PairTest {
protected:
    void SetUp() override {
        SetMessageBoxService(&boxes);
        ClearShellClipboard();
        X11PairTest::SetUp();
        if (HasFatalFailure() || IsSkipped()) return;
        WriteFile(folder + "/top.txt", "top's own text");
        ASSERT_TRUE(program->Call([&] {
            for (TCustomExplorerTree* c : {static_cast<TCustomExplorerTree*>(tree),
                                           static_cast<TCustomExplorerTree*>(list)}) {
                TExplorerTreeOptions& o = c->TreeOptions();
                o.SetExpShellOptions(o.ExpShellOptions() | toDragDrop);
            }
        }));
    }
    void TearDown() override {
        X11PairTest::TearDown();
        ClearShellClipboard();
        SetMessageBoxService(nullptr);
    }

    // Presses on `from`, moves in steps and releases on `to`, as a hand does.
    void DragTo(POINT from, POINT to, const std::string& what) {
        if (HasFatalFailure()) return;
        ASSERT_GE(from.x, 0) << what << ": the start is not shown";
        ASSERT_GE(to.x, 0) << what << ": the end is not shown";
        clock.Advance(1000);
        const size_t ups = program->InputCount();
        server.MoveTo(from.x, from.y);
        server.Button(1, true);
        server.Key(kXK_Control_L, true); // copies: the file stays for the next drag
        for (int i = 1; i <= 10; ++i)
            server.MoveTo(from.x + (to.x - from.x) * i / 10, from.y + (to.y - from.y) * i / 10);
        server.Button(1, false);
        server.Key(kXK_Control_L, false);
        ASSERT_TRUE(program->WaitMessage(ups, nullptr, WM_LBUTTONUP)) << "the release of " << what << " did not arrive";
        // Answered only once the drag loop has taken the release and dropped.
        ASSERT_TRUE(program->Call([] {})) << "the application did not answer after " << what;
    }
    // Presses on `from` and moves in steps over a folder of the tree, then
    // waits until the tree shows that folder as the drop target; the button
    // stays down. Returns the releases counted before.
    size_t HoldOverTreeFolder(POINT from, const std::string& folderRelative) {
        const POINT to = Label(true, folderRelative);
        if (from.x < 0 || to.x < 0) {
            ADD_FAILURE() << "the drag from the list to " << folderRelative << " is not shown";
            return 0;
        }
        clock.Advance(1000);
        const size_t ups = program->InputCount();
        server.MoveTo(from.x, from.y);
        server.Button(1, true);
        server.Key(kXK_Control_L, true); // copies
        for (int i = 1; i <= 10; ++i)
            server.MoveTo(from.x + (to.x - from.x) * i / 10, from.y + (to.y - from.y) * i / 10);
        EXPECT_TRUE(server.WaitFor([&] { return DropTarget() == folder + folderRelative; }))
            << "the tree did not follow the drag to " << folderRelative;
        return ups;
    }
    void Release(size_t ups) {
        server.Button(1, false);
        server.Key(kXK_Control_L, false);
        ASSERT_TRUE(program->WaitMessage(ups, nullptr, WM_LBUTTONUP)) << "the release did not arrive";
        ASSERT_TRUE(program->Call([] {})) << "the application did not answer after the release";
    }
    // The tree's drop target, "" when none.
    std::string DropTarget() {
        return program->Get<std::string>([&] {
            TNamespace* ns = tree->NodeNamespace(tree->DropTargetNode());
            return ns ? WideToUtf8(ns->NameForParsing()) : std::string();
        });
    }
    POINT Label(bool inTree, const std::string& relative) {
        return program->Get<POINT>([&] {
            TCustomExplorerTree* c =
                inTree ? static_cast<TCustomExplorerTree*>(tree) : list;
            return LabelPoint(c, NodeOf(c, folder + relative));
        });
    }
    void CtrlKey(unsigned long keysym) {
        if (HasFatalFailure()) return;
        server.Key(kXK_Control_L, true);
        server.KeyStroke(keysym);
        server.Key(kXK_Control_L, false);
    }
    std::vector<std::string> Selected(bool inTree) {
        return program->Get<std::vector<std::string>>([&] {
            TCustomExplorerTree* c =
                inTree ? static_cast<TCustomExplorerTree*>(tree) : list;
            std::vector<std::string> out;
            for (PDataNode n = c->GetFirstSelected(); n; n = c->GetNextSelected(n)) {
                TNamespace* ns = c->NodeNamespace(n);
                out.push_back(ns ? WideToUtf8(ns->NameInFolder()) : std::string("-"));
            }
            return out;
        });
    }
    size_t ClipboardCount() {
        std::vector<std::string> items;
        bool cut = false;
        GetShellClipboard(items, cut);
        return items.size();
    }

    RecordingMessageBoxService boxes;
};

TEST_F(X11PairShellTest, AFileDraggedFromTheListOntoAFolderInTheTreeIsCopiedThere) {
    ASSERT_EQ(ListFolder(), folder);
    // Held over music: the tree follows the motion and shows it as the target.
    const size_t ups = HoldOverTreeFolder(Label(false, "/top.txt"), "/music");
    ASSERT_FALSE(HasFailure());
    program->Call([&] {
        UpdateWindow(program->formWindow());
        PumpDisplay();
    });
    ASSERT_TRUE(server.Screenshot("explorer_pair_drag_x11.png", window));
    struct stat st {};
    ASSERT_EQ(stat("explorer_pair_drag_x11.png", &st), 0);
    EXPECT_GT(st.st_size, 1000);
    EXPECT_FALSE(Exists(folder + "/music/top.txt")) << "nothing before the release";
    Release(ups);

    ASSERT_TRUE(server.WaitFor([&] { return Exists(folder + "/music/top.txt"); }))
        << "top.txt was not copied into music";
    EXPECT_EQ(ReadFile(folder + "/music/top.txt"), "top's own text");
    EXPECT_EQ(ReadFile(folder + "/top.txt"), "top's own text") << "a copy leaves the source";
    EXPECT_TRUE(Exists(folder + "/music/m.mp3"));
    EXPECT_FALSE(Exists(folder + "/photos/top.txt")) << "dropped once, where released";
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(DropTarget(), "") << "the target is let go after the drop";
    EXPECT_EQ(Selected(false), std::vector<std::string>{"top.txt"})
        << "the dragged file stays selected";

    // Into photos, where the name is taken: nothing is replaced, the shell says why.
    WriteFile(folder + "/photos/top.txt", "photos' own");
    DragTo(Label(false, "/top.txt"), Label(true, "/photos"), "top.txt onto photos");
    ASSERT_TRUE(server.WaitFor([&] { return !boxes.Boxes().empty(); }))
        << "the taken name was not reported";
    EXPECT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(ReadFile(folder + "/photos/top.txt"), "photos' own");
    EXPECT_EQ(ReadFile(folder + "/top.txt"), "top's own text");

    // Escape while held over docs: the drag ends and nothing is copied.
    const size_t before = HoldOverTreeFolder(Label(false, "/top.txt"), "/docs");
    ASSERT_FALSE(HasFailure());
    server.KeyStroke(kXK_Escape);
    EXPECT_TRUE(server.WaitFor([&] { return DropTarget().empty(); }))
        << "Escape did not end the drag";
    Release(before);
    EXPECT_FALSE(Exists(folder + "/docs/top.txt")) << "a cancelled drag copies nothing";

    // Released outside the form: the drag ends there and copies nothing.
    const size_t outside = HoldOverTreeFolder(Label(false, "/top.txt"), "/docs");
    ASSERT_FALSE(HasFailure());
    server.MoveTo(700, 500);
    server.MoveTo(790, 590);
    Release(outside);
    EXPECT_EQ(DropTarget(), "");
    EXPECT_FALSE(Exists(folder + "/docs/top.txt")) << "a drag released over no window copies nothing";

    // A folder in the list takes a drop as well.
    DragTo(Label(false, "/top.txt"), Label(false, "/docs"), "top.txt onto docs in the list");
    ASSERT_TRUE(server.WaitFor([&] { return Exists(folder + "/docs/top.txt"); }))
        << "top.txt was not copied into docs";
    EXPECT_EQ(boxes.Boxes().size(), 1u);
}

TEST_F(X11PairShellTest, CtrlCAndCtrlVInTheListCopyAFileBesideItselfUnderAFreeName) {
    ASSERT_EQ(ListFolder(), folder);
    ClickLabel(false, "/top.txt");
    ASSERT_EQ(Selected(false), std::vector<std::string>{"top.txt"});
    CtrlKey(kXK_c);
    ASSERT_TRUE(server.WaitFor([&] { return ClipboardCount() == 1; }))
        << "Ctrl+C put nothing on the clipboard";
    EXPECT_FALSE(Exists(folder + "/top (2).txt")) << "copying alone makes nothing";

    CtrlKey(kXK_v);
    ASSERT_TRUE(server.WaitFor([&] { return Exists(folder + "/top (2).txt"); }))
        << "Ctrl+V made no copy beside the file";
    EXPECT_EQ(ReadFile(folder + "/top (2).txt"), "top's own text");
    EXPECT_EQ(ReadFile(folder + "/top.txt"), "top's own text");

    // Again, with "top (2).txt" changed meanwhile: the next free name, nothing replaced.
    WriteFile(folder + "/top (2).txt", "changed");
    ASSERT_EQ(Selected(false), std::vector<std::string>{"top.txt"});
    CtrlKey(kXK_v);
    ASSERT_TRUE(server.WaitFor([&] { return Exists(folder + "/top (3).txt"); }))
        << "the second Ctrl+V made no copy";
    EXPECT_EQ(ReadFile(folder + "/top (3).txt"), "top's own text");
    EXPECT_EQ(ReadFile(folder + "/top (2).txt"), "changed");
    EXPECT_EQ(ReadFile(folder + "/top.txt"), "top's own text");
    EXPECT_EQ(ClipboardCount(), 1u) << "a copy stays on the clipboard";
    EXPECT_TRUE(boxes.Boxes().empty());
}

} // namespace
} // namespace ax
