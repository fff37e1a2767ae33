// The main window on a real display under a window manager, used with real
// X input: checks clicked in the tree and in the list, the job saved
// through the save dialog with its name typed, then loaded into a fresh
// window whose selection is compared with what was clicked.
// main_window_x11.png is the window with the checks made.
#include "app/MainForm.h"
#include "controls/ExStatusBar.h"
#include "pane_points.h"
#include "shell/ExplorerViews.h"
#include "stdctrls/dialogform.h"
#include "x11_program.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace ax {
namespace {

namespace fs = std::filesystem;
using testing::CaptionPoint;
using testing::CheckBoxPoint;
using testing::ChildNamed;
using testing::QuietPane;

constexpr unsigned long kXK_Return = 0xFF0D;

class X11MainformTest : public test::X11FormTest {
protected:
    void SetUp() override {
        // Only letters, digits, "-", "." and "/" in paths: typed on any keyboard map.
        folder = (fs::temp_directory_path() / ("ax-mainwin-" + std::to_string(getpid()))).string();
        fs::remove_all(folder);
        home = folder + "/home";
        for (const char* d : {"Music", "Photos"}) fs::create_directories(home + "/" + d);
        for (const char* f : {"Music/a.ogg", "Music/b.ogg", "Photos/x.jpg", "Photos/y.jpg", "notes.txt"})
            std::ofstream(home + "/" + f) << "x";
        savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
        setenv("HOME", home.c_str(), 1);
        test::X11FormTest::SetUp();
    }
    void TearDown() override {
        test::X11FormTest::TearDown();
        OnDialogModal = nullptr;
        setenv("HOME", savedHome.c_str(), 1);
        fs::remove_all(folder);
    }
    TForm* Build(TApplication& app) override {
        main = app.CreateForm<TMainform>();
        QuietPane(main->ExpTree);
        QuietPane(main->ExpList);
        main->ErrorDisplay = [this](const AnsiString& text) { boxes.push_back(text); };
        main->SetRootPath(home);
        return main;
    }
    enum Pane { kTree, kList };
    TCustomExplorerTree* PaneOf(Pane pane) {
        return pane == kTree ? static_cast<TCustomExplorerTree*>(main->ExpTree) : main->ExpList;
    }
    // The node named name in a pane: in the tree under its top node, in
    // the list at the top level.
    PDataNode NodeIn(Pane pane, const std::string& name) {
        TCustomExplorerTree* tree = PaneOf(pane);
        return ChildNamed(tree, pane == kTree ? tree->GetFirst() : nullptr, name);
    }
    // A point of a pane's node on the screen: its check box or its caption.
    POINT OnScreen(Pane pane, const std::string& name, bool box) {
        return program->Get<POINT>([&, this] {
            TCustomExplorerTree* tree = PaneOf(pane);
            PDataNode node = NodeIn(pane, name);
            if (!node) return POINT{-1, -1};
            const POINT p = box ? CheckBoxPoint(tree, node) : CaptionPoint(tree, node);
            if (p.x < 0) ADD_FAILURE() << "no check box on the row of " << name;
            return tree->ClientToScreen(p);
        });
    }
    int StateIn(Pane pane, const std::string& name) {
        return program->Get<int>([&, this] {
            PDataNode node = NodeIn(pane, name);
            return node ? int(node->CheckState) : -1;
        });
    }
    std::vector<std::string> Lines(TMainform* w) {
        return program->Get<std::vector<std::string>>([&] {
            std::vector<std::string> out;
            const TStringList& s = w->Selection();
            for (int i = 0; i < s.Count(); ++i) out.push_back(s[i]);
            return out;
        });
    }

    std::string folder, home, savedHome;
    TMainform* main = nullptr;
    std::vector<std::string> boxes;
};

TEST_F(X11MainformTest, ChecksClickedSavedThroughTheDialogAndLoadedAgain) {
    EXPECT_EQ(server.TextProperty(window, "_NET_WM_NAME"), "ArdentixXP");
    // notes.txt checked in the list (which shows the home folder).
    const POINT notes = OnScreen(kList, "notes.txt", true);
    ASSERT_GE(notes.x, 0);
    Click(notes);
    EXPECT_TRUE(Until([&] { return ChildNamed(main->ExpTree, main->ExpTree->GetFirst(), "notes.txt")->CheckState ==
                                   csCheckedNormal; }))
        << "the click did not check notes.txt";
    // Music chosen in the tree; a.ogg checked in the list.
    Click(OnScreen(kTree, "Music", false));
    ASSERT_TRUE(Until([&] { return ChildNamed(main->ExpList, nullptr, "a.ogg") != nullptr; }))
        << "the list did not follow the tree";
    Click(OnScreen(kList, "a.ogg", true));
    EXPECT_TRUE(Until([&] { return ChildNamed(main->ExpList, nullptr, "a.ogg")->CheckState == csCheckedNormal; }));
    EXPECT_EQ(StateIn(kTree, "Music"), csMixedNormal);
    // Photos checked in the tree, whole.
    Click(OnScreen(kTree, "Photos", true));
    EXPECT_TRUE(Until([&] { return ChildNamed(main->ExpTree, main->ExpTree->GetFirst(), "Photos")->CheckState ==
                                   csCheckedNormal; }));
    // Photos' files are in the tree, unseen, and checked with it.
    const std::vector<std::string> expected = {home + "/Music/a.ogg", home + "/notes.txt", home + "/Photos",
                                               home + "/Photos/x.jpg", home + "/Photos/y.jpg"};
    EXPECT_EQ(Lines(main), expected);
    Shot(program->formWindow(), "main_window_x11");

    // Save job...: the dialog comes up; the name is typed into it.
    std::atomic<HWND> dialog{nullptr};
    OnDialogModal = [&](TDialogForm& d) { dialog = d.Handle(); };
    const POINT save = program->Get<POINT>([&] {
        TButton* b = main->SaveJobButton;
        return b->ClientToScreen(POINT{b->Width() / 2, b->Height() / 2});
    });
    Click(save);
    ASSERT_TRUE(server.WaitFor([&] { return dialog.load() != nullptr; })) << "the save dialog did not come up";
    server.Activate(XWindowOf(dialog));
    ASSERT_TRUE(Shown(dialog, true)) << "the dialog did not get the keyboard";
    const std::string job = folder + "/road.JOB";
    server.Type(job);
    server.KeyStroke(kXK_Return);
    ASSERT_TRUE(server.WaitFor([&] { return fs::exists(job); })) << "the job was not saved";
    EXPECT_TRUE(Until([&] { return main->JobFileName() == job; }));

    // A fresh window loads it.
    TMainform* again = program->Get<TMainform*>([&] {
        auto* w = TComponent::Create<TMainform>(main);
        QuietPane(w->ExpTree);
        QuietPane(w->ExpList);
        w->ErrorDisplay = [this](const AnsiString& text) { boxes.push_back(text); };
        w->SetRootPath(home);
        w->Show();
        return w;
    });
    EXPECT_TRUE(program->Get<bool>([&] { return again->LoadJob(job); }));
    EXPECT_EQ(Lines(again), expected);
    EXPECT_TRUE(Until([&] { return !again->Loading(); })) << "the panes were not refreshed";
    EXPECT_EQ(program->Get<int>([&] {
                  PDataNode music = ChildNamed(again->ExpTree, again->ExpTree->GetFirst(), "Music");
                  return music ? int(music->CheckState) : -1;
              }),
              csMixedNormal);
    EXPECT_TRUE(boxes.empty()) << boxes.front();
}

// Maximised, minimised and brought back, each step as a user's click
// causes it: on the form's own caption buttons, or through the window
// manager (a taskbar's iconify, a click on its entry that maps the window,
// a maximise from its menu). The form comes back maximised, it and its
// aligned children fill the screen, no scroll bar is left on the mask grid
// and the whole window is painted again.
TEST_F(X11MainformTest, MaximisedMinimisedAndRestoredComesBackMaximised) {
    const HWND form = program->formWindow();
    auto state = [&] { return program->Get<int>([&] { return int(main->WindowState()); }); };
    // The mask grid: the grid panel's control under its title strip.
    auto grid = [&]() -> TWinControl* {
        for (int i = 0; i < main->GridPanel->ControlCount(); ++i)
            if (auto* c = dynamic_cast<TWinControl*>(main->GridPanel->Controls(i)); c && c->Align() == alClient)
                return c;
        return nullptr;
    };
    auto horizontalBar = [&] {
        return program->Get<bool>([&] { return (GetWindowLongPtr(grid()->Handle(), GWL_STYLE) & WS_HSCROLL) != 0; });
    };
    // A caption button of the form, as the form hit-tests it.
    auto captionButton = [&](LRESULT which) {
        return program->Get<POINT>([&] {
            RECT wr{};
            GetWindowRect(form, wr);
            for (int x = wr.right - 1; x > wr.left; --x)
                if (SendMessage(form, WM_NCHITTEST, 0, MAKELPARAM(x, wr.top + 12)) == which)
                    return POINT{x - 3, wr.top + 12};
            return POINT{-1, -1};
        });
    };
    auto maximisedOnScreen = [&] {
        return server.WaitFor([&] {
            const test::Xvfb::Geometry g = server.WindowGeometry(window);
            return g.viewable && g.x == 0 && g.y == 0 && g.width == 800 && g.height == 600 && InStep();
        });
    };
    auto expectBackMaximised = [&](const std::string& how) {
        ASSERT_TRUE(server.WaitFor([&] { return server.WmState(window) == 1; })) << how << ": not restored";
        EXPECT_TRUE(Until([&] { return !IsIconic(form) && IsZoomed(form); })) << how << ": not maximised";
        EXPECT_TRUE(server.WindowManagerBarrier());
        EXPECT_TRUE(maximisedOnScreen()) << how << ": the window is " << server.WindowGeometry(window).width << " x "
                                         << server.WindowGeometry(window).height;
        EXPECT_EQ(state(), int(wsMaximized)) << how;
        EXPECT_EQ(std::ranges::count(server.AtomProperty(window, "_NET_WM_STATE"), "_NET_WM_STATE_MAXIMIZED_HORZ"), 1)
            << how << ": the window manager does not hold it maximised";
        EXPECT_EQ(program->Get<int>([&] { return main->StatusBar->Width(); }), 800 - 2 * 4) << how;
        EXPECT_EQ(program->Get<int>([&] { return grid()->Width(); }), 800 - 2 * 4) << how;
        EXPECT_FALSE(horizontalBar()) << how << ": a scroll bar was left on the mask grid";
    };
    ASSERT_FALSE(horizontalBar()) << "the mask grid shows a horizontal scroll bar at the window's first size";

    // The caption's maximise button; minimised by the taskbar, mapped again.
    const POINT maximize = captionButton(HTMAXBUTTON);
    ASSERT_GE(maximize.x, 0) << "no maximise button";
    Click(maximize);
    ASSERT_TRUE(Until([&] { return IsZoomed(form) != FALSE; })) << "the button did not maximise";
    ASSERT_TRUE(maximisedOnScreen()) << "maximised by the button, the window is not the screen";
    server.Iconify(window);
    ASSERT_TRUE(server.WaitFor([&] { return server.WmState(window) == 3; })) << "not iconified";
    EXPECT_TRUE(Until([&] { return IsIconic(form) != FALSE; }));
    EXPECT_EQ(state(), int(wsMinimized));
    server.Map(window);
    expectBackMaximised("mapped again");
    ExpectAsRepainted(main, "restored_maximised");

    // Restored to its size by the window manager, maximised by it again,
    // minimised by the caption's button and activated from the taskbar.
    server.Maximize(window, false);
    ASSERT_TRUE(Until([&] { return !IsZoomed(form); })) << "the form did not learn of the restore";
    EXPECT_TRUE(server.WaitFor([&] { return server.WindowGeometry(window).width < 800 && InStep(); }));
    EXPECT_FALSE(horizontalBar()) << "restored to its size, a scroll bar was left on the mask grid";
    server.Maximize(window, true);
    ASSERT_TRUE(Until([&] { return IsZoomed(form) != FALSE; })) << "the form did not learn of the maximise";
    ASSERT_TRUE(maximisedOnScreen());
    Click(captionButton(HTMINBUTTON));
    ASSERT_TRUE(server.WaitFor([&] { return server.WmState(window) == 3; })) << "the button did not iconify";
    server.Activate(window);
    expectBackMaximised("activated");
}

// The window manager knows the window's minimum, and keeps to it when
// another program asks for 300 x 200: the panes, the mask grid and the
// status bar still show.
TEST_F(X11MainformTest, TheWindowManagerKeepsTheMinimumSize) {
    // The frame of a sizeable window: 4 pixels each side and a 19-pixel caption.
    constexpr int kMinWidth = 380 + 160 + 80 + 8, kMinHeight = 36 + 100 + 150 + 20 + 8 + 19;
    EXPECT_EQ(program->Get<SIZE>([&] { return main->MinimumSize(); }), (SIZE{kMinWidth, kMinHeight}));
    const test::Xvfb::SizeHints hints = server.NormalHints(window);
    EXPECT_EQ(hints.minWidth, kMinWidth);
    EXPECT_EQ(hints.minHeight, kMinHeight);
    server.Resize(window, 300, 200);
    ASSERT_TRUE(server.WindowManagerBarrier());
    ASSERT_TRUE(server.WaitFor([&] { return InStep(); })) << "the form and its X window disagree";
    const test::Xvfb::Geometry g = server.WindowGeometry(window);
    EXPECT_GE(g.width, kMinWidth);
    EXPECT_GE(g.height, kMinHeight);
    EXPECT_TRUE(program->Get<bool>([&] {
        return main->ExpTree->Width() > 0 && main->ExpList->Width() > 0 && main->ExpTree->Height() > 0 &&
               main->GridPanel->Height() > 0 && main->StatusBar->Top() + main->StatusBar->Height() == main->ClientHeight();
    })) << "a part of the window vanished";
}

} // namespace
} // namespace ax
