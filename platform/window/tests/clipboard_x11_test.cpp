// The clipboard shared with other X programs, as xclip sees it: files the
// program copies or cuts are read as URI lists, files xclip offers come in
// as CF_HDROP with copy or cut, and lists of thousands of files go both ways.
#include "test_support.h"
#include "xvfb.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ax {
namespace {

using test::FindXvfb;
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
    void TearDown() override {
        StopOffer();
        SelectDisplay(DisplayKind::Headless);
    }
    // xclip's output for one target of the clipboard.
    static std::string Xclip(const std::string& target) {
        const std::string cmd = "xclip -selection clipboard -t " + target + " -o 2>/dev/null";
        std::string out;
        if (FILE* p = popen(cmd.c_str(), "r")) {
            char buf[65536];
            for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
                out.append(buf, n);
            pclose(p);
        }
        return out;
    }
    // xclip takes the clipboard with this data in one target and serves it
    // until StopOffer.
    void Offer(const std::string& target, const std::string& data) {
        int in[2];
        ASSERT_EQ(pipe(in), 0);
        offerer = fork();
        if (offerer == 0) {
            dup2(in[0], 0);
            close(in[0]);
            close(in[1]);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execlp("xclip", "xclip", "-quiet", "-selection", "clipboard", "-t", target.c_str(),
                   "-i", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(in[0]);
        ASSERT_EQ(write(in[1], data.data(), data.size()), static_cast<ssize_t>(data.size()));
        close(in[1]);
    }
    void StopOffer() {
        if (offerer <= 0) return;
        kill(offerer, SIGTERM);
        waitpid(offerer, nullptr, 0);
        offerer = 0;
    }

    Xvfb server;
    pid_t offerer = 0;
};

TEST_F(ClipboardX11, CopiedFilesAreOfferedAsUriListsAndAsCopiedFiles) {
    ASSERT_EQ(OleSetClipboard(Files({"/srv/a b.txt", "/srv/é"}, DROPEFFECT_COPY)), S_OK);
    PumpDisplay();
    const std::string targets = Xclip("TARGETS");
    for (const char* t : {"TARGETS", "text/uri-list", "x-special/gnome-copied-files", "UTF8_STRING"})
        EXPECT_NE(targets.find(t), std::string::npos) << t << " missing from " << targets;
    EXPECT_EQ(Xclip("text/uri-list"), "file:///srv/a%20b.txt\r\nfile:///srv/%C3%A9\r\n");
    EXPECT_EQ(Xclip("x-special/gnome-copied-files"), "copy\nfile:///srv/a%20b.txt\nfile:///srv/%C3%A9");
    EXPECT_EQ(Xclip("UTF8_STRING"), "/srv/a b.txt\n/srv/é");

    ASSERT_EQ(OleSetClipboard(Files({"/srv/cut"}, DROPEFFECT_MOVE)), S_OK);
    PumpDisplay();
    EXPECT_EQ(Xclip("x-special/gnome-copied-files"), "cut\nfile:///srv/cut");
}

TEST_F(ClipboardX11, FilesAnotherProgramCopiesOrCutsArePasted) {
    // Ours first: the other program's offer replaces it.
    ASSERT_EQ(OleSetClipboard(Files({"/srv/ours"}, DROPEFFECT_COPY)), S_OK);
    PumpDisplay();
    Offer("x-special/gnome-copied-files", std::string("cut\nfile:///w/x%20y\nfile:///w/z\0", 32));
    DWORD effect = 0;
    ASSERT_TRUE(server.WaitFor([&] { return PastedFiles(&effect) == Paths{"/w/x y", "/w/z"}; }));
    EXPECT_EQ(effect, DROPEFFECT_MOVE);
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_HDROP));
    std::shared_ptr<IDataObject> data;
    ASSERT_EQ(OleGetClipboard(&data), S_OK);
    Paths viaObject;
    ASSERT_TRUE(ReadFileList(GetDataBytes(*data, CF_HDROP), viaObject));
    EXPECT_EQ(viaObject, (Paths{"/w/x y", "/w/z"}));
    StopOffer();

    // A plain URI list is a copy.
    Offer("text/uri-list", "file:///w/only\r\n");
    ASSERT_TRUE(server.WaitFor([&] { return PastedFiles(&effect) == Paths{"/w/only"}; }));
    EXPECT_EQ(effect, DROPEFFECT_COPY);
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_TEXT));
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
    EXPECT_TRUE(Xclip("text/uri-list") == expected);

    Offer("text/uri-list", expected);
    Paths pasted;
    ASSERT_TRUE(server.WaitFor([&] { return (pasted = PastedFiles()).size() == many.size(); }));
    EXPECT_EQ(pasted.front(), "/srv/backup/set/file number 0.dat");
    EXPECT_EQ(pasted.back(), "/srv/backup/set/file number 4999.dat");
    EXPECT_TRUE(pasted == many);
}

} // namespace
} // namespace ax
