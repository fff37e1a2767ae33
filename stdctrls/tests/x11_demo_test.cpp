// The demonstration form on a real display: a private Xvfb with openbox,
// driven with XTest input as a user would drive it, and with the requests a
// taskbar sends the window manager. The application runs on its own thread
// as a program would; the test thread is the user. Screenshots of each step
// are written beside the test (the build tree).
#include "demo_form.h"
#include "platform/window/display.h"
#include "rtl/clock.h"
#include "stdctrls/button.h"
#include "stdctrls/checkbox.h"
#include "stdctrls/combobox.h"
#include "x11_program.h"

#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>

namespace ax {
namespace {

using test::Xvfb;
using namespace std::chrono_literals;

class X11DemoTest : public test::X11Test {
protected:
    void SetUp() override {
        test::X11Test::SetUp();
        if (!Started()) return;
        ASSERT_NO_FATAL_FAILURE(StartProgram(
            {.build = [this](TApplication& app) { return Build(app); }, .logged = test::IsInput, .testFont = true}));
        // Shown and painted, under the window manager.
        ASSERT_TRUE(server.WaitFor([&] {
            return server.WmState(window) == 1 && server.WindowGeometry(window).viewable;
        })) << "the form was never mapped: WM_STATE " << server.WmState(window) << ", viewable "
            << server.WindowGeometry(window).viewable << ", exists " << server.WindowGeometry(window).exists;
        ASSERT_TRUE(InStep()) << "the form and its X window disagree after showing";
    }
    // The application's thread: the demonstration form with a menu.
    TForm* Build(TApplication& app) {
        mainForm = test::BuildDemo(app);
        mainMenu = TComponent::Create<TMainMenu>(mainForm);
        auto count = [this](TObject*) { Count(menuClicks); };
        TMenuItem* file = mainMenu->Items()->NewItem("&File");
        file->NewItem("&New", 0, count);
        file->NewItem("&Open", 0, count);
        file->NewItem("-");
        file->NewItem("&Save", 0, count);
        TMenuItem* help = mainMenu->Items()->NewItem("&Help");
        help->NewItem("&Contents", 0, count);
        help->NewItem("&About", 0, count);
        mainMenu->Items()->NewItem("&Go", 0, count);
        mainForm->SetMenu(mainMenu);
        for (int i = 0; i < mainForm->ComponentCount(); ++i) {
            if (auto* b = dynamic_cast<TButton*>(mainForm->Components(i)))
                b->OnClick = [this](TObject*) { Count(buttonClicks); };
            if (auto* c = dynamic_cast<TCheckBox*>(mainForm->Components(i)))
                c->OnClick = [this](TObject*) { Count(checkClicks); };
        }
        return mainForm;
    }
    // Counted on the application's thread, read under the program's lock.
    void Count(int& counter) {
        program->Change([&] { ++counter; });
    }
    bool WaitCount(const int& counter, int atLeast) {
        return program->Wait([&] { return counter >= atLeast; }, 10s);
    }

    // Waits until the form and the server agree, then checks that it stays
    // so: rounds through the application, its X thread and the window
    // manager bring no further configure events.
    bool Settles(int& events) {
        // What the test asked of the window manager is done first.
        if (!server.WindowManagerBarrier()) {
            ADD_FAILURE() << "the window manager did not answer";
            return false;
        }
        if (!server.WaitFor([&] { return InStep(); })) {
            const Xvfb::Geometry g = server.WindowGeometry(window);
            RECT r{};
            program->Call([&] { GetWindowRect(program->formWindow(), r); });
            ADD_FAILURE() << "server " << g.x << "," << g.y << " " << g.width << "x" << g.height
                          << ", form " << r.left << "," << r.top << " " << r.width() << "x"
                          << r.height();
            return false;
        }
        const int before = server.ConfigureEvents();
        for (int round = 0; round < 3; ++round) {
            if (!program->Call([] { PumpDisplay(); })) return false;
            if (!server.WindowManagerBarrier()) {
                ADD_FAILURE() << "the window manager did not answer";
                return false;
            }
        }
        events = server.ConfigureEvents();
        if (events != before)
            ADD_FAILURE() << events - before << " configure events after the size settled";
        return events == before && InStep();
    }
    // A screen point of the form's client area.
    POINT ClientPoint(TControl* control, int x, int y) {
        return program->Get<POINT>([=] { return control->ClientToScreen(POINT{x, y}); });
    }
    // Clicks and waits until the application took the press for the
    // window and the release after it, without any other input.
    void ClickAndExpect(POINT p, HWND target, const std::string& what) {
        clock.Advance(1000); // never a double click
        const size_t from = program->InputCount();
        server.Click(p.x, p.y);
        ++clicks;
        if (program->WaitClick(from, target, 10s)) return;
        FAIL() << "click " << clicks << " on " << what
               << " was not delivered; retrieved:" << program->InputText(from, target);
    }
    void Shot(const std::string& name) {
        EXPECT_TRUE(server.Screenshot("x11_demo_" + name + ".png"));
    }

    int clicks = 0;
    TForm* mainForm = nullptr; // the application thread's own
    TMainMenu* mainMenu = nullptr;
    // Counted on the application's thread.
    int buttonClicks = 0, menuClicks = 0, checkClicks = 0;
};

TEST_F(X11DemoTest, TheTitleIsThereFromTheStart) {
    EXPECT_EQ(server.TextProperty(window, "WM_NAME"), "Standard controls");
    EXPECT_EQ(server.TextProperty(window, "_NET_WM_NAME"), "Standard controls");
    Shot("shown");
}

TEST_F(X11DemoTest, ClicksOnEveryControlAndMenuItemArriveAtOnce) {
    TForm* form = mainForm;
    struct Target {
        TControl* control;
        HWND window; // where the press goes: the control, or the form for graphic controls
    };
    std::vector<Target> targets;
    program->Call([&] {
        for (int i = 0; i < form->ComponentCount(); ++i) {
            auto* c = dynamic_cast<TControl*>(form->Components(i));
            if (!c || dynamic_cast<TComboBox*>(c))
                continue; // its list is a window of its own: below
            auto* w = dynamic_cast<TWinControl*>(c);
            targets.push_back({c, w ? w->Handle() : form->Handle()});
        }
    });
    ASSERT_GE(targets.size(), 15u);
    TComboBox* combo = nullptr;
    program->Call([&] {
        for (int i = 0; i < form->ComponentCount(); ++i)
            if (auto* c = dynamic_cast<TComboBox*>(form->Components(i))) combo = c;
    });
    ASSERT_TRUE(combo);
    TMainMenu* menu = mainMenu;
    const HWND formWindow = program->formWindow();

    // A bar item opens its drop-down; an item in it is chosen.
    auto chooseFromMenu = [&](int barIndex, int row) {
        const RECT bar =
            program->Get<RECT>([&] { return menu->BarItemRects(formWindow)[size_t(barIndex)]; });
        RECT wr{};
        program->Call([&] { GetWindowRect(formWindow, wr); });
        ClickAndExpect({wr.left + (bar.left + bar.right) / 2, wr.top + (bar.top + bar.bottom) / 2},
                       formWindow, "the menu bar");
        HWND dropDown = nullptr;
        unsigned long xDrop = 0;
        ASSERT_TRUE(server.WaitFor([&] {
            program->Call([&] {
                const auto open = menu->TrackingWindows();
                dropDown = open.size() == 1 ? open[0] : nullptr;
            });
            if (!dropDown) return false;
            xDrop = program->Get<unsigned long>([&] { return NativeWindow(dropDown); });
            return xDrop && server.WindowGeometry(xDrop).viewable;
        })) << "the drop-down did not open";
        const int before = program->Get<int>([&] { return menuClicks; });
        RECT dr{};
        program->Call([&] { GetWindowRect(dropDown, dr); });
        // 2 px margin, 18 px items, 8 px lines (the File menu's third row).
        const int y = dr.top + 2 + 18 * row + (barIndex == 0 && row >= 3 ? 8 - 18 : 0) + 9;
        ClickAndExpect({dr.left + 30, y}, nullptr, "a menu item"); // the menu's tracker takes it
        ASSERT_TRUE(WaitCount(menuClicks, before + 1))
            << "the menu item's command did not run";
    };
    auto clickCombo = [&] {
        const POINT p = ClientPoint(combo, 20, 10);
        ClickAndExpect(p, combo->Handle(), "the combo box");
        // Where the list stays open, a click on its second row chooses it.
        bool open = false;
        program->Call([&] { open = combo->DroppedDown(); });
        if (open) {
            const HWND list = program->Get<HWND>([] { return GetCapture(); });
            RECT lr{};
            int row = 0;
            program->Call([&] {
                GetWindowRect(list, lr);
                row = combo->ItemHeight();
            });
            ClickAndExpect({lr.left + 10, lr.top + 1 + row + row / 2}, list,
                           "the combo box's list");
            EXPECT_TRUE(server.WaitFor(
                [&] { return program->Get<int>([&] { return combo->ItemIndex(); }) == 1; }));
        }
    };

    const int buttonsBefore = program->Get<int>([&] { return buttonClicks; });
    int menuChoices = 0, buttonPresses = 0;
    for (size_t i = 0; clicks < 200; ++i) {
        const size_t k = i % (targets.size() + 4);
        if (k < targets.size()) {
            const Target& t = targets[k];
            const SIZE size = program->Get<SIZE>([&] {
                return SIZE{t.control->Width(), t.control->Height()};
            });
            ClickAndExpect(ClientPoint(t.control, std::min(8, size.cx / 2), size.cy / 2), t.window,
                           program->Get<std::string>([&] { return t.control->ClassName(); }));
            if (dynamic_cast<TButton*>(t.control)) ++buttonPresses;
        } else if (k == targets.size()) {
            clickCombo();
        } else {
            chooseFromMenu(k == targets.size() + 1 ? 0 : 1, k == targets.size() + 3 ? 1 : 0);
            ++menuChoices;
        }
        if (HasFatalFailure()) return;
        if (i == 0) Shot("clicks");
    }
    EXPECT_TRUE(WaitCount(buttonClicks, buttonsBefore + buttonPresses))
        << "buttons clicked " << buttonPresses << " times";
    EXPECT_GE(menuChoices, 5);
    Shot("after_clicks");
}

TEST_F(X11DemoTest, TheWindowManagerMovesAndResizesWithoutALoop) {
    server.WatchConfigure(window);
    const Xvfb::Geometry start = server.WindowGeometry(window);
    const int frameWidth =
        start.width - program->Get<int>([&] { return mainForm->ClientWidth(); });

    // A taskbar's move-and-resize request: the form follows at once.
    server.MoveResize(window, 60, 70, start.width + 80, start.height + 40);
    int events = 0;
    ASSERT_TRUE(Settles(events)) << "the size did not settle";
    EXPECT_LE(events, 3) << "configure events for one resize";
    Xvfb::Geometry g = server.WindowGeometry(window);
    EXPECT_EQ(g.width, start.width + 80);
    EXPECT_EQ(g.height, start.height + 40);
    const int clientWidth = program->Get<int>([&] { return mainForm->ClientWidth(); });
    EXPECT_EQ(clientWidth, g.width - frameWidth) << "the client area follows the window";
    Shot("resized");

    // Quick successive resizes through the window manager: the last one
    // wins, the form ends the size of its X window.
    for (int step = 1; step <= 40; ++step)
        server.MoveResize(window, 60, 70, start.width + 80 + step * 3,
                          start.height + 40 + step * 2);
    ASSERT_TRUE(Settles(events)) << "the size did not settle after a burst of resizes";
    g = server.WindowGeometry(window);
    EXPECT_EQ(g.width, start.width + 200);
    EXPECT_EQ(g.height, start.height + 120);
    Shot("resized_often");

    // A drag of the caption moves it.
    RECT before{};
    program->Call([&] { GetWindowRect(program->formWindow(), before); });
    clock.Advance(1000);
    server.MoveTo(before.left + 60, before.top + 10);
    server.Button(1, true);
    ASSERT_TRUE(program->Call([] { PumpDisplay(); }));
    ASSERT_TRUE(server.WaitFor([&] {
        program->Call([] { PumpDisplay(); });
        return server.WindowManagerBarrier();
    }));
    for (int step = 1; step <= 20; ++step)
        server.MoveTo(before.left + 60 + step * 5, before.top + 10 + step * 4);
    server.Button(1, false);
    ASSERT_TRUE(Settles(events)) << "the position did not settle after the move";
    g = server.WindowGeometry(window);
    EXPECT_EQ(g.x, before.left + 100);
    EXPECT_EQ(g.y, before.top + 80);

    // Still usable where it now is.
    const POINT button = ClientPoint(mainForm, 300 + 10, 6 + 10);
    const int clicked = program->Get<int>([&] { return buttonClicks; });
    clock.Advance(1000);
    server.Click(button.x, button.y);
    EXPECT_TRUE(WaitCount(buttonClicks, clicked + 1))
        << "the moved form missed a click";
}

TEST_F(X11DemoTest, MinimiseAndRestoreByTheFormAndByTheWindowManager) {
    const HWND form = program->formWindow();
    auto iconic = [&] { return program->Get<bool>([&] { return IsIconic(form) != FALSE; }); };
    // The form's own minimise button, found on its caption.
    RECT wr{};
    program->Call([&] { GetWindowRect(form, wr); });
    POINT minButton{-1, -1};
    program->Call([&] {
        for (int x = wr.right - 1; x > wr.left && minButton.x < 0; --x)
            if (SendMessage(form, WM_NCHITTEST, 0, MAKELPARAM(x, wr.top + 12)) == HTMINBUTTON)
                minButton = {x - 3, wr.top + 12};
    });
    ASSERT_GE(minButton.x, 0) << "no minimise button";
    clock.Advance(1000);
    server.Click(minButton.x, minButton.y);
    EXPECT_TRUE(server.WaitFor([&] {
        return server.WmState(window) == 3 && !server.WindowGeometry(window).viewable;
    })) << "the window manager was not asked to iconify";
    EXPECT_TRUE(iconic());
    EXPECT_TRUE(program->Get<bool>([&] { return program->app()->Minimized(); }));
    Shot("minimised_by_button");

    // Restored from the taskbar: shown, painted, the form knows.
    server.Activate(window);
    ASSERT_TRUE(server.WaitFor([&] {
        return server.WmState(window) == 1 && server.WindowGeometry(window).viewable;
    })) << "not restored";
    EXPECT_TRUE(server.WaitFor([&] { return !iconic(); }));
    EXPECT_FALSE(program->Get<bool>([&] { return program->app()->Minimized(); }));
    EXPECT_EQ(program->Get<int>([&] { return int(mainForm->WindowState()); }),
              int(wsNormal));
    program->Call([] { PumpDisplay(); });
    Shot("restored_by_window_manager");

    // Minimised from the taskbar, restored by the program.
    server.Iconify(window);
    EXPECT_TRUE(server.WaitFor([&] { return iconic(); }))
        << "the form did not learn of the iconify";
    EXPECT_EQ(program->Get<int>([&] { return int(mainForm->WindowState()); }),
              int(wsMinimized));
    EXPECT_TRUE(program->Get<bool>([&] { return program->app()->Minimized(); }));
    program->Call([&] { program->app()->Restore(); });
    EXPECT_TRUE(server.WaitFor([&] {
        return server.WmState(window) == 1 && server.WindowGeometry(window).viewable;
    })) << "the program's restore did not reach the window manager";
    EXPECT_FALSE(iconic());

    // Minimised again by the button: the application's state was kept right.
    clock.Advance(1000);
    server.Click(minButton.x, minButton.y);
    EXPECT_TRUE(server.WaitFor([&] { return server.WmState(window) == 3; }))
        << "second minimise by the button";
    server.Activate(window);
    EXPECT_TRUE(
        server.WaitFor([&] { return server.WindowGeometry(window).viewable && !iconic(); }));

    // Maximised and back by the window manager.
    server.Maximize(window, true);
    EXPECT_TRUE(server.WaitFor([&] {
        return program->Get<bool>([&] { return IsZoomed(form) != FALSE; });
    })) << "the form did not learn of the maximise";
    int events = 0;
    EXPECT_TRUE(Settles(events));
    EXPECT_EQ(server.WindowGeometry(window).width, 800);
    Shot("maximised_by_window_manager");
    server.Maximize(window, false);
    EXPECT_TRUE(server.WaitFor(
        [&] { return !program->Get<bool>([&] { return IsZoomed(form) != FALSE; }); }));
    EXPECT_TRUE(Settles(events));
    EXPECT_EQ(server.WindowGeometry(window).width, wr.right - wr.left);
}

TEST_F(X11DemoTest, ClosedByTheWindowManagerTheProgramEnds) {
    server.Close(window);
    EXPECT_TRUE(program->WaitFinished(Xvfb::kBound)) << "the application did not end";
    EXPECT_TRUE(server.WaitFor([&] { return !server.WindowGeometry(window).exists; }));
}

TEST_F(X11DemoTest, DestroyingTheXWindowEndsTheProgram) {
    const HWND form = program->formWindow();
    server.Destroy(window);
    EXPECT_TRUE(program->WaitFinished(Xvfb::kBound))
        << "the application lived on without its window";
    EXPECT_FALSE(IsWindow(form));
}

} // namespace
} // namespace ax
