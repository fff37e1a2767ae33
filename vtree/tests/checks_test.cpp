// Check states: the setter, its events, propagation down and up, mixed
// states, refusals, pressed states and direct writes of the record.
#include <map>

#include "fixture.h"

namespace ax {
namespace {

using test::TreeTest;

// a
// +- b
// |  +- d
// |  +- e
// +- c
// Every node a tri-state box, every node initialised.
class CheckTree : public TreeTest {
protected:
    void SetUp() override {
        TreeTest::SetUp();
        tree = BareTree();
        tree->OnInitNode = [](TBaseDataTree* t, PDataNode, PDataNode n, TDataNodeInitStates&) {
            t->SetCheckType(n, ctTriStateCheckBox);
        };
        a = tree->AddChild(nullptr);
        b = tree->AddChild(a);
        d = tree->AddChild(b);
        e = tree->AddChild(b);
        c = tree->AddChild(a);
        for (PDataNode n = tree->GetFirst(); n; n = tree->GetNext(n)) {
        }
        names = {{a, "a"}, {b, "b"}, {c, "c"}, {d, "d"}, {e, "e"}};
        tree->OnChecking = [this](TBaseDataTree*, PDataNode n, TCheckState& s, bool& allowed) {
            checking.push_back(names[n] + std::to_string(int(s)));
            allowed = n != refuse;
        };
        tree->OnChecked = [this](TBaseDataTree*, PDataNode n) { checked.push_back(names[n]); };
    }
    std::string States() {
        std::string s;
        for (PDataNode n : {a, b, c, d, e}) s += std::to_string(int(n->CheckState));
        return s; // a b c d e
    }
    TDataStringTree* tree = nullptr;
    PDataNode a, b, c, d, e;
    PDataNode refuse = nullptr;
    std::map<PDataNode, std::string> names;
    std::vector<std::string> checking, checked;
};

TEST_F(CheckTree, TheNumbersOfStatesAndTypes) {
    EXPECT_EQ(int(csUncheckedNormal), 0);
    EXPECT_EQ(int(csUncheckedPressed), 1);
    EXPECT_EQ(int(csCheckedNormal), 2);
    EXPECT_EQ(int(csCheckedPressed), 3);
    EXPECT_EQ(int(csMixedNormal), 4);
    EXPECT_EQ(int(csMixedPressed), 5);
    EXPECT_EQ(int(ctTriStateCheckBox), 1);
    EXPECT_EQ(int(ctCheckBox), 2);
    EXPECT_EQ(int(ctRadioButton), 3);
    EXPECT_EQ(int(ctButton), 4);
    EXPECT_EQ(int(toAutoTristateTracking), 1 << 6);
    EXPECT_EQ(int(toAutoHideButtons), 1 << 7);
    EXPECT_EQ(int(toCheckSupport), 1 << 1);
}

TEST_F(CheckTree, CheckingANodeChecksItsDescendantsAndReportsItselfLast) {
    tree->SetCheckState(a, csCheckedNormal);
    EXPECT_EQ(States(), "22222");
    EXPECT_EQ(checking, (std::vector<std::string>{"a2", "b2", "d2", "e2", "c2"}));
    EXPECT_EQ(checked, (std::vector<std::string>{"b", "d", "e", "c", "a"}));
    checking.clear();
    checked.clear();
    tree->SetCheckState(a, csCheckedNormal);
    EXPECT_TRUE(checking.empty() && checked.empty()) << "an equal state changes nothing";
}

TEST_F(CheckTree, ParentsFollowTheirChildrenBothWays) {
    tree->SetCheckState(a, csCheckedNormal);
    tree->SetCheckState(d, csUncheckedNormal);
    EXPECT_EQ(States(), "44202") << "b mixed by d and e, a mixed by b";
    tree->SetCheckState(e, csUncheckedNormal);
    EXPECT_EQ(States(), "40200") << "b unchecked; a mixed between b and c";
    tree->SetCheckState(c, csUncheckedNormal);
    EXPECT_EQ(States(), "00000");
    checked.clear();
    tree->SetCheckState(d, csCheckedNormal);
    EXPECT_EQ(States(), "44020");
    EXPECT_EQ(checked, (std::vector<std::string>{"b", "a", "d"}));
    tree->SetCheckState(e, csCheckedNormal);
    tree->SetCheckState(c, csCheckedNormal);
    EXPECT_EQ(States(), "22222") << "all children checked makes every ancestor checked";
}

TEST_F(CheckTree, AMixedChildMakesItsAncestorsMixedAndLeavesItsChildren) {
    tree->SetCheckState(a, csCheckedNormal);
    tree->SetCheckState(b, csMixedNormal);
    EXPECT_EQ(States(), "44222") << "setting mixed propagates nothing downwards";
}

TEST_F(CheckTree, ARefusedDescendantKeepsItsStateAndItsParentsBecomeMixed) {
    refuse = e;
    tree->SetCheckState(a, csCheckedNormal);
    EXPECT_EQ(States(), "44220");
    EXPECT_EQ(std::count(checked.begin(), checked.end(), "e"), 0);
    EXPECT_EQ(checked.back(), "a");
}

TEST_F(CheckTree, ARefusedChangeChangesNothing) {
    refuse = a;
    tree->SetCheckState(a, csCheckedNormal);
    EXPECT_EQ(States(), "00000");
    EXPECT_TRUE(checked.empty());
    EXPECT_EQ(checking, (std::vector<std::string>{"a2"}));
}

TEST_F(CheckTree, TheHandlerMayChooseAnotherState) {
    tree->OnChecking = [](TBaseDataTree*, PDataNode, TCheckState& s, bool&) { s = csMixedNormal; };
    tree->SetCheckState(d, csCheckedNormal);
    EXPECT_EQ(d->CheckState, csMixedNormal);
    EXPECT_EQ(States(), "44040");
}

TEST_F(CheckTree, WritingTheRecordDirectlyRaisesNothing) {
    d->CheckState = csCheckedNormal;
    c->CheckType = ctCheckBox;
    EXPECT_EQ(States(), "00020");
    EXPECT_TRUE(checking.empty());
    EXPECT_TRUE(checked.empty());
    // The setter sees the written state as the current one.
    tree->SetCheckState(d, csCheckedNormal);
    EXPECT_TRUE(checked.empty());
}

TEST_F(CheckTree, DisabledNodesAreLeftAloneWithTheirSubtrees) {
    tree->SetDisabled(b, true);
    tree->SetCheckState(b, csCheckedNormal);
    EXPECT_EQ(States(), "00000");
    tree->SetCheckState(a, csCheckedNormal);
    EXPECT_EQ(States(), "20200") << "b and its children stay; a keeps the state it was given";
    tree->SetCheckState(c, csUncheckedNormal);
    EXPECT_EQ(States(), "00000") << "a disabled child is no reason to stop";
}

TEST_F(CheckTree, OnlyInitialisedDescendantsWithCheckBoxesAreSet) {
    tree->Clear();
    names.clear();
    tree->SetRootNodeCount(1);
    PDataNode top = tree->GetFirst();
    tree->SetChildCount(top, 3);
    PDataNode first = tree->GetFirstChild(top);
    PDataNode plain = tree->GetNextSibling(first);
    tree->SetCheckType(plain, ctNone);
    tree->SetCheckState(top, csCheckedNormal);
    EXPECT_EQ(first->CheckState, csCheckedNormal);
    EXPECT_EQ(plain->CheckState, csUncheckedNormal);
    EXPECT_EQ(top->LastChild->CheckState, csUncheckedNormal);
    EXPECT_FALSE(top->LastChild->States & vsInitialized);
    tree->SetCheckState(first, csUncheckedNormal);
    EXPECT_EQ(top->CheckState, csUncheckedNormal) << "only the checkable children count";
}

TEST_F(CheckTree, WithoutTristateTrackingNothingPropagates) {
    tree->TreeOptions().SetAutoOptions(tree->TreeOptions().AutoOptions() & ~toAutoTristateTracking);
    tree->SetCheckState(a, csCheckedNormal);
    tree->SetCheckState(d, csCheckedNormal);
    EXPECT_EQ(States(), "20020");
}

TEST_F(CheckTree, PressedStatesAreNeverTheResultOfPropagation) {
    tree->SetCheckState(d, csCheckedPressed);
    EXPECT_EQ(States(), "00030") << "a pressed state is set alone";
    tree->SetCheckState(e, csCheckedNormal);
    EXPECT_EQ(States(), "42032") << "b counts d by its unpressed state";
}

TEST_F(CheckTree, TheCheckTypeSetterResetsTheStateQuietly) {
    tree->SetCheckState(d, csCheckedNormal);
    checked.clear();
    tree->SetCheckType(d, ctCheckBox);
    EXPECT_EQ(d->CheckType, ctCheckBox);
    EXPECT_EQ(d->CheckState, csUncheckedNormal);
    EXPECT_TRUE(checked.empty());
}

TEST_F(CheckTree, RadioButtonsOfOneParentExcludeEachOther) {
    tree->SetCheckType(d, ctRadioButton);
    tree->SetCheckType(e, ctRadioButton);
    tree->SetCheckState(d, csCheckedNormal);
    tree->SetCheckState(e, csCheckedNormal);
    EXPECT_EQ(d->CheckState, csUncheckedNormal);
    EXPECT_EQ(e->CheckState, csCheckedNormal);
    EXPECT_EQ(b->CheckState, csUncheckedNormal) << "radio buttons do not propagate";
}

TEST_F(CheckTree, TheRootIsNeverTheTarget) {
    tree->SetCheckState(tree->RootNode(), csCheckedNormal);
    EXPECT_EQ(tree->RootNode()->CheckState, csUncheckedNormal);
    tree->SetCheckState(a, csCheckedNormal);
    EXPECT_EQ(tree->RootNode()->CheckState, csUncheckedNormal);
}

} // namespace
} // namespace ax
