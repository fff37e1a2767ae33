// The tree driven by input as the headless display delivers it: check
// boxes with their pressed state, expand buttons, keys, the wheel, the
// scroll bar, the header, the in-place editor, pop-up menus and hints.
#include "fixture.h"
#include "framework/menus.h"

namespace ax {
namespace {

using test::TreeTest;

class InputTest : public TreeTest {
protected:
    void TearDown() override {
        TPopupMenu::OnTrackingStarted = nullptr;
        TreeTest::TearDown();
    }
    // Three top-level nodes "0", "1", "2" with two children each; tri-state
    // boxes everywhere.
    TDataStringTree* Tree(int count = 3) {
        TDataStringTree* tree = ShownTree(200, 180);
        UseLabels(tree);
        auto label = tree->OnInitNode;
        tree->OnInitNode = [label](TBaseDataTree* t, PDataNode p, PDataNode n, TDataNodeInitStates& s) {
            label(t, p, n, s);
            if (!p) s |= ivsHasChildren;
            t->SetCheckType(n, ctTriStateCheckBox);
        };
        tree->OnInitChildren = [](TBaseDataTree*, PDataNode, uint32_t& c) { c = 2; };
        tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toCheckSupport);
        tree->SetRootNodeCount(uint32_t(count));
        app->ProcessMessages();
        return tree;
    }
    // Row r's pixel y (middle) and the x of its parts at level 0 (check box
    // 22..37, label from 38) and level 1 (button cell 22..39, box 40..55).
    static int Row(int r) { return r * 18 + 9; }
};

TEST_F(InputTest, ACheckBoxShowsPressedWhileHeldAndTogglesOnRelease) {
    auto* tree = Tree();
    PDataNode first = tree->GetFirst();
    std::vector<TCheckState> reported;
    tree->OnChecked = [&](TBaseDataTree*, PDataNode n) {
        if (n == first) reported.push_back(n->CheckState);
    };
    PressAt(tree, 30, Row(0));
    EXPECT_EQ(first->CheckState, csUncheckedPressed);
    EXPECT_TRUE(first->States & vsChecking);
    EXPECT_TRUE(reported.empty()) << "pressing raises nothing";
    MoveTo(tree, 120, Row(0));
    EXPECT_EQ(first->CheckState, csUncheckedNormal) << "off the box it shows unpressed";
    MoveTo(tree, 31, Row(0));
    EXPECT_EQ(first->CheckState, csUncheckedPressed);
    Release();
    EXPECT_EQ(first->CheckState, csCheckedNormal);
    EXPECT_EQ(reported, (std::vector<TCheckState>{csCheckedNormal}));
    // Released elsewhere: nothing changes.
    PressAt(tree, 30, Row(0));
    EXPECT_EQ(first->CheckState, csCheckedPressed);
    MoveTo(tree, 120, Row(2));
    Release();
    EXPECT_EQ(first->CheckState, csCheckedNormal);
    EXPECT_EQ(reported.size(), 1u);
    EXPECT_FALSE(first->States & vsChecking);
}

TEST_F(InputTest, AReadOnlyTreeKeepsItsChecks) {
    auto* tree = Tree();
    tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toReadOnly);
    ClickAt(tree, 30, Row(0));
    Key(VK_SPACE);
    EXPECT_EQ(tree->GetFirst()->CheckState, csUncheckedNormal);
    tree->SetCheckState(tree->GetFirst(), csCheckedNormal);
    EXPECT_EQ(tree->GetFirst()->CheckState, csCheckedNormal) << "the program still can";
}

TEST_F(InputTest, ClickingABoxPropagatesToLoadedChildrenAndParents) {
    auto* tree = Tree();
    PDataNode first = tree->GetFirst();
    ClickAt(tree, 10, Row(0)); // the button: expands
    ASSERT_TRUE(tree->Expanded(first));
    ClickAt(tree, 30, Row(0));
    EXPECT_EQ(first->FirstChild->CheckState, csCheckedNormal);
    EXPECT_EQ(first->LastChild->CheckState, csCheckedNormal);
    ClickAt(tree, 48, Row(2)); // the box of "0.1"
    EXPECT_EQ(first->LastChild->CheckState, csUncheckedNormal);
    EXPECT_EQ(first->CheckState, csMixedNormal);
    ClickAt(tree, 30, Row(0)); // mixed becomes checked
    EXPECT_EQ(first->CheckState, csCheckedNormal);
    EXPECT_EQ(first->LastChild->CheckState, csCheckedNormal);
}

TEST_F(InputTest, TheButtonExpandsAndCollapsesAndTheSpaceBarChecks) {
    auto* tree = Tree();
    PDataNode first = tree->GetFirst();
    ClickAt(tree, 10, Row(0));
    EXPECT_TRUE(tree->Expanded(first));
    ClickAt(tree, 10, Row(0));
    EXPECT_FALSE(tree->Expanded(first));
    // Keys work on the focused node.
    ClickAt(tree, 40, Row(0));
    EXPECT_EQ(tree->FocusedNode(), first);
    EXPECT_TRUE(tree->Selected(first));
    Key(VK_RIGHT);
    EXPECT_TRUE(tree->Expanded(first));
    Key(VK_RIGHT);
    EXPECT_EQ(tree->FocusedNode(), first->FirstChild);
    Key(VK_SPACE);
    EXPECT_EQ(first->FirstChild->CheckState, csCheckedNormal);
    EXPECT_EQ(first->CheckState, csMixedNormal);
    Key(VK_DOWN);
    EXPECT_EQ(tree->FocusedNode(), first->LastChild);
    EXPECT_TRUE(tree->Selected(first->LastChild));
    EXPECT_FALSE(tree->Selected(first->FirstChild));
    Key(VK_LEFT);
    EXPECT_EQ(tree->FocusedNode(), first);
    Key(VK_LEFT);
    EXPECT_FALSE(tree->Expanded(first));
    Key(VK_END);
    EXPECT_EQ(LabelOf(tree, tree->FocusedNode()), "2");
    Key(VK_HOME);
    EXPECT_EQ(tree->FocusedNode(), first);
    Key(VK_ADD);
    EXPECT_TRUE(tree->Expanded(first));
    Key(VK_SUBTRACT);
    EXPECT_FALSE(tree->Expanded(first));
}

TEST_F(InputTest, AClickOrAKeyReportsOneChange) {
    auto* tree = Tree();
    std::vector<std::string> changes;
    tree->OnChange = [&](TBaseDataTree* t, PDataNode n) { changes.push_back(LabelOf(t, n)); };
    ClickAt(tree, 40, Row(1));
    EXPECT_EQ(changes, (std::vector<std::string>{"1"})) << "selecting and focusing is one change";
    Key(VK_DOWN);
    EXPECT_EQ(changes, (std::vector<std::string>{"1", "2"}));
}

TEST_F(InputTest, KeyActionsComeFirstAndMayStopTheTree) {
    auto* tree = Tree();
    std::vector<WORD> keys;
    tree->OnKeyAction = [&](TBaseDataTree*, WORD& key, TShiftState&, bool& go) {
        keys.push_back(key);
        go = key != VK_DOWN;
    };
    ClickAt(tree, 40, Row(0));
    Key(VK_DOWN);
    EXPECT_EQ(tree->FocusedNode(), tree->GetFirst());
    Key(VK_END);
    EXPECT_EQ(LabelOf(tree, tree->FocusedNode()), "2");
    EXPECT_EQ(keys, (std::vector<WORD>{VK_DOWN, VK_END}));
}

TEST_F(InputTest, ShiftAndControlExtendTheSelection) {
    auto* tree = Tree(6);
    tree->TreeOptions().SetSelectionOptions(toMultiSelect);
    ClickAt(tree, 40, Row(1));
    InjectKey(VK_SHIFT, true);
    ClickAt(tree, 40, Row(3));
    InjectKey(VK_SHIFT, false);
    EXPECT_EQ(tree->SelectedCount(), 3u);
    InjectKey(VK_CONTROL, true);
    ClickAt(tree, 40, Row(5));
    ClickAt(tree, 40, Row(2));
    InjectKey(VK_CONTROL, false);
    app->ProcessMessages();
    std::vector<std::string> selected;
    for (PDataNode n = tree->GetFirstSelected(); n; n = tree->GetNextSelected(n)) selected.push_back(LabelOf(tree, n));
    EXPECT_EQ(selected, (std::vector<std::string>{"1", "3", "5"}));
    Chord(VK_SHIFT, VK_DOWN);
    EXPECT_EQ(tree->SelectedCount(), 2u) << "from the anchor to the new focus";
}

TEST_F(InputTest, TheWheelAndTheScrollBarScroll) {
    auto* tree = Tree(40);
    ClickAt(tree, 40, Row(0));
    InjectMouseWheel(-120);
    app->ProcessMessages();
    EXPECT_EQ(tree->OffsetY(), 3 * 18);
    InjectMouseWheel(120);
    app->ProcessMessages();
    EXPECT_EQ(tree->OffsetY(), 0);
    // The down arrow at the bottom of the vertical bar, inside the client edge.
    RECT window;
    GetWindowRect(tree->Handle(), window);
    InjectClick(MouseButton::Left, window.right - 2 - 8, window.bottom - 2 - 8);
    app->ProcessMessages();
    EXPECT_EQ(tree->OffsetY(), 18);
    // The track below the thumb pages down.
    InjectClick(MouseButton::Left, window.right - 2 - 8, window.bottom - 2 - 24);
    app->ProcessMessages();
    EXPECT_EQ(tree->OffsetY(), 18 + tree->ClientHeight());
    EXPECT_EQ(GetScrollPos(tree->Handle(), SB_VERT), tree->OffsetY());
}

TEST_F(InputTest, DoubleClickTogglesAndPopupMenusArePerNode) {
    auto* tree = Tree();
    tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toToggleOnDblClick);
    const POINT p = tree->ClientToScreen(POINT{40, Row(1)});
    InjectDoubleClick(MouseButton::Left, p.x, p.y);
    app->ProcessMessages();
    EXPECT_TRUE(tree->Expanded(tree->GetNextSibling(tree->GetFirst())));
    auto* menu = TComponent::Create<TPopupMenu>(form);
    menu->Items()->NewItem("Open");
    std::string asked;
    tree->OnGetPopupMenu = [&](TBaseDataTree* t, PDataNode n, TColumnIndex, POINT, bool&, TPopupMenu*& m) {
        asked = LabelOf(t, n);
        if (LabelOf(t, n) == "0") m = menu;
    };
    int shown = 0;
    TPopupMenu::OnTrackingStarted = [&](TPopupMenu& m) {
        ++shown;
        m.CloseMenu();
    };
    ClickAt(tree, 40, Row(0), MouseButton::Right);
    EXPECT_EQ(asked, "0");
    EXPECT_EQ(shown, 1);
    ClickAt(tree, 40, Row(2), MouseButton::Right);
    EXPECT_EQ(asked, "1.0");
    EXPECT_EQ(shown, 1) << "no menu for that node";
}

TEST_F(InputTest, RightClickSelectsOnlyWhenAsked) {
    auto* tree = Tree();
    ClickAt(tree, 40, Row(1), MouseButton::Right);
    EXPECT_EQ(tree->SelectedCount(), 0u);
    tree->TreeOptions().SetSelectionOptions(toRightClickSelect);
    ClickAt(tree, 40, Row(1), MouseButton::Right);
    EXPECT_EQ(LabelOf(tree, tree->GetFirstSelected()), "1");
    EXPECT_EQ(tree->FocusedNode(), tree->GetFirstSelected());
}

TEST_F(InputTest, TheEditorTakesAndGivesText) {
    auto* tree = Tree();
    std::vector<std::string> texts;
    tree->OnNewText = [&](TBaseDataTree*, PDataNode, TColumnIndex, const WideString& t) {
        texts.push_back(WideToUtf8(t));
    };
    int edited = 0;
    tree->OnEdited = [&](TBaseDataTree*, PDataNode, TColumnIndex) { ++edited; };
    ClickAt(tree, 40, Row(0));
    Key(VK_F2);
    EXPECT_FALSE(tree->IsEditing()) << "not editable yet";
    tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toEditable);
    Key(VK_F2);
    ASSERT_TRUE(tree->IsEditing());
    for (char c : std::string("ab")) Key(UINT(c - 'a' + 'A'), char32_t(c));
    Key(VK_RETURN);
    EXPECT_FALSE(tree->IsEditing());
    EXPECT_EQ(texts, (std::vector<std::string>{"ab"}));
    EXPECT_EQ(edited, 1);
    EXPECT_TRUE(tree->Focused()) << "the focus comes back";
    // Escape keeps the old text.
    Key(VK_F2);
    Key('X', U'x');
    Key(VK_ESCAPE);
    EXPECT_FALSE(tree->IsEditing());
    EXPECT_EQ(texts.size(), 1u);
    // A second click on the focused label edits after the pause (late
    // enough not to make a double click of the first).
    clock.Advance(1000);
    ClickAt(tree, 40, Row(0));
    EXPECT_FALSE(tree->IsEditing());
    clock.Advance(tree->EditDelay());
    app->ProcessMessages();
    EXPECT_TRUE(tree->IsEditing());
    // A refusal keeps the editor closed.
    tree->CancelEditNode();
    tree->OnEditing = [](TBaseDataTree*, PDataNode, TColumnIndex, bool& allowed) { allowed = false; };
    EXPECT_FALSE(tree->EditNode(tree->GetFirst(), NoColumn));
}

TEST_F(InputTest, APressOnTheFocusedLabelThatMovesAwayRenamesNothing) {
    auto* tree = Tree();
    tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toEditable);
    ClickAt(tree, 40, Row(0));
    clock.Advance(1000);
    PressAt(tree, 40, Row(0));
    MoveTo(tree, 43, Row(0)); // within the threshold: still a click
    MoveTo(tree, 46, Row(0)); // past it, with no drag allowed from this tree
    clock.Advance(tree->EditDelay());
    app->ProcessMessages();
    EXPECT_FALSE(tree->IsEditing()) << "the editor opened under a moving press";
    Release();
    clock.Advance(tree->EditDelay());
    app->ProcessMessages();
    EXPECT_FALSE(tree->IsEditing());
}

TEST_F(InputTest, ClickingElsewhereEndsTheEditKeepingTheText) {
    auto* tree = Tree();
    tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toEditable);
    std::string text;
    tree->OnNewText = [&](TBaseDataTree*, PDataNode, TColumnIndex, const WideString& t) { text = WideToUtf8(t); };
    ASSERT_TRUE(tree->EditNode(tree->GetFirst(), NoColumn));
    app->ProcessMessages();
    Key('Q', U'q');
    ClickAt(tree, 40, Row(2));
    EXPECT_FALSE(tree->IsEditing());
    EXPECT_EQ(text, "q");
}

TEST_F(InputTest, NodeHintsShowAfterThePause) {
    auto* tree = Tree();
    tree->SetShowHint(true);
    tree->SetHintMode(hmHint);
    tree->OnGetHint = [](TBaseDataTree* t, PDataNode n, TColumnIndex, WideString& hint) {
        hint = u"hint of " + Utf8ToWide(LabelOf(t, n));
    };
    auto hintShowing = [] {
        for (HWND h : EnumWindows())
            if (GetClassName(h) == "THintWindow" && IsWindowVisible(h)) return GetWindowText(h);
        return std::string();
    };
    MoveTo(tree, 40, Row(1));
    EXPECT_EQ(hintShowing(), "");
    clock.Advance(app->HintPause());
    app->ProcessMessages();
    EXPECT_EQ(hintShowing(), "hint of 1");
    MoveTo(tree, 40, Row(2));
    EXPECT_EQ(hintShowing(), "") << "another node starts over";
    clock.Advance(app->HintPause());
    app->ProcessMessages();
    EXPECT_EQ(hintShowing(), "hint of 2");
}

TEST_F(InputTest, HeaderColumnsResizeAndReportClicks) {
    auto* tree = Tree();
    TDTHeader& header = tree->Header();
    header.Columns().Add()->SetText(u"Name");
    header.Columns().Add()->SetText(u"Size");
    header.Columns().Items(0)->SetWidth(100);
    header.Columns().Items(1)->SetWidth(60);
    header.SetOptions(header.Options() | hoVisible);
    app->ProcessMessages();
    EXPECT_EQ(tree->ClientHeight(), 180 - header.Height()) << "the header takes the top of the frame";
    std::vector<std::string> log;
    tree->OnColumnResize = [&](TDTHeader* h, TColumnIndex c) {
        log.push_back("resize " + std::to_string(c) + "=" + std::to_string(h->Columns()[c]->Width()));
    };
    tree->OnHeaderClick = [&](TDTHeader* h, TColumnIndex c, TMouseButton b, TShiftState, int x, int y) {
        log.push_back("click " + std::to_string(c) + (b == mbLeft ? " left " : " right ") + std::to_string(x) + "," +
                      std::to_string(y));
        if (b == mbLeft) h->SetSortColumn(c);
    };
    tree->OnHeaderMouseUp = [&](TDTHeader*, TMouseButton, TShiftState, int, int) { log.push_back("up"); };
    // Drag the divider between the columns (x 100 in header coordinates) by 25 pixels.
    PressAt(tree, 100, -8);
    MoveTo(tree, 110, -8);
    MoveTo(tree, 125, -8);
    Release();
    EXPECT_EQ(header.Columns()[0]->Width(), 125);
    EXPECT_EQ(log, (std::vector<std::string>{"resize 0=110", "resize 0=125", "up"}));
    log.clear();
    ClickAt(tree, 140, -8);
    EXPECT_EQ(log, (std::vector<std::string>{"click 1 left 140,9", "up"}));
    EXPECT_EQ(header.SortColumn(), 1);
    log.clear();
    ClickAt(tree, 20, -8, MouseButton::Right);
    EXPECT_EQ(log, (std::vector<std::string>{"click 0 right 20,9", "up"}));
    // The hit column under the nodes follows the widths.
    THitInfo hit;
    tree->GetHitTestInfoAt(130, 5, true, hit);
    EXPECT_EQ(hit.HitColumn, 1);
    tree->GetHitTestInfoAt(124, 5, true, hit);
    EXPECT_EQ(hit.HitColumn, 0);
}

TEST_F(InputTest, ADoubleClickOnADividerFitsTheColumn) {
    auto* tree = Tree();
    TDTHeader& header = tree->Header();
    header.Columns().Add()->SetText(u"Name");
    header.Columns()[0]->SetWidth(150);
    header.SetOptions(header.Options() | hoVisible | hoDblClickResize);
    tree->SetExpanded(tree->GetFirst(), true);
    app->ProcessMessages();
    // The widest shown node: "0.0" at level 1 with its check box: 40 + 16 + 21 + 8.
    EXPECT_EQ(tree->GetMaxColumnWidth(0), 85);
    const POINT p = tree->ClientToScreen(POINT{150, -8});
    InjectDoubleClick(MouseButton::Left, p.x, p.y);
    app->ProcessMessages();
    EXPECT_EQ(header.Columns()[0]->Width(), 85);
}

TEST_F(InputTest, HeaderColumnsMoveByDragging) {
    auto* tree = Tree();
    TDTHeader& header = tree->Header();
    for (const char16_t* t : {u"A", u"B", u"C"}) header.Columns().Add()->SetText(t);
    for (int i = 0; i < 3; ++i) header.Columns()[i]->SetWidth(50);
    header.SetOptions(header.Options() | hoVisible);
    app->ProcessMessages();
    bool draggingSeenAtMouseUp = false;
    tree->OnHeaderMouseUp = [&](TDTHeader* h, TMouseButton, TShiftState, int, int) {
        draggingSeenAtMouseUp = (h->States() & hsDragging) != 0;
    };
    TColumnIndex moved = NoColumn;
    TColumnPosition from = 99;
    tree->OnHeaderDragged = [&](TDTHeader*, TColumnIndex c, TColumnPosition old) {
        moved = c;
        from = old;
    };
    PressAt(tree, 10, -8);
    MoveTo(tree, 60, -8);
    MoveTo(tree, 120, -8);
    Release();
    EXPECT_EQ(moved, 0);
    EXPECT_EQ(from, 0u);
    EXPECT_EQ(header.Columns()[0]->Position(), 2u);
    EXPECT_EQ(header.Columns()[1]->Position(), 0u);
    EXPECT_EQ(header.Columns()[2]->Position(), 1u);
    EXPECT_EQ(header.Columns()[0]->Left(), 100);
    EXPECT_TRUE(draggingSeenAtMouseUp);
    EXPECT_FALSE(header.States() & hsDragging);
}

} // namespace
} // namespace ax
