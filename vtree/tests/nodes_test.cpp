// The node store: lazy initialisation, children made on demand, walks,
// deletion, data areas, and the positions of shown nodes.
#include <algorithm>
#include <cstring>
#include <functional>
#include <random>

#include "NodePool.h"
#include "fixture.h"

namespace ax {
namespace {

using test::TreeTest;

std::string Path(TBaseDataTree* tree, PDataNode node) {
    std::string s;
    for (PDataNode n = node; n && n != tree->RootNode(); n = n->Parent)
        s = std::to_string(n->Index) + (s.empty() ? "" : "." + s);
    return s;
}

// A tree whose nodes each have two children down to depth 3, recording
// every initialisation.
struct Recorded {
    std::vector<std::string> log;
    void Attach(TBaseDataTree* tree) {
        tree->OnInitNode = [this](TBaseDataTree* t, PDataNode, PDataNode node, TDataNodeInitStates& states) {
            log.push_back("init " + Path(t, node));
            if (t->GetNodeLevel(node) < 2) states |= ivsHasChildren;
        };
        tree->OnInitChildren = [this](TBaseDataTree* t, PDataNode node, uint32_t& count) {
            log.push_back("children " + Path(t, node));
            count = 2;
        };
    }
};

TEST_F(TreeTest, NodesAreInitialisedOnlyWhenAWalkReachesThem) {
    auto* tree = BareTree();
    Recorded r;
    r.Attach(tree);
    tree->SetRootNodeCount(3);
    EXPECT_EQ(tree->RootNodeCount(), 3u);
    EXPECT_TRUE(r.log.empty()) << "making nodes initialises none";
    PDataNode first = tree->GetFirst();
    EXPECT_EQ(r.log, (std::vector<std::string>{"init 0"}));
    EXPECT_EQ(first->ChildCount, 0u) << "children exist only once asked for";
    EXPECT_TRUE(first->States & vsHasChildren);
    r.log.clear();
    PDataNode child = tree->GetFirstChild(first);
    EXPECT_EQ(r.log, (std::vector<std::string>{"children 0", "init 0.0"}));
    EXPECT_EQ(first->ChildCount, 2u);
    EXPECT_EQ(child->Parent, first);
    r.log.clear();
    // Tree order creates the children of every node on the way.
    std::vector<std::string> order;
    for (PDataNode n = child; n; n = tree->GetNext(n)) order.push_back(Path(tree, n));
    EXPECT_EQ(order, (std::vector<std::string>{"0.0", "0.0.0", "0.0.1", "0.1", "0.1.0", "0.1.1", "1", "1.0",
                                               "1.0.0", "1.0.1", "1.1", "1.1.0", "1.1.1", "2", "2.0", "2.0.0",
                                               "2.0.1", "2.1", "2.1.0", "2.1.1"}));
    EXPECT_EQ(tree->TotalCount(), 3u + 6 + 12);
    // Walking again initialises nothing.
    r.log.clear();
    for (PDataNode n = tree->GetFirst(); n; n = tree->GetNext(n)) {
    }
    EXPECT_TRUE(r.log.empty());
}

TEST_F(TreeTest, SiblingWalksInitialiseWhatTheyReturnAndNothingElse) {
    auto* tree = BareTree();
    Recorded r;
    r.Attach(tree);
    tree->SetRootNodeCount(3);
    PDataNode last = tree->GetLastChild(nullptr);
    EXPECT_EQ(r.log, (std::vector<std::string>{"init 2"}));
    PDataNode middle = tree->GetPreviousSibling(last);
    EXPECT_EQ(r.log.back(), "init 1");
    EXPECT_EQ(tree->GetNextSibling(middle), last);
    EXPECT_EQ(r.log.size(), 2u);
    EXPECT_EQ(tree->GetPrevious(tree->GetFirst()), nullptr);
    // GetPrevious goes to the deepest last descendant of the previous sibling.
    r.log.clear();
    EXPECT_EQ(Path(tree, tree->GetPrevious(middle)), "0.1.1");
    EXPECT_EQ(r.log, (std::vector<std::string>{"children 0", "init 0.1", "children 0.1", "init 0.1.1"}));
}

TEST_F(TreeTest, ExpandingMakesTheChildrenOnceAndTogglesOnlyOnAChange) {
    auto* tree = BareTree();
    Recorded r;
    r.Attach(tree);
    std::vector<std::string> events;
    tree->OnExpanding = [&](TBaseDataTree* t, PDataNode n, bool&) { events.push_back("expanding " + Path(t, n)); };
    tree->OnExpanded = [&](TBaseDataTree* t, PDataNode n) { events.push_back("expanded " + Path(t, n)); };
    tree->OnCollapsing = [&](TBaseDataTree* t, PDataNode n, bool&) { events.push_back("collapsing " + Path(t, n)); };
    tree->OnCollapsed = [&](TBaseDataTree* t, PDataNode n) { events.push_back("collapsed " + Path(t, n)); };
    tree->SetRootNodeCount(1);
    PDataNode top = tree->GetFirst();
    tree->SetExpanded(top, true);
    tree->SetExpanded(top, true);
    EXPECT_EQ(events, (std::vector<std::string>{"expanding 0", "expanded 0"}));
    EXPECT_EQ(std::count(r.log.begin(), r.log.end(), "children 0"), 1);
    tree->SetExpanded(top, false);
    tree->SetExpanded(top, false);
    tree->SetExpanded(top, true);
    EXPECT_EQ(events.size(), 6u);
    EXPECT_EQ(std::count(r.log.begin(), r.log.end(), "children 0"), 1) << "children are made once";
    // A refused expansion changes nothing.
    tree->SetExpanded(top, false);
    tree->OnExpanding = [](TBaseDataTree*, PDataNode, bool& allowed) { allowed = false; };
    tree->SetExpanded(top, true);
    EXPECT_FALSE(tree->Expanded(top));
}

TEST_F(TreeTest, ChildInitialisationThatFindsNothingRemovesTheButton) {
    auto* tree = BareTree();
    tree->OnInitNode = [](TBaseDataTree*, PDataNode, PDataNode, TDataNodeInitStates& s) { s |= ivsHasChildren; };
    tree->OnInitChildren = [](TBaseDataTree*, PDataNode, uint32_t& count) { count = 0; };
    tree->SetRootNodeCount(1);
    PDataNode n = tree->GetFirst();
    EXPECT_TRUE(tree->HasChildren(n));
    EXPECT_EQ(tree->GetFirstChild(n), nullptr);
    EXPECT_FALSE(tree->HasChildren(n));
}

TEST_F(TreeTest, ChildrenAddedByTheInitialisationHandlerAreKept) {
    // The handler may add the children itself and answer their number.
    auto* tree = BareTree();
    tree->OnInitNode = [](TBaseDataTree*, PDataNode, PDataNode, TDataNodeInitStates& s) { s |= ivsHasChildren; };
    tree->OnInitChildren = [](TBaseDataTree* t, PDataNode node, uint32_t& count) {
        if (t->GetNodeLevel(node) > 0) return;
        if (node->ChildCount == 0) {
            t->AddChild(node);
            t->AddChild(node);
            t->AddChild(node);
        }
        count = node->ChildCount;
    };
    tree->SetRootNodeCount(1);
    PDataNode n = tree->GetFirst();
    tree->SetExpanded(n, true);
    EXPECT_EQ(n->ChildCount, 3u);
    // Re-initialising the children goes through the dispatcher again and keeps them.
    tree->ReinitChildren(n, false);
    EXPECT_EQ(n->ChildCount, 3u);
    std::vector<uint32_t> indexes;
    for (PDataNode c = n->FirstChild; c; c = c->NextSibling) indexes.push_back(c->Index);
    EXPECT_EQ(indexes, (std::vector<uint32_t>{0, 1, 2}));
}

TEST_F(TreeTest, InitialStatesAreApplied) {
    auto* tree = BareTree();
    tree->OnInitNode = [](TBaseDataTree* t, PDataNode, PDataNode node, TDataNodeInitStates& s) {
        if (t->GetNodeLevel(node) > 0) return;
        if (node->Index == 0) s |= ivsHasChildren | ivsExpanded;
        if (node->Index == 1) s |= ivsDisabled | ivsSelected;
    };
    tree->OnInitChildren = [](TBaseDataTree*, PDataNode, uint32_t& count) { count = 4; };
    tree->SetDefaultNodeHeight(10);
    tree->SetRootNodeCount(2);
    PDataNode first = tree->GetFirst();
    EXPECT_TRUE(tree->Expanded(first));
    EXPECT_EQ(first->ChildCount, 4u);
    EXPECT_EQ(tree->RangeY(), 10 * (2 + 4)) << "the expanded children count in the height";
    PDataNode second = tree->GetNextSibling(first);
    EXPECT_TRUE(tree->IsDisabled(second));
    EXPECT_TRUE(tree->Selected(second));
    EXPECT_EQ(tree->SelectedCount(), 1u);
}

TEST_F(TreeTest, AHandlerHidingItsNodeKeepsTheHeightsRight) {
    // A node may clear its visible bit directly while it is initialised.
    auto* tree = BareTree();
    tree->SetDefaultNodeHeight(10);
    tree->OnInitNode = [](TBaseDataTree*, PDataNode, PDataNode node, TDataNodeInitStates&) {
        if (node->Index % 2) node->States &= ~vsVisible;
    };
    tree->SetRootNodeCount(6);
    EXPECT_EQ(tree->RangeY(), 60);
    for (PDataNode n = tree->GetFirst(); n; n = tree->GetNextSibling(n)) {
    }
    EXPECT_EQ(tree->RangeY(), 30);
    std::vector<uint32_t> shown;
    for (PDataNode n = tree->GetFirstVisible(); n; n = tree->GetNextVisible(n)) shown.push_back(n->Index);
    EXPECT_EQ(shown, (std::vector<uint32_t>{0, 2, 4}));
}

TEST_F(TreeTest, DeletingReindexesOnlyWhenAsked) {
    auto* tree = BareTree();
    std::vector<std::string> freed;
    tree->OnFreeNode = [&](TBaseDataTree* t, PDataNode n) { freed.push_back(Path(t, n)); };
    tree->SetRootNodeCount(5);
    auto indexes = [&] {
        std::vector<uint32_t> v;
        for (PDataNode n = tree->RootNode()->FirstChild; n; n = n->NextSibling) v.push_back(n->Index);
        return v;
    };
    tree->DeleteNode(tree->RootNode()->FirstChild->NextSibling, true);
    EXPECT_EQ(indexes(), (std::vector<uint32_t>{0, 1, 2, 3}));
    tree->DeleteNode(tree->RootNode()->FirstChild, false);
    EXPECT_EQ(indexes(), (std::vector<uint32_t>{1, 2, 3}));
    // A node added after keeps the order: its index follows the last one.
    PDataNode added = tree->AddChild(nullptr);
    EXPECT_EQ(added->Index, 4u);
    EXPECT_EQ(tree->RootNodeCount(), 4u);
    EXPECT_EQ(freed.size(), 2u);
}

TEST_F(TreeTest, DeletingASubtreeFreesChildrenFirst) {
    auto* tree = BareTree();
    PDataNode a = tree->AddChild(nullptr);
    PDataNode b = tree->AddChild(a);
    tree->AddChild(b);
    tree->AddChild(a);
    std::vector<std::string> freed;
    tree->OnFreeNode = [&](TBaseDataTree*, PDataNode n) {
        freed.push_back(std::to_string(n->Index) + "/" + std::to_string(n->ChildCount));
    };
    tree->SetFocusedNode(b);
    tree->SetSelected(b, true);
    tree->DeleteNode(a);
    EXPECT_EQ(freed, (std::vector<std::string>{"0/0", "0/1", "1/0", "0/2"}));
    EXPECT_EQ(tree->TotalCount(), 0u);
    EXPECT_EQ(tree->FocusedNode(), nullptr);
    EXPECT_EQ(tree->SelectedCount(), 0u);
    EXPECT_EQ(tree->GetFirstSelected(), nullptr);
}

TEST_F(TreeTest, DeletionWhileTheTreeIteratesIsRefused) {
    auto* tree = BareTree();
    tree->SetRootNodeCount(4);
    int visited = 0;
    bool refused = false;
    tree->IterateSubtree(nullptr, [&](PDataNode n, bool&) {
        ++visited;
        try {
            tree->DeleteNode(n);
        } catch (const EDataTreeError& e) {
            refused = e.Code() == dteDeleteWhileIterating;
        }
    });
    EXPECT_TRUE(refused);
    EXPECT_EQ(visited, 4);
    EXPECT_EQ(tree->RootNodeCount(), 4u);
    EXPECT_THROW(
        tree->IterateSubtree(nullptr, [&](PDataNode, bool&) { tree->Clear(); }), EDataTreeError);
    EXPECT_FALSE(tree->TreeStates() & tsIterating);
    tree->DeleteNode(tree->GetFirst()); // allowed again afterwards
    EXPECT_EQ(tree->RootNodeCount(), 3u);
}

TEST_F(TreeTest, IterationVisitsASubtreeInTreeOrderAndStopsWhenAsked) {
    auto* tree = BareTree();
    PDataNode a = tree->AddChild(nullptr);
    PDataNode a0 = tree->AddChild(a);
    tree->AddChild(a0);
    tree->AddChild(a);
    tree->AddChild(nullptr);
    std::vector<std::string> seen;
    tree->IterateSubtree(a, [&](PDataNode n, bool&) { seen.push_back(Path(tree, n)); });
    EXPECT_EQ(seen, (std::vector<std::string>{"0", "0.0", "0.0.0", "0.1"}));
    seen.clear();
    tree->IterateSubtree(nullptr, [&](PDataNode n, bool& abort) {
        seen.push_back(Path(tree, n));
        abort = seen.size() == 2;
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"0", "0.0"}));
}

TEST_F(TreeTest, ClearFreesEveryNodeAndResetsTheState) {
    auto* tree = BareTree();
    int freed = 0;
    tree->OnFreeNode = [&](TBaseDataTree*, PDataNode) { ++freed; };
    tree->SetRootNodeCount(10);
    tree->AddChild(tree->GetFirst());
    tree->SetSelected(tree->GetFirst(), true);
    tree->SetFocusedNode(tree->GetFirst());
    tree->Clear();
    EXPECT_EQ(freed, 11);
    EXPECT_EQ(tree->TotalCount(), 0u);
    EXPECT_EQ(tree->RootNodeCount(), 0u);
    EXPECT_EQ(tree->RangeY(), 0);
    EXPECT_EQ(tree->FocusedNode(), nullptr);
    EXPECT_EQ(tree->SelectedCount(), 0u);
    EXPECT_EQ(tree->GetFirst(), nullptr);
}

TEST_F(TreeTest, HasChildrenClearedDeletesChildrenUnlessReadOnly) {
    auto* tree = BareTree();
    PDataNode n = tree->AddChild(nullptr);
    tree->AddChild(n);
    tree->AddChild(n);
    tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toReadOnly);
    tree->SetHasChildren(n, false);
    EXPECT_EQ(n->ChildCount, 2u);
    tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() & ~toReadOnly);
    tree->SetHasChildren(n, false);
    EXPECT_EQ(n->ChildCount, 0u);
    EXPECT_FALSE(tree->HasChildren(n));
    tree->SetHasChildren(n, true);
    EXPECT_TRUE(tree->HasChildren(n));
    EXPECT_EQ(n->ChildCount, 0u);
}

TEST_F(TreeTest, DeletingTheLastChildLeavesTheHasChildrenState) {
    auto* tree = BareTree();
    PDataNode n = tree->AddChild(nullptr);
    tree->DeleteNode(tree->AddChild(n));
    EXPECT_TRUE(tree->HasChildren(n));
    EXPECT_EQ(n->ChildCount, 0u);
}

TEST_F(TreeTest, HasAsParentAndHiddenChildren) {
    auto* tree = BareTree();
    PDataNode a = tree->AddChild(nullptr);
    PDataNode b = tree->AddChild(a);
    PDataNode c = tree->AddChild(b);
    EXPECT_TRUE(tree->HasAsParent(c, a));
    EXPECT_TRUE(tree->HasAsParent(c, b));
    EXPECT_FALSE(tree->HasAsParent(a, c));
    EXPECT_FALSE(tree->HasAsParent(a, a));
    EXPECT_FALSE(tree->HasAsParent(nullptr, a));
    EXPECT_TRUE(tree->HasAsParent(c, tree->RootNode()));
    tree->DetermineHiddenChildrenFlag(b);
    EXPECT_FALSE(b->States & vsAllChildrenHidden);
    tree->SetVisible(c, false);
    tree->DetermineHiddenChildrenFlag(b);
    EXPECT_TRUE(b->States & vsAllChildrenHidden) << "0x400 once no child is visible";
    tree->SetVisible(c, true);
    tree->DetermineHiddenChildrenFlag(b);
    EXPECT_FALSE(b->States & vsAllChildrenHidden);
}

TEST_F(TreeTest, DataAreasAreReservedBeforeAnyNodeAndKeepTheirPlace) {
    auto* tree = TComponent::Create<TDataStringTree>(app.get());
    tree->SetNodeDataSize(12);
    auto* rootData = tree->GetNodeData<char>(tree->RootNode());
    std::memcpy(rootData, "root-data!!", 12);
    const int first = tree->AllocateInternalDataArea(5);
    const int second = tree->AllocateInternalDataArea(8);
    EXPECT_EQ(first, int(sizeof(TDataNode)));
    EXPECT_EQ(second, first + 8) << "areas are rounded up to 8 bytes";
    EXPECT_STREQ(tree->GetNodeData<char>(tree->RootNode()), "root-data!!") << "the user data moves behind";
    EXPECT_EQ(tree->GetNodeData<uint8_t>(tree->RootNode()) - reinterpret_cast<uint8_t*>(tree->RootNode()),
              second + 8);
    PDataNode n = tree->AddChild(nullptr);
    const auto* area = reinterpret_cast<uint8_t*>(n) + first;
    EXPECT_TRUE(std::all_of(area, area + 16 + 12, [](uint8_t b) { return b == 0; })) << "nodes start zeroed";
    EXPECT_THROW(tree->AllocateInternalDataArea(4), EDataTreeError);
    EXPECT_THROW(tree->SetNodeDataSize(20), EDataTreeError);
    tree->Clear();
    tree->SetNodeDataSize(20);
    EXPECT_EQ(tree->NodeDataSize(), 20);
}

TEST_F(TreeTest, UserDataGivenToAddChildIsStored) {
    auto* tree = BareTree();
    int payload = 7;
    PDataNode n = tree->AddChild(nullptr, &payload);
    EXPECT_EQ(*tree->GetNodeData<int*>(n), &payload);
    EXPECT_TRUE(n->States & vsInitialUserData);
    auto* small = TComponent::Create<TDataStringTree>(app.get());
    small->SetNodeDataSize(4);
    EXPECT_THROW(small->AddChild(nullptr, &payload), EDataTreeError);
    EXPECT_EQ(small->TotalCount(), 0u);
    EXPECT_EQ(small->GetNodeData(nullptr), nullptr);
}

// ---- Positions -------------------------------------------------------------------------------

// The shown nodes and their tops, by walking everything from the top.
std::vector<std::pair<PDataNode, int>> ShownByWalking(TBaseDataTree* tree) {
    std::vector<std::pair<PDataNode, int>> out;
    int top = 0;
    std::function<void(PDataNode)> visit = [&](PDataNode parent) {
        for (PDataNode c = parent->FirstChild; c; c = c->NextSibling) {
            if (!(c->States & vsVisible)) continue;
            out.push_back({c, top});
            top += c->NodeHeight;
            if (c->States & vsExpanded) visit(c);
        }
    };
    visit(tree->RootNode());
    return out;
}

TEST_F(TreeTest, PositionsAgreeWithAWalkFromTheTopThroughRandomChanges) {
    auto* tree = BareTree();
    std::mt19937 rng(12345);
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    std::vector<PDataNode> nodes;
    auto collect = [&] {
        nodes.clear();
        for (PDataNode n = tree->RootNode()->FirstChild; n;) {
            nodes.push_back(n);
            if (n->FirstChild) n = n->FirstChild;
            else {
                while (n && n != tree->RootNode() && !n->NextSibling) n = n->Parent;
                n = (n && n != tree->RootNode()) ? n->NextSibling : nullptr;
            }
        }
    };
    tree->SetRootNodeCount(40);
    for (int step = 0; step < 600; ++step) {
        collect();
        PDataNode n = nodes.empty() ? nullptr : nodes[size_t(pick(int(nodes.size())))];
        switch (pick(8)) {
        case 0: tree->SetChildCount(n ? n : nullptr, unsigned(pick(6) + (n ? 0 : 20))); break;
        case 1:
            if (n) tree->SetExpanded(n, !tree->Expanded(n));
            break;
        case 2:
            if (n) tree->SetVisible(n, !tree->IsVisible(n));
            break;
        case 3:
            if (n) tree->SetNodeHeight(n, 5 + pick(30));
            break;
        case 4:
            if (n && nodes.size() > 30) tree->DeleteNode(n, pick(2) == 0);
            break;
        case 5:
            if (n) tree->AddChild(pick(2) ? n : nullptr);
            break;
        case 6: {
            tree->OnCompareNodes = [&](TBaseDataTree*, PDataNode a, PDataNode b, TColumnIndex, int& r) {
                r = int(a->NodeHeight) - int(b->NodeHeight);
            };
            tree->Sort(n && n->ChildCount ? n : nullptr, NoColumn, pick(2) ? sdAscending : sdDescending, false);
            break;
        }
        default:
            if (n) tree->FullCollapse(pick(2) ? n : nullptr);
            break;
        }
        const auto shown = ShownByWalking(tree);
        int total = 0;
        for (const auto& [node, top] : shown) total += node->NodeHeight;
        ASSERT_EQ(tree->RangeY(), total) << "step " << step;
        // Ask in a scattered order, so the cache is extended and cut in many places.
        for (int probe = 0; probe < 12 && !shown.empty(); ++probe) {
            const auto& [node, top] = shown[size_t(pick(int(shown.size())))];
            ASSERT_EQ(tree->GetDisplayRect(node, NoColumn, false).top, top) << "step " << step;
            int nodeTop = -1;
            ASSERT_EQ(tree->InternalGetNodeAt(0, top + node->NodeHeight - 1, false, nodeTop), node) << "step " << step;
            ASSERT_EQ(nodeTop, top);
        }
        int unused;
        ASSERT_EQ(tree->InternalGetNodeAt(0, total, false, unused), nullptr);
    }
}

TEST_F(TreeTest, AMillionTopLevelNodesFindTheirPlaceAtTheEnd) {
    auto* tree = BareTree();
    tree->SetDefaultNodeHeight(18);
    tree->SetRootNodeCount(1000000);
    EXPECT_EQ(tree->RangeY(), 18000000);
    int top = 0;
    PDataNode last = tree->InternalGetNodeAt(0, 18000000 - 1, false, top);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->Index, 999999u);
    EXPECT_EQ(top, 17999982);
    PDataNode middle = tree->InternalGetNodeAt(0, 9000000, false, top);
    EXPECT_EQ(middle->Index, 500000u);
    EXPECT_EQ(tree->GetDisplayRect(middle, NoColumn, false).top, 9000000);
    // A change near the top moves everything after it.
    tree->SetNodeHeight(tree->RootNode()->FirstChild, 30);
    EXPECT_EQ(tree->GetDisplayRect(middle, NoColumn, false).top, 9000012);
    tree->Clear();
    EXPECT_EQ(tree->TotalCount(), 0u);
}

// Room made ahead for a big folder's nodes: the blocks handed out after
// come from the chunks made then, zeroed, before any new chunk; the room
// goes with the last block.
TEST(NodePoolTest, RoomMadeAheadIsUsedBeforeANewChunk) {
    TNodePool pool(96);
    // 2,728 blocks of 96 bytes to a chunk of 256 KiB less 256 bytes.
    pool.Reserve(5000);
    EXPECT_EQ(pool.ReservedBytes(), 2u * (256 * 1024 - 256));
    std::vector<void*> blocks;
    for (int i = 0; i < 5000; ++i) blocks.push_back(pool.Allocate());
    EXPECT_EQ(pool.ReservedBytes(), 2u * (256 * 1024 - 256)) << "a chunk made beyond the room";
    const auto* bytes = static_cast<const unsigned char*>(blocks.back());
    EXPECT_TRUE(std::all_of(bytes, bytes + 96, [](unsigned char b) { return b == 0; }));
    // Room enough left in the chunk in use: nothing more is made.
    pool.Reserve(400);
    EXPECT_EQ(pool.ReservedBytes(), 2u * (256 * 1024 - 256));
    pool.Reserve(500);
    EXPECT_EQ(pool.ReservedBytes(), 3u * (256 * 1024 - 256));
    for (void* b : blocks) pool.Release(b);
    EXPECT_EQ(pool.ReservedBytes(), 0u) << "room made ahead outlived the last block";
}

} // namespace
} // namespace ax
