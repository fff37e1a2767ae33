// The exception box on a real display: a private Xvfb with openbox, its
// buttons pressed with XTest input as a user would, and its countdown run
// out on the injected clock. Screenshots are kept beside the test.
#include "crash/vorExceptBox.h"

#include "crash/vorExcept.h"
#include "crash/vorMail.h"
#include "crash/vorRestart.h"
#include "crash/vorSettings.h"
#include "platform/window/display.h"
#include "platform/window/sound.h"
#include "platform/window/window.h"
#include "rtl/clock.h"
#include "rtl/scopeguard.h"
#include "support/private_cups.h"
#include "xvfb.h"
#include "support/beeps.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

namespace ax {
namespace {

using test::Xvfb;
constexpr unsigned long kXK_Escape = 0xFF1B;

const std::string kReport = "date/time         : 2026-12-06, 10:11:12, 13ms\r\n"
                            "exception class   : EAccessViolation\r\n"
                            "exception message : Access violation at address 00401000. Read of address 00000000.\r\n\r\n"
                            "main thread ($1a2b):\r\n"
                            "00401000 +00 ardentix mainunit.cpp 120 TMainform::WriteZbtnClick";

class ExceptionBoxTest : public ::testing::Test {
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
        saved = ReporterSettings();
        savedNetwork = MailNetwork();
        char tmpl[] = "/tmp/axboxXXXXXX";
        folder = ::mkdtemp(tmpl);
        ReporterSettings().BugReportFile = folder + "/bugreport.txt";
        ReporterRuntime().ConsoleProgram = false;
        MailNetwork().MailtoProgram = "true"; // a mailto handler that takes anything
        MailNetwork().MailComposerProgram = "/nonexistent/composer"; // no real composer opens
        ExceptionHistory() = {};
        SetActionHandler([this](int action) {
            std::lock_guard l(lock);
            actions.push_back(action);
            return action == bbClose || action == bbRestart; // the process stays
        });
    }
    void TearDown() override {
        if (worker.joinable()) {
            if (TExceptionBox* box = CurrentExceptionBox()) PostMessage(box->Window(), WM_NULL, 777, 777);
            worker.join();
        }
        SetActionHandler(nullptr);
        ReporterSettings() = saved;
        MailNetwork() = savedNetwork;
        SelectDisplay(DisplayKind::Headless);
        SetClock(nullptr);
        if (!folder.empty()) std::filesystem::remove_all(folder);
    }

    // The box runs on its own thread, as on the reporter's worker.
    TExceptionBox* Open(bool canContinue) {
        worker = std::thread([this, canContinue] {
            ShowExceptionDialog(canContinue, false, kReport, "Access violation");
            finished = true;
        });
        TExceptionBox* box = nullptr;
        EXPECT_TRUE(server.WaitFor([&] {
            box = CurrentExceptionBox();
            if (box == nullptr) return false;
            const unsigned long x = NativeWindow(box->Window());
            return x != 0 && server.WmState(x) == 1 && server.WindowGeometry(x).viewable;
        })) << "the box was never shown";
        if (box != nullptr) {
            // Keys go where the window manager puts the focus: on the box.
            server.Activate(NativeWindow(box->Window()));
            EXPECT_TRUE(server.WindowManagerBarrier());
        }
        return box;
    }
    void Press(TExceptionBox* box, int button) {
        RECT r{};
        ASSERT_TRUE(GetWindowRect(box->Button(button), r)) << "no button " << button;
        clock.Advance(1000); // never a double click
        server.Click((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
    // Mail, save and print flash first: their action follows 400 ms later.
    void PressAndFlash(TExceptionBox* box, int button) {
        Press(box, button);
        ASSERT_TRUE(server.WaitFor([&] { return box->FeedbackButton() == button; })) << "no flash on " << button;
        clock.Advance(400);
    }
    bool SawAction(int action) {
        return server.WaitFor([&] {
            std::lock_guard l(lock);
            return std::find(actions.begin(), actions.end(), action) != actions.end();
        });
    }

    Xvfb server;
    ManualClock clock;
    VorSettings saved;
    TMailNetwork savedNetwork;
    std::string folder;
    std::thread worker;
    std::atomic<bool> finished{false};
    std::mutex lock;
    std::vector<int> actions;
};

TEST_F(ExceptionBoxTest, ButtonsPressedWithRealInput) {
    TExceptionBox* box = Open(true);
    ASSERT_NE(box, nullptr);
    const unsigned long x = NativeWindow(box->Window());
    EXPECT_EQ(server.TextProperty(x, "WM_NAME"), "crash_vorExceptBox_test");
    EXPECT_EQ(box->Button(bbPrint), nullptr) << "no print caption, no print button";
    ASSERT_NE(box->Button(bbShow), nullptr);
    EXPECT_FALSE(box->ReportVisible());
    EXPECT_TRUE(server.Screenshot("crash_exception_box.png", x));

    Press(box, bbShow);
    ASSERT_TRUE(server.WaitFor([&] { return box->ReportVisible() && box->Button(bbShow) == nullptr; }))
        << "the report was not shown";
    ASSERT_TRUE(server.WaitFor([&] { return server.WindowGeometry(x).width >= 538; }))
        << "the box is " << server.WindowGeometry(x).width << " wide";
    // Its long line is wrapped, not cut at the view's edge: six lines, the
    // third in two rows of the test font's 7-pixel characters.
    HWND view = nullptr;
    for (HWND child : EnumChildWindows(box->Window()))
        if (GetClassName(child) == "vorExceptReport") view = child;
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(server.WaitFor([&] {
        SCROLLINFO si;
        si.fMask = SIF_RANGE;
        return GetScrollInfo(view, SB_VERT, si) && si.nMax == 6;
    })) << "the report does not show seven rows";
    EXPECT_TRUE(server.Screenshot("crash_exception_box_details.png", x));

    PressAndFlash(box, bbSave);
    ASSERT_TRUE(SawAction(bbSave));
    ASSERT_TRUE(server.WaitFor([&] { return std::filesystem::exists(folder + "/bugreport.txt"); }));

    PressAndFlash(box, bbMail);
    ASSERT_TRUE(SawAction(bbMail)) << "send";
    Press(box, bbClose);
    ASSERT_TRUE(SawAction(bbClose)) << "close";
    Press(box, bbRestart);
    ASSERT_TRUE(SawAction(bbRestart)) << "restart";
    EXPECT_FALSE(finished.load()) << "vetoed actions leave the box open";

    // Escape asks the box to close: a program that can go on continues.
    server.KeyStroke(kXK_Escape);
    ASSERT_TRUE(SawAction(bbContinue));
    ASSERT_TRUE(server.WaitFor([&] { return finished.load(); })) << "the box stayed";
    worker.join();
    std::lock_guard l(lock);
    EXPECT_EQ(actions, (std::vector<int>{bbShow, bbSave, bbMail, bbClose, bbRestart, bbContinue}));
}

// The print button pressed as a user would: after its flash the report
// comes out of the default printer of a private scheduler.
TEST_F(ExceptionBoxTest, PrintPressedWithRealInputComesOutOfThePrinter) {
    if (const std::string why = test::PrivateCupsUnavailable(); !why.empty()) GTEST_SKIP() << why;
    test::PrivateCups cups;
    std::string error;
    ASSERT_TRUE(cups.Start(&error)) << error;
    ScopeGuard stop([&] { cups.Stop(); });
    ReporterSettings().PrintButtonCaption = "print bug report";
    TExceptionBox* box = Open(true);
    ASSERT_NE(box, nullptr);
    ASSERT_NE(box->Button(bbPrint), nullptr);
    test::TakeBeeps();
    PressAndFlash(box, bbPrint);
    ASSERT_TRUE(SawAction(bbPrint));
    EXPECT_TRUE(server.WaitFor([&] { return test::TakeBeeps() == std::vector<UINT>{MB_ICONASTERISK}; })) << "no beep of success";
    ASSERT_TRUE(cups.WaitIdle()) << "the job did not come out";
    const std::vector<std::string> lines = test::PdfLines(cups.Output());
    ASSERT_GE(lines.size(), 2u) << "the printed file holds no text";
    EXPECT_EQ(lines[0], "date/time : 2026-12-06, 10:11:12, 13ms");
    EXPECT_EQ(lines[1], "exception class : EAccessViolation");
    EXPECT_TRUE(server.Screenshot("crash_exception_box_printed.png", NativeWindow(box->Window())));
}

TEST_F(ExceptionBoxTest, SaveFlashesAfterAPressThenSavesAndGoes) {
    TExceptionBox* box = Open(true);
    ASSERT_NE(box, nullptr);
    HWND save = box->Button(bbSave);
    const auto frame = [&] {
        HDC dc = GetDC(save);
        const COLORREF p = GetPixel(dc, 2, 10);
        ReleaseDC(save, dc);
        return p;
    };
    Press(box, bbSave);
    ASSERT_TRUE(server.WaitFor([&] { return box->FeedbackButton() == bbSave; }));
    // 100 ms in: the third of eight 50 ms steps, a dark frame inside the button.
    clock.Advance(100);
    ASSERT_TRUE(server.WaitFor([&] { return frame() == GetSysColor(COLOR_3DDKSHADOW); })) << "no flash";
    EXPECT_TRUE(box->Flashing());
    EXPECT_TRUE(server.Screenshot("crash_exception_box_flash.png", NativeWindow(box->Window())));
    EXPECT_FALSE(std::filesystem::exists(folder + "/bugreport.txt")) << "saved before the flash ended";
    clock.Advance(300);
    ASSERT_TRUE(SawAction(bbSave));
    ASSERT_TRUE(server.WaitFor([&] { return box->Button(bbSave) == nullptr; })) << "the save button stayed";
    EXPECT_TRUE(std::filesystem::exists(folder + "/bugreport.txt"));
    EXPECT_TRUE(server.Screenshot("crash_exception_box_saved.png", NativeWindow(box->Window())));
}

TEST_F(ExceptionBoxTest, ProgramThatCannotGoOnShowsContinueDisabledAndEscapeCloses) {
    TExceptionBox* box = Open(false);
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(IsWindowEnabled(box->Button(bbContinue)));
    Press(box, bbContinue); // disabled: nothing happens
    server.KeyStroke(kXK_Escape);
    ASSERT_TRUE(SawAction(bbClose));
    std::lock_guard l(lock);
    EXPECT_EQ(actions, (std::vector<int>{bbClose}));
}

// Whether the window shows the colour anywhere in the area (its client
// coordinates).
bool ShowsColour(HWND window, COLORREF colour, RECT area) {
    HDC dc = GetDC(window);
    bool found = false;
    for (int y = area.top; y < area.bottom && !found; ++y)
        for (int x = area.left; x < area.right && !found; ++x) found = GetPixel(dc, x, y) == colour;
    ReleaseDC(window, dc);
    return found;
}

// Each button shows its glyph at 3,3 and the box its big icon left of the
// text; a program that cannot go on shows the "cannot continue" glyph on
// the continue button. Each glyph is told by a colour only it has.
TEST_F(ExceptionBoxTest, ButtonsShowTheirGlyphsAndTheBoxItsBigIconAndItBeeps) {
    ReporterSettings().PrintButtonCaption = "print bug report";
    test::TakeBeeps();
    TExceptionBox* box = Open(false);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(test::TakeBeeps(), std::vector<UINT>{MB_ICONHAND}) << "the box beeps as it opens";
    const RECT glyph{3, 3, 19, 19};
    const std::pair<int, COLORREF> expected[] = {
        {bbMail, RGB(0xF0, 0xD0, 0x60)},  {bbSave, RGB(0x20, 0x50, 0xC0)},    {bbPrint, RGB(0x20, 0xA0, 0x20)},
        {bbShow, RGB(0xA0, 0xD0, 0xF0)},  {bbContinue, RGB(0xA0, 0x00, 0x00)}, {bbRestart, RGB(0xE0, 0x80, 0x20)},
        {bbClose, RGB(0xD0, 0x20, 0x20)},
    };
    for (const auto& entry : expected) {
        const int button = entry.first;
        ASSERT_NE(box->Button(button), nullptr) << button;
        EXPECT_TRUE(server.WaitFor([&] { return ShowsColour(box->Button(button), entry.second, glyph); }))
            << "no glyph on button " << button;
    }
    EXPECT_FALSE(ShowsColour(box->Button(bbContinue), RGB(0x20, 0xA0, 0x20), glyph))
        << "the continue arrow on a program that cannot go on";
    EXPECT_TRUE(server.WaitFor([&] { return ShowsColour(box->Window(), RGB(0xD8, 0x30, 0x30), {10, 9, 42, 41}); }))
        << "no big icon";
    EXPECT_TRUE(ShowsColour(box->Window(), RGB(0xFF, 0xFF, 0xFF), {10, 9, 42, 41})) << "the icon's cross";
    EXPECT_FALSE(ShowsColour(box->Window(), RGB(0xD8, 0x30, 0x30), {0, 42, 100, 60})) << "the icon drawn too low";
    EXPECT_TRUE(server.Screenshot("crash_exception_box_glyphs.png", NativeWindow(box->Window())));
}

TEST_F(ExceptionBoxTest, CountdownRunsOutOnTheInjectedClock) {
    ReporterSettings().AutoContinue = true;
    ReporterSettings().AutoActionCountdown = 60;
    TExceptionBox* box = Open(true);
    ASSERT_NE(box, nullptr);
    ASSERT_EQ(box->AutoAction(), bbContinue);
    RECT r{};
    GetClientRect(box->Button(bbContinue), r);
    clock.Advance(30000);
    // Half the time: half the button, by the rounding rule (elapsed * width + N*500) / (N*1000).
    const int half = static_cast<int>((30000LL * r.right + 60 * 500) / (60 * 1000));
    ASSERT_TRUE(server.WaitFor([&] { return box->CountdownPosition() == half; }))
        << "position " << box->CountdownPosition() << ", expected " << half;
    EXPECT_TRUE(server.Screenshot("crash_exception_box_countdown.png", NativeWindow(box->Window())));
    EXPECT_FALSE(finished.load());
    clock.Advance(31000);
    ASSERT_TRUE(SawAction(bbContinue)) << "the automatic action did not run";
    ASSERT_TRUE(server.WaitFor([&] { return finished.load(); }));
}

} // namespace
} // namespace ax
