// List box selection and owner drawing, check and radio buttons, default
// and cancel buttons, label sizing, a panel's insets and status bar parts;
// a dialog component whose dialog fails.
#include "fixture.h"
#include "stdctrls/button.h"
#include "stdctrls/checkbox.h"
#include "stdctrls/combobox.h"
#include "stdctrls/comctrls.h"
#include "stdctrls/dialogs.h"
#include "stdctrls/edit.h"
#include "stdctrls/extctrls.h"
#include "stdctrls/label.h"
#include "stdctrls/listbox.h"
#include "stdctrls/messages.h"
#include "stdctrls/radiobutton.h"

namespace ax {
namespace {

using test::StdCtrlsTest;

TListBox* MakeList(TForm* form, int count) {
    auto* list = TComponent::Create<TListBox>(form);
    list->SetParent(form);
    list->SetBounds(10, 10, 120, 100);
    for (int i = 0; i < count; ++i) list->Items().Add("item " + std::to_string(i));
    return list;
}

TEST_F(StdCtrlsTest, ListBoxSingleSelectionByMouseAndKeys) {
    TForm* form = MakeForm();
    TListBox* list = MakeList(form, 5);
    int clicks = 0;
    list->OnClick = [&](TObject*) { ++clicks; };
    app->ProcessMessages();
    EXPECT_EQ(list->ItemIndex(), -1);
    // Standard items are one test-font line (13 pixels) high.
    EXPECT_EQ(list->ItemRect(2).top, 26);
    ClickAt(list, 5, 2 * 13 + 3);
    EXPECT_EQ(list->ItemIndex(), 2);
    EXPECT_EQ(clicks, 1);
    ClickAt(list, 5, 2 * 13 + 3); // the same item again: no change
    EXPECT_EQ(clicks, 1);
    Key(VK_DOWN);
    EXPECT_EQ(list->ItemIndex(), 3);
    Key(VK_HOME);
    EXPECT_EQ(list->ItemIndex(), 0);
    EXPECT_EQ(clicks, 3);
    // The program's changes are not clicks.
    list->SetItemIndex(4);
    EXPECT_EQ(list->Perform(LB_GETCURSEL), 4);
    EXPECT_EQ(clicks, 3);
    EXPECT_EQ(list->Perform(LB_GETSELCOUNT), LB_ERR);
    list->Items().Delete(4);
    EXPECT_EQ(list->ItemIndex(), -1);
    EXPECT_THROW(list->Items().Strings(7), EStringListError);
}

TEST_F(StdCtrlsTest, MultiColumnListRunsDownThenAcross) {
    TForm* form = MakeForm();
    TListBox* list = MakeList(form, 20);
    list->SetColumns(2);
    app->ProcessMessages();
    // 116 x 96 inside the client edge: 7 rows of 13; columns (120 + 2 - 3) / 2 wide.
    EXPECT_EQ(list->ItemRect(0), (RECT{0, 0, 59, 13}));
    EXPECT_EQ(list->ItemRect(6), (RECT{0, 78, 59, 91}));
    EXPECT_EQ(list->ItemRect(7), (RECT{59, 0, 118, 13}));
    EXPECT_EQ(list->ItemRect(9), (RECT{59, 26, 118, 39}));
    ClickAt(list, 59 + 5, 26 + 3);
    EXPECT_EQ(list->ItemIndex(), 9);
    // Right and Left move a column; the view scrolls by whole columns.
    Key(VK_RIGHT);
    EXPECT_EQ(list->ItemIndex(), 16);
    EXPECT_EQ(list->TopIndex(), 14);
    EXPECT_EQ(list->ItemRect(16), (RECT{0, 26, 59, 39}));
    Key(VK_LEFT);
    EXPECT_EQ(list->ItemIndex(), 9);
    EXPECT_EQ(list->TopIndex(), 7);
    EXPECT_EQ(list->ItemRect(0), (RECT{-59, 0, 0, 13}));
    list->SetTopIndex(10); // a column starts at 7
    EXPECT_EQ(list->TopIndex(), 7);
    // A single-column list ignores Left and Right.
    list->SetColumns(0);
    list->SetItemIndex(3);
    Key(VK_RIGHT);
    EXPECT_EQ(list->ItemIndex(), 3);
}

TEST_F(StdCtrlsTest, ListBoxMultipleAndExtendedSelection) {
    TForm* form = MakeForm();
    TListBox* list = MakeList(form, 6);
    list->SetMultiSelect(true);
    list->SetExtendedSelect(false);
    app->ProcessMessages();
    ASSERT_NE(GetWindowLongPtr(list->Handle(), GWL_STYLE) & LBS_MULTIPLESEL, 0);
    ClickAt(list, 5, 1 * 13 + 3);
    ClickAt(list, 5, 3 * 13 + 3);
    EXPECT_EQ(list->SelCount(), 2);
    ClickAt(list, 5, 1 * 13 + 3); // a second click deselects
    EXPECT_EQ(list->SelCount(), 1);
    EXPECT_TRUE(list->Selected(3));

    list->SetExtendedSelect(true);
    ASSERT_NE(GetWindowLongPtr(list->Handle(), GWL_STYLE) & LBS_EXTENDEDSEL, 0);
    EXPECT_TRUE(list->Selected(3)); // kept across the new window
    ClickAt(list, 5, 1 * 13 + 3); // a plain click selects only that item
    EXPECT_EQ(list->SelCount(), 1);
    InjectKey(VK_SHIFT, true);
    ClickAt(list, 5, 4 * 13 + 3); // Shift extends from the anchor
    InjectKey(VK_SHIFT, false);
    app->ProcessMessages();
    EXPECT_EQ(list->SelCount(), 4);
    InjectKey(VK_CONTROL, true);
    ClickAt(list, 5, 2 * 13 + 3); // Ctrl toggles one
    InjectKey(VK_CONTROL, false);
    app->ProcessMessages();
    EXPECT_EQ(list->SelCount(), 3);
    EXPECT_FALSE(list->Selected(2));
    int selected[8] = {};
    ASSERT_EQ(list->Perform(LB_GETSELITEMS, 8, reinterpret_cast<LPARAM>(selected)), 3);
    EXPECT_EQ(selected[0], 1);
    EXPECT_EQ(selected[1], 3);
    EXPECT_EQ(selected[2], 4);
    Chord(VK_SHIFT, VK_DOWN); // from the anchor (2) to the next item
    EXPECT_EQ(list->SelCount(), 2);
    EXPECT_TRUE(list->Selected(2));
    EXPECT_TRUE(list->Selected(3));
    EXPECT_FALSE(list->Selected(1));
}

struct Captured {
    std::vector<MEASUREITEMSTRUCT> measures;
    std::vector<DRAWITEMSTRUCT> draws;
    std::vector<WPARAM> drawIds;
};

TEST_F(StdCtrlsTest, OwnerDrawListSendsMeasureAndDrawToTheParent) {
    TForm* form = MakeForm();
    Captured got;
    // The parent's window sees the messages as the platform sends them.
    SetWindowSubclass(
        form->Handle(),
        [&got](HWND h, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
            if (msg == WM_MEASUREITEM) got.measures.push_back(*reinterpret_cast<MEASUREITEMSTRUCT*>(l));
            if (msg == WM_DRAWITEM) {
                got.draws.push_back(*reinterpret_cast<DRAWITEMSTRUCT*>(l));
                got.drawIds.push_back(w);
            }
            return DefSubclassProc(h, msg, w, l);
        },
        1);
    auto* list = TComponent::Create<TListBox>(form);
    list->SetStyle(lbOwnerDrawFixed);
    list->SetItemHeight(18);
    list->SetParent(form);
    list->SetBounds(10, 10, 120, 100);
    std::vector<std::pair<int, TOwnerDrawState>> drawn;
    list->OnDrawItem = [&](TObject*, int index, RECT, TOwnerDrawState state) { drawn.push_back({index, state}); };
    list->Items().AddObject("a", reinterpret_cast<TObject*>(intptr_t(0x1234)));
    list->Items().Add("b");
    list->Items().Add("c");
    list->HandleNeeded();
    ASSERT_EQ(got.measures.size(), 1u); // once for a fixed list
    EXPECT_EQ(got.measures[0].CtlType, ODT_LISTBOX);
    EXPECT_EQ(got.measures[0].itemID, 0u);
    EXPECT_EQ(got.measures[0].itemHeight, 18u);
    list->SetItemIndex(1);
    got.draws.clear();
    drawn.clear();
    list->Repaint();
    ASSERT_EQ(got.draws.size(), 3u);
    const DRAWITEMSTRUCT& first = got.draws[0];
    EXPECT_EQ(first.CtlType, ODT_LISTBOX);
    EXPECT_EQ(first.itemID, 0u);
    EXPECT_EQ(first.itemAction, ODA_DRAWENTIRE);
    EXPECT_EQ(first.itemState, 0u);
    EXPECT_EQ(first.hwndItem, list->Handle());
    EXPECT_EQ(first.itemData, 0x1234u);
    EXPECT_EQ(first.rcItem, (RECT{0, 0, list->ClientWidth(), 18}));
    EXPECT_EQ(got.draws[1].itemState, ODS_SELECTED);
    EXPECT_EQ(got.draws[1].rcItem, (RECT{0, 18, list->ClientWidth(), 36}));
    EXPECT_EQ(got.drawIds[1], WPARAM(got.draws[1].CtlID));
    // Left to the control, the messages reach OnDrawItem.
    ASSERT_EQ(drawn.size(), 3u);
    EXPECT_EQ(drawn[1].first, 1);
    EXPECT_EQ(drawn[1].second, TOwnerDrawState(odSelected));

    // Variable lists ask per item and lay the items out by those heights.
    got.measures.clear();
    list->OnMeasureItem = [](TObject*, int index, int& height) { height = 10 + index * 5; };
    list->SetStyle(lbOwnerDrawVariable);
    list->HandleNeeded();
    ASSERT_EQ(got.measures.size(), 3u);
    EXPECT_EQ(got.measures[2].itemID, 2u);
    EXPECT_EQ(got.measures[2].itemHeight, 18u); // the item height, before the handler
    EXPECT_EQ(list->ItemRect(1), (RECT{0, 10, list->ClientWidth(), 25}));
    EXPECT_EQ(list->ItemRect(2), (RECT{0, 25, list->ClientWidth(), 45}));
    EXPECT_EQ(list->Items()[2], "c");
    RemoveWindowSubclass(form->Handle(), 1);
}

TEST_F(StdCtrlsTest, ComboBoxListOpensOnAClickAndChoosesOnTheNext) {
    TForm* form = MakeForm();
    auto* combo = TComponent::Create<TComboBox>(form);
    combo->SetParent(form);
    combo->SetBounds(10, 10, 100, 21);
    for (const char* s : {"Alpha", "Beta", "Gamma"}) combo->Items().Add(s);
    combo->SetItemIndex(0);
    int changes = 0;
    combo->OnChange = [&](TObject*) { ++changes; };
    app->ProcessMessages();
    // The list lies under the box, inside a one-pixel border, a row per item.
    auto row = [&](int i) {
        RECT r{};
        GetWindowRect(combo->DropDownWindow(), r);
        return POINT{r.left + 5, r.top + 1 + i * combo->ItemHeight() + 2};
    };

    ClickAt(combo, 50, 10);
    ASSERT_TRUE(combo->DroppedDown()) << "a click opens the list and leaves it open";
    InjectClick(MouseButton::Left, row(1).x, row(1).y);
    app->ProcessMessages();
    EXPECT_FALSE(combo->DroppedDown());
    EXPECT_EQ(combo->ItemIndex(), 1);
    EXPECT_EQ(changes, 1);

    // A click outside closes it without choosing.
    ClickAt(combo, 50, 10);
    ASSERT_TRUE(combo->DroppedDown());
    ClickAt(form, 300, 200);
    EXPECT_FALSE(combo->DroppedDown());
    EXPECT_EQ(combo->ItemIndex(), 1);

    // Pressing on the box, dragging to a row and letting go there chooses it.
    const POINT box = combo->ClientToScreen(POINT{50, 10});
    InjectMouseMove(box.x, box.y);
    InjectMouseButton(MouseButton::Left, true);
    app->ProcessMessages();
    ASSERT_TRUE(combo->DroppedDown());
    InjectMouseMove(row(2).x, row(2).y);
    InjectMouseButton(MouseButton::Left, false);
    app->ProcessMessages();
    EXPECT_FALSE(combo->DroppedDown());
    EXPECT_EQ(combo->ItemIndex(), 2);
    EXPECT_EQ(changes, 2);
}

TEST_F(StdCtrlsTest, CheckBoxStatesAndRadioGroups) {
    TForm* form = MakeForm();
    auto* box = TComponent::Create<TCheckBox>(form);
    box->SetParent(form);
    box->SetBounds(10, 10, 100, 17);
    int clicks = 0;
    box->OnClick = [&](TObject*) { ++clicks; };
    app->ProcessMessages();
    ClickAt(box, 5, 8);
    EXPECT_EQ(box->State(), cbChecked);
    EXPECT_EQ(clicks, 1);
    box->SetFocus();
    Key(VK_SPACE, U' ');
    EXPECT_EQ(box->State(), cbUnchecked);
    box->SetAllowGrayed(true);
    ClickAt(box, 5, 8);
    EXPECT_EQ(box->State(), cbGrayed);
    ClickAt(box, 5, 8);
    EXPECT_EQ(box->State(), cbChecked);
    EXPECT_EQ(box->Perform(BM_GETCHECK), LRESULT(BST_CHECKED));
    box->SetChecked(true); // no change, no click
    EXPECT_EQ(clicks, 4);

    // Radio buttons of one parent exclude each other; another parent's
    // group is separate.
    auto* panel = TComponent::Create<TCustomControl>(form);
    panel->SetParent(form);
    panel->SetBounds(150, 10, 150, 100);
    TRadioButton* radios[3];
    for (int i = 0; i < 3; ++i) {
        radios[i] = TComponent::Create<TRadioButton>(form);
        radios[i]->SetParent(i < 2 ? static_cast<TWinControl*>(form) : panel);
        radios[i]->SetBounds(10, 40 + 20 * i, 100, 17);
    }
    app->ProcessMessages();
    radios[2]->SetChecked(true);
    radios[0]->SetChecked(true);
    EXPECT_TRUE(radios[0]->Checked());
    EXPECT_TRUE(radios[2]->Checked());
    ClickAt(radios[1], 5, 8);
    EXPECT_TRUE(radios[1]->Checked());
    EXPECT_FALSE(radios[0]->Checked());
    EXPECT_TRUE(radios[2]->Checked());
    EXPECT_TRUE(radios[1]->TabStop());
    EXPECT_FALSE(radios[0]->TabStop());
}

TEST_F(StdCtrlsTest, DefaultAndCancelButtonsSetTheModalResult) {
    TForm* form = MakeForm();
    auto* edit = TComponent::Create<TEdit>(form);
    edit->SetParent(form);
    auto* ok = TComponent::Create<TButton>(form);
    ok->SetParent(form);
    ok->SetBounds(10, 40, 75, 25);
    ok->SetDefault(true);
    ok->SetModalResult(mrOk);
    auto* cancel = TComponent::Create<TButton>(form);
    cancel->SetParent(form);
    cancel->SetBounds(100, 40, 75, 25);
    cancel->SetCancel(true);
    cancel->SetModalResult(mrCancel);
    int okClicks = 0;
    ok->OnClick = [&](TObject*) { ++okClicks; };
    app->ProcessMessages();
    edit->SetFocus();
    app->ProcessMessages();
    Key(VK_RETURN, U'\r');
    EXPECT_EQ(form->ModalResult(), mrOk);
    EXPECT_EQ(okClicks, 1);
    form->SetModalResult(mrNone);
    Key(VK_ESCAPE, U'\x1b');
    EXPECT_EQ(form->ModalResult(), mrCancel);
    EXPECT_EQ(okClicks, 1);
    // With the focus on the Cancel button, Enter presses it, not the default.
    form->SetModalResult(mrNone);
    cancel->SetFocus();
    app->ProcessMessages();
    Key(VK_RETURN, U'\r');
    EXPECT_EQ(form->ModalResult(), mrCancel);
    EXPECT_EQ(okClicks, 1);
    // A click on a button sets the result too.
    form->SetModalResult(mrNone);
    ClickAt(ok, 10, 10);
    EXPECT_EQ(form->ModalResult(), mrOk);
    EXPECT_EQ(okClicks, 2);
}

TEST_F(StdCtrlsTest, LabelSizesItselfToTheTestFont) {
    TForm* form = MakeForm();
    auto* label = TComponent::Create<TLabel>(form);
    label->SetParent(form);
    label->SetLeft(20);
    label->SetCaption("Hello");
    EXPECT_EQ(label->Width(), 35);
    EXPECT_EQ(label->Height(), 13);
    label->SetCaption("&File"); // the "&" takes no room
    EXPECT_EQ(label->Width(), 28);
    label->SetCaption(""); // an empty label keeps a blank's size
    EXPECT_EQ(label->Width(), 7);
    EXPECT_EQ(label->Height(), 13);
    label->SetCaption("one two three");
    label->SetWordWrap(true);
    label->SetAutoSize(false);
    label->SetWidth(60);
    label->SetAutoSize(true);
    EXPECT_EQ(label->Height(), 26); // "one two" / "three"
    EXPECT_EQ(label->Width(), 49);
    EXPECT_EQ(label->Left(), 20);
    // The accelerator focuses the label's control.
    label->SetWordWrap(false);
    label->SetCaption("&Name");
    auto* edit = TComponent::Create<TEdit>(form);
    edit->SetParent(form);
    edit->SetTop(50);
    auto* other = TComponent::Create<TEdit>(form);
    other->SetParent(form);
    other->SetTop(90);
    label->SetFocusControl(edit);
    app->ProcessMessages();
    other->SetFocus();
    app->ProcessMessages();
    EXPECT_EQ(form->Perform(CM_DIALOGCHAR, 'n'), 1);
    EXPECT_TRUE(edit->Focused());
    edit->Free(); // the label forgets it
    EXPECT_EQ(label->FocusControl(), nullptr);
}

// The border width and the bevels are each taken off once around the
// aligned children.
TEST_F(StdCtrlsTest, PanelInsetsAlignedChildrenByBorderAndBevelsOnce) {
    TForm* form = MakeForm();
    auto* panel = TComponent::Create<TPanel>(form);
    panel->SetParent(form);
    panel->SetBounds(0, 0, 200, 100);
    panel->SetBorderWidth(5);
    panel->SetBevelInner(bvLowered); // with the default raised outer one
    panel->SetBevelWidth(2);
    auto* child = TComponent::Create<TPanel>(panel);
    child->SetParent(panel);
    child->SetAlign(alClient);
    app->ProcessMessages();
    // 2 + 2 for the bevels, 5 for the border: 9 on each side.
    EXPECT_EQ(child->Left(), 9);
    EXPECT_EQ(child->Top(), 9);
    EXPECT_EQ(child->Width(), 200 - 18);
    EXPECT_EQ(child->Height(), 100 - 18);
}

TEST_F(StdCtrlsTest, StatusBarPartRectangles) {
    TForm* form = MakeForm(400, 200);
    auto* bar = TComponent::Create<TStatusBar>(form);
    bar->SetParent(form);
    app->ProcessMessages();
    const int w = form->ClientWidth();
    ASSERT_EQ(bar->Width(), w);
    ASSERT_EQ(bar->ClientHeight(), 19);
    bar->Panels().Add()->SetWidth(100);
    bar->Panels().Add()->SetWidth(60);
    TStatusPanel* last = bar->Panels().Add();
    last->SetStyle(psOwnerDraw);
    int edges[4] = {};
    ASSERT_EQ(bar->Perform(SB_GETPARTS, 4, reinterpret_cast<LPARAM>(edges)), 3);
    EXPECT_EQ(edges[0], 100);
    EXPECT_EQ(edges[1], 160);
    EXPECT_EQ(edges[2], -1);
    EXPECT_EQ(bar->PartRect(0), (RECT{0, 2, 100, 19}));
    EXPECT_EQ(bar->PartRect(1), (RECT{102, 2, 160, 19}));
    EXPECT_EQ(bar->PartRect(2), (RECT{162, 2, w - 16, 19})); // short of the size grip
    EXPECT_EQ(bar->PartRect(3), RECT{});
    bar->SetSizeGrip(false);
    EXPECT_EQ(bar->PartRect(2), (RECT{162, 2, w, 19}));

    std::vector<std::pair<TStatusPanel*, RECT>> drawn;
    bar->OnDrawPanel = [&](TStatusBar*, TStatusPanel* panel, const RECT& r) { drawn.push_back({panel, r}); };
    bar->Panels().Items(0)->SetText("Ready");
    bar->Repaint();
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0].first, last);
    EXPECT_EQ(drawn[0].second, bar->PartRect(2));
    char text[32] = {};
    EXPECT_EQ(LOWORD(uintptr_t(bar->Perform(SB_GETTEXT, 0, reinterpret_cast<LPARAM>(text)))), 5);
    EXPECT_STREQ(text, "Ready");

    bar->SetSimplePanel(true);
    EXPECT_EQ(bar->Perform(SB_ISSIMPLE), 1);
    EXPECT_EQ(bar->PartRect(0), (RECT{0, 2, w, 19}));
    EXPECT_EQ(bar->PartRect(1), RECT{});
}

// A dialog that runs whatever the test gives it.
class ScriptedDialog : public TCommonDialog {
public:
    using TCommonDialog::TCommonDialog;
    std::function<bool(HWND)> run;
    // A copy runs: the script may free the dialog, and with it run.
    bool Execute() override {
        const auto script = run;
        return TaskModalDialog(script);
    }
};

TEST_F(StdCtrlsTest, AFailingDialogStillClosesAndEnablesTheProgram) {
    TForm* form = MakeForm();
    const HWND window = form->Handle();
    auto dialog = std::make_unique<ScriptedDialog>(nullptr);
    int closes = 0;
    dialog->OnClose = [&](TObject*) { ++closes; };
    dialog->run = [&](HWND) -> bool {
        EXPECT_FALSE(IsWindowEnabled(window));
        throw Exception("the dialog broke");
    };
    EXPECT_THROW(dialog->Execute(), Exception);
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(IsWindowEnabled(window));

    // Freed while it ran: its OnClose is not called on the way out.
    dialog->run = [&](HWND) -> bool {
        dialog.reset();
        throw Exception("the dialog broke");
    };
    EXPECT_THROW(dialog->Execute(), Exception);
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(IsWindowEnabled(window));
}

} // namespace
} // namespace ax
