// The folder dialog on a real display: a private Xvfb with openbox, driven
// by XTest input. The user expands a folder by its button, picks the
// folder inside by a click on its name and presses OK; the dialog's
// Directory is that folder. The screenshot of the dialog is kept.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "controls/FolderDialog.h"
#include "explorer/FolderBrowser.h"
#include "shell/Namespace.h"
#include "shell/ShellUtilities.h"
#include "stdctrls/button.h"
#include "x11_program.h"

namespace ax {
namespace {

namespace fs = std::filesystem;

class X11FolderDialogTest : public test::X11FormTest {
protected:
    void SetUp() override {
        // A home of its own: the documents folder the dialog is rooted at.
        home = (fs::temp_directory_path() / ("axfd-" + std::to_string(getpid()))).string();
        fs::remove_all(home);
        docs = home + "/Documents";
        for (const char* d : {"Archive", "Letters/2023", "Letters/2024", "Photos"})
            fs::create_directories(docs + "/" + d);
        fs::create_directories(home + "/.config");
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
        ShellUtilitiesFinalize();
        InstallFolderBrowser();
        X11FormTest::SetUp();
    }
    void TearDown() override {
        X11FormTest::TearDown();
        SetFolderBrowser(nullptr);
        ShellUtilitiesFinalize();
        fs::remove_all(home);
    }
    TForm* Build(TApplication& app) override {
        TForm* form = app.CreateForm<TForm>();
        form->SetCaption("ArdentixXP");
        form->SetBounds(40, 40, 0, 0);
        form->SetClientSize(480, 260);
        dialog = TComponent::Create<TFolderDialog>(form);
        dialog->SetRootFolder(sfoPersonal);
        dialog->SetTitle("Where shall the archive go?");
        OnDialogModal = [this](TDialogForm& d) { browser = dynamic_cast<TFolderBrowserForm*>(&d); };
        form->Show();
        return form;
    }
    void BeforeEnd() override {
        if (browser) browser->EndDialog(dciCancel);
        OnDialogModal = nullptr;
    }

    // The browser's node of a path (program thread).
    PDataNode Node(const std::string& path) {
        const UniquePIDL pidl(PathToPIDL(Utf8ToWide(path)));
        return browser->NodeOf(pidl.get());
    }
    // Where on the screen the tree shows the part of a node's row the hit
    // test names; asked of the program, never worked out from the font.
    POINT OnNode(const std::string& path, THitPositions part) {
        return program->Get<POINT>([&] {
            TExplorerTree& tree = browser->Tree();
            PDataNode node = Node(path);
            if (!node) return POINT{-1, -1};
            tree.ScrollIntoView(node, false);
            const RECT row = tree.GetDisplayRect(node, NoColumn, false);
            const int y = row.top + row.height() / 2;
            for (int x = row.left; x < row.right; ++x) {
                THitInfo hit;
                tree.GetHitTestInfoAt(x, y, true, hit);
                if (hit.HitNode == node && (hit.HitPositions & part)) {
                    // The middle of the part, not its edge.
                    int end = x;
                    for (THitInfo more; end + 1 < row.right; ++end) {
                        tree.GetHitTestInfoAt(end + 1, y, true, more);
                        if (more.HitNode != node || !(more.HitPositions & part)) break;
                    }
                    return tree.ClientToScreen(POINT{(x + end) / 2, y});
                }
            }
            return POINT{-1, -1};
        });
    }

    std::string home, docs;
    TFolderDialog* dialog = nullptr;   // the program's
    TFolderBrowserForm* browser = nullptr; // the program's, while it runs
    bool ended = false, result = false;
    std::string chosen;
};

TEST_F(X11FolderDialogTest, AFolderIsExpandedPickedAndTakenWithOK) {
    program->Post([this] {
        const bool ok = dialog->Execute();
        browser = nullptr;
        result = ok;
        chosen = dialog->Directory();
        ended = true;
    });
    ASSERT_TRUE(Until([&] { return browser != nullptr; })) << "the dialog did not come up";
    const HWND window = program->Get<HWND>([&] { return browser->Handle(); });
    ASSERT_TRUE(Shown(window)) << "the dialog was not shown where it is";
    ASSERT_TRUE(server.WindowManagerBarrier());

    // Letters is listed closed; its button opens it.
    const std::string letters = docs + "/Letters", year = letters + "/2023";
    ASSERT_FALSE(program->Get<bool>([&] { return browser->Tree().Expanded(Node(letters)); }));
    const POINT button = OnNode(letters, hiOnItemButton);
    ASSERT_GE(button.x, 0) << "Letters has no expand button";
    Click(button);
    ASSERT_TRUE(Until([&] { return browser->Tree().Expanded(Node(letters)); })) << "the click did not expand Letters";

    const POINT label = OnNode(year, hiOnItemLabel);
    ASSERT_GE(label.x, 0) << "2023 is not shown";
    Click(label);
    ASSERT_TRUE(Until([&] { return SHGetPathFromIDList(browser->Selection()) == year; }))
        << "the click did not select 2023";
    EXPECT_EQ(program->Get<AnsiString>([&] { return browser->FolderEdit().Text(); }), year);
    // The path in the status line, fitted to the real font: its head may
    // give way to "...", its last part stays.
    const std::string status = program->Get<AnsiString>([&] { return browser->StatusText(); });
    EXPECT_TRUE(status.starts_with("/tmp/") && status.ends_with("/Letters/2023")) << status;
    Shot(window, "x11_folder_dialog");

    const POINT ok = program->Get<POINT>([&] {
        TButton& b = browser->OkButton();
        return b.ClientToScreen(POINT{b.Width() / 2, b.Height() / 2});
    });
    Click(ok);
    ASSERT_TRUE(Until([&] { return ended; })) << "OK did not end the dialog";
    EXPECT_TRUE(program->Get<bool>([&] { return result; }));
    EXPECT_EQ(program->Get<std::string>([&] { return chosen; }), year);
}

} // namespace
} // namespace ax
