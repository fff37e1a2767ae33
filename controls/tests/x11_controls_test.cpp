// The control library on a real display: a private Xvfb with openbox and a
// system tray (trayer), driven by XTest input. The tray icon is docked in
// the tray, a click on it reaches the program as the callback message, its
// tip follows the hint and shows when the pointer rests on it; a lock-key
// panel follows a key pressed in another program; the status bar's gauge,
// the animated image and the edit with a button are shown and photographed. The application runs on
// its own thread as a program would; the test thread is the user.
#include "controls/AnimatedImage.h"
#include "controls/ComboEdit.h"
#include "controls/ExStatusBar.h"
#include "controls/ExTrayIcon.h"
#include "platform/window/display.h"
#include "rtl/clock.h"
#include "x11_program.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

extern char** environ;

namespace ax {
namespace {

using test::Xvfb;
using namespace std::chrono_literals;

class X11ControlsTest : public test::X11Test {
protected:
    void SetUp() override {
        test::X11Test::SetUp();
        if (!Started()) return;
        trayer = test::FindProgram("trayer");
        ASSERT_FALSE(trayer.empty()) << "trayer is not installed (scripts/setup installs it)";
        const char* dir = std::getenv("AX_CONTROLS_SNAPSHOT_DIR");
        shots = dir ? dir : "snapshots";
        std::filesystem::create_directories(shots);
    }
    void TearDown() override {
        test::X11Test::TearDown();
        if (trayPid > 0) {
            kill(trayPid, SIGTERM);
            waitpid(trayPid, nullptr, 0);
        }
    }
    // The application's thread: a form with a status bar (gauge at 50%), an
    // animated image and an edit with a button, plus a tray icon.
    TForm* Build(TApplication& app) {
        TForm* form = app.CreateForm<TForm>();
        form->SetCaption("Control library");
        form->SetBounds(60, 80, 0, 0);
        form->SetClientSize(360, 160);
        bar = TComponent::Create<TExStatusBar>(form);
        bar->SetParent(form);
        TExStatusPanel* gauge = bar->Panels().Add();
        gauge->SetWidth(120);
        gauge->SetPanelType(sptGauge);
        gauge->GaugeAttrs().SetPosition(50);
        TExStatusPanel* file = bar->Panels().Add();
        file->SetPanelType(sptEllipsisText);
        file->SetText("ZipFile: <none>");

        image = TComponent::Create<TAnimatedImage>(form);
        image->SetBounds(20, 20, 32, 32);
        TBitmap strip;
        strip.SetSize(64, 16);
        const TColor cells[] = {clRed, clLime, clBlue, clYellow};
        for (int i = 0; i < 4; ++i) {
            strip.Canvas().Brush().SetColor(cells[i]);
            strip.Canvas().FillRect({i * 16, 0, i * 16 + 16, 16});
        }
        image->SetAutoSize(false);
        image->SetGlyph(&strip);
        image->SetTransparentColor(clNone);
        image->SetBounds(20, 20, 32, 32);
        image->SetParent(form);

        edit = TComponent::Create<TComboEdit>(form);
        edit->SetBounds(80, 26, 200, 21);
        edit->SetParent(form);
        edit->SetGlyphKind(gkEllipsis);
        edit->SetText("/home/user/backup.zip");
        edit->OnButtonClick = [this](TObject*) { Bump(buttonClicks); };

        tray = TComponent::Create<TExTrayIcon>(form);
        tray->SetHint("ArdentixXP");
        tray->OnMouseMove = [this](TObject*, TShiftState, int, int) { Bump(trayMoves); };
        tray->OnClick = [this](TObject*, TMouseButton b, TShiftState, int, int) {
            lastButton = b;
            Bump(trayClicks);
        };
        TIcon icon;
        icon.SetHandle(CopyIcon(LoadIcon(0, IDI_INFORMATION)));
        tray->SetIcon(&icon);

        form->Show();
        return form;
    }
    // Counted on the application's thread, read under the program's lock.
    void Bump(int& counter) {
        program->Change([&] { ++counter; });
    }
    void Start() { StartProgram({.build = [this](TApplication& app) { return Build(app); }, .testFont = true}); }
    // The system tray, as a desktop would run it.
    void StartTray() {
        const std::string display = "DISPLAY=" + server.Name();
        std::vector<char*> env;
        for (char** e = environ; *e; ++e)
            if (std::string_view(*e).rfind("DISPLAY=", 0) != 0) env.push_back(*e);
        env.push_back(const_cast<char*>(display.c_str()));
        env.push_back(nullptr);
        std::vector<std::string> args = {trayer, "--edge", "top", "--align", "right", "--widthtype", "request",
                                         "--height", "24", "--SetDockType", "true", "--transparent", "false"};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
        ASSERT_EQ(posix_spawn(&trayPid, trayer.c_str(), &quiet, nullptr, argv.data(), env.data()), 0);
        posix_spawn_file_actions_destroy(&quiet);
    }
    HWND TrayWindow() { return program->Get<HWND>([&] { return tray->WindowHandle(); }); }
    // Runs xdotool with the arguments on the test's display, as another
    // program of the desktop; true when it ended well.
    bool Xdotool(std::vector<std::string> args) {
        const std::string xdotool = test::FindProgram("xdotool");
        if (xdotool.empty()) return false;
        args.insert(args.begin(), xdotool);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        if (posix_spawn(&pid, xdotool.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return false;
        int status = 0;
        return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    std::string trayer;
    pid_t trayPid = 0;
    std::filesystem::path shots;
    // The application thread's own; the counts are read under the program's
    // lock.
    TExStatusBar* bar = nullptr;
    TAnimatedImage* image = nullptr;
    TComboEdit* edit = nullptr;
    TExTrayIcon* tray = nullptr;
    int trayClicks = 0, trayMoves = 0, buttonClicks = 0;
    TMouseButton lastButton = mbMiddle;
};

TEST_F(X11ControlsTest, TheTrayIconDocksTakesClicksAndShowsItsTip) {
    ASSERT_NO_FATAL_FAILURE(Start());
    const HWND trayWindow = TrayWindow();
    // The icon waits for a tray and docks as soon as one comes up.
    EXPECT_FALSE(TrayIconDocked(trayWindow, 0));
    StartTray();
    ASSERT_TRUE(server.WaitFor([&] { return TrayIconDocked(trayWindow, 0); }))
        << "the icon was never taken into the tray";
    const unsigned long icon = TrayIconNativeWindow(trayWindow, 0);
    ASSERT_NE(icon, 0u);
    ASSERT_TRUE(server.WaitFor([&] {
        const Xvfb::Geometry g = server.WindowGeometry(icon);
        return g.viewable && g.width > 0;
    })) << "the docked icon is not shown";
    EXPECT_EQ(server.TextProperty(icon, "_NET_WM_NAME"), "ArdentixXP");

    // The tray may still be placing the icon after it shows it, so a click
    // that found nothing there is made again where the icon now is.
    const auto clickIcon = [&](int button, int clicksWanted) {
        for (int attempt = 0; attempt < 5; ++attempt) {
            const Xvfb::Geometry g = server.WindowGeometry(icon);
            server.Click(g.x + g.width / 2, g.y + g.height / 2, button);
            if (program->Wait([&] { return trayClicks >= clicksWanted; }, 2s)) return true;
        }
        return false;
    };
    ASSERT_TRUE(clickIcon(1, 1)) << "the click on the icon did not come back as the callback message";
    EXPECT_EQ(lastButton, mbLeft);
    clock.Advance(1000); // never a double click
    ASSERT_TRUE(clickIcon(3, 2));
    EXPECT_EQ(lastButton, mbRight);

    program->Call([&] { tray->SetHint("Backup 42%|running"); });
    EXPECT_TRUE(server.WaitFor([&] { return server.TextProperty(icon, "_NET_WM_NAME") == "Backup 42%"; }))
        << "tip: " << server.TextProperty(icon, "_NET_WM_NAME");
    EXPECT_TRUE(server.Screenshot((shots / "x11_tray_icon.png").string()));

    // The pointer rests on the icon: the tip comes up below it, with the
    // hint's short part, follows the hint, and goes when the pointer leaves.
    const int moves = program->Read(trayMoves);
    const Xvfb::Geometry at = server.WindowGeometry(icon);
    server.MoveTo(at.x + at.width / 2 - 3, at.y + at.height / 2 - 3);
    ASSERT_TRUE(program->Wait([&] { return trayMoves > moves; }, 10s)) << "the move on the icon did not come back";
    EXPECT_EQ(TrayTipNativeWindow(trayWindow, 0), 0u) << "the tip came up before the pointer rested";
    clock.Advance(600);
    unsigned long tip = 0;
    ASSERT_TRUE(server.WaitFor([&] {
        tip = TrayTipNativeWindow(trayWindow, 0);
        return tip && server.WindowGeometry(tip).viewable;
    })) << "no tip after the rest";
    EXPECT_EQ(server.TextProperty(tip, "WM_NAME"), "Backup 42%");
    const Xvfb::Geometry tipAt = server.WindowGeometry(tip);
    EXPECT_GE(tipAt.y, at.y + at.height / 2 + 10) << "the tip covers the pointer";
    program->Call([&] { tray->SetHint("Backup 57%|running"); });
    EXPECT_TRUE(server.WaitFor([&] { return server.TextProperty(tip, "WM_NAME") == "Backup 57%"; }))
        << "the tip did not follow the hint";
    EXPECT_TRUE(server.WaitFor([&] { return server.WindowGeometry(tip).viewable; }));
    EXPECT_TRUE(server.Screenshot((shots / "x11_tray_tip.png").string()));
    server.MoveTo(300, 300);
    EXPECT_TRUE(server.WaitFor([&] { return TrayTipNativeWindow(trayWindow, 0) == 0; }))
        << "the tip stayed after the pointer left";

    program->Call([&] { tray->SetActive(false); });
    EXPECT_TRUE(server.WaitFor([&] { return !server.WindowGeometry(icon).exists; }))
        << "the icon stayed in the tray";
}

TEST_F(X11ControlsTest, GaugeImageAndEditOnTheScreen) {
    ASSERT_NO_FATAL_FAILURE(Start());
    const unsigned long form = program->xWindow();
    ASSERT_TRUE(server.WaitFor([&] { return server.WmState(form) == 1 && server.WindowGeometry(form).viewable; }))
        << "the form was never mapped";
    // The image steps a frame on its timer.
    program->Call([&] { image->SetActive(true); });
    clock.Advance(100);
    ASSERT_TRUE(server.WaitFor([&] { return program->Get<int>([&] { return image->GlyphNum(); }) == 1; }))
        << "the image did not step";
    // A real click on the edit's button.
    const POINT b = program->Get<POINT>([&] {
        TEditButton& button = edit->Button();
        return button.ClientToScreen(POINT{button.Width() / 2, button.Height() / 2});
    });
    server.Click(b.x, b.y);
    ASSERT_TRUE(program->Wait([&] { return buttonClicks >= 1; }, 10s)) << "the button was not clicked";
    program->Call([] { PumpDisplay(); });
    EXPECT_TRUE(server.Screenshot((shots / "x11_controls.png").string(), form));
}

// A form whose status bar has a Caps Lock panel that follows the
// keyboard-monitor library.
TEST_F(X11ControlsTest, TheCapsLockPanelFollowsAKeyPressedInAnotherProgram) {
    if (test::FindProgram("xdotool").empty()) GTEST_SKIP() << "xdotool is not installed (scripts/setup installs it)";
    TExStatusPanel* caps = nullptr;
    const auto build = [&](TApplication& app) {
        TForm* form = app.CreateForm<TForm>();
        form->SetCaption("Lock keys");
        form->SetBounds(60, 80, 0, 0);
        form->SetClientSize(300, 80);
        bar = TComponent::Create<TExStatusBar>(form);
        bar->SetParent(form);
        caps = bar->Panels().Add();
        caps->SetPanelType(sptCapsLock);
        bar->Panels().Add()->SetText("Ready");
        bar->SetUseMonitorDLL(true);
        form->Show();
        return form;
    };
    ASSERT_NO_FATAL_FAILURE(StartProgram({.build = build, .testFont = true}));
    ASSERT_TRUE(program->Get<bool>([&] { return bar->UseMonitorDLL(); })) << "the monitor library was not found";
    const auto capsOn = [&] { return program->Get<bool>([&] { return caps->LockState(); }); };
    EXPECT_FALSE(capsOn());

    // The form is iconified: the key goes to no window of the program.
    ASSERT_TRUE(server.WaitFor([&] { return server.WmState(window) == 1; })) << "the form was never mapped";
    server.Iconify(window);
    ASSERT_TRUE(server.WaitFor([&] { return server.WmState(window) == 3; })) << "the form was not iconified";
    EXPECT_NE(server.FocusWindow(), window);
    ASSERT_TRUE(Xdotool({"key", "Caps_Lock"}));
    EXPECT_TRUE(server.WaitFor(capsOn)) << "the panel did not see Caps Lock go on";

    server.Activate(window);
    ASSERT_TRUE(server.WaitFor([&] { return server.WindowGeometry(window).viewable; })) << "the form stayed iconic";
    program->Call([&] {
        bar->Repaint();
        PumpDisplay();
    });
    EXPECT_TRUE(server.Screenshot((shots / "x11_caps_lock.png").string(), window));

    ASSERT_TRUE(Xdotool({"key", "Caps_Lock"}));
    EXPECT_TRUE(server.WaitFor([&] { return !capsOn(); })) << "the panel did not see Caps Lock go off";
}

} // namespace
} // namespace ax
