// The Save command's save, written a slice a message: input is served
// between the slices, the gauge moves, the file equals the one-call save's
// and holds the checks as they were when it was asked for; a failure is
// told and leaves the job as it was; closing, a load or another save
// complete it first.
#include "mainform_fixture.h"

#include "shell/WideStrings.h"
#include "controls/ExStatusBar.h"
#include "rtl/exceptions.h"
#include "rtl/streams.h"
#include "rtl/sysutils.h"
#include "stdctrls/filedialogform.h"

#include <filesystem>
#include <fstream>
#include <iterator>

using namespace ax;
using namespace ax::testing;

namespace {

// An object on the desktop's record that can refuse to be written.
class TRefusing : public TStorageObject {
public:
    AnsiString ClassName() const override { return "TRefusing"; }
    void Assign(const TStorageObject&) override {}
    void SaveToStream(TStream& s, int32_t version, bool words) override {
        TStorageObject::SaveToStream(s, version, words);
        throw EWriteError("disk full");
    }
};

class MainformSave : public MainformTest {
protected:
    void SetUp() override {
        MainformTest::SetUp();
        MakeAll({"Music/", "Music/a.ogg", "Music/b.ogg", "Photos/", "Photos/x.jpg", "notes.txt"});
        job = root + "/work.JOB";
        reference = root + "/reference.JOB";
    }
    void TearDown() override {
        OnDialogModal = nullptr;
        MainformTest::TearDown();
    }
    // A window with notes.txt and Music checked, the job saved at once
    // (SaveToFile, the window unaware) to reference.
    TMainform* Checked() {
        TMainform* w = Window();
        ClickCheckBox(w->ExpList, Child(w->ExpList, nullptr, "notes.txt"));
        ClickCheckBox(w->ExpTree, Child(w->ExpTree, w->ExpTree->GetFirst(), "Music"));
        w->ExpTree->Storage().SaveToFile(Utf8ToWide(reference), kJobVersion, false);
        EXPECT_TRUE(w->Modified());
        return w;
    }
    void ServeSave(TMainform* w) {
        for (int i = 0; i < 500 && w->Saving(); ++i) {
            clock.Advance(20);
            app->ProcessMessages();
        }
        EXPECT_FALSE(w->Saving());
    }
    static std::string ReadAll(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::vector<std::string> Temporaries() const {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(root))
            if (e.path().filename().string()[0] == '.') out.push_back(e.path());
        return out;
    }

    std::string job, reference;
};

TEST_F(MainformSave, TheSaveCommandWritesInSlicesThatInputGoesBetween) {
    TMainform* w = Checked();
    w->SetSaveSliceSize(1);
    // A probe posted again each time it is served: one between each two
    // slices, noting the gauge.
    constexpr UINT kProbe = WM_APP + 0x7B;
    std::vector<int> gauge;
    bool fileWhileSaving = false;
    const auto inner = w->ExpTree->WindowProc;
    w->ExpTree->WindowProc = [&, inner](TMessage& m) {
        if (m.Msg != kProbe) return inner(m);
        if (!w->Saving()) return;
        gauge.push_back(w->GaugePanel->GaugeAttrs().Position());
        fileWhileSaving |= FileExists(job);
        PostMessage(w->ExpTree->Handle(), kProbe, 0, 0);
    };
    OnDialogModal = [&](TDialogForm& d) {
        auto& f = dynamic_cast<TFileDialogForm&>(d);
        f.FileNameEdit().SetText(job);
        f.OkButton().Click();
    };
    w->SaveJobButton->Click();
    ASSERT_TRUE(w->Saving());
    EXPECT_EQ(w->PathPanel->Text(), "Saving " + job);
    EXPECT_TRUE(w->GaugePanel->Enabled());
    PostMessage(w->ExpTree->Handle(), kProbe, 0, 0);
    ServeSave(w);
    w->ExpTree->WindowProc = inner;

    EXPECT_FALSE(fileWhileSaving) << "nothing at the job's name before the last slice";
    // Ten records, the desktop's to the files': as many slices.
    EXPECT_GE(gauge.size(), 8u);
    EXPECT_TRUE(std::is_sorted(gauge.begin(), gauge.end())) << "the gauge never goes back";
    EXPECT_GT(gauge.back(), gauge.front());
    EXPECT_EQ(ReadAll(job), ReadAll(reference));
    EXPECT_EQ(w->PathPanel->Text(), "Saved " + job);
    EXPECT_FALSE(w->GaugePanel->Enabled()) << "the gauge at rest again";
    EXPECT_FALSE(w->Modified());
    EXPECT_EQ(w->Caption(), std::string(kAppTitle) + " - work.JOB");
    EXPECT_EQ(w->JobFileName(), job);
    EXPECT_TRUE(Temporaries().empty());
    EXPECT_TRUE(boxes.empty());
}

// A check clicked after the save was asked for is not in the file: the
// click completes the save first, and the window stays modified.
TEST_F(MainformSave, ACheckClickedWhileSavingFollowsTheSave) {
    TMainform* w = Checked();
    w->SetSaveSliceSize(1);
    int savingAtClick = -1;
    const auto checked = w->ExpList->OnChecked;
    w->ExpList->OnChecked = [&, checked](TBaseDataTree* s, PDataNode n) {
        savingAtClick = w->Saving();
        checked(s, n);
    };
    ASSERT_TRUE(w->BeginSaveJob(job));
    ClickCheckBox(w->ExpList, Child(w->ExpList, nullptr, "notes.txt"));
    EXPECT_EQ(savingAtClick, 1) << "the click came between slices";
    ServeSave(w);
    EXPECT_EQ(ReadAll(job), ReadAll(reference));
    EXPECT_TRUE(w->Modified()) << "the click is not in the file";
    EXPECT_EQ(w->Caption(), std::string(kAppTitle) + " - work.JOB *");
    EXPECT_EQ(Lines(w->Selection()), (std::vector<std::string>{home + "/Music", home + "/Music/a.ogg",
                                                               home + "/Music/b.ogg"}));
}

TEST_F(MainformSave, ASaveThatFailsIsToldAndLeavesTheJobAsItWas) {
    TMainform* w = Checked();
    ASSERT_TRUE(w->SaveJob(job));
    const std::string before = ReadAll(job);
    ClickCheckBox(w->ExpList, Child(w->ExpList, nullptr, "notes.txt"));
    TRootNodeStorage& storage = w->ExpTree->Storage();
    storage.Storage.UserObject() = std::make_shared<TRefusing>();
    w->SetSaveSliceSize(2);
    ASSERT_TRUE(w->BeginSaveJob(job));
    ServeSave(w);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], job + ": cannot save the job: disk full\n\nThe file is left as it was.");
    EXPECT_EQ(w->PathPanel->Text(), "Not saved: " + job + " is left as it was");
    EXPECT_FALSE(w->GaugePanel->Enabled());
    EXPECT_EQ(ReadAll(job), before);
    EXPECT_TRUE(w->Modified());
    EXPECT_TRUE(Temporaries().empty());

    // A new file that fails is not made.
    const std::string fresh = root + "/fresh.JOB";
    ASSERT_TRUE(w->BeginSaveJob(fresh));
    ServeSave(w);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1], fresh + ": cannot save the job: disk full\n\nNo file was made.");
    EXPECT_FALSE(std::filesystem::exists(fresh));
    EXPECT_EQ(w->JobFileName(), job);

    // A file the user protected is refused before anything is written.
    storage.Storage.UserObject().reset();
    ASSERT_EQ(chmod(job.c_str(), 0444), 0);
    EXPECT_FALSE(w->BeginSaveJob(job));
    EXPECT_FALSE(w->Saving());
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[2], job + ": cannot save the job: the file is write-protected");
    EXPECT_EQ(ReadAll(job), before);
    EXPECT_TRUE(Temporaries().empty());
    boxes.clear();
}

// Closing, a save at once, a load: each ends a save under way first, as
// it was asked for.
TEST_F(MainformSave, WhatNeedsTheSaveDoneCompletesItFirst) {
    TMainform* w = Checked();
    w->SetSaveSliceSize(1);
    ASSERT_TRUE(w->BeginSaveJob(job));
    EXPECT_TRUE(w->CloseQuery()) << "saved: nothing to ask";
    EXPECT_FALSE(w->Saving());
    EXPECT_EQ(ReadAll(job), ReadAll(reference));
    EXPECT_FALSE(w->Modified());

    const std::string other = root + "/other.JOB";
    ClickCheckBox(w->ExpList, Child(w->ExpList, nullptr, "notes.txt"));
    ASSERT_TRUE(w->BeginSaveJob(job));
    ASSERT_TRUE(w->SaveJob(other));
    EXPECT_EQ(ReadAll(job), ReadAll(other));
    EXPECT_EQ(w->JobFileName(), other);

    ClickCheckBox(w->ExpList, Child(w->ExpList, nullptr, "notes.txt"));
    ASSERT_TRUE(w->BeginSaveJob(job));
    ASSERT_TRUE(w->LoadJob(other));
    EXPECT_FALSE(w->Saving());
    EXPECT_NE(ReadAll(job), ReadAll(other)) << "notes.txt checked again in the first";
    ServeSave(w);
    app->ProcessMessages();
    EXPECT_EQ(w->JobFileName(), other);
    EXPECT_EQ(Lines(w->Selection()), (std::vector<std::string>{home + "/Music", home + "/Music/a.ogg",
                                                               home + "/Music/b.ogg"}));
    EXPECT_TRUE(boxes.empty());
}

} // namespace
