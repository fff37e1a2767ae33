// The explorer tree addressed by paths and PIDLs: walks that make the nodes
// on the way, browsing, the selection as paths and file names, InitAllNodes,
// new folders, top items by name and the change link.
#include "explorer_fixture.h"

#include "shell/WideStrings.h"

#include <stdexcept>

using namespace ax;
using namespace ax::testing;

namespace {

class ExplorerPaths : public ExplorerTest {
protected:
    void TearDown() override {
        SetExpChangeDispatch(nullptr);
        ExplorerTest::TearDown();
    }
    static void MultiSelect(TCustomExplorerTree* tree) {
        TExplorerTreeOptions& o = tree->TreeOptions();
        o.SetSelectionOptions(o.SelectionOptions() | toMultiSelect);
    }
    static std::vector<std::string> SelectedNames(TCustomExplorerTree* tree) {
        std::vector<std::string> out;
        for (PDataNode n = tree->GetFirstSelected(); n; n = tree->GetNextSelected(n)) out.push_back(NameOf(tree, n));
        return out;
    }
};

TEST_F(ExplorerPaths, WalksMakeTheNodesOnTheWayAndSelectOnlyWhenAsked) {
    MakeAll({"a/", "a/b/", "a/b/c.txt", "a/b2/", "x.txt"});
    TExplorerTree* tree = BareTree();
    PDataNode root = tree->GetFirst();
    PDataNode a = Child(tree, root, "a");
    EXPECT_EQ(a->ChildCount, 0u);

    const UniquePIDL c = Parse(files + "/a/b/c.txt");
    PDataNode found = tree->FindNodeByPIDL(c.get());
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(PathOf(tree, found), files + "/a/b/c.txt");
    EXPECT_FALSE(tree->Expanded(a)) << "made, not expanded";
    EXPECT_FALSE(tree->Expanded(found->Parent));
    EXPECT_EQ(tree->SelectedCount(), 0u);

    PDataNode b = tree->FindNodeByPath(W(files + "/a/b"), false);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b, found->Parent);
    EXPECT_FALSE(tree->Expanded(a));
    EXPECT_EQ(tree->SelectedCount(), 0u);

    EXPECT_EQ(tree->FindNodeByPath(W(files + "/a/b"), true), b);
    EXPECT_TRUE(tree->Expanded(a));
    EXPECT_TRUE(tree->Selected(b));
    EXPECT_EQ(tree->FocusedNode(), b);

    // The root folder itself, something outside it, and nothing at all.
    EXPECT_EQ(tree->FindNodeByPath(W(files), false), root);
    EXPECT_EQ(tree->FindNodeByPath(W(home), false), nullptr);
    EXPECT_EQ(tree->FindNodeByPath(W(files + "/missing"), false), nullptr);
    EXPECT_EQ(tree->FindNodeByPIDL(nullptr), nullptr);
}

TEST_F(ExplorerPaths, BrowsingExpandsSelectsAndCollapsesAsAsked) {
    MakeAll({"a/", "a/b/", "a/b/c.txt", "other/", "other/o.txt"});
    TExplorerTree* tree = ShownTree();
    PDataNode other = Child(tree, tree->GetFirst(), "other");
    tree->SetExpanded(other, true);

    EXPECT_TRUE(tree->BrowseToPath(W(files + "/a/b"), true, false, false, false));
    PDataNode b = tree->FindNodeByPIDL(Parse(files + "/a/b").get());
    EXPECT_TRUE(tree->Expanded(b)) << "the target expanded";
    EXPECT_TRUE(tree->Expanded(other)) << "nothing collapsed";
    EXPECT_EQ(tree->SelectedCount(), 0u);

    // The tree's own choices: collapse everything first, expand and select the target.
    EXPECT_TRUE(tree->BrowseTo(W(files + "/a/b/c.txt"), true));
    PDataNode c = Child(tree, b, "c.txt");
    EXPECT_FALSE(tree->Expanded(other));
    EXPECT_TRUE(tree->Expanded(b)) << "scrolled into view, its folders open again";
    EXPECT_EQ(SelectedNames(tree), (std::vector<std::string>{"c.txt"}));
    EXPECT_EQ(tree->FocusedNode(), c);
    EXPECT_TRUE(tree->Focused());

    // What does not resolve changes nothing.
    EXPECT_FALSE(tree->BrowseTo(W(files + "/a/missing"), true));
    EXPECT_FALSE(tree->BrowseToPath(W(home + "/Documents"), true, true, false, true));
    EXPECT_EQ(SelectedNames(tree), (std::vector<std::string>{"c.txt"}));
    EXPECT_TRUE(tree->Expanded(b));
}

TEST_F(ExplorerPaths, WithAHiddenRootTheRootIsFoundButNeverSelected) {
    MakeAll({"a/", "a/x.txt"});
    TExplorerTree* tree = BareTree(false);
    TExplorerTreeOptions& o = tree->TreeOptions();
    o.SetExpFolderOptions(o.ExpFolderOptions() | toHideRootFolder);
    tree->SetActive(true);
    EXPECT_EQ(tree->FindNodeByPath(W(files), false), tree->RootNode());
    EXPECT_TRUE(tree->BrowseToPath(W(files), true, false, false, true));
    EXPECT_EQ(tree->SelectedCount(), 0u);
    PDataNode x = tree->FindNodeByPath(W(files + "/a/x.txt"), true);
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(NameOf(tree, x->Parent), "a");
}

TEST_F(ExplorerPaths, AnItemItsFolderDoesNotListGetsNoNode) {
    MakeAll({"shown.txt", "secret.txt"});
    TExplorerTree* tree = BareTree(false);
    tree->OnEnumFolder = [](TCustomExplorerTree*, TNamespace* ns, bool& allow) {
        allow = WideToUtf8(ns->NameInFolder()) != "secret.txt";
    };
    tree->SetActive(true);
    tree->GetFirst();
    const uint64_t nodes = tree->TotalCount();
    EXPECT_EQ(tree->FindNodeByPath(W(files + "/secret.txt"), true), nullptr);
    EXPECT_FALSE(tree->BrowseTo(W(files + "/secret.txt"), false));
    EXPECT_EQ(tree->TotalCount(), nodes);
    EXPECT_EQ(Names(tree, tree->GetFirst()), (std::vector<std::string>{"shown.txt"}));
}

TEST_F(ExplorerPaths, AnExceptionOnTheWayLeavesTheCallersPIDLWhole) {
    MakeAll({"a/", "a/b/", "a/b/c.txt"});
    TExplorerTree* tree = BareTree();
    const UniquePIDL target = Parse(files + "/a/b/c.txt");
    const std::string before = PidlString(target.get());
    tree->OnEnumFolder = [](TCustomExplorerTree*, TNamespace* ns, bool&) {
        if (WideToUtf8(ns->NameInFolder()) == "b") throw std::runtime_error("handler failed");
    };
    EXPECT_THROW(tree->FindNodeByPIDL(target.get()), std::runtime_error);
    EXPECT_EQ(PidlString(target.get()), before);
    EXPECT_THROW(tree->BrowseToByPIDL(target.get(), true, true, false, true), std::runtime_error);
    EXPECT_EQ(PidlString(target.get()), before);
    // The tree goes on working.
    tree->OnEnumFolder = nullptr;
    tree->SetActive(false);
    tree->SetActive(true);
    EXPECT_NE(tree->FindNodeByPIDL(target.get()), nullptr);
    EXPECT_EQ(PidlString(target.get()), before);
}

TEST_F(ExplorerPaths, FoldersAtAnyDepthAreReached) {
    const std::string deepest = MakeDeepFolders(files, "d123456789", 400);
    ASSERT_GT(deepest.size(), 4096u) << "deeper than a path the kernel takes whole";
    TExplorerTree* tree = BareTree();
    PDataNode end = tree->FindNodeByPath(W(deepest), true);
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(PathOf(tree, end), deepest);
    EXPECT_EQ(tree->GetNodeLevel(end), 400u);
    EXPECT_EQ(Lines(tree->SelectedPaths()), (std::vector<std::string>{deepest}));
}

TEST_F(ExplorerPaths, TheSelectionAsPathsAndNames) {
    MakeAll({"a/", "b.txt", "c.txt"});
    TExplorerTree* tree = BareTree();
    MultiSelect(tree);
    PDataNode root = tree->GetFirst();
    tree->SetSelected(Child(tree, root, "c.txt"), true);
    tree->SetSelected(Child(tree, root, "a"), true);
    tree->SetSelected(root, true);
    // In tree order, whatever order they were selected in.
    EXPECT_EQ(WideToUtf8(tree->SelectedPath()), files);
    TStringList& paths = tree->SelectedPaths();
    EXPECT_EQ(Lines(paths), (std::vector<std::string>{files, files + "/a", files + "/c.txt"}));
    EXPECT_EQ(Lines(tree->SelectedFiles()), (std::vector<std::string>{"files", "a", "c.txt"}));
    tree->SetSelected(root, false);
    EXPECT_EQ(&tree->SelectedPaths(), &paths) << "the same list, refilled";
    EXPECT_EQ(Lines(paths), (std::vector<std::string>{files + "/a", files + "/c.txt"}));
    EXPECT_EQ(tree->SelectedToNamespaceArray().size(), 2u);
}

TEST_F(ExplorerPaths, VirtualItemsHaveNoPath) {
    Write(home + "/Desktop/d1.txt", "x");
    TExplorerTree* tree = BareTree();
    MultiSelect(tree);
    tree->SetRootFolder(rfDesktop);
    PDataNode desktop = tree->GetFirst();
    tree->SetSelected(Child(tree, desktop, "Computer"), true);
    tree->SetSelected(Child(tree, desktop, "Recycle Bin"), true);
    tree->SetSelected(Child(tree, desktop, "d1.txt"), true);
    EXPECT_EQ(WideToUtf8(tree->SelectedPath()), "") << "the first selected is no file-system item";
    EXPECT_EQ(Lines(tree->SelectedPaths()), (std::vector<std::string>{home + "/Desktop/d1.txt"}));
    EXPECT_EQ(Lines(tree->SelectedFiles()), (std::vector<std::string>{"d1.txt"}));
}

TEST_F(ExplorerPaths, InitAllNodesGivesStoredStatesToEveryExistingNode) {
    MakeAll({"a/", "a/x.txt", "a/y.txt", "b.txt"});
    TExplorerTree* tree = BareTree(false);
    TExplorerTreeOptions& o = tree->TreeOptions();
    o.SetMiscOptions(o.MiscOptions() & ~TMiscOptions(toCheckSupport));
    tree->SetActive(true);
    PDataNode a = Child(tree, tree->GetFirst(), "a");
    tree->SetExpanded(a, true);
    PDataNode x = a->FirstChild;
    ASSERT_NE(x, nullptr);
    EXPECT_FALSE(x->States & vsInitialized) << "not painted, not initialised";
    o.SetMiscOptions(o.MiscOptions() | toCheckSupport);
    TNodeStorage* record = tree->Storage().Store(Parse(files + "/a/y.txt").get(), skCheck);
    record->Storage.CheckState = csCheckedNormal;
    record->Storage.CheckType = ctTriStateCheckBox;
    tree->InitAllNodes();
    EXPECT_TRUE(x->States & vsInitialized);
    EXPECT_EQ(int(x->CheckState), int(csUncheckedNormal));
    EXPECT_EQ(int(x->NextSibling->CheckState), int(csCheckedNormal));
    EXPECT_EQ(int(a->CheckState), int(csMixedNormal));
}

TEST_F(ExplorerPaths, ANewFolderIsMadeListedAndEdited) {
    MakeAll({"a/", "a/old.txt"});
    TExplorerTree* tree = ShownTree();
    const UniquePIDL a = Parse(files + "/a");
    WideString name;
    EXPECT_THROW(tree->CreateNewFolder(a.get(), u"", name), EAssertionFailed);
    TExplorerTreeOptions& o = tree->TreeOptions();
    o.SetMiscOptions(o.MiscOptions() | toEditable);

    tree->CreateNewFolder(a.get(), u"", name);
    EXPECT_EQ(WideToUtf8(name), "New Folder");
    EXPECT_TRUE(WideDirectoryExists(W(files + "/a/New Folder")));
    PDataNode aNode = tree->FindNodeByPIDL(a.get());
    // The folder's other items are there too, and the new one once.
    EXPECT_EQ(Names(tree, aNode), (std::vector<std::string>{"New Folder", "old.txt"}));
    PDataNode made = tree->FocusedNode();
    EXPECT_EQ(NameOf(tree, made), "New Folder");
    EXPECT_TRUE(tree->Selected(made));
    EXPECT_TRUE(tree->IsEditing());
    tree->CancelEditNode();

    tree->CreateNewFolder(a.get(), u"", name);
    EXPECT_EQ(WideToUtf8(name), "New Folder (1)");
    EXPECT_EQ(Names(tree, aNode), (std::vector<std::string>{"New Folder", "old.txt", "New Folder (1)"}));
    tree->CancelEditNode();

    // A parent that is not a folder makes nothing.
    tree->CreateNewFolder(Parse(files + "/a/old.txt").get(), u"x", name);
    EXPECT_TRUE(name.empty());
}

TEST_F(ExplorerPaths, TopItemsByName) {
    std::unique_ptr<TNamespace> ns;
    TExplorerTree* tree = BareTree();
    ASSERT_TRUE(tree->FindDesktopItemByName(u"documents", ns));
    EXPECT_EQ(WideToUtf8(ns->NameForParsing()), home + "/Documents");
    ASSERT_TRUE(tree->FindDesktopItemByName(u"Desktop", ns));
    EXPECT_TRUE(ns->IsDesktop());
    EXPECT_FALSE(tree->FindDesktopItemByName(u"File System", ns));
    ASSERT_TRUE(tree->FindRootItemByName(u"File System", ns));
    EXPECT_EQ(WideToUtf8(ns->NameForParsing()), "/");
    EXPECT_FALSE(tree->FindRootItemByName(u"nothing of that name", ns));
    EXPECT_EQ(ns, nullptr);
}

// Forwards every announcement to the other tree, as a linked pair does.
class PairDispatch final : public IExpChangeDispatch {
public:
    TCustomExplorerTree* first = nullptr;
    TCustomExplorerTree* second = nullptr;
    std::vector<std::pair<TCustomExplorerTree*, std::string>> announced;
    void DispatchChange(TCustomExplorerTree* server, PCItemIDList pidl) override {
        announced.emplace_back(server, WideToUtf8(PIDLToPath(pidl)));
        TCustomExplorerTree* client = server == first ? second : first;
        if (client) client->ChangeLinkChangeEvent(server, pidl);
    }
};

TEST_F(ExplorerPaths, TheChangeLinkAnnouncesOncePerUpdateAndNeverBouncesBack) {
    MakeAll({"a/", "a/in.txt", "b/"});
    PairDispatch pair;
    TExplorerTree* left = BareTree();
    TExplorerTree* right = BareTree();
    pair.first = left;
    pair.second = right;
    SetExpChangeDispatch(&pair);

    PDataNode a = Child(left, left->GetFirst(), "a");
    left->BeginUpdate();
    left->SetSelected(a, true);
    left->SetFocusedNode(a);
    EXPECT_TRUE(pair.announced.empty()) << "held back inside the update";
    left->EndUpdate();
    // The left tree announced a; the right one followed, and its own
    // announcement reached the left tree, which was already there.
    ASSERT_FALSE(pair.announced.empty());
    EXPECT_EQ(pair.announced.front(), std::make_pair(static_cast<TCustomExplorerTree*>(left), files + "/a"));
    EXPECT_EQ(PathOf(right, right->GetFirstSelected()), files + "/a");
    EXPECT_EQ(PathOf(left, left->GetFirstSelected()), files + "/a");
    EXPECT_LE(pair.announced.size(), 3u);

    // Following a change to where the tree already is does nothing.
    pair.announced.clear();
    right->ChangeLinkChangeEvent(left, Parse(files + "/a").get());
    EXPECT_TRUE(pair.announced.empty());
}

} // namespace
