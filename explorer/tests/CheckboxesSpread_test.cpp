// A check spreading over a big folder in slices: what reads the selection
// in the middle of it (the selection, a save, the list showing the folder)
// gets what one piece gives, messages are served between the slices, and a
// second check made meanwhile takes effect after the first. A big folder
// shown in the list takes its items' states from the tree without going
// through each item.
#include "sync_fixture.h"

#include <algorithm>

using namespace ax;
using namespace ax::testing;

namespace {

constexpr int kFiles = 20;
constexpr int kSlice = 6;

class CheckSpread : public SyncTest {
protected:
    // files/big holds kFiles files and the folder deep/ (with one file),
    // files/c one file; the tree's slices go through kSlice children.
    void ShowBigFolder() {
        Make("big/");
        for (int i = 0; i < kFiles; ++i) Make(BigFile(i));
        MakeAll({"big/deep/", "big/deep/d.txt", "c/", "c/c1.txt"});
        ShowSyncedPair();
        sync->SetSliceSize(kSlice);
        sync->OnSpreadProgress = [this](TCheckboxesSynchronizer*, int done, int total) {
            progress.push_back(std::to_string(done) + "/" + std::to_string(total));
        };
    }
    static std::string BigFile(int i) { return "big/f" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".txt"; }
    // Clicks a check box and serves messages one by one until a spread has
    // begun (with nothing more waiting, one piece did everything).
    void ClickUntilSpreading(TCustomExplorerTree* control, PDataNode node) {
        const POINT p = CheckBoxPoint(control, node);
        InjectClick(MouseButton::Left, p.x, p.y);
        MSG m;
        for (int i = 0; i < 1000 && !sync->SpreadPending() && PeekMessage(m, nullptr, 0, 0, PM_NOREMOVE); ++i)
            app->HandleMessage();
    }
    // Serves messages, time moving on for the slices' timers, until one
    // slice is done.
    void ServeSlice() {
        const size_t before = progress.size();
        MSG m;
        for (int i = 0; i < 100 && progress.size() == before; ++i) {
            if (PeekMessage(m, nullptr, 0, 0, PM_NOREMOVE)) app->HandleMessage();
            else clock.Advance(20);
        }
    }
    // Serves messages, time moving on for the slices' timers, until the
    // spread is over; the slices it took.
    int FinishSpread() {
        const size_t before = progress.size();
        for (int i = 0; i < 100 && sync->SpreadPending(); ++i) {
            clock.Advance(20);
            app->ProcessMessages();
        }
        EXPECT_FALSE(sync->SpreadPending());
        return int(progress.size() - before);
    }
    // Every path of the big folder's, as Checked() lists them (deep's
    // file is never listed: its folder stands for it).
    static std::vector<std::string> BigChecked() {
        std::vector<std::string> out{"/big", "/big/deep"};
        for (int i = 0; i < kFiles; ++i) out.push_back("/" + BigFile(i));
        return out;
    }

    std::vector<std::string> progress;
};

TEST_F(CheckSpread, AReaderInTheMiddleGetsWhatOnePieceGives) {
    ShowBigFolder();
    ASSERT_EQ(TreeNode("big")->ChildCount, 0u) << "not listed before the check";
    ClickUntilSpreading(tree, TreeNode("big"));
    ASSERT_TRUE(sync->SpreadPending());
    ServeSlice();
    ASSERT_TRUE(sync->SpreadPending()) << "one slice done, more to go";
    // Items read (of a size not known yet): 6 at the click, 6 in the slice.
    EXPECT_EQ(progress, (std::vector<std::string>{"6/0", "12/0"}));
    EXPECT_EQ(TreeNode("big")->ChildCount, 0u) << "made once the folder is read";
    EXPECT_EQ(TreeState("big"), csCheckedNormal);
    EXPECT_EQ(TreeState(""), csMixedNormal) << "parents are set at once";

    // The selection completes the spread first.
    EXPECT_EQ(Checked(), BigChecked());
    EXPECT_FALSE(sync->SpreadPending());
    EXPECT_EQ(progress.back(), "21/21");
    const std::string sliced = StorageBytes(tree);

    // The same check in one piece stores the same records.
    sync->SetSliceSize(1000);
    ClickCheckBox(tree, TreeNode("big"));
    EXPECT_TRUE(Checked().empty());
    ClickCheckBox(tree, TreeNode("big"));
    EXPECT_FALSE(sync->SpreadPending());
    EXPECT_EQ(StorageBytes(tree), sliced);
    EXPECT_EQ(TreeStored("big/f07.txt"), csCheckedNormal);
}

TEST_F(CheckSpread, TheStreamedSelectionInTheMiddleIsWhole) {
    ShowBigFolder();
    ClickUntilSpreading(tree, TreeNode("big"));
    ServeSlice();
    ASSERT_TRUE(sync->SpreadPending());
    std::vector<std::string> streamed;
    tree->Storage().ForEachCheckedFileName(
        [&](std::string&& name) { streamed.push_back(name.substr(files.size())); });
    EXPECT_FALSE(sync->SpreadPending());
    EXPECT_EQ(streamed, BigChecked());
}

TEST_F(CheckSpread, ASaveAndTheListShowingTheFolderCompleteTheSpread) {
    ShowBigFolder();
    ClickUntilSpreading(tree, TreeNode("big"));
    ASSERT_TRUE(sync->SpreadPending());
    // A save in the middle writes every record.
    TMemoryStream saved;
    tree->Storage().SaveToStream(saved, 3, false);
    EXPECT_FALSE(sync->SpreadPending());
    EXPECT_EQ(TreeStored("big/f19.txt"), csCheckedNormal);
    EXPECT_EQ(TreeStored("big/deep"), csCheckedNormal);

    // Unchecked in slices over the children now made; the list opening
    // the folder meanwhile shows every item unchecked.
    ClickUntilSpreading(tree, TreeNode("big"));
    ASSERT_TRUE(sync->SpreadPending());
    ListShows("big");
    EXPECT_FALSE(sync->SpreadPending());
    for (const char* name : {"f00.txt", "f19.txt", "deep"}) EXPECT_EQ(ListState(name), csUncheckedNormal) << name;
    EXPECT_EQ(TreeStored("big/f19.txt"), -1);
    EXPECT_TRUE(Checked().empty());
}

TEST_F(CheckSpread, MessagesAreServedBetweenSlicesAndTheGaugeMoves) {
    ShowBigFolder();
    // A message posted once the spread has begun, and whether the spread
    // was still under way when it was served.
    constexpr UINT kProbe = WM_APP + 0x77;
    int servedWhilePending = -1;
    const auto inner = tree->WindowProc;
    tree->WindowProc = [&, inner](TMessage& m) {
        if (m.Msg == kProbe) servedWhilePending = sync->SpreadPending();
        else inner(m);
    };
    ClickUntilSpreading(tree, TreeNode("big"));
    ASSERT_TRUE(sync->SpreadPending());
    PostMessage(tree->Handle(), kProbe, 0, 0);
    // 21 children, 6 a slice: read in 3 more slices (the last makes the
    // nodes), then gone through in 4.
    EXPECT_EQ(FinishSpread(), 7);
    EXPECT_EQ(servedWhilePending, 1);
    EXPECT_EQ(progress,
              (std::vector<std::string>{"6/0", "12/0", "18/0", "0/21", "6/21", "12/21", "18/21", "21/21"}));
    tree->WindowProc = inner;
    EXPECT_EQ(Checked(), BigChecked());
}

TEST_F(CheckSpread, ASecondClickDuringTheSpreadFollowsIt) {
    ShowBigFolder();
    ClickUntilSpreading(tree, TreeNode("big"));
    ASSERT_TRUE(sync->SpreadPending());
    // Another folder checked in the tree: applied after the first check
    // completes.
    ClickCheckBox(tree, TreeNode("c"));
    EXPECT_FALSE(sync->SpreadPending()) << "the first check completed first";
    EXPECT_EQ(TreeState("c"), csCheckedNormal);
    // Everything is checked now: the root folder is listed first.
    std::vector<std::string> both = BigChecked();
    both.insert(both.begin(), "");
    both.insert(both.end(), {"/c", "/c/c1.txt"});
    EXPECT_EQ(Checked(), both);
    EXPECT_EQ(TreeState(""), csCheckedNormal) << "big and c are all it holds";

    // The folder clicked again while its unchecking spreads (over the
    // children made now): unchecked, then checked again, in that order.
    ClickUntilSpreading(tree, TreeNode("big"));
    ASSERT_TRUE(sync->SpreadPending());
    EXPECT_EQ(TreeState(""), csMixedNormal);
    ClickCheckBox(tree, TreeNode("big"));
    FinishSpread();
    EXPECT_EQ(Checked(), both);
    EXPECT_EQ(TreeState(""), csCheckedNormal);
    EXPECT_EQ(TreeState("big/f19.txt"), csCheckedNormal);
}

TEST_F(CheckSpread, TheNodesMadeFromSlicesAreInTheFoldersOrder) {
    ShowBigFolder();
    ClickUntilSpreading(tree, TreeNode("big"));
    FinishSpread();
    std::string names;
    for (PDataNode n = TreeNode("big")->FirstChild; n; n = n->NextSibling) names += NameOf(tree, n) + " ";
    std::string expected = "deep ";
    for (int i = 0; i < kFiles; ++i) expected += BigFile(i).substr(4) + " ";
    EXPECT_EQ(names, expected);
}

TEST_F(CheckSpread, TheTreeMadeAnewMeanwhileKeepsTheSpreadGoing) {
    ShowBigFolder();
    ClickUntilSpreading(tree, TreeNode("big"));
    ASSERT_TRUE(sync->SpreadPending());
    // Every node made again: the folder is found again by its item and
    // read from the start.
    tree->RefreshTree();
    ASSERT_TRUE(sync->SpreadPending());
    FinishSpread();
    for (const char* below : {"big/f00.txt", "big/f19.txt", "big/deep"}) {
        EXPECT_EQ(TreeStored(below), csCheckedNormal) << below;
        EXPECT_EQ(TreeState(below), csCheckedNormal) << below;
    }
    EXPECT_EQ(Checked(), BigChecked());
}

// ---- The list taking a big folder's states from the tree ---------------------------------

class ListTakesStates : public CheckSpread {
protected:
    // The big folder checked whole in the tree while the list shows files/.
    void CheckBigFolder() {
        ShowBigFolder();
        ClickCheckBox(tree, TreeNode("big"));
        FinishSpread();
        ASSERT_EQ(Checked(), BigChecked());
    }
};

TEST_F(ListTakesStates, ItemsInitialisedLaterShowTheFoldersState) {
    CheckBigFolder();
    ListShows("big");
    PDataNode last = list->RootNode()->LastChild;
    ASSERT_TRUE(last);
    EXPECT_FALSE(last->States & vsInitialized) << "set without being gone through";
    for (const char* name : {"f00.txt", "f19.txt", "deep"}) EXPECT_EQ(ListState(name), csCheckedNormal) << name;
    // A click on the last item unchecks it, in the list and in the tree.
    ClickCheckBox(list, ListItem("f19.txt"));
    EXPECT_EQ(ListState("f19.txt"), csUncheckedNormal);
    EXPECT_EQ(TreeStored("big/f19.txt"), -1);
    EXPECT_EQ(TreeState("big"), csMixedNormal);
    std::vector<std::string> expected = BigChecked();
    expected.erase(std::find(expected.begin(), expected.end(), "/big"));
    expected.pop_back();
    EXPECT_EQ(Checked(), expected);
}

TEST_F(ListTakesStates, ARecordLeftFromAnEarlierCheckSaysTheFoldersState) {
    Make("big/");
    MakeAll({"big/deep/", "big/deep/e.txt"});
    ShowBigFolder();
    // deep mixed: the list shows it so and keeps that record.
    ListShows("big/deep");
    ClickCheckBox(list, ListItem("d.txt"));
    ListShows("big");
    ASSERT_EQ(ListState("deep"), csMixedNormal);
    ListShows("c");
    // The whole folder checked in the tree while the list shows c.
    ClickCheckBox(tree, TreeNode("big"));
    FinishSpread();
    ListShows("big");
    for (const char* name : {"deep", "f00.txt", "f19.txt"}) EXPECT_EQ(ListState(name), csCheckedNormal) << name;
    // Shown anew, the items read their records again.
    ListShows("c");
    ListShows("big");
    EXPECT_EQ(ListState("deep"), csCheckedNormal);
    // deep's items have nodes in the tree now: each is listed.
    std::vector<std::string> expected = BigChecked();
    expected.insert(expected.begin() + 2, {"/big/deep/d.txt", "/big/deep/e.txt"});
    EXPECT_EQ(Checked(), expected);
}

// The folder's last items took the slice's time to read (the clock moving
// 5 ms an item): the children are made in a slice of their own, and the
// check ends as it does otherwise.
TEST_F(CheckSpread, ASliceThatReadForLongLeavesMakingTheChildrenToTheNext) {
    ShowBigFolder();
    const auto inner = tree->OnEnumFolder;
    tree->OnEnumFolder = [this, inner](TCustomExplorerTree* sender, TNamespace* ns, bool& allow) {
        inner(sender, ns, allow);
        clock.Advance(5);
    };
    ClickUntilSpreading(tree, TreeNode("big"));
    ASSERT_TRUE(sync->SpreadPending());
    // 21 items, 6 a slice: read in 3 more slices, the last reading 3 (15
    // ms); the children made in the next, then gone through in 4.
    EXPECT_EQ(FinishSpread(), 8);
    EXPECT_EQ(progress, (std::vector<std::string>{"6/0", "12/0", "18/0", "18/0", "0/21", "6/21", "12/21", "18/21",
                                                  "21/21"}));
    EXPECT_EQ(Checked(), BigChecked());
}

TEST_F(ListTakesStates, AMixedFolderTakesEachItemsState) {
    ShowBigFolder();
    ListShows("big");
    ClickCheckBox(list, ListItem("f03.txt"));
    ClickCheckBox(list, ListItem("f17.txt"));
    ListShows("c");
    ListShows("big");
    for (const char* name : {"f03.txt", "f17.txt"}) EXPECT_EQ(ListState(name), csCheckedNormal) << name;
    for (const char* name : {"f00.txt", "f19.txt", "deep"}) EXPECT_EQ(ListState(name), csUncheckedNormal) << name;
    EXPECT_EQ(Checked(), (std::vector<std::string>{"/big/f03.txt", "/big/f17.txt"}));
}

} // namespace
