// The option check list dragged as a dock tool on a real display (a private
// Xvfb with openbox, XTest input moved as a hand moves): the dock frame
// follows the pointer as the server shows it, the list docks into a panel
// that is a dock site, floats in a tool window of its own over empty
// desktop, and hides with that window when it is closed; Escape leaves it
// where it was. Pictures: dock_frame_over_site, dock_docked and
// dock_floating (the whole screen).
#include "controls/ExCheckListBox.h"
#include "framework/dockframe.h"
#include "framework/dragmanager.h"
#include "framework/floatingdockform.h"
#include "stdctrls/extctrls.h"
#include "x11_program.h"

#include <cairo.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace ax {
namespace {

// Key symbols (X11/keysym.h stays out: its macros clash with ours).
constexpr unsigned long kXK_Escape = 0xFF1B;
// Where the press lands on the list: the second item's text, 62, 26 from
// the list's corner (inside its 2-pixel border).
constexpr POINT kPress{60, 24};
constexpr POINT kGrab{62, 26};
constexpr int kListWidth = 121, kListHeight = 97;

class X11DockTest : public test::X11FormTest {
protected:
    TForm* Build(TApplication& app) override {
        form = app.CreateForm<TForm>();
        form->SetCaption("Dock");
        form->SetBounds(40, 50, 0, 0);
        form->SetClientSize(440, 260);
        list = TComponent::Create<TExCheckListBox>(form);
        list->SetParent(form);
        list->SetBounds(10, 10, kListWidth, kListHeight);
        for (const char* item : {"Automatic", "Verify", "Compress", "Encrypt"}) list->Items().Add(item);
        list->SetChecked(0, true);
        list->SetChecked(2, true);
        list->SetDragMode(dmAutomatic);
        list->SetDragKind(dkDock);
        list->OnEndDock = [this](TObject*, TObject* target, int, int) {
            program->Change([&] { ends.push_back(target == panel ? "panel" : target ? "?" : "none"); });
        };
        panel = TComponent::Create<TPanel>(form);
        panel->SetParent(form);
        panel->SetBounds(200, 10, 220, 230);
        panel->SetCaption("Dock site");
        panel->SetDockSite(true);
        form->Show();
        return form;
    }
    POINT ScreenOf(TControl* c, POINT p) {
        return program->Get<POINT>([=] { return c->ClientToScreen(p); });
    }
    // Presses on the list and moves to `to` as a hand does, a few pixels
    // at a time, or in one jump. The button stays down.
    void PressAndMove(POINT to, bool jump = false) {
        const POINT from = ScreenOf(list, kPress);
        clock.Advance(1000);
        server.MoveTo(from.x, from.y);
        server.Button(1, true);
        const int steps = jump ? 1 : std::max(std::abs(to.x - from.x), std::abs(to.y - from.y)) / 4 + 1;
        for (int i = 1; i <= steps; ++i)
            server.MoveTo(from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps);
    }
    // The frame where it should stand, as the program has it.
    bool FrameAt(const RECT& r) {
        if (Until([=] {
                const TDockFrame* frame = TDragManager::DockFrame();
                return frame && frame->Visible() && frame->Rect() == r;
            }))
            return true;
        const RECT at = program->Get<RECT>([] {
            const TDockFrame* frame = TDragManager::DockFrame();
            return frame ? frame->Rect() : RECT{};
        });
        ADD_FAILURE() << "the frame is at " << at.left << "," << at.top << "," << at.right << "," << at.bottom
                      << " not at " << r.left << "," << r.top << "," << r.right << "," << r.bottom;
        return false;
    }
    // The screen as the server shows it, once the program presented
    // everything pending.
    void ScreenShot(const std::string& name) {
        ASSERT_TRUE(program->Call([] {
            for (HWND h : EnumWindows()) RedrawWindow(h, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
            PumpDisplay();
        }));
        ASSERT_TRUE(server.Screenshot(SnapshotPath(name).string())) << name;
    }
    // The colours of the screen picture along a line of the frame.
    static std::set<std::uint32_t> ColoursAlong(const std::string& name, POINT from, int length) {
        cairo_surface_t* s = cairo_image_surface_create_from_png(SnapshotPath(name).c_str());
        std::set<std::uint32_t> seen;
        if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
            const auto* row = cairo_image_surface_get_data(s) + from.y * cairo_image_surface_get_stride(s);
            for (int x = from.x; x < from.x + length; ++x)
                seen.insert(reinterpret_cast<const std::uint32_t*>(row)[x] & 0xFFFFFFu);
        }
        cairo_surface_destroy(s);
        return seen;
    }
    std::vector<std::string> Ends() { return program->Read(ends); }

    TForm* form = nullptr;
    TExCheckListBox* list = nullptr;
    TPanel* panel = nullptr;
    std::vector<std::string> ends; // under the program's lock
};

TEST_F(X11DockTest, TheFrameFollowsThePointerAndTheListDocksIntoThePanel) {
    const POINT to = ScreenOf(panel, {100, 120});
    PressAndMove(to);
    const RECT expected{to.x - kGrab.x, to.y - kGrab.y, to.x - kGrab.x + kListWidth, to.y - kGrab.y + kListHeight};
    ASSERT_TRUE(FrameAt(expected)) << "the frame did not follow the pointer";
    ScreenShot("dock_frame_over_site");
    // The server shows the frame: black and white along its top edge,
    // nothing of the panel's face there.
    EXPECT_EQ(ColoursAlong("dock_frame_over_site", {expected.left + 8, expected.top + 1}, 40),
              (std::set<std::uint32_t>{0x000000u, 0xFFFFFFu}));
    server.Button(1, false);
    ASSERT_TRUE(Until([&] { return list->Parent() == panel && TDragManager::DockFrame() == nullptr; }))
        << "the list was not docked";
    EXPECT_EQ(program->Get<RECT>([&] { return list->BoundsRect(); }), (RECT{38, 94, 159, 191}));
    EXPECT_EQ(Ends(), (std::vector<std::string>{"panel"}));
    EXPECT_TRUE(program->Get<bool>([&] { return list->Checked(0) && !list->Checked(1) && list->Checked(2); }));
    // The list answers clicks where it now is.
    Click(ScreenOf(list, {8, 40})); // the third item's box: unchecked
    EXPECT_TRUE(Until([&] { return !list->Checked(2); }));
    Shot(program->formWindow(), "dock_docked");
}

TEST_F(X11DockTest, OverEmptyDesktopTheListFloatsAndHidesWithItsWindow) {
    const POINT to{620, 470}; // beside the form, on nothing
    PressAndMove(to, true);
    ASSERT_TRUE(FrameAt({to.x - kGrab.x, to.y - kGrab.y, to.x - kGrab.x + kListWidth, to.y - kGrab.y + kListHeight}));
    server.Button(1, false);
    ASSERT_TRUE(Until([&] { return dynamic_cast<TFloatingDockForm*>(list->Parent()) != nullptr; }))
        << "the list did not float";
    const HWND host = program->Get<HWND>([&] { return list->Parent()->AsWinControl()->Handle(); });
    ASSERT_TRUE(Shown(host)) << "the floating window was not shown where the program has it";
    EXPECT_EQ(program->Get<POINT>([&] { return list->ClientToScreen({0, 0}); }),
              (POINT{to.x - kGrab.x + 2, to.y - kGrab.y + 2})); // where the frame was, inside the border
    EXPECT_EQ(Ends(), (std::vector<std::string>{"none"}));
    ScreenShot("dock_floating");
    // Closed from the window manager, as its close button does.
    const unsigned long x = XWindowOf(host);
    server.Close(x);
    ASSERT_TRUE(Until([&] { return !list->Visible() && !list->Parent()->Visible(); }))
        << "closing the floating window did not hide the list";
    EXPECT_TRUE(server.WaitFor([&] { return !server.WindowGeometry(x).viewable; }));
}

TEST_F(X11DockTest, EscapeMidDragLeavesTheListWhereItWas) {
    const POINT to = ScreenOf(panel, {100, 120});
    PressAndMove(to);
    ASSERT_TRUE(Until([&] { return list->Dragging(); }));
    server.KeyStroke(kXK_Escape);
    ASSERT_TRUE(Until([&] { return !list->Dragging(); })) << "Escape did not end the drag";
    server.Button(1, false);
    EXPECT_TRUE(program->Call([] { PumpDisplay(); }));
    EXPECT_EQ(program->Get<TWinControl*>([&] { return list->Parent(); }), form);
    EXPECT_EQ(program->Get<RECT>([&] { return list->BoundsRect(); }), (RECT{10, 10, 131, 107}));
    EXPECT_EQ(Ends(), (std::vector<std::string>{"none"}));
    EXPECT_EQ(program->Get<int>([] {
                  int frames = 0; // shown windows the pointer goes through
                  for (HWND h : EnumWindows())
                      if (IsWindowVisible(h) && (GetWindowLongPtr(h, GWL_EXSTYLE) & WS_EX_TRANSPARENT)) ++frames;
                  return frames;
              }),
              0);
}

} // namespace
} // namespace ax
