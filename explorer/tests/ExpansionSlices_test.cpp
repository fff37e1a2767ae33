// A folder of many subfolders expanded by the user in the tree is read and
// its children made and initialised in slices: the result equals one
// piece's at every slice size, input is served between the slices, a
// reader of the selection completes it first, and Escape takes it back,
// leaving the tree and its storage as they were.
#include "sync_fixture.h"

using namespace ax;
using namespace ax::testing;

namespace {

constexpr int kFolders = 12;

class ExpansionSlices : public SyncTest {
protected:
    // files/many holds kFolders folders (s03 one file, s05 a folder),
    // files/c one file. The tree's root is expanded, many chosen.
    void ShowManyFolders(int slice) {
        Make("many/");
        for (int i = 0; i < kFolders; ++i) Make(Sub(i) + "/");
        MakeAll({"many/s03/x.txt", "many/s05/deep/", "c/", "c/c1.txt"});
        ShowSyncedPair();
        tree->SetExpandSliceSize(slice);
        tree->OnExpansionProgress = [this](TExplorerTreeview* sender, int done, int total) {
            progress.push_back(std::to_string(done) + "/" + std::to_string(total) +
                               (sender->ExpansionPending() ? "" : " end"));
        };
        Click(tree, TreeNode("many"));
        ASSERT_EQ(TreeSelection(), files + "/many");
    }
    static std::string Sub(int i) { return "many/s" + std::string(i < 10 ? "0" : "") + std::to_string(i); }
    // Presses the key that opens the chosen folder and serves messages one
    // by one until an expansion has begun (with nothing more waiting, one
    // piece did everything).
    void ExpandUntilPending() {
        tree->SetFocus();
        app->ProcessMessages();
        progress.clear();
        InjectKeyStroke(VK_ADD);
        MSG m;
        for (int i = 0; i < 1000 && !tree->ExpansionPending() && PeekMessage(m, nullptr, 0, 0, PM_NOREMOVE); ++i)
            app->HandleMessage();
    }
    // Serves messages, time moving on for the slices' timers, until the
    // expansion is over.
    void FinishExpansion() {
        for (int i = 0; i < 1000 && tree->ExpansionPending(); ++i) {
            clock.Advance(20);
            app->ProcessMessages();
        }
        EXPECT_FALSE(tree->ExpansionPending());
        app->ProcessMessages();
    }
    // Every node made in the tree by path (walked without making any),
    // with its check state, expansion, selection and focus.
    std::string TreeShape() {
        std::string out;
        int count = 0;
        for (PDataNode n = tree->RootNode()->FirstChild; n; ++count) {
            out += PathOf(tree, n).substr(files.size()) + ":" + std::to_string(n->CheckState) +
                   (tree->Expanded(n) ? "+" : "") + (tree->Selected(n) ? "*" : "") +
                   (tree->FocusedNode() == n ? "@" : "") + " ";
            if (n->FirstChild) {
                n = n->FirstChild;
                continue;
            }
            while (n && !n->NextSibling) n = n->Parent == tree->RootNode() ? nullptr : n->Parent;
            if (n) n = n->NextSibling;
        }
        return out + "(" + std::to_string(count) + ")";
    }
    // The shape after many is opened: its folders in order; checked (state
    // 0 is unchecked, 2 checked) when files is.
    std::string OpenedShape(int state) {
        const std::string s = std::to_string(state);
        std::string out = ":" + s + "+ /c:" + s + " /many:" + s + "+*@ ";
        for (int i = 0; i < kFolders; ++i) out += "/" + Sub(i) + ":" + s + " ";
        return out + "(" + std::to_string(3 + kFolders) + ")";
    }

    std::vector<std::string> progress;
};

// Slice sizes of 1, 2 and 7 items, and one larger than the folder.
class ExpansionAtSliceSizes : public ExpansionSlices, public ::testing::WithParamInterface<int> {};

TEST_P(ExpansionAtSliceSizes, GivesWhatOnePieceGives) {
    ShowManyFolders(GetParam());
    ExpandUntilPending();
    EXPECT_EQ(tree->ExpansionPending(), GetParam() < kFolders);
    FinishExpansion();
    EXPECT_EQ(TreeShape(), OpenedShape(csUncheckedNormal));
    EXPECT_EQ(tree->Storage().CheckedFileNames().Count(), 0);
    // Collapsed and opened again: the children made stay.
    tree->SetExpanded(TreeNode("many"), false);
    tree->SetExpanded(TreeNode("many"), true);
    EXPECT_EQ(TreeShape(), OpenedShape(csUncheckedNormal));
}

TEST_P(ExpansionAtSliceSizes, BelowACheckedFolderTheChildrenAreCheckedAndStored) {
    ShowManyFolders(GetParam());
    ClickCheckBox(tree, tree->GetFirst());
    ExpandUntilPending();
    FinishExpansion();
    EXPECT_EQ(TreeShape(), OpenedShape(csCheckedNormal));
    std::vector<std::string> checked{"", "/c", "/many"};
    for (int i = 0; i < kFolders; ++i) checked.push_back("/" + Sub(i));
    EXPECT_EQ(Checked(), checked);
    for (int i = 0; i < kFolders; ++i) EXPECT_EQ(TreeStored(Sub(i)), csCheckedNormal) << Sub(i);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ExpansionAtSliceSizes, ::testing::Values(1, 2, 7, 100));

TEST_F(ExpansionSlices, MessagesAreServedBetweenSlicesAndTheGaugeMoves) {
    ShowManyFolders(5);
    ExpandUntilPending();
    ASSERT_TRUE(tree->ExpansionPending());
    EXPECT_FALSE(tree->Expanded(TreeNode("many"))) << "the folder opens at the last slice";
    // A click on another folder is served before the next slice.
    const POINT p = LabelPoint(tree, TreeNode("c"));
    InjectClick(MouseButton::Left, p.x, p.y);
    app->ProcessMessages();
    EXPECT_TRUE(tree->ExpansionPending());
    EXPECT_EQ(TreeSelection(), files + "/c");
    FinishExpansion();
    EXPECT_TRUE(tree->Expanded(TreeNode("many")));
    EXPECT_EQ(TreeNode("many")->ChildCount, unsigned(kFolders));
    // Read 5 a slice: 5, 10, then the end (12), the children made and 5 of
    // them initialised in that slice, then 5 a slice.
    EXPECT_EQ(progress, (std::vector<std::string>{"5/0", "10/0", "5/12", "10/12", "12/12 end"}));
}

TEST_F(ExpansionSlices, AReaderOfTheSelectionCompletesItFirst) {
    ShowManyFolders(3);
    ClickCheckBox(tree, tree->GetFirst());
    ExpandUntilPending();
    ASSERT_TRUE(tree->ExpansionPending());
    // A save reads the storage the same way CheckedFileNames does.
    const std::vector<std::string> checked = Checked();
    EXPECT_FALSE(tree->ExpansionPending());
    EXPECT_EQ(TreeShape(), OpenedShape(csCheckedNormal));
    EXPECT_EQ(checked.size(), size_t(3 + kFolders));
}

TEST_F(ExpansionSlices, ASaveInTheMiddleCompletesItFirst) {
    ShowManyFolders(3);
    ClickCheckBox(tree, tree->GetFirst());
    ExpandUntilPending();
    ASSERT_TRUE(tree->ExpansionPending());
    const std::string saved = StorageBytes(tree);
    EXPECT_FALSE(tree->ExpansionPending());
    EXPECT_EQ(TreeShape(), OpenedShape(csCheckedNormal));
    for (int i = 0; i < kFolders; ++i) EXPECT_EQ(TreeStored(Sub(i)), csCheckedNormal) << Sub(i);
    // Nothing was left to change what was saved.
    clock.Advance(100);
    app->ProcessMessages();
    EXPECT_EQ(StorageBytes(tree), saved);
}

// The list showing a folder below the one opening takes its states from
// nodes initialised whole.
TEST_F(ExpansionSlices, TheListShowingAFolderBelowCompletesIt) {
    ShowManyFolders(3);
    ClickCheckBox(tree, tree->GetFirst());
    ExpandUntilPending();
    ASSERT_TRUE(tree->ExpansionPending());
    ListShows("many/s03");
    EXPECT_FALSE(tree->ExpansionPending());
    EXPECT_TRUE(tree->Expanded(TreeNode("many")));
    EXPECT_EQ(TreeNode("many")->ChildCount, unsigned(kFolders));
    for (int i = 0; i < kFolders; ++i) EXPECT_EQ(TreeState(Sub(i)), csCheckedNormal) << Sub(i);
    EXPECT_EQ(ListState("x.txt"), csCheckedNormal);
}

TEST_F(ExpansionSlices, ACheckGivenMeanwhileFollowsTheExpansion) {
    ShowManyFolders(3);
    ExpandUntilPending();
    ASSERT_TRUE(tree->ExpansionPending());
    ClickCheckBox(tree, TreeNode("many"));
    EXPECT_FALSE(tree->ExpansionPending());
    EXPECT_TRUE(tree->Expanded(TreeNode("many")));
    EXPECT_EQ(TreeState(Sub(4)), csCheckedNormal);
    EXPECT_EQ(TreeStored(Sub(4)), csCheckedNormal);
    EXPECT_EQ(TreeState("c"), csUncheckedNormal);
}

// Cancelled while the folder is read, and while its children, made below
// a checked folder, are initialised (each storing a record).
class EscapeAfterSlices : public ExpansionSlices, public ::testing::WithParamInterface<int> {};

TEST_P(EscapeAfterSlices, LeavesTheTreeAndItsStorageAsTheyWere) {
    ShowManyFolders(2);
    ClickCheckBox(tree, tree->GetFirst());
    const std::string shape = TreeShape(), bytes = StorageBytes(tree);
    ExpandUntilPending();
    ASSERT_TRUE(tree->ExpansionPending());
    // Served one at a time, time moving on: the slices' own messages.
    for (int i = 0; i < GetParam(); ++i) {
        clock.Advance(20);
        MSG m;
        if (PeekMessage(m, nullptr, 0, 0, PM_NOREMOVE)) app->HandleMessage();
    }
    ASSERT_TRUE(tree->ExpansionPending());
    if (GetParam() > 6) {
        ASSERT_GT(TreeNode("many")->ChildCount, 0u) << "the children are made by then";
    }
    InjectKeyStroke(VK_ESCAPE);
    app->ProcessMessages();
    EXPECT_FALSE(tree->ExpansionPending());
    EXPECT_EQ(TreeShape(), shape);
    EXPECT_EQ(TreeNode("many")->ChildCount, 0u);
    EXPECT_TRUE(tree->HasChildren(TreeNode("many"))) << "the button stays";
    EXPECT_EQ(StorageBytes(tree), bytes);
    EXPECT_EQ(progress.back(), "0/0 end");
    // Nothing is left to be served; opened again, it opens whole.
    clock.Advance(100);
    app->ProcessMessages();
    EXPECT_EQ(TreeShape(), shape);
    ExpandUntilPending();
    FinishExpansion();
    EXPECT_EQ(TreeShape(), OpenedShape(csCheckedNormal));
}

INSTANTIATE_TEST_SUITE_P(Slices, EscapeAfterSlices, ::testing::Values(0, 2, 9));

} // namespace
