// The open and save dialogs: the record in and out (both sizes, flags,
// buffers), the places bar, choosing by click and by typing, patterns,
// hidden files, several files, the checks before a file is taken, and the
// open dialog component.
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "fixture.h"
#include "platform/shellns/shellops.h"
#include "stdctrls/commdlg.h"
#include "stdctrls/filedialogform.h"
#include "stdctrls/opendialog.h"
#include "stdctrls/savedialog.h"

namespace ax {
namespace {

namespace fs = std::filesystem;

// A folder of the test's own with a few items:
//   docs/  sub/deep.txt  .hidden  alpha.txt  Beta.TXT  gamma.zip  notes
class FileDialogTest : public test::StdCtrlsTest {
protected:
    void SetUp() override {
        StdCtrlsTest::SetUp();
        root = (fs::temp_directory_path() / ("ax-filedialog-" + std::to_string(getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name()))
                   .string();
        fs::remove_all(root);
        fs::create_directories(root + "/docs");
        fs::create_directories(root + "/sub");
        for (const char* f : {".hidden", "alpha.txt", "Beta.TXT", "gamma.zip", "notes", "sub/deep.txt"})
            std::ofstream(root + "/" + f) << "x";
        std::memset(buffer, 0, sizeof buffer);
        ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
        ofn.lpstrFile = buffer;
        ofn.nMaxFile = sizeof buffer;
        ofn.lpstrFilter = kFilter;
        ofn.nFilterIndex = 1;
        ofn.lpstrInitialDir = root.c_str();
        ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY;
    }
    void TearDown() override {
        OnDialogModal = nullptr;
        fs::remove_all(root);
        StdCtrlsTest::TearDown();
    }
    // Types text into the focused control, as a US keyboard would.
    void TypeText(const std::string& text) {
        for (char c : text) {
            UINT vk = 0;
            if (c >= 'a' && c <= 'z') vk = UINT(c - 'a' + 'A');
            else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) vk = UINT(c);
            else if (c == '.') vk = VK_OEM_PERIOD;
            else if (c == '/') vk = VK_OEM_2;
            else if (c == '-' || c == '_') vk = VK_OEM_MINUS;
            else if (c == '~') vk = VK_OEM_3;
            else if (c == '*') vk = VK_MULTIPLY;
            else if (c == ' ') vk = VK_SPACE;
            else if (c == '"') vk = VK_OEM_7;
            ASSERT_NE(vk, 0u) << "no key for " << c;
            Key(vk, char32_t(c));
        }
    }
    void ClickItem(TFileDialogForm& f, const std::string& shown) {
        const int i = f.IndexOfItem(shown);
        ASSERT_GE(i, 0) << shown;
        const RECT r = f.FileList().ItemRect(i);
        clock.Advance(1000); // never a double click
        ClickAt(&f.FileList(), r.left + 4, r.top + 4);
    }
    void Replace(TFileDialogForm& f, const std::string& text) {
        f.FileNameEdit().SetFocus();
        f.FileNameEdit().SelectAll();
        TypeText(text);
    }
    // Runs each step on the file dialog in turn, one per time it is shown
    // or a box of it is.
    void Script(std::vector<std::function<void(TDialogForm&)>> steps) {
        script = std::move(steps);
        next = 0;
        OnDialogModal = [this](TDialogForm& d) {
            ASSERT_LT(next, script.size()) << "a dialog more than scripted: " << d.Caption();
            script[next++](d);
        };
    }
    static TFileDialogForm& File(TDialogForm& d) { return dynamic_cast<TFileDialogForm&>(d); }

    static constexpr const char kFilter[] = "Text files\0*.txt\0All files\0*.*\0Zip or job\0*.zip; *.JOB\0";
    std::string root;
    char buffer[512];
    char title[16] = {};
    OPENFILENAMEA ofn;
    std::vector<std::function<void(TDialogForm&)>> script;
    size_t next = 0;
};

TEST_F(FileDialogTest, AClickedFileComesBackWithItsOffsetsTypeAndTitle) {
    ofn.lpstrFileTitle = title;
    ofn.nMaxFileTitle = 6; // "Beta." and the terminator
    Script({[&](TDialogForm& d) {
        TFileDialogForm& f = File(d);
        EXPECT_EQ(f.Caption(), "Open");
        EXPECT_EQ(f.Folder(), root);
        // Folders first, then the files of the type, without regard to case.
        EXPECT_EQ(f.ItemNames(), (std::vector<AnsiString>{"docs/", "sub/", "alpha.txt", "Beta.TXT"}));
        EXPECT_TRUE(f.FileNameEdit().Focused());
        EXPECT_EQ(f.ReadOnlyCheck(), nullptr);
        EXPECT_EQ(f.ControlById(dciOk), &f.OkButton());
        EXPECT_EQ(GetDlgItem(f.Handle(), dciFileName), f.FileNameEdit().Handle());
        EXPECT_EQ(GetDlgItem(f.Handle(), dciCancel), f.CancelButton().Handle());
        ClickItem(f, "Beta.TXT");
        EXPECT_EQ(f.FileNameEdit().Text(), "Beta.TXT");
        // The picture goes to the test's working folder in the build tree.
        EXPECT_TRUE(SnapshotWindow(f.Handle(), "file_dialog_open.png"));
        ClickAt(&f.OkButton(), 10, 10);
    }});
    ASSERT_TRUE(GetOpenFileNameA(&ofn));
    EXPECT_EQ(next, 1u);
    EXPECT_EQ(CommDlgExtendedError(), 0u);
    EXPECT_EQ(std::string(buffer), root + "/Beta.TXT");
    EXPECT_EQ(ofn.nFileOffset, root.size() + 1);
    EXPECT_EQ(ofn.nFileExtension, root.size() + 1 + 5);
    EXPECT_EQ(ofn.nFilterIndex, 1u);
    EXPECT_STREQ(title, "Beta.");
    EXPECT_EQ(ofn.Flags, OFN_EXPLORER | OFN_HIDEREADONLY);
}

TEST_F(FileDialogTest, ADoubleClickEntersAFolderAndTakesAFile) {
    Script({[&](TDialogForm& d) {
        TFileDialogForm& f = File(d);
        const RECT r = f.FileList().ItemRect(f.IndexOfItem("sub/"));
        clock.Advance(1000);
        const POINT p = f.FileList().ClientToScreen(POINT{r.left + 4, r.top + 4});
        InjectDoubleClick(MouseButton::Left, p.x, p.y);
        app->ProcessMessages();
        EXPECT_EQ(f.Folder(), root + "/sub");
        EXPECT_EQ(f.ItemNames(), (std::vector<AnsiString>{"deep.txt"}));
        EXPECT_EQ(f.LookInCombo().Text(), root + "/sub");
        // The folder's ancestors are listed under it: the next one is the parent.
        EXPECT_EQ(f.LookInCombo().Items()[1], root);
        EXPECT_EQ(f.LookInCombo().Items()[f.LookInCombo().Items().Count() - 1], "/");
        f.LookInCombo().SetFocus();
        Key(VK_DOWN);
        EXPECT_EQ(f.Folder(), root);
        EXPECT_EQ(f.LookInCombo().ItemIndex(), 0);
        // And back in by the keyboard: Enter on a folder of the list.
        f.FileList().SetFocus();
        f.FileList().SetItemIndex(f.IndexOfItem("sub/"));
        Key(VK_RETURN);
        EXPECT_EQ(f.Folder(), root + "/sub");
        // Backspace in the list goes up and down again.
        Key(VK_BACK);
        EXPECT_EQ(f.Folder(), root);
        f.FileList().SetItemIndex(f.IndexOfItem("sub/"));
        Key(VK_RETURN);
        EXPECT_EQ(f.Folder(), root + "/sub");
        clock.Advance(1000);
        const RECT r2 = f.FileList().ItemRect(0);
        const POINT p2 = f.FileList().ClientToScreen(POINT{r2.left + 4, r2.top + 4});
        InjectDoubleClick(MouseButton::Left, p2.x, p2.y);
        app->ProcessMessages();
    }});
    ASSERT_TRUE(GetOpenFileNameA(&ofn));
    EXPECT_EQ(std::string(buffer), root + "/sub/deep.txt");
}

TEST_F(FileDialogTest, TypedPathsNamesFoldersAndPatterns) {
    Script({[&](TDialogForm& d) {
        TFileDialogForm& f = File(d);
        // A folder typed is looked in, the field emptied.
        TypeText("sub");
        Key(VK_RETURN);
        EXPECT_EQ(f.Folder(), root + "/sub");
        EXPECT_EQ(f.FileNameEdit().Text(), "");
        // "..", then a pattern: only the matching files show.
        TypeText("..");
        Key(VK_RETURN);
        EXPECT_EQ(f.Folder(), root);
        TypeText("*.zip");
        Key(VK_RETURN);
        EXPECT_EQ(f.ItemNames(), (std::vector<AnsiString>{"docs/", "sub/", "gamma.zip"}));
        // A path elsewhere is taken as it stands, without looking there.
        Replace(f, root + "/sub/deep.txt");
        Key(VK_RETURN);
    }});
    ASSERT_TRUE(GetOpenFileNameA(&ofn));
    EXPECT_EQ(std::string(buffer), root + "/sub/deep.txt");
    EXPECT_EQ(ofn.nFileOffset, root.size() + 5);
}

TEST_F(FileDialogTest, TheHomeFolderIsTypedAsTilde) {
    const char* oldHome = std::getenv("HOME");
    const std::string saved = oldHome ? oldHome : "";
    setenv("HOME", (root + "/sub").c_str(), 1);
    Script({[&](TDialogForm& d) {
        Replace(File(d), "~/deep.txt");
        Key(VK_RETURN);
    }});
    const BOOL ok = GetOpenFileNameA(&ofn);
    setenv("HOME", saved.c_str(), 1);
    ASSERT_TRUE(ok);
    EXPECT_EQ(std::string(buffer), root + "/sub/deep.txt");
}

TEST_F(FileDialogTest, CancelLeavesTheRecordAsItWas) {
    std::strcpy(buffer, "keep.txt");
    for (auto how : {0, 1, 2}) {
        Script({[&](TDialogForm& d) {
            TFileDialogForm& f = File(d);
            EXPECT_EQ(f.FileNameEdit().Text(), "keep.txt");
            ClickItem(f, "alpha.txt");
            if (how == 0) Key(VK_ESCAPE);
            else if (how == 1) ClickAt(&f.CancelButton(), 5, 5);
            else SendMessage(f.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
        }});
        EXPECT_FALSE(GetOpenFileNameA(&ofn)) << how;
        EXPECT_EQ(next, 1u);
        EXPECT_EQ(CommDlgExtendedError(), 0u);
        EXPECT_STREQ(buffer, "keep.txt");
        EXPECT_EQ(ofn.nFileOffset, 0);
        EXPECT_EQ(ofn.nFilterIndex, 1u);
    }
}

TEST_F(FileDialogTest, RecordsOfOtherSizesOrWithoutABufferAreRefused) {
    Script({});
    for (DWORD size : {0u, 75u, 80u, 87u, 89u, 152u}) {
        ofn.lStructSize = size;
        EXPECT_FALSE(GetOpenFileNameA(&ofn)) << size;
        EXPECT_EQ(CommDlgExtendedError(), CDERR_STRUCTSIZE) << size;
        EXPECT_FALSE(GetSaveFileNameA(&ofn)) << size;
        EXPECT_EQ(CommDlgExtendedError(), CDERR_STRUCTSIZE) << size;
    }
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_500A;
    ofn.nMaxFile = 0;
    EXPECT_FALSE(GetOpenFileNameA(&ofn));
    EXPECT_EQ(CommDlgExtendedError(), CDERR_INITIALIZATION);
    ofn.nMaxFile = sizeof buffer;
    ofn.Flags |= OFN_ENABLEHOOK;
    EXPECT_FALSE(GetOpenFileNameA(&ofn));
    EXPECT_EQ(CommDlgExtendedError(), CDERR_INITIALIZATION);
    EXPECT_FALSE(GetOpenFileNameA(nullptr));
    EXPECT_EQ(CommDlgExtendedError(), CDERR_INITIALIZATION);
    EXPECT_EQ(next, 0u) << "no dialog was shown";
}

TEST_F(FileDialogTest, ThePlacesBarFollowsTheRecordSizeAndFlagsEx) {
    struct Case {
        DWORD size, flagsEx;
        bool bar;
    };
    // A 76-byte record has no FlagsEx: whatever lies there is not read.
    for (const Case c : {Case{76, 0, true}, Case{76, OFN_EX_NOPLACESBAR, true}, Case{88, 0, true},
                         Case{88, OFN_EX_NOPLACESBAR, false}}) {
        ofn.lStructSize = c.size;
        ofn.FlagsEx = c.flagsEx;
        bool bar = false;
        int listLeft = 0;
        Script({[&](TDialogForm& d) {
            TFileDialogForm& f = File(d);
            bar = f.PlacesBar() != nullptr;
            listLeft = f.FileList().Left();
            EXPECT_EQ(f.ControlById(dciPlacesBar), static_cast<TWinControl*>(f.PlacesBar()));
            Key(VK_ESCAPE);
        }});
        EXPECT_FALSE(GetOpenFileNameA(&ofn));
        EXPECT_EQ(bar, c.bar) << c.size << " " << c.flagsEx;
        // The bar is 96 wide between margins of 8.
        EXPECT_EQ(listLeft, c.bar ? 8 + 96 + 8 : 8);
        EXPECT_EQ(ofn.FlagsEx, c.flagsEx);
        EXPECT_EQ(ofn.lStructSize, c.size);
    }
}

TEST_F(FileDialogTest, PlacesAreHomeDesktopDocumentsAndTheVolumes) {
    const std::string home = root + "/home";
    fs::create_directories(home + "/.config");
    fs::create_directories(home + "/Desk");
    fs::create_directories(home + "/Papers");
    std::ofstream(home + "/.config/user-dirs.dirs")
        << "XDG_DESKTOP_DIR=\"$HOME/Desk\"\nXDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n";
    std::ofstream(root + "/mounts") << "/dev/sda1 / ext4 rw 0 0\nproc /proc proc rw 0 0\n";
    const char* vars[] = {"HOME", "XDG_CONFIG_HOME"};
    std::vector<std::string> saved;
    for (const char* v : vars) saved.push_back(std::getenv(v) ? std::getenv(v) : "");
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    SetMountTableFile(root + "/mounts");
    const std::vector<TFilePlace> places = FileDialogPlaces();
    ASSERT_EQ(places.size(), 4u);
    EXPECT_EQ(places[0].Caption, "Home");
    EXPECT_EQ(places[0].Path, home);
    EXPECT_EQ(places[1].Caption, "Desktop");
    EXPECT_EQ(places[1].Path, home + "/Desk");
    EXPECT_EQ(places[2].Caption, "Documents");
    EXPECT_EQ(places[2].Path, home + "/Papers");
    EXPECT_EQ(places[3].Caption, "File System");
    EXPECT_EQ(places[3].Path, "/");

    // A click on a place looks there, and the place stays marked.
    fs::remove(home + "/Desk");
    std::ofstream(home + "/Papers/report.txt") << "x";
    Script({[&](TDialogForm& d) {
        TFileDialogForm& f = File(d);
        ASSERT_NE(f.PlacesBar(), nullptr);
        // A place that is gone is not offered.
        EXPECT_EQ(f.PlacesBar()->Items().ToStringList().CommaText(), "Home,Documents,\"File System\"");
        EXPECT_EQ(f.PlacesBar()->ItemIndex(), -1);
        const RECT r = f.PlacesBar()->ItemRect(1);
        ClickAt(f.PlacesBar(), r.left + 4, r.top + 4);
        EXPECT_EQ(f.Folder(), home + "/Papers");
        EXPECT_EQ(f.ItemNames(), (std::vector<AnsiString>{"report.txt"}));
        EXPECT_EQ(f.PlacesBar()->ItemIndex(), 1);
        f.UpButton().Click();
        EXPECT_EQ(f.Folder(), home);
        EXPECT_EQ(f.PlacesBar()->ItemIndex(), 0);
        Key(VK_ESCAPE);
    }});
    GetOpenFileNameA(&ofn);
    SetMountTableFile("/proc/self/mounts");
    for (size_t i = 0; i < std::size(vars); ++i) setenv(vars[i], saved[i].c_str(), 1);
    EXPECT_EQ(next, 1u);
}

TEST_F(FileDialogTest, HiddenFilesShowOnlyWhenAskedFor) {
    ofn.nFilterIndex = 2;
    for (bool force : {false, true}) {
        ofn.Flags = force ? OFN_FORCESHOWHIDDEN : 0;
        std::vector<AnsiString> names;
        Script({[&](TDialogForm& d) {
            names = File(d).ItemNames();
            Key(VK_ESCAPE);
        }});
        GetOpenFileNameA(&ofn);
        std::vector<AnsiString> expected{"docs/", "sub/", "alpha.txt", "Beta.TXT", "gamma.zip", "notes"};
        if (force) expected.insert(expected.begin() + 2, ".hidden");
        EXPECT_EQ(names, expected) << force;
    }
}

TEST_F(FileDialogTest, TheTypesFilterTheListAndTheChosenOneComesBack) {
    ofn.nFilterIndex = 3;
    std::ofstream(root + "/backup.job") << "x";
    Script({[&](TDialogForm& d) {
        TFileDialogForm& f = File(d);
        EXPECT_EQ(f.TypeCombo().Text(), "Zip or job");
        EXPECT_EQ(f.ItemNames(), (std::vector<AnsiString>{"docs/", "sub/", "backup.job", "gamma.zip"}));
        f.TypeCombo().SetFocus();
        Key(VK_UP); // to "All files", as the user chooses it
        EXPECT_EQ(f.ItemNames().size(), 7u);
        ClickItem(f, "notes");
        Key(VK_RETURN);
    }});
    ASSERT_TRUE(GetOpenFileNameA(&ofn));
    EXPECT_EQ(ofn.nFilterIndex, 2u);
    // A name without an extension: the offset of its terminator.
    EXPECT_EQ(std::string(buffer), root + "/notes");
    EXPECT_EQ(ofn.nFileExtension, root.size() + 6);
}

TEST_F(FileDialogTest, SeveralFilesComeBackAsTheFolderAndTheirNames) {
    ofn.Flags |= OFN_ALLOWMULTISELECT;
    Script({[&](TDialogForm& d) {
        TFileDialogForm& f = File(d);
        ClickItem(f, "alpha.txt");
        InjectKey(VK_CONTROL, true);
        ClickItem(f, "Beta.TXT");
        InjectKey(VK_CONTROL, false);
        app->ProcessMessages();
        EXPECT_EQ(f.FileNameEdit().Text(), "\"alpha.txt\" \"Beta.TXT\"");
        ClickAt(&f.OkButton(), 10, 10);
    }});
    ASSERT_TRUE(GetOpenFileNameA(&ofn));
    const std::string expected = root + std::string("\0alpha.txt\0Beta.TXT\0\0", 21);
    EXPECT_EQ(std::string(buffer, expected.size()), expected);
    EXPECT_EQ(ofn.nFileOffset, root.size() + 1);
    EXPECT_EQ(ofn.nFileExtension, 0);

    // The component reads them back as full paths.
    TOpenDialog dialog(nullptr);
    dialog.SetInitialDir(root);
    dialog.SetOptions(OpenOptions({ofAllowMultiSelect, ofHideReadOnly}));
    Script({[&](TDialogForm& d) {
        Replace(File(d), "\"gamma.zip\" \"notes\"");
        Key(VK_RETURN);
    }});
    ASSERT_TRUE(dialog.Execute());
    ASSERT_EQ(dialog.Files().Count(), 2);
    EXPECT_EQ(dialog.Files()[0], root + "/gamma.zip");
    EXPECT_EQ(dialog.Files()[1], root + "/notes");
    EXPECT_EQ(dialog.FileName(), root + "/gamma.zip");
}

TEST_F(FileDialogTest, AResultLongerThanTheBufferReportsTheSizeNeeded) {
    ofn.nMaxFile = 10;
    Script({[&](TDialogForm& d) {
        Replace(File(d), "alpha.txt");
        Key(VK_RETURN);
    }});
    EXPECT_FALSE(GetOpenFileNameA(&ofn));
    EXPECT_EQ(CommDlgExtendedError(), FNERR_BUFFERTOOSMALL);
    const size_t needed = root.size() + 1 + 9 + 1;
    EXPECT_EQ(uint8_t(buffer[0]) | (uint8_t(buffer[1]) << 8), int(needed));
    EXPECT_EQ(buffer[10], 0) << "nothing beyond the buffer";
}

TEST_F(FileDialogTest, AMissingFileIsRefusedWhenItMustExist) {
    ofn.Flags |= OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
    ofn.lpstrDefExt = "txt";
    Script({[&](TDialogForm& d) {
        TFileDialogForm& f = File(d);
        Replace(f, "missing");
        Key(VK_RETURN);
        EXPECT_EQ(f.ProblemText(), "\"missing.txt\" was not found.");
        Replace(f, "nowhere/alpha.txt");
        Key(VK_RETURN);
        EXPECT_EQ(f.ProblemText(), "The folder \"" + root + "/nowhere\" does not exist.");
        // The default extension is added only when the name alone is not there.
        Replace(f, "alpha");
        Key(VK_RETURN);
    }});
    ASSERT_TRUE(GetOpenFileNameA(&ofn));
    EXPECT_EQ(std::string(buffer), root + "/alpha.txt");
    EXPECT_FALSE(ofn.Flags & OFN_EXTENSIONDIFFERENT);
    Script({[&](TDialogForm& d) {
        Replace(File(d), "notes");
        Key(VK_RETURN);
    }});
    ASSERT_TRUE(GetOpenFileNameA(&ofn));
    EXPECT_EQ(std::string(buffer), root + "/notes");
    EXPECT_TRUE(ofn.Flags & OFN_EXTENSIONDIFFERENT);
}

TEST_F(FileDialogTest, SavingOverAFileAsksFirst) {
    ofn.Flags |= OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
    ofn.lpstrDefExt = "txt";
    Script({[&](TDialogForm& d) {
                TFileDialogForm& f = File(d);
                EXPECT_EQ(f.Caption(), "Save As");
                EXPECT_EQ(f.OkButton().Caption(), "&Save");
                Replace(f, "alpha");
                Key(VK_RETURN); // the box: answered No
                EXPECT_TRUE(f.Modal());
                Key(VK_RETURN); // the box again: Yes
            },
            [&](TDialogForm& box) {
                EXPECT_EQ(box.Caption(), "Save As");
                ASSERT_NE(box.ControlById(dciNo), nullptr);
                ClickAt(box.ControlById(dciNo), 5, 5);
            },
            [&](TDialogForm&) { Key(VK_RETURN); }});
    ASSERT_TRUE(GetSaveFileNameA(&ofn));
    EXPECT_EQ(next, 3u);
    EXPECT_EQ(std::string(buffer), root + "/alpha.txt");
    // A new name needs no question; another extension is reported.
    Script({[&](TDialogForm& d) {
        Replace(File(d), "new.zip");
        Key(VK_RETURN);
    }});
    ASSERT_TRUE(GetSaveFileNameA(&ofn));
    EXPECT_EQ(std::string(buffer), root + "/new.zip");
    EXPECT_TRUE(ofn.Flags & OFN_EXTENSIONDIFFERENT);
    EXPECT_FALSE(fs::exists(root + "/new.zip")) << "the dialog makes no file";
}

TEST_F(FileDialogTest, SavingIntoAFolderThatCannotBeWrittenIsRefused) {
    if (geteuid() == 0) GTEST_SKIP() << "the superuser writes anywhere";
    fs::create_directories(root + "/locked");
    chmod((root + "/locked").c_str(), 0555);
    Script({[&](TDialogForm& d) {
        TFileDialogForm& f = File(d);
        Replace(f, "locked/new.txt");
        Key(VK_RETURN);
        EXPECT_EQ(f.ProblemText(), "The folder \"" + root + "/locked\" cannot be written to.");
        Key(VK_ESCAPE);
    }});
    EXPECT_FALSE(GetSaveFileNameA(&ofn));
    // Unless the caller asked for no such check.
    ofn.Flags |= OFN_NOTESTFILECREATE;
    Script({[&](TDialogForm& d) {
        Replace(File(d), "locked/new.txt");
        Key(VK_RETURN);
    }});
    EXPECT_TRUE(GetSaveFileNameA(&ofn));
    chmod((root + "/locked").c_str(), 0755);
}

TEST_F(FileDialogTest, TheInitialNameMayCarryTheFolder) {
    std::strcpy(buffer, (root + "/sub/deep.txt").c_str());
    ofn.lpstrInitialDir = "/";
    Script({[&](TDialogForm& d) {
        TFileDialogForm& f = File(d);
        EXPECT_EQ(f.Folder(), root + "/sub");
        EXPECT_EQ(f.FileNameEdit().Text(), "deep.txt");
        Key(VK_RETURN);
    }});
    ASSERT_TRUE(GetOpenFileNameA(&ofn));
    EXPECT_EQ(std::string(buffer), root + "/sub/deep.txt");
}

TEST_F(FileDialogTest, TheOpenDialogComponentTakesTheResultsBack) {
    TOpenDialog dialog(nullptr);
    dialog.SetFilter("Text files|*.txt|All files|*.*");
    dialog.SetInitialDir(root);
    dialog.SetOptions(OpenOptions({ofEnableSizing, ofFileMustExist}));
    dialog.SetTitle("Pick one");
    int shows = 0, closes = 0;
    dialog.OnShow = [&](TObject*) { ++shows; };
    dialog.OnClose = [&](TObject*) { ++closes; };
    Script({[&](TDialogForm& d) {
        TFileDialogForm& f = File(d);
        EXPECT_EQ(f.Record().lStructSize, 76u);
        EXPECT_EQ(f.Record().Flags, OFN_EXPLORER | OFN_ENABLESIZING | OFN_FILEMUSTEXIST);
        EXPECT_EQ(f.Caption(), "Pick one");
        EXPECT_EQ(f.BorderStyle(), bsSizeable);
        f.TypeCombo().SetFocus();
        Key(VK_DOWN);
        ASSERT_NE(f.ReadOnlyCheck(), nullptr);
        ClickAt(f.ReadOnlyCheck(), 5, 5);
        ClickItem(f, "gamma.zip");
        ClickAt(&f.OkButton(), 10, 10);
    }});
    ASSERT_TRUE(dialog.Execute());
    EXPECT_EQ(shows, 1);
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(dialog.FileName(), root + "/gamma.zip");
    EXPECT_EQ(dialog.FilterIndex(), 2);
    EXPECT_EQ(dialog.Options(), OpenOptions({ofEnableSizing, ofFileMustExist, ofReadOnly}));

    // The save dialog: the same properties through the save dialog.
    TSaveDialog save(nullptr);
    save.SetInitialDir(root);
    save.SetDefaultExt("zip");
    Script({[&](TDialogForm& d) {
        EXPECT_TRUE(File(d).IsSaveDialog());
        Replace(File(d), "archive");
        Key(VK_RETURN);
    }});
    ASSERT_TRUE(save.Execute());
    EXPECT_EQ(save.FileName(), root + "/archive.zip");
    EXPECT_EQ(save.Options() & OpenOptions({ofExtensionDifferent}), 0u);
}

TEST(FileNameMatches, PatternsWithoutRegardToCase) {
    EXPECT_TRUE(FileNameMatches("Backup.ZIP", "*.zip"));
    EXPECT_TRUE(FileNameMatches("noext", "*.*"));
    EXPECT_TRUE(FileNameMatches("noext", " *.txt ; * "));
    EXPECT_TRUE(FileNameMatches("a1.job", "*.zip;a?.JOB"));
    EXPECT_FALSE(FileNameMatches("a12.job", "a?.job"));
    EXPECT_FALSE(FileNameMatches("x.zipx", "*.zip"));
    EXPECT_TRUE(FileNameMatches("ÄRGER.txt", "ä*.TXT"));
    EXPECT_TRUE(FileNameMatches("é.txt", "?.txt")) << "one character, not one byte";
    EXPECT_FALSE(FileNameMatches("a.txt", ""));
    EXPECT_FALSE(FileNameMatches("a.txt", ";;"));
}

} // namespace
} // namespace ax
