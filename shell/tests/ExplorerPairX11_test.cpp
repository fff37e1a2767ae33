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
#include "platform/window/display.h"
#include "rtl/clock.h"
#include "shell/CheckboxesSynchronizer.h"
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

} // namespace
} // namespace ax
