// The option check list read and written by index: radio rules and their
// events, toggling by mouse and keys, disabled items, items changing
// places, window re-creation; and the list box base's extent and sizes.
#include <gtest/gtest.h>

#include "controls/ExCheckListBox.h"
#include "controls_fixture.h"
#include "stdctrls/listbox.h"
#include "stdctrls/messages.h"

namespace ax {
namespace {

class CheckListTest : public test::ControlsTest {
protected:
    TExCheckListBox* MakeList(std::initializer_list<const char*> items, TCheckKind kind = ckCheckBoxes) {
        form = MakeForm();
        auto* list = TComponent::Create<TExCheckListBox>(form);
        list->SetName("List1");
        list->SetParent(form);
        list->SetBounds(10, 10, 150, 120);
        list->SetCheckKind(kind);
        for (const char* item : items) list->Items().Add(item);
        list->OnStateChange = [this](TObject*, int index) { events.push_back(index); };
        list->OnClickCheck = [this](TObject*) { ++clickChecks; };
        app->ProcessMessages();
        return list;
    }
    std::vector<int> States(TExCheckListBox* list) {
        std::vector<int> out;
        for (int i = 0; i < list->Count(); ++i) out.push_back(list->State(i));
        return out;
    }
    TForm* form = nullptr;
    std::vector<int> events;
    int clickChecks = 0;
};

TEST_F(CheckListTest, NewItemsAreUncheckedAndEnabled) {
    TExCheckListBox* list = MakeList({"a", "b"});
    EXPECT_EQ(States(list), (std::vector<int>{0, 0}));
    EXPECT_FALSE(list->Checked(1));
    EXPECT_TRUE(list->ItemEnabled(1));
    EXPECT_EQ(list->CheckedIndex(), -1); // not a radio list
    EXPECT_THROW(list->Checked(2), EStringListError);
    EXPECT_THROW(list->State(-1), EStringListError);
    EXPECT_THROW(list->SetState(5, cbChecked), EStringListError);
    try {
        list->ItemEnabled(9);
    } catch (const EStringListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (9)");
    }
    list->SetChecked(1, true);
    EXPECT_TRUE(list->Checked(1));
    EXPECT_EQ(events, (std::vector<int>{1}));
    list->SetChecked(1, true); // no change, no event
    EXPECT_EQ(events.size(), 1u);
}

TEST_F(CheckListTest, RadioListHasExactlyOneCheckedItem) {
    TExCheckListBox* list = MakeList({"a", "b", "c", "d", "e"}, ckRadioButtons);
    // The first item added to a radio list is checked.
    EXPECT_EQ(list->CheckedIndex(), 0);
    events.clear();
    list->SetChecked(3, true);
    EXPECT_EQ(list->CheckedIndex(), 3);
    EXPECT_EQ(States(list), (std::vector<int>{0, 0, 0, 1, 0}));
    EXPECT_EQ(events, (std::vector<int>{3})); // none for the item unchecked on the way
    // The checked item cannot be unchecked directly, nor grayed.
    list->SetChecked(3, false);
    list->SetState(3, cbGrayed);
    EXPECT_EQ(list->CheckedIndex(), 3);
    EXPECT_EQ(events.size(), 1u);
    // A grayed item of a radio list reads unchecked.
    list->SetState(1, cbGrayed);
    EXPECT_EQ(list->State(1), cbUnchecked);
    EXPECT_FALSE(list->Checked(1));
    // Deleting the checked item checks the first.
    list->Items().Delete(3);
    EXPECT_EQ(list->CheckedIndex(), 0);
    list->SetCheckedIndex(-4);
    EXPECT_EQ(list->CheckedIndex(), 0);
    list->SetCheckedIndex(2);
    EXPECT_EQ(list->CheckedIndex(), 2);
    list->Items().Clear();
    EXPECT_EQ(list->CheckedIndex(), -1);
    list->Items().Add("x");
    EXPECT_EQ(list->CheckedIndex(), 0);
}

TEST_F(CheckListTest, SwitchingToRadioChecksTheFirstWhenNoneIs) {
    TExCheckListBox* list = MakeList({"a", "b", "c"});
    list->SetChecked(1, true);
    list->SetChecked(2, true);
    events.clear();
    list->SetCheckKind(ckRadioButtons);
    // Both stay checked in their records until the re-assertion clears one.
    EXPECT_EQ(list->CheckedIndex(), 1);
    EXPECT_EQ(States(list), (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(events, (std::vector<int>{1}));
    list->SetCheckKind(ckCheckBoxes);
    list->SetChecked(1, false);
    list->SetCheckKind(ckRadioButtons);
    EXPECT_EQ(list->CheckedIndex(), 0);
}

TEST_F(CheckListTest, ToggleCyclesAndAllowGrayed) {
    TExCheckListBox* list = MakeList({"a"});
    list->SetAllowGrayed(true);
    EXPECT_TRUE(list->AllowGrayed());
    std::vector<int> seen;
    for (int i = 0; i < 3; ++i) {
        list->ToggleClickCheck(0);
        seen.push_back(list->State(0));
    }
    EXPECT_EQ(seen, (std::vector<int>{cbGrayed, cbChecked, cbUnchecked}));
    EXPECT_EQ(clickChecks, 3);
    list->SetCheckKind(ckRadioButtons);
    EXPECT_FALSE(list->AllowGrayed()); // radio lists never gray
    EXPECT_EQ(list->State(0), cbChecked); // the only item is checked
    list->ToggleClickCheck(0);
    EXPECT_EQ(list->State(0), cbChecked); // cannot be unchecked
    EXPECT_EQ(clickChecks, 4); // told anyway
    list->ToggleClickCheck(1); // no such item: nothing
    list->ToggleClickCheck(-1);
    EXPECT_EQ(clickChecks, 4);
}

TEST_F(CheckListTest, MouseAndKeysToggleEnabledItemsOnly) {
    TExCheckListBox* list = MakeList({"alpha", "beta", "gamma"});
    const int h = list->ItemHeight();
    EXPECT_EQ(h, 16); // the check image is taller than the test font's 13
    ClickAt(list, 5, h + 5); // in the check strip of item 1
    EXPECT_EQ(list->State(1), cbChecked);
    EXPECT_EQ(list->ItemIndex(), 1);
    ClickAt(list, 60, 2 * h + 5); // on the text of item 2: selects only
    EXPECT_EQ(list->State(2), cbUnchecked);
    EXPECT_EQ(list->ItemIndex(), 2);
    Key(VK_SPACE, U' ');
    EXPECT_EQ(list->State(2), cbChecked);
    EXPECT_EQ(clickChecks, 2);
    // A disabled item ignores clicks and space, but not the program.
    list->SetItemEnabled(0, false);
    ClickAt(list, 5, 5);
    EXPECT_EQ(list->State(0), cbUnchecked);
    EXPECT_EQ(list->ItemIndex(), 0);
    Key(VK_SPACE, U' ');
    EXPECT_EQ(list->State(0), cbUnchecked);
    list->SetChecked(0, true);
    EXPECT_TRUE(list->Checked(0));
    list->SetChecked(0, false);
    // "+" checks and "-" unchecks the enabled items.
    Key(VK_ADD, U'+');
    EXPECT_EQ(States(list), (std::vector<int>{0, 1, 1}));
    Key(VK_SUBTRACT, U'-');
    EXPECT_EQ(States(list), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(clickChecks, 4);
}

TEST_F(CheckListTest, PlusOnARadioListChangesNothingButIsTold) {
    TExCheckListBox* list = MakeList({"a", "b"}, ckRadioButtons);
    list->SetFocus();
    Key(VK_ADD, U'+');
    EXPECT_EQ(States(list), (std::vector<int>{1, 0}));
    EXPECT_EQ(clickChecks, 1);
}

TEST_F(CheckListTest, ObjectsLiveInTheRecords) {
    TExCheckListBox* list = MakeList({});
    TObject a, b;
    list->Items().AddObject("a", &a);
    list->Items().AddObject("b", &b);
    list->SetChecked(1, true);
    EXPECT_EQ(list->Items().Objects(0), &a);
    EXPECT_EQ(list->Items().Objects(1), &b);
    EXPECT_EQ(list->Perform(LB_GETITEMDATA, 0) != reinterpret_cast<LRESULT>(&a), true);
    list->Items().PutObject(0, &b);
    EXPECT_EQ(list->Items().Objects(0), &b);
    EXPECT_THROW(list->Items().Objects(2), EStringListError);
}

TEST_F(CheckListTest, ItemsCarryStateAndEnabledWhenTheyMove) {
    TExCheckListBox* list = MakeList({"a", "b", "c", "d"});
    list->SetState(0, cbGrayed);
    list->SetItemEnabled(3, false);
    list->Items().Exchange(0, 3);
    EXPECT_EQ(list->Items()[0], "d");
    EXPECT_EQ(list->Items()[3], "a");
    EXPECT_EQ(list->State(3), cbGrayed);
    EXPECT_FALSE(list->ItemEnabled(0));
    EXPECT_TRUE(list->ItemEnabled(3));
    list->Items().Move(3, 1);
    EXPECT_EQ(list->Items()[1], "a");
    EXPECT_EQ(list->State(1), cbGrayed);
    list->Items().PutString(1, "A");
    EXPECT_EQ(list->State(1), cbGrayed);
    // Assigning another check list's items copies states and flags.
    auto* other = TComponent::Create<TExCheckListBox>(form);
    other->SetParent(form);
    other->Items().Assign(list->Items());
    EXPECT_EQ(other->Items().ToStringList().Text(), list->Items().ToStringList().Text());
    EXPECT_EQ(States(other), States(list));
    EXPECT_FALSE(other->ItemEnabled(0));
}

TEST_F(CheckListTest, ChangingStyleKeepsEveryState) {
    TExCheckListBox* list = MakeList({"a", "b", "c"});
    list->SetState(0, cbGrayed);
    list->SetChecked(2, true);
    list->SetItemEnabled(1, false);
    const HWND before = list->Handle();
    list->SetStyle(lbOwnerDrawFixed);
    list->HandleNeeded();
    EXPECT_NE(list->Handle(), before);
    EXPECT_EQ(States(list), (std::vector<int>{2, 0, 1}));
    EXPECT_FALSE(list->ItemEnabled(1));
    EXPECT_EQ(list->Count(), 3);
}

TEST_F(CheckListTest, SnapshotsOfBothKinds) {
    TExCheckListBox* boxes = MakeList({"Archive bit", "Recurse folders", "Store paths", "Hidden files"});
    boxes->SetChecked(1, true);
    boxes->SetState(2, cbGrayed);
    boxes->SetItemEnabled(3, false);
    boxes->SetItemIndex(1);
    auto* radio = TComponent::Create<TExCheckListBox>(form);
    radio->SetParent(form);
    radio->SetBounds(170, 10, 140, 120);
    radio->SetCheckKind(ckRadioButtons);
    for (const char* item : {"Maximum", "Normal", "Store only"}) radio->Items().Add(item);
    radio->SetCheckedIndex(1);
    radio->SetItemEnabled(2, false);
    app->ProcessMessages();
    form->Repaint();
    Snapshot(form->Handle(), "option_lists");
}

// ---- The base -------------------------------------------------------------------------------

TEST_F(CheckListTest, ExtentFollowsTheWidestItem) {
    TExCheckListBox* list = MakeList({"ab", "abcdef", "abc"});
    // Text plus "x" in 7-pixel characters, plus the 18-pixel check strip.
    EXPECT_EQ(list->MaxItemWidth(), 7 * 7 + 18);
    EXPECT_EQ(list->Perform(LB_GETHORIZONTALEXTENT), 7 * 7 + 18);
    list->Items().Delete(2); // narrower: kept
    EXPECT_EQ(list->MaxItemWidth(), 67);
    list->Items().Delete(1); // the widest: measured again
    EXPECT_EQ(list->MaxItemWidth(), 3 * 7 + 18);
    list->Items().Add("abcdefghij");
    EXPECT_EQ(list->MaxItemWidth(), 11 * 7 + 18);
    list->Items().Clear();
    EXPECT_EQ(list->MaxItemWidth(), 0);
    EXPECT_EQ(list->Perform(LB_GETHORIZONTALEXTENT), 0);
}

TEST_F(CheckListTest, OwnerDrawnWidthsComeFromTheEvent) {
    TExCheckListBox* list = MakeList({"a", "b"});
    list->SetStyle(lbOwnerDrawFixed);
    list->SetOnGetItemWidth([](TObject*, int index, int& width) { width = 100 + index; });
    EXPECT_EQ(list->MaxItemWidth(), 2 * 7 + 18); // no OnDrawItem yet: text widths
    list->SetOnDrawItem([](TObject*, int, RECT, TOwnerDrawState) {});
    EXPECT_EQ(list->MaxItemWidth(), 101 + 18);
    list->SetAutoScroll(false);
    EXPECT_EQ(list->MaxItemWidth(), 0);
}

TEST_F(CheckListTest, BaseSizesAndColumns) {
    TExCheckListBox* list = MakeList({"a"});
    EXPECT_EQ(list->Width(), 150);
    TExCustomListBox fresh(nullptr);
    EXPECT_EQ(fresh.Width(), 121);
    EXPECT_EQ(fresh.Height(), 97);
    list->SetItemHeight(0); // ignored
    EXPECT_EQ(list->TCustomListBox::ItemHeight(), 16);
    list->SetTabWidth(-5);
    EXPECT_EQ(list->TabWidth(), 0);
    // Two columns of a 121-pixel list are (121 + 2 - 3) / 2 = 60 wide.
    list->SetBounds(10, 10, 121, 100);
    list->SetColumns(2);
    for (int i = 0; i < 12; ++i) list->Items().Add("i" + std::to_string(i));
    app->ProcessMessages();
    EXPECT_FALSE(list->AutoScroll()); // no extent with columns
    const int rows = list->ClientHeight() / list->ItemHeight();
    EXPECT_EQ(list->ItemRect(rows).left, 60);
}

} // namespace
} // namespace ax
