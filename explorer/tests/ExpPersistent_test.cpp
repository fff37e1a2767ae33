// An explorer tree's saved state: expanded folders, selection, focus, top
// node and root saved and restored across a rebuild; the streams byte for
// byte, and every damaged stream refused without a change; the views.
#include "explorer_fixture.h"
#include "nodestorage_fixture.h"

#include <random>

using namespace ax;
using namespace ax::testing;

namespace {

class ExpState : public ExplorerTest {
protected:
    static void MultiSelect(TCustomExplorerTree* tree) {
        TExplorerTreeOptions& o = tree->TreeOptions();
        o.SetSelectionOptions(o.SelectionOptions() | toMultiSelect);
    }
    static std::vector<std::string> SelectedNames(TCustomExplorerTree* tree) {
        std::vector<std::string> out;
        for (PDataNode n = tree->GetFirstSelected(); n; n = tree->GetNextSelected(n)) out.push_back(NameOf(tree, n));
        return out;
    }
    static std::vector<std::string> Leaves(const TExpPersistent& state) {
        std::vector<std::string> out;
        for (int i = 0; i < state.LeafNodes().Count(); ++i) {
            const TLeafNode* leaf = state.LeafNodes().Items(i);
            out.push_back(WideToUtf8(PIDLToPath(leaf->PIDL.get())) + (leaf->Expanded ? "+" : "-"));
        }
        return out;
    }
    // Throws the nodes away and makes the root node again, as a refresh does.
    static void Rebuild(TCustomExplorerTree* tree) {
        tree->SetActive(false);
        tree->SetActive(true);
    }
    static Bytes Saved(TStreamableClass& object, bool words = false) {
        TMemoryStream s;
        object.SaveToStream(s, 3, words);
        return s.Bytes();
    }
    static void Loaded(TStreamableClass& object, const Bytes& bytes, bool words = false) {
        TMemoryStream s(bytes);
        object.LoadFromStream(s, 3, words);
    }
    static Bytes Wide(const std::u16string& text) {
        Bytes out = U32(uint32_t(text.size()));
        for (char16_t c : text) {
            out.push_back(uint8_t(c));
            out.push_back(uint8_t(c >> 8));
        }
        return out;
    }
    static Bytes EmptyStorage() { return Cat({U32(2), U8(0), U8(0), U8(1), U32(0), Tail(0, 0, 0)}); }
};

TEST_F(ExpState, ExpandedFoldersComeBackDeepOnesToo) {
    MakeAll({"a/", "a/b/", "a/b/c/", "a/b/c/x.txt", "a/b2/", "a/b2/y.txt", "d/", "d/y.txt", "e/", "e/z.txt"});
    TExplorerTree* tree = ShownTree();
    PDataNode root = tree->GetFirst();
    PDataNode a = Child(tree, root, "a");
    tree->SetExpanded(a, true);
    tree->SetExpanded(Child(tree, a, "b"), true);
    tree->SetExpanded(tree->FindNodeByPath(W(files + "/a/b/c"), false), true);
    tree->SetExpanded(Child(tree, root, "d"), true);
    TExpPersistent state;
    state.Save(*tree, true, true);
    EXPECT_EQ(Leaves(state), (std::vector<std::string>{files + "/a/b/c+", files + "/d+"}));

    Rebuild(tree);
    EXPECT_EQ(tree->GetFirst()->FirstChild->ChildCount, 0u) << "the nodes were made anew";
    state.Restore(*tree, true, true);
    root = tree->GetFirst();
    a = Child(tree, root, "a");
    EXPECT_TRUE(tree->Expanded(a)) << "on the way to a leaf";
    EXPECT_TRUE(tree->Expanded(Child(tree, a, "b")));
    EXPECT_FALSE(tree->Expanded(Child(tree, a, "b2")));
    EXPECT_TRUE(tree->Expanded(tree->FindNodeByPath(W(files + "/a/b/c"), false)));
    EXPECT_TRUE(tree->Expanded(Child(tree, root, "d")));
    EXPECT_FALSE(tree->Expanded(Child(tree, root, "e")));
}

TEST_F(ExpState, WithNothingExpandedTheStartNodeAloneIsRecorded) {
    MakeAll({"a/", "a/x.txt"});
    TExplorerTree* tree = BareTree();
    TExpPersistent state;
    state.Save(*tree, false, false);
    EXPECT_EQ(Leaves(state), (std::vector<std::string>{files + "+"}));
    tree->SetExpanded(tree->GetFirst(), false);
    state.Save(*tree, false, false);
    EXPECT_EQ(Leaves(state), (std::vector<std::string>{files + "-"}));
    Rebuild(tree);
    EXPECT_TRUE(tree->Expanded(tree->GetFirst()));
    state.Restore(*tree, false, false);
    EXPECT_FALSE(tree->Expanded(tree->GetFirst()));
}

TEST_F(ExpState, WithAHiddenRootTopLevelFoldersAreLeaves) {
    MakeAll({"a/", "a/x.txt", "b/", "b/y.txt"});
    TExplorerTree* tree = BareTree(false);
    TExplorerTreeOptions& o = tree->TreeOptions();
    o.SetExpFolderOptions(o.ExpFolderOptions() | toHideRootFolder);
    tree->SetActive(true);
    tree->SetExpanded(Child(tree, tree->RootNode(), "b"), true);
    TExpPersistent state;
    state.Save(*tree, false, false);
    EXPECT_EQ(Leaves(state), (std::vector<std::string>{files + "/b+"}));
    Rebuild(tree);
    state.Restore(*tree, false, false);
    EXPECT_TRUE(tree->Expanded(Child(tree, tree->RootNode(), "b")));
    EXPECT_FALSE(tree->Expanded(Child(tree, tree->RootNode(), "a")));
}

TEST_F(ExpState, TheSelectionComesBackAndAGoneItemStopsNothing) {
    MakeAll({"a/", "b/", "c.txt", "d.txt", "e.txt"});
    TExplorerTree* tree = BareTree();
    MultiSelect(tree);
    PDataNode root = tree->GetFirst();
    for (const char* name : {"e.txt", "a", "c.txt"}) tree->SetSelected(Child(tree, root, name), true);
    TExpPersistent state;
    state.Save(*tree, true, true);
    EXPECT_EQ(PidlString(state.SelectionParentPIDL()), PidlString(Parse(files).get()));
    EXPECT_EQ(state.SelectedPIDLs().Count(), 3);

    Rebuild(tree);
    state.Restore(*tree, true, false);
    EXPECT_EQ(SelectedNames(tree), (std::vector<std::string>{"a", "c.txt", "e.txt"}));
    EXPECT_EQ(NameOf(tree, tree->FocusedNode()), "a") << "the first selected is focused";

    // The middle one goes: the ones before and after it are still selected.
    ASSERT_EQ(unlink((files + "/c.txt").c_str()), 0);
    Rebuild(tree);
    state.Restore(*tree, true, false);
    EXPECT_EQ(SelectedNames(tree), (std::vector<std::string>{"a", "e.txt"}));
    // So does the first.
    ASSERT_EQ(rmdir((files + "/a").c_str()), 0);
    Rebuild(tree);
    state.Restore(*tree, true, false);
    EXPECT_EQ(SelectedNames(tree), (std::vector<std::string>{"e.txt"}));
}

TEST_F(ExpState, ASelectedNodeWithoutAnItemIsPassedOver) {
    MakeAll({"a/", "b.txt", "c.txt"});
    TExplorerTree* tree = BareTree();
    MultiSelect(tree);
    PDataNode root = tree->GetFirst();
    PDataNode a = Child(tree, root, "a");
    PDataNode bare = tree->AddChild(a); // a node of the application's own, no shell item
    tree->SetSelected(a, true);
    tree->SetSelected(bare, true);
    tree->SetSelected(Child(tree, root, "c.txt"), true);
    TExpPersistent state;
    state.Save(*tree, true, false);
    ASSERT_EQ(state.SelectedPIDLs().Count(), 2);
    Rebuild(tree);
    state.Restore(*tree, true, false);
    EXPECT_EQ(SelectedNames(tree), (std::vector<std::string>{"a", "c.txt"}));
}

TEST_F(ExpState, FocusAndTopNodeComeBackAndTheFocusedNodeGoesToTheTop) {
    for (int i = 0; i < 60; ++i) Make("f" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".txt");
    TExplorerTree* tree = ShownTree(true, 200, 170);
    PDataNode root = tree->GetFirst();
    tree->SetTopNode(Child(tree, root, "f10.txt"));
    ASSERT_EQ(NameOf(tree, tree->TopNode()), "f10.txt");
    PDataNode f12 = Child(tree, root, "f12.txt");
    tree->SetSelected(f12, true);
    tree->SetFocusedNode(f12);
    TExpPersistent state;
    state.Save(*tree, true, true);
    EXPECT_EQ(WideToUtf8(PIDLToPath(state.TopNodePIDL())), files + "/f10.txt");
    EXPECT_EQ(WideToUtf8(PIDLToPath(state.FocusedPIDL())), files + "/f12.txt");

    Rebuild(tree);
    state.Restore(*tree, true, false);
    EXPECT_EQ(NameOf(tree, tree->TopNode()), "f10.txt");
    Rebuild(tree);
    state.Restore(*tree, true, true);
    EXPECT_EQ(NameOf(tree, tree->FocusedNode()), "f12.txt");
    EXPECT_EQ(NameOf(tree, tree->TopNode()), "f12.txt");
}

TEST_F(ExpState, RestoringSetsTheSavedRootAgain) {
    MakeAll({"sub/", "sub/in.txt", "other/"});
    TExplorerTree* tree = BareTree();
    tree->SetRootFolderCustomPath(W(files + "/sub"));
    TExpPersistent state;
    state.Save(*tree, true, true);
    EXPECT_EQ(state.RootFolder(), rfCustom);
    EXPECT_EQ(WideToUtf8(state.RootFolderCustomPath()), files + "/sub/");
    tree->SetRootFolderCustomPath(W(files + "/other"));
    state.Restore(*tree, true, true);
    EXPECT_EQ(PathOf(tree, tree->GetFirst()), files + "/sub");
    // A root given as a PIDL.
    tree->SetRootFolderCustomPIDL(Parse(files + "/other").get());
    state.Save(*tree, false, false);
    EXPECT_TRUE(state.RootFolderCustomPath().empty());
    tree->SetRootFolder(rfPersonal);
    state.Restore(*tree, false, false);
    EXPECT_EQ(tree->RootFolder(), rfCustomPIDL);
    EXPECT_EQ(PathOf(tree, tree->GetFirst()), files + "/other");
    // A standard folder.
    tree->SetRootFolder(rfPersonal);
    state.Save(*tree, false, false);
    tree->SetRootFolderCustomPath(W(files + "/sub"));
    state.Restore(*tree, false, false);
    EXPECT_EQ(tree->RootFolder(), rfPersonal);
}

// ---- Streams ------------------------------------------------------------------------------

TEST_F(ExpState, TheStreamByteForByte) {
    MakeAll({"sub/", "sub/x.txt"});
    TExplorerTree* tree = BareTree();
    tree->SetRootFolderCustomPath(W(files + "/sub"));
    TExpPersistent state;
    state.Save(*tree, true, true);
    const Bytes sub = PathPidl(files + "/sub");
    const std::u16string path = Utf8ToWide(files + "/sub/");
    const Bytes expected = Cat({U32(1), U8(1), StreamedPidl(sub), // one leaf, expanded
                                U32(0), U32(0),                   // no selection
                                U32(0), StreamedPidl(sub),        // no custom PIDL; the top node
                                U8(rfCustom), Wide(path), EmptyStorage()});
    EXPECT_EQ(Saved(state), expected);

    // With version words: the record's, the leaf list's, the leaf's and the storage record's.
    const Bytes words = Cat({U32(3), U32(3), U32(1), U32(3), U8(1), StreamedPidl(sub), U32(0), U32(0), U32(0),
                             StreamedPidl(sub), U8(rfCustom), Wide(path), U32(3), U32(2), U8(0), U8(0), U8(1),
                             U32(3), U32(0), Tail(0, 0, 0)});
    EXPECT_EQ(Saved(state, true), words);

    for (bool withWords : {false, true}) {
        TExpPersistent copy;
        Loaded(copy, withWords ? words : expected, withWords);
        EXPECT_EQ(Leaves(copy), (std::vector<std::string>{files + "/sub+"}));
        EXPECT_EQ(copy.RootFolder(), rfCustom);
        EXPECT_EQ(copy.RootFolderCustomPath(), path);
        EXPECT_EQ(Saved(copy, withWords), withWords ? words : expected);
    }
}

TEST_F(ExpState, OlderRecordsHoldThePathAsBytes) {
    // Version 2 with words: the record's, the leaf list's (no leaves), four
    // empty PIDL fields, the root, the path as bytes, a storage record
    // without children.
    const Bytes record = Cat({U32(2), U32(2), U32(0), U32(0), U32(0), U32(0), U32(0), U8(rfCustom), U32(4),
                              Bytes{'/', 't', 'm', 'p'}, U32(2), U32(2), U8(0), U8(0), U8(0), Tail(0, 0, 0)});
    TExpPersistent state;
    TMemoryStream s(record);
    state.LoadFromStream(s, 3, true);
    EXPECT_EQ(WideToUtf8(state.RootFolderCustomPath()), "/tmp");
    EXPECT_EQ(state.StreamVersion(), 2);
}

// A saved state with something in every part.
class ExpStreams : public ExpState {
protected:
    Bytes Sample(bool words) {
        MakeAll({"a/", "a/x.txt", "b.txt", "c.txt"});
        TExplorerTree* tree = BareTree();
        MultiSelect(tree);
        PDataNode root = tree->GetFirst();
        tree->SetExpanded(Child(tree, root, "a"), true);
        tree->SetSelected(Child(tree, root, "b.txt"), true);
        tree->SetSelected(Child(tree, root, "c.txt"), true);
        TView view;
        view.ViewName = u"Sample";
        view.Save(*tree, true, true);
        TNodeStorage* record = view.Storage().Store(Parse(files + "/b.txt").get(), skCheck);
        record->Storage.CheckState = csCheckedNormal;
        return Saved(view, words);
    }
};

TEST_F(ExpStreams, EveryShortStreamIsRefusedAndChangesNothing) {
    for (bool words : {false, true}) {
        const Bytes whole = Sample(words);
        TView view;
        Loaded(view, whole, words);
        ASSERT_EQ(view.ViewName, u"Sample");
        for (size_t n = 0; n < whole.size(); ++n) {
            const int64_t blocks = malloc_->LiveBlocks();
            TMemoryStream s(Bytes(whole.begin(), whole.begin() + long(n)));
            EXPECT_THROW(view.LoadFromStream(s, 3, words), EReadError) << n << " bytes";
            ASSERT_EQ(Saved(view, words), whole) << n << " bytes";
            ASSERT_EQ(malloc_->LiveBlocks(), blocks) << n << " bytes";
        }
    }
}

TEST_F(ExpStreams, BytesNoWriterProducesAreRefused) {
    const Bytes whole = Sample(false);
    TView view;
    Loaded(view, whole, false);
    auto refused = [&](Bytes bytes, const char* what) {
        TMemoryStream s(bytes);
        EXPECT_THROW(view.LoadFromStream(s, 3, false), EReadError) << what;
        EXPECT_EQ(Saved(view), whole) << what;
    };
    // The leaf count, then the first leaf's expanded byte.
    Bytes b = whole;
    b[0] = 0xFF, b[1] = 0xFF, b[2] = 0xFF, b[3] = 0x7F;
    refused(b, "a leaf count beyond the stream");
    b = whole;
    b[4] = 2;
    refused(b, "an expanded byte that is no boolean");
    // The root folder byte sits after the leaves and the four PIDL fields.
    TMemoryStream s(whole);
    TLeafNodeList leaves;
    leaves.LoadFromStream(s, 3, false);
    TPIDLManager pm;
    UniquePIDL(pm.LoadFromStream(s));
    TPIDLList list;
    list.LoadFromStream(s);
    UniquePIDL(pm.LoadFromStream(s));
    UniquePIDL(pm.LoadFromStream(s));
    const size_t rootAt = size_t(s.Position());
    ASSERT_EQ(whole[rootAt], rfCustom);
    b = whole;
    b[rootAt] = kRootFolderCount;
    refused(b, "a root folder out of range");
    b = whole;
    b[rootAt + 1] = 0xFF, b[rootAt + 2] = 0xFF, b[rootAt + 3] = 0xFF, b[rootAt + 4] = 0x7F;
    refused(b, "a path longer than the stream");
    b = whole;
    b[rootAt + 4] = 0x80;
    refused(b, "a negative path length");
}

TEST_F(ExpStreams, SeededMutationsNeverCrashLeakOrLoadHalfWay) {
    int loaded = 0, refused = 0;
    for (bool words : {false, true}) {
        const Bytes job = Sample(words);
        for (uint32_t seed = 1; seed <= 3; ++seed) {
            std::mt19937 random(seed);
            auto at = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
            for (int round = 0; round < 200; ++round) {
                Bytes bytes = job;
                if (round % 3 == 0) {
                    bytes.resize(at(bytes.size()));
                } else if (round % 3 == 1) {
                    for (int flips = 1 + int(at(4)); flips > 0; --flips) bytes[at(bytes.size())] ^= uint8_t(1u << at(8));
                } else {
                    const size_t where = at(bytes.size() - 3);
                    const uint32_t big[] = {0x7FFFFFFF, 0xFFFFFFFF, 0x00010000, 0x40000001};
                    const uint32_t v = big[at(4)];
                    for (int i = 0; i < 4; ++i) bytes[where + i] = uint8_t(v >> (8 * i));
                }
                TView view;
                Loaded(view, job, words);
                const Bytes before = Saved(view, words);
                const int64_t blocks = malloc_->LiveBlocks();
                TMemoryStream s(bytes);
                try {
                    view.LoadFromStream(s, 3, words);
                    ++loaded;
                    Saved(view, words);
                } catch (const EReadError&) {
                    ++refused;
                    ASSERT_EQ(Saved(view, words), before) << "seed " << seed << " round " << round;
                    ASSERT_EQ(malloc_->LiveBlocks(), blocks) << "seed " << seed << " round " << round;
                }
            }
        }
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(loaded, 0);
}

TEST_F(ExpStreams, ViewListsAndManagers) {
    const Bytes view = Sample(true);
    // A manager: its version word, the list's, the count, the views.
    const Bytes manager = Cat({U32(3), U32(3), U32(2), view, view});
    TViewManager views;
    Loaded(views, manager, true);
    ASSERT_EQ(views.Views().Count(), 2);
    EXPECT_EQ(Saved(views, true), manager);
    EXPECT_EQ(views.FindView(u"SAMPLE"), views.Views().Items(1)) << "the last of that name";
    // An inflated count or a short stream leaves the views as they were.
    for (const Bytes& bad : {Cat({U32(3), U32(3), U32(1000000), view}), Bytes(manager.begin(), manager.end() - 1)}) {
        TMemoryStream s(bad);
        EXPECT_THROW(views.LoadFromStream(s, 3, true), EReadError);
        EXPECT_EQ(Saved(views, true), manager);
    }
    // The global manager always writes and reads version 3 with every word.
    TGlobalViewManager global;
    Loaded(global, manager, false);
    EXPECT_EQ(global.Views().Count(), 2);
    EXPECT_EQ(Saved(global, false), manager);
}

// ---- Views --------------------------------------------------------------------------------

TEST_F(ExpState, ViewsShowWhatWasStored) {
    MakeAll({"a/", "a/x.txt", "b/", "b/y.txt"});
    TExplorerTree* tree = BareTree();
    PDataNode root = tree->GetFirst();
    PDataNode a = Child(tree, root, "a");
    tree->SetExpanded(a, true);
    tree->SetSelected(a, true);
    tree->SetFocusedNode(a);
    tree->ViewManager().StoreView(u"Work", *tree);
    tree->SetExpanded(a, false);
    tree->SetExpanded(Child(tree, root, "b"), true);
    tree->SetSelected(Child(tree, root, "b"), true);
    tree->ViewManager().ShowView(u"work", *tree);
    root = tree->GetFirst();
    EXPECT_TRUE(tree->Expanded(Child(tree, root, "a")));
    EXPECT_FALSE(tree->Expanded(Child(tree, root, "b")));
    EXPECT_EQ(PathOf(tree, tree->FocusedNode()), files + "/a");
    tree->ViewManager().ShowView(u"missing", *tree);
    EXPECT_EQ(PathOf(tree, tree->FocusedNode()), files + "/a");

    // The process's views carry the check states along.
    TGlobalViewManager global;
    tree->SetCheckState(Child(tree, root, "b"), csCheckedNormal);
    global.StoreView(u"Checked", *tree);
    tree->SetCheckState(Child(tree, root, "b"), csUncheckedNormal);
    EXPECT_EQ(Stored(tree, files + "/b"), -1);
    global.ShowView(u"Checked", *tree);
    EXPECT_EQ(Stored(tree, files + "/b"), csCheckedNormal);
    EXPECT_EQ(int(Child(tree, tree->GetFirst(), "b")->CheckState), int(csCheckedNormal));
}

} // namespace
