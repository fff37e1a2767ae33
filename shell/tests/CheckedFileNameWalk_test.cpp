// The selection read a piece at a time: the same paths as the storage's own
// listing, however small the pieces, and never a mix of two selections.
#include "nodestorage_fixture.h"
#include "shell/CheckedFileNameWalk.h"

#include <cstdio>

using namespace ax;
using namespace ax::testing;

namespace {

using CheckedFileNameWalkTest = NodeStorageTest;

void Check(TRootNodeStorage& storage, PCItemIDList pidl, TCheckState state = csCheckedNormal) {
    TNodeStorage* node = storage.Store(pidl, skCheck);
    node->Storage.CheckType = ctTriStateCheckBox;
    node->Storage.CheckState = state;
}

std::vector<std::string> WalkAll(TRootNodeStorage& storage, size_t records) {
    TCheckedFileNameWalk walk(storage);
    while (!walk.Step(records)) {
    }
    return walk.Paths();
}

} // namespace

TEST_F(CheckedFileNameWalkTest, PiecesOfAnySizeGiveTheWholeListingInOrder) {
    const std::string a = Make("A/");
    const std::string one = Make("A/one.txt");
    Make("A/Deep/");
    const std::string deep = Make("A/Deep/two.txt");
    const std::string gone = Make("A/gone.txt");
    const std::string mixed = Make("B/");
    const std::string three = Make("B/three.txt");
    // Enough checked files in one folder to be asked about together, one
    // of them gone from the disk.
    Make("Many/");
    std::vector<PItemIDList> held;
    for (int i = 0; i < 20; ++i) held.push_back(Parse(Make("Many/f" + std::to_string(10 + i))));
    TRootNodeStorage storage;
    storage.Storage.CheckType = ctTriStateCheckBox;
    for (const std::string& path : {a, one, deep, gone, three}) {
        PItemIDList pidl = Parse(path);
        Check(storage, pidl);
        Free(pidl);
    }
    PItemIDList pmixed = Parse(mixed);
    Check(storage, pmixed, csMixedNormal);
    Free(pmixed);
    for (PItemIDList pidl : held) {
        Check(storage, pidl);
        Free(pidl);
    }
    ASSERT_EQ(std::remove(gone.c_str()), 0);
    ASSERT_EQ(std::remove((files + "/Many/f17").c_str()), 0);

    std::vector<std::string> expected{a, deep, one, three};
    for (int i = 0; i < 20; ++i)
        if (i != 7) expected.push_back(files + "/Many/f" + std::to_string(10 + i));
    EXPECT_EQ(Lines(storage.CheckedFileNames()), expected);
    for (size_t records : {size_t(1), size_t(2), size_t(7), size_t(1000)})
        EXPECT_EQ(WalkAll(storage, records), expected) << records << " records a step";

    TRootNodeStorage empty;
    TCheckedFileNameWalk none(empty);
    EXPECT_TRUE(none.Step(1));
    EXPECT_TRUE(none.Paths().empty());
    EXPECT_EQ(none.Progress(), 1.0);
}

TEST_F(CheckedFileNameWalkTest, AChangeBetweenPiecesStartsTheWalkAgain) {
    const std::string x = Make("x.txt"), y = Make("y.txt"), z = Make("z.txt");
    PItemIDList px = Parse(x), py = Parse(y), pz = Parse(z);
    TRootNodeStorage storage;
    Check(storage, px);
    Check(storage, pz);
    TCheckedFileNameWalk walk(storage);
    while (walk.Paths().empty()) ASSERT_FALSE(walk.Step(1));
    EXPECT_GT(walk.Progress(), 0.0);
    EXPECT_LT(walk.Progress(), 1.0);
    // Another reader meanwhile reads the whole selection and changes nothing.
    EXPECT_EQ(Lines(storage.CheckedFileNames()), (std::vector<std::string>{x, z}));
    EXPECT_EQ(walk.Restarts(), 0);
    while (!walk.Step(1)) {
    }
    EXPECT_EQ(walk.Paths(), (std::vector<std::string>{x, z}));
    EXPECT_EQ(walk.Restarts(), 0);

    // Checked and unchecked between pieces: the walk ends with the selection
    // as it is then, not a mix of before and after.
    TCheckedFileNameWalk again(storage);
    EXPECT_FALSE(again.Step(1));
    Check(storage, py);
    storage.Delete(px, skCheck);
    while (!again.Step(1)) {
    }
    EXPECT_EQ(again.Paths(), (std::vector<std::string>{y, z}));
    EXPECT_EQ(again.Restarts(), 1);
    for (PItemIDList p : {px, py, pz}) Free(p);
}

TEST_F(CheckedFileNameWalkTest, WorkStillSpreadingCompletesFirst) {
    const std::string x = Make("x.txt"), y = Make("y.txt");
    PItemIDList px = Parse(x), py = Parse(y);
    int completed = 0;
    TRootNodeStorage storage;
    Check(storage, px);
    storage.OnCompletePending = [&] {
        if (completed++ == 0) Check(storage, py);
    };
    EXPECT_EQ(WalkAll(storage, 1), (std::vector<std::string>{x, y}));
    EXPECT_EQ(completed, 1);
    Free(px);
    Free(py);
}
