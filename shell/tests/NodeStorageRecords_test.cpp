// Records that keep only their own item: the paths they stand for, after
// loads, saves and moves, must be the ones stored.
#include "nodestorage_fixture.h"

#include <filesystem>
#include <stdexcept>

namespace ax::testing {
namespace {

using RecordPathTest = NodeStorageTest;

// A record that holds a children list, as the stream holds it.
Bytes Folder(const Bytes& pidl, const std::vector<Bytes>& children, const Bytes& tail) {
    Bytes out = Cat({StreamedPidl(pidl), U8(1), U32(uint32_t(children.size()))});
    for (const Bytes& child : children)
        out.insert(out.end(), child.begin(), child.end());
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}
Bytes Leaf(const Bytes& pidl, const Bytes& tail) {
    return Cat({StreamedPidl(pidl), U8(0), tail});
}
// PIDL bytes of the way down to path: the computer, then the volume, then
// every folder, each one item longer.
std::vector<Bytes> WayDown(const std::string& path) {
    const Bytes items = PathItems(path);
    std::vector<Bytes> way;
    for (size_t at = 0; at < items.size();) {
        at += size_t(items[at]) | size_t(items[at + 1]) << 8;
        way.push_back(Cat({Bytes(items.begin(), items.begin() + long(at)), Bytes{0, 0}}));
    }
    return way;
}
// inner wrapped in records of every folder from the desktop down to path
// (path's own record included), each holding nothing itself.
Bytes JobAround(const std::string& path, const std::vector<Bytes>& inner) {
    const std::vector<Bytes> way = WayDown(path);
    std::vector<Bytes> children = inner;
    for (size_t level = way.size(); level-- > 0;)
        children = {Folder(way[level], children, Tail(0, 0, 0))};
    return Folder(Bytes{0, 0}, children, Tail(0, 0, 0));
}
Bytes RelativeBytes(const TNodeStorage& node) {
    const auto* item = reinterpret_cast<const uint8_t*>(node.RelativePIDL());
    return Bytes(item, item + ILByteSize(node.RelativePIDL()));
}

TEST_F(RecordPathTest, AJobAtDepthWithNonAsciiNamesSavesBackByteForByte) {
    for (const char* folder : {"A/", "A/B/", "A/B/C/", "\xC3\x9Cn\xC3\xAF/"})
        Make(folder);
    const std::string deep = Make("A/B/C/deep.txt");
    const std::string top = Make("A/top.txt");
    const std::string odd = Make("\xC3\x9Cn\xC3\xAF/bad\xFFname.txt");
    const std::string base = files + "/";
    const Bytes job = JobAround(
        files,
        {Folder(PathPidl(base + "A"),
                {Folder(PathPidl(base + "A/B"),
                        {Folder(PathPidl(base + "A/B/C"), {Leaf(PathPidl(deep), Tail(1, 2, 1))},
                                Tail(0, 0, 0))},
                        Tail(0, 0, 0)),
                 Leaf(PathPidl(top), Tail(1, 2, 1))},
                Tail(1, 4, 1)),
         Folder(PathPidl(base + "\xC3\x9Cn\xC3\xAF"), {Leaf(PathPidl(odd), Tail(1, 2, 1))},
                Tail(0, 0, 0))});

    TRootNodeStorage storage;
    Load(storage, job);
    EXPECT_EQ(Save(storage), job) << "every record kept, each with its whole path";
    EXPECT_EQ(Lines(storage.CheckedFileNames()), (std::vector<std::string>{deep, top, odd}));

    PItemIDList pdeep = Parse(deep), podd = Parse(odd);
    const TNodeStorage* record = storage.Find(pdeep, skCheck);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(PidlBytes(record->AbsolutePIDL()), PathPidl(deep));
    EXPECT_EQ(RelativeBytes(*record), Cat({Entry("deep.txt"), Bytes{0, 0}}));
    ASSERT_NE(storage.Find(podd, skCheck), nullptr);
    EXPECT_EQ(PidlBytes(storage.Find(podd, skCheck)->AbsolutePIDL()), PathPidl(odd));
    Free(pdeep);
    Free(podd);

    // Loaded again from what it saved: the same bytes once more.
    TRootNodeStorage again;
    Load(again, Save(storage));
    EXPECT_EQ(Save(again), job);
}

TEST_F(RecordPathTest, RecordsBelowAMovedFolderTakeItsNewPathIntoTheJob) {
    Make("A/");
    Make("A/B/");
    Make("A/B/C/");
    const std::string deep = Make("A/B/C/deep.txt");
    Make("Other/");
    TRootNodeStorage storage;
    PItemIDList pa = Parse(files + "/A"), pdeep = Parse(deep);
    storage.Store(pdeep, skCheck)->Storage.CheckState = csCheckedNormal;

    // Moved one level down, under another name.
    const std::string moved = files + "/Other/Z";
    ASSERT_EQ(rename((files + "/A").c_str(), moved.c_str()), 0);
    PItemIDList pmoved = Parse(moved);
    ASSERT_TRUE(storage.Rename(pa, pmoved));
    const std::string now = moved + "/B/C/deep.txt";
    PItemIDList pnow = Parse(now);
    const TNodeStorage* record = storage.Find(pnow, skCheck);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->Storage.CheckState, csCheckedNormal);
    EXPECT_EQ(PidlBytes(record->AbsolutePIDL()), PathPidl(now));
    EXPECT_EQ(PidlBytes(record->Parent()->AbsolutePIDL()), PathPidl(moved + "/B/C"));
    EXPECT_EQ(Lines(storage.CheckedFileNames()), (std::vector<std::string>{now}));

    // What the job holds is the new way down, and it loads as such.
    const Bytes job = Save(storage);
    TRootNodeStorage loaded;
    Load(loaded, job);
    EXPECT_EQ(Lines(loaded.CheckedFileNames()), (std::vector<std::string>{now}));
    ASSERT_NE(loaded.Find(pnow, skCheck), nullptr);
    EXPECT_EQ(PidlBytes(loaded.Find(pnow, skCheck)->AbsolutePIDL()), PathPidl(now));
    for (PItemIDList p : {pa, pdeep, pmoved, pnow})
        Free(p);
}

TEST_F(RecordPathTest, ARecordReadAloneKeepsItsWholePathAndItsChildrenTheirs) {
    const std::string folder = Make("A/");
    const std::string top = Make("A/top.txt");
    const Bytes record =
        Folder(PathPidl(folder), {Leaf(PathPidl(top), Tail(1, 2, 1))}, Tail(1, 4, 1));
    TNodeStorage node(nullptr, nullptr);
    Load(node, record);
    EXPECT_EQ(PidlBytes(node.AbsolutePIDL()), PathPidl(folder));
    EXPECT_EQ(RelativeBytes(node), Cat({Entry("A"), Bytes{0, 0}}));
    ASSERT_EQ(node.Children()->Count(), 1);
    EXPECT_EQ(PidlBytes(node.Children()->Items(0)->AbsolutePIDL()), PathPidl(top));
    EXPECT_EQ(Save(node), record);

    // A copy of a record inside a tree stands alone with its whole path.
    TNodeStorage copy(nullptr, nullptr);
    copy.Assign(*node.Children()->Items(0));
    EXPECT_EQ(Save(copy), Leaf(PathPidl(top), Tail(1, 2, 1)));
}

// Names of 1 and 7 bytes are held inside their records, of 8 and 255 in a
// block of their own: every form stores, saves, loads and lists the same.
TEST_F(RecordPathTest, NamesAtTheInlineLimitSaveLoadAndListUnchanged) {
    const std::string folder = Make("In/");
    const std::vector<std::string> names{"a", "bcdefgh", "cdefghij", std::string(255, 'd')};
    std::vector<std::string> paths;
    std::vector<Bytes> leaves;
    for (const std::string& name : names) {
        paths.push_back(Make("In/" + name));
        leaves.push_back(Leaf(PathPidl(paths.back()), Tail(1, 2, 1)));
    }
    const Bytes job = JobAround(folder, leaves);
    // The leaves' own items, by hand: size word, kind, name.
    EXPECT_EQ(Entry("a"), (Bytes{0x04, 0x00, 0x31, 'a'}));
    EXPECT_EQ(Entry(names[2]), (Bytes{0x0B, 0x00, 0x31, 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j'}));

    TRootNodeStorage storage;
    // Stored longest first: each lands in its place in the folder's order.
    for (size_t i = names.size(); i-- > 0;) {
        HeldPidl pidl(PathPidl(paths[i]));
        TNodeStorage* record = storage.Store(pidl, skCheck);
        ASSERT_NE(record, nullptr);
        record->Storage.CheckState = csCheckedNormal;
        record->Storage.CheckType = ctTriStateCheckBox;
    }
    EXPECT_EQ(Save(storage), job);
    EXPECT_EQ(Lines(storage.CheckedFileNames()), paths);
    for (size_t i = 0; i < names.size(); ++i) {
        HeldPidl pidl(PathPidl(paths[i]));
        const TNodeStorage* record = storage.Find(pidl, skCheck);
        ASSERT_NE(record, nullptr) << names[i].size();
        EXPECT_EQ(RelativeBytes(*record), Cat({Entry(names[i]), Bytes{0, 0}})) << names[i].size();
        EXPECT_EQ(PidlBytes(record->AbsolutePIDL()), PathPidl(paths[i])) << names[i].size();
    }

    TRootNodeStorage loaded;
    Load(loaded, job);
    EXPECT_EQ(Save(loaded), job) << "save, load, save: the same bytes";
    EXPECT_EQ(Lines(loaded.CheckedFileNames()), paths);
    TRootNodeStorage copy;
    copy.Assign(loaded);
    EXPECT_EQ(Save(copy), job);

    // The folder renamed from a short name to a long one and back: the
    // records below keep their items and follow it.
    const std::string longer = files + "/In-a-longer-name";
    ASSERT_EQ(rename(folder.c_str(), longer.c_str()), 0);
    HeldPidl before(PathPidl(folder)), after(PathPidl(longer));
    ASSERT_TRUE(loaded.Rename(before, after));
    std::vector<std::string> renamed;
    for (const std::string& name : names)
        renamed.push_back(longer + "/" + name);
    EXPECT_EQ(Lines(loaded.CheckedFileNames()), renamed);
    ASSERT_EQ(rename(longer.c_str(), folder.c_str()), 0);
    ASSERT_TRUE(loaded.Rename(after, before));
    EXPECT_EQ(Save(loaded), job);
}

// The selection read while a load finishes (each folder read once) is the
// selection read after it, and the storage it leaves is the same.
TEST_F(RecordPathTest, TheSelectionWhileALoadFinishesIsTheOneAfterIt) {
    TStringList paths;
    std::vector<std::string> kept;
    Make("Many/");
    for (int i = 0; i < 20; ++i) {
        const std::string name = Make("Many/f" + std::to_string(100 + i));
        paths.Add(name);
        if (i % 3 != 0) kept.push_back(name);
    }
    Make("Gone/");
    paths.Add(Make("Gone/x"));
    const std::string last = Make("z");
    paths.Add(last);
    kept.push_back(last);
    TRootNodeStorage storage;
    storage.SetCheckedFileNames(paths);
    const Bytes job = Save(storage);
    for (int i = 0; i < 20; i += 3)
        std::filesystem::remove(files + "/Many/f" + std::to_string(100 + i));
    std::filesystem::remove_all(files + "/Gone");

    TRootNodeStorage after;
    Load(after, job);
    TRootNodeStorage during;
    TMemoryStream in(job);
    during.BeginLoadFromStream(in, 3, false);
    std::vector<std::string> listed;
    during.FinishLoad([&](std::string&& name) { listed.push_back(std::move(name)); });
    EXPECT_EQ(listed, kept);
    EXPECT_EQ(Lines(after.CheckedFileNames()), kept);
    EXPECT_FALSE(during.LoadPending());
    EXPECT_EQ(Save(during), Save(after)) << "what is gone is dropped from both";

    // A listing cut short replaces nothing.
    TMemoryStream again(job);
    TRootNodeStorage cut;
    const Bytes empty = Save(cut);
    cut.BeginLoadFromStream(again, 3, false);
    EXPECT_THROW(cut.FinishLoad([](std::string&&) { throw std::runtime_error("stop"); }),
                 std::runtime_error);
    EXPECT_FALSE(cut.LoadPending());
    EXPECT_EQ(Save(cut), empty);
}

} // namespace
} // namespace ax::testing
