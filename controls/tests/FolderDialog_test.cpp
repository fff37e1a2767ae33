// The folder browse dialog component over the shell's folder browser: the
// record it hands the browser, the options and roots, the selection set
// before and while the browser is open, the status text fitted with the
// test font, the custom button's clone, centring, cancel, typing a path,
// and the component freed while its browser is open.
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "controls/FolderDialog.h"
#include "fixture.h"
#include "platform/shellns/shellapi.h"
#include "platform/shellns/shellops.h"
#include "explorer/FolderBrowser.h"
#include "shell/Namespace.h"
#include "shell/ShellUtilities.h"
#include "shellns_fixture.h"
#include "stdctrls/checkbox.h"

namespace ax {
namespace {


std::string Bytes(PCItemIDList pidl) {
    return pidl ? std::string(reinterpret_cast<const char*>(pidl), ILByteSize(pidl)) : std::string();
}

// The message-box layer's names and the namespace layer's clash, so the
// fixture stands on the standard controls' own.
class FolderDialogTest : public test::StdCtrlsTest {
protected:
    void SetUp() override {
        StdCtrlsTest::SetUp();
        ShellUtilitiesFinalize();
        char tmpl[] = "/tmp/axfolderXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        home = root + "/home";
        docs = home + "/Documents";
        for (const std::string& d : {home, home + "/.config", home + "/Desktop", docs, docs + "/Archive",
                                     docs + "/Letters", docs + "/Letters/" + kLongName, docs + "/Photos"})
            mkdir(d.c_str(), 0755);
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
        std::ofstream(root + "/mounts") << "/dev/sda1 / ext4 rw 0 0\n";
        SetMountTableFile(root + "/mounts");
        IMalloc* m = nullptr;
        SHGetMalloc(&m);
        allocator = m;
        live = m->LiveBlocks();
        InstallFolderBrowser();
        MainForm();
    }
    void TearDown() override {
        OnDialogModal = nullptr;
        SetFolderBrowser(nullptr);
        ShellUtilitiesFinalize();
        StdCtrlsTest::TearDown();
        EXPECT_EQ(allocator->LiveBlocks(), live) << "PIDLs leaked or freed twice";
        SetMountTableFile("");
        testing::RemoveTreeAt(AT_FDCWD, root.c_str());
    }
    // The main form, shown.
    TForm* MainForm() {
        if (!app->MainForm()) MakeForm(400, 300)->SetCaption("Main");
        return static_cast<TForm*>(app->MainForm());
    }
    // Runs Execute with steps on the browser once it is up.
    bool Run(TFolderDialog& dialog, std::function<void(TFolderBrowserForm&)> steps) {
        OnDialogModal = [steps](TDialogForm& d) { steps(dynamic_cast<TFolderBrowserForm&>(d)); };
        const bool result = dialog.Execute();
        OnDialogModal = nullptr;
        return result;
    }
    std::string Selected(TFolderBrowserForm& f) { return SHGetPathFromIDList(f.Selection()); }
    void ClickNode(TFolderBrowserForm& f, const std::string& path) {
        // The path parses through the computer; the browser finds it below
        // its root.
        const UniquePIDL pidl(PathToPIDL(Utf8ToWide(path)));
        PDataNode node = f.NodeOf(pidl.get());
        ASSERT_NE(node, nullptr) << path;
        f.Tree().ScrollIntoView(node, false);
        const RECT r = f.Tree().GetDisplayRect(node, NoColumn, true);
        clock.Advance(1000); // never a double click
        ClickAt(&f.Tree(), r.left + 3, r.top + r.height() / 2);
    }
    void Press(TControl* control) {
        clock.Advance(1000);
        ClickAt(control, 5, 5);
    }
    // Writes the window as "<name>.png" into the snapshot folder.
    static void Snapshot(HWND window, const std::string& name) {
        const char* dir = std::getenv("AX_CONTROLS_SNAPSHOT_DIR");
        const std::filesystem::path folder = dir ? dir : "snapshots";
        std::filesystem::create_directories(folder);
        EXPECT_TRUE(SnapshotWindow(window, (folder / (name + ".png")).string()));
    }
    static UniquePIDL Special(int csidl) {
        PItemIDList p = nullptr;
        SHGetSpecialFolderLocation(csidl, &p);
        return UniquePIDL(p);
    }

    static constexpr const char* kLongName = "2023-correspondence-with-the-bank";
    std::string root, home, docs;
    IMalloc* allocator = nullptr;
    int64_t live = 0;
};

// ---- Options, roots and flags -------------------------------------------------------------

TEST(FolderDialogOptions, EachOfTheFirstSevenIsItsBrowserFlag) {
    const UINT flags[] = {0x1, 0x2, 0x4, 0x8, 0x1000, 0x2000, 0x4000};
    for (unsigned o = 0; o < 7; ++o)
        EXPECT_EQ(FolderDialogFlags(1u << o), flags[o]) << "option " << o;
    for (unsigned o = 7; o <= bfResizeCustomButton; ++o)
        EXPECT_EQ(FolderDialogFlags(1u << o), 0u) << "the component's own " << o;
    EXPECT_EQ(FolderDialogFlags(FolderDialogOptions({bfFileSysDirsOnly, bfStatusText, bfShowPathInStatusArea})),
              0x5u);
}

TEST(FolderDialogOptions, RootsAreTheirSpecialFolders) {
    const int ids[] = {-1, 0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27};
    for (int r = 0; r <= sfoPrintHood; ++r) EXPECT_EQ(ShellFolderToCSIDL(TShellFolder(r)), ids[r]) << r;
}

TEST_F(FolderDialogTest, DefaultsAndTheRulesOfTheOptions) {
    TFolderDialog d(MainForm());
    EXPECT_EQ(d.Options(), FolderDialogOptions({bfFileSysDirsOnly, bfStatusText, bfShowPathInStatusArea,
                                                bfSyncCustomButton, bfAlignCustomButton, bfParentCenter}));
    EXPECT_EQ(d.Title(), "Browse for Folder");
    EXPECT_EQ(d.RootFolder(), sfoDesktopExpanded);
    EXPECT_EQ(d.RootPIDL(), nullptr);
    EXPECT_TRUE(d.Ctl3D());
    d.SetCtl3D(false);
    EXPECT_TRUE(d.Ctl3D()) << "the setter does nothing";

    // The centring asked for anew wins.
    d.SetOptions(FolderDialogOptions({bfParentCenter}));
    d.SetOptions(FolderDialogOptions({bfScreenCenter, bfParentCenter}));
    EXPECT_EQ(d.Options(), FolderDialogOptions({bfScreenCenter}));
    d.SetOptions(FolderDialogOptions({bfScreenCenter, bfParentCenter}));
    EXPECT_EQ(d.Options(), FolderDialogOptions({bfParentCenter}));

    // Browsing for computers: the network root, no file-system limits.
    d.SetOptions(FolderDialogOptions({bfBrowseForComputer, bfFileSysDirsOnly, bfFileSysAncestors,
                                      bfBrowseForPrinter, bfDontGoBelowDomain}));
    EXPECT_EQ(d.Options(), FolderDialogOptions({bfBrowseForComputer, bfDontGoBelowDomain}));
    EXPECT_EQ(d.RootFolder(), sfoNetwork);
    ASSERT_NE(d.RootPIDL(), nullptr) << "the network folder";
    EXPECT_EQ(SHGetPathFromIDList(d.RootPIDL()), "") << "the network is no folder on disk";
    d.SetOptions(FolderDialogOptions({bfBrowseForPrinter, bfFileSysDirsOnly, bfDontGoBelowDomain,
                                      bfFileSysAncestors, bfStatusText}));
    EXPECT_EQ(d.Options(), FolderDialogOptions({bfBrowseForPrinter, bfStatusText}));

    // The path in the status line brings the status line; losing the
    // status line loses the path.
    d.SetOptions(FolderDialogOptions({bfShowPathInStatusArea}));
    EXPECT_EQ(d.Options(), FolderDialogOptions({bfShowPathInStatusArea, bfStatusText}));
    d.SetOptions(FolderDialogOptions({bfShowPathInStatusArea}));
    EXPECT_EQ(d.Options(), 0u);
}

TEST_F(FolderDialogTest, TheRootIsTheSpecialFoldersItem) {
    TFolderDialog d(MainForm());
    d.SetRootFolder(sfoMyComputer);
    EXPECT_EQ(Bytes(d.RootPIDL()), std::string("\x0C\x00\x1F/computer\x00\x00", 14));
    d.SetRootFolder(sfoPersonal);
    EXPECT_EQ(Bytes(d.RootPIDL()), std::string("\x0D\x00\x1F/documents\x00\x00", 15));
    d.SetRootFolder(sfoDesktop);
    EXPECT_EQ(Bytes(d.RootPIDL()), std::string("\x00\x00", 2));
    d.SetRootFolder(sfoControlPanel);
    EXPECT_EQ(d.RootPIDL(), nullptr) << "none here";
    d.SetRootFolder(sfoDesktopExpanded);
    EXPECT_EQ(d.RootPIDL(), nullptr);
}

// ---- Execute ------------------------------------------------------------------------------

TEST_F(FolderDialogTest, TheRecordCarriesOwnerRootTitleFlagsAndTheComponent) {
    TFolderDialog d(MainForm());
    d.SetRootFolder(sfoMyComputer);
    d.SetTitle("Where shall the archive go?");
    d.SetDirectory(docs);
    BROWSEINFOA seen;
    std::string rootSeen;
    const bool ok = Run(d, [&](TFolderBrowserForm& f) {
        seen = f.Info();
        rootSeen = Bytes(seen.pidlRoot);
        EXPECT_EQ(d.Handle(), f.Handle()) << "the browser's window while it runs";
        Press(&f.CancelButton());
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(seen.hwndOwner, MainForm()->Handle());
    EXPECT_EQ(rootSeen, std::string("\x0C\x00\x1F/computer\x00\x00", 14));
    EXPECT_STREQ(seen.lpszTitle, "Where shall the archive go?");
    EXPECT_EQ(seen.ulFlags, 0x5u);
    EXPECT_NE(seen.pszDisplayName, nullptr);
    EXPECT_NE(seen.lpfn, nullptr);
    EXPECT_EQ(seen.lParam, reinterpret_cast<LPARAM>(&d));
    // Cancelled: no directory, no attributes.
    EXPECT_EQ(d.Directory(), "");
    EXPECT_EQ(d.SelectionAttributes(), 0u);
    EXPECT_EQ(d.Handle(), nullptr);

    d.SetTitle("");
    Run(d, [&](TFolderBrowserForm& f) {
        EXPECT_EQ(f.Info().lpszTitle, nullptr) << "an empty title is not passed";
        Press(&f.CancelButton());
    });
}

TEST_F(FolderDialogTest, TheDirectorySetBeforeIsSelectedAndTheChoiceComesBack) {
    TFolderDialog d(MainForm());
    d.SetRootFolder(sfoPersonal);
    d.SetDirectory(docs + "/Letters/.");
    std::vector<std::string> changes;
    d.OnChange = [&](TObject* sender) { changes.push_back(static_cast<TFolderDialog*>(sender)->Directory()); };
    ASSERT_TRUE(Run(d, [&](TFolderBrowserForm& f) {
        EXPECT_EQ(Selected(f), docs + "/Letters");
        EXPECT_EQ(d.Directory(), docs + "/Letters") << "the open browser's selection";
        ClickNode(f, docs + "/Photos");
        EXPECT_EQ(d.Directory(), docs + "/Photos");
        Snapshot(f.Handle(), "folder_dialog");
        Press(&f.OkButton());
    }));
    EXPECT_EQ(changes, (std::vector<std::string>{docs + "/Letters", docs + "/Photos"}));
    EXPECT_EQ(d.Directory(), docs + "/Photos");
    EXPECT_EQ(d.DisplayName(), "Photos");
    EXPECT_EQ(d.ImageIndex(), 3) << "the folder's system icon";
    EXPECT_EQ(SHGetPathFromIDList(d.Selection()), docs + "/Photos");
    // Only the attributes asked for (0x800F0177): a folder without
    // subfolders that can be copied, moved, linked, renamed and deleted,
    // has properties and takes drops; no folder or file-system bits.
    EXPECT_EQ(d.SelectionAttributes(), 0x177u);

    // Again, from the last choice.
    ASSERT_TRUE(Run(d, [&](TFolderBrowserForm& f) {
        EXPECT_EQ(Selected(f), docs + "/Photos");
        Press(&f.OkButton());
    }));
}

TEST_F(FolderDialogTest, APathThatIsNoFolderLeavesTheSelectionAsItWas) {
    TFolderDialog d(MainForm());
    d.SetRootFolder(sfoPersonal);
    d.SetDirectory(docs + "/Archive");
    d.SetDirectory(docs + "/Nowhere");
    EXPECT_EQ(d.Directory(), docs + "/Nowhere") << "stored all the same";
    ASSERT_TRUE(Run(d, [&](TFolderBrowserForm& f) {
        EXPECT_EQ(Selected(f), docs + "/Archive");
        d.SetDirectory(docs + "/Letters");
        EXPECT_EQ(Selected(f), docs + "/Letters") << "the open browser follows";
        d.SetDirectory(docs + "/Nowhere");
        d.SetDirectory(root + "/mounts");
        EXPECT_EQ(Selected(f), docs + "/Letters");
        EXPECT_EQ(d.Directory(), docs + "/Letters");
        Press(&f.OkButton());
    }));
    EXPECT_EQ(d.Directory(), docs + "/Letters");
}

TEST_F(FolderDialogTest, AVirtualItemIsChosenOnlyWithoutTheFileSystemLimit) {
    TFolderDialog d(MainForm());
    d.SetRootFolder(sfoDesktop);
    const UniquePIDL computer = Special(CSIDL_DRIVES);
    Run(d, [&](TFolderBrowserForm& f) {
        ASSERT_TRUE(f.SelectPIDL(computer.get()));
        EXPECT_FALSE(f.OkButton().Enabled());
        EXPECT_EQ(f.StatusText(), "") << "no path to show";
        Press(&f.CancelButton());
    });
    d.SetOptions(d.Options() & ~FolderDialogOptions({bfFileSysDirsOnly}));
    ASSERT_TRUE(Run(d, [&](TFolderBrowserForm& f) {
        ASSERT_TRUE(f.SelectPIDL(computer.get()));
        EXPECT_TRUE(f.OkButton().Enabled());
        Press(&f.OkButton());
    }));
    EXPECT_EQ(d.Directory(), "");
    EXPECT_EQ(d.DisplayName(), "Computer");
    EXPECT_EQ(Bytes(d.Selection()), Bytes(computer.get()));
}

TEST_F(FolderDialogTest, ATypedPathIsTheChoice) {
    TFolderDialog d(MainForm());
    d.SetRootFolder(sfoMyComputer);
    ASSERT_TRUE(Run(d, [&](TFolderBrowserForm& f) {
        f.FolderEdit().SetFocus();
        f.FolderEdit().SelectAll();
        for (char c : "~/Documents/Archive") {
            if (!c) break;
            UINT vk = c == '~' ? VK_OEM_3 : c == '/' ? VK_OEM_2 : UINT(std::toupper(c));
            Key(vk, char32_t(c));
        }
        Key(VK_RETURN);
    }));
    EXPECT_EQ(d.Directory(), docs + "/Archive");
}

// ---- The status line --------------------------------------------------------------------------

TEST(FolderDialogStatus, TheFittedTextKeepsOneCharactersRoomAndLosesNoCharacter) {
    SetTestFont(true);
    // 7 pixels a character: 150 pixels less a "W" leave 143, room for 20.
    EXPECT_EQ(FitStatusText("abcdefghijklmnopqrst", HFONT{}, 150, false), "abcdefghijklmnopqrst");
    // 21 do not fit: 17 and "..." do.
    EXPECT_EQ(FitStatusText("abcdefghijklmnopqrstu", HFONT{}, 150, false), "abcdefghijklmnopq...");
    EXPECT_EQ(FitStatusText("abcdefghijklmnopqrstuvwxyz", HFONT{}, 150, false), "abcdefghijklmnopq...");
    // A path keeps its last part: ".../2023" is 8, the 12 before it fit.
    EXPECT_EQ(FitStatusText("/home/user/Documents/Letters/2023", HFONT{}, 150, true), "/home/user/D.../2023");
    EXPECT_EQ(FitStatusText("/home", HFONT{}, 150, true), "/home");
    EXPECT_EQ(FitStatusText("", HFONT{}, 150, true), "");
}

TEST_F(FolderDialogTest, TheStatusLineShowsThePathOrTheTextFitted) {
    TFolderDialog d(MainForm());
    d.SetRootFolder(sfoPersonal);
    const std::string deep = docs + "/Letters/" + kLongName;
    d.SetDirectory(deep);
    ASSERT_TRUE(Run(d, [&](TFolderBrowserForm& f) {
        ASSERT_NE(f.StatusControl(), nullptr);
        EXPECT_EQ(f.StatusControl()->ClientWidth(), 304);
        // 304 pixels less a "W": 42 characters. The last part (37 with the
        // dots) stays, and 5 of the head.
        ASSERT_GT(deep.size(), 42u);
        EXPECT_EQ(f.StatusText(), deep.substr(0, 5) + ".../" + kLongName);
        ClickNode(f, docs + "/Photos");
        EXPECT_EQ(f.StatusText(), docs + "/Photos") << "fits whole: " << (docs + "/Photos").size();
        Press(&f.OkButton());
    }));

    // Without the path: the component's text, cut at its end.
    d.SetOptions(FolderDialogOptions({bfStatusText, bfFileSysDirsOnly}));
    const std::string text = "Choose the folder where the archive is to be written";
    d.SetText(text);
    ASSERT_TRUE(Run(d, [&](TFolderBrowserForm& f) {
        EXPECT_EQ(f.StatusText(), text.substr(0, 39) + "...");
        d.SetText("Pick one");
        EXPECT_EQ(f.StatusText(), "Pick one") << "while open, at once";
        ClickNode(f, docs + "/Archive");
        EXPECT_EQ(f.StatusText(), "Pick one") << "the path is not shown";
        Press(&f.OkButton());
    }));
    EXPECT_EQ(d.Directory(), docs + "/Archive");

    // No status line at all.
    d.SetOptions(FolderDialogOptions({bfFileSysDirsOnly}));
    Run(d, [&](TFolderBrowserForm& f) {
        EXPECT_EQ(f.StatusControl(), nullptr);
        Press(&f.CancelButton());
    });
}

// ---- Placement and the custom button ----------------------------------------------------------

TEST_F(FolderDialogTest, TheBrowserIsCentredOnItsParentOrTheScreen) {
    TFolderDialog d(MainForm());
    MainForm()->SetBounds(20, 30, 500, 400);
    RECT parent, shown;
    auto run = [&] {
        Run(d, [&](TFolderBrowserForm& f) {
            GetWindowRect(f.Handle(), shown);
            Press(&f.CancelButton());
        });
    };
    run();
    GetWindowRect(MainForm()->Handle(), parent);
    EXPECT_EQ(shown.left, parent.left + (parent.width() - shown.width()) / 2);
    EXPECT_EQ(shown.top, parent.top + (parent.height() - shown.height()) / 2);
    EXPECT_EQ(d.Left(), shown.left) << "kept from the last run";
    EXPECT_EQ(d.Top(), shown.top);

    d.SetOptions(d.Options() | FolderDialogOptions({bfScreenCenter}));
    run();
    EXPECT_EQ(shown.left, (GetSystemMetrics(SM_CXSCREEN) - shown.width()) / 2);
    EXPECT_EQ(shown.top, (GetSystemMetrics(SM_CYSCREEN) - shown.height()) / 2);
}

TEST_F(FolderDialogTest, TheCustomButtonIsClonedBesideTheButtonsAndHandsItsClickBack) {
    TForm* form = MainForm();
    auto* box = TComponent::Create<TCheckBox>(form);
    box->SetParent(form);
    box->SetBounds(10, 10, 120, 17);
    box->SetCaption("Include &subfolders");
    int clicks = 0;
    bool checkedInClick = false;
    box->OnClick = [&](TObject* sender) {
        ++clicks;
        checkedInClick = static_cast<TCheckBox*>(sender)->Checked();
    };
    TFolderDialog d(form);
    d.SetRootFolder(sfoDesktop);
    d.SetCustomButton(box);
    d.SetOptions(d.Options() | FolderDialogOptions({bfResizeCustomButton}));
    ASSERT_TRUE(Run(d, [&](TFolderBrowserForm& f) {
        auto* clone = dynamic_cast<TCheckBox*>(d.CustomButtonClone());
        ASSERT_NE(clone, nullptr);
        EXPECT_EQ(clone->Parent(), static_cast<TWinControl*>(&f));
        EXPECT_EQ(clone->Caption(), "Include &subfolders");
        EXPECT_FALSE(clone->Checked());
        // 7 dialog units in, on the row of OK (154, 349), 50 x 14 units:
        // the test font's units are 7 / 4 and 13 / 8 pixels.
        EXPECT_EQ(clone->BoundsRect(), (RECT{12, 349, 12 + 88, 349 + 23}));
        EXPECT_EQ(f.OkButton().BoundsRect(), (RECT{154, 349, 154 + 75, 349 + 23}));
        // Enabled as OK is: the desktop's Computer is no folder on the disk.
        const UniquePIDL computer = Special(CSIDL_DRIVES);
        ASSERT_TRUE(f.SelectPIDL(computer.get()));
        EXPECT_FALSE(f.OkButton().Enabled());
        EXPECT_FALSE(clone->Enabled());
        ASSERT_TRUE(f.SelectPIDL(UniquePIDL(PathToPIDL(Utf8ToWide(docs))).get()));
        EXPECT_TRUE(clone->Enabled());
        // A click: the form's box takes the state, its click runs once.
        Press(clone);
        EXPECT_TRUE(clone->Checked());
        EXPECT_TRUE(box->Checked());
        EXPECT_EQ(clicks, 1);
        EXPECT_TRUE(checkedInClick);
        EXPECT_TRUE(f.Showing()) << "the browser stays";
        Press(&f.OkButton());
    }));
    EXPECT_EQ(d.CustomButtonClone(), nullptr) << "gone with the browser";
    EXPECT_EQ(clicks, 1);

    // Not resized: its own size, centred on the row.
    d.SetOptions(d.Options() & ~FolderDialogOptions({bfResizeCustomButton}));
    Run(d, [&](TFolderBrowserForm& f) {
        ASSERT_NE(d.CustomButtonClone(), nullptr);
        EXPECT_EQ(d.CustomButtonClone()->BoundsRect(), (RECT{12, 352, 12 + 120, 352 + 17}));
        EXPECT_TRUE(static_cast<TCheckBox*>(d.CustomButtonClone())->Checked()) << "the box's state";
        Press(&f.CancelButton());
    });
    // The box freed: no clone.
    form->FreeComponent(box);
    EXPECT_EQ(d.CustomButton(), nullptr);
    Run(d, [&](TFolderBrowserForm& f) {
        EXPECT_EQ(d.CustomButtonClone(), nullptr);
        Press(&f.CancelButton());
    });
}

TEST_F(FolderDialogTest, FreedWhileItsBrowserIsOpenTheBrowserCloses) {
    auto d = std::make_unique<TFolderDialog>(nullptr);
    TFolderDialog* raw = d.get();
    d->SetRootFolder(sfoPersonal);
    bool changed = false;
    d->OnChange = [&](TObject*) { changed = true; };
    HWND browser = nullptr;
    OnDialogModal = [&](TDialogForm& f) {
        browser = f.Handle();
        changed = false;
        d.reset();
        EXPECT_TRUE(IsWindow(browser)) << "closed by its modal loop";
    };
    bool closed = false;
    raw->OnClose = [&](TObject*) { closed = true; };
    EXPECT_FALSE(raw->Execute());
    OnDialogModal = nullptr;
    EXPECT_FALSE(IsWindow(browser));
    EXPECT_FALSE(changed) << "nothing reached the freed component";
    EXPECT_FALSE(closed);
}

} // namespace
} // namespace ax
