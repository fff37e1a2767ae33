// The explorer tree on a real display: a private Xvfb with openbox, driven
// with XTest input as a user would drive it, over a test folder in a private
// home. Folders are expanded and items checked with the mouse, two are
// renamed in place (F2; a slow click); files made, renamed and deleted from
// outside show once the change notifier's quiet period (on the injected
// clock) has passed. Icons come from the icon thread.
//
// The picture of the tree with checked, mixed and unchecked items and their
// icons is kept beside the test (the build tree) as explorer_tree_x11.png.
//
// The application runs on the test's thread: after each piece of input the
// test serves the application's queue until the input had its effect, with
// a bound.
#include "framework/forms.h"
#include "platform/window/display.h"
#include "platform/window/window.h"
#include "rtl/clock.h"
#include "explorer/ExplorerTree.h"
#include "shell/IconThread.h"
#include "shell/ShellNotifier.h"
#include "shell/ShellUtilities.h"
#include "shellns_fixture.h"
#include "png_pixels.h"
#include "xvfb.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace ax;
using namespace ax::testing;

namespace {

using test::Xvfb;
using test::ReadPng;

// X key symbols the test types.
constexpr unsigned long kXK_F2 = 0xFFBF, kXK_Return = 0xFF0D;

class ExplorerX11 : public TempHome {
protected:
    void SetUp() override {
        const std::string binary = test::FindXvfb();
        if (binary.empty() || test::FindProgram("openbox").empty())
            GTEST_SKIP() << "Xvfb or openbox is not installed";
        ShellUtilitiesFinalize();
        TempHome::SetUp();
        ASSERT_TRUE(server.Start(binary)) << server.Error();
        ASSERT_TRUE(server.StartWindowManager()) << server.Error();
        setenv("DISPLAY", server.Name().c_str(), 1);
        SetClock(&clock);
        ASSERT_TRUE(SelectDisplay(DisplayKind::X11)) << "no connection to " << server.Name();
        SetTestFont(false); // the picture shows the tree as a user sees it
        app = std::make_unique<TApplication>(nullptr);
        app->ExceptionDisplay = [this](const AnsiString& text, const AnsiString&) { shown.push_back(text); };
        files = root + "/files";
        for (const char* name : {"", "/Documents", "/Documents/Letters", "/Documents/Photos", "/Music", "/System"})
            std::filesystem::create_directory(files + name);
        for (const char* name : {"/Documents/Letters/to bank.txt", "/Documents/Photos/beach.jpg",
                                 "/Documents/notes.txt", "/Music/song.ogg", "/readme.txt"})
            Write(files + name, "x");
        started = true;
    }
    void TearDown() override {
        if (!started) return;
        app.reset(); // the form and its tree, which leave the notifier and the icon thread
        for (HWND h : EnumWindows()) DestroyWindow(h);
        MSG m;
        while (PeekMessage(m, nullptr, 0, 0, PM_REMOVE)) {
        }
        try {
            ChangeNotifier().UnRegisterAll();
            ShellNotifierFinalize();
            IconThreadFinalize();
        } catch (const std::exception& e) {
            ADD_FAILURE() << e.what();
        }
        SelectDisplay(DisplayKind::Headless);
        SetClock(nullptr);
        ShellUtilitiesFinalize();
        TempHome::TearDown();
        EXPECT_TRUE(shown.empty()) << shown.front();
    }

    // The tree as the main window sets it up: files and folders, tri-state
    // boxes on every node, renames in place, icons from the icon thread, the
    // change notifier.
    void ShowTree() {
        form = app->CreateForm<TForm>();
        form->SetCaption("Backup selection");
        form->SetBorderStyle(bsSingle);
        form->SetBounds(40, 40, 0, 0);
        form->SetClientSize(300, 260);
        tree = TComponent::Create<TExplorerTree>(form);
        tree->SetParent(form);
        tree->SetAlign(alClient);
        tree->SetFileObjects(foFolders | foNonFolders);
        TExplorerTreeOptions& o = tree->TreeOptions();
        o.SetMiscOptions(o.MiscOptions() | toCheckSupport | toEditable);
        o.SetExpMiscOptions(o.ExpMiscOptions() | toChangeNotifierThread);
        o.SetExpImageOptions(o.ExpImageOptions() | toImages | toThreadedImages);
        tree->OnInitNode = [](TBaseDataTree* t, PDataNode, PDataNode node, TDataNodeInitStates&) {
            if (node->CheckType == ctNone) t->SetCheckType(node, ctTriStateCheckBox);
        };
        tree->SetRootFolderCustomPath(Utf8ToWide(files));
        form->Show();
        tree->SetActive(true);
        app->ProcessMessages();
        window = NativeWindow(form->Handle());
        ASSERT_NE(window, 0u);
        ASSERT_TRUE(Serve([&] { return server.WmState(window) == 1 && server.WindowGeometry(window).viewable; }))
            << "the form was never mapped";
        ASSERT_TRUE(Serve([&] { return InStep(); })) << "the form and its X window disagree";
        // Keys go where the server's focus is: asked of the window manager
        // as a taskbar would.
        server.Activate(window);
        ASSERT_TRUE(server.WindowManagerBarrier()) << "the window manager did not answer";
        ASSERT_TRUE(tree->ChangeNotifierRegistered());
        ASSERT_TRUE(tree->ThreadedImagesActive());
    }
    bool InStep() {
        const Xvfb::Geometry g = server.WindowGeometry(window);
        RECT r{};
        GetWindowRect(form->Handle(), r);
        return g.exists && r == RECT{g.x, g.y, g.x + g.width, g.y + g.height};
    }

    // Serves the application until done holds (false once the bound passed).
    bool Serve(const std::function<bool()>& done) {
        return server.WaitFor([&] {
            app->ProcessMessages();
            return done();
        });
    }
    // The same, letting the notifier's quiet periods pass in between.
    bool Settle(const std::function<bool()>& done) {
        return server.WaitFor([&] {
            clock.Advance(ShellNotifyQuietMs);
            app->ProcessMessages();
            return done();
        });
    }
    // Returns once the kernel watches every folder the tree listed.
    void WaitWatched() {
        auto& notifier = static_cast<TShellChangeNotifier&>(ChangeNotifier());
        TKernelChangeThread* k = notifier.KernelThread();
        ASSERT_NE(k, nullptr) << "no folder is watched";
        const uint64_t asked = k->RebuildsAsked();
        ASSERT_TRUE(Serve([&] { return k->RebuildsDone() >= asked; })) << "the watches were not set";
    }

    // The child of node named name among the existing nodes, nil when none.
    PDataNode Existing(PDataNode node, const std::string& name) {
        for (PDataNode c = node->FirstChild; c; c = c->NextSibling)
            if (TNamespace* ns = tree->NodeNamespace(c); ns && WideToUtf8(ns->NameInFolder()) == name) return c;
        return nullptr;
    }
    std::vector<std::string> Names(PDataNode node) {
        std::vector<std::string> out;
        for (PDataNode c = node->FirstChild; c; c = c->NextSibling)
            if (TNamespace* ns = tree->NodeNamespace(c)) out.push_back(WideToUtf8(ns->NameInFolder()));
        return out;
    }
    // A screen point on the part of node's row that hit tests as want.
    POINT Spot(PDataNode node, THitPositions want) {
        UpdateWindow(tree->Handle());
        const RECT row = tree->GetDisplayRect(node, NoColumn, false);
        const int y = (row.top + row.bottom) / 2;
        for (int x = 0; x < tree->ClientWidth(); ++x) {
            THitInfo hit;
            tree->GetHitTestInfoAt(x, y, true, hit);
            if (hit.HitNode == node && (hit.HitPositions & want)) return tree->ClientToScreen(POINT{x + 3, y});
        }
        ADD_FAILURE() << "no such part on the row of " << WideToUtf8(tree->NodeNamespace(node)->NameInFolder());
        return {-1, -1};
    }
    // A click of the mouse, once the server took it; false when there is
    // nothing to click.
    bool Click(POINT p) {
        if (p.x < 0) return false;
        clock.Advance(1000); // never a double click
        server.Click(p.x, p.y);
        return true;
    }
    // The icon cell of node's row, in client coordinates.
    RECT IconCell(PDataNode node) {
        const RECT row = tree->GetDisplayRect(node, NoColumn, false);
        RECT cell{-1, row.top, -1, row.bottom};
        for (int x = 0; x < tree->ClientWidth(); ++x) {
            THitInfo hit;
            tree->GetHitTestInfoAt(x, (row.top + row.bottom) / 2, true, hit);
            if (hit.HitNode == node && (hit.HitPositions & hiOnNormalIcon)) {
                if (cell.left < 0) cell.left = x;
                cell.right = x + 1;
            }
        }
        return cell;
    }

    Xvfb server;
    ManualClock clock;
    std::unique_ptr<TApplication> app;
    std::vector<std::string> shown;
    TForm* form = nullptr;
    TExplorerTree* tree = nullptr;
    unsigned long window = 0;
    std::string files;
    bool started = false;
};

std::vector<std::string> Lines(const TStringList& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.Count(); ++i) out.push_back(list[i]);
    return out;
}

int Check(PDataNode node) {
    return node ? int(UnpressedCheckState(node->CheckState)) : -1;
}

TEST_F(ExplorerX11, TheMouseAndKeyboardWorkTheTreeAndOutsideChangesShow) {
    ShowTree();
    ASSERT_FALSE(HasFatalFailure());
    PDataNode root = tree->GetFirst();
    ASSERT_NE(root, nullptr);
    ASSERT_TRUE(Serve([&] { return root->ChildCount == 4; }));
    EXPECT_EQ(Names(root), (std::vector<std::string>{"Documents", "Music", "readme.txt", "System"}));

    // Folders open with their buttons; their children are listed only then.
    PDataNode documents = Existing(root, "Documents");
    EXPECT_EQ(documents->ChildCount, 0u) << "not listed before it opens";
    ASSERT_TRUE(Click(Spot(documents, hiOnItemButton)));
    ASSERT_TRUE(Serve([&] { return tree->Expanded(documents); })) << "Documents did not open";
    EXPECT_EQ(Names(documents), (std::vector<std::string>{"Letters", "notes.txt", "Photos"}));
    PDataNode letters = Existing(documents, "Letters");
    ASSERT_TRUE(Click(Spot(letters, hiOnItemButton)));
    ASSERT_TRUE(Serve([&] { return tree->Expanded(letters); })) << "Letters did not open";
    PDataNode music = Existing(root, "Music");
    ASSERT_TRUE(Click(Spot(music, hiOnItemButton)));
    ASSERT_TRUE(Serve([&] { return tree->Expanded(music); })) << "Music did not open";

    // Boxes: Letters and Music checked; Documents and the root mixed.
    ASSERT_TRUE(Click(Spot(letters, hiOnItemCheckbox)));
    ASSERT_TRUE(Serve([&] { return Check(letters) == csCheckedNormal; })) << "Letters was not checked";
    EXPECT_EQ(Check(Existing(letters, "to bank.txt")), int(csCheckedNormal));
    EXPECT_EQ(Check(documents), int(csMixedNormal));
    EXPECT_EQ(Check(root), int(csMixedNormal));
    ASSERT_TRUE(Click(Spot(music, hiOnItemCheckbox)));
    ASSERT_TRUE(Serve([&] { return Check(music) == csCheckedNormal; })) << "Music was not checked";
    EXPECT_EQ(Check(Existing(music, "song.ogg")), int(csCheckedNormal));
    EXPECT_EQ(Check(Existing(root, "System")), int(csUncheckedNormal));
    EXPECT_EQ(Lines(tree->Storage().CheckedFileNames()),
              (std::vector<std::string>{files + "/Documents/Letters", files + "/Documents/Letters/to bank.txt",
                                        files + "/Music", files + "/Music/song.ogg"}));

    // A rename in place: the label clicked, F2, the new name typed, Enter.
    PDataNode readme = Existing(root, "readme.txt");
    ASSERT_TRUE(Click(Spot(readme, hiOnItemLabel)));
    ASSERT_TRUE(Serve([&] { return tree->FocusedNode() == readme && GetFocus() == tree->Handle(); }))
        << "the click did not focus readme.txt";
    server.KeyStroke(kXK_F2);
    ASSERT_TRUE(Serve([&] { return tree->IsEditing(); })) << "F2 did not start the edit";
    server.Type("guide.txt");
    server.KeyStroke(kXK_Return);
    ASSERT_TRUE(Serve([&] { return !tree->IsEditing(); })) << "Enter did not end the edit";
    EXPECT_EQ(WideToUtf8(tree->NodeNamespace(readme)->NameInFolder()), "guide.txt");
    EXPECT_TRUE(std::filesystem::exists(files + "/guide.txt"));
    EXPECT_FALSE(std::filesystem::exists(files + "/readme.txt"));
    EXPECT_EQ(tree->FocusedNode(), readme);

    // And with a slow click: a second click on the label of the one
    // selected node starts the edit once the edit delay has passed.
    PDataNode system = Existing(root, "System");
    ASSERT_TRUE(Click(Spot(system, hiOnItemLabel)));
    ASSERT_TRUE(Serve([&] { return tree->FocusedNode() == system && tree->Selected(system); }));
    EXPECT_FALSE(tree->IsEditing()) << "a first click only selects";
    ASSERT_TRUE(Click(Spot(system, hiOnItemLabel)));
    ASSERT_TRUE(Serve([&] {
        clock.Advance(tree->EditDelay());
        return tree->IsEditing();
    })) << "the slow click did not start the edit";
    server.Type("Settings");
    server.KeyStroke(kXK_Return);
    ASSERT_TRUE(Serve([&] { return !tree->IsEditing(); })) << "Enter did not end the edit";
    EXPECT_EQ(WideToUtf8(tree->NodeNamespace(system)->NameInFolder()), "Settings");
    EXPECT_TRUE(std::filesystem::is_directory(files + "/Settings"));

    // From outside, as a shell command would: made, renamed, deleted.
    app->ProcessMessages();
    WaitWatched();
    ASSERT_FALSE(HasFatalFailure());
    Write(files + "/Music/take.ogg", "x");
    ASSERT_TRUE(Settle([&] { return Existing(music, "take.ogg") != nullptr; })) << "the new file never showed";
    EXPECT_EQ(Check(Existing(music, "take.ogg")), int(csCheckedNormal)) << "made in a checked folder";
    std::filesystem::rename(files + "/Music/take.ogg", files + "/Music/final take.ogg");
    ASSERT_TRUE(Settle([&] { return Existing(music, "final take.ogg") != nullptr && !Existing(music, "take.ogg"); }))
        << "the rename never showed";
    std::filesystem::remove(files + "/Music/final take.ogg");
    ASSERT_TRUE(Settle([&] { return Existing(music, "final take.ogg") == nullptr; })) << "the deletion never showed";
    EXPECT_EQ(Names(music), (std::vector<std::string>{"song.ogg"}));
    EXPECT_EQ(Names(root), (std::vector<std::string>{"Documents", "Music", "guide.txt", "Settings"}))
        << "renamed in place, a node keeps its place";
    EXPECT_EQ(Check(music), int(csCheckedNormal));

    // Every icon shown arrives from the icon thread.
    tree->Invalidate();
    ASSERT_TRUE(Serve([&] {
        UpdateWindow(tree->Handle());
        return tree->PendingIconRequests() == 0;
    })) << "icons still missing";
    for (PDataNode n : {root, documents, letters, music, readme})
        EXPECT_TRUE(tree->NodeNamespace(n)->ThreadedIconLoaded()) << WideToUtf8(tree->NodeNamespace(n)->NameInFolder());

    // The picture: checked, mixed and unchecked boxes, each row its icon.
    tree->SetFocusedNode(letters);
    UpdateWindow(form->Handle());
    PumpDisplay();
    const std::string png = "explorer_tree_x11.png";
    ASSERT_TRUE(server.Screenshot(png, window));
    int width = 0;
    const std::vector<uint32_t> shot = ReadPng(png, width);
    ASSERT_FALSE(shot.empty());
    RECT formRect{};
    GetWindowRect(form->Handle(), formRect);
    const COLORREF windowColour = GetSysColor(COLOR_WINDOW);
    const uint32_t windowRgb = (uint32_t(GetRValue(windowColour)) << 16) | (uint32_t(GetGValue(windowColour)) << 8) |
                               GetBValue(windowColour);
    auto marked = [&](PDataNode node) {
        const RECT cell = IconCell(node);
        int count = 0;
        for (int y = cell.top; y < cell.bottom; ++y)
            for (int x = cell.left; x < cell.right; ++x) {
                const POINT p = tree->ClientToScreen(POINT{x, y});
                const size_t at = size_t(p.y - formRect.top) * size_t(width) + size_t(p.x - formRect.left);
                count += at < shot.size() && shot[at] != windowRgb;
            }
        return cell.left < 0 ? -1 : count;
    };
    for (PDataNode n : {documents, letters, music, readme, system})
        EXPECT_GT(marked(n), 20) << "no icon drawn for " << WideToUtf8(tree->NodeNamespace(n)->NameInFolder());
}

} // namespace
