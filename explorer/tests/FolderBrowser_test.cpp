// The folder browser behind SHBrowseForFolderA: what it reads from the
// record and writes back, the callback's messages in their order, what the
// callback may send it, picking by click and by a typed path, cancelling.
#include "explorer_fixture.h"
#include "explorer/FolderBrowser.h"

#include <cstring>

namespace ax::testing {
namespace {

// What the callback heard: the message, and for a selection the path (or
// the display name of an item that is no folder on the disk).
struct Heard {
    UINT message;
    std::string item;
    bool operator==(const Heard&) const = default;
};

struct Script {
    std::vector<Heard> heard;
    HWND window = nullptr;
    LPARAM data = 0;
    // Runs in the callback after it recorded the message.
    std::function<void(HWND, UINT)> onMessage;
};

int Callback(HWND window, UINT message, LPARAM lParam, LPARAM data) {
    auto* s = reinterpret_cast<Script*>(data);
    s->window = window;
    s->data = data;
    std::string item;
    if (message == BFFM_SELCHANGED) {
        const auto pidl = reinterpret_cast<PCItemIDList>(lParam);
        item = SHGetPathFromIDList(pidl);
        if (item.empty()) {
            TNamespace ns(UniquePIDL(NamespacePIDLManager().CopyPIDL(pidl)), nullptr);
            item = WideToUtf8(ns.NameNormal());
        }
    }
    s->heard.push_back({message, item});
    if (s->onMessage) s->onMessage(window, message);
    return 0;
}

class FolderBrowserTest : public ExplorerTest {
protected:
    void SetUp() override {
        ExplorerTest::SetUp();
        InstallFolderBrowser();
        docs = home + "/Documents";
        for (const char* f : {"Archive", "Letters", "Letters/2023", "Photos", ".hidden"})
            mkdir((docs + "/" + f).c_str(), 0755);
        Write(docs + "/notes.txt", "x");
        main = app->CreateForm<TForm>();
        main->SetBounds(50, 50, 400, 300);
        main->Show();
        app->ProcessMessages();
    }
    void TearDown() override {
        OnDialogModal = nullptr;
        SetFolderBrowser(nullptr);
        // Before the allocator's count is checked.
        documents.reset();
        ExplorerTest::TearDown();
    }
    // The record of a browser rooted at the documents item, telling script.
    BROWSEINFOA Record(Script& script, UINT flags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT) {
        documents.reset();
        PItemIDList root = nullptr;
        EXPECT_EQ(SHGetSpecialFolderLocation(CSIDL_PERSONAL, &root), S_OK);
        documents.reset(root);
        BROWSEINFOA info;
        info.hwndOwner = main->Handle();
        info.pidlRoot = documents.get();
        info.pszDisplayName = name;
        info.lpszTitle = "Where shall the archive go?";
        info.ulFlags = flags;
        info.lpfn = &Callback;
        info.lParam = reinterpret_cast<LPARAM>(&script);
        return info;
    }
    // Runs the browser with the script's steps once it is up; the chosen
    // item's path ("" when none was chosen).
    std::string Run(BROWSEINFOA& info, std::function<void(TFolderBrowserForm&)> steps) {
        OnDialogModal = [steps](TDialogForm& d) { steps(dynamic_cast<TFolderBrowserForm&>(d)); };
        const UniquePIDL chosen(SHBrowseForFolderA(&info));
        OnDialogModal = nullptr;
        return chosen ? SHGetPathFromIDList(chosen.get()) : std::string();
    }
    void ClickAt(TControl* control, int x, int y) {
        clock.Advance(1000); // never a double click
        const POINT p = control->ClientToScreen(POINT{x, y});
        InjectClick(MouseButton::Left, p.x, p.y);
        app->ProcessMessages();
    }
    // A click on the label of the node of path.
    void ClickNode(TFolderBrowserForm& f, const std::string& path) {
        // The path parses through the computer; the dialog finds it below
        // its root (the documents item).
        PDataNode node = f.NodeOf(Parse(path).get());
        ASSERT_NE(node, nullptr) << path;
        f.Tree().ScrollIntoView(node, false);
        const RECT r = f.Tree().GetDisplayRect(node, NoColumn, true);
        ClickAt(&f.Tree(), r.left + 3, r.top + r.height() / 2);
    }
    void Key(UINT vk, char32_t ch = 0) {
        InjectKeyStroke(vk, ch);
        app->ProcessMessages();
    }
    // Replaces the field's text by typing, as a US keyboard would.
    void Type(TFolderBrowserForm& f, const std::string& text) {
        f.FolderEdit().SetFocus();
        f.FolderEdit().SelectAll();
        for (char c : text) {
            UINT vk = 0;
            if (c >= 'a' && c <= 'z') vk = UINT(c - 'a' + 'A');
            else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) vk = UINT(c);
            else if (c == '.') vk = VK_OEM_PERIOD;
            else if (c == '/') vk = VK_OEM_2;
            else if (c == '-' || c == '_') vk = VK_OEM_MINUS;
            else if (c == '~') vk = VK_OEM_3;
            ASSERT_NE(vk, 0u) << "no key for " << c;
            Key(vk, char32_t(c));
        }
    }
    std::string Selected(TFolderBrowserForm& f) { return SHGetPathFromIDList(f.Selection()); }

    std::string docs;
    TForm* main = nullptr;
    UniquePIDL documents;
    char name[MAX_PATH + 8] = {};
};

TEST_F(FolderBrowserTest, NothingIsShownWithoutARecordOrABrowser) {
    EXPECT_EQ(FolderBrowser(), &BrowseForFolder);
    EXPECT_EQ(SHBrowseForFolderA(nullptr), nullptr);
    SetFolderBrowser(nullptr);
    Script script;
    BROWSEINFOA info = Record(script);
    EXPECT_EQ(SHBrowseForFolderA(&info), nullptr);
    EXPECT_TRUE(script.heard.empty());
}

TEST_F(FolderBrowserTest, TheRecordShapesTheDialog) {
    Script script;
    BROWSEINFOA info = Record(script);
    bool ran = false;
    Run(info, [&](TFolderBrowserForm& f) {
        ran = true;
        EXPECT_EQ(f.OwnerWindow(), main->Handle());
        EXPECT_EQ(f.Caption(), "Browse for Folder");
        ASSERT_NE(f.TitleLabel(), nullptr);
        EXPECT_EQ(f.TitleLabel()->Caption(), "Where shall the archive go?");
        ASSERT_NE(f.StatusControl(), nullptr) << "BIF_STATUSTEXT";
        EXPECT_EQ(GetDlgItem(f.Handle(), 0x3743), f.StatusControl()->Handle());
        EXPECT_EQ(GetDlgItem(f.Handle(), 0x3741), f.Tree().Handle());
        EXPECT_EQ(GetDlgItem(f.Handle(), 0x3744), f.FolderEdit().Handle());
        EXPECT_EQ(GetDlgItem(f.Handle(), 1), f.OkButton().Handle());
        EXPECT_EQ(GetDlgItem(f.Handle(), 2), f.CancelButton().Handle());
        // The root, expanded, selected: folders only, hidden ones left out.
        PDataNode root = f.Tree().GetFirst();
        EXPECT_EQ(NameOf(&f.Tree(), root), "Documents");
        EXPECT_TRUE(f.Tree().Expanded(root));
        EXPECT_EQ(Names(&f.Tree(), root), (std::vector<std::string>{"Archive", "Letters", "Photos"}));
        EXPECT_EQ(Selected(f), docs);
        EXPECT_EQ(f.FolderEdit().Text(), docs);
        EXPECT_TRUE(f.OkButton().Enabled());
        ClickAt(&f.CancelButton(), 5, 5);
    });
    EXPECT_TRUE(ran);
    EXPECT_STREQ(name, "") << "nothing written on cancel";

    // Without a title or status flag: neither is there; files are listed
    // with BIF_BROWSEINCLUDEFILES.
    info = Record(script, BIF_BROWSEINCLUDEFILES);
    info.lpszTitle = nullptr;
    Run(info, [&](TFolderBrowserForm& f) {
        EXPECT_EQ(f.TitleLabel(), nullptr);
        EXPECT_EQ(f.StatusControl(), nullptr);
        EXPECT_EQ(Names(&f.Tree(), f.Tree().GetFirst()),
                  (std::vector<std::string>{"Archive", "Letters", "notes.txt", "Photos"}))
            << "the namespace's order: names without case";
        Key(VK_ESCAPE);
    });
}

TEST_F(FolderBrowserTest, TheCallbackHearsInitialisedThenEachNewSelection) {
    Script script;
    BROWSEINFOA info = Record(script);
    std::vector<Heard> beforeModal;
    const std::string chosen = Run(info, [&](TFolderBrowserForm& f) {
        beforeModal = script.heard;
        EXPECT_EQ(script.window, f.Handle());
        ClickNode(f, docs + "/Letters");
        ClickNode(f, docs + "/Letters"); // no change: not told again
        ClickNode(f, docs + "/Photos");
        ClickAt(&f.OkButton(), 5, 5);
    });
    EXPECT_EQ(script.data, reinterpret_cast<LPARAM>(&script));
    EXPECT_EQ(beforeModal, (std::vector<Heard>{{BFFM_INITIALIZED, ""}, {BFFM_SELCHANGED, docs}}));
    EXPECT_EQ(script.heard, (std::vector<Heard>{{BFFM_INITIALIZED, ""},
                                                {BFFM_SELCHANGED, docs},
                                                {BFFM_SELCHANGED, docs + "/Letters"},
                                                {BFFM_SELCHANGED, docs + "/Photos"}}));
    EXPECT_EQ(chosen, docs + "/Photos");
}

TEST_F(FolderBrowserTest, ASelectionSentWhileInitialisingIsTheFirstOneTold) {
    Script script;
    BROWSEINFOA info = Record(script);
    const std::string target = docs + "/Letters/2023";
    script.onMessage = [&](HWND window, UINT message) {
        if (message != BFFM_INITIALIZED) return;
        // The window is placed but not yet shown.
        EXPECT_FALSE(IsWindowVisible(window));
        EXPECT_EQ(SendMessage(window, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(target.c_str())), 1);
        EXPECT_EQ(SendMessage(window, BFFM_SETSTATUSTEXTA, 0, reinterpret_cast<LPARAM>("Pick a folder")), 0);
    };
    const std::string chosen = Run(info, [&](TFolderBrowserForm& f) {
        EXPECT_EQ(f.StatusText(), "Pick a folder");
        EXPECT_EQ(Selected(f), target);
        EXPECT_TRUE(f.Tree().Expanded(f.NodeOf(Parse(docs + "/Letters").get())));
        Key(VK_RETURN);
    });
    EXPECT_EQ(script.heard, (std::vector<Heard>{{BFFM_INITIALIZED, ""}, {BFFM_SELCHANGED, target}}));
    EXPECT_EQ(chosen, target);
    EXPECT_STREQ(name, "2023");
    EXPECT_EQ(info.iImage, 3) << "the folder's system icon";
}

TEST_F(FolderBrowserTest, ASelectionTheCallbackMakesIsToldAfterTheCallThatMadeIt) {
    Script script;
    BROWSEINFOA info = Record(script);
    // Whenever Photos is chosen, the callback moves on to Archive.
    script.onMessage = [&](HWND window, UINT message) {
        if (message == BFFM_SELCHANGED && script.heard.back().item == docs + "/Photos") {
            const UniquePIDL archive = Parse(docs + "/Archive");
            SendMessage(window, BFFM_SETSELECTIONA, FALSE, reinterpret_cast<LPARAM>(archive.get()));
            script.heard.push_back({0, "returned"});
        }
    };
    Run(info, [&](TFolderBrowserForm& f) {
        ClickNode(f, docs + "/Photos");
        EXPECT_EQ(Selected(f), docs + "/Archive");
        Key(VK_ESCAPE);
    });
    EXPECT_EQ(script.heard, (std::vector<Heard>{{BFFM_INITIALIZED, ""},
                                                {BFFM_SELCHANGED, docs},
                                                {BFFM_SELCHANGED, docs + "/Photos"},
                                                {0, "returned"},
                                                {BFFM_SELCHANGED, docs + "/Archive"}}));
}

TEST_F(FolderBrowserTest, OkFollowsTheFlagsAndTheCallback) {
    Script script;
    // Rooted at the desktop: the computer is no folder on the disk.
    BROWSEINFOA info = Record(script, BIF_RETURNONLYFSDIRS);
    info.pidlRoot = nullptr;
    Run(info, [&](TFolderBrowserForm& f) {
        EXPECT_EQ(NameOf(&f.Tree(), f.Tree().GetFirst()), "Desktop");
        const UniquePIDL computer = [] {
            PItemIDList p = nullptr;
            SHGetSpecialFolderLocation(CSIDL_DRIVES, &p);
            return UniquePIDL(p);
        }();
        ASSERT_TRUE(f.SelectPIDL(computer.get()));
        EXPECT_FALSE(f.OkButton().Enabled());
        EXPECT_EQ(f.FolderEdit().Text(), "Computer");
        Key(VK_RETURN); // nothing to take
        EXPECT_TRUE(f.Showing());
        SendMessage(f.Handle(), BFFM_ENABLEOK, 0, 1);
        EXPECT_TRUE(f.OkButton().Enabled());
        ASSERT_TRUE(f.SelectPIDL(Parse(docs).get()));
        EXPECT_TRUE(f.OkButton().Enabled());
        SendMessage(f.Handle(), BFFM_ENABLEOK, 0, 0);
        EXPECT_FALSE(f.OkButton().Enabled());
        Key(VK_ESCAPE);
    });
    // A folder is no computer.
    info = Record(script, BIF_BROWSEFORCOMPUTER);
    Run(info, [&](TFolderBrowserForm& f) {
        EXPECT_FALSE(f.OkButton().Enabled());
        Key(VK_ESCAPE);
    });
}

TEST_F(FolderBrowserTest, AVirtualItemComesBackWithItsName) {
    Script script;
    BROWSEINFOA info = Record(script, 0);
    info.pidlRoot = nullptr;
    UniquePIDL chosen;
    OnDialogModal = [&](TDialogForm& d) {
        auto& f = dynamic_cast<TFolderBrowserForm&>(d);
        PItemIDList p = nullptr;
        SHGetSpecialFolderLocation(CSIDL_DRIVES, &p);
        const UniquePIDL computer(p);
        ASSERT_TRUE(f.SelectPIDL(computer.get()));
        ClickAt(&f.OkButton(), 5, 5);
    };
    chosen.reset(SHBrowseForFolderA(&info));
    ASSERT_NE(chosen, nullptr);
    EXPECT_EQ(SHGetPathFromIDList(chosen.get()), "");
    EXPECT_STREQ(name, "Computer");
    // The browser's tree binds the system image lists, so the index is
    // theirs: the one the shell gives Computer, not a file's or a folder's.
    SHFILEINFO sfi{};
    PItemIDList p = nullptr;
    SHGetSpecialFolderLocation(CSIDL_DRIVES, &p);
    const UniquePIDL computer(p);
    const int computerIcon = int(SHGetFileInfo(computer.get(), "", 0, sfi, SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON)
                                     ? sfi.iIcon
                                     : -1);
    EXPECT_EQ(info.iImage, computerIcon) << "a system folder's icon";
}

TEST_F(FolderBrowserTest, ATypedPathIsTakenWhereverItIsBelowTheRoot) {
    Script script;
    BROWSEINFOA info = Record(script);
    // Relative to the selection, with Enter in the field.
    std::string chosen = Run(info, [&](TFolderBrowserForm& f) {
        ClickNode(f, docs + "/Letters");
        Type(f, "2023");
        EXPECT_TRUE(f.OkButton().Enabled());
        Key(VK_RETURN);
    });
    EXPECT_EQ(chosen, docs + "/Letters/2023");
    EXPECT_EQ(script.heard.back(), (Heard{BFFM_SELCHANGED, docs + "/Letters/2023"})) << "the tree went there";

    // From home; a hidden folder the tree does not list is taken all the same.
    chosen = Run(info, [&](TFolderBrowserForm& f) {
        Type(f, "~/Documents/.hidden/");
        ClickAt(&f.OkButton(), 5, 5);
    });
    EXPECT_EQ(chosen, docs + "/.hidden");
    EXPECT_STREQ(name, ".hidden");

    // An absolute path with "..".
    chosen = Run(info, [&](TFolderBrowserForm& f) {
        Type(f, docs + "/Photos/../Archive");
        Key(VK_RETURN);
    });
    EXPECT_EQ(chosen, docs + "/Archive");
}

TEST_F(FolderBrowserTest, ATypedPathThatCannotBeTakenKeepsTheDialogOpen) {
    Script script;
    BROWSEINFOA info = Record(script);
    const std::string chosen = Run(info, [&](TFolderBrowserForm& f) {
        Type(f, "Nowhere");
        Key(VK_RETURN);
        EXPECT_TRUE(f.Showing());
        EXPECT_EQ(f.ProblemText(), "The folder \"Nowhere\" does not exist.");
        Type(f, "notes.txt");
        Key(VK_RETURN);
        EXPECT_EQ(f.ProblemText(), "The folder \"notes.txt\" does not exist.") << "a file is no folder";
        Type(f, root + "/files");
        Key(VK_RETURN);
        EXPECT_EQ(f.ProblemText(), "\"" + root + "/files\" is not in \"Documents\".");
        // Back to the selection's own text: OK takes the selection again.
        Type(f, docs);
        EXPECT_EQ(f.ProblemText(), "");
        ClickNode(f, docs + "/Photos");
        ClickAt(&f.OkButton(), 5, 5);
    });
    EXPECT_EQ(chosen, docs + "/Photos");
}

TEST_F(FolderBrowserTest, ClosedFromOutsideItTellsTheCallbackNothingMore) {
    Script script;
    BROWSEINFOA info = Record(script);
    const std::string chosen = Run(info, [&](TFolderBrowserForm& f) {
        SendMessage(f.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
        f.SelectPIDL(Parse(docs + "/Photos").get());
    });
    EXPECT_EQ(chosen, "");
    EXPECT_EQ(script.heard, (std::vector<Heard>{{BFFM_INITIALIZED, ""}, {BFFM_SELCHANGED, docs}}));
}

} // namespace
} // namespace ax::testing
