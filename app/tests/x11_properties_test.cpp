// The properties window on a real display under a window manager, opened
// from the main window with Alt+Enter typed through XTest: for a file
// chosen in the list and for a folder chosen in the tree, its values
// compared with what stat(2) says of the same paths, closed with Escape;
// and with Alt held while an item is double-clicked.
// properties_file.png and properties_folder.png are the two windows,
// properties_counting.png the folder while it is counted.
#include "app/MainForm.h"
#include "pane_points.h"
#include "platform/shellns/propertysheetservice.h"
#include "rtl/sysutils.h"
#include "explorer/ExplorerViews.h"
#include "explorer/PropertiesFormService.h"
#include "shell/ShellUtilities.h"
#include "x11_program.h"

#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ax {
namespace {

namespace fs = std::filesystem;
using testing::CaptionPoint;
using testing::ChildNamed;
using testing::QuietPane;

constexpr unsigned long kXK_Return = 0xFF0D, kXK_Escape = 0xFF1B, kXK_Alt_L = 0xFFE9;

class X11PropertiesTest : public test::X11FormTest {
protected:
    void SetUp() override {
        folder = (fs::temp_directory_path() / ("ax-props-" + std::to_string(getpid()))).string();
        fs::remove_all(folder);
        home = folder + "/home";
        fs::create_directories(home + "/Documents/sub");
        WriteBytes(home + "/notes.txt", 12345);
        WriteBytes(home + "/Documents/a.txt", 100);
        WriteBytes(home + "/Documents/sub/b.txt", 2000);
        savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
        setenv("HOME", home.c_str(), 1);
        saved = FormatSettings();
        FormatSettings() = TFormatSettings{};
        test::X11FormTest::SetUp();
    }
    void TearDown() override {
        test::X11FormTest::TearDown();
        FormatSettings() = saved;
        setenv("HOME", savedHome.c_str(), 1);
        fs::remove_all(folder);
    }
    TForm* Build(TApplication& app) override {
        // As the program does at start-up.
        service = std::make_unique<TPropertiesFormService>(&app);
        SetPropertySheetService(service.get());
        main = app.CreateForm<TMainform>();
        QuietPane(main->ExpTree);
        QuietPane(main->ExpList);
        main->SetRootPath(home);
        return main;
    }
    void BeforeEnd() override { SetPropertySheetService(nullptr); }
    static void WriteBytes(const std::string& path, size_t n) { std::ofstream(path) << std::string(n, 'p'); }

    POINT Caption(TCustomExplorerTree* pane, const std::string& name) {
        return program->Get<POINT>([&] {
            PDataNode node = ChildNamed(pane, pane == main->ExpTree ? pane->GetFirst() : nullptr, name);
            return node ? pane->ClientToScreen(CaptionPoint(pane, node)) : POINT{-1, -1};
        });
    }
    void AltEnter() {
        server.Key(kXK_Alt_L, true);
        server.KeyStroke(kXK_Return);
        server.Key(kXK_Alt_L, false);
    }
    // The one properties window, once it is on screen with the count done.
    TPropertiesForm* Sheet() {
        TPropertiesForm* form = nullptr;
        if (!Until([&] { return service->Forms().size() == 1; })) return nullptr;
        form = program->Get<TPropertiesForm*>([&] { return service->Forms()[0]; });
        for (int i = 0; i < 100 && program->Get<bool>([&] { return form->Counting(); }); ++i)
            clock.Advance(TPropertiesForm::kSliceInterval);
        const HWND h = program->Get<HWND>([&] { return form->Handle(); });
        return Shown(h, true) ? form : nullptr;
    }
    AnsiString Value(TPropertiesForm* form, const char* caption) {
        return program->Get<AnsiString>([&] { return form->ValueOf(caption); });
    }
    void Expect(TPropertiesForm* form, const std::string& path, const char* name, const char* size) {
        struct stat st;
        ASSERT_EQ(lstat(path.c_str(), &st), 0) << path;
        const passwd* pw = getpwuid(st.st_uid);
        EXPECT_EQ(Value(form, "Name:"), name);
        EXPECT_EQ(Value(form, "Location:"), ExtractFileDir(path));
        EXPECT_EQ(Value(form, "Size:"), size);
        EXPECT_EQ(Value(form, "Owner:"), pw ? pw->pw_name : std::to_string(st.st_uid));
        char octal[8];
        std::snprintf(octal, sizeof octal, "%04o", st.st_mode & 07777);
        EXPECT_EQ(Value(form, "Permissions:").substr(11, 4), octal);
        EXPECT_EQ(Value(form, "Modified:"),
                  WideToUtf8(FileTimeToDateTimeStr(FileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec))));
    }
    // Closes the window with Escape and waits until the server no longer
    // shows it, nor the window manager its frame: a click sent while either
    // was there would land on it and be lost.
    void CloseWithEscape(TPropertiesForm* form) {
        const unsigned long x = XWindowOf(program->Get<HWND>([&] { return form->Handle(); }));
        server.KeyStroke(kXK_Escape);
        EXPECT_TRUE(Until([&] { return service->Forms().empty(); })) << "Escape did not close the window";
        EXPECT_TRUE(server.WaitFor([&] { return !server.WindowGeometry(x).viewable; })) << "the window stays shown";
        EXPECT_TRUE(server.WindowManagerBarrier()) << "the window manager did not answer";
    }
    // Gives the main form the keyboard back, as the user picks it again.
    void BackToMainForm() {
        server.Activate(window);
        ASSERT_TRUE(Shown(program->formWindow(), true)) << "the main form did not get the keyboard back";
    }

    std::string folder, home, savedHome;
    TFormatSettings saved;
    std::unique_ptr<TPropertiesFormService> service;
    TMainform* main = nullptr;
};

TEST_F(X11PropertiesTest, AltEnterShowsThePropertiesOfAFileAndOfAFolder) {
    // notes.txt chosen in the list, which shows the home folder.
    const POINT notes = Caption(main->ExpList, "notes.txt");
    ASSERT_GE(notes.x, 0);
    Click(notes);
    ASSERT_TRUE(Until([&] { return GetFocus() == main->ExpList->Handle(); })) << "the list has no focus";
    AltEnter();
    TPropertiesForm* file = Sheet();
    ASSERT_NE(file, nullptr) << "Alt+Enter in the list opened no window";
    Expect(file, home + "/notes.txt", "notes.txt", "12.0 KB (12,345 bytes)");
    EXPECT_EQ(Value(file, "Type:"), "TXT File");
    Shot(program->Get<HWND>([&] { return file->Handle(); }), "properties_file");
    CloseWithEscape(file);

    // Alt held while notes.txt is double-clicked in the list.
    BackToMainForm();
    clock.Advance(1000);
    server.Key(kXK_Alt_L, true);
    server.Click(notes.x, notes.y);
    server.Click(notes.x, notes.y);
    server.Key(kXK_Alt_L, false);
    file = Sheet();
    ASSERT_NE(file, nullptr) << "Alt+double click in the list opened no window";
    EXPECT_EQ(Value(file, "Name:"), "notes.txt");
    CloseWithEscape(file);

    // Documents chosen in the tree: 2 files, 1 folder, 2,100 bytes.
    BackToMainForm();
    const POINT documents = Caption(main->ExpTree, "Documents");
    ASSERT_GE(documents.x, 0);
    Click(documents);
    ASSERT_TRUE(Until([&] { return GetFocus() == main->ExpTree->Handle(); })) << "the tree has no focus";
    AltEnter();
    TPropertiesForm* dir = Sheet();
    ASSERT_NE(dir, nullptr) << "Alt+Enter in the tree opened no window";
    Expect(dir, home + "/Documents", "Documents", "2.05 KB (2,100 bytes)");
    EXPECT_EQ(Value(dir, "Contains:"), "2 files, 1 folder");
    EXPECT_EQ(Value(dir, "Type:"), "File Folder");
    Shot(program->Get<HWND>([&] { return dir->Handle(); }), "properties_folder");

    // Counted again one entry a slice: "Counting..." while the timer runs.
    ASSERT_TRUE(program->Call([&] {
        const UniquePIDL pidl(PathToPIDL(Utf8ToWide(home + "/Documents")));
        dir->SetSliceSize(1);
        dir->SetItems({std::string(reinterpret_cast<const char*>(pidl.get()), ILByteSize(pidl.get()))});
    }));
    EXPECT_EQ(program->Get<AnsiString>([&] { return dir->StatusLabel->Caption(); }), "Counting...");
    Shot(program->Get<HWND>([&] { return dir->Handle(); }), "properties_counting");
    for (int i = 0; i < 50 && program->Get<bool>([&] { return dir->Counting(); }); ++i)
        clock.Advance(TPropertiesForm::kSliceInterval);
    EXPECT_TRUE(Until([&] { return !dir->Counting(); })) << "the count did not end";
    EXPECT_EQ(Value(dir, "Contains:"), "2 files, 1 folder");
    CloseWithEscape(dir);
}

} // namespace
} // namespace ax
