// A save written a slice at a time lands as the one-call save does, byte for
// byte, whatever the slices; what changes the records meanwhile completes it
// first; a failure leaves the old file as it was.
#include "nodestorage_fixture.h"
#include "rtl/exceptions.h"
#include "rtl/sysutils.h"
#include "shell/WideStrings.h"

#include <filesystem>

namespace ax::testing {
namespace {

class TMark : public TStorageObject {
public:
    AnsiString ClassName() const override { return "TMark"; }
    void Assign(const TStorageObject&) override {}
    void SaveToStream(TStream& s, int32_t version, bool words) override {
        TStorageObject::SaveToStream(s, version, words);
        s.WriteValue<uint8_t>(7);
        if (Fail) throw EWriteError("disk full");
    }
    void LoadFromStream(TStream& s, int32_t version, bool words) override {
        TStorageObject::LoadFromStream(s, version, words);
        if (s.ReadValue<uint8_t>() != 7) throw EReadError(SReadError);
    }
    bool Fail = false;
};

// A selection of twelve files in three folders, one folder holding
// another, a record with columns and one with an object.
class SlicedSaveTest : public NodeStorageTest {
protected:
    void SetUp() override {
        NodeStorageTest::SetUp();
        RegisterStorageClass("TMark", [] { return std::make_unique<TMark>(); });
        TStringList paths;
        for (const char* folder : {"a/", "a/inner/", "b/"}) Make(folder);
        for (const char* folder : {"a/", "a/inner/", "b/"})
            for (int i = 0; i < 4; ++i) paths.Add(Make(folder + std::string("f") + std::to_string(i)));
        storage.SetCheckedFileNames(paths);
        const HeldPidl b(PidlBytes(UniquePIDL(Parse(files + "/b"))));
        storage.Store(b, skColumns)->Storage.Columns().Widths = {120, 80};
        const HeldPidl inner(PidlBytes(UniquePIDL(Parse(files + "/a/inner/f2"))));
        TNodeStorage* marked = storage.Store(inner, skObject);
        mark = std::make_shared<TMark>();
        marked->Storage.UserObject() = mark;
        job = root + "/saved.JOB";
    }
    // Steps until the save is over; answers how many steps it took.
    int StepThrough(size_t records) {
        int steps = 1;
        double progress = 0;
        while (!storage.SaveStep(records)) {
            ++steps;
            EXPECT_GE(storage.SaveProgress(), progress) << "the gauge never goes back";
            progress = storage.SaveProgress();
            EXPECT_LE(progress, 1.0);
            if (steps > 1000) break;
        }
        return steps;
    }
    std::vector<std::string> Temporaries() const {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(root))
            if (e.path().filename().string().rfind(".saved.JOB.", 0) == 0) out.push_back(e.path());
        return out;
    }

    TRootNodeStorage storage;
    std::shared_ptr<TMark> mark;
    std::string job;
};

TEST_F(SlicedSaveTest, SlicesOfAnySizeWriteTheOneCallSaveByteForByte) {
    for (const bool words : {false, true}) {
        const Bytes whole = Save(storage, 3, words);
        for (size_t records : {size_t(1), size_t(2), size_t(7), size_t(1) << 30}) {
            std::filesystem::remove(job);
            storage.BeginSaveToFile(Utf8ToWide(job), 3, words);
            ASSERT_TRUE(storage.SavePending());
            const int steps = StepThrough(records);
            EXPECT_FALSE(storage.SavePending());
            EXPECT_EQ(ReadFile(job), whole) << records << " words " << words;
            // The desktop, computer, "/", the folders down to files/, a, inner,
            // b and twelve files: some thirty records.
            if (records == 1) {
                EXPECT_GT(steps, 20);
            }
            if (records > 1000) {
                EXPECT_EQ(steps, 2) << "all records, then the rename";
            }
            EXPECT_TRUE(Temporaries().empty());
        }
    }
}

// The bytes of a small tree, written out by hand.
TEST_F(SlicedSaveTest, ASmallTreeIsWrittenAsTheLayoutSays) {
    TRootNodeStorage small;
    const HeldPidl computer(Pidl({Computer()}));
    const HeldPidl volume(Pidl({Computer(), RootVolume()}));
    TNodeStorage* c = small.Store(computer, skCheck);
    c->Storage.CheckState = csCheckedNormal;
    c->Storage.CheckType = ctTriStateCheckBox;
    small.Store(volume, skColumns)->Storage.Columns().Widths = {5};
    const Bytes expected = Cat({U32(2), U8(0), U8(0), U8(1), U32(1),
                                StreamedPidl(Pidl({Computer()})), U8(1), U32(1),
                                StreamedPidl(Pidl({Computer(), RootVolume()})), U8(0),
                                U8(2), U8(0), U8(0), U32(1), Bytes{5, 0}, U32(0), U32(0), U8(0),
                                Tail(1, 2, 1),
                                Tail(0, 0, 0)});
    small.BeginSaveToFile(Utf8ToWide(job), 3, false);
    while (!small.SaveStep(1)) {
    }
    EXPECT_EQ(ReadFile(job), expected);
}

// Until the last slice the job on disk is the old one; whatever changes the
// records meanwhile first writes the rest, so the file is the storage as it
// was when the save began.
TEST_F(SlicedSaveTest, AChangeMidwayCompletesTheSaveAsItWasAsked) {
    Write(job, "old job");
    const Bytes asked = Save(storage);
    const std::string extra = Make("b/extra");
    const std::vector<std::pair<const char*, std::function<void()>>> changes = {
        {"store", [&] { storage.Store(HeldPidl(PidlBytes(UniquePIDL(Parse(extra)))), skCheck); }},
        {"find", [&] { storage.Find(HeldPidl(PidlBytes(UniquePIDL(Parse(files + "/b/f1")))), skCheck); }},
        {"lookup", [&] { storage.Lookup(HeldPidl(PidlBytes(UniquePIDL(Parse(files + "/a"))))); }},
        {"delete", [&] { storage.Delete(HeldPidl(PidlBytes(UniquePIDL(Parse(files + "/a/f0")))), skCheck); }},
        {"rename", [&] {
             const HeldPidl was(PidlBytes(UniquePIDL(Parse(files + "/b/f3"))));
             std::filesystem::rename(files + "/b/f3", files + "/b/f9");
             storage.Rename(was, HeldPidl(PidlBytes(UniquePIDL(Parse(files + "/b/f9")))));
         }},
        {"clear", [&] { storage.Clear(false); }},
        {"load taken", [&] { Load(storage, asked); }},
    };
    for (const auto& [name, change] : changes) {
        Load(storage, asked);
        const Bytes before = Save(storage);
        Write(job, "old job");
        storage.BeginSaveToFile(Utf8ToWide(job), 3, false);
        ASSERT_FALSE(storage.SaveStep(3)) << name;
        EXPECT_EQ(Read(job), "old job") << name << ": replaced before the last slice";
        change();
        EXPECT_EQ(ReadFile(job), before) << name;
        EXPECT_TRUE(storage.SavePending()) << name << ": its end is still to be told";
        EXPECT_TRUE(storage.SaveStep(1)) << name;
        EXPECT_FALSE(storage.SavePending()) << name;
        EXPECT_TRUE(Temporaries().empty()) << name;
    }
}

// Every record written, only the rename left: a change then renames first.
TEST_F(SlicedSaveTest, AChangeWithOnlyTheRenameLeftRenamesFirst) {
    Write(job, "old job");
    const Bytes asked = Save(storage);
    storage.BeginSaveToFile(Utf8ToWide(job), 3, false);
    ASSERT_FALSE(storage.SaveStep(size_t(1) << 30));
    EXPECT_EQ(Read(job), "old job");
    storage.Clear(false);
    EXPECT_EQ(ReadFile(job), asked);
    EXPECT_TRUE(storage.SaveStep(1));
    EXPECT_FALSE(storage.SavePending());
}

// A save that fails half way raises once, leaves the old job and no
// temporary file; so does one completed before a change, which goes on.
TEST_F(SlicedSaveTest, AFailureLeavesTheOldFileAndIsToldOnce) {
    Write(job, "old job");
    mark->Fail = true;
    storage.BeginSaveToFile(Utf8ToWide(job), 3, false);
    EXPECT_THROW(StepThrough(1), EWriteError);
    EXPECT_FALSE(storage.SavePending());
    EXPECT_EQ(Read(job), "old job");
    EXPECT_TRUE(Temporaries().empty());

    storage.BeginSaveToFile(Utf8ToWide(job), 3, false);
    ASSERT_FALSE(storage.SaveStep(1));
    const std::string extra = Make("b/extra");
    TNodeStorage* stored = storage.Store(HeldPidl(PidlBytes(UniquePIDL(Parse(extra)))), skCheck);
    EXPECT_NE(stored, nullptr) << "the change goes on";
    EXPECT_TRUE(storage.SavePending());
    EXPECT_THROW(storage.FinishSave(), EWriteError);
    EXPECT_FALSE(storage.SavePending());
    EXPECT_NO_THROW(storage.FinishSave());
    EXPECT_EQ(Read(job), "old job");
    EXPECT_TRUE(Temporaries().empty());

    // A file the user protected is refused at the start, nothing pending.
    mark->Fail = false;
    ASSERT_EQ(chmod(job.c_str(), 0444), 0);
    EXPECT_THROW(storage.BeginSaveToFile(Utf8ToWide(job), 3, false), ESaveError);
    EXPECT_FALSE(storage.SavePending());
    EXPECT_EQ(Read(job), "old job");
}

// A save begun again completes the one pending; a storage that goes with a
// save pending writes it whole.
TEST_F(SlicedSaveTest, ASaveIsNeverLeftHalfDone) {
    const Bytes whole = Save(storage);
    const std::string second = root + "/second.JOB";
    storage.BeginSaveToFile(Utf8ToWide(job), 3, false);
    ASSERT_FALSE(storage.SaveStep(1));
    storage.BeginSaveToFile(Utf8ToWide(second), 3, false);
    EXPECT_EQ(ReadFile(job), whole);
    StepThrough(5);
    EXPECT_EQ(ReadFile(second), whole);

    const std::string third = root + "/third.JOB";
    {
        TRootNodeStorage other;
        Load(other, whole);
        other.BeginSaveToFile(Utf8ToWide(third), 3, false);
        ASSERT_FALSE(other.SaveStep(1));
    }
    EXPECT_EQ(ReadFile(third), whole);
}

} // namespace
} // namespace ax::testing
