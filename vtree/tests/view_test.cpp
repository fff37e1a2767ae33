// The view on a shown tree: hit tests at known pixels (test font: 7 pixels
// a character), display rectangles, selection and focus with their events,
// update brackets, scrolling and sorting.
#include <cstring>

#include "fixture.h"

namespace ax {
namespace {

using test::TreeTest;

class ViewTest : public TreeTest {
protected:
    // Three top-level nodes "0", "1", "2", each with two children, 18 pixels a row.
    TDataStringTree* Tree(int width = 200, int height = 180) {
        TDataStringTree* tree = ShownTree(width, height);
        UseLabels(tree);
        auto label = tree->OnInitNode;
        tree->OnInitNode = [label](TBaseDataTree* t, PDataNode p, PDataNode n, TDataNodeInitStates& s) {
            label(t, p, n, s);
            if (!p) s |= ivsHasChildren;
        };
        tree->OnInitChildren = [](TBaseDataTree*, PDataNode, uint32_t& count) { count = 2; };
        tree->SetRootNodeCount(3);
        app->ProcessMessages();
        return tree;
    }
};

TEST_F(ViewTest, HitPositionsAtKnownPixels) {
    auto* tree = Tree();
    tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toCheckSupport);
    PDataNode first = tree->GetFirst();
    tree->SetCheckType(first, ctCheckBox);
    THitInfo hit;
    // Row 0: margin 0..3, button cell 4..21, check box 22..37, label "0" 38..52 (7 + 2 x 4).
    tree->GetHitTestInfoAt(10, 9, true, hit);
    EXPECT_EQ(hit.HitNode, first);
    EXPECT_EQ(hit.HitPositions, hiOnItem | hiOnItemButton);
    EXPECT_EQ(hit.HitPositions, 0x18u);
    tree->GetHitTestInfoAt(30, 9, true, hit);
    EXPECT_EQ(hit.HitPositions, hiOnItem | hiOnItemCheckbox);
    tree->GetHitTestInfoAt(38, 0, true, hit);
    EXPECT_EQ(hit.HitPositions, hiOnItem | hiOnItemLabel);
    EXPECT_EQ(hit.HitPositions & 0x80u, 0x80u);
    tree->GetHitTestInfoAt(52, 17, true, hit);
    EXPECT_EQ(hit.HitPositions, hiOnItem | hiOnItemLabel);
    tree->GetHitTestInfoAt(53, 9, true, hit);
    EXPECT_EQ(hit.HitPositions, hiOnItem | hiOnItemRight);
    tree->GetHitTestInfoAt(2, 9, true, hit);
    EXPECT_EQ(hit.HitPositions, hiOnItem | hiOnItemIndent);
    EXPECT_EQ(hit.HitColumn, NoColumn);
    // Row 1 is the second node (the first is collapsed), without a check box.
    tree->GetHitTestInfoAt(22, 18, true, hit);
    EXPECT_EQ(hit.HitNode, tree->GetNextSibling(first));
    EXPECT_EQ(hit.HitPositions, hiOnItem | hiOnItemLabel);
    // Below the last row, outside the client.
    tree->GetHitTestInfoAt(30, 54, true, hit);
    EXPECT_EQ(hit.HitNode, nullptr);
    EXPECT_EQ(hit.HitPositions, hiNowhere);
    tree->GetHitTestInfoAt(30, -1, true, hit);
    EXPECT_EQ(hit.HitPositions, hiAbove);
    tree->GetHitTestInfoAt(200, 5, true, hit);
    EXPECT_EQ(hit.HitPositions, hiToRight);
}

TEST_F(ViewTest, IconsTakeTheirWidthAndTwoPixels) {
    auto* tree = Tree();
    auto* images = TComponent::Create<TImageList>(form);
    images->SetSize(16, 16);
    TBitmap bitmap;
    bitmap.SetSize(16, 16);
    images->Add(&bitmap, nullptr);
    images->Add(&bitmap, nullptr);
    tree->SetImages(images);
    auto* states = TComponent::Create<TImageList>(form);
    states->SetSize(12, 12);
    TBitmap small;
    small.SetSize(12, 12);
    states->Add(&small, nullptr);
    tree->SetStateImages(states);
    tree->OnGetImageIndex = [tree_ = tree](TBaseDataTree*, PDataNode n, TDTImageKind kind, TColumnIndex, bool&, int& index) {
        if (kind == ikState && n->Index == 0 && n->Parent == tree_->RootNode()) index = 0;
        if (kind == ikNormal) index = 1;
    };
    tree->SetExpanded(tree->GetFirst(), true);
    app->ProcessMessages();
    // Row 0: content at 22; state icon 22..33 (+2), icon 36..51 (+2), label from 54.
    THitInfo hit;
    tree->GetHitTestInfoAt(22, 9, true, hit);
    EXPECT_EQ(hit.HitPositions, hiOnItem | hiOnStateIcon);
    EXPECT_EQ(hit.HitPositions & 0x800u, 0x800u);
    tree->GetHitTestInfoAt(36, 9, true, hit);
    EXPECT_EQ(hit.HitPositions, hiOnItem | hiOnNormalIcon);
    EXPECT_EQ(hit.HitPositions & 0x400u, 0x400u);
    tree->GetHitTestInfoAt(54, 9, true, hit);
    EXPECT_EQ(hit.HitPositions, hiOnItem | hiOnItemLabel);
    // Row 1: "0.0", one level deeper: content at 40, icon 40..55, label 58 .. 58 + 21 + 8.
    const RECT label = tree->GetDisplayRect(tree->GetFirstChild(tree->GetFirst()), NoColumn, true);
    EXPECT_EQ(label, (RECT{58, 18, 87, 36}));
    EXPECT_EQ(tree->GetMaxColumnWidth(NoColumn), 87) << "the widest content: indentation, icons plus 2, text";
}

TEST_F(ViewTest, DisplayRectanglesFollowScrolling) {
    auto* tree = Tree();
    tree->SetRootNodeCount(30);
    app->ProcessMessages();
    PDataNode n = tree->GetFirst();
    for (int i = 0; i < 12; ++i) n = tree->GetNextSibling(n);
    EXPECT_EQ(tree->GetDisplayRect(n, NoColumn, false).top, 12 * 18);
    tree->SetOffsetY(100);
    EXPECT_EQ(tree->OffsetY(), 100);
    const RECT row = tree->GetDisplayRect(n, NoColumn, false);
    EXPECT_EQ(row.top, 12 * 18 - 100);
    EXPECT_EQ(row.bottom, 13 * 18 - 100);
    EXPECT_EQ(row.left, 0);
    const RECT text = tree->GetDisplayRect(n, NoColumn, true);
    EXPECT_EQ(text, (RECT{22, row.top, 22 + 14 + 8, row.bottom})) << "label \"12\"";
    tree->SetOffsetY(1000000);
    EXPECT_EQ(tree->OffsetY(), 30 * 18 - tree->ClientHeight()) << "clamped to the end";
}

TEST_F(ViewTest, ScrollIntoViewAndTheTopNode) {
    auto* tree = Tree(200, 180);
    tree->SetRootNodeCount(100);
    app->ProcessMessages();
    const int ch = tree->ClientHeight();
    PDataNode n50 = tree->GetFirst();
    for (int i = 0; i < 50; ++i) n50 = tree->GetNextSibling(n50);
    EXPECT_TRUE(tree->ScrollIntoView(n50, false));
    EXPECT_EQ(tree->OffsetY(), 51 * 18 - ch) << "just enough to show the whole row";
    EXPECT_FALSE(tree->ScrollIntoView(n50, false)) << "already in view";
    tree->ScrollIntoView(n50, true);
    EXPECT_EQ(tree->OffsetY(), 50 * 18 + 9 - ch / 2);
    tree->SetTopNode(n50);
    EXPECT_EQ(tree->OffsetY(), 50 * 18);
    EXPECT_EQ(tree->TopNode(), n50);
    // A hidden child: its ancestors open first.
    PDataNode child = tree->GetFirstChild(tree->GetFirst());
    EXPECT_FALSE(tree->FullyVisible(child));
    tree->SetTopNode(child);
    EXPECT_TRUE(tree->Expanded(tree->GetFirst()));
    EXPECT_EQ(tree->OffsetY(), 18);
    EXPECT_EQ(tree->TopNode(), child);
}

TEST_F(ViewTest, FocusEventsComeInOrderAndMayBeRefused) {
    auto* tree = Tree();
    std::vector<std::string> log;
    tree->OnFocusChanging = [&](TBaseDataTree* t, PDataNode o, PDataNode n, TColumnIndex, TColumnIndex,
                                bool& allowed) {
        log.push_back("changing " + LabelOf(t, o) + ">" + LabelOf(t, n));
        allowed = !n || n->Index != 2;
    };
    tree->OnFocusChanged = [&](TBaseDataTree* t, PDataNode n, TColumnIndex) { log.push_back("changed " + LabelOf(t, n)); };
    tree->OnChange = [&](TBaseDataTree* t, PDataNode n) { log.push_back("change " + LabelOf(t, n)); };
    PDataNode first = tree->GetFirst(), second = tree->GetNextSibling(first), third = tree->GetNextSibling(second);
    tree->SetFocusedNode(first);
    tree->SetFocusedNode(first);
    tree->SetFocusedNode(second);
    tree->SetFocusedNode(third);
    EXPECT_EQ(tree->FocusedNode(), second);
    EXPECT_EQ(log, (std::vector<std::string>{"changing ->0", "changed 0", "change 0", "changing 0>1", "changed 1",
                                             "change 1", "changing 1>2"}));
}

TEST_F(ViewTest, SelectionFollowsTheSelectionOptions) {
    auto* tree = Tree();
    int changes = 0;
    tree->OnChange = [&](TBaseDataTree*, PDataNode) { ++changes; };
    PDataNode a = tree->GetFirst(), b = tree->GetNextSibling(a), c = tree->GetNextSibling(b);
    PDataNode a0 = tree->GetFirstChild(a);
    tree->SetSelected(b, true);
    tree->SetSelected(a, true);
    EXPECT_FALSE(tree->Selected(b)) << "without multi-select one node is selected";
    EXPECT_EQ(tree->SelectedCount(), 1u);
    EXPECT_EQ(changes, 2);
    tree->TreeOptions().SetSelectionOptions(toMultiSelect);
    tree->SetSelected(c, true);
    tree->SetSelected(a0, true);
    EXPECT_EQ(tree->SelectedCount(), 3u);
    // Tree order, not the order of selecting.
    std::vector<std::string> order;
    for (PDataNode n = tree->GetFirstSelected(); n; n = tree->GetNextSelected(n)) order.push_back(LabelOf(tree, n));
    EXPECT_EQ(order, (std::vector<std::string>{"0", "0.0", "2"}));
    tree->ClearSelection();
    EXPECT_EQ(tree->SelectedCount(), 0u);
    EXPECT_EQ(tree->GetFirstSelected(), nullptr);
    // Constraints: the level of, or the parent shared with, the selection.
    tree->TreeOptions().SetSelectionOptions(toMultiSelect | toLevelSelectConstraint);
    tree->SetSelected(a, true);
    tree->SetSelected(a0, true);
    tree->SetSelected(c, true);
    EXPECT_EQ(tree->SelectedCount(), 2u);
    tree->ClearSelection();
    tree->TreeOptions().SetSelectionOptions(toMultiSelect | toSiblingSelectConstraint);
    tree->SetSelected(a0, true);
    tree->SetSelected(tree->GetNextSibling(a0), true);
    tree->SetSelected(tree->GetFirstChild(b), true);
    EXPECT_EQ(tree->SelectedCount(), 2u);
    // Back to single selection: the first selected node stays.
    tree->TreeOptions().SetSelectionOptions(0);
    EXPECT_EQ(tree->SelectedCount(), 1u);
    EXPECT_TRUE(tree->Selected(a0));
}

class CountingTree : public TDataStringTree {
public:
    using TDataStringTree::TDataStringTree;
    int paints = 0;

protected:
    void Paint() override {
        // A frame-only update brings an empty client paint: not a repaint.
        const RECT clip = Canvas().ClipRect();
        if (!IsRectEmpty(&clip)) ++paints;
        TDataStringTree::Paint();
    }
};

TEST_F(ViewTest, UpdateBracketsNestAndRepaintOnceAtTheOutermostEnd) {
    form = app->CreateForm<TForm>();
    form->SetClientSize(300, 300);
    auto* tree = TComponent::Create<CountingTree>(form);
    tree->SetParent(form);
    tree->SetBounds(0, 0, 200, 200);
    form->Show();
    app->ProcessMessages();
    std::vector<int> states;
    int changes = 0;
    tree->OnUpdating = [&](TBaseDataTree*, TDTUpdateState s) { states.push_back(int(s)); };
    tree->OnChange = [&](TBaseDataTree*, PDataNode n) {
        ++changes;
        EXPECT_EQ(n, nullptr) << "changes made in a bracket are reported once, for no node";
    };
    tree->paints = 0;
    tree->BeginUpdate();
    tree->BeginUpdate();
    tree->SetRootNodeCount(50);
    tree->SetSelected(tree->GetFirst(), true);
    tree->SetSelected(tree->GetLastChild(nullptr), true);
    tree->SetExpanded(tree->GetFirst(), true);
    tree->EndUpdate();
    app->ProcessMessages();
    EXPECT_EQ(tree->paints, 0);
    EXPECT_EQ(states, (std::vector<int>{0}));
    EXPECT_EQ(changes, 0);
    tree->EndUpdate();
    EXPECT_EQ(states, (std::vector<int>{0, 4}));
    EXPECT_EQ(changes, 1);
    app->ProcessMessages();
    EXPECT_EQ(tree->paints, 1);
    EXPECT_EQ(tree->UpdateCount(), 0);
    tree->EndUpdate(); // an unmatched end is ignored
    EXPECT_EQ(states.size(), 2u);
}

TEST_F(ViewTest, SortingThroughTheComparison) {
    auto* tree = Tree();
    tree->SetRootNodeCount(5);
    for (PDataNode n = tree->GetFirst(); n; n = tree->GetNextSibling(n)) tree->SetExpanded(n, false);
    int calls = 0;
    tree->OnCompareNodes = [&](TBaseDataTree* t, PDataNode a, PDataNode b, TColumnIndex column, int& r) {
        ++calls;
        EXPECT_EQ(column, 3);
        r = std::strcmp(t->GetNodeData<test::Label>(a)->text, t->GetNodeData<test::Label>(b)->text);
    };
    PDataNode first = tree->GetFirst();
    tree->GetFirstChild(first); // children of the first node exist, the others' do not
    tree->SortTree(3, sdDescending, true);
    std::vector<std::string> top;
    for (PDataNode n = tree->RootNode()->FirstChild; n; n = n->NextSibling)
        top.push_back(LabelOf(tree, n) + "@" + std::to_string(n->Index));
    EXPECT_EQ(top, (std::vector<std::string>{"4@0", "3@1", "2@2", "1@3", "0@4"}));
    EXPECT_EQ(LabelOf(tree, first->FirstChild), "0.1");
    EXPECT_EQ(first->PrevSibling->ChildCount, 0u) << "sorting makes no children";
    EXPECT_GT(calls, 0);
    // One node's children, made for the sort.
    PDataNode last = tree->RootNode()->LastChild;
    EXPECT_EQ(last, first);
    PDataNode other = first->PrevSibling;
    tree->Sort(other, 3, sdDescending, true);
    EXPECT_EQ(other->ChildCount, 2u);
    EXPECT_EQ(LabelOf(tree, other->FirstChild), "1.1");
    EXPECT_EQ(tree->GetDisplayRect(tree->RootNode()->FirstChild, NoColumn, false).top, 0);
}

TEST_F(ViewTest, AutoSortFollowsTheHeaderSortSettings) {
    auto* tree = Tree();
    tree->OnCompareNodes = [](TBaseDataTree*, PDataNode a, PDataNode b, TColumnIndex, int& r) {
        r = int(a->Index) - int(b->Index);
    };
    tree->TreeOptions().SetAutoOptions(tree->TreeOptions().AutoOptions() | toAutoSort);
    tree->Header().SetSortColumn(0);
    tree->Header().SetSortDirection(sdDescending);
    EXPECT_EQ(tree->RootNode()->FirstChild->Index, 0u) << "sorting renumbers";
    std::vector<std::string> top;
    for (PDataNode n = tree->GetFirst(); n; n = tree->GetNextSibling(n)) top.push_back(LabelOf(tree, n));
    EXPECT_EQ(top, (std::vector<std::string>{"2", "1", "0"}));
}

} // namespace
} // namespace ax
