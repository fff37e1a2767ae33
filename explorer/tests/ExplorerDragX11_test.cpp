// Dragging files between the explorer list and tree on a real display: a
// private Xvfb with openbox, XTest input. The pointer moves as a hand moves
// it (a few pixels at a time, with the program's clock going on between
// steps, so that timers such as the tree's edit delay run as they would)
// and also in a single jump. Each step waits until the program has taken
// the motion; nothing here sleeps.
//
// The picture of a drag held over a folder of the tree is kept in the
// build tree as explorer_drag_hand_x11.png.
#include "framework/forms.h"
#include "platform/shellns/messageboxservice.h"
#include "platform/shellns/recordingmessageboxservice.h"
#include "platform/window/display.h"
#include "rtl/clock.h"
#include "explorer/ExplorerViews.h"
#include "x11_program.h"

#include <algorithm>
#include <utility>
#include <vector>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ax {
namespace {

constexpr unsigned long kXK_Control_L = 0xFFE3, kXK_Escape = 0xFF1B;

PDataNode NodeOf(TCustomExplorerTree* control, const std::string& path) {
    PItemIDList pidl = PathToPIDL(Utf8ToWide(path));
    if (!pidl) return nullptr;
    PDataNode node = control->FindNodeByPIDL(pidl);
    NamespacePIDLManager().FreePIDL(pidl);
    return node == control->RootNode() ? nullptr : node;
}

POINT LabelPoint(TCustomExplorerTree* control, PDataNode node) {
    if (!node) return POINT{-1, -1};
    control->ScrollIntoView(node, false);
    const RECT r = control->GetDisplayRect(node, NoColumn, true);
    return control->ClientToScreen(POINT{r.left + 4, (r.top + r.bottom) / 2});
}

bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

class X11DragTest : public test::X11Test {
protected:
    void SetUp() override {
        SetMessageBoxService(&boxes);
        test::X11Test::SetUp();
        if (!Started()) return;
        char pattern[] = "/tmp/axdragx11XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        for (const char* d : {"/docs", "/music", "/photos"}) mkdir((folder + d).c_str(), 0755);
        for (const char* f : {"/docs/notes.txt", "/top.txt", "/second.txt"}) {
            const int fd = open((folder + f).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            if (fd >= 0) close(fd);
        }
        ASSERT_NO_FATAL_FAILURE(
            StartProgram({.build = [this](TApplication& app) { return Build(app); }, .logged = test::IsInput}));
        ASSERT_NO_FATAL_FAILURE(ActivateMainForm());
    }
    void TearDown() override {
        test::X11Test::TearDown();
        SetMessageBoxService(nullptr);
        std::error_code error;
        if (!folder.empty()) std::filesystem::remove_all(folder, error);
    }

    TForm* Build(TApplication& app) {
        TForm* form = app.CreateForm<TForm>();
        form->SetCaption("Drag");
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
            o.SetExpShellOptions(o.ExpShellOptions() | toDragDrop);
            c->SetRootFolderCustomPath(Utf8ToWide(folder));
        }
        tree->SetExplorerListview(list);
        list->SetExplorerTreeview(tree);
        tree->SetActive(true);
        list->SetActive(true);
        form->Show();
        return form;
    }

    POINT Label(bool inTree, const std::string& relative) {
        return program->Get<POINT>([&] {
            TCustomExplorerTree* c = inTree ? static_cast<TCustomExplorerTree*>(tree) : list;
            return LabelPoint(c, NodeOf(c, folder + relative));
        });
    }
    void ClickAt(POINT p) {
        clock.Advance(1000); // never a double click
        const size_t from = program->InputCount();
        server.Click(p.x, p.y);
        ASSERT_TRUE(program->WaitMessage(from, nullptr, WM_LBUTTONUP)) << "the click did not arrive";
    }
    // One motion of the pointer, taken by the program before the next, with
    // `ms` passing on its clock first.
    void Step(int x, int y, int ms) {
        clock.Advance(ms);
        const size_t from = program->InputCount();
        server.MoveTo(x, y);
        ASSERT_TRUE(program->WaitMessage(from, nullptr, WM_MOUSEMOVE)) << "the motion to " << x << "," << y
                                                                        << " did not arrive";
    }
    // Presses on `from` (held still for a moment, as a hand does) and moves
    // to `to` in steps of three pixels every 15 ms, or in one jump; the
    // button stays down. Returns the input count before the press.
    size_t PressAndMove(POINT from, POINT to, bool jump) {
        EXPECT_GE(from.x, 0) << "the start is not shown";
        EXPECT_GE(to.x, 0) << "the end is not shown";
        clock.Advance(1000);
        const size_t before = program->InputCount();
        server.MoveTo(from.x, from.y);
        server.Button(1, true);
        EXPECT_TRUE(program->WaitMessage(before, nullptr, WM_LBUTTONDOWN)) << "the press did not arrive";
        clock.Advance(120);
        if (jump) {
            Step(to.x, to.y, 20);
            Step(to.x + 1, to.y, 20); // the target hears of the pointer once the drag runs
            return before;
        }
        const int steps = std::max(std::abs(to.x - from.x), std::abs(to.y - from.y)) / 3;
        for (int i = 1; i <= steps && !HasFatalFailure(); ++i)
            Step(from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps, 15);
        return before;
    }
    void Release(size_t before) {
        server.Button(1, false);
        ASSERT_TRUE(program->WaitMessage(before, nullptr, WM_LBUTTONUP)) << "the release did not arrive";
        ASSERT_TRUE(program->Call([] {})) << "the application did not answer after the release";
    }
    std::string DropTarget() {
        return program->Get<std::string>([&] {
            TNamespace* ns = tree->NodeNamespace(tree->DropTargetNode());
            return ns ? WideToUtf8(ns->NameForParsing()) : std::string();
        });
    }
    bool Editing(bool inTree) {
        return program->Get<bool>([&] { return inTree ? tree->IsEditing() : list->IsEditing(); });
    }
    // Selects the file in the list with a click, so that the next press on
    // it is a press on the only selected item (the one that may rename).
    void Select(const std::string& relative) {
        ClickAt(Label(false, relative));
        clock.Advance(5000); // the edit delay of that click runs out: no rename pending
        ASSERT_TRUE(program->Call([] {}));
        ASSERT_FALSE(Editing(false));
    }

    // The drag image's rectangle on the screen as the program has it and as
    // the server shows it; empty when no image is shown.
    std::pair<RECT, RECT> Image() {
        const HWND h = program->Get<HWND>([] {
            for (HWND w : EnumThreadTopWindows(GetCurrentThreadId()))
                if (TWinControl* c = TWinControl::FindControl(w);
                    c && c->ClassName() == "TDragImage" && IsWindowVisible(w))
                    return w;
            return HWND(nullptr);
        });
        if (!h) return {};
        RECT mine{};
        program->Call([&] { GetWindowRect(h, mine); });
        const test::Xvfb::Geometry g = server.WindowGeometry(program->Get<unsigned long>([=] { return NativeWindow(h); }));
        return {mine, RECT{g.x, g.y, g.x + g.width, g.y + g.height}};
    }
    // The image's corner is beside the pointer, in the program and on the server.
    bool ImageBeside(POINT pointer) {
        return server.WaitFor([&] {
            const auto [mine, shown] = Image();
            return mine.left == pointer.x + 12 && mine.top == pointer.y + 12 && mine == shown;
        });
    }
    std::vector<std::string> Listed(const std::string& relative) {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(folder + relative))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string folder;
    TExplorerTreeview* tree = nullptr;
    TExplorerListview* list = nullptr;
    RecordingMessageBoxService boxes;
};

TEST_F(X11DragTest, AHandDragFromASelectedFileOntoATreeFolderMovesItAndNeverRenames) {
    ASSERT_NO_FATAL_FAILURE(Select("/top.txt"));
    const size_t before = PressAndMove(Label(false, "/top.txt"), Label(true, "/music"), false);
    ASSERT_FALSE(HasFailure());
    EXPECT_FALSE(Editing(false)) << "the rename editor opened instead of a drag";
    ASSERT_TRUE(server.WaitFor([&] { return DropTarget() == folder + "/music"; }))
        << "the tree did not follow the drag to music";
    const POINT over = Label(true, "/music");
    EXPECT_TRUE(ImageBeside(over)) << "the drag image is not beside the pointer";
    ASSERT_TRUE(program->Call([&] {
        UpdateWindow(program->formWindow());
        PumpDisplay();
    }));
    // The whole screen: the image is a window of its own above the form.
    ASSERT_TRUE(server.Screenshot("explorer_drag_hand_x11.png"));
    // A few pixels more: the image goes along.
    ASSERT_NO_FATAL_FAILURE(Step(over.x + 3, over.y + 2, 15));
    EXPECT_TRUE(ImageBeside(POINT{over.x + 3, over.y + 2})) << "the drag image did not follow the pointer";
    Release(before);
    EXPECT_TRUE(server.WaitFor([&] { return Image().first == RECT{}; })) << "the image outlived the drag";
    ASSERT_TRUE(server.WaitFor([&] { return Exists(folder + "/music/top.txt"); })) << "top.txt did not arrive in music";
    EXPECT_TRUE(server.WaitFor([&] { return !Exists(folder + "/top.txt"); })) << "a plain drag moves";
    EXPECT_FALSE(Editing(false));
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(X11DragTest, ASingleJumpWithCtrlCopiesAFileOntoATreeFolder) {
    ASSERT_NO_FATAL_FAILURE(Select("/second.txt"));
    const size_t before = PressAndMove(Label(false, "/second.txt"), Label(true, "/docs"), true);
    ASSERT_FALSE(HasFailure());
    server.Key(kXK_Control_L, true);
    ASSERT_TRUE(server.WaitFor([&] { return DropTarget() == folder + "/docs"; }));
    Release(before);
    server.Key(kXK_Control_L, false);
    ASSERT_TRUE(server.WaitFor([&] { return Exists(folder + "/docs/second.txt"); }))
        << "second.txt did not arrive in docs";
    EXPECT_TRUE(Exists(folder + "/second.txt")) << "Ctrl copies";
    EXPECT_FALSE(Editing(false));
    // The window layer's key state outlives this program in the test's
    // process: the next test's drag must not find Ctrl still down.
    EXPECT_TRUE(server.WaitFor([&] {
        bool up = false;
        return program->Call([&] { up = (GetKeyState(VK_CONTROL) & 0x8000) == 0; }) && up;
    })) << "the program never saw Ctrl released";
}

TEST_F(X11DragTest, AHandDragOfATreeFolderOntoAnotherMovesItWithItsContents) {
    const size_t before = PressAndMove(Label(true, "/docs"), Label(true, "/photos"), false);
    ASSERT_FALSE(HasFailure());
    ASSERT_TRUE(server.WaitFor([&] { return DropTarget() == folder + "/photos"; }))
        << "the tree did not follow the drag to photos";
    Release(before);
    ASSERT_TRUE(server.WaitFor([&] { return Exists(folder + "/photos/docs/notes.txt"); }))
        << "docs did not arrive in photos";
    // The move copies, then removes what it copied: the folder goes last.
    EXPECT_TRUE(server.WaitFor([&] { return !Exists(folder + "/docs"); })) << "docs stayed where it was";
    EXPECT_FALSE(Editing(true));
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(X11DragTest, EscapeMidDragLeavesEverythingAsItWas) {
    ASSERT_NO_FATAL_FAILURE(Select("/top.txt"));
    const std::vector<std::string> rootBefore = Listed("");
    const size_t before = PressAndMove(Label(false, "/top.txt"), Label(true, "/music"), false);
    ASSERT_FALSE(HasFailure());
    ASSERT_TRUE(server.WaitFor([&] { return DropTarget() == folder + "/music"; }));
    server.KeyStroke(kXK_Escape);
    EXPECT_TRUE(server.WaitFor([&] { return DropTarget().empty() && Image().first == RECT{}; }))
        << "Escape did not end the drag";
    // The hand goes on a little and lets go over the folder: nothing happens.
    ASSERT_NO_FATAL_FAILURE(Step(Label(true, "/music").x + 2, Label(true, "/music").y, 15));
    Release(before);
    clock.Advance(2000); // past the edit delay: no rename either
    ASSERT_TRUE(program->Call([] {}));
    EXPECT_EQ(Listed(""), rootBefore);
    EXPECT_TRUE(Listed("/music").empty());
    EXPECT_FALSE(Editing(false));
    EXPECT_FALSE(Editing(true));
}

} // namespace
} // namespace ax
