// Dock drags inside the program, driven by injected mouse and key input:
// the frame, docking into a site, floating, cancelling.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/dockframe.h"
#include "framework/dragmanager.h"
#include "framework/floatingdockform.h"
#include "framework/streaming.h"
#include "drag_pad.h"
#include "framework_fixture.h"

namespace ax {
namespace {

using test::FrameworkTest;
using test::Pad;

class DockTest : public FrameworkTest {
protected:
    void SetUp() override {
        FrameworkTest::SetUp();
        form = app->CreateForm<TForm>();
        form->SetBounds(100, 100, 400, 300);
        tool = Place(form, 10, 10, 100, 80);
        tool->SetDragKind(dkDock);
        site = Place(form, 200, 20, 150, 200);
        site->SetDockSite(true);
        plain = Place(form, 10, 150, 100, 80); // takes drags, docks nothing
        form->Show();
        app->ProcessMessages();
        tool->OnStartDock = [this](TObject* s, TDragDockObject*&) { log.push_back("start " + Name(s)); };
        tool->OnEndDock = [this](TObject* s, TObject* t, int x, int y) {
            log.push_back("end " + Name(s) + " " + Name(t) + " " + std::to_string(x) + "," + std::to_string(y));
        };
        tool->OnStartDrag = [this](TObject*, TDragObject*&) { log.push_back("start drag"); };
        tool->OnEndDrag = [this](TObject*, TObject*, int, int) { log.push_back("end drag"); };
        plain->OnDragOver = [this](TObject*, TObject*, int, int, TDragState, bool& accept) {
            log.push_back("asked");
            accept = true;
        };
    }
    Pad* Place(TWinControl* parent, int x, int y, int w, int h) {
        auto* pad = TComponent::Create<Pad>(form);
        pad->SetParent(parent);
        pad->SetBounds(x, y, w, h);
        return pad;
    }
    std::string Name(TObject* o) const {
        return !o ? "none" : o == tool ? "tool" : o == site ? "site" : o == plain ? "plain" : "?";
    }
    // A point in the form's client area, on the screen.
    POINT At(int x, int y) { return form->ClientToScreen({x, y}); }
    void MoveTo(POINT p) {
        InjectMouseMove(p.x, p.y);
        app->ProcessMessages();
    }
    void Press(POINT p) {
        MoveTo(p);
        InjectMouseButton(MouseButton::Left, true);
        app->ProcessMessages();
    }
    void Release() {
        InjectMouseButton(MouseButton::Left, false);
        app->ProcessMessages();
    }
    // Presses on the tool at (x, y) of its client area and begins a drag
    // that starts past five pixels.
    void PressOnTool(int x, int y) {
        tool->OnMouseDown = [this](TObject*, TMouseButton, TShiftState, int, int) { tool->BeginDrag(false, 5); };
        Press(tool->ClientToScreen({x, y}));
    }
    static RECT Rect(POINT at, int w, int h) { return {at.x, at.y, at.x + w, at.y + h}; }
    // The floating windows the application holds.
    std::vector<TFloatingDockForm*> Floating() {
        std::vector<TFloatingDockForm*> found;
        for (int i = 0; i < app->ComponentCount(); ++i)
            if (auto* f = dynamic_cast<TFloatingDockForm*>(app->Components(i))) found.push_back(f);
        return found;
    }
    // Shown top-level windows the pointer goes through: the frame's.
    static int FrameWindowsShown() {
        int n = 0;
        for (HWND h : EnumWindows())
            if (IsWindowVisible(h) && (GetWindowLongPtr(h, GWL_EXSTYLE) & WS_EX_TRANSPARENT)) ++n;
        return n;
    }
    TForm* form = nullptr;
    Pad *tool = nullptr, *site = nullptr, *plain = nullptr;
    std::vector<std::string> log;
};

TEST_F(DockTest, TheFrameFollowsThePointerAtTheToolsSizeAndNoTargetIsAsked) {
    PressOnTool(20, 10);
    MoveTo(At(30, 26)); // 6 down: past the threshold
    ASSERT_TRUE(tool->Dragging());
    const TDockFrame* frame = TDragManager::DockFrame();
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(frame->Visible());
    EXPECT_EQ(frame->Rect(), Rect(At(10, 16), 100, 80)); // the press stays at (20, 10) inside it
    EXPECT_EQ(FrameWindowsShown(), 4);
    MoveTo(At(60, 170)); // over the plain pad: no dock site, and not asked
    EXPECT_EQ(frame->Rect(), Rect(At(40, 160), 100, 80));
    auto* object = dynamic_cast<TDragDockObject*>(TDragManager::DragObject());
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->DockRect(), Rect(At(40, 160), 100, 80));
    EXPECT_EQ(object->DragTarget(), nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"start tool"}));
    InjectKeyStroke(VK_ESCAPE);
    app->ProcessMessages();
    EXPECT_EQ(TDragManager::DockFrame(), nullptr);
    EXPECT_EQ(FrameWindowsShown(), 0);
}

TEST_F(DockTest, OverADockSiteTheFrameStaysInsideTheSiteAndTheReleaseDocksThere) {
    PressOnTool(20, 10);
    MoveTo(At(340, 25)); // the frame would stick out of the site at the right and the top
    EXPECT_EQ(TDragManager::DockFrame()->Rect(), Rect(site->ClientToScreen({50, 0}), 100, 80));
    EXPECT_EQ(TDragManager::DragObject()->DragTarget(), site);
    Release();
    EXPECT_EQ(tool->Parent(), site);
    EXPECT_EQ(tool->BoundsRect(), (RECT{50, 0, 150, 80}));
    EXPECT_TRUE(tool->Showing());
    EXPECT_EQ(log, (std::vector<std::string>{"start tool", "end tool site 140,5"})); // in the site
    EXPECT_EQ(tool->cancels, 0);
    EXPECT_FALSE(tool->MouseCapture());
    EXPECT_EQ(FrameWindowsShown(), 0);
    EXPECT_TRUE(Floating().empty());
}

TEST_F(DockTest, AnAlignedToolIsLaidOutByTheSite) {
    tool->SetAlign(alTop);
    tool->SetHeight(30); // across the form's top now
    PressOnTool(20, 10);
    MoveTo(At(260, 150));
    Release();
    EXPECT_EQ(tool->Parent(), site);
    EXPECT_EQ(tool->BoundsRect(), (RECT{0, 0, 150, 30}));
}

TEST_F(DockTest, TheFrameNeverHidesTheSiteFromThePointer) {
    PressOnTool(0, 0); // the pointer sits on the frame's corner throughout
    MoveTo(At(260, 100));
    MoveTo(At(261, 100)); // onto the frame where it was shown for the last move
    EXPECT_EQ(TDragManager::DragObject()->DragTarget(), site);
    Release();
    EXPECT_EQ(tool->Parent(), site);
}

TEST_F(DockTest, EscapeLeavesEverythingAsItWas) {
    PressOnTool(20, 10);
    MoveTo(At(260, 100));
    InjectKey(VK_ESCAPE, true);
    app->ProcessMessages();
    EXPECT_FALSE(tool->Dragging());
    MoveTo(At(270, 100));
    Release(); // after the drag: no dock
    InjectKey(VK_ESCAPE, false);
    app->ProcessMessages();
    EXPECT_EQ(tool->Parent(), form);
    EXPECT_EQ(tool->BoundsRect(), (RECT{10, 10, 110, 90}));
    const POINT cancelledAt = At(260, 100);
    EXPECT_EQ(log, (std::vector<std::string>{"start tool", "end tool none " + std::to_string(cancelledAt.x) + "," +
                                                               std::to_string(cancelledAt.y)}));
    EXPECT_EQ(tool->cancels, 1);
    EXPECT_EQ(FrameWindowsShown(), 0);
    EXPECT_TRUE(Floating().empty());
}

TEST_F(DockTest, AReleaseWhereNoSiteIsFloatsTheToolInAWindowOfItsOwn) {
    PressOnTool(20, 10);
    const POINT drop = At(470, 380); // off the form
    MoveTo(drop);
    Release();
    const std::vector<TFloatingDockForm*> floating = Floating();
    ASSERT_EQ(floating.size(), 1u);
    TFloatingDockForm* host = floating.front();
    EXPECT_EQ(tool->Parent(), host);
    EXPECT_EQ(host->Docked(), tool);
    EXPECT_TRUE(host->Visible());
    EXPECT_EQ(host->BorderStyle(), bsSizeToolWin);
    EXPECT_EQ(host->ClientOrigin(), At(450, 370)); // where the frame was
    EXPECT_EQ(host->ClientRect(), (RECT{0, 0, 100, 80}));
    EXPECT_EQ(tool->BoundsRect(), (RECT{0, 0, 100, 80}));
    EXPECT_TRUE(tool->Showing());
    EXPECT_EQ(log, (std::vector<std::string>{"start tool", "end tool none " + std::to_string(drop.x) + "," +
                                                               std::to_string(drop.y)}));
    EXPECT_EQ(tool->cancels, 0);

    // Dragged again by the tool, the same window moves.
    log.clear();
    PressOnTool(20, 10);
    MoveTo(At(520, 420));
    Release();
    EXPECT_EQ(Floating(), floating);
    EXPECT_EQ(host->ClientOrigin(), At(500, 410));
}

TEST_F(DockTest, ClosingTheFloatingWindowHidesTheTool) {
    PressOnTool(20, 10);
    MoveTo(At(470, 380));
    Release();
    ASSERT_EQ(Floating().size(), 1u);
    TFloatingDockForm* host = Floating().front();
    host->Close();
    app->ProcessMessages();
    EXPECT_FALSE(host->Visible());
    EXPECT_FALSE(tool->Visible());
    EXPECT_EQ(tool->Parent(), host);
}

TEST_F(DockTest, AFloatingToolDockedAgainTakesItsWindowAway) {
    PressOnTool(20, 10);
    MoveTo(At(470, 380));
    Release();
    ASSERT_EQ(Floating().size(), 1u);
    PressOnTool(20, 10);
    MoveTo(At(260, 100));
    Release();
    EXPECT_EQ(tool->Parent(), site);
    app->ProcessMessages(); // the empty window is freed once its messages are handled
    EXPECT_TRUE(Floating().empty());
}

TEST_F(DockTest, AToolFreedWhileFloatingTakesItsWindowAway) {
    PressOnTool(20, 10);
    MoveTo(At(470, 380));
    Release();
    ASSERT_EQ(Floating().size(), 1u);
    delete tool;
    tool = nullptr;
    app->ProcessMessages();
    EXPECT_TRUE(Floating().empty());
}

TEST_F(DockTest, ASiteInsideTheToolOrADisabledSiteDocksNothing) {
    Pad* inner = Place(tool, 10, 10, 40, 40); // a site of the tool's own
    inner->SetDockSite(true);
    PressOnTool(5, 5);
    MoveTo(tool->ClientToScreen({30, 30})); // over the inner site, the tool itself under the frame
    ASSERT_TRUE(tool->Dragging());
    EXPECT_EQ(TDragManager::DragObject()->DragTarget(), nullptr);
    InjectKeyStroke(VK_ESCAPE);
    Release();

    site->SetEnabled(false);
    PressOnTool(70, 10); // beside the inner site
    MoveTo(At(260, 100));
    ASSERT_TRUE(tool->Dragging());
    EXPECT_EQ(TDragManager::DragObject()->DragTarget(), nullptr);
    Release();
    EXPECT_NE(tool->Parent(), site);
}

TEST_F(DockTest, ADroppedToolMovesWithinItsOwnSite) {
    tool->SetParent(site);
    tool->SetBounds(0, 0, 100, 80);
    PressOnTool(20, 10);
    MoveTo(site->ClientToScreen({40, 110})); // still over the tool's own rectangle at first
    Release();
    EXPECT_EQ(tool->Parent(), site);
    EXPECT_EQ(tool->BoundsRect(), (RECT{20, 100, 120, 180}));
}

TEST_F(DockTest, AnObjectFromOnStartDockIsTheOneUsedAndStaysItsGivers) {
    TDragDockObject handed(tool);
    tool->OnStartDock = [&](TObject*, TDragDockObject*& object) { object = &handed; };
    PressOnTool(20, 10);
    MoveTo(At(260, 100));
    EXPECT_EQ(TDragManager::DragObject(), &handed);
    EXPECT_EQ(handed.DockRect(), Rect(site->ClientToScreen({40, 70}), 100, 80));
    Release();
    EXPECT_TRUE(handed.Dropped());
    EXPECT_EQ(handed.DragTarget(), site);
    EXPECT_EQ(tool->BoundsRect(), (RECT{40, 70, 140, 150}));
}

TEST_F(DockTest, AutomaticModeDocksFromAnyLeftPressAndPlainDragsStayDrags) {
    tool->SetDragMode(dmAutomatic);
    Press(tool->ClientToScreen({20, 10}));
    MoveTo(At(260, 100));
    EXPECT_TRUE(tool->Dragging());
    Release();
    EXPECT_EQ(tool->Parent(), site);
    EXPECT_EQ(log.front(), "start tool");

    log.clear();
    tool->SetDragKind(dkDrag);
    Press(tool->ClientToScreen({20, 10}));
    MoveTo(plain->ClientToScreen({20, 20}));
    EXPECT_EQ(TDragManager::DockFrame(), nullptr);
    Release();
    EXPECT_EQ(tool->Parent(), site);
    EXPECT_EQ(log, (std::vector<std::string>{"start drag", "asked", "end drag"}));
}

TEST_F(DockTest, DockSiteIsStoredOnlyWhenSet) {
    EXPECT_FALSE(plain->DockSite());
    TMemoryStream plainOut, siteOut;
    WriteComponentResource(plainOut, *plain);
    WriteComponentResource(siteOut, *site);
    const auto holdsDockSite = [](const TMemoryStream& s) {
        const std::string bytes(s.Bytes().begin(), s.Bytes().end());
        return bytes.find("\x08" "DockSite" "\x09") != std::string::npos; // the name, then True
    };
    EXPECT_FALSE(holdsDockSite(plainOut));
    EXPECT_TRUE(holdsDockSite(siteOut));
    TMemoryStream in(siteOut.Bytes());
    Pad copy(nullptr);
    ReadComponentResource(in, copy);
    EXPECT_TRUE(copy.DockSite());
}

} // namespace
} // namespace ax
