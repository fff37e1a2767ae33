// A load checked against the disk a piece at a time ends as the load in one
// piece does, whatever the pieces and whatever asks for it meanwhile.
#include "nodestorage_fixture.h"
#include "rtl/sysutils.h"

#include <filesystem>

namespace ax::testing {
namespace {

using SlicedLoadTest = NodeStorageTest;

Bytes RootWith(const Bytes& children, uint32_t count) {
    return Cat({U32(2), U8(0), U8(0), U8(1), U32(count), children, Tail(0, 0, 0)});
}
Bytes Leaf(const Bytes& pidl) {
    return Cat({StreamedPidl(pidl), U8(0), Tail(1, 2, 1)});
}

void Begin(TRootNodeStorage& storage, const Bytes& job) {
    TMemoryStream s(job);
    storage.BeginLoadFromStream(s, 3, false);
}

// A job of twenty files in one folder and one in another, then the second
// folder and two of the twenty gone from the disk.
class SlicedJob : public SlicedLoadTest {
protected:
    void SetUp() override {
        SlicedLoadTest::SetUp();
        Make("many/");
        Make("other/");
        TStringList paths;
        for (int i = 0; i < 20; ++i) paths.Add(Make("many/f" + std::to_string(10 + i)));
        paths.Add(Make("other/x"));
        TRootNodeStorage storage;
        storage.SetCheckedFileNames(paths);
        job = Save(storage);
        std::filesystem::remove_all(files + "/other");
        std::filesystem::remove(files + "/many/f12");
        std::filesystem::remove(files + "/many/f25");
        for (int i = 0; i < 20; ++i)
            if (i != 2 && i != 15) kept.push_back(files + "/many/f" + std::to_string(10 + i));
        TRootNodeStorage whole;
        Load(whole, job);
        wholeBytes = Save(whole);
    }
    Bytes job, wholeBytes;
    std::vector<std::string> kept;
};

TEST_F(SlicedJob, StepsOfAnySizeEndAsOneLoad) {
    for (size_t records : {size_t(1), size_t(3), size_t(17), size_t(100000)}) {
        TRootNodeStorage storage;
        Begin(storage, job);
        int steps = 1;
        double progress = -1;
        while (!storage.FinishLoadStep(records)) {
            ++steps;
            ASSERT_TRUE(storage.LoadPending());
            progress = storage.FinishLoadProgress();
            EXPECT_GE(progress, 0.0) << records;
            EXPECT_LE(progress, 1.0) << records;
            ASSERT_LT(steps, 1000);
        }
        EXPECT_FALSE(storage.LoadPending());
        EXPECT_EQ(Save(storage), wholeBytes) << records;
        EXPECT_EQ(Lines(storage.CheckedFileNames()), kept) << records;
        if (records == 1) {
            EXPECT_GT(steps, 20);
        }
        if (records == 100000) {
            EXPECT_EQ(steps, 1);
        }
    }
}

TEST_F(SlicedJob, AWholeLoadOrANewOneAskedMidwayTakesOver) {
    // The rest done at once: a save or a listing is never of half a load.
    TRootNodeStorage storage;
    Begin(storage, job);
    for (int i = 0; i < 5; ++i) ASSERT_FALSE(storage.FinishLoadStep(1));
    storage.FinishLoad();
    EXPECT_FALSE(storage.LoadPending());
    EXPECT_EQ(Save(storage), wholeBytes);

    // The same with the paths visited as they are found.
    TRootNodeStorage visited;
    Begin(visited, job);
    for (int i = 0; i < 5; ++i) ASSERT_FALSE(visited.FinishLoadStep(1));
    std::vector<std::string> paths;
    visited.FinishLoad([&](std::string&& path) { paths.push_back(std::move(path)); });
    EXPECT_EQ(paths, kept);
    EXPECT_EQ(Save(visited), wholeBytes);

    // Another load begun midway replaces the one under way.
    const std::string lone = Make("lone");
    TStringList one;
    one.Add(lone);
    TRootNodeStorage source;
    source.SetCheckedFileNames(one);
    TRootNodeStorage again;
    Begin(again, job);
    for (int i = 0; i < 5; ++i) ASSERT_FALSE(again.FinishLoadStep(1));
    Begin(again, Save(source));
    while (!again.FinishLoadStep(1)) {
    }
    EXPECT_EQ(Lines(again.CheckedFileNames()), (std::vector<std::string>{lone}));
}

TEST_F(SlicedLoadTest, SiblingsOutOfOrderAreSortedAndTwiceOnceInSteps) {
    const Bytes computer = Pidl({Computer()});
    const Bytes bin = Pidl({RecycleBin()});
    TRootNodeStorage storage;
    Begin(storage, RootWith(Cat({Leaf(bin), Leaf(computer), Leaf(bin)}), 3));
    while (!storage.FinishLoadStep(1)) {
    }
    ASSERT_EQ(storage.Children()->Count(), 2);
    EXPECT_EQ(PidlBytes(storage.Children()->Items(0)->AbsolutePIDL()), computer);
    EXPECT_EQ(PidlBytes(storage.Children()->Items(1)->AbsolutePIDL()), bin);
}

} // namespace
} // namespace ax::testing
