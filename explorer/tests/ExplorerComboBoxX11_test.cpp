// The explorer combo box on a real display under a window manager, driven
// with real X input: a click on the button rolls the explorer tree down in
// a pop-up the window manager leaves unactivated (the keyboard stays in the
// edit line), a click on a folder chooses it, a click outside dismisses the
// list, and typing through the server lists the matching paths. The
// picture of the open drop-down is kept as explorer_combo_x11.png.
#include "explorer/ExplorerComboBox.h"
#include "temp_dir.h"
#include "x11_program.h"

#include <sys/stat.h>

namespace ax {
namespace {

constexpr unsigned long kXK_F4 = 0xFFC1, kXK_Escape = 0xFF1B, kXK_Return = 0xFF0D;

class X11ExplorerComboTest : public test::X11FormTest {
protected:
    void SetUp() override {
        folder = temp.Path();
        for (const char* name : {"Documents", "Music", "Pictures", "Projects"})
            mkdir((folder + "/" + name).c_str(), 0755);
        test::X11FormTest::SetUp();
    }
    TForm* Build(TApplication& app) override {
        TForm* form = app.CreateForm<TForm>();
        form->SetCaption("Explorer combo box");
        form->SetBorderStyle(bsSingle);
        form->SetBounds(60, 60, 0, 0);
        form->SetClientSize(420, 260);
        combo = TComponent::Create<TExplorerComboBox>(form);
        combo->SetParent(form);
        combo->SetBounds(10, 10, 380, 23);
        // The drop-down lists the way to the test's folder and what is in it,
        // nothing else of the machine's: no other run's leftovers in /tmp.
        combo->PopupExplorerOptions().OnEnumFolder() = [this](TCustomExplorerTree*, TNamespace* ns, bool& allow) {
            const std::string path = WideToUtf8(ns->NameForParsing());
            const bool onTheWay = (folder + "/").starts_with(path == "/" ? path : path + "/");
            allow = !path.starts_with("/") || onTheWay || path.starts_with(folder + "/");
        };
        combo->SetPath(Utf8ToWide(folder));
        combo->OnChange = [this](TObject*) { ++changes; };
        form->DoCreate();
        return form;
    }
    // A point of the combo box or a control of its drop-downs, on the screen.
    POINT ScreenPoint(TControl* control, POINT p) {
        return program->Get<POINT>([=] { return control->ClientToScreen(p); });
    }
    POINT ButtonPoint() {
        return program->Get<POINT>([this] {
            const RECT b = combo->ButtonRect();
            return combo->ClientToScreen(POINT{(b.left + b.right) / 2, (b.top + b.bottom) / 2});
        });
    }
    // The screen point of the drop-down tree's row for path (its label, or
    // with button its expand button); (-1, -1) when the row is not shown.
    POINT RowPoint(const std::string& path, bool button = false) {
        return program->Get<POINT>([=, this] {
            TPopupExplorerTree& tree = combo->ExplorerDropDown().Tree();
            UniquePIDL pidl(PathToPIDL(Utf8ToWide(path)));
            PDataNode node = tree.FindNodeByPIDL(pidl.get());
            if (!node || !tree.FullyVisible(node)) return POINT{-1, -1};
            const RECT r = tree.GetDisplayRect(node, NoColumn, true);
            const int y = (r.top + r.bottom) / 2;
            if (!button) return tree.ClientToScreen(POINT{r.left + 6, y});
            for (int x = r.left - 1; x >= 0; --x) {
                THitInfo hit;
                tree.GetHitTestInfoAt(x, y, true, hit);
                if (hit.HitPositions & hiOnItemButton) return tree.ClientToScreen(POINT{x - 3, y});
            }
            return POINT{-1, -1};
        });
    }
    bool DroppedDown() {
        return program->Get<bool>([this] { return combo->ExplorerDropDown().DroppedDown(); });
    }
    std::string Path() {
        return program->Get<std::string>([this] { return WideToUtf8(combo->Path()); });
    }

    test::TempDir temp;
    std::string folder;
    TExplorerComboBox* combo = nullptr;
    int changes = 0;
};

TEST_F(X11ExplorerComboTest, AClickOpensTheTreeAndAClickChoosesAFolder) {
    ASSERT_TRUE(program->Call([this] { combo->Edit().SetFocus(); }));
    Click(ButtonPoint());
    ASSERT_TRUE(Until([this] { return combo->ExplorerDropDown().DroppedDown(); })) << "the button did not open it";
    const HWND drop = program->Get<HWND>([this] { return combo->ExplorerDropDown().Handle(); });
    ASSERT_TRUE(Shown(drop)) << "the drop-down was never shown where the program has it";
    // Not activated: the keyboard stays with the main form's edit line.
    EXPECT_EQ(server.FocusWindow(), window);
    EXPECT_TRUE(program->Get<bool>([this] { return combo->Edit().Focused(); }));
    // Right under the combo box.
    const RECT comboRect = program->Get<RECT>([this] {
        RECT r{};
        GetWindowRect(combo->Handle(), r);
        return r;
    });
    const test::Xvfb::Geometry g = server.WindowGeometry(XWindowOf(drop));
    EXPECT_EQ(g.x, comboRect.left);
    EXPECT_EQ(g.y, comboRect.bottom);
    EXPECT_EQ(g.width, comboRect.width());

    // The folder's button opens it in the list; nothing is chosen yet.
    const POINT button = RowPoint(folder, true);
    ASSERT_GE(button.x, 0) << "the folder has no button in the drop-down";
    Click(button);
    ASSERT_TRUE(Until([this] {
        TPopupExplorerTree& tree = combo->ExplorerDropDown().Tree();
        UniquePIDL pidl(PathToPIDL(Utf8ToWide(folder)));
        return tree.Expanded(tree.FindNodeByPIDL(pidl.get()));
    })) << "the button did not open the folder";
    EXPECT_TRUE(DroppedDown());
    EXPECT_EQ(program->Get<int>([this] { return changes; }), 0);

    // The picture: the form with its drop-down open over it.
    ASSERT_TRUE(program->Call([=, this] {
        RedrawWindow(drop, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        RedrawWindow(program->formWindow(), nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        PumpDisplay();
    }));
    EXPECT_TRUE(server.Screenshot(SnapshotPath("explorer_combo_x11").string()));

    const POINT music = RowPoint(folder + "/Music");
    ASSERT_GE(music.x, 0) << "Music is not shown in the drop-down";
    Click(music);
    ASSERT_TRUE(Until([this] { return !combo->ExplorerDropDown().DroppedDown(); })) << "the click chose nothing";
    EXPECT_EQ(Path(), folder + "/Music");
    EXPECT_EQ(program->Get<int>([this] { return changes; }), 1);
    EXPECT_TRUE(server.WaitFor([&] { return !server.WindowGeometry(XWindowOf(drop)).viewable; }));

    // F4 opens it again, a click on the form outside it dismisses it.
    server.KeyStroke(kXK_F4);
    ASSERT_TRUE(Until([this] { return combo->ExplorerDropDown().DroppedDown(); })) << "F4 did not open it";
    Click(ScreenPoint(combo->Parent(), {200, 200}));
    ASSERT_TRUE(Until([this] { return !combo->ExplorerDropDown().DroppedDown(); })) << "a click outside kept it";
    EXPECT_EQ(Path(), folder + "/Music");
    EXPECT_EQ(program->Get<int>([this] { return changes; }), 1);
}

TEST_F(X11ExplorerComboTest, TypingListsMatchingPathsAndEnterChoosesOne) {
    ASSERT_TRUE(program->Call([this] {
        combo->Edit().SetFocus();
        combo->Edit().SetText("");
    }));
    server.Type(folder + "/P");
    ASSERT_TRUE(Until([this] { return combo->AutoCompleteDropDown().Tree().Items().size() == 2; }))
        << "Pictures and Projects were not listed";
    const HWND list = program->Get<HWND>([this] { return combo->AutoCompleteDropDown().Handle(); });
    ASSERT_TRUE(Shown(list));
    EXPECT_EQ(server.FocusWindow(), window);
    server.Type("r");
    ASSERT_TRUE(Until([this] { return combo->AutoCompleteDropDown().Tree().Items().size() == 1; }));
    server.KeyStroke(0xFF54); // Down
    server.KeyStroke(kXK_Return);
    ASSERT_TRUE(Until([this] { return changes == 1; })) << "Enter chose nothing";
    EXPECT_EQ(Path(), folder + "/Projects");
    EXPECT_FALSE(DroppedDown());
    server.Type("/x");
    server.KeyStroke(kXK_Escape);
    EXPECT_TRUE(Until([this] { return !combo->AutoCompleteDropDown().DroppedDown(); }));
}

} // namespace
} // namespace ax
