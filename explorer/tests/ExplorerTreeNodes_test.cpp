// The explorer tree's nodes: activation, lazy enumeration with the filters
// and OnEnumFolder, the root folder, the has-children decision, and every
// check-box change recorded in the node storage and read back from it when
// nodes are made again.
#include "explorer_fixture.h"
#include "framework/streaming.h"

#include <set>
#include <unistd.h>

using namespace ax;
using namespace ax::testing;

namespace {

class ExplorerNodes : public ExplorerTest {
protected:
    // A point on node's check box, found by hit tests along its row.
    POINT CheckBoxPoint(TCustomExplorerTree* tree, PDataNode node) {
        const RECT row = tree->GetDisplayRect(node, NoColumn, false);
        const int y = (row.top + row.bottom) / 2;
        for (int x = 0; x < 120; ++x) {
            THitInfo hit;
            tree->GetHitTestInfoAt(x, y, true, hit);
            if (hit.HitNode == node && (hit.HitPositions & hiOnItemCheckbox)) return {x + 3, y};
        }
        ADD_FAILURE() << "no check box on the row of " << NameOf(tree, node);
        return {0, 0};
    }
    void PressAt(TControl* c, POINT p) {
        const POINT s = c->ClientToScreen(p);
        InjectMouseMove(s.x, s.y);
        InjectMouseButton(MouseButton::Left, true);
        app->ProcessMessages();
    }
    void ReleaseAt(TControl* c, POINT p) {
        const POINT s = c->ClientToScreen(p);
        InjectMouseMove(s.x, s.y);
        InjectMouseButton(MouseButton::Left, false);
        app->ProcessMessages();
    }
    std::set<std::string> Set(const std::vector<std::string>& v) { return {v.begin(), v.end()}; }
};

TEST_F(ExplorerNodes, ANeverActivatedTreeHasNoNodes) {
    MakeAll({"a/", "b.txt"});
    TExplorerTree* tree = BareTree(false);
    EXPECT_EQ(tree->TotalCount(), 0u);
    ASSERT_NE(tree->RootNamespace(), nullptr);
    EXPECT_EQ(WideToUtf8(tree->RootNamespace()->NameForParsing()), files);
    EXPECT_EQ(WideToUtf8(tree->RootFolderCustomPath()), files + "/");
    EXPECT_EQ(tree->RootFolder(), rfCustom);
    tree->SetActive(true);
    EXPECT_EQ(tree->RootNodeCount(), 1u);
    tree->SetActive(false);
    EXPECT_EQ(tree->TotalCount(), 0u);
}

TEST_F(ExplorerNodes, FoldersAreListedWhenTheTreeFirstNeedsThem) {
    MakeAll({"a/", "a/inner/", "a/inner/deep.txt", "a/note.txt", "b.txt", "c/"});
    std::vector<std::string> seen;
    TExplorerTree* tree = BareTree(false);
    tree->OnEnumFolder = [&](TCustomExplorerTree*, TNamespace* ns, bool&) {
        seen.push_back(WideToUtf8(ns->NameForParsing()));
    };
    tree->SetActive(true);
    PDataNode root = tree->GetFirst();
    EXPECT_EQ(PathOf(tree, root), files);
    EXPECT_TRUE(tree->Expanded(root));
    EXPECT_EQ(Names(tree, root), (std::vector<std::string>{"a", "b.txt", "c"}));
    // Only the root folder was listed; a's items wait for a's expansion.
    EXPECT_EQ(Set(seen), (std::set<std::string>{files + "/a", files + "/b.txt", files + "/c"}));
    PDataNode a = Child(tree, root, "a");
    PDataNode b = root->FirstChild->NextSibling;
    PDataNode c = b->NextSibling;
    EXPECT_EQ(a->ChildCount, 0u);
    EXPECT_TRUE(tree->HasChildren(a));
    EXPECT_FALSE(tree->HasChildren(b)) << "a file";
    EXPECT_FALSE(tree->HasChildren(c)) << "an empty folder shows no expand button";
    seen.clear();
    tree->SetExpanded(a, true);
    EXPECT_EQ(Names(tree, a), (std::vector<std::string>{"inner", "note.txt"}));
    EXPECT_EQ(Set(seen), (std::set<std::string>{files + "/a/inner", files + "/a/note.txt"}));
    // Collapsing keeps the children; expanding again lists nothing again.
    seen.clear();
    tree->SetExpanded(a, false);
    tree->SetExpanded(a, true);
    EXPECT_TRUE(seen.empty());
}

TEST_F(ExplorerNodes, FileObjectsFilterAndAChangeRebuilds) {
    MakeAll({"dir/", "dir/only.txt", "file.txt", ".hidden/", ".hid.txt"});
    int rebuilds = 0;
    TExplorerTree* tree = BareTree(false);
    tree->OnRootRebuild = [&](TCustomExplorerTree*) { ++rebuilds; };
    tree->SetActive(true);
    EXPECT_EQ(rebuilds, 1);
    EXPECT_EQ(Names(tree, tree->GetFirst()), (std::vector<std::string>{"dir", "file.txt"}));
    EXPECT_TRUE(tree->HasChildren(Child(tree, tree->GetFirst(), "dir")));

    tree->SetFileObjects(foFolders);
    EXPECT_EQ(rebuilds, 2);
    EXPECT_EQ(Names(tree, tree->GetFirst()), (std::vector<std::string>{"dir"}));
    // A folder of files has nothing to show when only folders are listed.
    EXPECT_FALSE(tree->HasChildren(Child(tree, tree->GetFirst(), "dir")));
    tree->SetFileObjects(foFolders);
    EXPECT_EQ(rebuilds, 2) << "the same value rebuilds nothing";

    tree->SetFileObjects(foFolders | foHidden);
    EXPECT_EQ(Names(tree, tree->GetFirst()), (std::vector<std::string>{".hidden", "dir"}));
    tree->SetFileObjects(foFolders | foNonFolders | foHidden);
    EXPECT_EQ(Names(tree, tree->GetFirst()), (std::vector<std::string>{".hid.txt", ".hidden", "dir", "file.txt"}));
    tree->SetFileObjects(foNonFolders);
    EXPECT_EQ(Names(tree, tree->GetFirst()), (std::vector<std::string>{"file.txt"}));
}

TEST_F(ExplorerNodes, ARefusedItemHasNoNodeAndItsItemIsFreed) {
    MakeAll({"keep/", "drop/", "drop.txt", "keep.txt"});
    TExplorerTree* tree = BareTree(false);
    int asked = 0;
    tree->OnEnumFolder = [&](TCustomExplorerTree*, TNamespace* ns, bool& allow) {
        ++asked;
        allow = WideToUtf8(ns->NameInFolder()).rfind("drop", 0) != 0;
    };
    tree->SetActive(true);
    EXPECT_EQ(asked, 4);
    EXPECT_EQ(Names(tree, tree->GetFirst()), (std::vector<std::string>{"keep", "keep.txt"}));
    // The fixture's allocator check proves the refused items' PIDLs were freed.
}

TEST_F(ExplorerNodes, WithAHiddenRootTheRootsItemsAreTheTopLevel) {
    MakeAll({"x/", "y.txt"});
    TExplorerTree* tree = BareTree();
    EXPECT_EQ(tree->RootNodeCount(), 1u);
    TExplorerTreeOptions& o = tree->TreeOptions();
    o.SetExpFolderOptions(o.ExpFolderOptions() | toHideRootFolder);
    EXPECT_EQ(tree->RootNodeCount(), 2u);
    EXPECT_EQ(Names(tree, tree->RootNode()), (std::vector<std::string>{"x", "y.txt"}));
    EXPECT_EQ(PathOf(tree, tree->RootNode()), files) << "the hidden root holds the root folder's item";
    o.SetExpFolderOptions(o.ExpFolderOptions() & ~TExpFolderOptions(toHideRootFolder));
    EXPECT_EQ(tree->RootNodeCount(), 1u);
    EXPECT_EQ(PathOf(tree, tree->GetFirst()), files);
}

TEST_F(ExplorerNodes, WithoutExpandableFoldersOnlyTheRootFolderOpens) {
    MakeAll({"sub/", "sub/x.txt"});
    TExplorerTree* tree = BareTree(false);
    TExplorerTreeOptions& o = tree->TreeOptions();
    o.SetExpFolderOptions(o.ExpFolderOptions() & ~TExpFolderOptions(toFoldersExpandable));
    tree->SetActive(true);
    PDataNode sub = Child(tree, tree->GetFirst(), "sub");
    ASSERT_NE(sub, nullptr);
    EXPECT_FALSE(tree->HasChildren(sub));
    EXPECT_EQ(tree->ExpandNamespaceFolder(sub), 0u);
    EXPECT_EQ(sub->ChildCount, 0u);
}

TEST_F(ExplorerNodes, ExpansionOfOtherNodesNeedsBrowseExecuteFolderOrTheButton) {
    MakeAll({"sub/", "sub/x.txt"});
    TExplorerTree* tree = ShownTree(false);
    TExplorerTreeOptions& o = tree->TreeOptions();
    o.SetExpMiscOptions(o.ExpMiscOptions() & ~TExpMiscOptions(toBrowseExecuteFolder));
    tree->SetActive(true);
    PDataNode sub = Child(tree, tree->GetFirst(), "sub");
    tree->SetExpanded(sub, true);
    EXPECT_FALSE(tree->Expanded(sub)) << "refused from code";
    // A click on the expand button is the user's own wish.
    const RECT row = tree->GetDisplayRect(sub, NoColumn, false);
    const int y = (row.top + row.bottom) / 2;
    int buttonX = -1;
    for (int x = 0; x < 60 && buttonX < 0; ++x) {
        THitInfo hit;
        tree->GetHitTestInfoAt(x, y, true, hit);
        if (hit.HitNode == sub && (hit.HitPositions & hiOnItemButton)) buttonX = x;
    }
    ASSERT_GE(buttonX, 0);
    const POINT p = tree->ClientToScreen(POINT{buttonX + 2, y});
    InjectClick(MouseButton::Left, p.x, p.y);
    app->ProcessMessages();
    EXPECT_TRUE(tree->Expanded(sub));
    EXPECT_EQ(Names(tree, sub), (std::vector<std::string>{"x.txt"}));
}

TEST_F(ExplorerNodes, EveryCheckChangeIsStoredAndReadBackByNewNodes) {
    MakeAll({"docs/", "docs/a.txt", "docs/b.txt", "music/", "music/song.ogg", "z.txt"});
    TExplorerTree* tree = BareTree();
    PDataNode root = tree->GetFirst();
    PDataNode docs = Child(tree, root, "docs");
    tree->SetCheckState(docs, csCheckedNormal);
    // The folder is checked, the root folder above it mixed: both stored.
    EXPECT_EQ(Stored(tree, files + "/docs"), csCheckedNormal);
    EXPECT_EQ(int(root->CheckState), int(csMixedNormal));
    EXPECT_EQ(Stored(tree, files), csMixedNormal);
    EXPECT_EQ(Lines(tree->Storage().CheckedFileNames()), (std::vector<std::string>{files + "/docs"}));

    // Children of a checked folder are checked, and stored, when first made.
    tree->SetExpanded(docs, true);
    PDataNode a = Child(tree, docs, "a.txt");
    EXPECT_EQ(int(a->CheckState), int(csCheckedNormal));
    EXPECT_EQ(Stored(tree, files + "/docs/a.txt"), csCheckedNormal);
    EXPECT_EQ(Lines(tree->Storage().CheckedFileNames()),
              (std::vector<std::string>{files + "/docs", files + "/docs/a.txt", files + "/docs/b.txt"}));

    // Unchecking takes the record away; the folder turns mixed.
    tree->SetCheckState(a, csUncheckedNormal);
    EXPECT_EQ(Stored(tree, files + "/docs/a.txt"), -1);
    EXPECT_EQ(Stored(tree, files + "/docs"), csMixedNormal);
    EXPECT_EQ(Lines(tree->Storage().CheckedFileNames()), (std::vector<std::string>{files + "/docs/b.txt"}));

    // New nodes take their states from the storage.
    tree->SetActive(false);
    tree->SetActive(true);
    root = tree->GetFirst();
    EXPECT_EQ(int(root->CheckState), int(csMixedNormal));
    docs = Child(tree, root, "docs");
    EXPECT_EQ(int(docs->CheckState), int(csMixedNormal));
    EXPECT_EQ(int(Child(tree, root, "music")->CheckState), int(csUncheckedNormal));
    tree->SetExpanded(docs, true);
    EXPECT_EQ(int(Child(tree, docs, "a.txt")->CheckState), int(csUncheckedNormal));
    EXPECT_EQ(int(Child(tree, docs, "b.txt")->CheckState), int(csCheckedNormal));
    EXPECT_EQ(int(Child(tree, docs, "b.txt")->CheckType), int(ctTriStateCheckBox));

    // Unchecking the root folder clears everything below it that exists.
    tree->SetCheckState(root, csCheckedNormal);
    tree->SetCheckState(root, csUncheckedNormal);
    EXPECT_EQ(Stored(tree, files), -1);
    EXPECT_EQ(Stored(tree, files + "/docs/b.txt"), -1);
    EXPECT_EQ(tree->Storage().CheckedFileNames().Count(), 0);
}

TEST_F(ExplorerNodes, AStoredCheckUnderAnUncheckedFolderMakesItsAncestorsMixed) {
    MakeAll({"music/", "music/x.ogg", "music/y.ogg"});
    TExplorerTree* tree = BareTree(false);
    const UniquePIDL x = Parse(files + "/music/x.ogg");
    TNodeStorage* record = tree->Storage().Store(x.get(), skCheck);
    ASSERT_NE(record, nullptr);
    record->Storage.CheckState = csCheckedNormal;
    record->Storage.CheckType = ctTriStateCheckBox;
    tree->SetActive(true);
    PDataNode root = tree->GetFirst();
    PDataNode music = Child(tree, root, "music");
    EXPECT_EQ(int(music->CheckState), int(csUncheckedNormal));
    tree->SetExpanded(music, true);
    EXPECT_EQ(int(Child(tree, music, "x.ogg")->CheckState), int(csCheckedNormal));
    EXPECT_EQ(int(music->CheckState), int(csMixedNormal));
    EXPECT_EQ(int(root->CheckState), int(csMixedNormal));
    EXPECT_EQ(int(tree->RootNode()->CheckState), int(csMixedNormal));
    EXPECT_EQ(int(Child(tree, music, "y.ogg")->CheckState), int(csUncheckedNormal));
}

TEST_F(ExplorerNodes, PressedStatesAreStoredAsWhatTheyStandFor) {
    MakeAll({"f.txt", "g.txt"});
    TExplorerTree* tree = BareTree();
    PDataNode f = Child(tree, tree->GetFirst(), "f.txt");
    tree->SetCheckState(f, csCheckedPressed);
    EXPECT_EQ(Stored(tree, files + "/f.txt"), csCheckedNormal);
    EXPECT_EQ(Lines(tree->Storage().CheckedFileNames()), (std::vector<std::string>{files + "/f.txt"}));
    tree->SetCheckState(f, csMixedPressed);
    EXPECT_EQ(Stored(tree, files + "/f.txt"), csMixedNormal);
    tree->SetCheckState(f, csCheckedNormal);
    tree->SetCheckState(f, csUncheckedPressed);
    EXPECT_EQ(Stored(tree, files + "/f.txt"), -1);
    EXPECT_EQ(tree->Storage().CheckedFileNames().Count(), 0);
}

TEST_F(ExplorerNodes, ACheckedItemStaysSelectedWhileTheMouseHoldsItsBox) {
    MakeAll({"f.txt", "g.txt", "h.txt"});
    TExplorerTree* tree = ShownTree();
    PDataNode f = Child(tree, tree->GetFirst(), "f.txt");
    PDataNode g = Child(tree, tree->GetFirst(), "g.txt");
    tree->SetCheckState(f, csCheckedNormal);
    const POINT box = CheckBoxPoint(tree, f);
    PressAt(tree, box);
    EXPECT_EQ(int(f->CheckState), int(csCheckedPressed));
    // Meanwhile something else changes a check: the held item is still selected.
    tree->SetCheckState(g, csCheckedNormal);
    EXPECT_EQ(Stored(tree, files + "/f.txt"), csCheckedNormal);
    EXPECT_EQ(Lines(tree->Storage().CheckedFileNames()), (std::vector<std::string>{files + "/f.txt", files + "/g.txt"}));
    // Let go elsewhere: nothing changes.
    ReleaseAt(tree, POINT{box.x, box.y + 120});
    EXPECT_EQ(int(f->CheckState), int(csCheckedNormal));
    EXPECT_EQ(Stored(tree, files + "/f.txt"), csCheckedNormal);
    // A whole click unchecks it.
    PressAt(tree, box);
    ReleaseAt(tree, box);
    EXPECT_EQ(int(f->CheckState), int(csUncheckedNormal));
    EXPECT_EQ(Stored(tree, files + "/f.txt"), -1);
    EXPECT_EQ(Lines(tree->Storage().CheckedFileNames()), (std::vector<std::string>{files + "/g.txt"}));
}

TEST_F(ExplorerNodes, ACustomRootThatIsNoFolderChangesNothingAndLeaksNothing) {
    MakeAll({"sub/", "file.txt"});
    TExplorerTree* tree = BareTree();
    int changes = 0, rebuilds = 0;
    tree->OnRootChange = [&](TCustomExplorerTree*) { ++changes; };
    tree->OnRootRebuild = [&](TCustomExplorerTree*) { ++rebuilds; };
    TNamespace* before = tree->RootNamespace();
    const uint64_t nodes = tree->TotalCount();
    const int64_t blocks = malloc_->LiveBlocks();
    for (const std::string& bad : {std::string("relative/nowhere"), files + "/missing", files + "/file.txt",
                                   std::string("\x01\x02"), std::string()}) {
        tree->SetRootFolderCustomPath(W(bad));
        EXPECT_EQ(tree->RootNamespace(), before) << bad;
        EXPECT_EQ(WideToUtf8(tree->RootFolderCustomPath()), files + "/") << bad;
        EXPECT_EQ(malloc_->LiveBlocks(), blocks) << bad;
    }
    tree->OnRootChanging = [](TCustomExplorerTree*, TRootFolder, TNamespace*, TNamespace*, bool& allow) {
        allow = false;
    };
    tree->SetRootFolderCustomPath(W(files + "/sub"));
    EXPECT_EQ(tree->RootNamespace(), before) << "refused";
    EXPECT_EQ(malloc_->LiveBlocks(), blocks);
    EXPECT_EQ(tree->TotalCount(), nodes);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(rebuilds, 0);

    tree->OnRootChanging = nullptr;
    tree->SetRootFolderCustomPath(W(files + "/sub"));
    EXPECT_EQ(WideToUtf8(tree->RootFolderCustomPath()), files + "/sub/");
    EXPECT_EQ(PathOf(tree, tree->GetFirst()), files + "/sub");
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(rebuilds, 1);
}

TEST_F(ExplorerNodes, StandardRootsAndTheCustomPIDL) {
    MakeAll({"sub/"});
    TExplorerTree* tree = BareTree();
    tree->SetRootFolder(rfPersonal);
    EXPECT_TRUE(tree->RootFolderCustomPath().empty());
    EXPECT_EQ(PathOf(tree, tree->GetFirst()), home + "/Documents");
    // A special folder that does not exist here leaves the tree empty.
    tree->SetRootFolder(rfControlPanel);
    EXPECT_EQ(tree->RootNamespace(), nullptr);
    EXPECT_EQ(tree->TotalCount(), 0u);
    // A refused standard folder changes nothing.
    tree->SetRootFolder(rfPersonal);
    tree->OnRootChanging = [](TCustomExplorerTree*, TRootFolder, TNamespace*, TNamespace*, bool& allow) {
        allow = false;
    };
    tree->SetRootFolder(rfDesktop);
    EXPECT_EQ(tree->RootFolder(), rfPersonal);
    tree->OnRootChanging = nullptr;

    const UniquePIDL sub = Parse(files + "/sub");
    tree->SetRootFolderCustomPIDL(sub.get());
    EXPECT_EQ(tree->RootFolder(), rfCustomPIDL);
    ASSERT_NE(tree->RootFolderCustomPIDL(), nullptr);
    EXPECT_NE(tree->RootFolderCustomPIDL(), sub.get()) << "the tree keeps its own copy";
    EXPECT_TRUE(EqualPIDL(tree->RootFolderCustomPIDL(), sub.get()));
    EXPECT_EQ(PathOf(tree, tree->GetFirst()), files + "/sub");
    tree->SetRootFolder(rfDesktop);
    EXPECT_EQ(tree->RootFolderCustomPIDL(), nullptr);
}

TEST_F(ExplorerNodes, TheDesktopsRecycleBinAndDocuments) {
    TExplorerTree* tree = BareTree();
    tree->SetRootFolder(rfDesktop);
    PDataNode desktop = tree->GetFirst();
    PDataNode bin = Child(tree, desktop, "Recycle Bin");
    ASSERT_NE(bin, nullptr);
    EXPECT_TRUE(tree->HasChildren(bin)) << "the recycle bin always offers to open";
    TExplorerTreeOptions& o = tree->TreeOptions();
    o.SetExpFolderOptions(o.ExpFolderOptions() | toForceHideRecycleBin);
    EXPECT_EQ(Child(tree, tree->GetFirst(), "Recycle Bin"), nullptr);

    // Documents left out by the filter comes back with toForceShowMyDocuments.
    std::vector<std::string> added;
    tree->OnEnumFolder = [](TCustomExplorerTree*, TNamespace* ns, bool& allow) {
        allow = WideToUtf8(ns->NameInFolder()) != "Documents";
    };
    tree->OnNamespaceStructureChange = [&](TCustomExplorerTree* t, PDataNode node, TNamespace* ns,
                                           TNamespaceStructureChange change) {
        EXPECT_EQ(t->NodeNamespace(node), ns);
        if (change == nscAdd) added.push_back(WideToUtf8(ns->NameInFolder()));
    };
    tree->SetFileObjects(foFolders);
    EXPECT_EQ(Child(tree, tree->GetFirst(), "Documents"), nullptr);
    o.SetExpFolderOptions(o.ExpFolderOptions() | toForceShowMyDocuments);
    PDataNode docs = Child(tree, tree->GetFirst(), "Documents");
    ASSERT_NE(docs, nullptr);
    EXPECT_EQ(int(docs->CheckType), int(ctTriStateCheckBox));
    EXPECT_EQ(added, (std::vector<std::string>{"Documents"}));
}

TEST_F(ExplorerNodes, LinksToFoldersOpenAndALoopEnds) {
    MakeAll({"real/", "real/x.txt"});
    ASSERT_EQ(symlink((files + "/real").c_str(), (files + "/link").c_str()), 0);
    ASSERT_EQ(symlink(files.c_str(), (files + "/real/back").c_str()), 0);
    TExplorerTree* tree = BareTree();
    PDataNode root = tree->GetFirst();
    PDataNode link = Child(tree, root, "link");
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(tree->HasChildren(link));
    tree->SetExpanded(link, true);
    EXPECT_EQ(Names(tree, link), (std::vector<std::string>{"back", "x.txt"}));
    EXPECT_FALSE(tree->HasChildren(Child(tree, link, "back"))) << "a way back up is no folder to open";
    PDataNode real = Child(tree, root, "real");
    tree->SetExpanded(real, true);
    EXPECT_FALSE(tree->HasChildren(Child(tree, real, "back")));
}

TEST_F(ExplorerNodes, AVolumeThatDoesNotAnswerHasNothingToShow) {
    // A removable volume whose mount point is not there.
    const std::string point = "/mnt/axstick-" + std::to_string(getpid());
    Write(mounts, "/dev/sda1 / ext4 rw 0 0\n/dev/sdz1 " + point + " vfat rw 0 0\n");
    TExplorerTree* tree = BareTree(false);
    tree->SetRootFolder(rfDrives);
    tree->SetActive(true);
    PDataNode computer = tree->GetFirst();
    PDataNode stick = nullptr;
    for (PDataNode c = tree->GetFirstChild(computer); c; c = tree->GetNextSibling(c))
        if (PathOf(tree, c) == point) stick = c;
    ASSERT_NE(stick, nullptr) << "the volume is shown under Computer";
    EXPECT_EQ(tree->ExpandNamespaceFolder(stick), 0u);
    EXPECT_FALSE(tree->HasChildren(stick));
    EXPECT_EQ(stick->ChildCount, 0u);
}

TEST_F(ExplorerNodes, MisuseIsAnAssertionFailureNamingTheUnit) {
    TExplorerTree* tree = BareTree();
    TExplorerTreeOptions options(nullptr);
    options.SetMiscOptions(toReadOnly);
    try {
        tree->SetTreeOptions(options);
        FAIL() << "read-only options were taken";
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Please use the TreeOptions.ExpMiscOptions ReadOnly property and not the TreeOptions.MiscOptions "
                  "ReadOnly property (ExplorerTree)");
    }
    EXPECT_FALSE(tree->TreeOptions().MiscOptions() & toReadOnly);
    TMemoryStream stream;
    EXPECT_THROW(tree->SaveToStream(stream), EAssertionFailed);
    EXPECT_THROW(tree->LoadFromStream(stream), EAssertionFailed);
    EXPECT_EQ(stream.Size(), 0);
}

TEST_F(ExplorerNodes, DefaultsAndANewDataSizeKeepTheTreeActive) {
    MakeAll({"a/"});
    auto* plain = TComponent::Create<TExplorerTree>(app.get());
    EXPECT_FALSE(plain->Active());
    EXPECT_EQ(plain->FileObjects(), foFolders);
    EXPECT_EQ(plain->RootFolder(), rfDesktop);
    EXPECT_EQ(plain->DefaultNodeHeight(), 17);
    EXPECT_EQ(plain->DragHeight(), 250);
    EXPECT_EQ(plain->DragWidth(), 150);
    EXPECT_EQ(plain->HintMode(), hmHint);
    EXPECT_EQ(plain->TreeOptions().ExpFolderOptions(), toFoldersExpandable);
    EXPECT_EQ(plain->TreeOptions().ExpSyncOptions(), toCollapseTargetFirst | toExpandTarget | toSelectTarget);
    EXPECT_EQ(plain->ClipboardFormats().Count(), 2);
    EXPECT_EQ(plain->ExpColors().CompressedTextColor, clBlue);

    TExplorerTree* tree = BareTree();
    tree->SetNodeDataSize(20);
    EXPECT_TRUE(tree->Active());
    EXPECT_EQ(tree->NodeDataSize(), 20);
    EXPECT_EQ(Names(tree, tree->GetFirst()), (std::vector<std::string>{"a"}));
}

} // namespace

namespace {

TEST_F(ExplorerNodes, TheHourglassShowsWhileAFolderIsListed) {
    MakeAll({"a/", "a/x.txt"});
    TExplorerTree* tree = BareTree();
    TExplorerTree* other = BareTree();
    std::vector<TCursor> seen;
    tree->OnEnumFolder = [&](TCustomExplorerTree*, TNamespace*, bool&) { seen.push_back(Screen()->Cursor()); };
    Screen()->SetCursor(crCross);
    // Another tree's hourglass work around it leaves the cursor to the tree that showed it.
    other->WaitCursor(true);
    tree->SetExpanded(Child(tree, tree->GetFirst(), "a"), true);
    EXPECT_EQ(seen, (std::vector<TCursor>{crHourGlass}));
    EXPECT_EQ(Screen()->Cursor(), crHourGlass) << "the other tree still works";
    other->WaitCursor(false);
    EXPECT_EQ(Screen()->Cursor(), crCross);
    // Switched off: no hourglass at all.
    tree->SetDisableWaitCursors(true);
    tree->WaitCursor(true);
    EXPECT_EQ(Screen()->Cursor(), crCross);
    tree->WaitCursor(false);
    Screen()->SetCursor(crDefault);
}

TEST_F(ExplorerNodes, CollapsingAFolderAboveTheSelectionSelectsTheFolder) {
    MakeAll({"a/", "a/b/", "a/b/x.txt"});
    TExplorerTree* tree = BareTree();
    PDataNode a = Child(tree, tree->GetFirst(), "a");
    PDataNode x = tree->FindNodeByPath(W(files + "/a/b/x.txt"), true);
    ASSERT_TRUE(tree->Selected(x));
    tree->SetExpanded(a, false);
    EXPECT_TRUE(tree->Selected(a));
    EXPECT_FALSE(tree->Selected(x));
    EXPECT_EQ(tree->FocusedNode(), a);
}

TEST_F(ExplorerNodes, AFormDescriptionKeepsTheSettingsAndBuildsWhenLoaded) {
    MakeAll({"a/", "b.txt"});
    RegisterExplorerTreeClasses();
    TExplorerTree* tree = BareTree();
    tree->SetName("ExpTree");
    tree->SetFileObjects(foFolders | foNonFolders | foHidden);
    TExplorerTreeOptions& o = tree->TreeOptions();
    o.SetExpFolderOptions(o.ExpFolderOptions() | toHideRootFolder);
    o.SetExpMiscOptions(o.ExpMiscOptions() | toChangeNotifierThread | toPersistentColumns);
    o.SetExpSyncOptions(toSelectTarget);
    TMemoryStream out;
    WriteComponentResource(out, *tree);
    out.SetPosition(0);
    auto copy = std::make_unique<TExplorerTree>(nullptr);
    ReadComponentResource(out, *copy);
    EXPECT_EQ(copy->Name(), "ExpTree");
    EXPECT_TRUE(copy->Active());
    EXPECT_EQ(copy->FileObjects(), foFolders | foNonFolders | foHidden);
    EXPECT_EQ(copy->RootFolder(), rfCustom);
    EXPECT_EQ(WideToUtf8(copy->RootFolderCustomPath()), files + "/");
    EXPECT_EQ(copy->TreeOptions().ExpFolderOptions(), o.ExpFolderOptions());
    EXPECT_EQ(copy->TreeOptions().ExpMiscOptions(), o.ExpMiscOptions());
    EXPECT_EQ(copy->TreeOptions().ExpSyncOptions(), toSelectTarget);
    EXPECT_EQ(copy->TreeOptions().MiscOptions(), o.MiscOptions());
    // Loaded built the nodes once: the root folder's items at the top.
    EXPECT_EQ(Names(copy.get(), copy->RootNode()), (std::vector<std::string>{"a", "b.txt"}));
}

} // namespace

namespace {

TEST_F(ExplorerNodes, UncheckingKeepsARecordThatHoldsMore) {
    // The root folder's record is where its column layout is kept.
    MakeAll({"a/", "b.txt"});
    TExplorerTree* tree = BareTree();
    PDataNode root = tree->GetFirst();
    TNodeStorage* columns = tree->Storage().Store(Parse(files).get(), skColumns);
    ASSERT_NE(columns, nullptr);
    columns->Storage.Columns().Widths = {120, 80};
    tree->SetCheckState(root, csCheckedNormal);
    EXPECT_EQ(Stored(tree, files), csCheckedNormal);
    EXPECT_EQ(Stored(tree, files + "/a"), csCheckedNormal);
    tree->SetCheckState(root, csUncheckedNormal);
    EXPECT_EQ(Stored(tree, files), -1);
    TNodeStorage* kept = tree->Storage().Find(Parse(files).get(), skColumns);
    ASSERT_NE(kept, nullptr) << "the column layout keeps the record";
    EXPECT_EQ(kept->Storage.Kinds, skColumns);
    EXPECT_EQ(kept->Storage.Columns().Widths, (TWordArray{120, 80}));
    EXPECT_EQ(tree->Storage().CheckedFileNames().Count(), 0);
}

} // namespace
