#pragma once
// The folder dialog browsing for items that are no folders (printers,
// computers) on a real display: a private Xvfb with openbox and XTest
// input. A test starts its peer that provides the items, then the user
// picks one by a click on its name and presses OK; the dialog returns it,
// and the screenshot is kept.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "controls/FolderDialog.h"
#include "explorer/FolderBrowser.h"
#include "shell/Namespace.h"
#include "shell/ShellUtilities.h"
#include "stdctrls/button.h"
#include "x11_program.h"

namespace ax::test {

class X11BrowseDialogTest : public X11FormTest {
protected:
    // After the peer runs: a private home, the browser, the program.
    void StartWithHome(const std::string& prefix) {
        namespace fs = std::filesystem;
        home = (fs::temp_directory_path() / (prefix + std::to_string(getpid()))).string();
        fs::remove_all(home);
        fs::create_directories(home + "/.config");
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
        ShellUtilitiesFinalize();
        InstallFolderBrowser();
        X11FormTest::SetUp();
    }
    // False when nothing was started.
    bool EndWithHome() {
        if (home.empty()) return false;
        X11FormTest::TearDown();
        SetFolderBrowser(nullptr);
        ShellUtilitiesFinalize();
        std::filesystem::remove_all(home);
        return true;
    }
    // What the dialog browses for, set on the program's thread.
    virtual void Configure(TFolderDialog& dialog) = 0;

    TForm* Build(TApplication& app) override {
        TForm* form = app.CreateForm<TForm>();
        form->SetCaption("ArdentixXP");
        form->SetBounds(40, 40, 0, 0);
        form->SetClientSize(480, 260);
        dialog = TComponent::Create<TFolderDialog>(form);
        Configure(*dialog);
        OnDialogModal = [this](TDialogForm& d) { browser = dynamic_cast<TFolderBrowserForm*>(&d); };
        form->Show();
        return form;
    }
    void BeforeEnd() override {
        if (browser) browser->EndDialog(dciCancel);
        OnDialogModal = nullptr;
    }
    // The browser's node of an item below the root by its name (program
    // thread).
    PDataNode Item(const std::string& name) {
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
            PDataNode node = Item(name);
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

    // The dialog run as a user runs it: OK is off on the root, both items
    // are listed, a click on picked selects it and turns OK on, OK returns
    // it with no path. The screenshot is taken before OK.
    void PickAndTake(const std::string& picked, const std::string& other, const std::string& shot) {
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
        EXPECT_FALSE(okEnabled()) << "the root was taken as an item";

        const POINT label = OnLabel(picked);
        ASSERT_GE(label.x, 0) << picked << " is not listed";
        EXPECT_NE(program->Get<PDataNode>([&] { return Item(other); }), nullptr) << other << " is not listed";
        Click(label);
        ASSERT_TRUE(Until([&] { return browser->Tree().GetFirstSelected() == Item(picked); }))
            << "the click did not select " << picked;
        EXPECT_TRUE(okEnabled()) << picked << " may not be taken";
        Shot(window, shot);

        const POINT ok = program->Get<POINT>([&] {
            TButton& b = browser->OkButton();
            return b.ClientToScreen(POINT{b.Width() / 2, b.Height() / 2});
        });
        Click(ok);
        ASSERT_TRUE(Until([&] { return ended; })) << "OK did not end the dialog";
        EXPECT_TRUE(program->Get<bool>([&] { return result; }));
        EXPECT_EQ(program->Get<std::string>([&] { return chosen; }), picked);
        EXPECT_EQ(program->Get<std::string>([&] { return directory; }), "") << picked << " has no path";
    }

    std::string home;
    TFolderDialog* dialog = nullptr;       // the program's
    TFolderBrowserForm* browser = nullptr; // the program's, while it runs
    bool ended = false, result = false;
    std::string chosen, directory;
};

} // namespace ax::test
