// Files on the clipboard between the main window and other programs on
// the same display: what the list copies or cuts (Ctrl+C, Ctrl+X) another
// program reads as a file list, what another program copies or cuts is
// pasted (Ctrl+V) into the folder the list shows. xclip stands for any
// program; pcmanfm is a real file manager on both sides. The screen after
// the file manager pasted is kept as file_manager_paste.png.
#include "file_manager.h"
#include "x11_home_form_test.h"
#include "dnd_peer.h"
#include "xclip.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ax {
namespace {

namespace fs = std::filesystem;
using testing::CaptionPoint;
using testing::ChildNamed;
using testing::QuietPane;
using test::FileManager;
using test::XclipOffer;
using test::XclipOutput;
using test::Xvfb;

constexpr unsigned long kXK_Control_L = 0xFFE3;


// An xdotool command on the display; true when it succeeded.
bool Xdotool(const std::string& args) {
    return std::system(("xdotool " + args + " >/dev/null 2>&1").c_str()) == 0;
}

class X11FileClipboardTest : public test::X11HomeFormTest {
protected:
    void SetUp() override {
        if (test::FindProgram("xclip").empty()) GTEST_SKIP() << "xclip is not installed";
        SetUpHome("ax-fileclip-", "other");
        std::ofstream(home + "/Music/a.ogg") << "a";
        std::ofstream(home + "/notes.txt") << "notes";
        std::ofstream(other + "/gamma.txt") << "gamma";
        test::X11FormTest::SetUp();
    }
    // Selects the item of the list with a click on its caption.
    void SelectInList(const std::string& name) {
        const POINT p = InList(name);
        ASSERT_GE(p.x, 0) << name << " is not listed";
        Click(p);
        ASSERT_TRUE(Until([&] {
            PDataNode node = ChildNamed(main->ExpList, nullptr, name);
            return node && main->ExpList->Selected(node) && main->ExpList->Focused();
        })) << name << " was not selected";
    }
    // The list shows the tree's folder of that name.
    void Show(const std::string& folderName, const std::string& item) {
        Click(InTree(folderName));
        ASSERT_TRUE(Until([&] { return ChildNamed(main->ExpList, nullptr, item) != nullptr; }))
            << "the list did not show " << folderName;
    }
    void Ctrl(unsigned long keysym) {
        server.Key(kXK_Control_L, true);
        server.KeyStroke(keysym);
        server.Key(kXK_Control_L, false);
    }

};

TEST_F(X11FileClipboardTest, FilesCopiedOrCutInTheListAreReadByOtherPrograms) {
    SelectInList("notes.txt");
    Ctrl('c');
    const std::string uri = "file://" + home + "/notes.txt";
    EXPECT_TRUE(server.WaitFor([&] { return XclipOutput("text/uri-list") == uri + "\r\n"; }))
        << XclipOutput("text/uri-list");
    EXPECT_EQ(XclipOutput("x-special/gnome-copied-files"), "copy\n" + uri);
    Ctrl('x');
    EXPECT_TRUE(server.WaitFor([&] { return XclipOutput("x-special/gnome-copied-files") == "cut\n" + uri; }));
    // Cut is no move yet: the file stays until pasted.
    EXPECT_TRUE(fs::exists(home + "/notes.txt"));
}

TEST_F(X11FileClipboardTest, FilesAnotherProgramCutArePastedThenTheClipboardIsEmpty) {
    Show("Music", "a.ogg");
    SelectInList("a.ogg");
    // As file managers put it, with a NUL at the end.
    XclipOffer offer("x-special/gnome-copied-files", "cut\nfile://" + other + "/gamma.txt" + std::string(1, '\0'));
    ASSERT_TRUE(server.WaitFor([&] { return XclipOutput("TARGETS").find("gnome-copied-files") != std::string::npos; }));
    Ctrl('v');
    EXPECT_TRUE(server.WaitFor([&] { return fs::exists(home + "/Music/gamma.txt") && !fs::exists(other + "/gamma.txt"); }))
        << "the cut file was not moved into Music";
    EXPECT_EQ(test::ReadWholeFile(home + "/Music/gamma.txt"), "gamma");
    // Moved once: a second paste has nothing to move.
    EXPECT_TRUE(server.WaitFor([&] { return XclipOutput("TARGETS").find("gnome-copied-files") == std::string::npos; }));
}

TEST_F(X11FileClipboardTest, FilesAnotherProgramCopiedArePastedAndStayThere) {
    Show("Music", "a.ogg");
    SelectInList("a.ogg");
    XclipOffer offer("text/uri-list", "file://" + other + "/gamma.txt\r\n");
    ASSERT_TRUE(server.WaitFor([&] { return XclipOutput("TARGETS").find("text/uri-list") != std::string::npos; }));
    Ctrl('v');
    EXPECT_TRUE(server.WaitFor([&] { return fs::exists(home + "/Music/gamma.txt"); }));
    EXPECT_EQ(test::ReadWholeFile(home + "/Music/gamma.txt"), "gamma");
    EXPECT_EQ(test::ReadWholeFile(other + "/gamma.txt"), "gamma");
}

// Both ways with a real file manager: its window at the top left in list
// view, where its first file's row and an empty place of its list are.
TEST_F(X11FileClipboardTest, FilesGoBothWaysWithAFileManager) {
    if (test::FindProgram("pcmanfm").empty() || test::FindProgram("xdotool").empty())
        GTEST_SKIP() << "pcmanfm or xdotool is not installed";
    const std::string shown = folder + "/fm-shown";
    fs::create_directories(shown);
    std::ofstream(shown + "/alpha.txt") << "alpha";
    // Copied here (before the file manager's window covers the list), pasted there.
    SelectInList("notes.txt");
    Ctrl('c');
    FileManager manager(server.Name(), folder + "/fm", shown);
    std::vector<unsigned long> found;
    ASSERT_TRUE(server.WaitFor([&] { return !(found = server.WindowsNamed("fm-shown")).empty(); }))
        << "the file manager did not show its window";
    const std::string id = std::to_string(found.front());
    ASSERT_TRUE(Xdotool("windowmove --sync " + id + " 0 0"));
    ASSERT_TRUE(Xdotool("windowactivate --sync " + id));
    ASSERT_TRUE(server.WindowManagerBarrier());
    server.Click(400, 300);
    Ctrl('v');
    EXPECT_TRUE(server.WaitFor([&] { return fs::exists(shown + "/notes.txt"); }))
        << "the file manager did not paste the file copied in the list";
    EXPECT_EQ(test::ReadWholeFile(shown + "/notes.txt"), "notes");
    EXPECT_TRUE(server.Screenshot(SnapshotPath("file_manager_paste").string()));

    // Copied there, pasted here.
    server.Click(208, 124);
    Ctrl('c');
    ASSERT_TRUE(server.WaitFor([&] { return XclipOutput("text/uri-list").find("alpha.txt") != std::string::npos; }))
        << "the file manager did not copy its first file";
    server.Activate(window);
    ASSERT_TRUE(Shown(program->formWindow(), true));
    Show("Music", "a.ogg");
    SelectInList("a.ogg");
    Ctrl('v');
    EXPECT_TRUE(server.WaitFor([&] { return fs::exists(home + "/Music/alpha.txt"); }))
        << "the file copied in the file manager was not pasted";
    EXPECT_EQ(test::ReadWholeFile(home + "/Music/alpha.txt"), "alpha");
    EXPECT_TRUE(fs::exists(shown + "/alpha.txt"));
}

#ifdef AX_DND_PEER

TEST_F(X11FileClipboardTest, AFileDraggedFromAnotherProgramOntoATreeFolderIsCopiedThere) {
    test::DndPeer peer(AX_DND_PEER, server.Name(), folder + "/peer",
                       {"source", "dragsource", "file://" + other + "/gamma.txt"});
    const Xvfb::Geometry g = PlaceBesideTheTree("dragsource");
    ASSERT_FALSE(HasFailure());
    const POINT from{g.x + g.width / 2, g.y + g.height / 2}, to = InTree("Music");
    PressAndMove(from, to);
    // Resting on the folder until the tree shows it as the drop's target.
    EXPECT_TRUE(server.WaitFor([&] {
        server.MoveTo(to.x + 1, to.y);
        server.MoveTo(to.x, to.y);
        return program->Get<bool>([&] {
            PDataNode music = ChildNamed(main->ExpTree, main->ExpTree->GetFirst(), "Music");
            return music && main->ExpTree->DropTargetNode() == music;
        });
    })) << "the tree did not take the drag over Music";
    EXPECT_TRUE(server.Screenshot(SnapshotPath("tree_drop_from_other_program").string()));
    server.Button(1, false);
    EXPECT_TRUE(server.WaitFor([&] { return fs::exists(home + "/Music/gamma.txt"); }))
        << "the dropped file did not arrive";
    EXPECT_EQ(test::ReadWholeFile(home + "/Music/gamma.txt"), "gamma");
    EXPECT_EQ(test::ReadWholeFile(other + "/gamma.txt"), "gamma"); // offered to copy only
}

#endif

} // namespace
} // namespace ax
