// The shell's context menus and questions in the main window on a real
// display under a window manager, used with real X input: the menus of a
// tree item and of a list item (right click, the Menu key, Shift+F10), a
// file cut and pasted through them, the delete question answered No and
// then Yes, and Backspace at the list's root. The pictures
// context_menu_tree.png, context_menu_list.png and delete_question.png are
// the whole screen with the menu or the question up.
#include "app/MainForm.h"
#include "controls/MessageBoxes.h"
#include "framework/menus.h"
#include "pane_points.h"
#include "rtl/sysutils.h"
#include "explorer/ExplorerViews.h"
#include "stdctrls/buttons.h"
#include "x11_program.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace ax {
namespace {

namespace fs = std::filesystem;
using testing::CaptionPoint;
using testing::ChildNamed;
using testing::QuietPane;

constexpr unsigned long kXK_Escape = 0xFF1B, kXK_BackSpace = 0xFF08, kXK_Menu = 0xFF67, kXK_F10 = 0xFFC7,
                        kXK_Shift_L = 0xFFE1;

// What the program's thread saw of the last menu and the last box.
struct Seen {
    int menus = 0, boxes = 0;
    HWND menuWindow = nullptr;
    std::vector<std::string> captions;
    TForm* box = nullptr;
    HWND boxWindow = nullptr;
};

class X11MenusTest : public test::X11FormTest {
protected:
    void SetUp() override {
        // Only letters, digits, "-", "." and "/" in paths.
        folder = (fs::temp_directory_path() / ("ax-menus-" + std::to_string(getpid()))).string();
        fs::remove_all(folder);
        home = folder + "/home";
        for (const char* d : {"Music", "Photos"}) fs::create_directories(home + "/" + d);
        for (const char* f : {"Music/a.ogg", "notes.txt", "old.txt"}) std::ofstream(home + "/" + f) << f;
        saved = {std::getenv("HOME") ? std::getenv("HOME") : "",
                 std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : ""};
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_DATA_HOME", (folder + "/data").c_str(), 1);
        test::X11FormTest::SetUp();
    }
    void TearDown() override {
        test::X11FormTest::TearDown();
        setenv("HOME", saved.first.c_str(), 1);
        setenv("XDG_DATA_HOME", saved.second.c_str(), 1);
        fs::remove_all(folder);
    }
    TForm* Build(TApplication& app) override {
        main = app.CreateForm<TMainform>();
        QuietPane(main->ExpTree);
        QuietPane(main->ExpList);
        main->SetRootPath(home);
        TPopupMenu::OnTrackingStarted = [this](TPopupMenu& menu) {
            ++seen.menus;
            seen.menuWindow = menu.TrackingWindows().front();
            seen.captions.clear();
            for (int i = 0; i < menu.Items()->Count(); ++i) seen.captions.push_back(menu.Items()->Items(i)->Caption());
        };
        OnMessageBoxModal = [this](TForm& box) {
            ++seen.boxes;
            seen.box = &box;
            seen.boxWindow = box.Handle();
        };
        return main;
    }
    void BeforeEnd() override {
        // A box a failed test left open is answered, so the program ends.
        if (IsWindow(seen.boxWindow) && seen.box->Modal()) seen.box->SetModalResult(mrCancel);
        OnMessageBoxModal = nullptr;
        TPopupMenu::OnTrackingStarted = nullptr;
    }

    TCustomExplorerTree* Pane(bool tree) {
        return tree ? static_cast<TCustomExplorerTree*>(main->ExpTree) : main->ExpList;
    }
    // A node's caption on the screen: in the tree under its top node, in
    // the list at the top level.
    POINT Caption(bool tree, const std::string& name) {
        return program->Get<POINT>([&, this] {
            TCustomExplorerTree* pane = Pane(tree);
            PDataNode node = ChildNamed(pane, tree ? pane->GetFirst() : nullptr, name);
            if (!node) return POINT{-1, -1};
            return pane->ClientToScreen(CaptionPoint(pane, node));
        });
    }
    std::string ListFolder() {
        return program->Get<std::string>([&] { return WideToUtf8(main->ExpList->RootFolderNamespace()->NameForParsing()); });
    }
    // Waits for the next menu to be up where the program has it.
    bool MenuUp(int before) {
        if (!Until([&] { return seen.menus > before; })) return false;
        return Shown(program->Get<HWND>([&] { return seen.menuWindow; }));
    }
    bool MenuGone() {
        return Until([&] { return !IsWindow(seen.menuWindow); });
    }
    RECT MenuRect() {
        return program->Get<RECT>([&] {
            RECT r{};
            GetWindowRect(seen.menuWindow, r);
            return r;
        });
    }
    std::vector<std::string> Captions() {
        return program->Get<std::vector<std::string>>([&] { return seen.captions; });
    }
    // A right click on a node's caption brings its menu.
    void RightClick(bool tree, const std::string& name) {
        const POINT p = Caption(tree, name);
        ASSERT_GE(p.x, 0) << "no " << name;
        const int before = program->Get<int>([&] { return seen.menus; });
        Click(p, 3);
        ASSERT_TRUE(MenuUp(before)) << "no menu came up on " << name;
    }
    // The whole screen, where the menus and boxes are windows of their own.
    void ScreenShot(const std::string& name) {
        ASSERT_TRUE(program->Call([] { PumpDisplay(); }));
        EXPECT_TRUE(server.Screenshot(SnapshotPath(name).string())) << name;
    }
    // Chooses the item of the open menu by its accelerator.
    void Choose(char accelerator) {
        server.Type(std::string(1, accelerator));
        ASSERT_TRUE(MenuGone()) << "the menu stayed up";
    }
    std::vector<std::pair<RECT, AnsiString>> BoxButtons() {
        return program->Get<std::vector<std::pair<RECT, AnsiString>>>([&] {
            std::vector<std::pair<RECT, AnsiString>> out;
            for (int i = 0; i < seen.box->ControlCount(); ++i)
                if (auto* b = dynamic_cast<TBitBtn*>(seen.box->Controls(i))) {
                    const POINT tl = b->ClientToScreen({0, 0});
                    out.push_back({RECT{tl.x, tl.y, tl.x + b->Width(), tl.y + b->Height()}, b->Caption()});
                }
            return out;
        });
    }
    void ClickBoxButton(const AnsiString& caption) {
        for (const auto& [r, c] : BoxButtons())
            if (c == caption) {
                Click({(r.left + r.right) / 2, (r.top + r.bottom) / 2});
                ASSERT_TRUE(Until([&] { return !IsWindow(seen.boxWindow); })) << "the box stayed up";
                return;
            }
        ADD_FAILURE() << "the box has no button " << caption;
    }
    // The trash's record of an item, as the desktop's tools read it: its
    // info file's "Path=" line.
    std::string TrashedFrom(const std::string& name) {
        std::ifstream info(folder + "/data/Trash/info/" + name + ".trashinfo");
        for (std::string line; std::getline(info, line);)
            if (line.rfind("Path=", 0) == 0) return line.substr(5);
        return {};
    }
    // Returns once the program has read what the server sent it so far and
    // handled the messages posted for it.
    void Flush() {
        ASSERT_TRUE(server.WindowManagerBarrier());
        ASSERT_TRUE(program->Call([] { PumpDisplay(); }));
        auto done = std::make_shared<std::atomic<bool>>(false);
        program->Post([done] { *done = true; }); // behind everything posted before
        ASSERT_TRUE(server.WaitFor([&] { return done->load(); }));
    }

    std::string folder, home;
    std::pair<std::string, std::string> saved;
    TMainform* main = nullptr;
    Seen seen;
};

bool Has(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

TEST_F(X11MenusTest, MenusOfTheTreeAndTheListMoveAFileWithCutAndPaste) {
    ASSERT_EQ(ListFolder(), home);
    // The tree's menu at the pointer, without the link verb the tree leaves out.
    const POINT music = Caption(true, "Music");
    RightClick(true, "Music");
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(Captions(), (std::vector<std::string>{"&Open", "-", "Cu&t", "&Copy", "&Paste", "-", "&Delete",
                                                    "Rena&me", "-", "P&roperties"}));
    EXPECT_EQ(MenuRect().left, music.x);
    EXPECT_EQ(MenuRect().top, music.y);
    ScreenShot("context_menu_tree");
    server.KeyStroke(kXK_Escape);
    ASSERT_TRUE(MenuGone());

    // The list's menu: with the link verb; Cut takes notes.txt.
    RightClick(false, "notes.txt");
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(Captions(), (std::vector<std::string>{"&Open", "-", "Cu&t", "&Copy", "-", "Create &Link", "&Delete",
                                                    "Rena&me", "-", "P&roperties"}));
    ScreenShot("context_menu_list");
    Choose('t');
    // Paste on Photos moves it there.
    RightClick(false, "Photos");
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_TRUE(Has(Captions(), "&Paste"));
    Choose('p');
    ASSERT_TRUE(server.WaitFor([&] { return fs::exists(home + "/Photos/notes.txt"); })) << "the paste moved nothing";
    EXPECT_FALSE(fs::exists(home + "/notes.txt")) << "a cut file moves";

    // The Menu key: the menu of the selected item, at the item.
    const int before = program->Get<int>([&] { return seen.menus; });
    Click(Caption(false, "old.txt"));
    server.KeyStroke(kXK_Menu);
    ASSERT_TRUE(MenuUp(before)) << "the Menu key brought no menu";
    const RECT row = program->Get<RECT>([&] {
        PDataNode node = ChildNamed(main->ExpList, nullptr, "old.txt");
        const RECT r = main->ExpList->GetDisplayRect(node, NoColumn, false);
        const POINT tl = main->ExpList->ClientToScreen({r.left, r.top});
        return RECT{tl.x, tl.y, tl.x + (r.right - r.left), tl.y + (r.bottom - r.top)};
    });
    const RECT menu = MenuRect();
    EXPECT_TRUE(menu.top >= row.top && menu.top < row.bottom && menu.left >= row.left && menu.left < row.right)
        << "the menu is not at the selected item";
    EXPECT_FALSE(Has(Captions(), "Copy &as Path"));
    server.KeyStroke(kXK_Escape);
    ASSERT_TRUE(MenuGone());
    // Shift+F10 too, with the extended verbs since Shift is down.
    server.Key(kXK_Shift_L, true);
    server.KeyStroke(kXK_F10);
    server.Key(kXK_Shift_L, false);
    ASSERT_TRUE(MenuUp(before + 1)) << "Shift+F10 brought no menu";
    EXPECT_TRUE(Has(Captions(), "Copy &as Path"));
    server.KeyStroke(kXK_Escape);
    ASSERT_TRUE(MenuGone());
    // The tree takes the Menu key as well.
    Click(Caption(true, "Music"));
    server.KeyStroke(kXK_Menu);
    ASSERT_TRUE(MenuUp(before + 2)) << "the Menu key brought no menu in the tree";
    EXPECT_TRUE(Has(Captions(), "&Paste"));
    server.KeyStroke(kXK_Escape);
    ASSERT_TRUE(MenuGone());
}

TEST_F(X11MenusTest, TheDeleteQuestionAnsweredNoKeepsTheFileAndYesTrashesIt) {
    for (const char* answer : {"&No", "&Yes"}) {
        RightClick(false, "old.txt");
        ASSERT_FALSE(HasFatalFailure());
        const int before = program->Get<int>([&] { return seen.boxes; });
        Choose('d');
        ASSERT_TRUE(Until([&] { return seen.boxes > before; })) << "no question was asked";
        ASSERT_TRUE(Shown(program->Get<HWND>([&] { return seen.boxWindow; }), true));
        EXPECT_EQ(program->Get<AnsiString>([&] { return seen.box->Caption(); }), "Confirm Delete");
        if (answer == std::string("&No")) ScreenShot("delete_question");
        ClickBoxButton(answer);
        ASSERT_FALSE(HasFatalFailure());
        if (answer == std::string("&No")) {
            EXPECT_TRUE(fs::exists(home + "/old.txt")) << "No deleted the file";
        }
    }
    ASSERT_TRUE(server.WaitFor([&] { return !fs::exists(home + "/old.txt"); })) << "Yes left the file";
    EXPECT_EQ(TrashedFrom("old.txt"), home + "/old.txt");
    EXPECT_TRUE(fs::exists(folder + "/data/Trash/files/old.txt"));
}

TEST_F(X11MenusTest, BackspaceNeverTakesTheListAboveTheTreesRoot) {
    Click(Caption(true, "Music"));
    ASSERT_TRUE(Until([&] { return ChildNamed(main->ExpList, nullptr, "a.ogg") != nullptr; }));
    Click(Caption(false, "a.ogg"));
    server.KeyStroke(kXK_BackSpace);
    ASSERT_TRUE(server.WaitFor([&] { return ListFolder() == home; })) << "Backspace did not go up";
    server.KeyStroke(kXK_BackSpace);
    Flush();
    EXPECT_EQ(ListFolder(), home) << "the list went above the tree's root";
    EXPECT_TRUE(program->Get<bool>([&] { return ChildNamed(main->ExpList, nullptr, "notes.txt") != nullptr; }));
}

} // namespace
} // namespace ax
