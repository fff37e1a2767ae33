// The folder dialog browsing for a computer on a real display: a private
// Xvfb with openbox, XTest input, and a private network whose DNS-SD
// daemon announces two computers. The user picks one by a click on its
// name and presses OK; the dialog returns it. The screenshot is kept.
// The test process takes the private network for its whole run: this file
// holds one test.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "controls/FolderDialog.h"
#include "explorer/FolderBrowser.h"
#include "platform/shellns/shellapi.h"
#include "private_avahi.h"
#include "shell/Namespace.h"
#include "shell/ShellUtilities.h"
#include "stdctrls/button.h"
#include "x11_program.h"

namespace ax {
namespace {

namespace fs = std::filesystem;

class X11ComputerDialogTest : public test::X11FormTest {
protected:
    void SetUp() override {
        const std::string why = test::PrivateAvahi::Unavailable();
        if (!why.empty()) GTEST_SKIP() << why;
        std::string error;
        if (!avahi.Start(&error)) GTEST_SKIP() << "the private DNS-SD daemon did not start here: " << error;
        avahi.Publish("peerhost", "192.168.77.5");
        avahi.Publish("backupbox", "192.168.77.6");
        ASSERT_TRUE(Announced({"backupbox", "peerhost"})) << "the computers were not announced";
        home = (fs::temp_directory_path() / ("axcd-" + std::to_string(getpid()))).string();
        fs::remove_all(home);
        fs::create_directories(home + "/.config");
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
        ShellUtilitiesFinalize();
        InstallFolderBrowser();
        X11FormTest::SetUp();
    }
    void TearDown() override {
        if (home.empty()) return;
        X11FormTest::TearDown();
        SetFolderBrowser(nullptr);
        ShellUtilitiesFinalize();
        fs::remove_all(home);
        avahi.Stop();
    }
    // Whether the network folder lists exactly these names (bounded: each
    // listing asks the daemon afresh).
    static bool Announced(const std::vector<std::string>& names) {
        for (int i = 0; i < 15; ++i) {
            PItemIDList root = nullptr;
            ShellFolderPtr desktop, folder;
            SHGetDesktopFolder(&desktop);
            if (SHGetSpecialFolderLocation(CSIDL_NETWORK, &root) != S_OK) return false;
            const UniquePIDL owned(root);
            if (desktop->BindToObject(root, &folder) != S_OK) return false;
            std::unique_ptr<IEnumIDList> list;
            folder->EnumObjects(SHCONTF_NONFOLDERS, &list);
            std::vector<std::string> seen;
            for (PItemIDList child = nullptr; list && list->Next(&child) == S_OK;) {
                const UniquePIDL item(child);
                std::string name;
                folder->GetDisplayNameOf(child, SHGDN_INFOLDER, &name);
                seen.push_back(name);
            }
            if (seen == names) return true;
        }
        return false;
    }
    TForm* Build(TApplication& app) override {
        TForm* form = app.CreateForm<TForm>();
        form->SetCaption("ArdentixXP");
        form->SetBounds(40, 40, 0, 0);
        form->SetClientSize(480, 260);
        dialog = TComponent::Create<TFolderDialog>(form);
        // Browsing for a computer roots the dialog at the network.
        dialog->SetOptions(dialog->Options() | FolderDialogOptions({bfBrowseForComputer}));
        dialog->SetTitle("Which computer keeps the backups?");
        OnDialogModal = [this](TDialogForm& d) { browser = dynamic_cast<TFolderBrowserForm*>(&d); };
        form->Show();
        return form;
    }
    void BeforeEnd() override {
        if (browser) browser->EndDialog(dciCancel);
        OnDialogModal = nullptr;
    }
    // The browser's node of a computer by its name (program thread).
    PDataNode Computer(const std::string& name) {
        TExplorerTree& tree = browser->Tree();
        PDataNode root = tree.GetFirst();
        for (PDataNode c = root ? root->FirstChild : nullptr; c; c = c->NextSibling)
            if (TNamespace* ns = tree.NodeNamespace(c); ns && WideToUtf8(ns->NameNormal()) == name) return c;
        return nullptr;
    }
    // The middle of a node's label on the screen, asked of the tree.
    POINT OnLabel(const std::string& name) {
        return program->Get<POINT>([&] {
            TExplorerTree& tree = browser->Tree();
            PDataNode node = Computer(name);
            if (!node) return POINT{-1, -1};
            const RECT row = tree.GetDisplayRect(node, NoColumn, false);
            const int y = row.top + row.height() / 2;
            int first = -1, last = -1;
            for (int x = row.left; x < row.right; ++x) {
                THitInfo hit;
                tree.GetHitTestInfoAt(x, y, true, hit);
                if (hit.HitNode == node && (hit.HitPositions & hiOnItemLabel)) {
                    if (first < 0) first = x;
                    last = x;
                }
            }
            return first < 0 ? POINT{-1, -1} : tree.ClientToScreen(POINT{(first + last) / 2, y});
        });
    }

    test::PrivateAvahi avahi;
    std::string home;
    TFolderDialog* dialog = nullptr;       // the program's
    TFolderBrowserForm* browser = nullptr; // the program's, while it runs
    bool ended = false, result = false;
    std::string chosen, directory;
};

TEST_F(X11ComputerDialogTest, AComputerIsPickedFromTheAnnouncedOnesAndTakenWithOK) {
    program->Post([this] {
        const bool ok = dialog->Execute();
        browser = nullptr;
        result = ok;
        chosen = dialog->DisplayName();
        directory = dialog->Directory();
        ended = true;
    });
    ASSERT_TRUE(Until([&] { return browser != nullptr; })) << "the dialog did not come up";
    const HWND window = program->Get<HWND>([&] { return browser->Handle(); });
    ASSERT_TRUE(Shown(window)) << "the dialog was not shown where it is";
    ASSERT_TRUE(server.WindowManagerBarrier());
    auto okEnabled = [&] { return program->Get<bool>([&] { return browser->OkButton().Enabled(); }); };
    EXPECT_FALSE(okEnabled()) << "the network folder is no computer";

    const POINT label = OnLabel("peerhost");
    ASSERT_GE(label.x, 0) << "peerhost is not listed";
    EXPECT_NE(program->Get<PDataNode>([&] { return Computer("backupbox"); }), nullptr) << "backupbox is not listed";
    Click(label);
    ASSERT_TRUE(Until([&] { return browser->Tree().GetFirstSelected() == Computer("peerhost"); }))
        << "the click did not select peerhost";
    EXPECT_TRUE(okEnabled()) << "a computer may be taken";
    Shot(window, "x11_computer_dialog");

    const POINT ok = program->Get<POINT>([&] {
        TButton& b = browser->OkButton();
        return b.ClientToScreen(POINT{b.Width() / 2, b.Height() / 2});
    });
    Click(ok);
    ASSERT_TRUE(Until([&] { return ended; })) << "OK did not end the dialog";
    EXPECT_TRUE(program->Get<bool>([&] { return result; }));
    EXPECT_EQ(program->Get<std::string>([&] { return chosen; }), "peerhost");
    EXPECT_EQ(program->Get<std::string>([&] { return directory; }), "") << "a computer has no path";
}

} // namespace
} // namespace ax
