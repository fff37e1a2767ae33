// The folder dialog browsing for a printer on a real display: a private
// Xvfb with openbox, XTest input, and a private print scheduler whose
// printers the dialog lists. The user picks a printer by a click on its
// name and presses OK; the dialog returns it. The screenshot is kept.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "controls/FolderDialog.h"
#include "explorer/FolderBrowser.h"
#include "private_cups.h"
#include "shell/Namespace.h"
#include "shell/ShellUtilities.h"
#include "stdctrls/button.h"
#include "x11_program.h"

namespace ax {
namespace {

namespace fs = std::filesystem;

class X11PrinterDialogTest : public test::X11FormTest {
protected:
    void SetUp() override {
        const std::string why = test::PrivateCupsUnavailable();
        if (!why.empty()) GTEST_SKIP() << why;
        std::string error;
        ASSERT_TRUE(cups.Start(&error)) << error;
        test::CommandOutput("lpadmin -p office -E -v file:///dev/null 2>/dev/null");
        home = (fs::temp_directory_path() / ("axpd-" + std::to_string(getpid()))).string();
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
        cups.Stop();
    }
    TForm* Build(TApplication& app) override {
        TForm* form = app.CreateForm<TForm>();
        form->SetCaption("ArdentixXP");
        form->SetBounds(40, 40, 0, 0);
        form->SetClientSize(480, 260);
        dialog = TComponent::Create<TFolderDialog>(form);
        dialog->SetRootFolder(sfoPrinters);
        dialog->SetOptions(dialog->Options() | FolderDialogOptions({bfBrowseForPrinter}));
        dialog->SetTitle("Which printer shall print the report?");
        OnDialogModal = [this](TDialogForm& d) { browser = dynamic_cast<TFolderBrowserForm*>(&d); };
        form->Show();
        return form;
    }
    void BeforeEnd() override {
        if (browser) browser->EndDialog(dciCancel);
        OnDialogModal = nullptr;
    }
    // The browser's node of a printer by its name (program thread).
    PDataNode Printer(const std::string& name) {
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
            PDataNode node = Printer(name);
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

    test::PrivateCups cups;
    std::string home;
    TFolderDialog* dialog = nullptr;       // the program's
    TFolderBrowserForm* browser = nullptr; // the program's, while it runs
    bool ended = false, result = false;
    std::string chosen, directory;
};

TEST_F(X11PrinterDialogTest, APrinterIsPickedFromTheSchedulersAndTakenWithOK) {
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
    EXPECT_FALSE(okEnabled()) << "the printers folder is no printer";

    const POINT label = OnLabel("office");
    ASSERT_GE(label.x, 0) << "the printer office is not listed";
    EXPECT_NE(program->Get<PDataNode>([&] { return Printer("pdffile"); }), nullptr) << "pdffile is not listed";
    Click(label);
    ASSERT_TRUE(Until([&] { return browser->Tree().GetFirstSelected() == Printer("office"); }))
        << "the click did not select office";
    EXPECT_TRUE(okEnabled()) << "a printer may be taken";
    Shot(window, "x11_printer_dialog");

    const POINT ok = program->Get<POINT>([&] {
        TButton& b = browser->OkButton();
        return b.ClientToScreen(POINT{b.Width() / 2, b.Height() / 2});
    });
    Click(ok);
    ASSERT_TRUE(Until([&] { return ended; })) << "OK did not end the dialog";
    EXPECT_TRUE(program->Get<bool>([&] { return result; }));
    EXPECT_EQ(program->Get<std::string>([&] { return chosen; }), "office");
    EXPECT_EQ(program->Get<std::string>([&] { return directory; }), "") << "a printer has no path";
}

} // namespace
} // namespace ax
