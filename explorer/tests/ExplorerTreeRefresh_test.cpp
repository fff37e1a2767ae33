// The explorer tree kept up to date: the merge of a folder's nodes with a
// fresh listing (nodes, storage records, events, focus), the re-read of a
// folder, and changes reaching a registered tree through the change
// notifier, from our own file operations and from outside (the kernel's
// watches of the folders the tree listed), on the injected clock; renames
// in place; icons from the icon thread.
#include "bounded_wait.h"
#include "explorer_fixture.h"
#include "fork_child.h"
#include "platform/shellns/shellops.h"
#include "shell/IconThread.h"
#include "shell/ShellNotifier.h"
#include "shell/SystemImageLists.h"
#include "rtl/scopeguard.h"

#include <atomic>
#include <cctype>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace ax;
using namespace ax::testing;

namespace {

// A tree that counts its merges per folder (by the folder's name).
class CountingTree : public TExplorerTree {
public:
    using TExplorerTree::TExplorerTree;
    void RereadAndMergeFolder(PDataNode node, bool sortAfter) override {
        if (TNamespace* ns = NodeNamespace(node)) ++merges[WideToUtf8(ns->NameInFolder())];
        TExplorerTree::RereadAndMergeFolder(node, sortAfter);
    }
    std::map<std::string, int> merges;
};

class ExplorerRefresh : public ExplorerTest {
protected:
    void TearDown() override {
        // The trees leave the notifier and the icon thread as they go.
        app.reset();
        try {
            ChangeNotifier().UnRegisterAll();
            ShellNotifierFinalize();
            IconThreadFinalize();
        } catch (const std::exception& e) {
            ADD_FAILURE() << e.what();
        }
        ExplorerTest::TearDown();
    }

    // A shown tree (as ShownTree) that registers with the change notifier.
    CountingTree* RegisteredTree(bool threadedImages = false, bool activate = true) {
        form = app->CreateForm<TForm>();
        form->SetBounds(100, 100, 340, 320);
        auto* tree = TComponent::Create<CountingTree>(form);
        tree->SetParent(form);
        tree->SetBounds(0, 0, 264, 224);
        Prepare(tree);
        TExplorerTreeOptions& o = tree->TreeOptions();
        o.SetExpMiscOptions(o.ExpMiscOptions() | toChangeNotifierThread);
        if (threadedImages) o.SetExpImageOptions(o.ExpImageOptions() | toThreadedImages);
        form->Show();
        app->ProcessMessages();
        if (!activate) return tree;
        tree->SetActive(true);
        app->ProcessMessages();
        return tree;
    }
    TShellChangeNotifier& Notifier() { return static_cast<TShellChangeNotifier&>(ChangeNotifier()); }
    // Returns once the kernel watches every folder the tree asked for.
    void WaitWatched() {
        TKernelChangeThread* k = Notifier().KernelThread();
        ASSERT_NE(k, nullptr) << "no folder is watched";
        const uint64_t asked = k->RebuildsAsked();
        ASSERT_TRUE(test::WaitUntil([&] { return k->RebuildsDone() >= asked; })) << "the watches were not set";
    }
    // Lets quiet periods pass and batches arrive until done holds.
    bool Settle(const std::function<bool()>& done) {
        return test::WaitUntil([&] {
            clock.Advance(ShellNotifyQuietMs);
            app->ProcessMessages();
            return done();
        });
    }
    std::vector<std::string> Kids(TCustomExplorerTree* tree, PDataNode node) { return Names(tree, node); }
    static std::vector<uint32_t> Indexes(PDataNode node) {
        std::vector<uint32_t> out;
        for (PDataNode c = node->FirstChild; c; c = c->NextSibling) out.push_back(c->Index);
        return out;
    }
    static PDataNode Existing(TCustomExplorerTree* tree, PDataNode node, const std::string& name) {
        for (PDataNode c = node->FirstChild; c; c = c->NextSibling)
            if (NameOf(tree, c) == name) return c;
        return nullptr;
    }
    static void Touch(const std::string& path) {
        const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0) << path;
        close(fd);
    }
};

// ---- The merge ----------------------------------------------------------------------------

TEST_F(ExplorerRefresh, AFolderThatGainedAndLostItemsKeepsWhatStayed) {
    MakeAll({"a.txt", "b.txt", "c/", "c/inner.txt"});
    TExplorerTree* tree = BareTree();
    PDataNode root = tree->GetFirst();
    PDataNode c = Child(tree, root, "c");
    tree->SetExpanded(c, true);
    tree->SetSelected(c, true);
    tree->SetCheckState(Child(tree, root, "b.txt"), csCheckedNormal);
    tree->SetCheckState(Child(tree, c, "inner.txt"), csCheckedNormal);
    ASSERT_EQ(Stored(tree, files + "/b.txt"), csCheckedNormal);
    std::vector<std::string> changes;
    tree->OnNamespaceStructureChange = [&](TCustomExplorerTree*, PDataNode, TNamespace* ns,
                                           TNamespaceStructureChange change) {
        changes.push_back((change == nscAdd ? "+" : "-") + WideToUtf8(ns->NameInFolder()));
    };
    const UniquePIDL gonePidl = Parse(files + "/b.txt");
    ASSERT_EQ(unlink((files + "/b.txt").c_str()), 0);
    Make("0new.txt");

    tree->RereadAndMergeFolder(root, false);
    EXPECT_EQ(Names(tree, root), (std::vector<std::string>{"a.txt", "c", "0new.txt"}))
        << "kept in place, the new one appended";
    EXPECT_EQ(changes, (std::vector<std::string>{"+0new.txt", "-b.txt"})) << "in the folder's order";
    EXPECT_EQ(tree->Storage().Lookup(gonePidl.get()), nullptr) << "the record of what is gone goes";
    EXPECT_EQ(Existing(tree, root, "c"), c) << "the same node";
    EXPECT_TRUE(tree->Expanded(c));
    EXPECT_TRUE(tree->Selected(c));
    EXPECT_EQ(int(Child(tree, c, "inner.txt")->CheckState), int(csCheckedNormal));
    PDataNode added = Existing(tree, root, "0new.txt");
    EXPECT_EQ(int(added->CheckType), int(ctTriStateCheckBox));
    EXPECT_EQ(int(added->CheckState), int(csUncheckedNormal));
    EXPECT_EQ(Lines(tree->Storage().CheckedFileNames()),
              (std::vector<std::string>{files + "/c", files + "/c/inner.txt"}))
        << "c holds nothing but its checked item";

    changes.clear();
    tree->RereadAndMergeFolder(root, true);
    EXPECT_TRUE(changes.empty()) << "nothing changed on disk";
    EXPECT_EQ(Names(tree, root), (std::vector<std::string>{"0new.txt", "a.txt", "c"})) << "sorted after";
}

TEST_F(ExplorerRefresh, DeletionsMoveTheFocusOnAndLeaveIndexesConsecutive) {
    MakeAll({"a", "b", "c", "d", "e/", "e/x", "e/y"});
    TExplorerTree* tree = BareTree();
    PDataNode root = tree->GetFirst();
    tree->SetFocusedNode(Child(tree, root, "b"));
    ASSERT_EQ(unlink((files + "/b").c_str()), 0);
    ASSERT_EQ(unlink((files + "/c").c_str()), 0);
    tree->RereadAndMergeFolder(root, false);
    EXPECT_EQ(Names(tree, root), (std::vector<std::string>{"a", "d", "e"}));
    EXPECT_EQ(Indexes(root), (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_EQ(NameOf(tree, tree->FocusedNode()), "d") << "to the next sibling, past the other one gone";

    // The last child focused: the focus goes to the folder, which is selected.
    PDataNode e = Child(tree, root, "e");
    tree->SetExpanded(e, true);
    tree->ClearSelection();
    tree->SetFocusedNode(Child(tree, e, "y"));
    ASSERT_EQ(unlink((files + "/e/y").c_str()), 0);
    tree->RereadAndMergeFolder(e, false);
    EXPECT_EQ(Names(tree, e), (std::vector<std::string>{"x"}));
    EXPECT_EQ(tree->FocusedNode(), e);
    EXPECT_TRUE(tree->Selected(e));

    // Emptied: the nodes go, the expand button stays as it was.
    ASSERT_EQ(unlink((files + "/e/x").c_str()), 0);
    tree->RereadAndMergeFolder(e, false);
    EXPECT_EQ(e->ChildCount, 0u);
    EXPECT_TRUE(tree->HasChildren(e));
    // A folder gaining its first item gains its button.
    PDataNode d = Child(tree, root, "d");
    ASSERT_EQ(unlink((files + "/d").c_str()), 0);
    Make("d/");
    tree->RereadAndMergeFolder(root, false);
    d = Existing(tree, root, "d");
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(tree->HasChildren(d));
    Make("d/first");
    tree->RereadAndMergeFolder(d, false);
    EXPECT_TRUE(tree->HasChildren(d));
    EXPECT_EQ(Names(tree, d), (std::vector<std::string>{"first"}));
}

// An item missing from its folder's listing keeps its record unless the
// folder says it is gone: the backup selection is never lost by a view.
TEST_F(ExplorerRefresh, RecordsGoOnlyForItemsTheFolderConfirmsGone) {
    MakeAll({"keep.txt", "gone.txt", ".secret"});
    TExplorerTree* tree = BareTree(); // no hidden items listed
    PDataNode root = tree->GetFirst();
    // A node the application added for an item its folder does not list.
    PDataNode secret = tree->AddNodeToTree(root, std::make_unique<TNamespace>(Parse(files + "/.secret"), nullptr),
                                           ctTriStateCheckBox, true);
    tree->SetCheckState(secret, csCheckedNormal);
    tree->SetCheckState(Child(tree, root, "gone.txt"), csCheckedNormal);
    tree->SetCheckState(Child(tree, root, "keep.txt"), csCheckedNormal);
    ASSERT_EQ(unlink((files + "/gone.txt").c_str()), 0);
    tree->RereadAndMergeFolder(root, false);
    EXPECT_EQ(Names(tree, root), (std::vector<std::string>{"keep.txt"}));
    EXPECT_EQ(Stored(tree, files + "/.secret"), csCheckedNormal) << "not listed, yet there";
    // All the folder shows is checked now: so is the folder.
    EXPECT_EQ(Lines(tree->Storage().CheckedFileNames()),
              (std::vector<std::string>{files, files + "/.secret", files + "/keep.txt"}));

    // A folder that cannot be listed any more is read again: its nodes go,
    // their records stay, and they come back with their states.
    Make("locked/");
    Make("locked/in.txt");
    tree->RereadAndMergeFolder(root, false);
    PDataNode locked = Existing(tree, root, "locked");
    ASSERT_NE(locked, nullptr);
    tree->SetExpanded(locked, true);
    tree->SetCheckState(Child(tree, locked, "in.txt"), csCheckedNormal);
    const std::string moved = ExplorerTest::root + "/elsewhere";
    ASSERT_EQ(rename((files + "/locked").c_str(), moved.c_str()), 0);
    tree->RereadAndMergeFolder(locked, false);
    EXPECT_EQ(locked->ChildCount, 0u);
    EXPECT_EQ(Stored(tree, files + "/locked/in.txt"), -1) << "no such path to parse now";
    ASSERT_EQ(rename(moved.c_str(), (files + "/locked").c_str()), 0);
    EXPECT_EQ(Stored(tree, files + "/locked/in.txt"), csCheckedNormal) << "the record stayed";
    tree->ReReadFolderNode(locked);
    EXPECT_EQ(int(Child(tree, locked, "in.txt")->CheckState), int(csCheckedNormal));
}

TEST_F(ExplorerRefresh, ReadingAFolderAgainKeepsWhatWasExpandedAndSelectedBelowIt) {
    MakeAll({"a/", "a/b/", "a/b/x.txt", "a/b/y.txt", "a/c/", "a/c/z.txt"});
    TExplorerTree* tree = BareTree();
    PDataNode root = tree->GetFirst();
    PDataNode a = Child(tree, root, "a");
    tree->SetExpanded(a, true);
    PDataNode b = Child(tree, a, "b");
    tree->SetExpanded(b, true);
    tree->SetSelected(Child(tree, b, "y.txt"), true);
    Make("a/b/new.txt");
    tree->ReReadFolderNode(a);
    b = Existing(tree, a, "b");
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(tree->Expanded(a));
    EXPECT_TRUE(tree->Expanded(b));
    EXPECT_FALSE(tree->Expanded(Existing(tree, a, "c")));
    EXPECT_EQ(Names(tree, b), (std::vector<std::string>{"new.txt", "x.txt", "y.txt"}));
    EXPECT_EQ(NameOf(tree, tree->GetFirstSelected()), "y.txt");
    EXPECT_EQ(tree->SelectedCount(), 1u);
}

// ---- Changes reaching a registered tree ---------------------------------------------------

TEST_F(ExplorerRefresh, OutsideChangesReachARegisteredTreeAndChangeItsNodes) {
    MakeAll({"sub/", "sub/a.txt", "b.txt"});
    CountingTree* tree = RegisteredTree();
    ASSERT_TRUE(tree->ChangeNotifierRegistered());
    PDataNode root = tree->GetFirst();
    tree->SetExpanded(Child(tree, root, "sub"), true);
    app->ProcessMessages();
    WaitWatched();
    PDataNode sub = Existing(tree, root, "sub");

    // Created, renamed, changed in its attributes, deleted: each by the
    // system's own calls, none through our shell.
    Touch(files + "/sub/new.txt");
    ASSERT_TRUE(Settle([&] { return Existing(tree, sub, "new.txt") != nullptr; })) << "created";
    ASSERT_EQ(rename((files + "/b.txt").c_str(), (files + "/c.txt").c_str()), 0);
    ASSERT_TRUE(Settle([&] { return Existing(tree, root, "c.txt") && !Existing(tree, root, "b.txt"); }))
        << "renamed";
    PDataNode c = Existing(tree, root, "c.txt");
    EXPECT_FALSE(tree->NodeNamespace(c)->ReadOnly());
    ASSERT_EQ(chmod((files + "/c.txt").c_str(), 0444), 0);
    ASSERT_TRUE(Settle([&] { return tree->NodeNamespace(c)->ReadOnly(); })) << "attributes";
    EXPECT_EQ(Existing(tree, root, "c.txt"), c) << "the same node, told again what it is";
    ASSERT_EQ(unlink((files + "/sub/a.txt").c_str()), 0);
    ASSERT_TRUE(Settle([&] { return Existing(tree, sub, "a.txt") == nullptr; })) << "deleted";
    EXPECT_EQ(Names(tree, sub), (std::vector<std::string>{"new.txt"}));
    // A new folder is listed when opened, and watched from then on.
    ASSERT_EQ(mkdir((files + "/deep").c_str(), 0755), 0);
    Touch(files + "/deep/one");
    ASSERT_TRUE(Settle([&] { return Existing(tree, root, "deep") != nullptr; })) << "new folder";
    PDataNode deep = Existing(tree, root, "deep");
    EXPECT_TRUE(tree->HasChildren(deep));
    tree->SetExpanded(deep, true);
    app->ProcessMessages();
    WaitWatched();
    Touch(files + "/deep/two");
    ASSERT_TRUE(Settle([&] { return Names(tree, deep).size() == 2; }));
    EXPECT_EQ(Names(tree, deep), (std::vector<std::string>{"one", "two"}));
}

TEST_F(ExplorerRefresh, ACheckedFolderRenamedOnDiskKeepsItsChecks) {
    MakeAll({"Docs/", "Docs/a.txt", "Docs/Inner/", "Docs/Inner/b.txt", "other.txt"});
    CountingTree* tree = RegisteredTree();
    PDataNode root = tree->GetFirst();
    PDataNode docs = Child(tree, root, "Docs");
    tree->SetExpanded(docs, true);
    tree->SetCheckState(docs, csCheckedNormal);
    app->ProcessMessages();
    WaitWatched();
    ASSERT_EQ(Lines(tree->Storage().CheckedFileNames()),
              (std::vector<std::string>{files + "/Docs", files + "/Docs/a.txt", files + "/Docs/Inner"}));

    // From outside: the kernel pairs the two halves of the move.
    ASSERT_EQ(rename((files + "/Docs").c_str(), (files + "/Papers").c_str()), 0);
    ASSERT_TRUE(Settle([&] { return Existing(tree, root, "Papers") != nullptr; }));
    PDataNode papers = Existing(tree, root, "Papers");
    EXPECT_EQ(Existing(tree, root, "Docs"), nullptr);
    EXPECT_EQ(int(papers->CheckState), int(csCheckedNormal));
    EXPECT_EQ(Lines(tree->Storage().CheckedFileNames()),
              (std::vector<std::string>{files + "/Papers", files + "/Papers/a.txt", files + "/Papers/Inner"}));
    tree->SetExpanded(papers, true);
    EXPECT_EQ(int(Child(tree, papers, "a.txt")->CheckState), int(csCheckedNormal));

    // Through our own shell, a checked file of an unchecked folder.
    tree->SetCheckState(Child(tree, root, "other.txt"), csCheckedNormal);
    ASSERT_TRUE(ShellRenameItem(files + "/other.txt", "renamed.txt", nullptr));
    ASSERT_TRUE(Settle([&] { return Existing(tree, root, "renamed.txt") != nullptr; }));
    EXPECT_EQ(int(Existing(tree, root, "renamed.txt")->CheckState), int(csCheckedNormal));
    EXPECT_EQ(Stored(tree, files + "/renamed.txt"), csCheckedNormal);
    EXPECT_EQ(Lines(tree->Storage().CheckedFileNames()),
              (std::vector<std::string>{files, files + "/Papers", files + "/Papers/a.txt", files + "/Papers/Inner",
                                        files + "/renamed.txt"}))
        << "with both its items checked, the folder is";
}

// A file system mounted on an expanded folder shows there once the notifier
// told of it, and is followed; unmounted, the folder below shows again.
// In a child with a mount namespace of its own; it answers the failed step.
TEST_F(ExplorerRefresh, ATmpfsMountedUnderAnExpandedFolderAppearsAndGoesWithItsUnmount) {
    MakeAll({"Box/", "Box/mnt/", "Box/mnt/under.txt"});
    const std::string point = files + "/Box/mnt";
    const int status = test::RunInChild([&] {
        if (geteuid() != 0 || unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return 126;
        CountingTree* tree = RegisteredTree();
        PDataNode box = Child(tree, tree->GetFirst(), "Box");
        tree->SetExpanded(box, true);
        PDataNode mnt = Child(tree, box, "mnt");
        tree->SetExpanded(mnt, true);
        app->ProcessMessages();
        if (Names(tree, mnt) != std::vector<std::string>{"under.txt"}) return 1;
        TKernelChangeThread* kernel = Notifier().KernelThread();
        const uint64_t asked = kernel->RebuildsAsked();
        if (mount("tmpfs", point.c_str(), "tmpfs", 0, "size=1m") != 0) return 2;
        Write(point + "/top.txt", "x");
        if (!Settle([&] { return Names(tree, mnt) == std::vector<std::string>{"top.txt"}; })) return 3;
        // Watched afresh: a change on the mounted file system is followed.
        if (!test::WaitUntil([&] {
                const uint64_t now = kernel->RebuildsAsked();
                return now > asked && kernel->RebuildsDone() >= now;
            }))
            return 4;
        Touch(point + "/later.txt");
        auto sorted = [&] {
            std::vector<std::string> names = Names(tree, mnt);
            std::sort(names.begin(), names.end());
            return names;
        };
        if (!Settle([&] { return sorted() == std::vector<std::string>{"later.txt", "top.txt"}; })) return 5;
        if (umount(point.c_str()) != 0) return 6;
        if (!Settle([&] { return Names(tree, mnt) == std::vector<std::string>{"under.txt"}; })) return 7;
        app.reset();
        ChangeNotifier().UnRegisterAll();
        ShellNotifierFinalize();
        IconThreadFinalize();
        return 0;
    });
    if (status == 126) GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(status, 0) << "1 listed otherwise, 2 mount, 3 the mount not shown, 4 not watched again, "
                            "5 a change on it not followed, 6 unmount, 7 the folder below not shown again";
}

// After lost changes, a folder's refresh cannot tell a rename from a
// deletion: what was checked is told by path before its records go, and
// kept when nobody listens.
class LostChanges : public ExplorerRefresh {
protected:
    static constexpr int kItems = 100;
    // A registered tree with every item of Box checked (not Box itself).
    CountingTree* CheckedBox() {
        Make("Box/");
        for (int i = 0; i < kItems; ++i) Make("Box/f" + std::to_string(1000 + i));
        CountingTree* tree = RegisteredTree();
        box = Child(tree, tree->GetFirst(), "Box");
        tree->SetExpanded(box, true);
        for (PDataNode c = box->FirstChild; c; c = c->NextSibling) tree->SetCheckState(c, csCheckedNormal);
        app->ProcessMessages();
        return tree;
    }
    // Renames every item on disk; the moves stay with the notifier, whose
    // clock does not move, as if the kernel had dropped them.
    void RenameAllUnseen() {
        for (int i = 0; i < kItems; ++i) {
            const std::string from = files + "/Box/f" + std::to_string(1000 + i);
            ASSERT_EQ(rename(from.c_str(), (from + ".moved").c_str()), 0);
        }
    }
    // What the notifier sends after an overflow: the folder's update, and
    // the word that changes were lost.
    void DeliverLostBatch(CountingTree* tree) {
        auto* list = new TShellEventList;
        list->Add(TShellEvent::Create(sneUpdateDir, tree->NodeNamespace(box)->AbsolutePIDL()));
        list->SetChangesLost(true);
        list->AddRef();
        tree->Perform(WM_SHELLNOTIFY, reinterpret_cast<WPARAM>(list), 0);
    }
    std::vector<std::string> OldPaths() const {
        std::vector<std::string> out;
        for (int i = 0; i < kItems; ++i) out.push_back(files + "/Box/f" + std::to_string(1000 + i));
        return out;
    }
    PDataNode box = nullptr;
};

TEST_F(LostChanges, EveryCheckedItemARefreshDropsIsReportedByPathFirst) {
    CountingTree* tree = CheckedBox();
    std::vector<UniquePIDL> old;
    for (const std::string& path : OldPaths()) old.push_back(Parse(path));
    std::vector<std::string> reported;
    int recordsWhenTold = -1;
    tree->OnSelectionLost = [&](TObject* sender, const std::vector<WideString>& paths) {
        EXPECT_EQ(sender, tree);
        for (const WideString& p : paths) reported.push_back(WideToUtf8(p));
        int left = 0;
        for (const UniquePIDL& p : old) left += tree->Storage().Find(p.get(), skCheck) != nullptr;
        recordsWhenTold = std::max(recordsWhenTold, left);
    };
    RenameAllUnseen();
    DeliverLostBatch(tree);
    std::sort(reported.begin(), reported.end());
    EXPECT_EQ(reported, OldPaths()) << "each checked item once, none left out";
    EXPECT_EQ(recordsWhenTold, kItems) << "told before any record went";
    for (const UniquePIDL& p : old) EXPECT_EQ(tree->Storage().Find(p.get(), skCheck), nullptr);
    EXPECT_EQ(Names(tree, box).size(), size_t(kItems)) << "the new names are listed";
}

TEST_F(LostChanges, WithNobodyToTellTheRecordsStay) {
    CountingTree* tree = CheckedBox();
    std::vector<UniquePIDL> old;
    for (const std::string& path : OldPaths()) old.push_back(Parse(path));
    RenameAllUnseen();
    DeliverLostBatch(tree);
    int kept = 0;
    for (const UniquePIDL& p : old) kept += tree->Storage().Find(p.get(), skCheck) != nullptr;
    EXPECT_EQ(kept, kItems);
}

TEST_F(LostChanges, AnOrdinaryDeletionIsNotReported) {
    CountingTree* tree = CheckedBox();
    int calls = 0;
    tree->OnSelectionLost = [&](TObject*, const std::vector<WideString>&) { ++calls; };
    ASSERT_EQ(unlink((files + "/Box/f1000").c_str()), 0);
    auto* list = new TShellEventList;
    list->Add(TShellEvent::Create(sneUpdateDir, tree->NodeNamespace(box)->AbsolutePIDL()));
    list->AddRef();
    tree->Perform(WM_SHELLNOTIFY, reinterpret_cast<WPARAM>(list), 0);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(Names(tree, box).size(), size_t(kItems - 1));
}

TEST_F(ExplorerRefresh, ARenameInPlaceMovesTheChecksAndAFailedOneEditsAgain) {
    MakeAll({"Folder/", "Folder/in.txt", "taken.txt", "plain.txt"});
    CountingTree* tree = RegisteredTree();
    TExplorerTreeOptions& o = tree->TreeOptions();
    o.SetMiscOptions(o.MiscOptions() | toEditable);
    PDataNode root = tree->GetFirst();
    PDataNode folder = Child(tree, root, "Folder");
    tree->SetExpanded(folder, true);
    tree->SetCheckState(folder, csCheckedNormal);
    std::vector<std::string> edited;
    tree->OnEdited = [&](TBaseDataTree* t, PDataNode node, TColumnIndex) {
        edited.push_back(NameOf(static_cast<TCustomExplorerTree*>(t), node));
    };
    // Typed into the editor and ended with Return.
    auto type = [&](PDataNode node, const char* text) {
        ASSERT_TRUE(tree->EditNode(node, NoColumn));
        app->ProcessMessages();
        // The editor starts with all its text selected: typing replaces it.
        for (const char* c = text; *c; ++c) {
            const UINT vk = *c == '.' ? 0xBE : UINT(std::toupper(static_cast<unsigned char>(*c)));
            InjectKeyStroke(vk, char32_t(*c));
            app->ProcessMessages();
        }
        InjectKeyStroke(VK_RETURN);
        app->ProcessMessages();
    };
    type(folder, "Renamed");
    EXPECT_FALSE(tree->IsEditing());
    EXPECT_EQ(edited, (std::vector<std::string>{"Renamed"})) << "OnEdited after the rename";
    EXPECT_EQ(NameOf(tree, folder), "Renamed") << "the node renamed in place";
    EXPECT_TRUE(tree->Expanded(folder));
    EXPECT_EQ(PathOf(tree, Child(tree, folder, "in.txt")), files + "/Renamed/in.txt") << "listed again";
    EXPECT_EQ(Lines(tree->Storage().CheckedFileNames()),
              (std::vector<std::string>{files + "/Renamed", files + "/Renamed/in.txt"}));
    // The notifier's news of the rename changes nothing more.
    ASSERT_TRUE(Settle([&] { return tree->merges["files"] > 0; }));
    EXPECT_EQ(Existing(tree, root, "Renamed"), folder);
    EXPECT_EQ(int(folder->CheckState), int(csCheckedNormal));

    // A name that is taken: the rename fails and the edit starts again.
    PDataNode plain = Child(tree, root, "plain.txt");
    type(plain, "taken.txt");
    EXPECT_TRUE(tree->IsEditing()) << "WM_EDITNODEAGAIN restarts the edit";
    EXPECT_EQ(NameOf(tree, plain), "plain.txt");
    EXPECT_EQ(PathOf(tree, Existing(tree, root, "taken.txt")), files + "/taken.txt") << "left alone";
    tree->CancelEditNode();
    // A node gone before the message is served is not edited.
    tree->SetText(plain, NoColumn, u"taken.txt");
    tree->DeleteNode(plain);
    app->ProcessMessages();
    EXPECT_FALSE(tree->IsEditing());
}

TEST_F(ExplorerRefresh, BatchesArrivingWhileANodeIsEditedAreDroppedAndReleased) {
    MakeAll({"a.txt"});
    CountingTree* tree = RegisteredTree();
    TExplorerTreeOptions& o = tree->TreeOptions();
    o.SetMiscOptions(o.MiscOptions() | toEditable);
    PDataNode root = tree->GetFirst();
    app->ProcessMessages();
    WaitWatched();
    const int64_t blocks = malloc_->LiveBlocks();
    ASSERT_TRUE(tree->EditNode(Child(tree, root, "a.txt"), NoColumn));
    Notifier().PostShellEvent(sneUpdateDir, tree->NodeNamespace(root)->AbsolutePIDL());
    ASSERT_TRUE(Settle([&] { return malloc_->LiveBlocks() == blocks; })) << "the batch was released";
    EXPECT_EQ(tree->merges["files"], 0) << "dropped while editing";
    EXPECT_TRUE(tree->IsEditing());
    tree->CancelEditNode();
    Notifier().PostShellEvent(sneUpdateDir, tree->NodeNamespace(root)->AbsolutePIDL());
    ASSERT_TRUE(Settle([&] { return tree->merges["files"] == 1; }));
}

TEST_F(ExplorerRefresh, TenCreationsInAWatchedFolderEndInOneMerge) {
    MakeAll({"burst/", "burst/first", "quiet/", "quiet/first"});
    CountingTree* tree = RegisteredTree();
    PDataNode root = tree->GetFirst();
    tree->SetExpanded(Child(tree, root, "burst"), true);
    tree->SetExpanded(Child(tree, root, "quiet"), true);
    app->ProcessMessages();
    WaitWatched();
    for (int i = 0; i < 10; ++i) Touch(files + "/burst/f" + std::to_string(i));
    // The kernel keeps its events in order: once the later change of the
    // other folder is in, so are all of the burst's.
    Touch(files + "/quiet/later");
    ASSERT_TRUE(test::WaitUntil([&] { return Notifier().DispatchThread()->PendingCount() == 2; }));
    ASSERT_TRUE(Settle([&] { return tree->merges["quiet"] == 1; }));
    EXPECT_EQ(tree->merges["burst"], 1);
    EXPECT_EQ(Names(tree, Existing(tree, root, "burst")).size(), 11u);
}

TEST_F(ExplorerRefresh, AnUpdateOfTheDesktopRebuildsAndKeepsTheView) {
    MakeAll({"a/", "a/b/", "a/b/c.txt", "d.txt"});
    CountingTree* tree = RegisteredTree();
    PDataNode root = tree->GetFirst();
    PDataNode a = Child(tree, root, "a");
    tree->SetExpanded(a, true);
    PDataNode b = Child(tree, a, "b");
    tree->SetExpanded(b, true);
    tree->SetSelected(Child(tree, b, "c.txt"), true);
    std::vector<TShellNotifyEvent> seen;
    tree->OnShellNotify = [&](TCustomExplorerTree*, TShellEvent& e) { seen.push_back(e.Kind); };
    UniquePIDL desktop;
    {
        PItemIDList p = nullptr;
        SHGetSpecialFolderLocation(CSIDL_DESKTOP, &p);
        desktop.reset(p);
    }
    Notifier().PostShellEvent(sneUpdateDir, desktop.get());
    ASSERT_TRUE(Settle([&] { return !seen.empty(); }));
    EXPECT_EQ(seen, (std::vector<TShellNotifyEvent>{sneUpdateDir}));
    root = tree->GetFirst();
    a = Existing(tree, root, "a");
    ASSERT_NE(a, nullptr);
    b = Existing(tree, a, "b");
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(tree->Expanded(a));
    EXPECT_TRUE(tree->Expanded(b));
    EXPECT_EQ(NameOf(tree, tree->GetFirstSelected()), "c.txt");

    // A handler may have an event skipped.
    int skipped = 0;
    tree->OnShellNotify = [&](TCustomExplorerTree*, TShellEvent& e) {
        e.Invalid = true;
        ++skipped;
    };
    const int before = tree->merges["files"];
    Notifier().PostShellEvent(sneUpdateDir, tree->NodeNamespace(root)->AbsolutePIDL());
    ASSERT_TRUE(Settle([&] { return skipped == 1; }));
    EXPECT_EQ(tree->merges["files"], before);
}

// The tree joins the notifier and the icon thread with its window and
// leaves both when it goes, a batch still queued for it included.
TEST_F(ExplorerRefresh, TheTreeJoinsWithItsWindowAndLeavesWhenFreed) {
    MakeAll({"a.txt"});
    form = app->CreateForm<TForm>();
    form->SetBounds(100, 100, 340, 320);
    auto* tree = TComponent::Create<CountingTree>(form);
    tree->SetParent(form);
    tree->SetBounds(0, 0, 264, 224);
    Prepare(tree);
    TExplorerTreeOptions& o = tree->TreeOptions();
    o.SetExpMiscOptions(o.ExpMiscOptions() | toChangeNotifierThread);
    o.SetExpImageOptions(o.ExpImageOptions() | toThreadedImages);
    if (!tree->HandleAllocated()) {
        EXPECT_FALSE(tree->ChangeNotifierRegistered()) << "no window yet";
        EXPECT_FALSE(tree->ThreadedImagesActive());
    }
    form->Show();
    app->ProcessMessages();
    ASSERT_TRUE(tree->HandleAllocated());
    EXPECT_TRUE(tree->ChangeNotifierRegistered());
    EXPECT_TRUE(tree->ThreadedImagesActive());
    EXPECT_TRUE(ImageThreadManager().Registered(tree));
    ASSERT_NE(Notifier().DispatchThread(), nullptr);
    tree->SetActive(true);
    app->ProcessMessages();

    // A batch waits in the tree's queue when the form goes.
    Notifier().PostShellEvent(sneUpdateDir, tree->NodeNamespace(tree->GetFirst())->AbsolutePIDL());
    const HWND notifier = Notifier().Window(), window = tree->Handle();
    ASSERT_TRUE(test::WaitUntil([&] {
        clock.Advance(ShellNotifyQuietMs);
        MSG m;
        while (PeekMessage(m, notifier, 0, 0, PM_REMOVE)) DispatchMessage(m);
        return PeekMessage(m, window, WM_SHELLNOTIFY, WM_SHELLNOTIFY, PM_NOREMOVE);
    })) << "the batch never reached the tree's queue";
    form->Free();
    form = nullptr;
    app->ProcessMessages();
    EXPECT_TRUE(Notifier().StillRegistered().empty());
    EXPECT_EQ(Notifier().DispatchThread(), nullptr);
    EXPECT_EQ(Notifier().KernelThread(), nullptr);
    EXPECT_EQ(ImageThreadManager().Thread(), nullptr);
}

TEST_F(ExplorerRefresh, LeavingTheNotifierHandlesTheBatchesAlreadyQueued) {
    MakeAll({"a.txt"});
    CountingTree* tree = RegisteredTree();
    PDataNode root = tree->GetFirst();
    app->ProcessMessages();
    WaitWatched();
    Make("b.txt");
    Notifier().PostShellEvent(sneUpdateDir, tree->NodeNamespace(root)->AbsolutePIDL());
    // Only the notifier's window is served: the batch waits in the tree's queue.
    const HWND notifier = Notifier().Window();
    ASSERT_TRUE(test::WaitUntil([&] {
        clock.Advance(ShellNotifyQuietMs);
        MSG m;
        while (PeekMessage(m, notifier, 0, 0, PM_REMOVE)) DispatchMessage(m);
        return PeekMessage(m, tree->Handle(), WM_SHELLNOTIFY, WM_SHELLNOTIFY, PM_NOREMOVE);
    }));
    TExplorerTreeOptions& o = tree->TreeOptions();
    o.SetExpMiscOptions(o.ExpMiscOptions() & ~TExpMiscOptions(toChangeNotifierThread));
    EXPECT_FALSE(tree->ChangeNotifierRegistered());
    EXPECT_GE(tree->merges["files"], 1) << "handled on the way out";
    EXPECT_NE(Existing(tree, root, "b.txt"), nullptr);
    EXPECT_EQ(Notifier().KernelThread(), nullptr) << "nobody needs a watch any more";
    EXPECT_EQ(Notifier().ShellThread(), nullptr);
}

// ---- Icons --------------------------------------------------------------------------------

TEST_F(ExplorerRefresh, IconsArriveAfterTheFirstPaintWhichNeverWaitsForThem) {
    MakeAll({"folder/", "note.txt", "song.ogg"});
    // The icon theme's files (the machine's) are read by the icon thread only.
    SystemImageListsFinalize();
    std::atomic<int> readOnGuiThread{0};
    SetIconFileReadObserver([&](const std::string&) { readOnGuiThread += IsMainThread(); });
    const ScopeGuard noObserver([] { SetIconFileReadObserver(nullptr); });
    CountingTree* tree = RegisteredTree(true, false);
    ASSERT_TRUE(tree->ThreadedImagesActive());
    ASSERT_EQ(tree->Images(), SmallSysImages());
    // The worker can finish nothing while the test holds its queue.
    ImageThreadManager().LockThread();
    tree->SetActive(true);
    UpdateWindow(tree->Handle());
    PDataNode root = tree->GetFirst();
    for (PDataNode c = root->FirstChild; c; c = c->NextSibling) {
        TNamespace* ns = tree->NodeNamespace(c);
        EXPECT_FALSE(ns->ThreadedIconLoaded()) << NameOf(tree, c);
        EXPECT_TRUE(ns->ThreadIconLoading()) << NameOf(tree, c) << " asked for";
    }
    EXPECT_EQ(tree->PendingIconRequests(), 4u) << "the root and its three items";
    ImageThreadManager().UnlockThread();
    ASSERT_TRUE(test::WaitUntil([&] {
        app->ProcessMessages();
        return tree->PendingIconRequests() == 0;
    }));
    PDataNode folder = Child(tree, root, "folder");
    EXPECT_EQ(tree->NodeNamespace(folder)->GetIconIndex(false, 0, false), int(siiFolder));
    for (PDataNode c = root->FirstChild; c; c = c->NextSibling)
        EXPECT_TRUE(tree->NodeNamespace(c)->ThreadedIconLoaded()) << NameOf(tree, c);
    // Painted again, nothing more is asked.
    tree->Invalidate();
    UpdateWindow(tree->Handle());
    EXPECT_EQ(tree->PendingIconRequests(), 0u);
    EXPECT_EQ(readOnGuiThread, 0);
}

TEST_F(ExplorerRefresh, IconRequestsOfFreedNodesAreDroppedAndCollapsingAsksAgainLater) {
    MakeAll({"a/", "a/x.txt", "a/y.txt", "b.txt"});
    CountingTree* tree = RegisteredTree(true, false);
    ImageThreadManager().LockThread();
    tree->SetActive(true);
    PDataNode root = tree->GetFirst();
    PDataNode a = Child(tree, root, "a");
    tree->SetExpanded(a, true);
    UpdateWindow(tree->Handle());
    const size_t asked = tree->PendingIconRequests();
    ASSERT_GE(asked, 5u);
    const int queued = ImageThreadManager().Thread()->Count();
    tree->DeleteNode(Child(tree, a, "x.txt"));
    EXPECT_EQ(tree->PendingIconRequests(), asked - 1);
    EXPECT_EQ(ImageThreadManager().Thread()->Count(), queued - 1) << "its request left the queue";
    // A collapse drops every request; the items ask again when painted.
    tree->SetExpanded(a, false);
    EXPECT_EQ(tree->PendingIconRequests(), 0u);
    EXPECT_EQ(ImageThreadManager().Thread()->Count(), 0);
    EXPECT_FALSE(tree->NodeNamespace(Child(tree, root, "b.txt"))->ThreadIconLoading());
    ImageThreadManager().UnlockThread();
    tree->Invalidate();
    UpdateWindow(tree->Handle());
    EXPECT_GE(tree->PendingIconRequests(), 3u);
    ASSERT_TRUE(test::WaitUntil([&] {
        app->ProcessMessages();
        return tree->PendingIconRequests() == 0;
    }));
    EXPECT_TRUE(tree->NodeNamespace(Child(tree, root, "b.txt"))->ThreadedIconLoaded());
    // A window made again asks again for what its old window never got.
    {
        ImageThreadManager().LockThread();
        ScopeGuard unlock([] { ImageThreadManager().UnlockThread(); }); // a failed assertion must not hang
        tree->SetExpanded(a, true);
        UpdateWindow(tree->Handle());
        ASSERT_EQ(tree->PendingIconRequests(), 1u) << "y.txt, the one item of a left";
        tree->RecreateWnd();
        EXPECT_EQ(tree->PendingIconRequests(), 0u);
    }
    tree->Invalidate();
    UpdateWindow(tree->Handle());
    ASSERT_TRUE(test::WaitUntil([&] {
        app->ProcessMessages();
        return tree->PendingIconRequests() == 0;
    }));
    EXPECT_TRUE(tree->NodeNamespace(Child(tree, a, "y.txt"))->ThreadedIconLoaded());
    // Switched off, the tree leaves the icon thread, which stops.
    TExplorerTreeOptions& o = tree->TreeOptions();
    o.SetExpImageOptions(o.ExpImageOptions() & ~TExpImageOptions(toThreadedImages));
    EXPECT_FALSE(tree->ThreadedImagesActive());
    EXPECT_EQ(ImageThreadManager().Thread(), nullptr);
}

TEST_F(ExplorerRefresh, TheImagesAreTheSystemListsTheOptionsAskFor) {
    MakeAll({"a.txt"});
    TExplorerTree* tree = BareTree();
    TExplorerTreeOptions& o = tree->TreeOptions();
    EXPECT_EQ(tree->Images(), SmallSysImages()) << "toImages is on from the start";
    o.SetExpImageOptions(o.ExpImageOptions() | toLargeImages);
    EXPECT_EQ(tree->Images(), LargeSysImages());
    o.SetExpImageOptions(o.ExpImageOptions() & ~TExpImageOptions(toImages));
    EXPECT_EQ(tree->Images(), nullptr);
    o.SetExpImageOptions(o.ExpImageOptions() | toImages);
    EXPECT_EQ(tree->Images(), LargeSysImages());
    // Without the icon thread the index is asked at once.
    o.SetExpImageOptions(toImages);
    PDataNode a = Child(tree, tree->GetFirst(), "a.txt");
    tree->OnGetImageIndex = [](TBaseDataTree*, PDataNode, TDTImageKind, TColumnIndex, bool&, int&) {
        ADD_FAILURE() << "the explorer answers for its own items";
    };
    TNamespace* ns = tree->NodeNamespace(a);
    EXPECT_LT(ns->GetIconIndex(false, 0, false), 0) << "not asked yet";
    tree->GetDisplayRect(a, NoColumn, true); // lays the row out, images included
    EXPECT_GE(ns->GetIconIndex(false, 0, false), 0);
}

// An association change binds the icons again around a refresh, which
// keeps the view; with toNoRebuildIconListOnAssocChange nothing happens.
TEST_F(ExplorerRefresh, AnAssociationChangeRefreshesUnlessTheOptionSaysNot) {
    MakeAll({"a/", "a/b.txt"});
    CountingTree* tree = RegisteredTree();
    PDataNode a = Child(tree, tree->GetFirst(), "a");
    tree->SetExpanded(a, true);
    int rebuilds = 0, seen = 0;
    tree->OnRootRebuild = [&](TCustomExplorerTree*) { ++rebuilds; };
    tree->OnShellNotify = [&](TCustomExplorerTree*, TShellEvent&) { ++seen; };
    Notifier().PostShellEvent(sneAssociationChanged, nullptr);
    ASSERT_TRUE(Settle([&] { return seen == 1; }));
    EXPECT_GE(rebuilds, 1);
    a = Existing(tree, tree->GetFirst(), "a");
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(tree->Expanded(a)) << "the view is kept";
    EXPECT_EQ(tree->Images(), SmallSysImages());
    TExplorerTreeOptions& o = tree->TreeOptions();
    o.SetExpMiscOptions(o.ExpMiscOptions() | toNoRebuildIconListOnAssocChange);
    rebuilds = 0;
    Notifier().PostShellEvent(sneAssociationChanged, nullptr);
    ASSERT_TRUE(Settle([&] { return seen == 2; }));
    EXPECT_EQ(rebuilds, 0);
}

} // namespace
