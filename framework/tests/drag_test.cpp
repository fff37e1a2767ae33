// Drags inside the program, driven by injected mouse and key input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/dragmanager.h"
#include "drag_pad.h"
#include "framework_fixture.h"

namespace ax {
namespace {

using test::FrameworkTest;
using test::Pad;

class DragTest : public FrameworkTest {
protected:
    void SetUp() override {
        FrameworkTest::SetUp();
        form = app->CreateForm<TForm>();
        form->SetBounds(100, 100, 400, 300);
        source = Place(0, 0);
        target = Place(150, 0);
        bystander = Place(0, 150);
        form->Show();
        app->ProcessMessages();
        source->OnStartDrag = [this](TObject*, TDragObject*&) { log.push_back("start"); };
        source->OnEndDrag = [this](TObject*, TObject* t, int x, int y) {
            log.push_back("end " + Name(t) + " " + std::to_string(x) + "," + std::to_string(y));
        };
        // The target takes drags over its left half only.
        target->OnDragOver = [this](TObject*, TObject* from, int x, int y, TDragState state, bool& accept) {
            static const char* states[] = {"enter", "leave", "move"};
            log.push_back(std::string(states[state]) + " " + Name(from) + " " + std::to_string(x) + "," +
                          std::to_string(y));
            accept = x < 50;
        };
        target->OnDragDrop = [this](TObject*, TObject* from, int x, int y) {
            log.push_back("drop " + Name(from) + " " + std::to_string(x) + "," + std::to_string(y));
        };
    }
    Pad* Place(int x, int y) {
        auto* pad = TComponent::Create<Pad>(form);
        pad->SetParent(form);
        pad->SetBounds(x, y, 100, 100);
        return pad;
    }
    std::string Name(TObject* o) const {
        return !o ? "none" : o == source ? "source" : o == target ? "target" : o == bystander ? "bystander" : "?";
    }
    void MoveTo(TControl* c, int x, int y) {
        const POINT p = c->ClientToScreen({x, y});
        InjectMouseMove(p.x, p.y);
        app->ProcessMessages();
    }
    void Press(TControl* c, int x, int y) {
        MoveTo(c, x, y);
        InjectMouseButton(MouseButton::Left, true);
        app->ProcessMessages();
    }
    void Release() {
        InjectMouseButton(MouseButton::Left, false);
        app->ProcessMessages();
    }
    // A press on the source that begins a drag with the given threshold.
    void PressAndBegin(int threshold) {
        source->OnMouseDown = [this, threshold](TObject*, TMouseButton, TShiftState, int, int) {
            source->BeginDrag(false, threshold);
        };
        Press(source, 10, 10);
    }
    TForm* form = nullptr;
    Pad *source = nullptr, *target = nullptr, *bystander = nullptr;
    std::vector<std::string> log;
};

TEST_F(DragTest, TheDragWaitsUntilThePointerPassesTheThresholdInEitherDirection) {
    PressAndBegin(4);
    MoveTo(source, 14, 14); // four pixels each way: still a press
    EXPECT_TRUE(TDragManager::Waiting());
    EXPECT_TRUE(log.empty());
    MoveTo(source, 10, 15); // five down
    EXPECT_TRUE(source->Dragging());
    EXPECT_EQ(log, (std::vector<std::string>{"start"}));
    Release();
    EXPECT_FALSE(source->Dragging());
}

TEST_F(DragTest, AReleaseBeforeTheThresholdIsAPlainClick) {
    int clicks = 0;
    source->OnClick = [&](TObject*) { ++clicks; };
    PressAndBegin(-1); // the default of five pixels
    MoveTo(source, 15, 10);
    Release();
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(log.empty());
    EXPECT_FALSE(TDragManager::Waiting());
}

TEST_F(DragTest, TheTargetIsAskedOnEnterMoveAndLeaveAndTheCursorSaysItsAnswer) {
    source->SetDragCursor(crMultiDrag);
    PressAndBegin(5);
    MoveTo(target, 20, 30);
    EXPECT_EQ(Screen()->Cursor(), crMultiDrag);
    MoveTo(target, 70, 30); // the half that refuses
    EXPECT_EQ(Screen()->Cursor(), crNoDrop);
    MoveTo(bystander, 5, 5); // no OnDragOver: refuses
    EXPECT_EQ(Screen()->Cursor(), crNoDrop);
    Press(bystander, 6, 6); // other buttons pressed mid-drag are not clicks
    EXPECT_EQ(log, (std::vector<std::string>{"start", "enter source 20,30", "move source 70,30",
                                             "leave source -145,155"})); // in the target's own client area
    Release();
    EXPECT_EQ(Screen()->Cursor(), crDefault);
}

TEST_F(DragTest, AReleaseOverAnAcceptingTargetDrops) {
    PressAndBegin(5);
    MoveTo(target, 20, 30);
    Release();
    EXPECT_EQ(log, (std::vector<std::string>{"start", "enter source 20,30", "drop source 20,30",
                                             "end target 20,30"}));
    EXPECT_EQ(source->cancels, 0);
    EXPECT_FALSE(source->MouseCapture());
}

TEST_F(DragTest, AReleaseWhereNothingAcceptsEndsTheDragWithoutATarget) {
    PressAndBegin(5);
    MoveTo(target, 80, 30); // refuses
    Release();
    MoveTo(target, 20, 30); // after the drag, moves are moves again
    EXPECT_EQ(log, (std::vector<std::string>{"start", "enter source 80,30", "leave source 80,30",
                                             "end none 230,30"}));
    EXPECT_EQ(source->cancels, 1);

    log.clear();
    PressAndBegin(5);
    MoveTo(form, 380, 280); // the form's own client area, no control
    const POINT outside = form->ClientToScreen({500, 500});
    InjectMouseMove(outside.x, outside.y); // off the form altogether
    app->ProcessMessages();
    Release();
    EXPECT_EQ(log, (std::vector<std::string>{"start", "end none 500,500"}));
    EXPECT_EQ(source->cancels, 2);
}

TEST_F(DragTest, EscapeCancelsAndTheKeyGoesNowhereElse) {
    std::vector<WORD> keys;
    form->SetKeyPreview(true);
    form->OnKeyDown = [&](TObject*, WORD& key, TShiftState) { keys.push_back(key); };
    PressAndBegin(5);
    MoveTo(target, 20, 30);
    InjectKey(VK_ESCAPE, true);
    app->ProcessMessages();
    EXPECT_FALSE(source->Dragging());
    EXPECT_EQ(Screen()->Cursor(), crDefault);
    MoveTo(target, 25, 30);
    Release(); // the button comes up after the drag: no drop
    InjectKey(VK_ESCAPE, false);
    InjectKeyStroke('A', 'a');
    app->ProcessMessages();
    EXPECT_EQ(log, (std::vector<std::string>{"start", "enter source 20,30", "leave source 20,30",
                                             "end none 170,30"}));
    EXPECT_EQ(keys, (std::vector<WORD>{WORD('A')}));
}

TEST_F(DragTest, KeyboardHooksInstalledBeforeTheDragStillSeeOtherKeys) {
    std::vector<WPARAM> hooked;
    HHOOK older = SetWindowsHookEx(
        WH_KEYBOARD,
        [&](int, WPARAM key, LPARAM data) -> LRESULT {
            if (!(uintptr_t(data) & 0x80000000u)) hooked.push_back(key);
            return 0;
        },
        GetCurrentThreadId());
    PressAndBegin(5);
    MoveTo(target, 20, 30);
    InjectKeyStroke('A', 'a');
    app->ProcessMessages();
    EXPECT_TRUE(source->Dragging()) << "another key does not end the drag";
    InjectKeyStroke(VK_ESCAPE);
    app->ProcessMessages();
    UnhookWindowsHookEx(older);
    EXPECT_FALSE(source->Dragging());
    EXPECT_EQ(hooked, (std::vector<WPARAM>{WPARAM('A')})) << "Escape is the drag's alone";
}

TEST_F(DragTest, ADragStillWaitingGivesWayToTheNextOne) {
    source->BeginDrag(false);
    bystander->BeginDrag(false); // the first one's release never came
    EXPECT_EQ(TDragManager::Source(), bystander);
    bystander->EndDrag(false);
    EXPECT_FALSE(TDragManager::Waiting());
    EXPECT_TRUE(log.empty());
}

TEST_F(DragTest, AutomaticModeDragsFromAnyLeftPress) {
    source->SetDragMode(dmAutomatic);
    Press(source, 10, 10);
    MoveTo(source, 30, 10);
    EXPECT_TRUE(source->Dragging());
    MoveTo(target, 40, 40);
    Release();
    EXPECT_EQ(log.back(), "end target 40,40");
}

TEST_F(DragTest, ADragObjectFromOnStartDragIsWhatTargetsSee) {
    TDragObject handed;
    source->OnStartDrag = [&](TObject*, TDragObject*& object) { object = &handed; };
    target->OnDragDrop = [&](TObject*, TObject* from, int, int) { log.push_back(from == &handed ? "ours" : "?"); };
    PressAndBegin(5);
    MoveTo(target, 20, 30);
    EXPECT_EQ(TDragManager::DragObject(), &handed);
    EXPECT_EQ(handed.DragTarget(), target);
    EXPECT_EQ(Screen()->Cursor(), crDrag);
    Release();
    EXPECT_TRUE(handed.Dropped());
    EXPECT_EQ(log.back(), "end target 20,30");
    EXPECT_EQ(log.at(log.size() - 2), "ours");
}

TEST_F(DragTest, ATargetFreedMidDragIsForgottenAndTheDragEndsWithoutIt) {
    PressAndBegin(5);
    MoveTo(target, 20, 30);
    delete target;
    target = nullptr;
    Release();
    EXPECT_EQ(log.back(), "end none 170,30");
    EXPECT_EQ(source->cancels, 1);
}

TEST_F(FrameworkTest, ConstraintsBoundTheSizeAtOnce) {
    auto* form = app->CreateForm<TForm>();
    auto* pad = TComponent::Create<TCustomControl>(form);
    pad->SetParent(form);
    pad->SetBounds(0, 0, 300, 20);
    pad->Constraints().SetMaxWidth(200);
    EXPECT_EQ(pad->Width(), 200);
    pad->Constraints().SetMinHeight(40);
    EXPECT_EQ(pad->Height(), 40);
    pad->SetBounds(5, 5, 10, 500);
    EXPECT_EQ(pad->BoundsRect(), (RECT{5, 5, 15, 505}));
    pad->Constraints().SetMinWidth(50); // a minimum above the maximum wins
    EXPECT_EQ(pad->Width(), 50);
}

TEST_F(FrameworkTest, WheelEventsComeFirstAndMayKeepTheWheelFromTheControl) {
    auto* form = app->CreateForm<TForm>();
    form->SetBounds(100, 100, 200, 200);
    auto* pad = TComponent::Create<TCustomControl>(form);
    pad->SetParent(form);
    pad->SetBounds(0, 0, 100, 100);
    form->Show();
    app->ProcessMessages();
    std::vector<std::string> seen;
    pad->OnMouseWheelDown = [&](TObject*, TShiftState shift, POINT at, bool& handled) {
        seen.push_back("down " + std::to_string(at.x) + "," + std::to_string(at.y) + (shift & ssCtrl ? " ctrl" : ""));
        handled = true;
    };
    pad->OnMouseWheelUp = [&](TObject*, TShiftState, POINT, bool&) { seen.push_back("up"); };
    pad->SetFocus();
    const POINT p = pad->ClientToScreen({10, 20});
    InjectMouseMove(p.x, p.y);
    InjectKey(VK_CONTROL, true);
    InjectMouseWheel(-120);
    InjectKey(VK_CONTROL, false);
    InjectMouseWheel(240);
    app->ProcessMessages();
    const std::string at = std::to_string(p.x) + "," + std::to_string(p.y); // where the pointer was
    EXPECT_EQ(seen, (std::vector<std::string>{"down " + at + " ctrl", "up"}));
}

} // namespace
} // namespace ax
