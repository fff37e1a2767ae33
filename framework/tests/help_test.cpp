// The application's help: the hook first, then the help file's pop-up
// topic at the pointer and pages opened in the desktop's viewer, which is
// a recording stand-in for xdg-open on PATH here.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "framework/helppopup.h"
#include "framework_fixture.h"

namespace ax {
namespace {

namespace fs = std::filesystem;

const std::string kHelp = "AXHELP 1 Backup Help\n"
                          "[100] Selection <& more>\n"
                          "Tick what to back up.\n"
                          "=> 200\n"
                          "=> https://example.org/?a=1&b=2 Web\n"
                          "[200] Masks\n"
                          "Masks pick files by name.\n";

std::string ReadAll(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class HelpTest : public test::FrameworkTest {
protected:
    void SetUp() override {
        FrameworkTest::SetUp();
        char pattern[] = "/tmp/ax-help-XXXXXX";
        folder = ::mkdtemp(pattern);
        runtime = folder + "/runtime";
        fs::create_directory(runtime);
        savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        savedRuntime = std::getenv("XDG_RUNTIME_DIR") ? std::getenv("XDG_RUNTIME_DIR") : "";
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        // The stand-in hands its arguments, each ended by a NUL, and then
        // "END" to the test through a pipe the test holds open both ways.
        fs::create_directory(folder + "/bin");
        fifo = folder + "/viewer.fifo";
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        keeper = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        ASSERT_GE(reader, 0);
        ASSERT_GE(keeper, 0);
        const std::string viewer = folder + "/bin/xdg-open";
        std::ofstream(viewer) << "#!/bin/sh\n{ printf '%s\\0' \"$@\"; printf 'END\\0'; } > '" << fifo << "'\n";
        ::chmod(viewer.c_str(), 0755);
        setenv("PATH", (folder + "/bin:" + savedPath).c_str(), 1);
        helpFile = folder + "/app.axh";
        std::ofstream(helpFile) << kHelp;
        app->SetHelpFile(helpFile);
    }
    void TearDown() override {
        THelpPopup::OnShown = nullptr;
        FrameworkTest::TearDown(); // the application takes its pages with it
        ::close(reader);
        ::close(keeper);
        setenv("PATH", savedPath.c_str(), 1);
        if (savedRuntime.empty()) unsetenv("XDG_RUNTIME_DIR");
        else setenv("XDG_RUNTIME_DIR", savedRuntime.c_str(), 1);
        fs::remove_all(folder);
    }
    // The arguments of the viewer's next run, waiting for them (bounded).
    std::vector<std::string> ViewerArgs() {
        std::string got;
        while (got.find(std::string("END\0", 4)) == std::string::npos) {
            pollfd p{reader, POLLIN, 0};
            if (::poll(&p, 1, 20000) <= 0) return {"(the viewer never ran)"};
            char buffer[4096];
            const ssize_t n = ::read(reader, buffer, sizeof buffer);
            if (n > 0) got.append(buffer, size_t(n));
        }
        std::vector<std::string> args;
        for (size_t at = 0, end; (end = got.find('\0', at)) != std::string::npos; at = end + 1)
            args.push_back(got.substr(at, end - at));
        args.pop_back(); // "END"
        return args;
    }

    std::string folder, runtime, fifo, helpFile, savedPath, savedRuntime;
    int reader = -1, keeper = -1;
};

TEST_F(HelpTest, TheHookComesFirstAndMayKeepTheCommand) {
    app->SetHelpFile(folder + "/missing.axh");
    std::vector<std::pair<WORD, intptr_t>> asked;
    bool callHelp = false;
    app->OnHelp = [&](WORD command, intptr_t data, bool& call) {
        asked.push_back({command, data});
        call = callHelp;
        return true;
    };
    EXPECT_TRUE(app->HelpCommand(HELP_CONTEXT, 100));
    EXPECT_TRUE(shown.empty()) << "the help file was used although the hook kept the command";
    // Left to the help, the missing file is reported and no help is given.
    callHelp = true;
    EXPECT_FALSE(app->HelpCommand(HELP_CONTEXT, 100));
    EXPECT_EQ(asked, (std::vector<std::pair<WORD, intptr_t>>{{HELP_CONTEXT, 100}, {HELP_CONTEXT, 100}}));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "Cannot read the help file " + folder + "/missing.axh (No such file or directory).");
}

TEST_F(HelpTest, ATopicOpensAsAPageInTheDesktopsViewer) {
    ASSERT_TRUE(app->HelpCommand(HELP_CONTEXT, 100));
    const std::vector<std::string> args = ViewerArgs();
    ASSERT_EQ(args.size(), 1u) << args[0];
    const fs::path page = args[0];
    EXPECT_EQ(page.filename(), "topic-100.html");
    EXPECT_EQ(page.parent_path().parent_path(), runtime);
    EXPECT_EQ(page.parent_path().filename().string().rfind("ardentix-help-", 0), 0u);
    EXPECT_EQ(ReadAll(page),
              "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Selection &lt;&amp; more&gt;</title></head>\n"
              "<body>\n<h1>Selection &lt;&amp; more&gt;</h1>\n"
              "<p>Tick what to back up.</p>\n"
              "<ul>\n<li><a href=\"topic-200.html\">Masks</a></li>\n"
              "<li><a href=\"https://example.org/?a=1&amp;b=2\">Web</a></li>\n</ul>\n"
              "<p><a href=\"index.html\">Contents</a></p>\n</body></html>\n");
    // The pages are the user's alone.
    struct stat st {};
    ASSERT_EQ(::stat(page.parent_path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat(page.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // The linked topic's page is there for the browser to follow.
    EXPECT_TRUE(fs::exists(page.parent_path() / "topic-200.html"));

    ASSERT_TRUE(app->HelpCommand(HELP_CONTENTS, 0));
    const std::vector<std::string> contents = ViewerArgs();
    ASSERT_EQ(contents.size(), 1u);
    EXPECT_EQ(contents[0], (page.parent_path() / "index.html").string());
    EXPECT_EQ(ReadAll(contents[0]),
              "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Backup Help</title></head>\n"
              "<body>\n<h1>Backup Help</h1>\n<ul>\n"
              "<li><a href=\"topic-100.html\">Selection &lt;&amp; more&gt;</a></li>\n"
              "<li><a href=\"topic-200.html\">Masks</a></li>\n</ul>\n</body></html>\n");
    EXPECT_TRUE(shown.empty());

    // The folder goes with the application.
    app.reset();
    EXPECT_FALSE(fs::exists(page.parent_path()));
}

TEST_F(HelpTest, AContextTheFileLacksGivesNoHelp) {
    EXPECT_FALSE(app->HelpCommand(HELP_CONTEXT, 300));
    EXPECT_FALSE(app->HelpCommand(HELP_CONTEXTPOPUP, 300));
    EXPECT_FALSE(app->HelpCommand(HELP_CONTEXT, -1));
    EXPECT_TRUE(shown.empty());
}

TEST_F(HelpTest, AChangedFileIsReadAgain) {
    ASSERT_TRUE(app->HelpCommand(HELP_CONTEXT, 200));
    const std::string first = ViewerArgs().at(0);
    std::ofstream(helpFile) << "AXHELP 1\n[200] Filters\nNew text.\n";
    // A modification time of its own, whatever the file system's grain.
    const timespec times[2] = {{0, UTIME_OMIT}, {1'000'000'000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, helpFile.c_str(), times, 0), 0);
    ASSERT_TRUE(app->HelpCommand(HELP_CONTEXT, 200));
    const std::string second = ViewerArgs().at(0);
    EXPECT_NE(ReadAll(second).find("<h1>Filters</h1>"), std::string::npos) << ReadAll(second);
    EXPECT_FALSE(fs::exists(fs::path(second).parent_path() / "topic-100.html")) << "a page of the old file stayed";
    (void)first;
}

TEST_F(HelpTest, WithoutAViewerTheUserIsToldWhy) {
    setenv("PATH", (folder + "/nothing").c_str(), 1);
    EXPECT_FALSE(app->HelpCommand(HELP_CONTEXT, 100));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "Cannot show the help page: xdg-open could not be started (No such file or directory).");
}

TEST_F(HelpTest, APopUpTopicShowsAtThePointerUntilAClickOrEscape) {
    auto* form = app->CreateForm<TForm>();
    form->SetBounds(0, 0, 400, 300);
    form->Show();
    std::vector<RECT> rects;
    std::vector<int> keysSeen;
    form->SetKeyPreview(true);
    form->OnKeyDown = [&](TObject*, WORD& key, TShiftState) { keysSeen.push_back(key); };
    // Each shown pop-up is told a key it ignores, then what closes it.
    UINT closing = WM_KEYDOWN;
    THelpPopup::OnShown = [&](HWND popup) {
        RECT r{};
        GetWindowRect(popup, r);
        rects.push_back(r);
        EXPECT_EQ(THelpPopup::Showing(), popup);
        PostMessage(popup, WM_KEYDOWN, 'A', 0);
        if (closing == WM_KEYDOWN) PostMessage(popup, WM_KEYDOWN, VK_ESCAPE, 0);
        else PostMessage(popup, closing, MK_LBUTTON, MAKELPARAM(3, 3));
    };
    SetCursorPos(120, 90);
    EXPECT_TRUE(app->HelpCommand(HELP_CONTEXTPOPUP, 100));
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(rects[0].left, 120);
    EXPECT_EQ(rects[0].top, 90);
    EXPECT_GT(rects[0].width(), 40);
    EXPECT_EQ(THelpPopup::Showing(), nullptr);
    closing = WM_LBUTTONDOWN;
    EXPECT_TRUE(app->HelpCommand(HELP_CONTEXTPOPUP, 200));
    EXPECT_EQ(rects.size(), 2u);
    EXPECT_EQ(THelpPopup::Showing(), nullptr);
    // Keys went to the pop-up, never to the form under it.
    app->ProcessMessages();
    EXPECT_TRUE(keysSeen.empty());
    // Near the screen's corner the pop-up stays on the work area.
    RECT work{};
    SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0);
    SetCursorPos(work.right - 2, work.bottom - 2);
    closing = WM_KEYDOWN;
    EXPECT_TRUE(app->HelpCommand(HELP_CONTEXTPOPUP, 100));
    ASSERT_EQ(rects.size(), 3u);
    EXPECT_EQ(rects[2].right, work.right);
    EXPECT_EQ(rects[2].bottom, work.bottom);
    EXPECT_TRUE(shown.empty());
}

} // namespace
} // namespace ax
