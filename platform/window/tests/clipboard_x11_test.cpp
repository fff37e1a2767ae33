// The clipboard shared with other X programs, as xclip sees it: files the
// program copies or cuts are read as URI lists, files xclip offers come in
// as CF_HDROP with copy or cut, and lists of thousands of files go both ways.
#include "test_support.h"
#include "xclip.h"
#include "xvfb.h"

#include <cstdlib>
#include <optional>

namespace ax {
namespace {

using test::FindXvfb;
using test::XclipOffer;
using test::Xvfb;

using Paths = std::vector<std::string>;

std::shared_ptr<IDataObject> Files(const Paths& paths, DWORD effect) {
    auto data = CreateDataObject();
    SetDataBytes(*data, CF_HDROP, MakeFileList(paths));
    SetDataBytes(*data, RegisterClipboardFormat("Preferred DropEffect"),
                 {static_cast<uint8_t>(effect), 0, 0, 0});
    return data;
}

// What the clipboard holds as files now: its paths and preferred effect.
Paths PastedFiles(DWORD* effect = nullptr) {
    Paths paths;
    if (!OpenClipboard(nullptr)) return paths;
    if (auto list = GetClipboardData(CF_HDROP)) ReadFileList(*list, paths);
    if (auto e = GetClipboardData(RegisterClipboardFormat("Preferred DropEffect")); e && effect)
        *effect = e->empty() ? 0 : (*e)[0];
    CloseClipboard();
    return paths;
}

class ClipboardX11 : public ::testing::Test {
protected:
    void SetUp() override {
        if (FindXvfb().empty() || test::FindProgram("xclip").empty())
            GTEST_SKIP() << "Xvfb or xclip is not installed";
        ASSERT_TRUE(server.Start(FindXvfb())) << server.Error();
        setenv("DISPLAY", server.Name().c_str(), 1);
        ASSERT_TRUE(SelectDisplay(DisplayKind::X11));
    }
    void TearDown() override { SelectDisplay(DisplayKind::Headless); }
    Xvfb server;
};

TEST_F(ClipboardX11, CopiedFilesAreOfferedAsUriListsAndAsCopiedFiles) {
    ASSERT_EQ(OleSetClipboard(Files({"/srv/a b.txt", "/srv/é"}, DROPEFFECT_COPY)), S_OK);
    PumpDisplay();
    const std::string targets = test::XclipOutput("TARGETS");
    for (const char* t : {"TARGETS", "text/uri-list", "x-special/gnome-copied-files", "UTF8_STRING"})
        EXPECT_NE(targets.find(t), std::string::npos) << t << " missing from " << targets;
    EXPECT_EQ(test::XclipOutput("text/uri-list"), "file:///srv/a%20b.txt\r\nfile:///srv/%C3%A9\r\n");
    EXPECT_EQ(test::XclipOutput("x-special/gnome-copied-files"), "copy\nfile:///srv/a%20b.txt\nfile:///srv/%C3%A9");
    EXPECT_EQ(test::XclipOutput("UTF8_STRING"), "/srv/a b.txt\n/srv/é");

    ASSERT_EQ(OleSetClipboard(Files({"/srv/cut"}, DROPEFFECT_MOVE)), S_OK);
    PumpDisplay();
    EXPECT_EQ(test::XclipOutput("x-special/gnome-copied-files"), "cut\nfile:///srv/cut");
}

TEST_F(ClipboardX11, FilesAnotherProgramCopiesOrCutsArePasted) {
    // Ours first: the other program's offer replaces it.
    ASSERT_EQ(OleSetClipboard(Files({"/srv/ours"}, DROPEFFECT_COPY)), S_OK);
    PumpDisplay();
    std::optional<XclipOffer> other;
    other.emplace("x-special/gnome-copied-files", std::string("cut\nfile:///w/x%20y\nfile:///w/z\0", 32));
    DWORD effect = 0;
    ASSERT_TRUE(server.WaitFor([&] { return PastedFiles(&effect) == Paths{"/w/x y", "/w/z"}; }));
    EXPECT_EQ(effect, DROPEFFECT_MOVE);
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_HDROP));
    std::shared_ptr<IDataObject> data;
    ASSERT_EQ(OleGetClipboard(&data), S_OK);
    Paths viaObject;
    ASSERT_TRUE(ReadFileList(GetDataBytes(*data, CF_HDROP), viaObject));
    EXPECT_EQ(viaObject, (Paths{"/w/x y", "/w/z"}));
    other.reset();

    // A plain URI list is a copy.
    other.emplace("text/uri-list", "file:///w/only\r\n");
    ASSERT_TRUE(server.WaitFor([&] { return PastedFiles(&effect) == Paths{"/w/only"}; }));
    EXPECT_EQ(effect, DROPEFFECT_COPY);
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_TEXT));
}

TEST_F(ClipboardX11, AnEmptiedClipboardIsEmptyForOtherProgramsToo) {
    XclipOffer other("text/uri-list", "file:///w/theirs\r\n");
    ASSERT_TRUE(server.WaitFor([&] { return PastedFiles() == Paths{"/w/theirs"}; }));
    ASSERT_TRUE(OpenClipboard(nullptr));
    EXPECT_TRUE(EmptyClipboard());
    EXPECT_TRUE(CloseClipboard());
    PumpDisplay();
    EXPECT_TRUE(server.WaitFor([&] { return test::XclipOutput("TARGETS") == "TARGETS\n"; }));
    EXPECT_EQ(PastedFiles(), Paths{});
}

TEST_F(ClipboardX11, WhatWasHeldBeforeTheDisplayCameGivesWayToAnotherProgram) {
    SelectDisplay(DisplayKind::Headless);
    ASSERT_EQ(OleSetClipboard(Files({"/srv/before"}, DROPEFFECT_COPY)), S_OK);
    ASSERT_TRUE(SelectDisplay(DisplayKind::X11));
    XclipOffer other("text/uri-list", "file:///w/theirs\r\n");
    EXPECT_TRUE(server.WaitFor([&] { return PastedFiles() == Paths{"/w/theirs"}; }));
}

// Our side sends the list in pieces; xclip sends it whole.
TEST_F(ClipboardX11, ThousandsOfFilesGoBothWays) {
    Paths many;
    std::string expected;
    for (int i = 0; i < 5000; ++i) {
        many.push_back("/srv/backup/set/file number " + std::to_string(i) + ".dat");
        expected += "file:///srv/backup/set/file%20number%20" + std::to_string(i) + ".dat\r\n";
    }
    ASSERT_GT(expected.size(), 3 * 64 * 1024u);
    ASSERT_EQ(OleSetClipboard(Files(many, DROPEFFECT_COPY)), S_OK);
    PumpDisplay();
    EXPECT_TRUE(test::XclipOutput("text/uri-list") == expected);

    XclipOffer other("text/uri-list", expected);
    Paths pasted;
    ASSERT_TRUE(server.WaitFor([&] { return (pasted = PastedFiles()).size() == many.size(); }));
    EXPECT_EQ(pasted.front(), "/srv/backup/set/file number 0.dat");
    EXPECT_EQ(pasted.back(), "/srv/backup/set/file number 4999.dat");
    EXPECT_TRUE(pasted == many);
}

} // namespace
} // namespace ax
