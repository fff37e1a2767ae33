// The crash reporter's save button as the program has it, on a private
// Xvfb with openbox: the box on a worker thread (the reporter's) while the
// GUI thread waits, the save pressed with XTest, the program's own save
// dialog shown over the box, a name typed, and the report written there.
// crash_report_save_dialog.png is the screen with the dialog open.
#include "app/ReportSaveDialog.h"

#include "crash/vorExcept.h"
#include "crash/vorExceptBox.h"
#include "crash/vorRestart.h"
#include "crash/vorSettings.h"
#include "framework/forms.h"
#include "platform/window/display.h"
#include "platform/window/sound.h"
#include "platform/window/window.h"
#include "rtl/clock.h"
#include "xvfb.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace ax {
namespace {

constexpr unsigned long kXK_Return = 0xFF0D;

class X11ReportSave : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string binary = test::FindXvfb();
        if (binary.empty() || test::FindProgram("openbox").empty()) GTEST_SKIP() << "Xvfb or openbox is not installed";
        ASSERT_TRUE(server.Start(binary)) << server.Error();
        ASSERT_TRUE(server.StartWindowManager()) << server.Error();
        setenv("DISPLAY", server.Name().c_str(), 1);
        SetTestFont(true);
        ASSERT_TRUE(SelectDisplay(DisplayKind::X11));
        SetClock(&clock);
        app = std::make_unique<TApplication>(nullptr);
        saved = ReporterSettings();
        char tmpl[] = "/tmp/axreportx11XXXXXX";
        folder = ::mkdtemp(tmpl);
        // A name of no folder: the user is asked where it goes.
        ReporterSettings().BugReportFile = "axreport-x11-" + std::to_string(::getpid()) + ".txt";
        ReporterRuntime().ConsoleProgram = false;
        ExceptionHistory() = {};
        SetActionHandler([](int action) { return action == bbClose || action == bbRestart; });
    }
    void TearDown() override {
        if (worker.joinable()) {
            if (TExceptionBox* box = CurrentExceptionBox()) PostMessage(box->Window(), WM_NULL, 777, 777);
            worker.join();
        }
        app.reset();
        SetActionHandler(nullptr);
        ReporterSettings() = saved;
        SelectDisplay(DisplayKind::Headless);
        SetClock(nullptr);
        if (!folder.empty()) std::filesystem::remove_all(folder);
    }

    test::Xvfb server;
    ManualClock clock;
    std::unique_ptr<TApplication> app;
    VorSettings saved;
    std::string folder;
    std::thread worker;
};

TEST_F(X11ReportSave, TheBoxAsksWhereAndSavesThere) {
    TReportSaveDialog dialog; // as RunMainWindow installs it
    worker = std::thread([] { ShowExceptionDialog(true, false, "the report\r\nline two", "Access violation"); });
    TExceptionBox* box = nullptr;
    ASSERT_TRUE(server.WaitFor([&] {
        box = CurrentExceptionBox();
        if (box == nullptr) return false;
        const unsigned long x = NativeWindow(box->Window());
        return x != 0 && server.WmState(x) == 1 && server.WindowGeometry(x).viewable;
    })) << "the box was never shown";
    server.Activate(NativeWindow(box->Window()));
    ASSERT_TRUE(server.WindowManagerBarrier());
    TakeSoundRequests();

    RECT r{};
    ASSERT_TRUE(GetWindowRect(box->Button(bbSave), r));
    clock.Advance(1000);
    server.Click((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    ASSERT_TRUE(server.WaitFor([&] { return box->FeedbackButton() == bbSave; })) << "the press was not taken";
    clock.Advance(400); // the flash, then the dialog

    unsigned long shown = 0;
    ASSERT_TRUE(server.WaitFor([&] {
        for (unsigned long w : server.WindowsNamed("save bug report"))
            if (server.WmState(w) == 1 && server.WindowGeometry(w).viewable) shown = w;
        return shown != 0;
    })) << "no save dialog";
    server.Activate(shown);
    ASSERT_TRUE(server.WindowManagerBarrier());
    EXPECT_TRUE(server.Screenshot("crash_report_save_dialog.png"));

    const std::string chosen = folder + "/typed.txt";
    server.Type(chosen);
    server.KeyStroke(kXK_Return);
    ASSERT_TRUE(server.WaitFor([&] { return std::filesystem::exists(chosen); })) << "nothing saved at " << chosen;
    ASSERT_TRUE(server.WaitFor([&] { return box->FeedbackButton() == -1; }));
    std::ifstream in(chosen, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "the report\r\nline two\r\n\r\n");
    std::vector<UINT> beeps;
    for (const SoundRequest& s : TakeSoundRequests())
        if (s.kind == SoundRequest::Beep) beeps.push_back(s.beepType);
    EXPECT_EQ(beeps, std::vector<UINT>{64});
    EXPECT_NE(box->Button(bbSave), nullptr) << "a chosen name may be saved again";
}

} // namespace
} // namespace ax
