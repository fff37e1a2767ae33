// A big folder chosen in the tree is listed by the list in slices: messages
// are served in between, the list shows the folder it showed until the
// last slice, what reads the list in the middle gets what one piece gives,
// and Escape cancels the listing, leaving both controls as they were.
#include "sync_fixture.h"

using namespace ax;
using namespace ax::testing;

namespace {

constexpr int kFiles = 20;
constexpr int kSlice = 6;

class ListingSlices : public SyncTest {
protected:
    // files/big holds kFiles files and the folder deep/, files/c one file;
    // the list reads kSlice items a slice. The list shows files/c.
    void ShowBigFolder() {
        Make("big/");
        for (int i = 0; i < kFiles; ++i) Make(BigFile(i));
        MakeAll({"big/deep/", "c/", "c/c1.txt"});
        ShowSyncedPair();
        list->SetSliceSize(kSlice);
        list->OnListingProgress = [this](TExplorerListview* sender, int listed) {
            progress.push_back(std::to_string(listed) + (sender->ListingPending() ? "" : " end"));
        };
        Click(tree, TreeNode("c"));
        ASSERT_EQ(Shown(), files + "/c");
        progress.clear();
    }
    static std::string BigFile(int i) { return "big/f" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".txt"; }
    // The folder the list shows, read without completing a listing.
    std::string Shown() {
        TNamespace* ns = list->NodeNamespace(list->RootNode());
        return ns ? WideToUtf8(ns->NameForParsing()) : "-";
    }
    // The list's items by name, in order, with their selection.
    std::string ListShape() {
        std::string out;
        for (PDataNode n = list->GetFirst(); n; n = list->GetNextSibling(n))
            out += NameOf(list, n) + (list->Selected(n) ? "*" : "") + " ";
        return out;
    }
    // The tree's nodes by path, with expansion, selection and focus.
    std::string TreeShape() {
        std::string out;
        for (PDataNode n = tree->GetFirst(); n; n = tree->GetNext(n))
            out += PathOf(tree, n) + (tree->Expanded(n) ? "+" : "") + (tree->Selected(n) ? "*" : "") +
                   (tree->FocusedNode() == n ? "@" : "") + " ";
        return out;
    }
    // Clicks a node and serves messages one by one until a listing has
    // begun (with nothing more waiting, one piece did everything).
    void ChooseUntilListing(PDataNode node) {
        const POINT p = LabelPoint(tree, node);
        InjectClick(MouseButton::Left, p.x, p.y);
        MSG m;
        for (int i = 0; i < 1000 && !list->ListingPending() && PeekMessage(m, nullptr, 0, 0, PM_NOREMOVE); ++i)
            app->HandleMessage();
    }
    // Serves messages, time moving on for the slices' timers, until the
    // listing is over; the slices it took.
    int FinishListing() {
        const size_t before = progress.size();
        for (int i = 0; i < 100 && list->ListingPending(); ++i) {
            clock.Advance(20);
            app->ProcessMessages();
        }
        EXPECT_FALSE(list->ListingPending());
        return int(progress.size() - before);
    }
    // The big folder's items as one piece lists them.
    static std::string BigShape() {
        std::string out = "deep ";
        for (int i = 0; i < kFiles; ++i) out += BigFile(i).substr(4) + " ";
        return out;
    }

    std::vector<std::string> progress;
};

TEST_F(ListingSlices, MessagesAreServedBeforeTheListingEndsAndTheGaugeMoves) {
    ShowBigFolder();
    constexpr UINT kProbe = WM_APP + 0x78;
    int servedWhilePending = -1;
    const auto inner = tree->WindowProc;
    tree->WindowProc = [&, inner](TMessage& m) {
        if (m.Msg == kProbe) servedWhilePending = list->ListingPending();
        else inner(m);
    };
    ChooseUntilListing(TreeNode("big"));
    ASSERT_TRUE(list->ListingPending());
    EXPECT_EQ(Shown(), files + "/c") << "the folder shown stays until the last slice";
    EXPECT_EQ(ListShape(), "c1.txt ");
    PostMessage(tree->Handle(), kProbe, 0, 0);
    // 21 items, 6 a slice: 6 at the click, then 12, 18 and the rest.
    EXPECT_EQ(FinishListing(), 3);
    tree->WindowProc = inner;
    EXPECT_EQ(servedWhilePending, 1);
    EXPECT_EQ(progress, (std::vector<std::string>{"6", "12", "18", "21 end"}));
    EXPECT_EQ(Shown(), files + "/big");
    EXPECT_EQ(ListShape(), BigShape());
}

TEST_F(ListingSlices, AReaderInTheMiddleGetsWhatOnePieceGives) {
    ShowBigFolder();
    ChooseUntilListing(TreeNode("big"));
    ASSERT_TRUE(list->ListingPending());
    EXPECT_EQ(ListFolder(), files + "/big") << "reading the folder shown completes the listing";
    EXPECT_FALSE(list->ListingPending());
    EXPECT_EQ(ListShape(), BigShape());
    EXPECT_EQ(progress.back(), "21 end");
    // Reading the selection completes what the synchroniser has pending,
    // the listing too.
    ClickCheckBox(tree, TreeNode("c"));
    ChooseUntilListing(TreeNode("c"));
    ChooseUntilListing(TreeNode("big"));
    ASSERT_TRUE(list->ListingPending());
    EXPECT_EQ(Checked(), (std::vector<std::string>{"/c", "/c/c1.txt"}));
    EXPECT_FALSE(list->ListingPending());
    EXPECT_EQ(ListShape(), BigShape());
}

TEST_F(ListingSlices, EscapeLeavesBothAsTheyWereAndALaterChoiceListsWhole) {
    ShowBigFolder();
    const std::string treeBefore = TreeShape(), listBefore = ListShape();
    ASSERT_EQ(listBefore, "c1.txt ");
    ChooseUntilListing(TreeNode("big"));
    ASSERT_TRUE(list->ListingPending());
    ASSERT_EQ(TreeSelection(), files + "/big");
    InjectKeyStroke(VK_ESCAPE);
    app->ProcessMessages();
    EXPECT_FALSE(list->ListingPending());
    // Begun at the click (the button's release still waiting, so the next
    // slice waits on a timer), then cancelled; the tree going back starts
    // no listing.
    EXPECT_EQ(progress, (std::vector<std::string>{"6", "6 end"}));
    EXPECT_EQ(Shown(), files + "/c");
    EXPECT_EQ(ListShape(), listBefore);
    EXPECT_EQ(TreeShape(), treeBefore);
    // Nothing is left to be served, the clock moving on.
    clock.Advance(100);
    app->ProcessMessages();
    EXPECT_EQ(ListShape(), listBefore);
    // Chosen again, the folder is listed whole.
    ChooseUntilListing(TreeNode("big"));
    FinishListing();
    EXPECT_EQ(Shown(), files + "/big");
    EXPECT_EQ(ListShape(), BigShape());
}

TEST_F(ListingSlices, AnotherChoiceReplacesTheListingAndASmallFolderIsOnePiece) {
    ShowBigFolder();
    ChooseUntilListing(TreeNode("big"));
    ASSERT_TRUE(list->ListingPending());
    Click(tree, TreeNode("c"));
    EXPECT_FALSE(list->ListingPending());
    EXPECT_EQ(Shown(), files + "/c");
    EXPECT_EQ(ListShape(), "c1.txt ");
    clock.Advance(100);
    app->ProcessMessages();
    EXPECT_EQ(Shown(), files + "/c") << "the dropped listing shows nothing later";
}

TEST_F(ListingSlices, ItemsReadInSlicesAreShownInTheFoldersOrderEitherWay) {
    // Names whose order the folder decides: without case first (so "_"
    // before letters, a space before "."), then by bytes (upper case
    // first); digits as characters; a folder among the files.
    MakeAll({"mix/", "mix/b.txt", "mix/B.txt", "mix/a10", "mix/a9", "mix/a.txt", "mix/A.txt", "mix/zz",
             "mix/Zebra", "mix/m/", "mix/_under", "mix/a 1", "mix/c.TXT", "mix/c.txt"});
    ShowBigFolder();
    const std::string ascending = "_under a 1 A.txt a.txt a10 a9 B.txt b.txt c.TXT c.txt m Zebra zz ";
    const std::string descending = "zz Zebra m c.txt c.TXT b.txt B.txt a9 a10 a.txt A.txt a 1 _under ";
    ChooseUntilListing(TreeNode("mix"));
    ASSERT_TRUE(list->ListingPending()) << "13 items, 6 a slice";
    FinishListing();
    EXPECT_EQ(ListShape(), ascending);
    // The header's other direction.
    Click(tree, TreeNode("c"));
    list->Header().SetSortDirection(sdDescending);
    ChooseUntilListing(TreeNode("mix"));
    ASSERT_TRUE(list->ListingPending());
    FinishListing();
    EXPECT_EQ(ListShape(), descending);
    // Listed in one piece: the same.
    Click(tree, TreeNode("c"));
    list->SetSliceSize(1000);
    Click(tree, TreeNode("mix"));
    EXPECT_EQ(ListShape(), descending);
    Click(tree, TreeNode("c"));
    list->Header().SetSortDirection(sdAscending);
    Click(tree, TreeNode("mix"));
    EXPECT_EQ(ListShape(), ascending);
}

TEST_F(ListingSlices, EverySliceSizeMakesTheSameNodesAndEscapeGivesBackTheirRoom) {
    ShowBigFolder();
    // big checked in the tree, one of its files unchecked in the list.
    ClickCheckBox(tree, TreeNode("big"));
    ChooseUntilListing(TreeNode("big"));
    FinishListing();
    ClickCheckBox(list, ListItem("f03.txt"));
    ASSERT_EQ(ListState("f03.txt"), csUncheckedNormal);
    const std::string expected =
        "deep:2 f00.txt:2 f01.txt:2 f02.txt:2 f03.txt:0 f04.txt:2 f05.txt:2 f06.txt:2 f07.txt:2 f08.txt:2 "
        "f09.txt:2 f10.txt:2 f11.txt:2 f12.txt:2 f13.txt:2 f14.txt:2 f15.txt:2 f16.txt:2 f17.txt:2 f18.txt:2 "
        "f19.txt:2 ";
    const auto shape = [this] {
        std::string out;
        for (PDataNode n = list->GetFirst(); n; n = list->GetNextSibling(n))
            out += NameOf(list, n) + ":" + std::to_string(n->CheckState) + " ";
        return out;
    };
    ASSERT_EQ(shape(), expected);
    const std::vector<std::string> checked = Checked();
    // The memory of the folder's nodes made in one piece.
    Click(tree, TreeNode("c"));
    list->SetSliceSize(1000);
    Click(tree, TreeNode("big"));
    ASSERT_FALSE(list->ListingPending());
    EXPECT_EQ(shape(), expected);
    const size_t onePiece = list->NodeMemoryBytes();
    for (int size : {1, 2, 7, 1000}) {
        Click(tree, TreeNode("c"));
        list->SetSliceSize(size);
        ChooseUntilListing(TreeNode("big"));
        EXPECT_EQ(list->ListingPending(), size < 22) << size;
        // Reading the selection in the middle gives what it gave before.
        if (size == 7) {
            EXPECT_EQ(Checked(), checked);
        }
        FinishListing();
        EXPECT_EQ(shape(), expected) << size;
        EXPECT_EQ(list->NodeMemoryBytes(), onePiece) << "nothing reserved is left over; slice size " << size;
    }
    // Cancelled, the room taken for the folder's nodes goes back.
    Click(tree, TreeNode("c"));
    const size_t shown = list->NodeMemoryBytes();
    list->SetSliceSize(2);
    ChooseUntilListing(TreeNode("big"));
    ASSERT_TRUE(list->ListingPending());
    EXPECT_GT(list->NodeMemoryBytes(), shown) << "the nodes' room is taken as the items are read";
    InjectKeyStroke(VK_ESCAPE);
    app->ProcessMessages();
    ASSERT_FALSE(list->ListingPending());
    EXPECT_EQ(ListShape(), "c1.txt ");
    EXPECT_EQ(list->NodeMemoryBytes(), shown);
}

} // namespace

