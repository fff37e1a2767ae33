// The exception box on the headless display, driven on the test's own
// thread: its sounds, the save button's life, and the press feedback drawn
// on the injected clock (flashes, wait cursor, pressed frame).
#include "crash/vorExceptBox.h"

#include "crash/vorBugReport.h"
#include "crash/vorExcept.h"
#include "crash/vorRestart.h"
#include "crash/vorSettings.h"
#include "platform/gdi/image.h"
#include "platform/window/display.h"
#include "platform/window/sound.h"
#include "platform/window/window.h"
#include "rtl/clock.h"
#include "support/beeps.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <vector>

namespace ax {
namespace {

const std::string kReport = "date/time         : 2026-12-06, 10:11:12, 13ms\r\n"
                            "exception class   : EAccessViolation\r\n"
                            "exception message : Access violation at address 00401000.";

class ExceptionBoxFeedback : public ::testing::Test {
protected:
    void SetUp() override {
        SelectDisplay(DisplayKind::Headless);
        SetTestFont(true);
        SetClock(&clock);
        saved = ReporterSettings();
        char tmpl[] = "/tmp/axfeedbackXXXXXX";
        folder = ::mkdtemp(tmpl);
        report = folder + "/bugreport.txt";
        ReporterSettings().BugReportFile = report;
        ReporterRuntime().ConsoleProgram = false;
        ExceptionHistory() = {};
        SetActionHandler([this](int action) {
            actions.push_back(action);
            if (duringAction) duringAction(action);
            return action == bbClose || action == bbRestart; // the process stays
        });
        TakeSoundRequests();
    }
    void TearDown() override {
        box.reset();
        SetActionHandler(nullptr);
        ReporterSettings() = saved;
        SetClock(nullptr);
        if (!folder.empty()) std::filesystem::remove_all(folder);
    }
    TExceptionBox& Open() {
        box = std::make_unique<TExceptionBox>(true, false, kReport, "Access violation");
        Pump();
        return *box;
    }
    // What is pending now; a window that keeps asking to be painted does
    // not hold the test.
    static void Pump() {
        MSG msg;
        for (int i = 0; i < 10000 && PeekMessage(msg, nullptr, 0, 0, PM_REMOVE); ++i) DispatchMessage(msg);
    }
    void Advance(std::uint64_t ms) {
        clock.Advance(ms);
        Pump();
    }
    void Click(int button) { SendMessage(box->Window(), WM_COMMAND, static_cast<WPARAM>(button), 0); }
    static COLORREF Pixel(HWND window, int x, int y) {
        HDC dc = GetDC(window);
        const COLORREF p = GetPixel(dc, x, y);
        ReleaseDC(window, dc);
        return p;
    }
    // The inner frame the flashes draw, and the outer edge's top-left pixel
    // (light when raised, shadow when pressed).
    static COLORREF FlashFrame(HWND button) { return Pixel(button, 2, 10); }
    static bool LooksPressed(HWND button) { return Pixel(button, 0, 0) == GetSysColor(COLOR_BTNSHADOW); }

    ManualClock clock;
    VorSettings saved;
    std::string folder, report;
    std::unique_ptr<TExceptionBox> box;
    std::vector<int> actions;
    std::function<void(int)> duringAction;
};

TEST_F(ExceptionBoxFeedback, BeepsWhenShownAndAfterASave) {
    ReporterSettings().ButtonFeedback = false;
    Open();
    EXPECT_EQ(test::TakeBeeps(), std::vector<UINT>{16}) << "opening sounds the stop icon's beep";
    Click(bbSave);
    ASSERT_TRUE(std::filesystem::exists(report));
    EXPECT_EQ(test::TakeBeeps(), std::vector<UINT>{64}) << "a save sounds the asterisk";
}

TEST_F(ExceptionBoxFeedback, AFailedSaveBeepsPlainlyAndKeepsTheButton) {
    ReporterSettings().ButtonFeedback = false;
    // Neither the file's folder nor the fallback can be made under a file.
    ReporterSettings().BugReportFile = "/dev/null/bugreport.txt";
    const char* state = std::getenv("XDG_STATE_HOME");
    const std::string savedState = state ? state : "";
    setenv("XDG_STATE_HOME", "/dev/null/state", 1);
    Open();
    test::TakeBeeps();
    Click(bbSave);
    if (state) setenv("XDG_STATE_HOME", savedState.c_str(), 1);
    else unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(test::TakeBeeps(), std::vector<UINT>{0});
    EXPECT_NE(box->Button(bbSave), nullptr) << "nothing was saved: the user may try again";
}

TEST_F(ExceptionBoxFeedback, SavingToTheFixedFileRemovesTheSaveButton) {
    ReporterSettings().ButtonFeedback = false;
    Open();
    ASSERT_NE(box->Button(bbSave), nullptr);
    Click(bbSave);
    ASSERT_TRUE(std::filesystem::exists(report));
    EXPECT_EQ(box->Button(bbSave), nullptr);
    // The others stay where a user can reach them, inside the box.
    RECT boxRect{}, mail{};
    GetWindowRect(box->Window(), boxRect);
    ASSERT_TRUE(GetWindowRect(box->Button(bbMail), mail));
    EXPECT_GE(mail.left, boxRect.left);
    EXPECT_LE(mail.bottom, boxRect.bottom);
}

TEST_F(ExceptionBoxFeedback, SaveFlashesFourTimesWithTheWaitCursorThenSaves) {
    Open();
    HWND save = box->Button(bbSave);
    const COLORREF dark = GetSysColor(COLOR_3DDKSHADOW), face = GetSysColor(COLOR_BTNFACE);
    ASSERT_NE(dark, face);
    EXPECT_EQ(FlashFrame(save), face) << "no frame before the press";
    Click(bbSave);
    Pump();
    EXPECT_EQ(box->FeedbackButton(), bbSave);
    EXPECT_EQ(GetCursor(), LoadCursor(0, IDC_WAIT));
    // Dark and face-coloured frames take turns every 50 ms.
    const std::vector<COLORREF> expected = {dark, face, dark, face, dark, face, dark, face};
    for (std::size_t step = 0; step < expected.size(); ++step) {
        EXPECT_EQ(FlashFrame(save), expected[step]) << "at " << step * 50 << " ms";
        EXPECT_FALSE(LooksPressed(save)) << "at " << step * 50 << " ms";
        EXPECT_FALSE(std::filesystem::exists(report)) << "saved during the flash, at " << step * 50 << " ms";
        Advance(50);
    }
    EXPECT_TRUE(std::filesystem::exists(report)) << "the save follows the flash";
    EXPECT_EQ(actions, std::vector<int>{bbSave});
    EXPECT_EQ(box->FeedbackButton(), -1);
    EXPECT_EQ(GetCursor(), LoadCursor(0, IDC_ARROW));
}

TEST_F(ExceptionBoxFeedback, AClickDuringTheFlashSavesOnce) {
    Open();
    Click(bbSave);
    Advance(100);
    Click(bbSave);
    Advance(400);
    EXPECT_EQ(actions, std::vector<int>{bbSave});
}

TEST_F(ExceptionBoxFeedback, AnActionStillRunningAfter200msLooksPressed) {
    Open();
    HWND close = box->Button(bbClose);
    bool pressedEarly = true, pressedLate = false;
    duringAction = [&](int action) {
        if (action != bbClose) return;
        Advance(150);
        pressedEarly = LooksPressed(close);
        Advance(100);
        pressedLate = LooksPressed(close);
    };
    Click(bbClose); // vetoed by the test's handler: the box stays
    EXPECT_FALSE(pressedEarly) << "pressed before 200 ms";
    EXPECT_TRUE(pressedLate) << "not pressed at 250 ms";
    Pump();
    EXPECT_FALSE(LooksPressed(close)) << "still pressed once the action is over";
    EXPECT_EQ(GetCursor(), LoadCursor(0, IDC_ARROW));
}

TEST_F(ExceptionBoxFeedback, SaveLooksPressedWhileItRuns) {
    Open();
    HWND save = box->Button(bbSave);
    bool pressed = false;
    duringAction = [&](int action) {
        if (action == bbSave) pressed = LooksPressed(save);
    };
    Click(bbSave);
    Advance(400);
    EXPECT_TRUE(pressed);
    EXPECT_EQ(actions, std::vector<int>{bbSave});
}

TEST_F(ExceptionBoxFeedback, AReportShownAtOnceLeavesTheTimersRunning) {
    ReporterSettings().ShowReportAtOnce = true;
    ReporterSettings().AutoContinue = true;
    ReporterSettings().AutoActionCountdown = 2;
    Open();
    ASSERT_TRUE(box->ReportVisible());
    Advance(2100);
    Pump();
    EXPECT_EQ(actions, std::vector<int>{bbContinue}) << "the countdown never ran out";
}

TEST_F(ExceptionBoxFeedback, WithoutFeedbackNothingFlashes) {
    ReporterSettings().ButtonFeedback = false;
    Open();
    HWND mail = box->Button(bbMail);
    ReporterSettings().MailViaMailto = false;
    ReporterSettings().MailViaMapi = false;
    Click(bbMail);
    EXPECT_EQ(box->FeedbackButton(), -1);
    EXPECT_EQ(FlashFrame(mail), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(actions, std::vector<int>{bbMail});
}

} // namespace
} // namespace ax
