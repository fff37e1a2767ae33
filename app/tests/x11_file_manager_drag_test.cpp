// Drags between the main window and a real file manager (pcmanfm) on the
// same display, moved as a hand moves the mouse: a few pixels a step, each
// taken by the server (and, over our window, by the program, its clock
// going on 15 ms) before the next. Files dragged from the file manager onto
// a folder of the tree arrive there, copied with Ctrl held and moved with
// Shift; files dragged from the list into the file manager's window arrive
// in its folder. Nothing sleeps: each wait ends on what the program, the
// server or the disk shows. The screen mid-way through each drag is kept as
// file_manager_to_tree_copy.png, file_manager_to_tree_move.png and
// list_to_file_manager.png.
#include "file_manager.h"
#include "x11_home_form_test.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace ax {
namespace {

namespace fs = std::filesystem;
using testing::CaptionPoint;
using testing::ChildNamed;
using testing::QuietPane;
using test::FileManager;
using test::Xvfb;

constexpr unsigned long kXK_Control_L = 0xFFE3, kXK_Shift_L = 0xFFE1;


class X11FileManagerDragTest : public test::X11HomeFormTest {
protected:
    void SetUp() override {
        if (test::FindProgram("pcmanfm").empty()) GTEST_SKIP() << "pcmanfm is not installed";
        SetUpHome("ax-fmdrag-", "fm-drag");
        shown = other;
        std::ofstream(home + "/Music/a.ogg") << "a";
        std::ofstream(home + "/notes.txt") << "notes";
        std::ofstream(shown + "/alpha.txt") << "alpha";
        // The form's fixture, with the program's input logged.
        test::X11Test::SetUp();
        if (!Started()) return;
        ASSERT_NO_FATAL_FAILURE(
            StartProgram({.build = [this](TApplication& app) { return Build(app); }, .logged = test::IsInput}));
        ASSERT_NO_FATAL_FAILURE(ActivateMainForm());
    }
    void TearDown() override {
        manager.reset();
        test::X11HomeFormTest::TearDown();
    }

    // The file manager's window at the bottom right, kept above the main
    // window (as a user keeps one in view while working in the other):
    // over the grid and the list's lower part, the tree and the list's
    // first rows stay in view.
    void StartFileManager() {
        manager = std::make_unique<FileManager>(server.Name(), folder + "/fm", shown, 400, 300);
        std::vector<unsigned long> found;
        ASSERT_TRUE(server.WaitFor([&] { return !(found = server.WindowsNamed("fm-drag")).empty(); }))
            << "the file manager did not show its window";
        fmWindow = found.front();
        server.MoveResize(fmWindow, 390, 280, 400, 300);
        server.KeepAbove(fmWindow, true);
        ASSERT_TRUE(server.WaitFor([&] {
            fm = server.WindowGeometry(fmWindow);
            return fm.viewable && fm.x == 390 && fm.y == 280 && fm.width == 400;
        })) << "the file manager's window did not move";
        ASSERT_TRUE(server.WaitFor([&] {
            const std::vector<std::string> state = server.AtomProperty(fmWindow, "_NET_WM_STATE");
            return std::find(state.begin(), state.end(), "_NET_WM_STATE_ABOVE") != state.end();
        })) << "the file manager's window is not kept above";
        ASSERT_TRUE(server.WindowManagerBarrier());
    }
    // Its list view: the first file's row, and an empty place below the rows.
    POINT FirstFileRow() const { return {fm.x + 215, fm.y + 104}; }
    POINT EmptyPlace() const { return {fm.x + 300, fm.y + 220}; }

    bool TreeDropTargetIs(const std::string& name) {
        return program->Get<bool>([&, this] {
            PDataNode node = ChildNamed(main->ExpTree, main->ExpTree->GetFirst(), name);
            return node && main->ExpTree->DropTargetNode() == node;
        });
    }
    // The whole screen, once the program painted what is pending.
    void ScreenShot(const std::string& name) {
        ASSERT_TRUE(program->Call([] {
            UpdateWindow(GetDesktopWindow());
            PumpDisplay();
        }));
        EXPECT_TRUE(server.Screenshot(SnapshotPath(name).string())) << name;
    }

    // A drag the file manager runs: the pointer is its, the program hears
    // only the drag's messages. The modifier goes down once the drag runs
    // and up after the drop; the pointer rests on `to` until the tree shows
    // its folder there as the drop's target. The file manager misses a
    // press now and then while it settles (the row is not even selected
    // then): the drag is made again, at most three times.
    void DragFromFileManager(POINT from, POINT to, const std::string& folderName, unsigned long modifier,
                             const std::string& shot) {
        bool taken = false;
        for (int attempt = 0; attempt < 3 && !taken; ++attempt) {
            server.MoveTo(from.x, from.y);
            server.Button(1, true);
            const int steps = std::max(std::abs(to.x - from.x), std::abs(to.y - from.y)) / 3;
            for (int i = 1; i <= steps; ++i) {
                server.MoveTo(from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps);
                if (i == 10 && modifier) server.Key(modifier, true);
            }
            taken = server.WaitFor(
                [&] {
                    server.MoveTo(to.x + 1, to.y);
                    server.MoveTo(to.x, to.y);
                    return TreeDropTargetIs(folderName);
                },
                Xvfb::Bound(5000));
            if (taken) ScreenShot(shot);
            server.Button(1, false);
            if (modifier) server.Key(modifier, false);
        }
        EXPECT_TRUE(taken) << "the tree did not take the drag over " << folderName;
    }

    // One motion over the program's drag, taken by it before the next.
    void Step(int x, int y) {
        clock.Advance(15);
        const size_t from = program->InputCount();
        server.MoveTo(x, y);
        ASSERT_TRUE(program->WaitMessage(from, nullptr, WM_MOUSEMOVE)) << "the motion to " << x << "," << y
                                                                        << " did not arrive";
    }

    // A drag the program runs from the list: pressed on the item, held
    // still a moment, then moved as a hand moves; the modifier goes down
    // once the drag runs. The pointer rests on `to` until the file manager
    // said it takes the files (the program shows the arrow).
    void DragFromList(const std::string& name, POINT to, unsigned long modifier, const std::string& shot) {
        const POINT from = InList(name);
        ASSERT_GE(from.x, 0) << name << " is not listed";
        clock.Advance(1000);
        const size_t before = program->InputCount();
        server.MoveTo(from.x, from.y);
        server.Button(1, true);
        ASSERT_TRUE(program->WaitMessage(before, nullptr, WM_LBUTTONDOWN)) << "the press did not arrive";
        clock.Advance(120);
        const int steps = std::max(std::abs(to.x - from.x), std::abs(to.y - from.y)) / 3;
        for (int i = 1; i <= steps && !HasFatalFailure(); ++i) {
            Step(from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps);
            if (i == 10 && modifier) server.Key(modifier, true);
        }
        int wiggle = 0;
        EXPECT_TRUE(server.WaitFor([&] {
            Step(to.x + (++wiggle % 2), to.y);
            return ShowsAcceptance();
        })) << "the file manager did not take the drag";
        ScreenShot(shot);
        server.Button(1, false);
        if (modifier) server.Key(modifier, false);
    }
    bool ShowsAcceptance() {
        return program->Get<bool>([] { return GetCursor() == LoadCursor(0, IDC_ARROW); });
    }

    // The file manager's folder.
    std::string shown;
    std::unique_ptr<FileManager> manager;
    unsigned long fmWindow = 0;
    Xvfb::Geometry fm;
};

// One file in its folder, in its first row, for each drag: the file
// manager orders its rows as it pleases while it reads a folder.
TEST_F(X11FileManagerDragTest, AFileDraggedFromTheFileManagerWithCtrlIsCopiedOntoATreeFolder) {
    ASSERT_NO_FATAL_FAILURE(StartFileManager());
    DragFromFileManager(FirstFileRow(), InTree("Music"), "Music", kXK_Control_L, "file_manager_to_tree_copy");
    EXPECT_TRUE(server.WaitFor([&] { return fs::exists(home + "/Music/alpha.txt"); }))
        << "the file dragged with Ctrl did not arrive";
    EXPECT_EQ(test::ReadWholeFile(home + "/Music/alpha.txt"), "alpha");
    EXPECT_EQ(test::ReadWholeFile(shown + "/alpha.txt"), "alpha");
}

TEST_F(X11FileManagerDragTest, AFileDraggedFromTheFileManagerWithShiftIsMovedOntoATreeFolder) {
    ASSERT_NO_FATAL_FAILURE(StartFileManager());
    DragFromFileManager(FirstFileRow(), InTree("Music"), "Music", kXK_Shift_L, "file_manager_to_tree_move");
    EXPECT_TRUE(server.WaitFor([&] { return fs::exists(home + "/Music/alpha.txt") && !fs::exists(shown + "/alpha.txt"); }))
        << "the file dragged with Shift was not moved";
    EXPECT_EQ(test::ReadWholeFile(home + "/Music/alpha.txt"), "alpha");
}

// Without keys the file manager offers a copy, and a copy it is.
TEST_F(X11FileManagerDragTest, AFileDraggedFromTheFileManagerWithoutKeysIsCopiedOntoATreeFolder) {
    ASSERT_NO_FATAL_FAILURE(StartFileManager());
    DragFromFileManager(FirstFileRow(), InTree("Music"), "Music", 0, "file_manager_to_tree_plain");
    EXPECT_TRUE(server.WaitFor([&] { return fs::exists(home + "/Music/alpha.txt"); }))
        << "the file dragged without keys did not arrive";
    EXPECT_EQ(test::ReadWholeFile(home + "/Music/alpha.txt"), "alpha");
    EXPECT_EQ(test::ReadWholeFile(shown + "/alpha.txt"), "alpha");
}

// Without keys the program offers the file manager a copy: the file stays.
TEST_F(X11FileManagerDragTest, AFileDraggedFromTheListIntoTheFileManagerArrivesInItsFolder) {
    ASSERT_NO_FATAL_FAILURE(StartFileManager());
    DragFromList("notes.txt", EmptyPlace(), 0, "list_to_file_manager");
    // The file manager writes the file in place: it shows before its bytes.
    EXPECT_TRUE(server.WaitFor([&] { return test::ReadWholeFile(shown + "/notes.txt") == "notes"; }))
        << "the file did not arrive in the file manager's folder";
    EXPECT_EQ(test::ReadWholeFile(home + "/notes.txt"), "notes");
}

// With Shift the program offers a move: the file leaves the list's folder.
TEST_F(X11FileManagerDragTest, AFileDraggedFromTheListWithShiftIsMovedIntoTheFileManagersFolder) {
    ASSERT_NO_FATAL_FAILURE(StartFileManager());
    DragFromList("notes.txt", EmptyPlace(), kXK_Shift_L, "list_to_file_manager_move");
    EXPECT_TRUE(server.WaitFor([&] {
        return test::ReadWholeFile(shown + "/notes.txt") == "notes" && !fs::exists(home + "/notes.txt");
    })) << "the file dragged with Shift was not moved into the file manager's folder";
}

} // namespace
} // namespace ax
