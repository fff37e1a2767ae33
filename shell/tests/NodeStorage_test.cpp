// The node storage: its stream byte for byte, the lookups, Delete and the
// backup selection.
#include "fork_child.h"
#include "nodestorage_fixture.h"
#include "rtl/sysutils.h"

#include <linux/capability.h>
#include <sys/syscall.h>

namespace ax::testing {
namespace {

using NodeStreamTest = NodeStorageTest;
using NodeLookupTest = NodeStorageTest;
using SelectionTest = NodeStorageTest;

// ---- the stream ----

TEST_F(NodeStreamTest, EmptyStorageAndAfterClear) {
    TRootNodeStorage storage;
    const Bytes empty = Cat({U32(2), U8(0), U8(0), U8(1), U32(0), Tail(0, 0, 0)});
    ASSERT_EQ(empty.size(), 27u);
    EXPECT_EQ(Save(storage), empty);

    storage.Clear(true);
    const Bytes cleared = Cat({U32(0), U8(0), Tail(0, 0, 0)});
    ASSERT_EQ(cleared.size(), 21u);
    EXPECT_EQ(Save(storage), cleared);

    for (const Bytes& bytes : {empty, cleared}) {
        TRootNodeStorage loaded;
        Load(loaded, bytes);
        EXPECT_EQ(Save(loaded), bytes);
        EXPECT_EQ(loaded.StreamVersion(), 3);
    }
}

TEST_F(NodeStreamTest, OneCheckedItem) {
    TRootNodeStorage storage;
    HeldPidl computer(Pidl({Computer()}));
    TNodeStorage* node = storage.Store(computer, skCheck);
    ASSERT_NE(node, nullptr);
    node->Storage.CheckState = csCheckedNormal;
    node->Storage.CheckType = ctTriStateCheckBox;

    const Bytes expected =
        Cat({U32(2), U8(0), U8(0), U8(1), U32(1),
             // the child: PIDL, no children list, its record
             StreamedPidl(Pidl({Computer()})), U8(0), Tail(1, 2, 1), Tail(0, 0, 0)});
    EXPECT_EQ(Save(storage), expected);

    TRootNodeStorage loaded;
    Load(loaded, expected);
    EXPECT_EQ(Save(loaded), expected);
    TNodeStorage* found = loaded.Find(computer, skCheck);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->Storage.CheckState, 2);
    EXPECT_EQ(found->Parent(), &loaded);
}

// Computer holds the volume "/"; storing the volume makes Computer an
// intermediate record.
Bytes TwoLevel(uint8_t rootType, bool words) {
    const Bytes v = words ? U32(3) : Bytes{};
    const uint8_t midKinds = rootType == 1 ? 1 : 0;
    const uint8_t midState = rootType == 1 ? 4 : 0;
    const uint8_t midType = rootType == 1 ? 1 : 0;
    return Cat({v, U32(2), U8(0), U8(0), U8(1), v, U32(1),
                // Computer, with a list of one
                v, StreamedPidl(Pidl({Computer()})), U8(1), v, U32(1),
                // the volume, a leaf
                v, StreamedPidl(Pidl({Computer(), RootVolume()})), U8(0), Tail(1, 2, 1),
                Tail(midKinds, midState, midType),
                // the root's own tail
                Tail(0, 0, rootType)});
}

TEST_F(NodeStreamTest, TwoLevelItemUnderBothRootCheckTypes) {
    for (uint8_t rootType : {0, 1}) {
        for (bool words : {false, true}) {
            TRootNodeStorage storage;
            storage.Storage.CheckType = rootType;
            HeldPidl volume(Pidl({Computer(), RootVolume()}));
            TNodeStorage* node = storage.Store(volume, skCheck);
            ASSERT_NE(node, nullptr);
            node->Storage.CheckState = csCheckedNormal;
            node->Storage.CheckType = ctTriStateCheckBox;

            const Bytes expected = TwoLevel(rootType, words);
            EXPECT_EQ(Save(storage, 3, words), expected) << int(rootType) << words;

            TRootNodeStorage loaded;
            Load(loaded, expected, words ? 99 : 3, words);
            EXPECT_EQ(loaded.StreamVersion(), 3);
            EXPECT_EQ(Save(loaded, 3, words), expected);
        }
    }
}

TEST_F(NodeStreamTest, VersionWordsSaveEveryRecordAndList) {
    TRootNodeStorage storage;
    const Bytes expected =
        Cat({U32(7), U32(2), U8(0), U8(0), U8(1), U32(7), U32(0), Tail(0, 0, 0)});
    EXPECT_EQ(Save(storage, 7, true), expected);
    EXPECT_EQ(storage.StreamVersion(), 7);
    TRootNodeStorage loaded;
    Load(loaded, expected, 0, true);
    EXPECT_EQ(loaded.StreamVersion(), 7);
    EXPECT_EQ(loaded.Children()->StreamVersion(), 7);
}

TEST_F(NodeStreamTest, OlderVersionsReadTheirShorterRecords) {
    // Version 1: one check byte, the has-object byte.
    const Bytes v1 =
        Cat({U32(2), U8(0), U8(0), U8(1), U32(1), StreamedPidl(Pidl({Computer()})), U8(0), U8(1),
             U8(2), U32(0), U32(0), U32(0), U8(0), U8(0), U8(0), U32(0), U32(0), U32(0), U8(0)});
    TRootNodeStorage storage;
    storage.Storage.CheckType = 3;
    Load(storage, v1, 1);
    EXPECT_EQ(storage.Storage.CheckType, 3) << "a version-1 record holds no check type";
    HeldPidl computer(Pidl({Computer()}));
    ASSERT_NE(storage.Find(computer, skCheck), nullptr);
    EXPECT_EQ(storage.Find(computer, skCheck)->Storage.CheckState, 2);

    // Version 0: no has-object byte either.
    const Bytes v0 = Cat({U32(2), U8(0), U8(0), U8(0), U8(0), U8(4), U32(0), U32(0), U32(0)});
    Load(storage, v0, 0);
    EXPECT_EQ(storage.Storage.CheckState, 4);
    EXPECT_EQ(storage.Children(), nullptr);
    // Written back, the record always has both check bytes.
    EXPECT_EQ(Save(storage, 0),
              Cat({U32(2), U8(0), U8(0), U8(0), U8(0), U8(4), U8(3), U32(0), U32(0), U32(0)}));
}

TEST_F(NodeStreamTest, ColumnsRoundTrip) {
    TRootNodeStorage storage;
    storage.Storage.Kinds = skColumns;
    storage.Storage.Columns().Widths = {100, 0x1234};
    storage.Storage.Columns().Positions = {1, 0};
    storage.Storage.Columns().Visible = {1, 0};
    const Bytes expected = Cat({U32(2),
                                U8(0),
                                U8(0),
                                U8(1),
                                U32(0),
                                U8(2),
                                U8(0),
                                U8(0),
                                U32(2),
                                {100, 0, 0x34, 0x12},
                                U32(2),
                                {1, 0, 0, 0},
                                U32(2),
                                {1, 0},
                                U8(0)});
    EXPECT_EQ(Save(storage), expected);
    TRootNodeStorage loaded;
    Load(loaded, expected);
    EXPECT_EQ(loaded.Storage.Columns().Widths, (TWordArray{100, 0x1234}));
    EXPECT_EQ(Save(loaded), expected);
}

TEST_F(NodeStreamTest, PathItemsAreStoredAsTheirBytes) {
    const std::string path = Make("report.txt");
    TStringList paths;
    paths.Add(path);
    TRootNodeStorage storage;
    storage.SetCheckedFileNames(paths);
    TMemoryStream s;
    storage.SaveToStream(s, 3, false);
    // After the setter's Clear the root has no PIDL; the deepest record is
    // the file's whole path.
    const Bytes head = Cat({U32(0), U8(1), U32(1), StreamedPidl(Pidl({Computer()}))});
    ASSERT_GE(s.Bytes().size(), head.size());
    EXPECT_EQ(Bytes(s.Bytes().begin(), s.Bytes().begin() + long(head.size())), head);
    const Bytes leaf = Cat({StreamedPidl(PathPidl(path)), U8(0), Tail(1, 2, 1)});
    EXPECT_NE(std::search(s.Bytes().begin(), s.Bytes().end(), leaf.begin(), leaf.end()),
              s.Bytes().end());
}

// ---- lookups ----

TEST_F(NodeLookupTest, StoreFindAndSiblingOrder) {
    const std::string b = Make("b"), a = Make("A"), c = Make("c");
    TRootNodeStorage storage;
    std::vector<PItemIDList> pidls{Parse(c), Parse(a), Parse(b)};
    TNodeStorage* first = storage.Store(pidls[0], skCheck);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(storage.Store(pidls[0], skColumns), first) << "the same PIDL gives the same node";
    EXPECT_EQ(first->Storage.Kinds, skCheck | skColumns);
    storage.Store(pidls[1], skCheck);
    storage.Store(pidls[2], skCheck);

    TNodeStorage* folder = first->Parent();
    ASSERT_EQ(folder->Children()->Count(), 3);
    // The folder's order: names compared without case.
    EXPECT_EQ(PidlBytes(folder->Children()->Items(0)->AbsolutePIDL()), PathPidl(a));
    EXPECT_EQ(folder->Children()->Items(1)->Storage.Kinds, skCheck);
    EXPECT_EQ(folder->Children()->Items(2), first);

    EXPECT_EQ(storage.Find(pidls[1], skColumns), nullptr) << "kinds must share a bit";
    TNodeStorage* out = nullptr;
    EXPECT_TRUE(storage.Find(pidls[1], skCheck, out));
    EXPECT_EQ(out, folder->Children()->Items(0));
    EXPECT_EQ(storage.LastParent(), folder);
    HeldPidl desktop(Pidl({}));
    EXPECT_EQ(storage.Store(desktop, 0), &storage) << "the empty PIDL is the root";
    for (PItemIDList p : pidls)
        Free(p);
}

// Records of one folder looked up in order, backwards and at random, with
// misses in between: each finds its own record, a miss finds none and
// leaves the next lookup unharmed.
TEST_F(NodeLookupTest, LookupsInAnyOrderAfterMissesFindTheirOwnRecords) {
    const std::vector<std::string> names{"f0", "f1", "f2", "f3", "f4", "f5", "f6"};
    Make("many/");
    std::vector<PItemIDList> pidls;
    for (const std::string& n : names) pidls.push_back(Parse(Make("many/" + n)));
    PItemIDList missing = Parse(Make("many/g"));
    TRootNodeStorage storage;
    // Every other one first, then the rest, then a look for one not stored.
    std::vector<TNodeStorage*> records(names.size(), nullptr);
    for (size_t i : {0u, 2u, 4u, 6u, 1u, 3u, 5u}) {
        EXPECT_EQ(storage.Find(missing, skCheck), nullptr);
        records[i] = storage.Store(pidls[i], skCheck);
        ASSERT_NE(records[i], nullptr) << names[i];
    }
    TNodeStorage* folder = records[0]->Parent();
    ASSERT_EQ(folder->Children()->Count(), 7);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(folder->Children()->Items(i), records[size_t(i)]) << i;
    for (size_t i : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 6u, 5u, 4u, 3u, 2u, 1u, 0u, 3u, 0u, 6u, 2u}) {
        EXPECT_EQ(storage.Find(pidls[i], skCheck), records[i]) << names[i];
        EXPECT_EQ(storage.Find(missing, skCheck), nullptr) << "after " << names[i];
        EXPECT_EQ(storage.Store(pidls[i], skCheck), records[i]) << names[i];
    }
    storage.Delete(pidls[3], skCheck);
    EXPECT_EQ(storage.Find(pidls[3], skCheck), nullptr);
    for (size_t i : {2u, 4u, 5u}) EXPECT_EQ(storage.Find(pidls[i], skCheck), records[i]) << names[i];
    EXPECT_EQ(folder->Children()->Count(), 6);
    for (PItemIDList p : pidls) Free(p);
    Free(missing);
}

TEST_F(NodeLookupTest, CacheIsNotFooledByAnotherFolder) {
    const std::string x = Make("d1/"), y = Make("d2/");
    const std::string fx = Make("d1/f"), fy = Make("d2/f");
    TRootNodeStorage storage;
    PItemIDList px = Parse(fx), py = Parse(fy);
    TNodeStorage* nx = storage.Store(px, skCheck);
    TNodeStorage* ny = storage.Store(py, skCheck);
    ASSERT_NE(nx, nullptr);
    EXPECT_NE(nx, ny);
    EXPECT_EQ(storage.Find(px, skCheck), nx);
    EXPECT_EQ(storage.Find(py, skCheck), ny);
    Free(px);
    Free(py);
}

TEST_F(NodeLookupTest, IntermediateRecordsFollowTheRootCheckType) {
    const std::string deep = Make("sub/") + "/f";
    Write(deep, "x");
    for (uint8_t rootType : {ctNone, ctCheckBox, ctTriStateCheckBox}) {
        TRootNodeStorage storage;
        storage.Storage.CheckType = rootType;
        PItemIDList pidl = Parse(deep);
        TNodeStorage* leaf = storage.Store(pidl, skCheck);
        ASSERT_NE(leaf, nullptr);
        EXPECT_EQ(leaf->Storage.Kinds, skCheck);
        EXPECT_EQ(leaf->Storage.CheckState, 0) << "callers set the state";
        int levels = 0;
        for (TNodeStorage* n = leaf->Parent(); n != &storage; n = n->Parent(), ++levels) {
            if (rootType == ctTriStateCheckBox) {
                EXPECT_EQ(n->Storage.Kinds, skCheck);
                EXPECT_EQ(n->Storage.CheckState, csMixedNormal);
                EXPECT_EQ(n->Storage.CheckType, ctTriStateCheckBox);
            } else {
                EXPECT_EQ(n->Storage.Kinds, 0);
                EXPECT_EQ(n->Storage.CheckState, 0);
                EXPECT_EQ(n->Storage.CheckType, 0);
            }
        }
        EXPECT_GE(levels, 4); // Computer, the volume, tmp, the test folder, ...
        Free(pidl);
    }
}

TEST_F(NodeLookupTest, DeleteKeepsAndRemovesRecords) {
    const std::string f = Make("f"), g = Make("g");
    TRootNodeStorage storage;
    PItemIDList pf = Parse(f), pg = Parse(g);

    TNodeStorage* nf = storage.Store(pf, skCheck);
    nf->Storage.CheckState = csCheckedNormal;
    TNodeStorage* folder = nf->Parent();
    storage.Delete(pf, skCheck);
    EXPECT_EQ(folder->Children()->Count(), 0) << "a node with only a check goes";
    EXPECT_EQ(storage.LastParent(), nullptr);

    TNodeStorage* ng = storage.Store(pg, skCheck | skColumns);
    ng->Storage.CheckState = csCheckedPressed;
    storage.Delete(pg, skCheck);
    ASSERT_EQ(storage.Find(pg, skColumns), ng) << "columns keep it";
    EXPECT_EQ(ng->Storage.CheckState, csCheckedPressed);
    EXPECT_EQ(ng->Storage.Kinds, skColumns);

    // Force removes a node with everything below it.
    HeldPidl computer(Pidl({Computer()}));
    storage.Delete(computer, 0, true);
    EXPECT_EQ(storage.Children()->Count(), 0);
    EXPECT_EQ(storage.Find(pg, skColumns), nullptr);

    // The root is never removed; its state drops to 0.
    HeldPidl desktop(Pidl({}));
    storage.Storage.Kinds = skCheck;
    storage.Storage.CheckState = csCheckedNormal;
    storage.Delete(desktop, skCheck, true);
    EXPECT_EQ(storage.Storage.CheckState, 0);
    EXPECT_NE(storage.Children(), nullptr);

    // Deleting what is not stored changes nothing.
    storage.Delete(pf, skCheck, true);
    Free(pf);
    Free(pg);
}

// Renamed or moved items take their records, and all stored below them,
// along: the backup selection follows the disk.
TEST_F(NodeLookupTest, RenameMovesARecordWithEverythingBelowIt) {
    const std::string docs = Make("Docs/");
    const std::string letter = Make("Docs/letter.txt");
    Make("Docs/Deep/");
    const std::string deep = Make("Docs/Deep/note.txt");
    Make("Other/");
    const std::string stray = Make("Other/stray.txt");
    TRootNodeStorage storage;
    storage.Storage.CheckType = ctTriStateCheckBox; // intermediates mixed, as a tree stores them
    PItemIDList pdocs = Parse(docs), pdeep = Parse(deep), pstray = Parse(stray);
    storage.Store(pdocs, skCheck)->Storage.CheckState = csMixedNormal;
    storage.Store(pdeep, skCheck)->Storage.CheckState = csCheckedNormal;
    storage.Store(pstray, skCheck)->Storage.CheckState = csCheckedNormal;
    EXPECT_EQ(Lines(storage.CheckedFileNames()), (std::vector<std::string>{deep, stray}));

    // The folder renamed on disk: its stored item now lies below the new name.
    const std::string papers = files + "/Papers";
    ASSERT_EQ(rename(docs.c_str(), papers.c_str()), 0);
    PItemIDList ppapers = Parse(papers);
    EXPECT_TRUE(storage.Rename(pdocs, ppapers));
    EXPECT_EQ(Lines(storage.CheckedFileNames()),
              (std::vector<std::string>{stray, papers + "/Deep/note.txt"}))
        << "in the folder's order: Other before Papers";
    EXPECT_EQ(storage.Find(pdocs, skCheck | skColumns), nullptr) << "nothing left at the old name";
    TNodeStorage* moved = storage.Find(ppapers, skCheck);
    ASSERT_NE(moved, nullptr);
    EXPECT_EQ(moved->Storage.CheckState, csMixedNormal);
    ASSERT_EQ(moved->Children()->Count(), 1);
    TNodeStorage* deepFolder = moved->Children()->Items(0);
    EXPECT_EQ(deepFolder->Parent(), moved);
    EXPECT_EQ(PidlBytes(deepFolder->AbsolutePIDL()), PathPidl(papers + "/Deep"));
    ASSERT_EQ(deepFolder->Children()->Count(), 1);
    EXPECT_EQ(PidlBytes(deepFolder->Children()->Items(0)->AbsolutePIDL()),
              PathPidl(papers + "/Deep/note.txt"));
    EXPECT_FALSE(storage.Rename(pdocs, ppapers)) << "told twice: nothing is left to move";

    // Moved into another folder: the mixed way to it, holding nothing
    // else, goes; a record the move replaced goes too.
    const std::string target = files + "/Other/note.txt";
    PItemIDList pnote = Parse(papers + "/Deep/note.txt");
    ASSERT_EQ(rename((papers + "/Deep/note.txt").c_str(), target.c_str()), 0);
    PItemIDList ptarget = Parse(target);
    storage.Store(ptarget, skCheck)->Storage.CheckState = csMixedNormal; // the replaced item's
    EXPECT_TRUE(storage.Rename(pnote, ptarget));
    EXPECT_EQ(Lines(storage.CheckedFileNames()), (std::vector<std::string>{target, stray}));
    EXPECT_EQ(storage.Lookup(ppapers), nullptr) << "Papers only led to the moved item";
    ASSERT_NE(storage.Find(ptarget, skCheck), nullptr);
    EXPECT_EQ(storage.Find(ptarget, skCheck)->Storage.CheckState, csCheckedNormal);

    // Onto itself, into itself, from the desktop or without a record: nothing.
    PItemIDList pother = Parse(files + "/Other");
    HeldPidl desktop(Pidl({}));
    EXPECT_FALSE(storage.Rename(ptarget, ptarget));
    EXPECT_FALSE(storage.Rename(pother, ptarget));
    EXPECT_FALSE(storage.Rename(ptarget, pother));
    EXPECT_FALSE(storage.Rename(desktop, pother));
    EXPECT_FALSE(storage.Rename(pdeep, pother));
    EXPECT_EQ(Lines(storage.CheckedFileNames()), (std::vector<std::string>{target, stray}));
    for (PItemIDList p : {pdocs, pdeep, pstray, ppapers, pnote, ptarget, pother}) Free(p);
}

class TNote : public TStorageObject {
public:
    AnsiString ClassName() const override { return "TNote"; }
    void Assign(const TStorageObject& source) override {
        Text = static_cast<const TNote&>(source).Text;
    }
    void SaveToStream(TStream& s, int32_t version, bool words) override {
        TStorageObject::SaveToStream(s, version, words);
        s.WriteValue<uint8_t>(uint8_t(Text.size()));
        s.WriteBuffer(Text.data(), int64_t(Text.size()));
        if (FailSaving) throw EWriteError("disk full");
    }
    void LoadFromStream(TStream& s, int32_t version, bool words) override {
        TStorageObject::LoadFromStream(s, version, words);
        Text.resize(s.ReadValue<uint8_t>());
        s.ReadBuffer(Text.data(), int64_t(Text.size()));
    }
    AnsiString Text;
    bool FailSaving = false;
};

TEST_F(NodeLookupTest, DeleteFreesUserObjectsOnlyWhenAsked) {
    TRootNodeStorage storage;
    HeldPidl computer(Pidl({Computer()}));
    TNodeStorage* node = storage.Store(computer, skObject | skColumns);
    auto note = std::make_shared<TNote>();
    node->Storage.UserObject() = note;
    storage.Delete(computer, skObject, false, false);
    EXPECT_EQ(node->Storage.UserObject(), note);
    storage.Delete(computer, skObject, false, true);
    EXPECT_EQ(node->Storage.UserObject(), nullptr);
    EXPECT_EQ(note.use_count(), 1);
}

TEST_F(NodeLookupTest, UserObjectsTravelByClassName) {
    RegisterStorageClass("TNote", [] { return std::make_unique<TNote>(); });
    TRootNodeStorage storage;
    auto note = std::make_shared<TNote>();
    note->Text = "hi";
    storage.Storage.Kinds = skObject;
    storage.Storage.UserObject() = note;
    const Bytes expected = Cat({U32(2),
                                U8(0),
                                U8(0),
                                U8(1),
                                U32(0),
                                U8(4),
                                U8(0),
                                U8(0),
                                U32(0),
                                U32(0),
                                U32(0),
                                U8(1),
                                U32(5),
                                {'T', 'N', 'o', 't', 'e'},
                                U8(2),
                                {'h', 'i'}});
    EXPECT_EQ(Save(storage), expected);
    TRootNodeStorage loaded;
    Load(loaded, expected);
    auto* read = dynamic_cast<TNote*>(loaded.Storage.UserObject().get());
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->Text, "hi");
    EXPECT_EQ(read->StreamVersion(), 3);

    UnregisterStorageClass("TNote");
    TRootNodeStorage other;
    try {
        Load(other, expected);
        FAIL() << "an unknown class must not load";
    } catch (const EClassNotFound& e) {
        EXPECT_EQ(e.Message(), "Class TNote not found");
    }
    EXPECT_EQ(Save(other), Cat({U32(2), U8(0), U8(0), U8(1), U32(0), Tail(0, 0, 0)}));
}

TEST_F(NodeLookupTest, AssignCopiesDeeplyAndDropsTheCache) {
    const std::string f = Make("f");
    TRootNodeStorage source;
    PItemIDList pf = Parse(f);
    source.Store(pf, skCheck)->Storage.CheckState = csCheckedNormal;
    source.Storage.Columns().Widths = {5};

    TRootNodeStorage copy;
    copy.Store(pf, skCheck);
    ASSERT_NE(copy.LastParent(), nullptr);
    copy.Assign(source);
    EXPECT_EQ(copy.LastParent(), nullptr);
    EXPECT_EQ(Save(copy), Save(source));
    EXPECT_NE(copy.Find(pf, skCheck), source.Find(pf, skCheck));

    // Assigning a node of its own tree, or itself, loses nothing.
    const Bytes before = Save(copy);
    copy.Assign(copy);
    EXPECT_EQ(Save(copy), before);
    TNodeStorage* computer = copy.Children()->Items(0);
    TRootNodeStorage sub;
    sub.Assign(*computer);
    copy.Assign(*computer);
    EXPECT_EQ(Save(copy), Save(sub));
    Free(pf);
}

TEST_F(NodeLookupTest, FreeingRecordsThroughTheirListsDropsTheCache) {
    Make("d/");
    const std::string a = Make("d/a"), b = Make("d/b");
    PItemIDList pa = Parse(a), pb = Parse(b);
    TRootNodeStorage storage;
    ASSERT_NE(storage.Store(pa, skCheck), nullptr);
    ASSERT_NE(storage.LastParent(), nullptr);
    // The explorer reloads a folder's children by clearing its list.
    storage.Children()->Clear();
    EXPECT_EQ(storage.LastParent(), nullptr);
    ASSERT_NE(storage.Store(pb, skCheck), nullptr);

    ASSERT_NE(storage.LastParent(), nullptr);
    std::unique_ptr<TNodeStorage> taken = storage.Children()->Extract(0);
    EXPECT_EQ(storage.LastParent(), nullptr);
    taken.reset();
    ASSERT_NE(storage.Store(pa, skCheck), nullptr);
    EXPECT_EQ(storage.Find(pb, skCheck), nullptr);
    Free(pa);
    Free(pb);
}

TEST_F(NodeLookupTest, AssignOnAChildRecordKeepsItInTheTree) {
    const std::string f = Make("f"), g = Make("g");
    PItemIDList pf = Parse(f), pg = Parse(g);
    TRootNodeStorage storage, other;
    storage.Store(pf, skCheck)->Storage.CheckState = csCheckedNormal;
    TNodeStorage* node = storage.Find(pf, skCheck);
    TNodeStorage* parent = node->Parent();
    TNodeStorage* source = other.Store(pf, skCheck | skColumns);
    source->Storage.CheckState = csMixedNormal;
    source->Storage.Columns().Widths = {7};

    node->Assign(*source);
    EXPECT_EQ(node->Parent(), parent);
    EXPECT_EQ(node->Storage.CheckState, csMixedNormal);
    EXPECT_EQ(node->Storage.Columns().Widths, TWordArray{7});
    EXPECT_EQ(storage.Find(pf, skColumns), node);
    storage.Delete(pf, skCheck | skColumns);
    EXPECT_EQ(storage.Find(pf, skCheck | skColumns), nullptr);

    // Another item would break its folder's order: refused, nothing changes.
    node = storage.Store(pf, skCheck);
    const Bytes before = Save(storage);
    EXPECT_THROW(node->Assign(*other.Store(pg, skCheck)), EInvalidOperation);
    EXPECT_EQ(Save(storage), before);
    EXPECT_EQ(node->Parent(), parent);
    Free(pf);
    Free(pg);
}

// Folders may nest deeper than a job can hold; such an item is refused by
// Store, so that no job written fails to load again.
TEST_F(NodeLookupTest, ItemsDeeperThanAJobHoldsAreNotStored) {
    std::vector<Bytes> items{Computer(), RootVolume()};
    for (int i = 2; i < kMaxNodeDepth + 1; ++i)
        items.push_back(Entry("d"));
    Bytes deep;
    for (const Bytes& item : items)
        deep.insert(deep.end(), item.begin(), item.end());
    deep.push_back(0);
    deep.push_back(0);
    HeldPidl tooDeep(deep);
    ASSERT_EQ(ILItemCount(tooDeep), kMaxNodeDepth + 1);
    TRootNodeStorage storage;
    const Bytes before = Save(storage);
    EXPECT_EQ(storage.Store(tooDeep, skCheck), nullptr);
    EXPECT_EQ(Save(storage), before);
}

TEST_F(NodeLookupTest, ClearDropsEverythingButTheRootsCheckPair) {
    const std::string f = Make("f");
    TRootNodeStorage storage;
    storage.Storage.CheckType = ctTriStateCheckBox;
    storage.Storage.CheckState = csMixedNormal;
    PItemIDList pf = Parse(f);
    storage.Store(pf, skCheck)->Storage.CheckState = csCheckedNormal;
    EXPECT_EQ(storage.CheckedFileNames().Count(), 1);
    storage.Clear(false);
    EXPECT_EQ(storage.LastParent(), nullptr);
    EXPECT_EQ(storage.AbsolutePIDL(), nullptr);
    EXPECT_EQ(storage.Children(), nullptr);
    EXPECT_EQ(storage.Storage.CheckType, ctTriStateCheckBox);
    EXPECT_EQ(storage.Storage.CheckState, csMixedNormal);
    // Storing again works below a root without a PIDL.
    ASSERT_NE(storage.Store(pf, skCheck), nullptr);
    EXPECT_EQ(storage.Find(pf, skCheck)->AbsolutePIDL()->mkid.cb, 12);
    Free(pf);
}

// ---- the selection ----

TEST_F(SelectionTest, PreOrderOfCheckedExistingFileSystemItems) {
    const std::string dir = Make("Docs/");
    const std::string inner = Make("Docs/b.txt");
    const std::string inner2 = Make("Docs/A.txt");
    const std::string loose = Make("zeta");
    TStringList paths;
    paths.Add(loose);
    paths.Add(inner);
    paths.Add(dir);
    paths.Add(inner2);
    paths.Add(files + "/missing"); // does not parse: no record
    paths.Add(inner);              // twice: one record
    TRootNodeStorage storage;
    storage.SetCheckedFileNames(paths);
    EXPECT_EQ(Lines(storage.CheckedFileNames()),
              (std::vector<std::string>{dir, inner2, inner, loose}));
    TStringList& again = storage.CheckedFileNames();
    EXPECT_EQ(&again, &storage.CheckedFileNames()) << "one list, owned by the storage";

    // files/ is an intermediate record (kinds 0): the missing path left
    // nothing below it.
    PItemIDList pfiles = Parse(files);
    TNodeStorage* folder = storage.Store(pfiles, 0);
    EXPECT_EQ(folder->Storage.Kinds, 0);
    EXPECT_EQ(folder->Children()->Count(), 2); // Docs and zeta
    Free(pfiles);
}

// The streamed selection is the list's, path for path, and keeps nothing:
// the list of the last CheckedFileNames stays as it was.
TEST_F(SelectionTest, TheStreamedSelectionIsTheList) {
    const std::string dir = Make("Docs/");
    const std::string inner = Make("Docs/b.txt");
    const std::string loose = Make("zeta"), gone = Make("gone");
    TStringList paths;
    paths.Add(loose);
    paths.Add(inner);
    paths.Add(gone);
    paths.Add(dir);
    TRootNodeStorage storage;
    storage.SetCheckedFileNames(paths);
    ASSERT_EQ(Lines(storage.CheckedFileNames()), (std::vector<std::string>{dir, inner, gone, loose}));
    ASSERT_EQ(unlink(gone.c_str()), 0);
    std::vector<std::string> streamed;
    storage.ForEachCheckedFileName([&](std::string&& name) { streamed.push_back(std::move(name)); });
    EXPECT_EQ(streamed, (std::vector<std::string>{dir, inner, loose}));
    EXPECT_EQ(storage.CheckedFileNames().Count(), 3);
}

TEST_F(SelectionTest, OnlyTheCheckedStateIsListed) {
    const std::string a = Make("a"), b = Make("b"), c = Make("c"), d = Make("d"), e = Make("e");
    TRootNodeStorage storage;
    std::vector<PItemIDList> p{Parse(a), Parse(b), Parse(c), Parse(d), Parse(e)};
    const uint8_t states[] = {csCheckedNormal, csCheckedPressed, csMixedNormal, csMixedPressed,
                              csUncheckedPressed};
    for (int i = 0; i < 5; ++i)
        storage.Store(p[i], skCheck)->Storage.CheckState = states[i];
    EXPECT_EQ(Lines(storage.CheckedFileNames()), (std::vector<std::string>{a}));
    for (PItemIDList x : p)
        Free(x);
}

TEST_F(SelectionTest, RecordKeptForColumnsSelectsNothing) {
    const std::string dir = Make("folder/");
    TRootNodeStorage storage;
    PItemIDList p = Parse(dir);
    TNodeStorage* node = storage.Store(p, skCheck | skColumns);
    node->Storage.CheckState = csCheckedNormal;
    EXPECT_EQ(storage.CheckedFileNames().Count(), 1);
    storage.Delete(p, skCheck); // the user unchecks it; the columns keep it
    ASSERT_NE(storage.Find(p, skColumns), nullptr);
    EXPECT_EQ(node->Storage.CheckState, csCheckedNormal);
    EXPECT_EQ(storage.CheckedFileNames().Count(), 0);
    Free(p);
}

TEST_F(SelectionTest, VirtualItemsDeletedPathsAndTheRootAreNeverListed) {
    const std::string gone = Make("gone");
    TRootNodeStorage storage;
    storage.Storage.Kinds = skCheck;
    storage.Storage.CheckState = csCheckedNormal;
    HeldPidl computer(Pidl({Computer()}));
    HeldPidl bin(Pidl({RecycleBin()}));
    HeldPidl volume(Pidl({Computer(), RootVolume()}));
    for (PItemIDList p : {computer.get(), bin.get(), volume.get()})
        storage.Store(p, skCheck)->Storage.CheckState = csCheckedNormal;
    PItemIDList pg = Parse(gone);
    storage.Store(pg, skCheck)->Storage.CheckState = csCheckedNormal;
    unlink(gone.c_str());
    EXPECT_EQ(Lines(storage.CheckedFileNames()), (std::vector<std::string>{"/"}))
        << "only the volume is a file-system item that exists";

    // A cleared root has no PIDL and still lists nothing of its own.
    storage.Clear(false);
    storage.Storage.CheckState = csCheckedNormal;
    EXPECT_EQ(storage.CheckedFileNames().Count(), 0);
    Free(pg);
}

TEST_F(SelectionTest, DocumentsAndDesktopItemsGiveTheirPaths) {
    Write(home + "/Desktop/note", "x");
    TRootNodeStorage storage;
    HeldPidl docs(Pidl({Item(0x1F, "/documents")}));
    HeldPidl note(Pidl({Entry("note")}));
    storage.Store(docs, skCheck)->Storage.CheckState = csCheckedNormal;
    storage.Store(note, skCheck)->Storage.CheckState = csCheckedNormal;
    EXPECT_EQ(Lines(storage.CheckedFileNames()),
              (std::vector<std::string>{home + "/Documents", home + "/Desktop/note"}));
}

TEST_F(SelectionTest, NamesAreKeptAsRawBytes) {
    const std::string odd = Make(std::string("caf\xE9 and \xFF"));
    const std::string spaced = Make("with  spaces ");
    TStringList paths;
    paths.Add(odd);
    paths.Add(spaced);
    TRootNodeStorage storage;
    storage.SetCheckedFileNames(paths);
    auto listed = Lines(storage.CheckedFileNames());
    std::sort(listed.begin(), listed.end());
    std::vector<std::string> expected{odd, spaced};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed, expected);
}

// A link to a folder is a folder: what the user checks through it is
// selected under the link's path, and survives the job file.
TEST_F(SelectionTest, ItemsThroughALinkedFolderAreListed) {
    Make("real/");
    Make("real/x.txt");
    const std::string link = files + "/link";
    ASSERT_EQ(symlink("real", link.c_str()), 0);
    ASSERT_EQ(symlink(".", (files + "/real/loop").c_str()), 0);
    TStringList paths;
    paths.Add(link + "/x.txt");
    paths.Add(link);
    paths.Add(link + "/loop");
    TRootNodeStorage storage;
    storage.SetCheckedFileNames(paths);
    const std::vector<std::string> expected{link, link + "/loop", link + "/x.txt"};
    EXPECT_EQ(Lines(storage.CheckedFileNames()), expected);
    TRootNodeStorage loaded;
    Load(loaded, Save(storage));
    EXPECT_EQ(Lines(loaded.CheckedFileNames()), expected);
}

TEST_F(SelectionTest, ItemsDeeperThanPathMaxAreListed) {
    const std::string name(200, 'd');
    const std::string deepest = MakeDeepFolders(files, name, 25);
    ASSERT_GT(deepest.size(), 5000u);
    // The leaf is made through the folders' descriptors, as the path is too
    // long for one call.
    {
        int fd = open(files.c_str(), O_PATH | O_DIRECTORY);
        for (int i = 0; i < 25; ++i) {
            const int next = openat(fd, name.c_str(), O_PATH | O_DIRECTORY);
            close(fd);
            fd = next;
        }
        const int leaf = openat(fd, "leaf", O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(leaf, 0);
        close(leaf);
        close(fd);
    }
    TStringList paths;
    paths.Add(deepest + "/leaf");
    paths.Add(files + "/" + name);
    TRootNodeStorage storage;
    storage.SetCheckedFileNames(paths);
    const std::vector<std::string> expected{files + "/" + name, deepest + "/leaf"};
    EXPECT_EQ(Lines(storage.CheckedFileNames()), expected);
    TRootNodeStorage loaded;
    Load(loaded, Save(storage));
    EXPECT_EQ(Lines(loaded.CheckedFileNames()), expected);
}

// Many items of one folder are checked against one listing of it: the
// answer must be the one the items would give one by one.
TEST_F(SelectionTest, ManyItemsOfOneFolderListWhatIsThere) {
    Make("many/");
    TStringList paths;
    std::vector<std::string> expected;
    for (int i = 0; i < 40; ++i) {
        const std::string f = Make("many/f" + std::to_string(100 + i));
        paths.Add(f);
        if (i != 7) expected.push_back(f);
    }
    const std::string hidden = Make("many/.hidden");
    const std::string link = files + "/many/link";
    ASSERT_EQ(symlink("nowhere", link.c_str()), 0);
    paths.Add(hidden);
    paths.Add(link);
    expected.insert(expected.begin(), hidden);
    expected.push_back(link); // a link is an item, wherever it points
    TRootNodeStorage storage;
    storage.SetCheckedFileNames(paths);
    // All there: the folder answers for all of them at once.
    std::vector<std::string> all = expected;
    all.insert(all.begin() + 8, files + "/many/f107");
    EXPECT_EQ(Lines(storage.CheckedFileNames()), all);
    ASSERT_EQ(unlink((files + "/many/f107").c_str()), 0);
    EXPECT_EQ(Lines(storage.CheckedFileNames()), expected);
    TRootNodeStorage loaded;
    Load(loaded, Save(storage));
    EXPECT_EQ(Lines(loaded.CheckedFileNames()), expected);
}

// A volume of the mount table is listed even while its medium is away.
TEST_F(SelectionTest, AVolumeWithoutItsMediumIsStillListed) {
    Write(mounts, "/dev/sda1 / ext4 rw 0 0\n/dev/sdb1 /media/u/stick vfat rw 0 0\n");
    TRootNodeStorage storage;
    HeldPidl stick(Pidl({Computer(), Item(0x2F, "/media/u/stick")}));
    storage.Store(stick, skCheck)->Storage.CheckState = csCheckedNormal;
    EXPECT_EQ(Lines(storage.CheckedFileNames()), std::vector<std::string>{"/media/u/stick"});
    TRootNodeStorage loaded;
    Load(loaded, Save(storage));
    EXPECT_EQ(Lines(loaded.CheckedFileNames()), std::vector<std::string>{"/media/u/stick"});
    Write(mounts, "/dev/sda1 / ext4 rw 0 0\n");
    EXPECT_EQ(storage.CheckedFileNames().Count(), 0) << "no longer a volume at all";
}

namespace {

// Runs body in a child process that has given up the right to read past
// permissions (root's capabilities); its exit status, or 128 + a signal.
template <typename Body> int WithoutReadRights(Body body) {
    return test::RunInChild([&] {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct caps[2]{};
        syscall(SYS_capget, &header, caps);
        caps[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        if (syscall(SYS_capset, &header, caps) != 0) return 90;
        return body();
    });
}

} // namespace

// A folder that cannot be read (rights, a failing medium) is no folder
// gone: what the job holds of it stays, is listed, and the folder is named.
TEST_F(SelectionTest, AFolderThatCannotBeReadIsReportedNotDropped) {
    Make("locked/");
    const std::string a = Make("locked/a.txt"), b = Make("open.txt");
    TStringList paths;
    paths.Add(a);
    paths.Add(b);
    TRootNodeStorage storage;
    storage.SetCheckedFileNames(paths);
    const Bytes job = Save(storage);
    ASSERT_EQ(chmod((files + "/locked").c_str(), 0), 0);
    const int status = WithoutReadRights([&] {
        TRootNodeStorage loaded;
        Load(loaded, job);
        if (Save(loaded) != job) return 1; // the locked item was dropped
        if (Lines(loaded.CheckedFileNames()) != std::vector<std::string>{a, b}) return 2;
        const auto& problems = loaded.CheckedFileNameProblems();
        if (problems.size() != 1 || problems[0].path != files + "/locked") return 3;
        return 0;
    });
    chmod((files + "/locked").c_str(), 0755);
    EXPECT_EQ(status, 0) << "1: dropped on loading, 2: not listed, 3: not reported";
}

TEST_F(SelectionTest, AssigningItsOwnSelectionKeepsIt) {
    const std::string a = Make("a"), b = Make("b/");
    TStringList paths;
    paths.Add(a);
    paths.Add(b);
    TRootNodeStorage storage;
    storage.SetCheckedFileNames(paths);
    const auto before = Lines(storage.CheckedFileNames());
    ASSERT_EQ(before.size(), 2u);
    storage.SetCheckedFileNames(storage.CheckedFileNames());
    EXPECT_EQ(Lines(storage.CheckedFileNames()), before);
}

// What a job file saves does not depend on what was looked for: a look
// below a stored folder that finds nothing leaves its record as it was, and
// a list of children emptied by deletes can be forgotten.
TEST_F(NodeLookupTest, ALookThatFindsNothingChangesNoSavedByte) {
    const std::string d = Make("d/"), f = Make("d/f");
    TRootNodeStorage storage;
    PItemIDList pd = Parse(d), pf = Parse(f);
    storage.Store(pd, skCheck)->Storage.CheckState = csCheckedNormal;
    const Bytes before = Save(storage);
    EXPECT_EQ(storage.Find(pf, skCheck), nullptr);
    EXPECT_EQ(storage.Lookup(pf), nullptr);
    EXPECT_EQ(storage.Lookup(pd)->Children(), nullptr);
    EXPECT_EQ(Save(storage), before);
    storage.Store(pf, skCheck);
    storage.Delete(pf, skCheck);
    ASSERT_NE(storage.Lookup(pd)->Children(), nullptr) << "a delete keeps the list, empty";
    EXPECT_NE(Save(storage), before);
    storage.Lookup(pd)->DropEmptyChildren();
    EXPECT_EQ(Save(storage), before);
    // A list that holds a record stays.
    storage.Store(pf, skCheck);
    storage.Lookup(pd)->DropEmptyChildren();
    EXPECT_NE(storage.Find(pf, skCheck), nullptr);
    Free(pd);
    Free(pf);
}

} // namespace
} // namespace ax::testing
