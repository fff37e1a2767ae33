// The check-box synchroniser: linking and handing the events back, checks
// made in the tree, in the list and in folders never expanded, parents
// mixed and restored, pressed states, the storage whichever control was
// used, hidden files and folders named like archives, and the work of one
// click against the size of the other control.
#include "sync_fixture.h"

using namespace ax;
using namespace ax::testing;

namespace {

class Synchronizer : public SyncTest {};

TEST_F(Synchronizer, LinkingTakesOverTheControlsAndPassesEventsOn) {
    MakeAll({"a/", "a/a1.txt"});
    ShowPair();
    std::vector<std::string> seen;
    tree->OnChecked = [&](TBaseDataTree*, PDataNode n) {
        seen.push_back("tree " + NameOf(tree, n) + " " + std::to_string(n->CheckState) + " parent " +
                       std::to_string(n->Parent->CheckState));
    };
    list->OnRootChange = [&](TCustomExplorerTree*) { seen.push_back("list root"); };
    Synchronize();
    for (TCustomExplorerTree* c : {static_cast<TCustomExplorerTree*>(tree), static_cast<TCustomExplorerTree*>(list)}) {
        EXPECT_EQ(c->FileObjects(), foFolders | foNonFolders | foHidden);
        EXPECT_FALSE(c->TreeOptions().AutoOptions() & toAutoTristateTracking);
        EXPECT_TRUE(c->TreeOptions().AutoOptions() & toAutoHideButtons);
        EXPECT_TRUE(c->TreeOptions().MiscOptions() & toCheckSupport);
        EXPECT_TRUE(c->Active()) << "built again under the new handlers";
    }
    // Nodes made under the synchroniser's handlers have tri-state boxes.
    EXPECT_EQ(TreeNode("a")->CheckType, ctTriStateCheckBox);
    EXPECT_EQ(ListItem("a")->CheckType, ctTriStateCheckBox);

    seen.clear();
    ClickCheckBox(tree, TreeNode("a"));
    // The replaced handler runs after the synchroniser's work, and sees it.
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), "tree a 2 parent 2");

    seen.clear();
    ListShows("a");
    EXPECT_EQ(seen, (std::vector<std::string>{"list root"}));

    // Without the automatic setup the controls get their handlers back.
    sync->SetAutoSetupEvents(false);
    seen.clear();
    tree->SetCheckState(TreeNode("a"), csUncheckedNormal);
    EXPECT_EQ(seen, (std::vector<std::string>{"tree a 0 parent 2"})) << "nothing propagated";
    sync->SetAutoSetupEvents(true);
}

TEST_F(Synchronizer, SettingNoTreeOnlyUnlinksIt) {
    MakeAll({"a/"});
    ShowSyncedPair();
    sync->SetExplorerTreeview(nullptr);
    EXPECT_EQ(sync->ExplorerTreeview(), nullptr);
    EXPECT_EQ(sync->ExplorerListview(), list);
    // The tree's own events are back: a check there propagates nothing.
    tree->SetCheckState(TreeNode("a"), csCheckedNormal);
    EXPECT_EQ(ListState("a"), csUncheckedNormal);
}

TEST_F(Synchronizer, CheckingAFolderInTheTree) {
    MakeAll({"a/", "a/a1.txt", "a/a2.txt", "a/sub/", "a/sub/s1.txt", "c/", "top.txt"});
    ShowSyncedPair();
    tree->SetExpanded(TreeNode("a"), true);
    tree->SetExpanded(TreeNode("a/sub"), true);
    ClickCheckBox(tree, TreeNode("a"));

    EXPECT_EQ(TreeState("a"), csCheckedNormal);
    for (const char* below : {"a/a1.txt", "a/a2.txt", "a/sub", "a/sub/s1.txt"}) {
        EXPECT_EQ(TreeState(below), csCheckedNormal) << below;
        EXPECT_EQ(TreeStored(below), csCheckedNormal) << below;
        EXPECT_EQ(TreeNode(below)->CheckType, ctTriStateCheckBox) << below;
    }
    EXPECT_EQ(TreeState(""), csMixedNormal) << "c and top.txt are not checked";
    EXPECT_EQ(TreeStored(""), csMixedNormal);
    EXPECT_EQ(TreeState("c"), csUncheckedNormal);
    // The list shows the root folder: its item a is checked too.
    EXPECT_EQ(ListState("a"), csCheckedNormal);
    EXPECT_EQ(ListState("c"), csUncheckedNormal);

    // Opening a in the list shows every item checked.
    DoubleClick(list, ListItem("a"));
    ASSERT_EQ(ListFolder(), files + "/a");
    for (const char* name : {"a1.txt", "a2.txt", "sub"}) EXPECT_EQ(ListState(name), csCheckedNormal) << name;

    // A click on the mixed root checks everything; a second one clears
    // everything, records included.
    ClickCheckBox(tree, TreeNode(""));
    EXPECT_EQ(TreeState("c"), csCheckedNormal);
    EXPECT_EQ(ListState("a1.txt"), csCheckedNormal);
    ClickCheckBox(tree, TreeNode(""));
    EXPECT_EQ(TreeState("a/sub/s1.txt"), csUncheckedNormal);
    EXPECT_EQ(TreeStored("a"), -1);
    EXPECT_EQ(TreeStored(""), -1);
    for (const char* name : {"a1.txt", "a2.txt", "sub"}) EXPECT_EQ(ListState(name), csUncheckedNormal) << name;
    EXPECT_TRUE(Checked().empty());
}

TEST_F(Synchronizer, CheckingFilesInTheListMakesTheirFoldersMixedThenChecked) {
    MakeAll({"a/", "a/a1.txt", "a/a2.txt", "a/sub/", "a/sub/s1.txt", "c/"});
    ShowSyncedPair();
    DoubleClick(list, ListItem("a"));
    ASSERT_EQ(ListFolder(), files + "/a");

    ClickCheckBox(list, ListItem("a1.txt"));
    EXPECT_EQ(ListState("a1.txt"), csCheckedNormal);
    EXPECT_EQ(TreeState("a/a1.txt"), csCheckedNormal);
    EXPECT_EQ(TreeStored("a/a1.txt"), csCheckedNormal);
    EXPECT_EQ(TreeState("a"), csMixedNormal);
    EXPECT_EQ(TreeState(""), csMixedNormal);
    EXPECT_FALSE(tree->IsVisible(TreeNode("a/a1.txt"))) << "files stay hidden in the tree";

    ClickCheckBox(list, ListItem("a2.txt"));
    ClickCheckBox(list, ListItem("sub"));
    EXPECT_EQ(TreeState("a"), csCheckedNormal) << "every child checked";
    EXPECT_EQ(TreeState("a/sub/s1.txt"), csCheckedNormal);
    EXPECT_EQ(TreeState(""), csMixedNormal) << "c is not";
    EXPECT_EQ(Checked(), (std::vector<std::string>{"/a", "/a/a1.txt", "/a/a2.txt", "/a/sub", "/a/sub/s1.txt"}));

    // Unchecking one file while its folder is checked: the folder and
    // every ancestor mixed, the file's record gone, its siblings kept.
    ClickCheckBox(list, ListItem("a2.txt"));
    EXPECT_EQ(TreeState("a"), csMixedNormal);
    EXPECT_EQ(TreeState(""), csMixedNormal);
    EXPECT_EQ(TreeStored("a/a2.txt"), -1);
    EXPECT_EQ(TreeState("a/a1.txt"), csCheckedNormal);
    EXPECT_EQ(TreeState("a/sub"), csCheckedNormal);
    EXPECT_EQ(Checked(), (std::vector<std::string>{"/a/a1.txt", "/a/sub", "/a/sub/s1.txt"}));
}

TEST_F(Synchronizer, UncheckingOneFileOfACheckedFolderNeverExpandedUnchecksOnlyThatFile) {
    MakeAll({"a/", "a/a1.txt", "a/sub/", "a/sub/s1.txt", "a/sub/s2.txt", "a/sub/d/", "c/"});
    ShowSyncedPair();
    // Checked in the list: the tree makes a's children, not sub's.
    ClickCheckBox(list, ListItem("a"));
    EXPECT_EQ(TreeState("a"), csCheckedNormal);
    EXPECT_EQ(TreeState("a/sub"), csCheckedNormal);
    EXPECT_EQ(TreeNode("a/sub")->ChildCount, 0u) << "nothing listed yet";
    // The list opens a/sub without the tree following.
    Unlink();
    ListShows("a/sub");
    EXPECT_EQ(TreeNode("a/sub")->ChildCount, 0u);
    for (const char* name : {"s1.txt", "s2.txt", "d"}) EXPECT_EQ(ListState(name), csCheckedNormal) << name;

    ClickCheckBox(list, ListItem("s1.txt"));
    EXPECT_EQ(ListState("s1.txt"), csUncheckedNormal);
    EXPECT_EQ(TreeState("a/sub/s1.txt"), csUncheckedNormal);
    EXPECT_EQ(TreeState("a/sub/s2.txt"), csCheckedNormal);
    EXPECT_EQ(TreeState("a/sub/d"), csCheckedNormal);
    EXPECT_EQ(TreeState("a/sub"), csMixedNormal);
    EXPECT_EQ(TreeState("a"), csMixedNormal);
    EXPECT_EQ(TreeState("a/a1.txt"), csCheckedNormal);
    EXPECT_EQ(TreeState(""), csMixedNormal);
    EXPECT_EQ(Checked(), (std::vector<std::string>{"/a/a1.txt", "/a/sub/d", "/a/sub/s2.txt"}));
}

TEST_F(Synchronizer, CheckingFoldersNeverExpandedOneAfterTheOtherOverridesTheRecordsBelowThem) {
    MakeAll({"a/", "a/f1.txt", "a/f2.txt", "a/sub/", "a/sub/s1.txt", "a/sub/s2.txt", "b/", "b/g.txt", "c/"});
    ShowSyncedPair();
    // Records below a, made before a's children are: sub shows mixed when
    // it is made, s1 stays checked below it.
    for (const auto& [path, state] :
         {std::pair{"/a/sub", csMixedNormal}, std::pair{"/a/sub/s1.txt", csCheckedNormal}}) {
        const UniquePIDL pidl = Parse(files + path);
        TNodeStorage* record = tree->Storage().Store(pidl.get(), skCheck);
        ASSERT_TRUE(record) << path;
        record->Storage.CheckState = state;
        record->Storage.CheckType = ctTriStateCheckBox;
    }
    ASSERT_EQ(TreeStored("a/sub"), csMixedNormal);
    ASSERT_EQ(TreeNode("a")->ChildCount, 0u);

    ClickCheckBox(tree, TreeNode("a"));
    for (const char* below : {"a/f1.txt", "a/f2.txt", "a/sub"}) {
        EXPECT_EQ(TreeState(below), csCheckedNormal) << below;
        EXPECT_EQ(TreeStored(below), csCheckedNormal) << below;
        EXPECT_EQ(TreeNode(below)->CheckType, ctTriStateCheckBox) << below;
    }
    ClickCheckBox(tree, TreeNode("b"));
    EXPECT_EQ(TreeStored("b"), csCheckedNormal);
    EXPECT_EQ(TreeStored("b/g.txt"), csCheckedNormal) << "stored below b, not below a";
    EXPECT_EQ(TreeState(""), csMixedNormal) << "c is not checked";
    EXPECT_EQ(ListState("a"), csCheckedNormal);
    EXPECT_EQ(ListState("b"), csCheckedNormal);
    EXPECT_EQ(Checked(), (std::vector<std::string>{"/a", "/a/f1.txt", "/a/f2.txt", "/a/sub", "/a/sub/s1.txt",
                                                   "/b", "/b/g.txt"}));
}

TEST_F(Synchronizer, AMixedChildMakesEveryAncestorMixedAndUncheckingRestoresThem) {
    MakeAll({"a/", "a/b/", "a/b/c/", "a/b/c/x.txt", "a/b/c/y.txt", "a/b/other.txt"});
    ShowSyncedPair();
    ListShows("a/b/c");
    ClickCheckBox(list, ListItem("x.txt"));
    EXPECT_EQ(TreeState("a/b/c"), csMixedNormal);
    EXPECT_EQ(TreeState("a/b"), csMixedNormal);
    EXPECT_EQ(TreeState("a"), csMixedNormal);
    EXPECT_EQ(TreeState(""), csMixedNormal);
    EXPECT_EQ(TreeStored("a/b"), csMixedNormal);

    ClickCheckBox(list, ListItem("y.txt"));
    EXPECT_EQ(TreeState("a/b/c"), csCheckedNormal);
    EXPECT_EQ(TreeState("a/b"), csMixedNormal) << "other.txt is not checked";

    ClickCheckBox(list, ListItem("x.txt"));
    ClickCheckBox(list, ListItem("y.txt"));
    for (const char* p : {"", "a", "a/b", "a/b/c"}) {
        EXPECT_EQ(TreeState(p), csUncheckedNormal) << p;
        EXPECT_EQ(TreeStored(p), -1) << p;
    }
    EXPECT_TRUE(Checked().empty());
}

TEST_F(Synchronizer, PressedStatesCountAsWhatTheyPress) {
    MakeAll({"p/", "p/x.txt", "q/", "q/x.txt", "q/y.txt"});
    ShowSyncedPair();
    PDataNode px = TreeNode("p/x.txt");
    tree->SetCheckState(px, csCheckedNormal);
    ASSERT_EQ(TreeState("p"), csCheckedNormal);
    // The box held down while unchecking: still checked until released,
    // but not stored as checked and its folder unchecked.
    tree->SetCheckState(px, csUncheckedPressed);
    EXPECT_EQ(TreeState("p"), csUncheckedNormal);
    EXPECT_EQ(TreeStored("p/x.txt"), -1);
    tree->SetCheckState(px, csCheckedPressed);
    EXPECT_EQ(TreeState("p"), csCheckedNormal);
    EXPECT_EQ(TreeStored("p/x.txt"), csCheckedNormal);
    tree->SetCheckState(px, csMixedPressed);
    EXPECT_EQ(TreeState("p"), csMixedNormal);
    EXPECT_EQ(TreeStored("p/x.txt"), csMixedNormal);

    // A real press: the folder follows what the box will be.
    ClickCheckBox(list, ListItem("q"));
    ASSERT_EQ(TreeState("q/x.txt"), csCheckedNormal);
    PDataNode qx = TreeNode("q/x.txt");
    tree->SetCheckState(qx, csUncheckedPressed);
    EXPECT_EQ(TreeState("q"), csMixedNormal);
    EXPECT_EQ(ListState("q"), csMixedNormal) << "mirrored into the list";
    tree->SetCheckState(qx, csUncheckedNormal);
    EXPECT_EQ(TreeState("q"), csMixedNormal);
}

TEST_F(Synchronizer, ExpandingSpreadsTheFoldersState) {
    MakeAll({"on/", "on/x.txt", "on/d/", "on/d/in.txt", "off/", "off/x.txt", "mix/", "mix/x.txt", "mix/y.txt"});
    ShowSyncedPair();
    tree->SetCheckState(TreeNode("on"), csCheckedNormal);
    EXPECT_EQ(TreeNode("on/d")->ChildCount, 0u);
    tree->SetExpanded(TreeNode("on"), true);
    tree->SetExpanded(TreeNode("on/d"), true);
    EXPECT_EQ(TreeState("on/x.txt"), csCheckedNormal);
    EXPECT_EQ(TreeState("on/d/in.txt"), csCheckedNormal);
    EXPECT_EQ(TreeStored("on/d/in.txt"), csCheckedNormal);

    ListShows("mix");
    ClickCheckBox(list, ListItem("x.txt"));
    ASSERT_EQ(TreeState("mix"), csMixedNormal);
    tree->SetExpanded(TreeNode("mix"), true);
    EXPECT_EQ(TreeState("mix/x.txt"), csCheckedNormal) << "a mixed folder changes nothing";
    EXPECT_EQ(TreeState("mix/y.txt"), csUncheckedNormal);

    tree->SetExpanded(TreeNode("off"), true);
    EXPECT_EQ(TreeState("off/x.txt"), csUncheckedNormal);
    EXPECT_EQ(TreeStored("off/x.txt"), -1);
}

TEST_F(Synchronizer, FilesHideInTheTreeAndFoldersNamedLikeArchivesAreFolders) {
    MakeAll({"onlyfiles/", "onlyfiles/f.txt", "mixed/", "mixed/d/", "mixed/g.txt", "dir.zip/", "dir.zip/in.txt",
             "archive.zip"});
    ShowSyncedPair();
    PDataNode only = TreeNode("onlyfiles");
    ASSERT_NE(only, nullptr);
    EXPECT_TRUE(only->States & vsAllChildrenHidden) << "no expand button for a folder of files";
    EXPECT_FALSE(TreeNode("mixed")->States & vsAllChildrenHidden);
    tree->SetExpanded(TreeNode("mixed"), true);
    EXPECT_TRUE(tree->IsVisible(TreeNode("mixed/d")));
    EXPECT_FALSE(tree->IsVisible(TreeNode("mixed/g.txt")));
    std::vector<std::string> shown;
    for (PDataNode n = tree->GetFirstVisible(); n; n = tree->GetNextVisible(n)) shown.push_back(NameOf(tree, n));
    EXPECT_EQ(std::count(shown.begin(), shown.end(), "archive.zip"), 0);
    EXPECT_EQ(std::count(shown.begin(), shown.end(), "dir.zip"), 1) << "a real folder, whatever its name";

    // An archive checked in the list reaches the tree, and a folder named
    // like one is checked with what it holds.
    ClickCheckBox(list, ListItem("archive.zip"));
    EXPECT_EQ(TreeState("archive.zip"), csCheckedNormal);
    ClickCheckBox(list, ListItem("dir.zip"));
    EXPECT_EQ(TreeState("dir.zip/in.txt"), csCheckedNormal);
    EXPECT_EQ(Checked(), (std::vector<std::string>{"/archive.zip", "/dir.zip", "/dir.zip/in.txt"}));

    // With HideTreeFiles off, files made afterwards show.
    sync->SetHideTreeFiles(false);
    tree->RebuildRootNamespace();
    EXPECT_TRUE(tree->IsVisible(TreeNode("archive.zip")));
}

TEST_F(Synchronizer, TheStorageIsTheSameWhicheverControlWasUsed) {
    MakeAll({"a/", "a/a1.txt", "a/sub/", "a/sub/s.txt", "b/", "b/b1.txt"});
    auto run = [&](bool inTree) {
        ShowSyncedPair();
        if (inTree) {
            tree->SetExpanded(TreeNode("a"), true);
            ClickCheckBox(tree, TreeNode("a/sub"));
            ClickCheckBox(tree, TreeNode("b"));
        } else {
            ListShows("a");
            ClickCheckBox(list, ListItem("sub"));
            ListShows("");
            ClickCheckBox(list, ListItem("b"));
        }
        const std::string bytes = StorageBytes(tree);
        const std::vector<std::string> checked = Checked();
        form->Free();
        return std::make_pair(bytes, checked);
    };
    const auto byTree = run(true);
    const auto byList = run(false);
    EXPECT_EQ(byTree.second, (std::vector<std::string>{"/a/sub", "/a/sub/s.txt", "/b", "/b/b1.txt"}));
    EXPECT_EQ(byList.second, byTree.second);
    EXPECT_EQ(byList.first, byTree.first) << "the same records, byte for byte";
}

TEST_F(Synchronizer, OneClicksWorkDoesNotGrowWithTheOtherControl) {
    MakeAll({"small/", "small/x.txt", "small/y.txt", "big/", "other/"});
    for (int i = 0; i < 600; ++i) Make("big/f" + std::to_string(i) + ".txt");
    ShowSyncedPair();
    // What checking and unchecking one item costs.
    auto toggle = [&](TCustomExplorerTree* control, auto node) {
        const uint64_t before = sync->VisitedNodes();
        ClickCheckBox(control, node());
        ClickCheckBox(control, node());
        return sync->VisitedNodes() - before;
    };
    // A click in the list while the tree holds few nodes, then many.
    ListShows("small");
    const uint64_t fewNodes = toggle(list, [&] { return ListItem("x.txt"); });
    EXPECT_GT(fewNodes, 0u);
    tree->SetExpanded(TreeNode("big"), true);
    ASSERT_GE(tree->TotalCount(), 600u);
    EXPECT_EQ(toggle(list, [&] { return ListItem("x.txt"); }), fewNodes);

    // A click in the tree outside the list's folder while the list shows
    // two items, then six hundred.
    const uint64_t fewItems = toggle(tree, [&] { return TreeNode("other"); });
    ListShows("big");
    ASSERT_EQ(list->RootNode()->ChildCount, 600u);
    EXPECT_EQ(toggle(tree, [&] { return TreeNode("other"); }), fewItems);
}

TEST_F(Synchronizer, FreedBeforeItsControlsItHandsTheirEventsBack) {
    MakeAll({"a/", "a/a1.txt"});
    ShowPair();
    int treeChecks = 0, listChecks = 0;
    tree->OnChecked = [&](TBaseDataTree*, PDataNode) { ++treeChecks; };
    list->OnChecked = [&](TBaseDataTree*, PDataNode) { ++listChecks; };
    Synchronize();
    sync->Free();
    sync = nullptr;
    ClickCheckBox(tree, TreeNode("a"));
    ClickCheckBox(list, ListItem("a"));
    EXPECT_EQ(treeChecks, 1);
    EXPECT_EQ(listChecks, 1);
    EXPECT_EQ(ListState("a"), csCheckedNormal);
}

TEST_F(Synchronizer, AControlFreedFirstIsForgotten) {
    MakeAll({"a/"});
    ShowSyncedPair();
    auto* s2 = TComponent::Create<TCheckboxesSynchronizer>(form);
    s2->SetExplorerTreeview(tree);
    tree->Free();
    tree = nullptr;
    EXPECT_EQ(s2->ExplorerTreeview(), nullptr);
    EXPECT_EQ(sync->ExplorerTreeview(), nullptr);
    ClickCheckBox(list, ListItem("a"));
    EXPECT_EQ(ListState("a"), csCheckedNormal);
}

} // namespace
