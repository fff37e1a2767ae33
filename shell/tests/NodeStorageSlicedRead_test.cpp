// A job read a piece at a time ends as the load in one piece does: the same
// records, the same faults refused, and nothing of the storage changed by a
// load that fails or is still being read.
#include "nodestorage_fixture.h"
#include "rtl/sysutils.h"

#include <filesystem>
#include <random>

namespace ax::testing {
namespace {

void BeginInSteps(TRootNodeStorage& storage, const Bytes& job, size_t records, bool words = false) {
    storage.BeginLoadFromStream(std::make_unique<TMemoryStream>(job), 3, words, records);
}

// Reads the job in steps of records; answers how many steps it took.
int ReadInSteps(TRootNodeStorage& storage, const Bytes& job, size_t records, bool words = false) {
    BeginInSteps(storage, job, records, words);
    int steps = 1;
    for (; storage.LoadReading(); ++steps)
        storage.BeginLoadStep(records);
    return steps;
}

int RecordsBelow(const TNodeStorage& node) {
    int n = 0;
    if (const TNodeStorageList* children = node.Children())
        for (int i = 0; i < children->Count(); ++i)
            n += 1 + RecordsBelow(*children->Items(i));
    return n;
}

bool FileHeld(const std::string& path) {
    try {
        TFileStream probe(path, fmOpenRead | fmShareExclusive);
        return false;
    } catch (const EFOpenError&) {
        return true;
    }
}

// Files three folders deep, one folder and one file gone since the job was
// saved; the storage read holds one other file.
class SlicedReadTest : public NodeStorageTest {
protected:
    void SetUp() override {
        NodeStorageTest::SetUp();
        TStringList paths;
        for (const char* name : {"a/", "a/b/", "a/b/c/"})
            Make(name);
        for (const char* name : {"a/b/c/h", "a/b/g1", "a/b/g2", "a/b/g3", "a/f1", "a/f2", "a/f3",
                                 "a/f4", "a/f5", "top.txt"})
            paths.Add(Make(name));
        TRootNodeStorage source;
        source.SetCheckedFileNames(paths);
        job = Save(source);
        records = RecordsBelow(source);
        std::filesystem::remove_all(files + "/a/b/c");
        std::filesystem::remove(files + "/a/f3");
        kept = {files + "/a/b/g1", files + "/a/b/g2", files + "/a/b/g3", files + "/a/f1",
                files + "/a/f2",   files + "/a/f4",   files + "/a/f5",   files + "/top.txt"};
        TRootNodeStorage whole;
        Load(whole, job);
        wholeBytes = Save(whole);
        other = Make("other");
    }
    // A storage holding other alone.
    void HoldOther(TRootNodeStorage& storage) {
        TStringList one;
        one.Add(other);
        storage.SetCheckedFileNames(one);
    }

    Bytes job, wholeBytes;
    int records = 0; // below the root, in the job
    std::vector<std::string> kept;
    std::string other;
};

TEST_F(SlicedReadTest, StepsOfAnySizeReadWhatOnePieceReads) {
    ASSERT_GT(records, 10);
    for (size_t step : {size_t(1), size_t(2), size_t(7), size_t(100000)}) {
        TRootNodeStorage storage;
        HoldOther(storage);
        const Bytes before = Save(storage);
        BeginInSteps(storage, job, step);
        int steps = 1;
        double progress = 0;
        while (storage.LoadReading()) {
            // Read so far is nothing the storage shows or saves.
            ASSERT_TRUE(storage.LoadPending());
            ASSERT_EQ(storage.PendingLoad(), nullptr);
            ASSERT_EQ(Save(storage), before) << step;
            ASSERT_EQ(Lines(storage.CheckedFileNames()), (std::vector<std::string>{other})) << step;
            const double now = storage.BeginLoadProgress();
            EXPECT_GE(now, progress) << step;
            EXPECT_LT(now, 1.0) << step;
            progress = now;
            storage.BeginLoadStep(step);
            ASSERT_LT(++steps, 1000);
        }
        EXPECT_EQ(storage.BeginLoadProgress(), 1.0);
        ASSERT_NE(storage.PendingLoad(), nullptr);
        storage.FinishLoad();
        EXPECT_FALSE(storage.LoadPending());
        EXPECT_EQ(Save(storage), wholeBytes) << step;
        EXPECT_EQ(Lines(storage.CheckedFileNames()), kept) << step;
        // One record a step, and one to end the records under way.
        if (step == 1) {
            EXPECT_EQ(steps, records + 1);
        } else if (step == 100000) {
            EXPECT_EQ(steps, 1);
        }
    }
}

TEST_F(SlicedReadTest, CheckingStepsReadFirstAndWholeLoadsFinishTheReading) {
    for (size_t step : {size_t(1), size_t(2), size_t(7), size_t(100000)}) {
        TRootNodeStorage storage;
        BeginInSteps(storage, job, step);
        int steps = 1;
        while (!storage.FinishLoadStep(step)) {
            // Nothing is checked against the disk before all is read.
            if (storage.LoadReading()) {
                EXPECT_EQ(storage.FinishLoadProgress(), 0.0);
            }
            ASSERT_LT(++steps, 1000);
        }
        EXPECT_EQ(Save(storage), wholeBytes) << step;
        if (step == 1) {
            EXPECT_GT(steps, records + 1);
        }
    }

    // Asked for whole midway, the rest is read and checked at once.
    TRootNodeStorage finished;
    HoldOther(finished);
    BeginInSteps(finished, job, 1);
    for (int i = 0; i < 4; ++i)
        ASSERT_FALSE(finished.BeginLoadStep(1));
    finished.FinishLoad();
    EXPECT_FALSE(finished.LoadPending());
    EXPECT_EQ(Save(finished), wholeBytes);

    TRootNodeStorage visited;
    BeginInSteps(visited, job, 3);
    std::vector<std::string> paths;
    visited.FinishLoad([&](std::string&& path) { paths.push_back(std::move(path)); });
    EXPECT_EQ(paths, kept);
    EXPECT_EQ(Save(visited), wholeBytes);

    // Another load begun midway replaces the one being read.
    TRootNodeStorage replaced;
    BeginInSteps(replaced, job, 2);
    TRootNodeStorage holder;
    HoldOther(holder);
    Load(replaced, Save(holder));
    EXPECT_FALSE(replaced.LoadPending());
    EXPECT_EQ(Lines(replaced.CheckedFileNames()), (std::vector<std::string>{other}));
}

TEST_F(SlicedReadTest, TheFileIsHeldWhileReadAndLetGoAfterwards) {
    const std::string path = root + "/sliced.JOB";
    Write(path, std::string(job.begin(), job.end()));
    TRootNodeStorage storage;
    storage.BeginLoadFromFile(Utf8ToWide(path), 3, false, 1);
    EXPECT_TRUE(FileHeld(path));
    while (!storage.BeginLoadStep(1)) {
    }
    EXPECT_FALSE(FileHeld(path));
    storage.FinishLoad();
    EXPECT_EQ(Save(storage), wholeBytes);

    // A short file: the step that meets its end raises and lets it go.
    Write(path, std::string(job.begin(), job.end() - 5));
    storage.BeginLoadFromFile(Utf8ToWide(path), 3, false, 1);
    auto readAll = [&] {
        while (!storage.BeginLoadStep(1)) {
        }
    };
    EXPECT_THROW(readAll(), EReadError);
    EXPECT_FALSE(FileHeld(path));
    EXPECT_FALSE(storage.LoadPending());
    EXPECT_EQ(Save(storage), wholeBytes);

    // One that cannot be opened leaves the load being read as it was.
    Write(path, std::string(job.begin(), job.end()));
    storage.BeginLoadFromFile(Utf8ToWide(path), 3, false, 1);
    EXPECT_THROW(storage.BeginLoadFromFile(Utf8ToWide(root + "/none.JOB"), 3, false, 1),
                 EFOpenError);
    EXPECT_TRUE(storage.LoadReading());
    storage.FinishLoad();
    EXPECT_EQ(Save(storage), wholeBytes);
}

// Raises as the load in one piece does, from whichever step meets the fault;
// the storage, its allocations and the load pending before stay as they were.
void ExpectRefusedInSteps(TRootNodeStorage& storage, const Bytes& bytes, size_t records,
                          const char* what) {
    const Bytes before = Save(storage);
    const int64_t blocks = LiveBlocks();
    EXPECT_THROW(ReadInSteps(storage, bytes, records), EReadError)
        << what << ", steps of " << records;
    EXPECT_FALSE(storage.LoadPending()) << what;
    EXPECT_EQ(Save(storage), before) << what;
    EXPECT_EQ(LiveBlocks(), blocks) << what;
}

TEST_F(SlicedReadTest, EveryTruncationAndEveryHostileShapeIsRefusedInSteps) {
    TRootNodeStorage storage;
    HoldOther(storage);
    for (size_t cut = 0; cut < job.size(); ++cut) {
        const Bytes shorter(job.begin(), job.begin() + long(cut));
        ExpectRefusedInSteps(storage, shorter, 1, "truncated");
        ExpectRefusedInSteps(storage, shorter, 3, "truncated");
    }
    const Bytes head = Cat({U32(2), U8(0), U8(0)});
    ExpectRefusedInSteps(storage, Cat({head, U8(1), U32(0x7FFFFFFF)}), 1, "child count");
    ExpectRefusedInSteps(storage, Cat({head, U8(2), U32(0), Tail(0, 0, 0)}), 1, "has-children 2");
    ExpectRefusedInSteps(storage, Cat({StreamedPidl(Pidl({Computer()})), U8(0), Tail(0, 0, 0)}), 1,
                         "a root record that is not the desktop");
    // Read in steps, depth is still bounded: a chain of records with no
    // PIDL, each the only child of the one before.
    auto nested = [](int depth) {
        Bytes out;
        for (int i = 0; i < depth; ++i)
            out.insert(out.end(), {0, 0, 0, 0, 1, 1, 0, 0, 0});
        out = Cat({out, U32(0), U8(0), Tail(0, 0, 0)});
        for (int i = 0; i < depth; ++i)
            out = Cat({out, Tail(0, 0, 0)});
        return out;
    };
    ExpectRefusedInSteps(storage, nested(kMaxNodeDepth + 1), 5, "too deep");
    ExpectRefusedInSteps(storage, nested(kMaxNodeDepth + 1), 100000, "too deep");
    EXPECT_EQ(ReadInSteps(storage, nested(kMaxNodeDepth), 5), kMaxNodeDepth / 5 + 1);
    // Children without PIDLs are dropped.
    storage.FinishLoad();
    EXPECT_EQ(storage.Children()->Count(), 0);
}

// Valid jobs mutated from fixed seeds, read in steps of seeded sizes and in
// one piece: both load the same records or both refuse.
TEST_F(SlicedReadTest, SeededMutationsEndAsInOnePiece) {
    TRootNodeStorage source;
    Load(source, job);
    source.Storage.CheckType = ctTriStateCheckBox;
    source.Storage.Columns().Widths = {80, 120};
    int loaded = 0, refused = 0;
    for (const bool words : {false, true}) {
        const Bytes valid = Save(source, 3, words);
        std::mt19937 random(words ? 11 : 7);
        auto at = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
        for (int round = 0; round < 300; ++round) {
            Bytes bytes = valid;
            if (round % 2 == 0)
                bytes.resize(at(bytes.size()));
            else
                for (int flips = 1 + int(at(3)); flips > 0; --flips)
                    bytes[at(bytes.size())] ^= uint8_t(1u << at(8));
            const size_t slice = 1 + at(5);

            TRootNodeStorage whole;
            HoldOther(whole);
            const Bytes before = Save(whole, 3, words);
            TRootNodeStorage sliced;
            HoldOther(sliced);
            bool wholeLoaded = true, slicedLoaded = true;
            try {
                TMemoryStream s(bytes);
                whole.LoadFromStream(s, 3, words);
            } catch (const EReadError&) {
                wholeLoaded = false;
            }
            try {
                ReadInSteps(sliced, bytes, slice, words);
                sliced.FinishLoad();
            } catch (const EReadError&) {
                slicedLoaded = false;
            }
            ASSERT_EQ(slicedLoaded, wholeLoaded) << "round " << round << ", steps of " << slice;
            ASSERT_EQ(Save(sliced, 3, words), Save(whole, 3, words)) << "round " << round;
            if (!slicedLoaded) {
                ASSERT_EQ(Save(sliced, 3, words), before) << "round " << round;
            }
            (slicedLoaded ? loaded : refused)++;
        }
    }
    EXPECT_GT(loaded, 0);
    EXPECT_GT(refused, 0);
}

} // namespace
} // namespace ax::testing
