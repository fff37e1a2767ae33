// The main window on a real display under a window manager, used with real
// X input: checks clicked in the tree and in the list, the job saved
// through the save dialog with its name typed, then loaded into a fresh
// window whose selection is compared with what was clicked; a changed
// selection asked about before the window manager or Alt+F4 closes it.
// main_window_x11.png is the window with the checks made, save_question.png
// the screen with the question over the window.
#include "app/MainForm.h"
#include "controls/MessageBoxes.h"
#include "stdctrls/buttons.h"
#include "controls/ExStatusBar.h"
#include "pane_points.h"
#include "platform/gdi/image.h"
#include "platform/shellns/shellops.h"
#include "explorer/CheckboxesSynchronizer.h"
#include "explorer/ExplorerViews.h"
#include "stdctrls/button.h"
#include "stdctrls/dialogform.h"
#include "x11_program.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <set>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace ax {
namespace {

namespace fs = std::filesystem;
using testing::ButtonPoint;
using testing::CaptionPoint;
using testing::CheckBoxPoint;
using testing::ChildNamed;
using testing::QuietPane;

constexpr unsigned long kXK_Return = 0xFF0D, kXK_Alt_L = 0xFFE9, kXK_F4 = 0xFFC1, kXK_Escape = 0xFF1B;

// On the program's thread: paints what is pending, says it holds, and
// waits (bounded) until the key the test sends is in the queue, so that the
// key comes while the work it interrupts goes on.
void HoldUntilKeyQueued(std::atomic<bool>& held, const std::atomic<bool>& sent) {
    PumpDisplay();
    held = true;
    MSG m;
    for (int i = 0; i < 2000 && !(sent && PeekMessage(m, nullptr, WM_KEYDOWN, WM_KEYDOWN, PM_NOREMOVE)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

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
        MakeMore();
        savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
        setenv("HOME", home.c_str(), 1);
        test::X11FormTest::SetUp();
    }
    void TearDown() override {
        test::X11FormTest::TearDown();
        OnDialogModal = nullptr;
        OnMessageBoxModal = nullptr;
        setenv("HOME", savedHome.c_str(), 1);
        fs::remove_all(folder);
    }
    // More items of the home folder, before the window lists it.
    virtual void MakeMore() {}
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

    // Tells the test of every message box that comes up.
    void WatchQuestions() {
        ASSERT_TRUE(program->Call([this] {
            OnMessageBoxModal = [this](TForm& box) {
                question = &box;
                questionWindow = box.Handle();
                ++questions;
            };
        }));
    }
    // Waits for question number n and until it has the keyboard; its
    // window.
    HWND Question(int n) {
        if (!server.WaitFor([&] { return questions.load() >= n; })) {
            ADD_FAILURE() << "no question came up";
            return nullptr;
        }
        const HWND box = questionWindow;
        EXPECT_TRUE(Shown(box, true)) << "the question was not shown with the keyboard";
        return box;
    }
    // The middle of the question's button with that caption, on the screen.
    POINT QuestionButton(const AnsiString& caption) {
        return program->Get<POINT>([&] {
            for (int i = 0; i < question->ControlCount(); ++i)
                if (auto* b = dynamic_cast<TBitBtn*>(question->Controls(i)); b && b->Caption() == caption)
                    return b->ClientToScreen(POINT{b->Width() / 2, b->Height() / 2});
            ADD_FAILURE() << "no button " << caption;
            return POINT{-1, -1};
        });
    }

    std::string folder, home, savedHome;
    TMainform* main = nullptr;
    std::vector<std::string> boxes;
    // The program's thread's, but for the counter and the window.
    TForm* question = nullptr;
    std::atomic<HWND> questionWindow{nullptr};
    std::atomic<int> questions{0};
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
    // Written in slices: one that waits behind input waits for a timer.
    ASSERT_TRUE(server.WaitFor([&] {
        clock.Advance(20);
        return fs::exists(job);
    })) << "the job was not saved";
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

// A check changed, then the window manager's close request: the question
// comes over the window; Cancel keeps the window and the change. Alt+F4
// asks again, and No ends the program.
TEST_F(X11MainformTest, AChangedSelectionIsNotClosedWithoutAQuestion) {
    ASSERT_NO_FATAL_FAILURE(WatchQuestions());
    Click(OnScreen(kList, "notes.txt", true));
    ASSERT_TRUE(Until([&] { return main->Modified(); })) << "the click did not change the selection";
    EXPECT_TRUE(server.WaitFor([&] { return server.TextProperty(window, "_NET_WM_NAME") == "ArdentixXP *"; }))
        << server.TextProperty(window, "_NET_WM_NAME");

    server.Close(window);
    const HWND box = Question(1);
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(program->Call([=, this] {
        RedrawWindow(program->formWindow(), nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        RedrawWindow(box, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        PumpDisplay();
    }));
    EXPECT_TRUE(server.Screenshot(SnapshotPath("save_question").string()));
    Click(QuestionButton("&Cancel"));
    EXPECT_TRUE(Until([&] { return !IsWindow(box); })) << "Cancel did not answer the question";
    EXPECT_FALSE(program->Finished());
    EXPECT_TRUE(program->Get<bool>([&] { return main->Visible() && main->Modified(); }));
    EXPECT_EQ(server.WmState(window), 1);
    EXPECT_EQ(server.TextProperty(window, "_NET_WM_NAME"), "ArdentixXP *");

    // Alt+F4 on the window.
    ActivateMainForm();
    ASSERT_TRUE(Shown(program->formWindow(), true)) << "the window did not get the keyboard back";
    server.Key(kXK_Alt_L, true);
    server.KeyStroke(kXK_F4);
    server.Key(kXK_Alt_L, false);
    ASSERT_NE(Question(2), nullptr);
    const POINT no = QuestionButton("&No");
    clock.Advance(1000);
    server.Click(no.x, no.y);
    EXPECT_TRUE(program->WaitFinished(test::Xvfb::kBound)) << "No did not end the program";
}

// The connection killed by another client while the question is up: the
// program ends as a close would, the question unanswered and nothing saved.
TEST_F(X11MainformTest, AKilledConnectionEndsTheProgramEvenWithTheQuestionUp) {
    ASSERT_NO_FATAL_FAILURE(WatchQuestions());
    Click(OnScreen(kList, "notes.txt", true));
    ASSERT_TRUE(Until([&] { return main->Modified(); })) << "the click did not change the selection";
    server.Close(window);
    ASSERT_NE(Question(1), nullptr);
    server.KillClient(window);
    EXPECT_TRUE(program->WaitFinished(test::Xvfb::kBound)) << "the program lived on without its display";
    EXPECT_EQ(questions.load(), 1);
}

// As a folder without the read right looks to any user but root.
int RefuseSecret(const std::string& path) {
    return path.size() >= 7 && path.compare(path.size() - 7, 7, "/secret") == 0 ? EACCES : 0;
}

// A home folder holding a name with a line break, one with a byte that is
// not UTF-8 and a folder that cannot be read.
class X11TruthTest : public X11MainformTest {
protected:
    void MakeMore() override {
        fs::create_directories(home + "/two\nlines");
        std::ofstream(home + "/two\nlines/in.txt") << "x";
        std::ofstream(home + "/caf\xE9") << "x";
        fs::create_directories(home + "/secret");
        SetFolderReadRefusal(RefuseSecret);
    }
    void TearDown() override {
        X11MainformTest::TearDown();
        SetFolderReadRefusal(nullptr);
    }
    // The colours the server shows across the gauge panel's inside, read
    // back from a picture of the window.
    std::set<COLORREF> GaugeColours(const std::string& name) {
        Shot(program->formWindow(), name);
        const RECT r = program->Get<RECT>([&] {
            RECT panel = main->StatusBar->GetPanelRect(1), form{};
            POINT origin{panel.left, panel.top};
            ::ax::ClientToScreen(main->StatusBar->Handle(), origin);
            GetWindowRect(main->Handle(), form);
            return RECT{origin.x - form.left, origin.y - form.top, origin.x - form.left + panel.width(),
                        origin.y - form.top + panel.height()};
        });
        std::ifstream in(SnapshotPath(name), std::ios::binary);
        const std::string png{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::set<COLORREF> colours;
        HBITMAP bitmap = LoadBitmapFromPng(png);
        if (!bitmap) return colours;
        HDC dc = CreateCompatibleDC(HDC{});
        HGDIOBJ old = SelectObject(dc, bitmap);
        // Inside the bevel.
        for (int y = r.top + 3; y < r.bottom - 3; ++y)
            for (int x = r.left + 3; x < r.right - 3; ++x) colours.insert(GetPixel(dc, x, y));
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bitmap);
        return colours;
    }
    std::string PathText() { return program->Get<std::string>([&] { return main->PathPanel->Text(); }); }
};

TEST_F(X11TruthTest, NamesShowEscapedAnUnreadableFolderIsToldAndTheGaugeRestsEmpty) {
    ASSERT_TRUE(Until([&] { return ChildNamed(main->ExpList, nullptr, "caf\xE9") != nullptr; }));
    EXPECT_EQ(program->Get<std::string>([&] {
                  return WideToUtf8(main->ExpList->Text(ChildNamed(main->ExpList, nullptr, "caf\xE9"), 0));
              }),
              "caf\\xE9");
    // At rest: no bar, no percentage, only the bar's own colour.
    EXPECT_EQ(GaugeColours("gauge_at_rest").size(), 1u) << "the gauge shows something while nothing runs";

    // Both odd names checked in the list: the picture shows them escaped in
    // both panes.
    Click(OnScreen(kList, "caf\xE9", true));
    Click(OnScreen(kList, "two\nlines", true));
    EXPECT_TRUE(Until([&] { return main->Selection().Count() == 3; })) << "two\nlines holds in.txt";
    Shot(program->formWindow(), "names_escaped");

    // The folder that cannot be read, chosen in the tree.
    Click(OnScreen(kTree, "secret", false));
    const std::string told = "Cannot read " + home + "/secret: Permission denied";
    EXPECT_TRUE(Until([&] { return main->PathPanel->Text() == told; })) << PathText();
    EXPECT_EQ(program->Get<std::string>([&] { return main->CountPanel->Text(); }), "");
    Shot(program->formWindow(), "unreadable_folder");
    // Expanding another folder leaves the bar naming the list's.
    Click(OnScreen(kTree, "two\nlines", false));
    EXPECT_TRUE(Until([&] { return main->PathPanel->Text() == home + "/two\\nlines"; })) << PathText();
    EXPECT_EQ(GaugeColours("gauge_after_listing").size(), 1u);

    // The selection window shows the escapes too.
    TSelectionForm* shown = program->Get<TSelectionForm*>([&] {
        main->ShowSelection();
        return main->SelectionForm;
    });
    ASSERT_TRUE(Shown(shown->Handle()));
    EXPECT_EQ(program->Get<std::string>([&] { return shown->Memo->Text(); }),
              home + "/caf\\xE9\n" + home + "/two\\nlines\n" + home + "/two\\nlines/in.txt");
    Shot(shown->Handle(), "selection_escaped");
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

// A home folder holding a folder of 300 files, checked in slices of 20.
class X11SpreadTest : public X11MainformTest {
protected:
    static constexpr int kFiles = 300;
    void MakeMore() override {
        fs::create_directories(home + "/big");
        for (int i = 0; i < kFiles; ++i) std::ofstream(home + "/big/f" + std::to_string(1000 + i) + ".dat") << "x";
    }
    TForm* Build(TApplication& app) override {
        TForm* form = X11MainformTest::Build(app);
        main->Synchronizer->SetSliceSize(20);
        return form;
    }
    static std::string Bytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

// The big folder's box clicked, then Music's while the check spreads: the
// second click waits for the first to complete, and the job saved is the
// one the two checks give one after the other without slices.
// check_spread_x11.png is the window afterwards.
TEST_F(X11SpreadTest, ASecondClickWhileACheckSpreadsFollowsIt) {
    const POINT big = OnScreen(kTree, "big", true), music = OnScreen(kTree, "Music", true);
    ASSERT_GE(big.x, 0);
    ASSERT_GE(music.x, 0);
    // The program's thread holds at the spread's start until the second
    // click is in its queue, so the click comes while the spread goes on.
    std::atomic<bool> held{false}, sent{false};
    std::vector<std::string> progress;
    ASSERT_TRUE(program->Call([&] {
        main->Synchronizer->OnSpreadProgress = [&, gauge = main->Synchronizer->OnSpreadProgress](
                                                   TCheckboxesSynchronizer* s, int done, int total) {
            progress.push_back(std::to_string(done) + "/" + std::to_string(total) +
                               (s->SpreadPending() ? "" : " over"));
            gauge(s, done, total);
            if (progress.size() > 1) return;
            held = true;
            MSG m;
            for (int i = 0; i < 2000 && !(sent && PeekMessage(m, nullptr, WM_LBUTTONUP, WM_LBUTTONUP, PM_NOREMOVE));
                 ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        };
    }));
    clock.Advance(1000);
    server.Click(big.x, big.y);
    ASSERT_TRUE(server.WaitFor([&] { return held.load(); })) << "the check did not begin to spread";
    clock.Advance(1000);
    server.Click(music.x, music.y);
    sent = true;
    ASSERT_TRUE(Until([&] { return !main->Synchronizer->SpreadPending() && main->ExpTree->GetFirst() &&
                                   ChildNamed(main->ExpTree, main->ExpTree->GetFirst(), "Music")->CheckState ==
                                       csCheckedNormal; }))
        << "the second click was lost";
    // Begun (20 items read at the click), one slice served, then the rest
    // at once when the second click came.
    const std::vector<std::string> seen = program->Get<std::vector<std::string>>([&] { return progress; });
    EXPECT_EQ(seen, (std::vector<std::string>{"20/0", "40/0", "300/300 over"}));
    EXPECT_EQ(StateIn(kTree, "big"), csCheckedNormal);
    Shot(program->formWindow(), "check_spread_x11");
    const std::vector<std::string> lines = Lines(main);
    ASSERT_EQ(lines.size(), size_t(1 + kFiles + 3));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), home + "/big/f1299.dat"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), home + "/Music/b.ogg"), 1);
    const std::string sliced = folder + "/sliced.JOB", whole = folder + "/whole.JOB";
    EXPECT_TRUE(program->Get<bool>([&] { return main->SaveJob(sliced); }));

    // The same two checks in a window that never slices.
    EXPECT_TRUE(program->Get<bool>([&] {
        auto* w = TComponent::Create<TMainform>(main);
        QuietPane(w->ExpTree);
        QuietPane(w->ExpList);
        w->SetRootPath(home);
        w->Synchronizer->SetSliceSize(kFiles * 10);
        for (const char* name : {"big", "Music"})
            w->ExpTree->SetCheckState(ChildNamed(w->ExpTree, w->ExpTree->GetFirst(), name), csCheckedNormal);
        return !w->Synchronizer->SpreadPending() && w->SaveJob(whole);
    }));
    EXPECT_EQ(Bytes(sliced), Bytes(whole));
    EXPECT_TRUE(boxes.empty()) << boxes.front();
}

// The big folder chosen in the tree is listed in slices of 20 with the
// gauge moving ("Listing" and the folder); Escape in the middle leaves the
// list on the home folder and the tree's selection on it, and the folder
// chosen again is listed whole. listing_x11.png is the window held at the
// listing's first slice.
TEST_F(X11SpreadTest, ABigFolderIsListedInSlicesAndEscapeCancelsIt) {
    const POINT big = OnScreen(kTree, "big", false);
    ASSERT_GE(big.x, 0);
    ActivateMainForm();
    const unsigned long xwindow = XWindowOf(program->formWindow());
    const auto shown = [&] {
        return program->Get<std::string>([&] {
            TNamespace* ns = main->ExpList->NodeNamespace(main->ExpList->RootNode());
            return ns ? WideToUtf8(ns->NameForParsing()) : std::string("-");
        });
    };
    const auto selected = [&] {
        return program->Get<std::string>([&] { return WideToUtf8(main->ExpTree->SelectedPath()); });
    };
    const std::string listBefore = shown(), treeBefore = selected();
    // The program's thread holds at the first slice until Escape is in its
    // queue, so the key comes while the listing goes on.
    std::atomic<bool> held{false}, sent{false};
    std::vector<std::string> progress;
    ASSERT_TRUE(program->Call([&] {
        main->ExpList->SetSliceSize(20);
        main->ExpList->OnListingProgress = [&, gauge = main->ExpList->OnListingProgress](TExplorerListview* l,
                                                                                         int listed) {
            gauge(l, listed);
            progress.push_back(std::to_string(listed) + (l->ListingPending() ? " " + main->PathPanel->Text() : " over"));
            if (progress.size() > 1) return;
            HoldUntilKeyQueued(held, sent);
        };
    }));
    clock.Advance(1000);
    server.Click(big.x, big.y);
    ASSERT_TRUE(server.WaitFor([&] { return held.load(); })) << "the listing did not begin";
    EXPECT_TRUE(server.Screenshot(SnapshotPath("listing_x11").string(), xwindow));
    server.KeyStroke(kXK_Escape);
    sent = true;
    ASSERT_TRUE(Until([&] { return !main->ExpList->ListingPending(); }));
    const std::vector<std::string> seen = program->Get<std::vector<std::string>>([&] { return progress; });
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen.front(), "20 Listing " + home + "/big");
    EXPECT_EQ(seen.back(), std::to_string(20 * (seen.size() - 1)) + " over") << "cancelled before the end: " << ::testing::PrintToString(seen);
    EXPECT_EQ(shown(), listBefore);
    EXPECT_EQ(selected(), treeBefore);

    // Chosen again, with nothing holding it, the folder is listed whole.
    ASSERT_TRUE(program->Call([&] { progress.push_back("again"); }));
    clock.Advance(1000);
    server.Click(big.x, big.y);
    ASSERT_TRUE(server.WaitFor([&] {
        clock.Advance(20);
        return !program->Get<bool>([&] { return main->ExpList->ListingPending(); }) && shown() == home + "/big";
    }));
    EXPECT_EQ(program->Get<int>([&] { return int(main->ExpList->RootNodeCount()); }), kFiles);
    EXPECT_TRUE(boxes.empty()) << boxes.front();
}

// A job read twenty records a message into a fresh window: held between two
// slices, the window shows the gauge part way and the job not yet named;
// once read, the selection is the job's. job_reading_x11.png is the window
// held between the slices.
TEST_F(X11SpreadTest, AJobIsReadInSlicesWithTheGaugeMoving) {
    const std::string job = folder + "/big.JOB";
    ASSERT_TRUE(program->Call([&] {
        main->ExpTree->SetCheckState(ChildNamed(main->ExpTree, main->ExpTree->GetFirst(), "big"),
                                     csCheckedNormal);
        main->SaveJob(job);
    }));
    ASSERT_TRUE(fs::exists(job));
    TMainform* again = program->Get<TMainform*>([&] {
        auto* w = TComponent::Create<TMainform>(main);
        QuietPane(w->ExpTree);
        QuietPane(w->ExpList);
        w->ErrorDisplay = [this](const AnsiString& text) { boxes.push_back(text); };
        w->SetRootPath(home);
        w->Show();
        return w;
    });
    const HWND window = program->Get<HWND>([&] { return again->Handle(); });
    ASSERT_TRUE(Shown(window));
    const unsigned long xwindow = XWindowOf(window);
    // The program's thread holds at a message queued behind the first
    // slice until the window has been shot.
    constexpr UINT kHold = WM_APP + 0x7D;
    std::atomic<bool> held{false}, shot{false};
    bool reading = false;
    int gauge = -1;
    std::string caption, told;
    std::function<void(TMessage&)> inner;
    ASSERT_TRUE(program->Call([&] {
        again->SetLoadReadSliceSize(20);
        inner = again->WindowProc;
        again->WindowProc = [&](TMessage& m) {
            if (m.Msg != kHold) {
                inner(m);
                return;
            }
            reading = again->ExpTree->Storage().LoadReading();
            gauge = again->GaugePanel->GaugeAttrs().Position();
            caption = again->Caption();
            told = again->PathPanel->Text();
            RedrawWindow(window, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
            PumpDisplay();
            held = true;
            for (int i = 0; i < 2000 && !shot; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        };
        again->LoadJob(job);
        PostMessage(window, kHold, 0, 0);
    }));
    ASSERT_TRUE(server.WaitFor([&] { return held.load(); })) << "the reading did not go on";
    EXPECT_TRUE(server.Screenshot(SnapshotPath("job_reading_x11").string(), xwindow));
    shot = true;
    EXPECT_TRUE(Until([&] { return !again->Loading(); })) << "the load did not end";
    ASSERT_TRUE(program->Call([&] { again->WindowProc = inner; }));
    EXPECT_TRUE(reading) << "read whole before the second slice";
    EXPECT_GT(gauge, 0);
    EXPECT_LT(gauge, 20);
    EXPECT_EQ(caption, "ArdentixXP");
    EXPECT_EQ(told, "Loading " + job);
    const std::vector<std::string> lines = Lines(again);
    ASSERT_EQ(lines.size(), size_t(kFiles + 1));
    EXPECT_EQ(lines.front(), home + "/big");
    EXPECT_EQ(lines.back(), home + "/big/f1299.dat");
    EXPECT_EQ(program->Get<std::string>([&] { return std::string(again->Caption()); }),
              "ArdentixXP - big.JOB");
    EXPECT_TRUE(boxes.empty()) << boxes.front();
}

// The big folder checked, the selection button clicked with real input:
// the selection's text is made in slices of 50 paths, the window showing
// it whole after the last. selection_slices_x11.png is that window.
TEST_F(X11SpreadTest, ALongSelectionIsShownWholeAfterItsSlices) {
    ASSERT_TRUE(program->Call([&] {
        main->SetSelectionSliceSize(50);
        main->ExpTree->SetCheckState(ChildNamed(main->ExpTree, main->ExpTree->GetFirst(), "big"), csCheckedNormal);
    }));
    const POINT button = program->Get<POINT>([&] {
        TButton* b = main->SelectionButton;
        return b->ClientToScreen(POINT{b->Width() / 2, b->Height() / 2});
    });
    clock.Advance(1000);
    server.Click(button.x, button.y);
    ASSERT_TRUE(server.WaitFor([&] {
        clock.Advance(20);
        return program->Get<bool>(
            [&] { return !main->ShowingSelection() && main->SelectionForm && main->SelectionForm->Visible(); });
    })) << "the selection was not shown";
    TSelectionForm* shown = program->Get<TSelectionForm*>([&] { return main->SelectionForm; });
    const std::string text = program->Get<std::string>([&] { return shown->Memo->Text(); });
    // The folder and its 300 files, one a line, in the folder's order.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), kFiles);
    EXPECT_EQ(text.substr(0, text.find('\n')), home + "/big");
    EXPECT_EQ(text.substr(text.rfind('\n') + 1), home + "/big/f1299.dat");
    EXPECT_FALSE(program->Get<bool>([&] { return main->GaugePanel->Enabled(); })) << "the gauge at rest again";
    ASSERT_TRUE(Shown(shown->Handle()));
    Shot(shown->Handle(), "selection_slices_x11");
    EXPECT_TRUE(boxes.empty()) << boxes.front();
}

// A home folder holding a folder of 300 subfolders, opened in the tree in
// slices of 20.
class X11ExpansionTest : public X11MainformTest {
protected:
    static constexpr int kFolders = 300;
    void MakeMore() override {
        for (int i = 0; i < kFolders; ++i) fs::create_directories(home + "/many/d" + std::to_string(100 + i));
    }
    TForm* Build(TApplication& app) override {
        TForm* form = X11MainformTest::Build(app);
        main->ExpTree->SetExpandSliceSize(20);
        return form;
    }
    // What Escape must leave as it was: the tree's nodes made (walked
    // without making any) with their expansion and selection, and the bytes
    // of its storage.
    std::string TreeState() {
        return program->Get<std::string>([&] {
            std::string out;
            TExplorerTreeview* tree = main->ExpTree;
            for (PDataNode n = tree->RootNode()->FirstChild; n;) {
                TNamespace* ns = tree->NodeNamespace(n);
                out += (ns ? WideToUtf8(ns->NameForParsing()) : "-") + (tree->Expanded(n) ? "+" : "") +
                       (tree->Selected(n) ? "*" : "") + " ";
                if (n->FirstChild) {
                    n = n->FirstChild;
                    continue;
                }
                while (n && !n->NextSibling) n = n->Parent == tree->RootNode() ? nullptr : n->Parent;
                if (n) n = n->NextSibling;
            }
            TMemoryStream bytes;
            tree->Storage().SaveToStream(bytes, 3, false);
            return out + std::to_string(bytes.Size()) + ":" +
                   std::string(reinterpret_cast<const char*>(bytes.Memory()), size_t(bytes.Size()));
        });
    }
};

// The folder of many subfolders opened by its button: read in slices of 20
// with the gauge moving; Escape in the middle leaves the tree as it was
// (nodes, expansion, selection, storage), and opened again, with nothing
// holding it, it opens whole. expansion_x11.png is the window held at the
// first slice.
TEST_F(X11ExpansionTest, EscapeCancelsOpeningAFolderOfManySubfolders) {
    ActivateMainForm();
    const POINT button = program->Get<POINT>([&] {
        PDataNode many = NodeIn(kTree, "many");
        const POINT p = many ? ButtonPoint(main->ExpTree, many) : POINT{-1, -1};
        return p.x < 0 ? p : main->ExpTree->ClientToScreen(p);
    });
    ASSERT_GE(button.x, 0) << "no button on the row of many";
    const unsigned long xwindow = XWindowOf(program->formWindow());
    const std::string before = TreeState();
    // The program's thread holds at the first slice until Escape is in its
    // queue, so the key comes while the folder is being read.
    std::atomic<bool> held{false}, sent{false};
    std::vector<std::string> progress;
    ASSERT_TRUE(program->Call([&] {
        main->ExpTree->OnExpansionProgress = [&, gauge = main->ExpTree->OnExpansionProgress](
                                                 TExplorerTreeview* t, int done, int total) {
            gauge(t, done, total);
            progress.push_back(std::to_string(done) + "/" + std::to_string(total) +
                               (t->ExpansionPending() ? " " + main->PathPanel->Text() : " over"));
            if (progress.size() > 1) return;
            HoldUntilKeyQueued(held, sent);
        };
    }));
    clock.Advance(1000);
    server.Click(button.x, button.y);
    ASSERT_TRUE(server.WaitFor([&] { return held.load(); })) << "the folder did not begin to open in slices";
    EXPECT_TRUE(server.Screenshot(SnapshotPath("expansion_x11").string(), xwindow));
    server.KeyStroke(kXK_Escape);
    sent = true;
    ASSERT_TRUE(Until([&] { return !main->ExpTree->ExpansionPending(); }));
    const std::vector<std::string> seen = program->Get<std::vector<std::string>>([&] { return progress; });
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen.front(), "20/0 Listing " + home + "/many");
    EXPECT_EQ(seen.back(), "0/0 over") << ::testing::PrintToString(seen);
    EXPECT_EQ(TreeState(), before);

    // Opened again, with nothing holding it, the folder opens whole.
    ASSERT_TRUE(program->Call([&] { progress.push_back("again"); }));
    clock.Advance(1000);
    server.Click(button.x, button.y);
    ASSERT_TRUE(server.WaitFor([&] {
        clock.Advance(20);
        return program->Get<bool>([&] {
            PDataNode many = NodeIn(kTree, "many");
            return !main->ExpTree->ExpansionPending() && many && main->ExpTree->Expanded(many);
        });
    })) << "the folder did not open";
    EXPECT_EQ(program->Get<int>([&] { return int(NodeIn(kTree, "many")->ChildCount); }), kFolders);
    EXPECT_TRUE(boxes.empty()) << boxes.front();
}

// The big folder checked, "Save job..." clicked and the name typed with
// real input: the job is written in slices of 20 records, the gauge
// moving, and lands whole only after the last. The program is held half
// way (by an object on the record of the 151st of the big folder's 300
// files) for save_slices_x11.png, the window while the job is saved.
TEST_F(X11SpreadTest, TheJobIsSavedInSlicesWithTheGaugeMoving) {
    // Writes a byte; the first time after it is armed, holds the program's
    // thread until the test lets it go.
    class THold : public TStorageObject {
    public:
        AnsiString ClassName() const override { return "THold"; }
        void Assign(const TStorageObject&) override {}
        void SaveToStream(TStream& s, int32_t version, bool words) override {
            TStorageObject::SaveToStream(s, version, words);
            s.WriteValue<uint8_t>(1);
            if (hold && armed) {
                armed = false;
                hold();
            }
        }
        std::function<void()> hold;
        bool armed = true;
    };
    const std::string job = folder + "/sliced.JOB", asked = folder + "/asked.JOB";
    std::atomic<bool> held{false}, released{false};
    std::vector<int> gauge;
    ASSERT_TRUE(program->Call([&] {
        main->SetSaveSliceSize(20);
        PDataNode big = ChildNamed(main->ExpTree, main->ExpTree->GetFirst(), "big");
        main->ExpTree->SetCheckState(big, csCheckedNormal);
        main->Synchronizer->CompletePending();
        auto hold = std::make_shared<THold>();
        ShellFolderPtr desktop;
        SHGetDesktopFolder(&desktop);
        PItemIDList middle = nullptr;
        desktop->ParseDisplayName(home + "/big/f1150.dat", &middle);
        const UniquePIDL owned(middle);
        TNodeStorage* record = middle ? main->ExpTree->Storage().Lookup(middle) : nullptr;
        if (!record) return ADD_FAILURE() << "the big folder's f1150.dat has no record";
        record->Storage.UserObject() = hold;
        main->ExpTree->Storage().SaveToFile(Utf8ToWide(asked), kJobVersion, false);
        hold->hold = [&] {
            gauge.push_back(main->GaugePanel->GaugeAttrs().Position());
            gauge.push_back(main->Saving());
            RedrawWindow(main->Handle(), nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
            PumpDisplay();
            // Drawn by the program itself: the server's picture would
            // wait for the thread held here.
            gauge.push_back(SnapshotWindow(main->Handle(), SnapshotPath("save_slices_x11").string()));
            held = true;
            for (int i = 0; i < 2000 && !released; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        };
    }));
    std::atomic<HWND> dialog{nullptr};
    OnDialogModal = [&](TDialogForm& d) { dialog = d.Handle(); };
    Click(program->Get<POINT>([&] {
        TButton* b = main->SaveJobButton;
        return b->ClientToScreen(POINT{b->Width() / 2, b->Height() / 2});
    }));
    ASSERT_TRUE(server.WaitFor([&] { return dialog.load() != nullptr; })) << "the save dialog did not come up";
    server.Activate(XWindowOf(dialog));
    ASSERT_TRUE(Shown(dialog, true)) << "the dialog did not get the keyboard";
    server.Type(job);
    server.KeyStroke(kXK_Return);
    ASSERT_TRUE(server.WaitFor([&] {
        clock.Advance(20);
        return held.load();
    })) << "the save did not reach f1150.dat's record";
    EXPECT_FALSE(fs::exists(job)) << "the job is there before its last slice";
    released = true;
    ASSERT_TRUE(server.WaitFor([&] {
        clock.Advance(20);
        return program->Get<bool>([&] { return !main->Saving(); });
    })) << "the save did not end";
    // The gauge half way when held, in a save under way.
    const std::vector<int> seen = program->Get<std::vector<int>>([&] { return gauge; });
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_GT(seen[0], 25);
    EXPECT_LT(seen[0], 75);
    EXPECT_EQ(seen[1], 1);
    EXPECT_EQ(seen[2], 1) << "no picture of the window while saving";
    EXPECT_EQ(Bytes(job), Bytes(asked));
    EXPECT_EQ(program->Get<std::string>([&] { return main->PathPanel->Text(); }), "Saved " + job);
    EXPECT_FALSE(program->Get<bool>([&] { return main->GaugePanel->Enabled(); })) << "the gauge at rest again";
    EXPECT_EQ(program->Get<std::string>([&] { return main->JobFileName(); }), job);
    EXPECT_FALSE(program->Get<bool>([&] { return main->Modified(); }));
    EXPECT_TRUE(boxes.empty()) << boxes.front();
}

} // namespace
} // namespace ax
