// The explorer tree and list as a pair: their defaults, following each
// other's navigation, the list's browsing limits and keys; the change-link
// dispatcher on its own, with callbacks that unlink or free controls.
#include "pair_fixture.h"

#include "framework/streaming.h"
#include "rtl/sysutils.h"
#include "shell/PIDLTools.h"

#include <stdexcept>

using namespace ax;
using namespace ax::testing;

namespace {

class ExplorerViews : public PairTest {
protected:
    void TearDown() override {
        PairTest::TearDown();
        EXPECT_EQ(TExpChangeDispatch::Instance().Count(), 0) << "links outlived their controls";
    }
};

TEST_F(ExplorerViews, DefaultsOfTheTreeAndTheList) {
    auto* t = TComponent::Create<TExplorerTreeview>(app.get());
    auto* l = TComponent::Create<TExplorerListview>(app.get());
    EXPECT_EQ(t->FileObjects(), foFolders | foHidden);
    EXPECT_EQ(l->FileObjects(), foFolders | foNonFolders | foHidden);
    for (TCustomExplorerTree* c : {static_cast<TCustomExplorerTree*>(t), static_cast<TCustomExplorerTree*>(l)}) {
        const TExplorerTreeOptions& o = c->TreeOptions();
        EXPECT_EQ(o.AutoOptions(), TAutoOptions(toAutoScroll)) << c->ClassName();
        EXPECT_TRUE(o.SelectionOptions() & toSiblingSelectConstraint);
        EXPECT_FALSE(o.SelectionOptions() & toLevelSelectConstraint);
        EXPECT_TRUE(o.SelectionOptions() & toMultiSelect);
        EXPECT_EQ(o.ExpImageOptions(), toImages | toThreadedImages | toMarkCutAndCopy);
        EXPECT_EQ(o.ExpSyncOptions(), toCollapseTargetFirst | toExpandTarget | toSelectTarget);
    }
    const TExplorerTreeOptions& to = t->TreeOptions();
    EXPECT_EQ(to.MiscOptions(), toAcceptOLEDrop | toEditable | toToggleOnDblClick);
    EXPECT_TRUE(to.PaintOptions() & toShowButtons);
    EXPECT_EQ(to.ExpFolderOptions(), toFoldersExpandable);
    EXPECT_EQ(to.ExpShellOptions(), toContextMenus);
    EXPECT_EQ(to.ExpMiscOptions(), toBrowseExecuteFolder | toBrowseExecuteFolderShortcut | toChangeNotifierThread |
                                       toRemoveContextMenuShortCut);
    const TExplorerTreeOptions& lo = l->TreeOptions();
    EXPECT_EQ(lo.MiscOptions(), toAcceptOLEDrop | toEditable | toReportMode | toToggleOnDblClick);
    EXPECT_FALSE(lo.PaintOptions() & toShowButtons);
    EXPECT_TRUE(lo.SelectionOptions() & toRightClickSelect);
    EXPECT_EQ(lo.ExpFolderOptions(), toHideRootFolder);
    EXPECT_EQ(lo.ExpShellOptions(), toRightAlignSizeColumn | toContextMenus | toShellColumnMenu);
    EXPECT_EQ(lo.ExpMiscOptions(), toBrowseExecuteFolder | toBrowseExecuteFolderShortcut | toChangeNotifierThread |
                                       toExecuteOnDblClk);
    EXPECT_EQ(l->Header().Height(), 17);
    // The shell's columns show the header on top of the list's own options.
    EXPECT_EQ(l->Header().Options(), hoColumnResize | hoDblClickResize | hoDrag | hoShowSortGlyphs | hoVisible);
    EXPECT_EQ(l->Indent(), 0);
    EXPECT_EQ(l->Margin(), 4);
    EXPECT_EQ(l->ColumnDetails(), cdShellColumns);
    EXPECT_EQ(ExpChangeDispatch(), &TExpChangeDispatch::Instance()) << "the pair installs the dispatcher";
}

TEST_F(ExplorerViews, SelectingAFolderInTheTreeShowsItInTheList) {
    MakeAll({"a/", "a/a1.txt", "a/sub/", "b/", "b/b1.txt", "top.txt"});
    ShowPair();
    EXPECT_EQ(ListFolder(), files);
    EXPECT_EQ(Names(list, list->RootNode()), (std::vector<std::string>{"a", "b", "top.txt"}));

    Click(tree, TreeNode("a"));
    EXPECT_EQ(ListFolder(), files + "/a");
    EXPECT_EQ(Names(list, list->RootNode()), (std::vector<std::string>{"a1.txt", "sub"}));
    EXPECT_EQ(TreeSelection(), files + "/a") << "the list's announcement did not move the tree";

    // Browsing the tree from code is a selection change too.
    tree->BrowseTo(W(files + "/b"), false);
    EXPECT_EQ(ListFolder(), files + "/b");
    EXPECT_EQ(TreeSelection(), files + "/b");
}

TEST_F(ExplorerViews, BrowsingTheListIntoAFolderSelectsItInTheTree) {
    MakeAll({"a/", "a/sub/", "a/sub/deep.txt", "b/"});
    ShowPair();
    // A double click on a folder of the list opens it; the tree follows.
    DoubleClick(list, ListItem("a"));
    EXPECT_EQ(ListFolder(), files + "/a");
    EXPECT_EQ(TreeSelection(), files + "/a");

    // Enter on the one selected folder opens it as well.
    PDataNode sub = ListItem("sub");
    ASSERT_NE(sub, nullptr);
    list->ClearSelection();
    list->SetSelected(sub, true);
    list->SetFocusedNode(sub);
    Key(list, VK_RETURN);
    EXPECT_EQ(ListFolder(), files + "/a/sub");
    EXPECT_EQ(TreeSelection(), files + "/a/sub");
    EXPECT_TRUE(tree->Expanded(TreeNode("a")));

    // Backspace goes up; the tree follows again.
    Key(list, VK_BACK);
    EXPECT_EQ(ListFolder(), files + "/a");
    EXPECT_EQ(TreeSelection(), files + "/a");
}

TEST_F(ExplorerViews, BrowsingTheListToAFileShowsItsFolderAndSelectsIt) {
    MakeAll({"a/", "a/one.txt", "a/two.txt"});
    ShowPair();
    EXPECT_TRUE(list->BrowseToPath(W(files + "/a/two.txt"), false, false, false, true));
    EXPECT_EQ(ListFolder(), files + "/a");
    ASSERT_EQ(list->SelectedCount(), 1u);
    EXPECT_EQ(NameOf(list, list->GetFirstSelected()), "two.txt");
    EXPECT_EQ(TreeSelection(), files + "/a");
    // A path that is not there changes nothing.
    EXPECT_FALSE(list->BrowseToPath(W(files + "/missing"), false, false, false, true));
    EXPECT_EQ(ListFolder(), files + "/a");
}

TEST_F(ExplorerViews, TheBrowseLimitKeepsTheListInsideTheTreesRoot) {
    MakeAll({"a/", "a/in.txt"});
    ShowPair();
    TExplorerTreeOptions& o = list->TreeOptions();
    o.SetExpMiscOptions(o.ExpMiscOptions() | toListviewLimitBrowseToRoot);
    ASSERT_NE(list->BrowseLimit(), nullptr) << "taken when the window was made";
    EXPECT_EQ(WideToUtf8(list->BrowseLimit()->NameForParsing()), files);

    Key(list, VK_BACK);
    EXPECT_EQ(ListFolder(), files) << "Backspace at the root is refused";
    EXPECT_FALSE(list->BrowseToPath(W(home), false, false, false, false));
    EXPECT_EQ(ListFolder(), files);
    EXPECT_TRUE(list->BrowseToPath(W(files + "/a"), false, false, false, false));
    Key(list, VK_BACK);
    EXPECT_EQ(ListFolder(), files);

    // Unlinked, the list's own limit holds.
    list->SetExplorerTreeview(nullptr);
    EXPECT_FALSE(list->BrowseToPath(W(root), false, false, false, false));
    o.SetExpMiscOptions(o.ExpMiscOptions() & ~TExpMiscOptions(toListviewLimitBrowseToRoot));
    EXPECT_TRUE(list->BrowseToPath(W(home), false, false, false, false));
    EXPECT_EQ(ListFolder(), home);
}

TEST_F(ExplorerViews, LinkingTwiceLeavesOneLinkEachWayAndFreeingUnlinks) {
    MakeAll({"a/"});
    ShowPair();
    TExpChangeDispatch& d = TExpChangeDispatch::Instance();
    EXPECT_EQ(d.Count(), 2);
    tree->SetExplorerListview(list);
    list->SetExplorerTreeview(tree);
    EXPECT_EQ(d.Count(), 2);
    list->SetExplorerTreeview(nullptr);
    list->SetExplorerTreeview(tree);
    EXPECT_EQ(d.Count(), 2);

    // Freeing the list takes both links and clears the tree's reference.
    list->Free();
    list = nullptr;
    EXPECT_EQ(d.Count(), 0);
    EXPECT_EQ(tree->ExplorerListview(), nullptr);
    Click(tree, TreeNode("a"));
    EXPECT_EQ(TreeSelection(), files + "/a");
}

TEST_F(ExplorerViews, AFollowerFreedDuringADispatchIsSkipped) {
    MakeAll({"a/", "b/"});
    ShowPair(false);
    // A follower registered ahead of the list frees the list and a third
    // control while the tree's change is dispatched.
    auto* other = TComponent::Create<TExplorerTreeview>(form);
    other->SetExplorerListview(list);
    TExpChangeDispatch& d = TExpChangeDispatch::Instance();
    int calls = 0;
    TComponent dummy(nullptr);
    d.RegisterChangeLink(tree, &dummy, [&](TComponent*, PCItemIDList) {
        ++calls;
        if (list) {
            list->Free();
            list = nullptr;
            other->Free();
        }
    }, nullptr);
    // The list's own link to the tree was registered before ours: put it after.
    list->SetExplorerTreeview(nullptr);
    list->SetExplorerTreeview(tree);
    tree->SetActive(true);
    Click(tree, TreeNode("a"));
    EXPECT_GE(calls, 1);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(tree->ExplorerListview(), nullptr);
    EXPECT_EQ(TreeSelection(), files + "/a");
    d.UnRegisterChangeLink(nullptr, &dummy, ukClient);
}

TEST_F(ExplorerViews, AServerFreedByAFollowerLeavesTheDispatchWhole) {
    MakeAll({"a/", "b/"});
    ShowPair();
    tree->BrowseTo(W(files + "/a"), false);
    list->BrowseToPath(W(files + "/b"), false, false, false, false);
    ASSERT_EQ(TreeSelection(), files + "/b");
    list->BrowseToPath(W(files + "/a"), false, false, false, false);
    list->SetExplorerTreeview(nullptr);
    tree->BrowseTo(W(files + "/b"), false);
    ASSERT_EQ(ListFolder(), files + "/a") << "the list no longer follows";
    TExpChangeDispatch& d = TExpChangeDispatch::Instance();
    TComponent dummy(nullptr);
    std::vector<std::string> seen;
    // The first follower frees the tree that announced, and with it the
    // item whose PIDL is being handed round; the list, after it, still
    // gets the whole PIDL.
    d.RegisterChangeLink(tree, &dummy, [&](TComponent*, PCItemIDList pidl) {
        seen.push_back(WideToUtf8(PIDLToPath(pidl)));
        tree->Free();
        tree = nullptr;
    }, nullptr);
    list->SetExplorerTreeview(nullptr);
    list->SetExplorerTreeview(tree);
    // Announce the tree's selection as a selection change would.
    tree->ChangeLinkDispatch();
    EXPECT_EQ(tree, nullptr);
    EXPECT_EQ(seen, (std::vector<std::string>{files + "/b"}));
    EXPECT_EQ(list->ExplorerTreeview(), nullptr);
    d.UnRegisterChangeLink(nullptr, &dummy, ukClient);
}

TEST_F(ExplorerViews, TheListMergesOnlyTheFolderItShows) {
    MakeAll({"a/", "a/one.txt", "a/sub/", "a/sub/in.txt"});
    ShowPair();
    list->BrowseToPath(W(files + "/a"), false, false, false, false);
    ASSERT_EQ(Names(list, list->RootNode()), (std::vector<std::string>{"one.txt", "sub"}));
    Make("a/two.txt");
    PDataNode sub = ListItem("sub");
    list->RereadAndMergeFolder(sub, false);
    EXPECT_EQ(sub->ChildCount, 0u) << "an item is never listed as a folder of its own";
    list->RereadAndMergeFolder(list->RootNode(), true);
    EXPECT_EQ(Names(list, list->RootNode()), (std::vector<std::string>{"one.txt", "sub", "two.txt"}));
}

TEST_F(ExplorerViews, CtrlVPastesIntoTheFolderShownAndF7DoesNot) {
    MakeAll({"a/", "b/"});
    Write(files + "/a/one.txt", "1");
    ShowPair();
    ASSERT_TRUE(list->BrowseToPath(W(files + "/b"), false, false, false, false));
    auto source = TNamespace::CreateFromFileName(W(files + "/a/one.txt"));
    ASSERT_TRUE(source->Copy({source.get()}));
    auto chord = [&](UINT vk) {
        list->SetFocus();
        app->ProcessMessages();
        InjectKey(VK_CONTROL, true);
        InjectKeyStroke(vk);
        InjectKey(VK_CONTROL, false);
        app->ProcessMessages();
    };
    chord(VK_F7); // code 118, a lower-case 'v' only in another table
    EXPECT_FALSE(FileExists(files + "/b/one.txt"));
    chord('V');
    EXPECT_EQ(Read(files + "/b/one.txt"), "1");
    // Pasted again: the name is taken, nothing is overwritten.
    Write(files + "/a/one.txt", "2");
    chord('V');
    EXPECT_EQ(Read(files + "/b/one.txt"), "1");
}

TEST_F(ExplorerViews, AFormDescriptionKeepsThePairLinked) {
    MakeAll({"a/"});
    RegisterExplorerViewsClasses();
    ShowPair();
    form->SetName("Mainform");
    tree->SetName("ExpTree");
    list->SetName("ExpList");
    TMemoryStream out;
    WriteComponentResource(out, *form);
    out.SetPosition(0);
    form->SetName("Before");
    TForm* copy = app->CreateForm<TForm>();
    ReadComponentResource(out, *copy);
    auto* t = dynamic_cast<TExplorerTreeview*>(copy->FindComponent("ExpTree"));
    auto* l = dynamic_cast<TExplorerListview*>(copy->FindComponent("ExpList"));
    ASSERT_NE(t, nullptr);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(t->ExplorerListview(), l);
    EXPECT_EQ(l->ExplorerTreeview(), t);
    EXPECT_EQ(TExpChangeDispatch::Instance().Count(), 4);
    copy->Free();
    EXPECT_EQ(TExpChangeDispatch::Instance().Count(), 2);
}

// ---- The dispatcher alone -----------------------------------------------------------------

class ChangeDispatch : public ::testing::Test {
protected:
    void TearDown() override { d.UnRegisterChangeLink(nullptr, nullptr, ukEither); }
    TExpChangeLinkEvent Record(const char* name) {
        return [this, name](TComponent* server, PCItemIDList) {
            calls.push_back(std::string(name) + "<" + Name(server));
        };
    }
    std::string Name(TComponent* c) const { return c == &a ? "A" : c == &b ? "B" : c == &c3 ? "C" : "?"; }

    TExpChangeDispatch d; // a private one: the tests' links never meet the pair's
    TComponent a{nullptr}, b{nullptr}, c3{nullptr};
    std::vector<std::string> calls;
};

TEST_F(ChangeDispatch, UnregisterKindsMatchFromTheLastAndTellTheFreeCallback) {
    std::vector<std::string> freed;
    auto free = [&](const char* name) {
        return [&freed, name](TExpChangeLink& link) {
            EXPECT_NE(link.ChangeLinkServer, nullptr) << "told before it is cleared";
            freed.push_back(name);
        };
    };
    d.RegisterChangeLink(&a, &b, Record("1"), free("1"));
    d.RegisterChangeLink(&a, &c3, Record("2"), free("2"));
    d.RegisterChangeLink(&b, &a, Record("3"), free("3"));
    d.RegisterChangeLink(&c3, &a, Record("4"), free("4"));
    d.RegisterChangeLink(&a, &b, Record("5"), free("5"));

    EXPECT_TRUE(d.UnRegisterChangeLink(&a, nullptr, ukServer));
    EXPECT_EQ(freed, (std::vector<std::string>{"5"})) << "the last match only";
    EXPECT_TRUE(d.UnRegisterChangeLink(nullptr, &a, ukClient));
    EXPECT_EQ(freed.back(), "4");
    EXPECT_FALSE(d.UnRegisterChangeLink(&c3, &b, ukBoth));
    EXPECT_TRUE(d.UnRegisterChangeLink(&a, &c3, ukBoth));
    EXPECT_EQ(freed.back(), "2");
    EXPECT_EQ(d.Count(), 2);
    EXPECT_FALSE(d.UnRegisterChangeLink(&b, &b, ukEither)) << "every match, answering false";
    EXPECT_EQ(freed, (std::vector<std::string>{"5", "4", "2", "3", "1"}));
    EXPECT_EQ(d.Count(), 0);
}

TEST_F(ChangeDispatch, AFollowersAnnouncementReachesOnlyLinksNotServedAlready) {
    // A feeds B and C; B feeds A and C; C feeds D (through a fourth object).
    TComponent dd(nullptr);
    d.RegisterChangeLink(&a, &b, [&](TComponent* s, PCItemIDList p) {
        calls.push_back("B<" + Name(s));
        d.DispatchChange(&b, p);
    }, nullptr);
    d.RegisterChangeLink(&a, &c3, [&](TComponent* s, PCItemIDList p) {
        calls.push_back("C<" + Name(s));
        d.DispatchChange(&c3, p);
    }, nullptr);
    d.RegisterChangeLink(&b, &a, Record("A"), nullptr);
    d.RegisterChangeLink(&b, &c3, Record("C"), nullptr);
    d.RegisterChangeLink(&c3, &dd, Record("D"), nullptr);
    d.DispatchChange(&a, nullptr);
    // A's change never comes back to A, C heard it from A and not again
    // from B, and D hears C's.
    EXPECT_EQ(calls, (std::vector<std::string>{"B<A", "C<A", "D<C"}));
    EXPECT_EQ(d.Dispatching(), nullptr);

    // B starting its own change reaches A and C, and C's reaches D.
    calls.clear();
    d.DispatchChange(&b, nullptr);
    EXPECT_EQ(calls, (std::vector<std::string>{"A<B", "C<B"}));
}

TEST_F(ChangeDispatch, CallbacksMayUnlinkAndThrow) {
    d.RegisterChangeLink(&a, &b, [&](TComponent*, PCItemIDList) {
        calls.push_back("B");
        // Unlinks the next follower and itself.
        d.UnRegisterChangeLink(&a, &c3, ukBoth);
        d.UnRegisterChangeLink(&a, &b, ukBoth);
    }, nullptr);
    d.RegisterChangeLink(&a, &c3, Record("C"), nullptr);
    d.DispatchChange(&a, nullptr);
    EXPECT_EQ(calls, (std::vector<std::string>{"B"}));
    EXPECT_EQ(d.Count(), 0);

    d.RegisterChangeLink(&a, &b, [](TComponent*, PCItemIDList) { throw std::runtime_error("follower failed"); },
                         nullptr);
    EXPECT_THROW(d.DispatchChange(&a, nullptr), std::runtime_error);
    EXPECT_EQ(d.Dispatching(), nullptr) << "idle again after the exception";
    calls.clear();
    d.RegisterChangeLink(&b, &c3, Record("C"), nullptr);
    d.DispatchChange(&b, nullptr);
    EXPECT_EQ(calls, (std::vector<std::string>{"C<B"})) << "a fresh dispatch, not a pending one";
}

} // namespace
