// The option check list dragged as a dock tool (DragKind dkDock, automatic
// mode): its dock events, and its items, states and enabled flags kept
// whichever window it lands in, since each move makes its window anew.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controls/ExCheckListBox.h"
#include "controls_fixture.h"
#include "framework/dragmanager.h"
#include "framework/floatingdockform.h"
#include "stdctrls/extctrls.h"

namespace ax {
namespace {

class CheckListDockTest : public test::ControlsTest {
protected:
    void SetUp() override {
        ControlsTest::SetUp();
        form = MakeForm(400, 260);
        list = TComponent::Create<TExCheckListBox>(form);
        list->SetParent(form);
        list->SetBounds(10, 10, 121, 97);
        for (const char* item : {"Automatic", "Verify", "Compress"}) list->Items().Add(item);
        list->SetChecked(0, true);
        list->SetState(1, cbGrayed);
        list->SetItemEnabled(2, false);
        list->SetDragMode(dmAutomatic);
        list->SetDragKind(dkDock);
        panel = TComponent::Create<TPanel>(form);
        panel->SetParent(form);
        panel->SetBounds(200, 10, 180, 200);
        panel->SetDockSite(true);
        list->OnStartDock = [this](TObject* s, TDragDockObject*&) { log.push_back(s == list ? "start" : "?"); };
        list->OnEndDock = [this](TObject* s, TObject* t, int, int) {
            log.push_back(std::string(s == list ? "end " : "? ") + (t == panel ? "panel" : t ? "?" : "none"));
        };
        list->OnClickCheck = [this](TObject*) { log.push_back("click check"); };
        app->ProcessMessages();
    }
    // Presses on the second item's text and moves the pointer to p.
    void DragTo(POINT p) {
        const POINT from = list->ClientToScreen({60, 24});
        InjectMouseMove(from.x, from.y);
        InjectMouseButton(MouseButton::Left, true);
        app->ProcessMessages();
        InjectMouseMove(p.x, p.y);
        app->ProcessMessages();
    }
    void Drop() {
        InjectMouseButton(MouseButton::Left, false);
        app->ProcessMessages();
    }
    // What the list holds: each item's text, state and enabled flag.
    std::vector<std::string> Items() {
        std::vector<std::string> out;
        for (int i = 0; i < list->Count(); ++i)
            out.push_back(list->Items()[i] + " " + std::to_string(list->State(i)) +
                          (list->ItemEnabled(i) ? "" : " disabled"));
        return out;
    }
    const std::vector<std::string> kItems{"Automatic 1", "Verify 2", "Compress 0 disabled"};
    TForm* form = nullptr;
    TExCheckListBox* list = nullptr;
    TPanel* panel = nullptr;
    std::vector<std::string> log;
};

TEST_F(CheckListDockTest, DockedIntoAPanelTheListKeepsItsItems) {
    DragTo(panel->ClientToScreen({90, 100}));
    ASSERT_TRUE(list->Dragging());
    EXPECT_EQ(TDragManager::DragObject()->DragTarget(), panel);
    Drop();
    EXPECT_EQ(list->Parent(), panel);
    // The press stays where it was on the list: 62, 26 from its corner
    // (60, 24 of the client area inside a 2-pixel border).
    EXPECT_EQ(list->BoundsRect(), (RECT{28, 74, 149, 171}));
    EXPECT_EQ(Items(), kItems);
    EXPECT_EQ(list->ItemIndex(), 1); // the press chose its item, as any press does
    EXPECT_EQ(log, (std::vector<std::string>{"start", "end panel"}));
}

TEST_F(CheckListDockTest, FloatedTheListKeepsItsItemsAndClosingItsWindowHidesIt) {
    const POINT out = form->ClientToScreen({500, 300});
    DragTo(out);
    Drop();
    auto* host = dynamic_cast<TFloatingDockForm*>(list->Parent());
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(host->ClientOrigin(), (POINT{out.x - 62, out.y - 26}));
    EXPECT_EQ(Items(), kItems);
    EXPECT_EQ(log, (std::vector<std::string>{"start", "end none"}));
    host->Close();
    app->ProcessMessages();
    EXPECT_FALSE(list->Visible());
    EXPECT_EQ(Items(), kItems);
}

TEST_F(CheckListDockTest, EscapeLeavesTheListWhereItWas) {
    DragTo(panel->ClientToScreen({90, 100}));
    InjectKeyStroke(VK_ESCAPE);
    // The button still held, the list no longer follows the pointer: the
    // press was the drag's.
    const POINT below = list->ClientToScreen({60, 40});
    InjectMouseMove(below.x, below.y);
    app->ProcessMessages();
    EXPECT_EQ(list->ItemIndex(), 1);
    Drop();
    EXPECT_EQ(list->Parent(), form);
    EXPECT_EQ(list->BoundsRect(), (RECT{10, 10, 131, 107}));
    EXPECT_EQ(Items(), kItems);
    EXPECT_EQ(list->ItemIndex(), 1);
    EXPECT_EQ(log, (std::vector<std::string>{"start", "end none"}));
}

} // namespace
} // namespace ax
