// Dragging the selection out of a multi-select list box in automatic drag
// mode, onto a target that takes it. Items are 13 pixels high.
#include "fixture.h"
#include "stdctrls/listbox.h"

namespace ax {
namespace {

using test::StdCtrlsTest;

class ListBoxDragTest : public StdCtrlsTest {
protected:
    void SetUp() override {
        StdCtrlsTest::SetUp();
        form = MakeForm();
        list = TComponent::Create<TListBox>(form);
        list->SetParent(form);
        list->SetBounds(10, 10, 120, 100);
        for (int i = 0; i < 6; ++i) list->Items().Add("item " + std::to_string(i));
        list->SetMultiSelect(true);
        list->SetDragMode(dmAutomatic);
        target = TComponent::Create<TCustomControl>(form);
        target->SetParent(form);
        target->SetBounds(180, 10, 100, 100);
        target->OnDragOver = [this](TObject*, TObject* source, int, int, TDragState, bool& accept) {
            accept = source == list;
        };
        target->OnDragDrop = [this](TObject*, TObject*, int, int) {
            for (int i = 0; i < list->Count(); ++i)
                if (list->Selected(i)) dropped.push_back(i);
        };
        app->ProcessMessages();
        // Items 1 and 3 selected.
        ClickAt(list, 5, Item(1));
        clock.Advance(1000);
        InjectKey(VK_CONTROL, true);
        ClickAt(list, 5, Item(3));
        InjectKey(VK_CONTROL, false);
        clock.Advance(1000);
        app->ProcessMessages();
    }
    static int Item(int i) { return i * 13 + 5; }
    void Press(TControl* c, int x, int y) {
        MoveTo(c, x, y);
        InjectMouseButton(MouseButton::Left, true);
        app->ProcessMessages();
    }
    void MoveTo(TControl* c, int x, int y) {
        const POINT p = c->ClientToScreen(POINT{x, y});
        InjectMouseMove(p.x, p.y);
        app->ProcessMessages();
    }
    void Release() {
        InjectMouseButton(MouseButton::Left, false);
        app->ProcessMessages();
    }
    std::vector<int> SelectedItems() {
        std::vector<int> out;
        for (int i = 0; i < list->Count(); ++i)
            if (list->Selected(i)) out.push_back(i);
        return out;
    }
    TForm* form = nullptr;
    TListBox* list = nullptr;
    TCustomControl* target = nullptr;
    std::vector<int> dropped;
};

TEST_F(ListBoxDragTest, APressOnASelectedItemDragsTheWholeSelection) {
    ASSERT_EQ(SelectedItems(), (std::vector<int>{1, 3}));
    Press(list, 5, Item(1));
    EXPECT_EQ(SelectedItems(), (std::vector<int>{1, 3})) << "the press keeps the selection";
    MoveTo(list, 5, Item(1) + 4); // within the threshold
    EXPECT_FALSE(list->Dragging());
    MoveTo(list, 5, Item(1) + 8);
    EXPECT_TRUE(list->Dragging());
    MoveTo(list, 60, Item(4)); // over the list's own items: nothing is selected on the way
    MoveTo(target, 20, 20);
    Release();
    EXPECT_EQ(dropped, (std::vector<int>{1, 3}));
    EXPECT_EQ(SelectedItems(), (std::vector<int>{1, 3}));
    MoveTo(list, 5, Item(5)); // the list no longer follows the mouse
    EXPECT_EQ(SelectedItems(), (std::vector<int>{1, 3}));
}

TEST_F(ListBoxDragTest, APressThatDoesNotMoveIsThePlainClickItWouldHaveBeen) {
    Press(list, 5, Item(3));
    Release();
    EXPECT_EQ(SelectedItems(), (std::vector<int>{3}));
    EXPECT_TRUE(dropped.empty());
}

TEST_F(ListBoxDragTest, APressOnAnUnselectedItemSelectsItAndThenDragsIt) {
    Press(list, 5, Item(4));
    EXPECT_EQ(SelectedItems(), (std::vector<int>{4}));
    MoveTo(target, 30, 30);
    Release();
    EXPECT_EQ(dropped, (std::vector<int>{4}));
}

TEST_F(ListBoxDragTest, ACancelledDragLeavesTheListAsItWas) {
    Press(list, 5, Item(1));
    MoveTo(target, 20, 20);
    ASSERT_TRUE(list->Dragging());
    InjectKeyStroke(VK_ESCAPE);
    app->ProcessMessages();
    EXPECT_FALSE(list->Dragging());
    MoveTo(list, 5, Item(5));
    Release();
    EXPECT_TRUE(dropped.empty());
    EXPECT_EQ(SelectedItems(), (std::vector<int>{1, 3}));
}

} // namespace
} // namespace ax
