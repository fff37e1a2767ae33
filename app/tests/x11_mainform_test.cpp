// The main window on a real display under a window manager, used with real
// X input: checks clicked in the tree and in the list, the job saved
// through the save dialog with its name typed, then loaded into a fresh
// window whose selection is compared with what was clicked.
// main_window_x11.png is the window with the checks made.
#include "app/MainForm.h"
#include "pane_points.h"
#include "stdctrls/dialogform.h"
#include "x11_fixture.h"

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

constexpr unsigned long kXK_Return = 0xFF0D;

class X11MainformTest : public test::X11ControlsTest {
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
        test::X11ControlsTest::SetUp();
    }
    void TearDown() override {
        test::X11ControlsTest::TearDown();
        OnDialogModal = nullptr;
        setenv("HOME", savedHome.c_str(), 1);
        fs::remove_all(folder);
    }
    TForm* Build(TApplication& app) override {
        main = app.CreateForm<TMainform>();
        main->ErrorDisplay = [this](const AnsiString& text) { boxes.push_back(text); };
        main->SetRootPath(home);
        return main;
    }
    // A point of a pane's node on the screen.
    POINT OnScreen(TExplorerTree* TMainform::*pane, const std::string& folderName, const std::string& name,
                   bool box) {
        return program->Get<POINT>([&, this] {
            TExplorerTree* tree = main->*pane;
            PDataNode parent = folderName.empty() ? nullptr : ChildNamed(tree, tree->GetFirst(), folderName);
            if (!folderName.empty() && pane == &TMainform::ExpTree && !parent) return POINT{-1, -1};
            PDataNode node = ChildNamed(tree, pane == &TMainform::ExpTree && folderName.empty() ? tree->GetFirst() : parent, name);
            if (!node) return POINT{-1, -1};
            return tree->ClientToScreen(box ? CheckBoxPoint(tree, node) : CaptionPoint(tree, node));
        });
    }
    int StateIn(TExplorerTree* TMainform::*pane, const std::string& name) {
        return program->Get<int>([&, this] {
            TExplorerTree* tree = main->*pane;
            PDataNode node = ChildNamed(tree, pane == &TMainform::ExpTree ? tree->GetFirst() : nullptr, name);
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
    // notes.txt checked in the tree.
    const POINT notes = OnScreen(&TMainform::ExpTree, "", "notes.txt", true);
    ASSERT_GE(notes.x, 0);
    Click(notes);
    EXPECT_TRUE(Until([&] { return ChildNamed(main->ExpTree, main->ExpTree->GetFirst(), "notes.txt")->CheckState ==
                                   csCheckedNormal; }))
        << "the click did not check notes.txt";
    // Music chosen in the tree; a.ogg checked in the list.
    Click(OnScreen(&TMainform::ExpTree, "", "Music", false));
    ASSERT_TRUE(Until([&] { return ChildNamed(main->ExpList, nullptr, "a.ogg") != nullptr; }))
        << "the list did not follow the tree";
    Click(OnScreen(&TMainform::ExpList, "", "a.ogg", true));
    EXPECT_TRUE(Until([&] { return ChildNamed(main->ExpList, nullptr, "a.ogg")->CheckState == csCheckedNormal; }));
    EXPECT_EQ(StateIn(&TMainform::ExpTree, "Music"), csMixedNormal);
    // Photos checked in the tree, whole.
    Click(OnScreen(&TMainform::ExpTree, "", "Photos", true));
    EXPECT_TRUE(Until([&] { return ChildNamed(main->ExpTree, main->ExpTree->GetFirst(), "Photos")->CheckState ==
                                   csCheckedNormal; }));
    const std::vector<std::string> expected = {home + "/Music/a.ogg", home + "/notes.txt", home + "/Photos"};
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

} // namespace
} // namespace ax
