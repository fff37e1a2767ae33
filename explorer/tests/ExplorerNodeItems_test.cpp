// What each node of the explorer tree holds of its item: the item's PIDL
// joined from its folder's only when asked for, and right after the folder
// is renamed, read again or collapsed and expanded anew; what a listing
// told of a file kept through refreshes; the check states those nodes show
// and store; the column managers of nodes that asked for one.
#include "explorer_fixture.h"

#include <unistd.h>

using namespace ax;
using namespace ax::testing;

namespace {

class ExplorerNodeItems : public ExplorerTest {
protected:
    // The node at files/<a>/<b>/..., every folder on the way expanded.
    PDataNode At(TExplorerTree* tree, std::initializer_list<const char*> names) {
        PDataNode node = tree->GetFirst();
        for (const char* name : names) {
            tree->SetExpanded(node, true);
            node = node ? Child(tree, node, name) : nullptr;
        }
        return node;
    }
    // node's child named name, nil when none; never makes children.
    static PDataNode Existing(TCustomExplorerTree* tree, PDataNode node, const std::string& name) {
        for (PDataNode c = node->FirstChild; c; c = c->NextSibling)
            if (NameOf(tree, c) == name) return c;
        return nullptr;
    }
    // The node's PIDL is the one the path parses to.
    ::testing::AssertionResult NamesPath(TExplorerTree* tree, PDataNode node, const std::string& path) {
        TNamespace* ns = tree->NodeNamespace(node);
        if (!ns) return ::testing::AssertionFailure() << "no item";
        const UniquePIDL expected = Parse(path);
        if (!expected) return ::testing::AssertionFailure() << path << " does not parse";
        if (!EqualPIDL(ns->AbsolutePIDL(), expected.get()))
            return ::testing::AssertionFailure() << "the PIDL names " << WideToUtf8(PIDLToPath(ns->AbsolutePIDL()));
        if (WideToUtf8(ns->NameForParsing()) != path)
            return ::testing::AssertionFailure() << "the path is " << WideToUtf8(ns->NameForParsing());
        return ::testing::AssertionSuccess();
    }
};

} // namespace

TEST_F(ExplorerNodeItems, DeepItemsNameTheirPathsWhetherTheirParentsAskedFirstOrNot) {
    MakeAll({"a/", "a/b/", "a/b/deep.txt", "a/b/other.txt", "top.txt"});
    TExplorerTree* tree = BareTree();
    PDataNode deep = At(tree, {"a", "b", "deep.txt"});
    ASSERT_NE(deep, nullptr);
    // The file first, its folders after: each joins its own PIDL.
    EXPECT_TRUE(NamesPath(tree, deep, files + "/a/b/deep.txt"));
    EXPECT_TRUE(NamesPath(tree, At(tree, {"a", "b"}), files + "/a/b"));
    EXPECT_TRUE(NamesPath(tree, At(tree, {"a"}), files + "/a"));
    EXPECT_TRUE(NamesPath(tree, At(tree, {"a", "b", "other.txt"}), files + "/a/b/other.txt"));
    EXPECT_TRUE(NamesPath(tree, At(tree, {"top.txt"}), files + "/top.txt"));
    // Asked again: the same PIDL, not a new one each time.
    TNamespace* ns = tree->NodeNamespace(deep);
    EXPECT_EQ(ns->AbsolutePIDL(), ns->AbsolutePIDL());
    EXPECT_EQ(WideToUtf8(ns->NameInFolder()), "deep.txt");
    EXPECT_EQ(ns->Parent(), tree->NodeNamespace(deep->Parent));
    EXPECT_FALSE(ns->IsDesktop());
    EXPECT_FALSE(ns->IsRecycleBin());
    EXPECT_FALSE(ns->IsMyComputer());
}

TEST_F(ExplorerNodeItems, AFolderRenamedInPlaceGivesItsChildrenAndTheirChecksTheNewPath) {
    MakeAll({"old/", "old/inner/", "old/inner/kept.txt", "old/loose.txt"});
    TExplorerTree* tree = BareTree();
    TExplorerTreeOptions& o = tree->TreeOptions();
    o.SetMiscOptions(o.MiscOptions() | toEditable);
    PDataNode folder = At(tree, {"old"});
    // Listed, checked, and none of the children asked for its PIDL yet.
    tree->SetCheckState(At(tree, {"old", "inner", "kept.txt"}), csCheckedNormal);
    ASSERT_EQ(Stored(tree, files + "/old/inner/kept.txt"), csCheckedNormal);

    tree->SetText(folder, NoColumn, u"new");
    ASSERT_EQ(access((files + "/new/inner/kept.txt").c_str(), F_OK), 0) << "renamed on disk";
    EXPECT_TRUE(NamesPath(tree, folder, files + "/new"));
    PDataNode kept = At(tree, {"new", "inner", "kept.txt"});
    ASSERT_NE(kept, nullptr);
    EXPECT_TRUE(NamesPath(tree, kept, files + "/new/inner/kept.txt"));
    EXPECT_TRUE(NamesPath(tree, At(tree, {"new", "loose.txt"}), files + "/new/loose.txt"));
    EXPECT_EQ(int(kept->CheckState), int(csCheckedNormal)) << "the check went with the name";
    // inner holds nothing but its checked file; old/new holds one more.
    EXPECT_EQ(Lines(tree->Storage().CheckedFileNames()),
              (std::vector<std::string>{files + "/new/inner", files + "/new/inner/kept.txt"}));
    EXPECT_EQ(Stored(tree, files + "/new/inner/kept.txt"), csCheckedNormal);
}

TEST_F(ExplorerNodeItems, NodesMadeAgainAfterAReadOrACollapseKeepPathsAndChecks) {
    MakeAll({"f/", "f/one.txt", "f/two.txt", "f/sub/", "f/sub/three.txt"});
    TExplorerTree* tree = BareTree();
    PDataNode f = At(tree, {"f"});
    tree->SetCheckState(At(tree, {"f", "two.txt"}), csCheckedNormal);
    tree->SetCheckState(At(tree, {"f", "sub", "three.txt"}), csCheckedNormal);

    // Read again: new nodes, new items.
    tree->ReReadFolderNode(f);
    EXPECT_EQ(f->ChildCount, 3u);
    EXPECT_TRUE(NamesPath(tree, At(tree, {"f", "two.txt"}), files + "/f/two.txt"));
    EXPECT_EQ(int(At(tree, {"f", "two.txt"})->CheckState), int(csCheckedNormal));
    EXPECT_EQ(int(At(tree, {"f", "one.txt"})->CheckState), int(csUncheckedNormal));

    // Collapsed, its children dropped, expanded again.
    tree->SetExpanded(f, false);
    tree->DeleteChildren(f);
    ASSERT_EQ(f->ChildCount, 0u);
    PDataNode three = At(tree, {"f", "sub", "three.txt"});
    ASSERT_NE(three, nullptr);
    EXPECT_TRUE(NamesPath(tree, three, files + "/f/sub/three.txt"));
    EXPECT_EQ(int(three->CheckState), int(csCheckedNormal));
    EXPECT_EQ(int(At(tree, {"f", "two.txt"})->CheckState), int(csCheckedNormal));
    EXPECT_EQ(Lines(tree->Storage().CheckedFileNames()),
              (std::vector<std::string>{files + "/f/sub", files + "/f/sub/three.txt", files + "/f/two.txt"}));
}

TEST_F(ExplorerNodeItems, WhatTheListingToldOfFilesLastsUntilTheFolderTellsOtherwise) {
    MakeAll({"dir/", "dir/inside.txt", "plain.txt", "turns"});
    TExplorerTree* tree = BareTree();
    PDataNode root = tree->GetFirst();
    PDataNode plain = Child(tree, root, "plain.txt");
    PDataNode turns = Child(tree, root, "turns");
    PDataNode dir = Child(tree, root, "dir");
    ASSERT_TRUE(plain && turns && dir);
    EXPECT_FALSE(tree->HasChildren(plain));
    EXPECT_TRUE(tree->HasChildren(dir));

    // A merge with nothing changed: the items forget what they answered,
    // the nodes keep their buttons.
    tree->RereadAndMergeFolder(root, false);
    EXPECT_FALSE(tree->HasChildren(plain));
    EXPECT_FALSE(tree->HasChildren(turns));
    EXPECT_TRUE(tree->HasChildren(dir));

    // The file becomes a folder of the same name: the same node, a button.
    ASSERT_EQ(unlink((files + "/turns").c_str()), 0);
    Make("turns/");
    Make("turns/now.txt");
    tree->RereadAndMergeFolder(root, false);
    EXPECT_EQ(Existing(tree, root, "turns"), turns);
    EXPECT_TRUE(tree->HasChildren(turns));
    tree->SetExpanded(turns, true);
    EXPECT_EQ(Names(tree, turns), (std::vector<std::string>{"now.txt"}));
}

TEST_F(ExplorerNodeItems, AColumnManagerIsANodesOwn) {
    MakeAll({"a.txt", "b.txt"});
    TExplorerTree* tree = BareTree();
    PDataNode root = tree->GetFirst();
    PDataNode a = Child(tree, root, "a.txt");
    PDataNode b = Child(tree, root, "b.txt");
    TColumnManager* first = tree->ColumnManager(a);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(tree->ColumnManager(a), first) << "made once";
    EXPECT_NE(tree->ColumnManager(b), first);
    EXPECT_EQ(tree->ColumnManager(nullptr), nullptr);
    // Freed with its node, and with the tree for those left.
    tree->DeleteNode(a);
    EXPECT_EQ(Names(tree, root), (std::vector<std::string>{"b.txt"}));
    EXPECT_EQ(tree->ColumnManager(b)->Tree(), tree);
}
