// The explorer tree's columns and menus on a real display: a private Xvfb
// with openbox, driven with XTest input as a user would drive it. The
// application runs on its own thread as a program would; the test thread is
// the user and reads the tree's state on the application's thread once the
// application has taken the input.
//
// Pictures kept beside the test (the build tree): explorer_columns_x11.png
// (sorted by size, Type dragged first), explorer_context_menu_x11.png (a
// right click's shell menu) and column_dialog_x11.png (the column settings).
#include "framework/forms.h"
#include "platform/shellns/contextmenu.h"
#include "platform/shellns/menutracker.h"
#include "platform/shellns/shellclipboard.h"
#include "platform/window/display.h"
#include "rtl/clock.h"
#include "explorer/ColumnSettingsDialog.h"
#include "explorer/ExplorerTree.h"
#include "shell/ShellUtilities.h"
#include "shellns_fixture.h"
#include "x11_program.h"

#include <atomic>
#include <gtest/gtest.h>

namespace ax {
namespace {

using test::Xvfb;

constexpr unsigned long kXK_Control_L = 0xFFE3, kXK_Escape = 0xFF1B, kXK_c = 0x63, kXK_v = 0x76;

// Shows the shell's menus as the program's own pop-up menus.
class PopupMenuTracker final : public IMenuTracker {
public:
    uint32_t TrackPopupMenu(const ShellMenu& menu, uint32_t, ShellPoint position,
                            uintptr_t) override {
        TPopupMenu popup(nullptr);
        uint32_t picked = 0;
        for (const ShellMenuItem& item : menu.items) {
            if (item.subMenu) continue;
            TMenuItem* entry =
                popup.Items()->NewItem(item.separator ? "-" : WideToUtf8(item.caption));
            entry->SetEnabled(!item.disabled);
            if (item.isDefault) entry->SetDefault(true);
            const uint32_t id = item.id;
            entry->OnClick = [&picked, id](TObject*) { picked = id; };
        }
        popup.Popup(position.x, position.y);
        return picked;
    }
};

// The names of a node's children in order (through the links alone).
std::string Order(TCustomExplorerTree* tree, PDataNode parent) {
    std::string s;
    for (PDataNode n = parent ? parent->FirstChild : nullptr; n; n = n->NextSibling) {
        TNamespace* ns = tree->NodeNamespace(n);
        s += (s.empty() ? "" : " ") + (ns ? WideToUtf8(ns->NameInFolder()) : std::string("-"));
    }
    return s;
}

PDataNode ChildNamed(TCustomExplorerTree* tree, const std::string& name) {
    for (PDataNode n = tree->RootNode()->FirstChild->FirstChild; n; n = n->NextSibling)
        if (TNamespace* ns = tree->NodeNamespace(n); ns && WideToUtf8(ns->NameInFolder()) == name)
            return n;
    return nullptr;
}

class X11ExplorerTest : public testing::TempHome {
protected:
    void SetUp() override {
        const std::string binary = test::FindXvfb();
        if (binary.empty() || test::FindProgram("openbox").empty())
            GTEST_SKIP() << "Xvfb or openbox is not installed";
        ShellUtilitiesFinalize();
        TempHome::SetUp();
        files = root + "/files";
        mkdir(files.c_str(), 0755);
        mkdir((files + "/zdir").c_str(), 0755);
        Write(files + "/a.log", std::string(100, 'a'));
        Write(files + "/b.txt", std::string(5000, 'b'));
        Write(files + "/c.dat", std::string(3000, 'c'));
        ASSERT_TRUE(server.Start(binary)) << server.Error();
        ASSERT_TRUE(server.StartWindowManager()) << server.Error();
        setenv("DISPLAY", server.Name().c_str(), 1);
        SetClock(&clock);
        program = std::make_unique<test::X11Program>(test::X11Program::Options{
            .build = [this](TApplication& app) { return Build(app); },
            .afterRun = [] { SetMenuTracker(nullptr); },
            .logged = test::IsInput});
        ASSERT_TRUE(program->WaitReady()) << "the application did not start";
        window = program->xWindow();
        ASSERT_NE(window, 0u);
        ASSERT_TRUE(server.WaitFor([&] {
            return server.WmState(window) == 1 && server.WindowGeometry(window).viewable;
        })) << "the form was never mapped";
        ASSERT_TRUE(server.WaitFor([&] { return InStep(); }))
            << "the form and its X window disagree";
        server.Activate(window);
        ASSERT_TRUE(server.WindowManagerBarrier()) << "the window manager did not answer";
    }
    void TearDown() override {
        TPopupMenu::OnTrackingStarted = nullptr;
        if (program) {
            const std::vector<std::string> errors = program->Errors();
            EXPECT_TRUE(errors.empty()) << errors.front();
            program.reset();
        }
        SelectDisplay(DisplayKind::Headless);
        SetClock(nullptr);
        // The special-folder objects the application made hold PIDLs.
        ShellUtilitiesFinalize();
        ClearShellClipboard();
        if (!root.empty()) TempHome::TearDown();
    }
    // The application's thread: a form holding an explorer tree over the
    // files.
    TForm* Build(TApplication& app) {
        SetMenuTracker(&tracker);
        TForm* form = app.CreateForm<TForm>();
        form->SetCaption("Explorer");
        form->SetBorderStyle(bsSingle);
        form->SetBounds(40, 40, 0, 0);
        form->SetClientSize(600, 240);
        tree = TComponent::Create<TExplorerTree>(form);
        tree->SetParent(form);
        tree->SetBounds(8, 8, 584, 224);
        tree->SetFileObjects(foFolders | foNonFolders);
        TExplorerTreeOptions& o = tree->TreeOptions();
        o.SetExpShellOptions(o.ExpShellOptions() | toShellColumnMenu);
        tree->SetRootFolderCustomPath(Utf8ToWide(files));
        tree->SetColumnDetails(cdExpColumns);
        TDataTreeColumns& columns = tree->Header().Columns();
        const int widths[] = {170, 70, 90, 150, 70};
        for (int i = 0; i < 5; ++i)
            columns[i]->SetWidth(widths[i]);
        tree->SetActive(true);
        form->Show();
        treeWindow = tree->Handle();
        return form;
    }
    bool InStep() {
        const Xvfb::Geometry g = server.WindowGeometry(window);
        RECT r{};
        if (!program->Call([&] { GetWindowRect(program->formWindow(), r); })) return false;
        return g.exists && r == RECT{g.x, g.y, g.x + g.width, g.y + g.height};
    }
    POINT At(int x, int y) {
        return program->Get<POINT>([&] { return tree->ClientToScreen(POINT{x, y}); });
    }
    // The middle of a child's label, on the screen.
    POINT Label(const std::string& name) {
        return program->Get<POINT>([&] {
            const RECT r = tree->GetDisplayRect(ChildNamed(tree, name), NoColumn, true);
            return tree->ClientToScreen(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
        });
    }
    void Click(POINT p, const std::string& what, int button = 1) {
        if (HasFatalFailure()) return;
        clock.Advance(1000); // never a double click
        const size_t from = program->InputCount();
        server.Click(p.x, p.y, button);
        ASSERT_TRUE(program->WaitMessage(from, nullptr, button == 1 ? WM_LBUTTONUP : WM_RBUTTONUP))
            << "the click on " << what << " did not arrive";
        program->Call([] {});
    }
    void Drag(POINT from, POINT to, const std::string& what) {
        if (HasFatalFailure()) return;
        clock.Advance(1000);
        const size_t start = program->InputCount();
        server.Drag(from.x, from.y, to.x, to.y, 8);
        ASSERT_TRUE(program->WaitMessage(start, nullptr, WM_LBUTTONUP))
            << "the drag of " << what << " did not arrive";
        program->Call([] {});
    }
    void CtrlKey(unsigned long keysym) {
        if (HasFatalFailure()) return;
        const size_t from = program->InputCount();
        server.Key(kXK_Control_L, true);
        server.KeyStroke(keysym);
        server.Key(kXK_Control_L, false);
        // Two releases: the key's comes after its press was handled, though
        // Ctrl's release of the stroke before may be taken after from.
        ASSERT_TRUE(program->WaitMessage(from, treeWindow, WM_KEYUP, 2)) << "the key did not arrive";
        program->Call([] {});
    }
    std::string Order() {
        return program->Get<std::string>(
            [&] { return ax::Order(tree, tree->RootNode()->FirstChild); });
    }
    void Picture(const std::string& png, unsigned long xWindow) {
        program->Call([] { PumpDisplay(); });
        ASSERT_TRUE(server.Screenshot(png, xWindow)) << png;
    }
    static bool Exists(const std::string& path) {
        struct stat st;
        return lstat(path.c_str(), &st) == 0;
    }

    Xvfb server;
    ManualClock clock;
    PopupMenuTracker tracker;
    std::unique_ptr<test::X11Program> program;
    TCustomExplorerTree* tree = nullptr; // used on the application's thread only
    HWND treeWindow = nullptr;
    unsigned long window = 0;
    std::string files;
};

TEST_F(X11ExplorerTest, HeaderClickSortsColumnDragReordersCopyPasteAndContextMenu) {
    EXPECT_EQ(Order(), "a.log b.txt c.dat zdir");
    // Size is the second column, 170..240 of the header.
    Click(At(205, -8), "the Size column");
    EXPECT_EQ(program->Get<int>([&] { return tree->Header().SortColumn(); }), 1);
    EXPECT_EQ(Order(), "zdir a.log c.dat b.txt");
    Click(At(205, -8), "the Size column");
    EXPECT_EQ(Order(), "b.txt c.dat a.log zdir");

    // Type (240..330) dragged onto Name becomes the first column.
    Drag(At(285, -8), At(40, -8), "the Type column");
    EXPECT_EQ(program->Get<int>([&] { return int(tree->Header().Columns()[2]->Position()); }), 0);
    EXPECT_EQ(program->Get<int>([&] { return int(tree->Header().Columns()[0]->Position()); }), 1);
    Picture("explorer_columns_x11.png", window);

    // Ctrl+C, Ctrl+V: a copy beside the original, under a name of its own.
    Click(Label("b.txt"), "b.txt");
    EXPECT_EQ(program->Get<std::string>([&] {
        TNamespace* ns = tree->NodeNamespace(tree->GetFirstSelected());
        return ns ? WideToUtf8(ns->NameInFolder()) : std::string("-");
    }),
              "b.txt");
    CtrlKey(kXK_c);
    CtrlKey(kXK_v);
    EXPECT_TRUE(Exists(files + "/b (2).txt"));
    EXPECT_EQ(Read(files + "/b.txt"), std::string(5000, 'b'));
    EXPECT_EQ(Read(files + "/b (2).txt"), std::string(5000, 'b'));

    // A right click on a.log opens its shell menu.
    std::atomic<bool> tracking{false};
    std::atomic<int> items{0};
    TPopupMenu::OnTrackingStarted = [&](TPopupMenu& m) {
        items = m.Items()->Count();
        tracking = true;
    };
    const POINT a = Label("a.log");
    clock.Advance(1000);
    server.Click(a.x, a.y, 3);
    ASSERT_TRUE(server.WaitFor([&] { return tracking.load(); })) << "no menu came up";
    EXPECT_EQ(items.load(), 10)
        << "Open, Cut, Copy, Create Link, Delete, Rename, Properties and three separators";
    server.WindowManagerBarrier();
    program->Call([] {}, Xvfb::Bound(2000));
    ASSERT_TRUE(server.Screenshot("explorer_context_menu_x11.png")) << "the screen with the menu";
    // The key's release is taken once the menu is gone: the tracking took
    // the press and ended.
    const size_t from = program->InputCount();
    server.KeyStroke(kXK_Escape);
    ASSERT_TRUE(program->WaitMessage(from, nullptr, WM_KEYUP)) << "the menu did not close";
    ASSERT_TRUE(program->Call([] {})) << "the menu did not close";
    EXPECT_TRUE(Exists(files + "/a.log"));
    // The right click's selection is given back once the menu is gone.
    EXPECT_EQ(program->Get<std::string>([&] {
        TNamespace* ns = tree->NodeNamespace(tree->GetFirstSelected());
        return ns ? WideToUtf8(ns->NameInFolder()) : std::string("-");
    }),
              "b.txt");
}

TEST_F(X11ExplorerTest, TheColumnDialogHidesAColumnOnOk) {
    program->Post([this] { RunColumnSettings(*tree); });
    TFormColumnSettings* dialog = nullptr;
    ASSERT_TRUE(server.WaitFor([&] {
        return program->Call([&] {
            for (int i = 0; i < Screen()->FormCount(); ++i)
                if (auto* d = dynamic_cast<TFormColumnSettings*>(Screen()->Forms(i));
                    d && d->Visible())
                    dialog = d;
        }) && dialog;
    })) << "the dialog did not show";
    const unsigned long dialogWindow =
        program->Get<unsigned long>([&] { return NativeWindow(dialog->Handle()); });
    ASSERT_TRUE(server.WaitFor([&] { return server.WindowGeometry(dialogWindow).viewable; }));
    server.WindowManagerBarrier();
    Picture("column_dialog_x11.png", dialogWindow);

    // Size's box in the list (the second line), then OK.
    const POINT box = program->Get<POINT>([&] {
        TDataStringTree* list = dialog->ColumnNamesTree;
        PDataNode size = dialog->NodeOf(1);
        const RECT row = list->GetDisplayRect(size, NoColumn, false);
        const int y = (row.top + row.bottom) / 2;
        for (int x = 0; x < 100; ++x) {
            THitInfo hit;
            list->GetHitTestInfoAt(x, y, true, hit);
            if (hit.HitNode == size && (hit.HitPositions & hiOnItemCheckbox))
                return list->ClientToScreen(POINT{x + 6, y});
        }
        return POINT{-1, -1};
    });
    ASSERT_GE(box.x, 0) << "no check box on the Size line";
    Click(box, "Size's check box");
    EXPECT_FALSE(program->Get<bool>([&] { return dialog->Entries()[1].Visible; }));
    EXPECT_TRUE(program->Get<bool>([&] { return tree->Header().Columns()[1]->Visible(); }))
        << "nothing applies before OK without live update";
    const POINT ok = program->Get<POINT>([&] {
        return dialog->ButtonOk->ClientToScreen(
            POINT{dialog->ButtonOk->Width() / 2, dialog->ButtonOk->Height() / 2});
    });
    Click(ok, "OK");
    ASSERT_TRUE(server.WaitFor([&] { return !server.WindowGeometry(dialogWindow).viewable; }))
        << "still open";
    EXPECT_FALSE(program->Get<bool>([&] { return tree->Header().Columns()[1]->Visible(); }));
    EXPECT_TRUE(program->Get<bool>([&] { return tree->Header().Columns()[0]->Visible(); }));
}

} // namespace
} // namespace ax
