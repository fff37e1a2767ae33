// The places dialogs: which record the platform's dialog gets on new and
// old platforms, the places-bar switch, and the results back in the
// caller's record and the component.
#include <algorithm>
#include <cstring>
#include <fstream>

#include "controls/PlacesOpenDialog.h"
#include "controls/PlacesSaveDialog.h"
#include "controls_fixture.h"
#include "platform/osversion.h"
#include "stdctrls/filedialogform.h"
#include "framework/streaming.h"
#include "rtl/streams.h"
#include "rtl/sysutils.h"
#include "temp_folder.h"

namespace ax {
namespace {

using test::ControlsTest;

OSVERSIONINFOA Version(DWORD platform, DWORD major, DWORD minor) {
    OSVERSIONINFOA v;
    v.dwPlatformId = platform;
    v.dwMajorVersion = major;
    v.dwMinorVersion = minor;
    return v;
}

class PlacesDialogTest : public ControlsTest {
protected:
    void SetUp() override {
        ControlsTest::SetUp();
        for (const char* f : {"a.zip", "b.job", "c.txt"}) std::ofstream(folder.File(f)) << "x";
    }
    void TearDown() override {
        OnDialogModal = nullptr;
        SetReportedVersion(nullptr);
        SetVersionExFails(false);
        ControlsTest::TearDown();
    }
    // Serves messages until the window and every window in it are shown and
    // have nothing left to paint; false when they never get there.
    bool WaitPainted(HWND window) {
        const auto painted = [window] {
            std::vector<HWND> all = EnumChildWindows(window);
            all.push_back(window);
            return std::all_of(all.begin(), all.end(), [](HWND h) {
                return !IsWindowVisible(h) || !GetUpdateRect(h, nullptr, FALSE);
            }) && IsWindowVisible(window);
        };
        for (int round = 0; round < 100 && !painted(); ++round) app->ProcessMessages();
        return painted();
    }
    // What the dialog was given, and a file picked there by a click on it.
    struct Seen {
        DWORD size = 0, flagsEx = 0;
        bool bar = false, save = false;
    };
    void PickOnShow(Seen& seen, const std::string& item, bool readOnly = false) {
        OnDialogModal = [&seen, item, readOnly, this](TDialogForm& d) {
            auto& f = dynamic_cast<TFileDialogForm&>(d);
            seen.size = f.Record().lStructSize;
            seen.flagsEx = f.Record().lStructSize == 88 ? f.Record().FlagsEx : 0;
            seen.bar = f.PlacesBar() != nullptr;
            seen.save = f.IsSaveDialog();
            if (f.TypeCombo().Items().Count() > 1) {
                f.TypeCombo().SetFocus();
                Key(VK_DOWN);
            }
            if (readOnly) ClickAt(f.ReadOnlyCheck(), 4, 4);
            const RECT r = f.FileList().ItemRect(f.IndexOfItem(item));
            ClickAt(&f.FileList(), r.left + 4, r.top + 4);
            ClickAt(&f.OkButton(), 5, 5);
        };
    }
    test::TempFolder folder;
};

TEST(FileDialogNewStyle, FromNt5And9x490On) {
    struct Case {
        OSVERSIONINFOA v;
        bool newStyle;
    };
    const Case cases[] = {
        {Version(2, 5, 0), true},  {Version(2, 5, 1), true},   {Version(2, 6, 1), true},
        {Version(2, 4, 0), false}, {Version(2, 4, 90), false}, {Version(1, 4, 90), true},
        {Version(1, 4, 91), true}, {Version(1, 4, 10), false}, {Version(1, 4, 0), false},
        {Version(0, 5, 0), false},
    };
    for (const Case& c : cases) {
        SetReportedVersion(&c.v);
        EXPECT_EQ(FileDialogNewStyle(), c.newStyle)
            << c.v.dwPlatformId << " " << c.v.dwMajorVersion << "." << c.v.dwMinorVersion;
    }
    SetReportedVersion(nullptr);
    EXPECT_TRUE(FileDialogNewStyle()) << "this platform's dialogs take the larger record";
    SetVersionExFails(true);
    EXPECT_FALSE(FileDialogNewStyle());
    SetVersionExFails(false);
}

TEST_F(PlacesDialogTest, TheSwitchTravelsInFlagsExOfTheLargerRecord) {
    for (bool show : {true, false}) {
        TPlacesOpenDialog dialog(MainForm());
        EXPECT_TRUE(dialog.ShowPlacesBar());
        dialog.SetShowPlacesBar(show);
        dialog.SetInitialDir(folder.File(""));
        Seen seen;
        PickOnShow(seen, "b.job");
        ASSERT_TRUE(dialog.Execute());
        EXPECT_EQ(seen.size, 88u);
        EXPECT_EQ(seen.flagsEx, show ? 0u : 1u);
        EXPECT_EQ(seen.bar, show);
        EXPECT_FALSE(seen.save);
        EXPECT_EQ(dialog.FileName(), folder.File("b.job"));
    }
}

TEST_F(PlacesDialogTest, OnAnOldPlatformThePlainDialogRunsWhateverTheSwitch) {
    const OSVERSIONINFOA nt4 = Version(2, 4, 0);
    SetReportedVersion(&nt4);
    for (bool show : {true, false}) {
        TPlacesSaveDialog save(MainForm());
        save.SetShowPlacesBar(show);
        save.SetInitialDir(folder.File(""));
        Seen seen;
        PickOnShow(seen, "c.txt");
        ASSERT_TRUE(save.Execute());
        EXPECT_EQ(seen.size, 76u);
        EXPECT_TRUE(seen.bar) << "the first record always has the bar";
        EXPECT_TRUE(seen.save);
        TPlacesOpenDialog open(MainForm());
        open.SetShowPlacesBar(show);
        open.SetInitialDir(folder.File(""));
        PickOnShow(seen, "c.txt");
        ASSERT_TRUE(open.Execute());
        EXPECT_EQ(seen.size, 76u);
        EXPECT_FALSE(seen.save);
    }
}

TEST_F(PlacesDialogTest, TheSaveDialogRunsTheSaveDialogOnTheNewStyle) {
    TPlacesSaveDialog save(MainForm());
    save.SetShowPlacesBar(false);
    save.SetInitialDir(folder.File(""));
    Seen seen;
    PickOnShow(seen, "a.zip");
    ASSERT_TRUE(save.Execute());
    EXPECT_EQ(seen.size, 88u);
    EXPECT_EQ(seen.flagsEx, 1u);
    EXPECT_TRUE(seen.save);
    EXPECT_EQ(save.FileName(), folder.File("a.zip"));
}

// What the user chose beyond the file name reaches the caller: the filter
// index, read-only and the offsets.
TEST_F(PlacesDialogTest, TheChoicesComeBackIntoTheCallersRecord) {
    char file[260] = {};
    OPENFILENAMEA ofn;
    ofn.lStructSize = 76;
    ofn.FlagsEx = 0x5A5A; // not part of a 76-byte record: left alone
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.lpstrFilter = "Archives\0*.zip\0Everything\0*.*\0";
    ofn.nFilterIndex = 1;
    const std::string dir = ExcludeTrailingPathDelimiter(folder.File(""));
    ofn.lpstrInitialDir = dir.c_str();
    ofn.Flags = OFN_EXPLORER;
    Seen seen;
    PickOnShow(seen, "c.txt", true);
    ASSERT_TRUE(PlacesOpenFileName(&ofn));
    EXPECT_EQ(seen.size, 88u);
    EXPECT_EQ(std::string(file), dir + "/c.txt");
    EXPECT_EQ(ofn.lStructSize, 76u);
    EXPECT_EQ(ofn.FlagsEx, 0x5A5Au);
    EXPECT_EQ(ofn.nFilterIndex, 2u);
    EXPECT_EQ(ofn.Flags, OFN_EXPLORER | OFN_READONLY);
    EXPECT_EQ(ofn.nFileOffset, dir.size() + 1);
    EXPECT_EQ(ofn.nFileExtension, dir.size() + 3);

    TPlacesOpenDialog dialog(MainForm());
    dialog.SetFilter("Archives|*.zip|Everything|*.*");
    dialog.SetInitialDir(dir);
    dialog.SetOptions(OpenOptions({ofEnableSizing}));
    PickOnShow(seen, "b.job", true);
    ASSERT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.FilterIndex(), 2);
    EXPECT_EQ(dialog.Options(), OpenOptions({ofEnableSizing, ofReadOnly}));
}

TEST_F(PlacesDialogTest, CancelAndRefusalsPassThrough) {
    TPlacesOpenDialog dialog(MainForm());
    dialog.SetInitialDir(folder.File(""));
    dialog.SetFileName("kept.txt");
    OnDialogModal = [this](TDialogForm& d) {
        // The modal loop serves this before the dialog's first paint.
        EXPECT_TRUE(WaitPainted(d.Handle()));
        Snapshot(d.Handle(), "places_open_dialog");
        Key(VK_ESCAPE);
    };
    EXPECT_FALSE(dialog.Execute());
    EXPECT_EQ(dialog.FileName(), "kept.txt");
    EXPECT_EQ(CommDlgExtendedError(), 0u);
    OPENFILENAMEA bad;
    bad.lStructSize = 60;
    EXPECT_FALSE(PlacesSaveFileName(&bad)) << "the wrapper's record has no buffer";
    EXPECT_EQ(CommDlgExtendedError(), CDERR_INITIALIZATION);
    EXPECT_EQ(bad.lStructSize, 60u);
    EXPECT_FALSE(PlacesOpenFileName(nullptr));
}

TEST_F(PlacesDialogTest, TheSwitchIsAlwaysStored) {
    TPlacesOpenDialog dialog(nullptr);
    dialog.SetName("PlacesOpenDialog1");
    TMemoryStream stream;
    WriteComponentResource(stream, dialog);
    const std::string written(reinterpret_cast<const char*>(stream.Memory()), size_t(stream.Size()));
    EXPECT_NE(written.find("\x0dShowPlacesBar\x09"), std::string::npos) << "stored as true";
    stream.SetPosition(0);
    TPlacesOpenDialog read(nullptr);
    read.SetShowPlacesBar(false);
    ReadComponentResource(stream, read);
    EXPECT_TRUE(read.ShowPlacesBar());
    // Switched off, it is stored as off and read back so.
    dialog.SetShowPlacesBar(false);
    TMemoryStream off;
    WriteComponentResource(off, dialog);
    const std::string offText(reinterpret_cast<const char*>(off.Memory()), size_t(off.Size()));
    EXPECT_NE(offText.find("\x0dShowPlacesBar\x08"), std::string::npos);
    off.SetPosition(0);
    TPlacesOpenDialog again(nullptr);
    ReadComponentResource(off, again);
    EXPECT_FALSE(again.ShowPlacesBar());
}

} // namespace
} // namespace ax
