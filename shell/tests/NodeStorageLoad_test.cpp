// Loading job streams: what is dropped, what is refused, and that a refused
// stream changes nothing.
#include "nodestorage_fixture.h"
#include "rtl/sysutils.h"
#include "shell/WideStrings.h"

#include <filesystem>
#include <random>

namespace ax::testing {
namespace {

using JobLoadTest = NodeStorageTest;
using HostileJobTest = NodeStorageTest;

Bytes RootWith(const Bytes& children, uint32_t count) {
    return Cat({U32(2), U8(0), U8(0), U8(1), U32(count), children, Tail(0, 0, 0)});
}
Bytes Leaf(const Bytes& pidl, uint8_t state = 2) {
    return Cat({StreamedPidl(pidl), U8(0), Tail(1, state, 1)});
}

// Loads bytes that must be refused and checks that nothing changed.
void ExpectRefused(TRootNodeStorage& storage, const Bytes& bytes, const char* what) {
    const Bytes before = Save(storage);
    const int64_t blocks = LiveBlocks();
    TMemoryStream s(bytes);
    EXPECT_THROW(storage.LoadFromStream(s, 3, false), EReadError) << what;
    EXPECT_EQ(Save(storage), before) << what;
    EXPECT_EQ(LiveBlocks(), blocks) << what;
}

TEST_F(JobLoadTest, ItemsOfAGoneFolderAreDroppedAndTheirSiblingsKept) {
    const std::string d1 = Make("d1/"), d2 = Make("d2/");
    const std::string x = Make("d1/x"), y = Make("d2/y"), z = Make("z");
    TStringList paths;
    for (const std::string& p : {x, y, z})
        paths.Add(p);
    TRootNodeStorage storage;
    storage.SetCheckedFileNames(paths);
    const Bytes job = Save(storage);

    ASSERT_GT(std::filesystem::remove_all(d1), 0u);
    TRootNodeStorage loaded;
    Load(loaded, job);
    EXPECT_EQ(Lines(loaded.CheckedFileNames()), (std::vector<std::string>{y, z}));
    PItemIDList pfiles = Parse(files);
    TNodeStorage* folder = loaded.Store(pfiles, 0);
    ASSERT_EQ(folder->Children()->Count(), 2) << "d1 went with its subtree";
    EXPECT_EQ(PidlBytes(folder->Children()->Items(0)->AbsolutePIDL()), PathPidl(d2));
    Free(pfiles);
}

TEST_F(JobLoadTest, ARootWithoutChildrenEmptiesTheStorage) {
    const std::string a = Make("a");
    TStringList paths;
    paths.Add(a);
    TRootNodeStorage storage;
    storage.SetCheckedFileNames(paths);
    ASSERT_EQ(storage.CheckedFileNames().Count(), 1);
    PItemIDList pa = Parse(a);
    storage.Find(pa, skCheck);
    ASSERT_NE(storage.LastParent(), nullptr);
    Free(pa);

    TRootNodeStorage cleared;
    cleared.Clear(true);
    Load(storage, Save(cleared));
    EXPECT_EQ(storage.Children(), nullptr);
    EXPECT_EQ(storage.CheckedFileNames().Count(), 0);
    EXPECT_EQ(storage.LastParent(), nullptr);
    EXPECT_EQ(Save(storage), Save(cleared));
}

TEST_F(JobLoadTest, ChildrenThatBreakTheTreeAreDropped) {
    const Bytes computer = Pidl({Computer()});
    const Bytes bin = Pidl({RecycleBin()});
    const Bytes volume = Pidl({Computer(), RootVolume()});
    struct Case {
        const char* what;
        Bytes children;
        uint32_t count;
        std::vector<Bytes> kept;
    } cases[] = {
        {"two items below the root", Cat({Leaf(volume), Leaf(bin)}), 2, {bin}},
        {"no PIDL", Cat({U32(0), U8(0), Tail(1, 2, 1), Leaf(bin)}), 2, {bin}},
        {"the empty PIDL", Cat({Leaf(Pidl({})), Leaf(computer)}), 2, {computer}},
        {"out of order", Cat({Leaf(bin), Leaf(computer)}), 2, {computer, bin}},
        {"twice", Cat({Leaf(computer), Leaf(bin), Leaf(computer)}), 3, {computer, bin}},
        {"an item that does not exist",
         Cat({Leaf(Pidl({Item(0x31, "nothing-here")})), Leaf(bin)}),
         2,
         {bin}},
        {"in order", Cat({Leaf(computer), Leaf(bin)}), 2, {computer, bin}},
    };
    for (const Case& c : cases) {
        TRootNodeStorage storage;
        Load(storage, RootWith(c.children, c.count));
        std::vector<Bytes> kept;
        for (int i = 0; i < storage.Children()->Count(); ++i) {
            kept.push_back(PidlBytes(storage.Children()->Items(i)->AbsolutePIDL()));
            EXPECT_EQ(storage.Children()->Items(i)->Parent(), &storage);
        }
        EXPECT_EQ(kept, c.kept) << c.what;
    }

    // A grandchild that does not continue its parent's PIDL goes; the parent
    // stays.
    const Bytes nested =
        Cat({StreamedPidl(computer), U8(1), U32(1), Leaf(Pidl({RootVolume()})), Tail(0, 0, 0)});
    TRootNodeStorage storage;
    Load(storage, RootWith(nested, 1));
    ASSERT_EQ(storage.Children()->Count(), 1);
    EXPECT_EQ(storage.Children()->Items(0)->Children()->Count(), 0);
}

// A record for folder holding children, below the intermediate records of
// the folders on its way.
Bytes UnderFolder(const std::string& folder, const Bytes& children, uint32_t count) {
    Bytes record = Cat({StreamedPidl(PathPidl(folder)), U8(1), U32(count), children, Tail(0, 0, 0)});
    const Bytes items = PathItems(folder);
    std::vector<Bytes> ancestors;
    for (size_t at = 0; at < items.size();) {
        at += items[at] | (items[at + 1] << 8);
        Bytes prefix(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(at));
        prefix.push_back(0);
        prefix.push_back(0);
        ancestors.push_back(prefix);
    }
    ancestors.pop_back(); // the folder itself
    for (auto it = ancestors.rbegin(); it != ancestors.rend(); ++it)
        record = Cat({StreamedPidl(*it), U8(1), U32(1), record, Tail(0, 0, 0)});
    return RootWith(record, 1);
}

// The order of siblings comes from case folding, which another machine may
// do differently: a job written there must lose none of its items here.
TEST_F(JobLoadTest, SiblingsInAnotherOrderAreSortedNotDropped) {
    Make("d/");
    const std::string a = Make("d/a"), b = Make("d/B"), c = Make("d/c");
    const Bytes children = Cat({Leaf(PathPidl(c)), Leaf(PathPidl(a)), Leaf(PathPidl(b)),
                                Leaf(PathPidl(a), csMixedNormal)});
    // Computer > / > tmp... > files > d, each an intermediate record.
    TRootNodeStorage storage;
    Load(storage, UnderFolder(files + "/d", children, 4));
    EXPECT_EQ(Lines(storage.CheckedFileNames()), (std::vector<std::string>{a, b, c}))
        << "the first of two records of one item is kept";
    for (const std::string& path : {a, b, c}) {
        PItemIDList p = Parse(path);
        EXPECT_NE(storage.Find(p, skCheck), nullptr) << path;
        Free(p);
    }
}


TEST_F(JobLoadTest, ALoadInTwoStepsChangesNothingUntilFinished) {
    const Bytes computer = Pidl({Computer()});
    const Bytes bin = Pidl({RecycleBin()});
    const Bytes gone = Pidl({Item(0x31, "nothing-here")});
    HeldPidl volume(Pidl({Computer(), RootVolume()}));
    TRootNodeStorage storage;
    storage.FinishLoad(); // nothing pending: nothing happens
    storage.Store(volume, skCheck);
    const Bytes before = Save(storage);

    TMemoryStream job(RootWith(Cat({Leaf(bin), Leaf(gone), Leaf(computer)}), 3));
    storage.BeginLoadFromStream(job, 3, false);
    EXPECT_TRUE(storage.LoadPending());
    EXPECT_EQ(Save(storage), before);
    EXPECT_NE(storage.Find(volume, skCheck), nullptr);

    // A damaged stream begun meanwhile is refused and leaves the pending
    // load as it was.
    const Bytes damaged = RootWith(Cat({Leaf(bin)}), 2);
    TMemoryStream bad(damaged);
    EXPECT_THROW(storage.BeginLoadFromStream(bad, 3, false), EReadError);
    EXPECT_TRUE(storage.LoadPending());

    storage.FinishLoad();
    EXPECT_FALSE(storage.LoadPending());
    // Sorted, the item that is not there dropped.
    EXPECT_EQ(Save(storage), RootWith(Cat({Leaf(computer), Leaf(bin)}), 2));
    EXPECT_EQ(storage.Find(volume, skCheck), nullptr);
    EXPECT_EQ(storage.LastParent(), nullptr);
}

// A record inside a tree keeps its place in its folder's order: a record
// of another item loaded into it is refused and the tree stays as it was,
// lookups and all; a record of its own item loads in place.
TEST_F(JobLoadTest, ARecordInATreeTakesOnlyARecordOfItsOwnItem) {
    HeldPidl computer(Pidl({Computer()}));
    HeldPidl volume(Pidl({Computer(), RootVolume()}));
    HeldPidl bin(Pidl({RecycleBin()}));
    TRootNodeStorage storage;
    storage.Store(volume, skCheck);
    storage.Store(bin, skCheck);
    TNodeStorage* record = storage.Lookup(computer);
    ASSERT_NE(record, nullptr);
    const Bytes before = Save(storage);
    const Bytes own = Save(*record);
    const int64_t blocks = LiveBlocks();

    TMemoryStream other(Save(*storage.Lookup(bin)));
    EXPECT_THROW(record->LoadFromStream(other, 3, false), EReadError);
    EXPECT_EQ(Save(storage), before);
    EXPECT_EQ(LiveBlocks(), blocks);
    EXPECT_EQ(storage.Lookup(computer), record);
    EXPECT_NE(storage.Find(volume, skCheck), nullptr);
    EXPECT_NE(storage.Find(bin, skCheck), nullptr);

    storage.Find(volume, skCheck)->Storage.CheckState = csCheckedNormal;
    Load(*record, own);
    EXPECT_EQ(Save(storage), before);
    EXPECT_EQ(storage.Find(volume, skCheck)->Parent(), record);
}

TEST_F(JobLoadTest, ItemsAreCheckedAgainstTheDiskWhenTheLoadIsFinished) {
    Make("d/");
    const std::string a = Make("d/a"), b = Make("d/b"), c = Make("d/c");
    const Bytes job = UnderFolder(files + "/d", Cat({Leaf(PathPidl(a)), Leaf(PathPidl(b)), Leaf(PathPidl(c))}), 3);
    TRootNodeStorage storage;
    TMemoryStream s(job);
    storage.BeginLoadFromStream(s, 3, false);
    ASSERT_EQ(::unlink(b.c_str()), 0);
    storage.FinishLoad();
    EXPECT_EQ(Lines(storage.CheckedFileNames()), (std::vector<std::string>{a, c}));
    EXPECT_EQ(Save(storage), UnderFolder(files + "/d", Cat({Leaf(PathPidl(a)), Leaf(PathPidl(c))}), 2));

    // Loaded at once, the same stream gives the same bytes.
    TRootNodeStorage direct;
    Load(direct, job);
    EXPECT_EQ(Save(direct), Save(storage));
}

TEST_F(JobLoadTest, LoadingDropsTheCache) {
    HeldPidl computer(Pidl({Computer(), RootVolume()}));
    TRootNodeStorage storage;
    storage.Store(computer, skCheck);
    ASSERT_NE(storage.LastParent(), nullptr);
    Load(storage, Save(storage));
    EXPECT_EQ(storage.LastParent(), nullptr);
    EXPECT_NE(storage.Find(computer, skCheck), nullptr);
}

TEST_F(JobLoadTest, FilesLoadAndSaveAtomically) {
    const std::string job = root + "/backup job.JOB";
    const std::string a = Make("a");
    TStringList paths;
    paths.Add(a);
    TRootNodeStorage storage;
    storage.SetCheckedFileNames(paths);
    storage.SaveToFile(Utf8ToWide(job), 3, false);
    const Bytes saved = ReadFile(job);
    EXPECT_EQ(saved, Save(storage));

    TRootNodeStorage loaded;
    loaded.LoadFromFile(Utf8ToWide(job), 3, false);
    EXPECT_EQ(Lines(loaded.CheckedFileNames()), (std::vector<std::string>{a}));

    // A save that fails half way leaves the previous file as it was.
    class TFailing : public TStorageObject {
    public:
        AnsiString ClassName() const override { return "TFailing"; }
        void Assign(const TStorageObject&) override {}
        void SaveToStream(TStream& s, int32_t version, bool words) override {
            TStorageObject::SaveToStream(s, version, words);
            s.WriteValue<uint32_t>(0xDEADBEEF);
            throw EWriteError("disk full");
        }
    };
    loaded.Storage.UserObject() = std::make_shared<TFailing>();
    EXPECT_THROW(loaded.SaveToFile(Utf8ToWide(job), 3, false), EWriteError);
    EXPECT_EQ(ReadFile(job), saved);

    // A missing file raises the file stream's error and changes nothing.
    const Bytes before = Save(storage);
    EXPECT_THROW(storage.LoadFromFile(Utf8ToWide(root + "/none.JOB"), 3, false), EFOpenError);
    EXPECT_EQ(Save(storage), before);
}

TEST_F(HostileJobTest, EveryTruncationIsRefusedWithoutChange) {
    const std::string a = Make("a"), b = Make("dir/") + "/b";
    Write(b, "x");
    TStringList paths;
    paths.Add(a);
    paths.Add(b);
    TRootNodeStorage source;
    source.SetCheckedFileNames(paths);
    source.Storage.Columns().Widths = {1, 2, 3};
    const Bytes job = Save(source);
    TRootNodeStorage storage;
    Load(storage, job);
    for (size_t cut = 0; cut < job.size(); ++cut)
        ExpectRefused(storage, Bytes(job.begin(), job.begin() + long(cut)), "truncated");
}

TEST_F(HostileJobTest, CountsAndLengthsAreCheckedBeforeAllocating) {
    TRootNodeStorage storage;
    HeldPidl computer(Pidl({Computer()}));
    storage.Store(computer, skCheck)->Storage.CheckState = csCheckedNormal;

    const Bytes head = Cat({U32(2), U8(0), U8(0)});
    ExpectRefused(storage, Cat({head, U8(1), U32(0x7FFFFFFF)}), "child count");
    ExpectRefused(storage, Cat({head, U8(1), U32(0xFFFFFFFF)}), "negative child count");
    ExpectRefused(storage, Cat({U32(0x7FFFFFF0), U8(0), U8(0)}), "PIDL size");
    ExpectRefused(storage, Cat({U32(0xFFFFFFFE), U8(0), U8(0)}), "negative PIDL size");
    ExpectRefused(storage, Cat({U32(4), U8(9), U8(0), U8(0), U8(0), U8(0), Tail(0, 0, 0)}),
                  "broken PIDL chain");
    ExpectRefused(storage, Cat({head, U8(0), U8(0), U8(0), U8(0), U32(0x40000000)}), "width count");
    ExpectRefused(storage, Cat({head, U8(0), U8(0), U8(0), U8(0), U32(0), U32(0), U32(0x7FFFFFFF)}),
                  "visible count");
    const Bytes noObjectYet = Cat({head, U8(0), U8(4), U8(0), U8(0), U32(0), U32(0), U32(0)});
    ExpectRefused(storage, Cat({noObjectYet, U8(1), U32(256), Bytes(300, 'A')}),
                  "class name length");
    ExpectRefused(storage, Cat({noObjectYet, U8(1), U32(0)}), "empty class name");
    ExpectRefused(storage, Cat({noObjectYet, U8(1), U32(50), Bytes(10, 'A')}),
                  "class name beyond the end");
    ExpectRefused(storage, Cat({noObjectYet, U8(1), U32(5), {'T', 'N', 'o', 'n', 'e'}}),
                  "class not registered");
    ExpectRefused(storage, Cat({head, U8(2), U32(0), Tail(0, 0, 0)}), "has-children 2");
    ExpectRefused(storage, Cat({head, U8(0), Tail(8, 0, 0)}), "unknown kind");
    ExpectRefused(storage, Cat({head, U8(0), Tail(1, 6, 0)}), "check state 6");
    ExpectRefused(storage, Cat({head, U8(0), Tail(1, 2, 5)}), "check type 5");
    ExpectRefused(storage, Cat({StreamedPidl(Pidl({Computer()})), U8(0), Tail(0, 0, 0)}),
                  "a root record that is not the desktop");
}

TEST_F(HostileJobTest, NestingDepthIsBounded) {
    auto nested = [](int depth) {
        Bytes out;
        for (int i = 0; i < depth; ++i)
            out = Cat({out, U32(0), U8(1), U32(1)});
        out = Cat({out, U32(0), U8(0), Tail(0, 0, 0)});
        for (int i = 0; i < depth; ++i)
            out = Cat({out, Tail(0, 0, 0)});
        return out;
    };
    TRootNodeStorage storage;
    // Children without PIDLs are dropped, so a legal depth loads to nothing.
    Load(storage, nested(100));
    EXPECT_EQ(storage.Children()->Count(), 0);
    ExpectRefused(storage, nested(kMaxNodeDepth + 5), "too deep");
}

// Valid jobs, mutated from fixed seeds: cut short, bytes flipped, counts
// blown up. Whatever comes, the load either succeeds or changes nothing,
// and no PIDL is lost or freed twice.
TEST_F(HostileJobTest, SeededMutationsNeverCrashLeakOrLoadHalfWay) {
    const std::string a = Make("alpha"), d = Make("deep/"), b = Make("deep/beta");
    const std::string c = Make("deep/gamma/");
    TStringList paths;
    for (const std::string& p : {a, d, b, c})
        paths.Add(p);
    TRootNodeStorage source;
    source.Storage.CheckType = ctTriStateCheckBox;
    source.SetCheckedFileNames(paths);
    source.Storage.Columns().Widths = {80, 120};
    source.Storage.Columns().Visible = {1, 1};
    const std::vector<std::pair<Bytes, bool>> jobs{{Save(source), false},
                                                   {Save(source, 3, true), true}};

    int loaded = 0, refused = 0;
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        std::mt19937 random(seed);
        for (const auto& [job, words] : jobs) {
            for (int round = 0; round < 250; ++round) {
                Bytes bytes = job;
                auto at = [&](size_t n) {
                    return std::uniform_int_distribution<size_t>(0, n - 1)(random);
                };
                switch (round % 3) {
                case 0:
                    bytes.resize(at(bytes.size()));
                    break;
                case 1:
                    for (int flips = 1 + int(at(4)); flips > 0; --flips)
                        bytes[at(bytes.size())] ^= uint8_t(1u << at(8));
                    break;
                default: {
                    const size_t where = at(bytes.size() - 3);
                    const uint32_t big[] = {0x7FFFFFFF, 0xFFFFFFFF, 0x00010000, 0x40000001};
                    const uint32_t v = big[at(4)];
                    for (int i = 0; i < 4; ++i)
                        bytes[where + i] = uint8_t(v >> (8 * i));
                }
                }
                TRootNodeStorage storage;
                Load(storage, job, 3, words);
                const Bytes before = Save(storage, 3, words);
                const int64_t blocks = LiveBlocks();
                TMemoryStream s(bytes);
                try {
                    storage.LoadFromStream(s, 3, words);
                    ++loaded;
                    // What was kept must still answer lookups and save.
                    storage.CheckedFileNames();
                    Save(storage, 3, words);
                } catch (const EReadError&) {
                    ++refused;
                    ASSERT_EQ(Save(storage, 3, words), before) << "seed " << seed;
                    ASSERT_EQ(LiveBlocks(), blocks) << "seed " << seed;
                }
            }
        }
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(loaded, 0);
}

} // namespace
} // namespace ax::testing
