// The main window driven headless as a user drives it: checks clicked in
// the tree and in the list, the job saved and loaded into a fresh window,
// the selection read back; damaged jobs change nothing.
#include "mainform_fixture.h"
#include "rtl/sysutils.h"

#include "app/MainWindow.h"
#include "app/SelectionCommands.h"
#include "controls/ExStatusBar.h"
#include "platform/shellns/shellops.h"
#include "shell/ShellNotifier.h"
#include "stdctrls/edit.h"

#include <cerrno>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace ax;
using namespace ax::testing;

namespace {

class MainformRoad : public MainformTest {
protected:
    void SetUp() override {
        MainformTest::SetUp();
        MakeAll({"Music/", "Music/a.ogg", "Music/b.ogg", "Photos/", "Photos/x.jpg", "Photos/y.jpg", "notes.txt"});
    }
    std::vector<std::string> ListNames(TMainform* w) {
        std::vector<std::string> out;
        for (PDataNode n = w->ExpList->GetFirstChild(nullptr); n; n = w->ExpList->GetNextSibling(n))
            out.push_back(WideToUtf8(w->ExpList->NodeNamespace(n)->NameInFolder()));
        return out;
    }
    static int State(TCustomExplorerTree*, PDataNode node) { return int(node->CheckState); }
    static std::string ReadAll(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    // Photos checked in w's tree and notes.txt in its list, saved as the
    // job root/name; answers the job's path.
    std::string SavePhotosAndNotes(TMainform* w, const std::string& name) {
        ClickCheckBox(w->ExpTree, Child(w->ExpTree, w->ExpTree->GetFirst(), "Photos"));
        ClickCheckBox(w->ExpList, Child(w->ExpList, nullptr, "notes.txt"));
        const std::string job = root + "/" + name;
        EXPECT_TRUE(w->SaveJob(job));
        return job;
    }
};

TEST_F(MainformRoad, ALongSelectionIsShownInSlicesAsItWasWhenAskedFor) {
    TMainform* w = Window();
    TCustomExplorerTree* tree = w->ExpTree;
    TCustomExplorerTree* list = w->ExpList;
    PDataNode top = tree->GetFirst();
    ClickCheckBox(list, Child(list, nullptr, "notes.txt"));
    ClickCaption(tree, Child(tree, top, "Music"));
    ClickCheckBox(list, Child(list, nullptr, "a.ogg"));
    ClickCaption(tree, Child(tree, top, "Photos"));
    ClickCheckBox(list, Child(list, nullptr, "x.jpg"));
    const std::string three = home + "/Music/a.ogg\n" + home + "/notes.txt\n" + home + "/Photos/x.jpg";
    // Serves the show's slices, time moving on for a slice that waits
    // behind input on a timer.
    auto finishShow = [&] {
        for (int i = 0; i < 10 && w->ShowingSelection(); ++i) {
            clock.Advance(20);
            app->ProcessMessages();
        }
        EXPECT_FALSE(w->ShowingSelection());
    };

    // One path a slice: the first at the request, each other a message.
    w->SetSelectionSliceSize(1);
    constexpr UINT kProbe = WM_APP + 0x79;
    int servedWhileShowing = -1;
    const auto inner = tree->WindowProc;
    tree->WindowProc = [&, inner](TMessage& m) {
        if (m.Msg == kProbe) servedWhileShowing = w->ShowingSelection();
        else inner(m);
    };
    w->ShowSelection();
    ASSERT_TRUE(w->ShowingSelection());
    EXPECT_FALSE(w->SelectionForm->Visible()) << "shown once whole";
    EXPECT_EQ(w->GaugePanel->GaugeAttrs().Position(), 33);
    PostMessage(tree->Handle(), kProbe, 0, 0);
    finishShow();
    tree->WindowProc = inner;
    EXPECT_EQ(servedWhileShowing, 1);
    EXPECT_TRUE(w->SelectionForm->Visible());
    EXPECT_EQ(w->SelectionForm->Memo->Text(), three);
    EXPECT_FALSE(w->GaugePanel->Enabled()) << "the gauge at rest again";

    // Unchecked while a show is under way (the window out of the way of
    // the click): that show keeps the selection as asked for; the next
    // shows the change.
    w->SelectionForm->Hide();
    w->SelectionForm->SetBounds(900, 700, 520, 320);
    w->ShowSelection();
    ASSERT_TRUE(w->ShowingSelection());
    ClickCheckBox(list, Child(list, nullptr, "x.jpg"));
    finishShow();
    EXPECT_EQ(w->SelectionForm->Memo->Text(), three);
    w->ShowSelection();
    finishShow();
    EXPECT_EQ(w->SelectionForm->Memo->Text(), home + "/Music/a.ogg\n" + home + "/notes.txt");
}

// The records read one at a time, each a message: input is served between
// them, a save or a read of the selection meanwhile gives what it gives
// without a show under way, and a check clicked while the records are read
// is in what the show ends with.
TEST_F(MainformRoad, TheSelectionIsReadInSlicesThatInputAndSavesGoBetween) {
    TMainform* w = Window();
    TCustomExplorerTree* tree = w->ExpTree;
    TCustomExplorerTree* list = w->ExpList;
    PDataNode top = tree->GetFirst();
    ClickCheckBox(list, Child(list, nullptr, "notes.txt"));
    ClickCheckBox(tree, Child(tree, top, "Music"));
    const std::string whole = root + "/whole.JOB";
    ASSERT_TRUE(w->SaveJob(whole));

    w->SetSelectionReadSliceSize(1);
    constexpr UINT kProbe = WM_APP + 0x7A;
    int servedWhileReading = -1;
    const auto inner = tree->WindowProc;
    tree->WindowProc = [&, inner](TMessage& m) {
        if (m.Msg == kProbe) servedWhileReading = w->ShowingSelection();
        else inner(m);
    };
    w->ShowSelection();
    ASSERT_TRUE(w->ShowingSelection());
    EXPECT_EQ(w->PathPanel->Text(), "Reading the selection");

    const std::string during = root + "/during.JOB";
    ASSERT_TRUE(w->SaveJob(during));
    EXPECT_EQ(ReadAll(during), ReadAll(whole));
    const std::vector<std::string> four = {home + "/Music", home + "/Music/a.ogg", home + "/Music/b.ogg",
                                           home + "/notes.txt"};
    EXPECT_EQ(Lines(w->Selection()), four);
    ASSERT_TRUE(w->ShowingSelection());

    PostMessage(tree->Handle(), kProbe, 0, 0);
    ClickCaption(tree, Child(tree, top, "Photos"));
    ASSERT_TRUE(w->ShowingSelection());
    ClickCheckBox(list, Child(list, nullptr, "x.jpg"));
    for (int i = 0; i < 200 && w->ShowingSelection(); ++i) {
        clock.Advance(20);
        app->ProcessMessages();
    }
    tree->WindowProc = inner;
    EXPECT_EQ(servedWhileReading, 1);
    ASSERT_FALSE(w->ShowingSelection());
    EXPECT_EQ(w->SelectionForm->Memo->Text(), home + "/Music\n" + home + "/Music/a.ogg\n" + home +
                                                  "/Music/b.ogg\n" + home + "/notes.txt\n" + home + "/Photos/x.jpg");
    EXPECT_FALSE(w->GaugePanel->Enabled()) << "the gauge at rest again";
}

TEST_F(MainformRoad, ChecksClickedInBothPanesAreOneSelectionThatSurvivesSaveAndLoad) {
    TMainform* w = Window();
    TCustomExplorerTree* tree = w->ExpTree;
    TCustomExplorerTree* list = w->ExpList;
    PDataNode top = tree->GetFirst();
    ASSERT_NE(top, nullptr);
    EXPECT_TRUE(tree->Expanded(top));
    // The list shows the home folder to begin with.
    EXPECT_EQ(ListNames(w), (std::vector<std::string>{".config", "Desktop", "Documents", "Music", "notes.txt",
                                                      "Photos"}));

    // A file checked in the list (the tree keeps files, unseen, for the
    // states of their folders).
    ClickCheckBox(list, Child(list, nullptr, "notes.txt"));
    EXPECT_EQ(State(tree, Child(tree, top, "notes.txt")), csCheckedNormal);
    EXPECT_FALSE(tree->IsVisible(Child(tree, top, "notes.txt")));

    // Music chosen in the tree: the list shows it; a.ogg checked there.
    ClickCaption(tree, Child(tree, top, "Music"));
    EXPECT_EQ(ListNames(w), (std::vector<std::string>{"a.ogg", "b.ogg"}));
    ClickCheckBox(list, Child(list, nullptr, "a.ogg"));
    EXPECT_EQ(State(list, Child(list, nullptr, "a.ogg")), csCheckedNormal);
    EXPECT_EQ(State(tree, Child(tree, top, "Music")), csMixedNormal);
    EXPECT_EQ(State(tree, top), csMixedNormal);

    // Photos checked in the tree, then chosen: the list shows both checked;
    // y.jpg unchecked there makes Photos mixed.
    ClickCheckBox(tree, Child(tree, top, "Photos"));
    ClickCaption(tree, Child(tree, top, "Photos"));
    EXPECT_EQ(ListNames(w), (std::vector<std::string>{"x.jpg", "y.jpg"}));
    EXPECT_EQ(State(list, Child(list, nullptr, "x.jpg")), csCheckedNormal);
    EXPECT_EQ(State(list, Child(list, nullptr, "y.jpg")), csCheckedNormal);
    ClickCheckBox(list, Child(list, nullptr, "y.jpg"));
    EXPECT_EQ(State(list, Child(list, nullptr, "y.jpg")), csUncheckedNormal);
    EXPECT_EQ(State(tree, Child(tree, top, "Photos")), csMixedNormal);


    // Names in the folder's order, without regard to case.
    const std::vector<std::string> expected = {home + "/Music/a.ogg", home + "/notes.txt", home + "/Photos/x.jpg"};
    EXPECT_EQ(Lines(w->Selection()), expected);

    // Shown on request.
    w->SelectionButton->Click();
    ASSERT_NE(w->SelectionForm, nullptr);
    EXPECT_TRUE(w->SelectionForm->Visible());
    EXPECT_EQ(w->SelectionForm->Memo->Text(),
              home + "/Music/a.ogg\n" + home + "/notes.txt\n" + home + "/Photos/x.jpg");

    const std::string job = root + "/road.JOB";
    ASSERT_TRUE(w->SaveJob(job));
    EXPECT_EQ(w->JobFileName(), job);

    // A fresh window loads it: the same selection, and the panes show it.
    TMainform* again = Window();
    EXPECT_EQ(again->Selection().Count(), 0);
    ASSERT_TRUE(again->LoadJob(job));
    EXPECT_EQ(Lines(again->Selection()), expected);
    EXPECT_EQ(again->Caption(), "ArdentixXP - road.JOB");
    // The panes follow in steps, the gauge showing them.
    EXPECT_TRUE(again->Loading());
    EXPECT_EQ(again->GaugePanel->GaugeAttrs().Position(), 20);
    app->ProcessMessages();
    EXPECT_FALSE(again->Loading());
    EXPECT_FALSE(again->GaugePanel->Enabled()) << "at rest the gauge shows nothing";
    EXPECT_EQ(again->PathPanel->Text(), job);
    TCustomExplorerTree* tree2 = again->ExpTree;
    PDataNode top2 = tree2->GetFirst();
    EXPECT_EQ(State(tree2, top2), csMixedNormal);
    EXPECT_EQ(State(tree2, Child(tree2, top2, "Music")), csMixedNormal);
    EXPECT_EQ(State(tree2, Child(tree2, top2, "Photos")), csMixedNormal);
    EXPECT_EQ(State(tree2, Child(tree2, top2, "notes.txt")), csCheckedNormal);
    EXPECT_EQ(State(tree2, Child(tree2, top2, "Desktop")), csUncheckedNormal);
    ClickCaption(tree2, Child(tree2, top2, "Photos"));
    EXPECT_EQ(State(again->ExpList, Child(again->ExpList, nullptr, "x.jpg")), csCheckedNormal);
    EXPECT_EQ(State(again->ExpList, Child(again->ExpList, nullptr, "y.jpg")), csUncheckedNormal);
    EXPECT_TRUE(boxes.empty()) << boxes.front();
}

// The storage takes a job in a step of its own after LoadJob returns: the
// selection read, or the job saved, before that step is the job's.
TEST_F(MainformRoad, ALoadStillPendingIsTheSelectionAlready) {
    TMainform* w = Window();
    const std::string job = SavePhotosAndNotes(w, "pending.JOB");
    ASSERT_FALSE(HasFailure());
    // Gone since the save: no longer selected.
    ASSERT_EQ(::unlink((home + "/Photos/y.jpg").c_str()), 0);
    const std::vector<std::string> expected = {home + "/notes.txt", home + "/Photos", home + "/Photos/x.jpg"};

    TMainform* again = Window();
    ASSERT_TRUE(again->LoadJob(job));
    EXPECT_TRUE(again->ExpTree->Storage().LoadPending());
    EXPECT_EQ(again->GaugePanel->GaugeAttrs().Position(), 20);
    EXPECT_EQ(Lines(again->Selection()), expected);
    EXPECT_FALSE(again->ExpTree->Storage().LoadPending());
    EXPECT_TRUE(again->Loading());
    app->ProcessMessages();
    EXPECT_FALSE(again->Loading());
    EXPECT_EQ(Lines(again->Selection()), expected);

    // Saved while the load is pending: the job's selection is written.
    TMainform* third = Window();
    ASSERT_TRUE(third->LoadJob(job));
    ASSERT_TRUE(third->ExpTree->Storage().LoadPending());
    const std::string copy = root + "/copy.JOB";
    ASSERT_TRUE(third->SaveJob(copy));
    app->ProcessMessages();
    TMainform* fourth = Window();
    ASSERT_TRUE(fourth->LoadJob(copy));
    app->ProcessMessages();
    EXPECT_EQ(Lines(fourth->Selection()), expected);
    EXPECT_EQ(State(fourth->ExpTree, Child(fourth->ExpTree, fourth->ExpTree->GetFirst(), "Photos")),
              csCheckedNormal);
    EXPECT_TRUE(boxes.empty()) << boxes.front();
}

// The job's records checked against the disk one a message: input is served
// between the slices, and a save or the selection asked for meanwhile is
// what the load gives in one piece.
TEST_F(MainformRoad, ALoadIsCheckedInSlicesThatInputAndSavesGoBetween) {
    TMainform* w = Window();
    const std::string job = SavePhotosAndNotes(w, "sliced.JOB");
    ASSERT_FALSE(HasFailure());
    ASSERT_EQ(::unlink((home + "/Photos/y.jpg").c_str()), 0);
    const std::vector<std::string> expected = {home + "/notes.txt", home + "/Photos", home + "/Photos/x.jpg"};
    TMainform* whole = Window();
    ASSERT_TRUE(whole->LoadJob(job));
    app->ProcessMessages();
    const std::string wholeCopy = root + "/whole.JOB";
    ASSERT_TRUE(whole->SaveJob(wholeCopy));

    TMainform* again = Window();
    again->SetLoadSliceSize(1);
    ASSERT_TRUE(again->LoadJob(job));
    constexpr UINT kProbe = WM_APP + 0x7B;
    int pendingAtProbe = -1;
    const auto inner = again->ExpTree->WindowProc;
    again->ExpTree->WindowProc = [&, inner](TMessage& m) {
        if (m.Msg == kProbe) pendingAtProbe = again->ExpTree->Storage().LoadPending();
        else inner(m);
    };
    PostMessage(again->ExpTree->Handle(), kProbe, 0, 0);
    app->HandleMessage(); // a slice
    app->HandleMessage(); // the probe
    again->ExpTree->WindowProc = inner;
    EXPECT_EQ(pendingAtProbe, 1);
    EXPECT_GE(again->GaugePanel->GaugeAttrs().Position(), 20);
    EXPECT_LT(again->GaugePanel->GaugeAttrs().Position(), 40);
    const std::string during = root + "/during.JOB";
    ASSERT_TRUE(again->SaveJob(during));
    EXPECT_FALSE(again->ExpTree->Storage().LoadPending());
    EXPECT_EQ(ReadAll(during), ReadAll(wholeCopy));

    TMainform* fourth = Window();
    fourth->SetLoadSliceSize(1);
    ASSERT_TRUE(fourth->LoadJob(job));
    app->HandleMessage();
    ASSERT_TRUE(fourth->ExpTree->Storage().LoadPending());
    EXPECT_EQ(Lines(fourth->Selection()), expected);
    app->ProcessMessages();
    EXPECT_FALSE(fourth->Loading());
    EXPECT_EQ(State(fourth->ExpTree, Child(fourth->ExpTree, fourth->ExpTree->GetFirst(), "Photos")),
              csCheckedNormal);
    EXPECT_TRUE(boxes.empty()) << boxes.front();
}

TEST_F(MainformRoad, UncheckingAFolderInTheListClearsWhatTheTreeHadBelowIt) {
    TMainform* w = Window();
    TCustomExplorerTree* tree = w->ExpTree;
    PDataNode top = tree->GetFirst();
    ClickCheckBox(tree, Child(tree, top, "Photos"));
    // The folder's files are in the tree, unseen, and checked with it.
    EXPECT_EQ(Lines(w->Selection()),
              (std::vector<std::string>{home + "/Photos", home + "/Photos/x.jpg", home + "/Photos/y.jpg"}));
    // In the list (the home folder), Photos shows checked; a click there
    // unchecks it in the tree too.
    PDataNode inList = Child(w->ExpList, nullptr, "Photos");
    EXPECT_EQ(int(inList->CheckState), csCheckedNormal);
    ClickCheckBox(w->ExpList, inList);
    EXPECT_EQ(int(Child(tree, top, "Photos")->CheckState), csUncheckedNormal);
    EXPECT_EQ(int(top->CheckState), csUncheckedNormal);
    EXPECT_EQ(w->Selection().Count(), 0);
}

TEST_F(MainformRoad, ADamagedOrMissingJobIsToldAndChangesNothing) {
    TMainform* w = Window();
    PDataNode top = w->ExpTree->GetFirst();
    ClickCheckBox(w->ExpList, Child(w->ExpList, nullptr, "notes.txt"));
    const std::string damaged = root + "/damaged.JOB";
    ASSERT_TRUE(w->SaveJob(damaged));
    // Cut short: every byte counts.
    const std::string bytes = Read(damaged);
    Write(damaged, bytes.substr(0, bytes.size() - 3));
    EXPECT_FALSE(w->LoadJob(damaged));
    EXPECT_FALSE(w->Loading());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind(damaged + ": not a valid job file (", 0), 0u) << boxes[0];
    EXPECT_FALSE(w->LoadJob(root + "/missing.JOB"));
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1], root + "/missing.JOB: no such job file");
    EXPECT_FALSE(w->LoadJob(root));
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[2], root + ": is a folder, not a job file");
    EXPECT_EQ(Lines(w->Selection()), (std::vector<std::string>{home + "/notes.txt"}));
    EXPECT_EQ(int(Child(w->ExpTree, top, "notes.txt")->CheckState), csCheckedNormal);
    boxes.clear();
}

// The job's records read a slice a message: input is served between the
// slices, the gauge moves, and a save or the selection asked for meanwhile
// is what the load gives in one piece.
TEST_F(MainformRoad, AJobIsReadInSlicesThatInputAndSavesGoBetween) {
    TMainform* w = Window();
    const std::string job = SavePhotosAndNotes(w, "read.JOB");
    ASSERT_FALSE(HasFailure());
    const std::vector<std::string> expected = {home + "/notes.txt", home + "/Photos",
                                               home + "/Photos/x.jpg", home + "/Photos/y.jpg"};
    TMainform* whole = Window();
    ASSERT_TRUE(whole->LoadJob(job));
    app->ProcessMessages();
    const std::string wholeCopy = root + "/whole.JOB";
    ASSERT_TRUE(whole->SaveJob(wholeCopy));

    TMainform* again = Window();
    again->SetLoadReadSliceSize(1);
    ASSERT_TRUE(again->LoadJob(job));
    TRootNodeStorage& storage = again->ExpTree->Storage();
    ASSERT_TRUE(storage.LoadReading());
    // Named the job's only once it is read whole.
    EXPECT_EQ(again->Caption(), "ArdentixXP");
    constexpr UINT kProbe = WM_APP + 0x7C;
    int readingAtProbe = -1;
    const auto inner = again->ExpTree->WindowProc;
    again->ExpTree->WindowProc = [&, inner](TMessage& m) {
        if (m.Msg == kProbe)
            readingAtProbe = again->ExpTree->Storage().LoadReading();
        else
            inner(m);
    };
    PostMessage(again->ExpTree->Handle(), kProbe, 0, 0);
    app->HandleMessage(); // a slice
    app->HandleMessage(); // the probe
    again->ExpTree->WindowProc = inner;
    EXPECT_EQ(readingAtProbe, 1);
    const int early = again->GaugePanel->GaugeAttrs().Position();
    EXPECT_GT(early, 0);
    EXPECT_LT(early, 20);
    app->HandleMessage();
    ASSERT_TRUE(storage.LoadReading());
    EXPECT_GT(again->GaugePanel->GaugeAttrs().Position(), early);
    const std::string during = root + "/during.JOB";
    ASSERT_TRUE(again->SaveJob(during));
    EXPECT_FALSE(storage.LoadPending());
    EXPECT_EQ(ReadAll(during), ReadAll(wholeCopy));
    app->ProcessMessages();
    EXPECT_FALSE(again->Loading());
    EXPECT_EQ(Lines(again->Selection()), expected);

    // The selection asked for midway is the job's, and names it.
    TMainform* fourth = Window();
    fourth->SetLoadReadSliceSize(1);
    ASSERT_TRUE(fourth->LoadJob(job));
    app->HandleMessage();
    ASSERT_TRUE(fourth->ExpTree->Storage().LoadReading());
    EXPECT_EQ(Lines(fourth->Selection()), expected);
    EXPECT_EQ(fourth->Caption(), "ArdentixXP - read.JOB");
    app->ProcessMessages();
    EXPECT_FALSE(fourth->Loading());
    EXPECT_EQ(State(fourth->ExpTree, Child(fourth->ExpTree, fourth->ExpTree->GetFirst(), "Photos")),
              csCheckedNormal);
    EXPECT_TRUE(boxes.empty()) << boxes.front();
}

// Damage that only a later slice reaches is told as damage found on the spot
// is, and the window stays as it was: its selection, its job, its changes.
TEST_F(MainformRoad, ADamagedJobFoundWhileReadIsToldAndChangesNothing) {
    TMainform* other = Window();
    const std::string damaged = SavePhotosAndNotes(other, "damaged.JOB");
    ASSERT_FALSE(HasFailure());
    const std::string bytes = Read(damaged);
    Write(damaged, bytes.substr(0, bytes.size() - 3));

    TMainform* w = Window();
    ClickCheckBox(w->ExpList, Child(w->ExpList, nullptr, "notes.txt"));
    const std::string kept = root + "/kept.JOB";
    ASSERT_TRUE(w->SaveJob(kept));
    const std::string keptBytes = Read(kept);
    ClickCheckBox(w->ExpList, Child(w->ExpList, nullptr, "Music"));
    const std::vector<std::string> selected = {home + "/Music", home + "/Music/a.ogg",
                                               home + "/Music/b.ogg", home + "/notes.txt"};
    ASSERT_EQ(Lines(w->Selection()), selected);
    ASSERT_TRUE(w->Modified());
    w->SetLoadReadSliceSize(1);
    auto unchanged = [&](const char* how) {
        EXPECT_FALSE(w->Loading()) << how;
        EXPECT_FALSE(w->ExpTree->Storage().LoadPending()) << how;
        EXPECT_EQ(w->JobFileName(), kept) << how;
        EXPECT_EQ(w->Caption(), "ArdentixXP - kept.JOB *") << how;
        EXPECT_FALSE(w->GaugePanel->Enabled()) << how;
        EXPECT_EQ(Lines(w->Selection()), selected) << how;
        EXPECT_EQ(int(Child(w->ExpList, nullptr, "Music")->CheckState), csCheckedNormal) << how;
        ASSERT_EQ(boxes.size(), 1u) << how;
        EXPECT_EQ(boxes[0].rfind(damaged + ": not a valid job file (", 0), 0u) << boxes[0];
        boxes.clear();
    };

    // Met by a slice of its own.
    ASSERT_TRUE(w->LoadJob(damaged));
    EXPECT_TRUE(w->Loading());
    EXPECT_TRUE(boxes.empty());
    app->ProcessMessages();
    unchanged("by the slices");

    // Met by the selection asked for midway.
    ASSERT_TRUE(w->LoadJob(damaged));
    app->HandleMessage();
    ASSERT_TRUE(w->ExpTree->Storage().LoadReading());
    EXPECT_EQ(Lines(w->Selection()), selected);
    unchanged("by the selection");

    // Met by a save midway, which then saves what the window holds.
    ASSERT_TRUE(w->LoadJob(damaged));
    const std::string copy = root + "/copy.JOB";
    ASSERT_TRUE(w->SaveJob(copy));
    EXPECT_EQ(w->JobFileName(), copy);
    ASSERT_EQ(boxes.size(), 1u);
    boxes.clear();
    TMainform* check = Window();
    ASSERT_TRUE(check->LoadJob(copy));
    app->ProcessMessages();
    EXPECT_EQ(Lines(check->Selection()), selected);
    EXPECT_EQ(Read(kept), keptBytes);
    EXPECT_TRUE(boxes.empty()) << boxes.front();
}

TEST_F(MainformRoad, ASaveThatFailsIsToldAndKeepsTheFileThere) {
    TMainform* w = Window();
    const std::string job = root + "/kept.JOB";
    ASSERT_TRUE(w->SaveJob(job));
    const std::string before = Read(job);
    EXPECT_FALSE(w->SaveJob(root + "/no/such/folder/x.JOB"));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind(root + "/no/such/folder/x.JOB: cannot save the job: ", 0), 0u) << boxes[0];
    EXPECT_EQ(Read(job), before);
    EXPECT_EQ(w->JobFileName(), job);
    boxes.clear();
}

// The window's save errors are the command line's: the job named once,
// then why.
TEST_F(MainformRoad, ASaveErrorNamesTheJobOnceWithTheReason) {
    TMainform* w = Window();
    EXPECT_FALSE(w->SaveJob(root + "/no/such/folder/x.JOB"));
    const std::string job = root + "/protected.JOB";
    ASSERT_TRUE(w->SaveJob(job));
    const std::string before = Read(job);
    ASSERT_EQ(chmod(job.c_str(), 0444), 0);
    EXPECT_FALSE(w->SaveJob(job));
    EXPECT_EQ(Read(job), before);
    EXPECT_EQ(boxes, (std::vector<std::string>{
                         root + "/no/such/folder/x.JOB: cannot save the job: the folder " + root +
                             "/no/such/folder cannot be written (No such file or directory)",
                         job + ": cannot save the job: the file is write-protected"}));
    boxes.clear();
}

TEST_F(MainformRoad, TheGaugeRestsEmptyAndTheBarNamesWhatWasListed) {
    TMainform* w = Window();
    EXPECT_FALSE(w->GaugePanel->Enabled()) << "nothing runs: no bar, no percentage";
    ClickCaption(w->ExpTree, Child(w->ExpTree, w->ExpTree->GetFirst(), "Music"));
    EXPECT_FALSE(w->GaugePanel->Enabled());
    EXPECT_EQ(w->GaugePanel->GaugeAttrs().Position(), 0);
    EXPECT_EQ(w->PathPanel->Text(), home + "/Music");
    EXPECT_EQ(w->CountPanel->Text(), "2 items");
    // Shown while work runs.
    w->ShowProgress(40, "Loading");
    EXPECT_TRUE(w->GaugePanel->Enabled());
    EXPECT_EQ(w->GaugePanel->GaugeAttrs().Position(), 40);
    w->EndProgress("done");
    EXPECT_FALSE(w->GaugePanel->Enabled());
}

// Expanding a folder in the tree is not choosing it: the bar keeps naming
// the folder the list shows.
TEST_F(MainformRoad, ThePathPanelNamesTheListsFolderAfterAnotherIsExpanded) {
    MakeAll({"Photos/2025/", "Photos/2025/z.jpg"});
    TMainform* w = Window();
    PDataNode photos = Child(w->ExpTree, w->ExpTree->GetFirst(), "Photos");
    ASSERT_NE(photos, nullptr);
    w->ExpTree->SetExpanded(photos, true);
    ASSERT_TRUE(w->ExpTree->Expanded(photos));
    EXPECT_NE(ChildNamed(w->ExpTree, photos, "2025"), nullptr);
    EXPECT_EQ(ListNames(w).size(), 6u) << "the list still shows the home folder";
    EXPECT_EQ(w->PathPanel->Text(), home);
    EXPECT_EQ(w->CountPanel->Text(), "6 items");
    EXPECT_FALSE(w->GaugePanel->Enabled());
}

// Rows made and removed from outside reach the list as a merge (what a
// change notice runs) or a refresh (F5): the count follows each.
TEST_F(MainformRoad, TheCountFollowsTheListsRowsNotOnlyItsFolder) {
    TMainform* w = Window();
    ASSERT_EQ(w->CountPanel->Text(), "6 items");
    MakeAll({"new1.txt", "new2.txt"});
    w->ExpList->RereadAndMergeFolder(w->ExpList->RootNode(), false);
    EXPECT_EQ(ListNames(w).size(), 8u);
    EXPECT_EQ(w->CountPanel->Text(), "8 items");
    ASSERT_EQ(::unlink((home + "/new1.txt").c_str()), 0);
    ASSERT_EQ(::unlink((home + "/new2.txt").c_str()), 0);
    ASSERT_EQ(::unlink((home + "/notes.txt").c_str()), 0);
    w->ExpList->SetFocus();
    InjectKeyStroke(VK_F5);
    app->ProcessMessages();
    EXPECT_EQ(ListNames(w).size(), 5u);
    EXPECT_EQ(w->CountPanel->Text(), "5 items");
}

// At the window's default size the list shows Name, Size, Type and
// Modified whole, with room for a vertical scroll bar; so does a folder
// chosen later.
TEST_F(MainformRoad, TheListsColumnsFitAtTheDefaultSize) {
    TMainform* w = Window();
    ASSERT_EQ(w->ClientWidth(), 760);
    auto modifiedFits = [&] {
        const TDataTreeColumns& columns = w->ExpList->Header().Columns();
        const TDataTreeColumn* modified = nullptr;
        for (int i = 0; i < columns.Count(); ++i)
            if (columns.Items(i)->Text() == u"Modified") modified = columns.Items(i);
        if (!modified || !modified->Visible()) return false;
        int right = 0;
        for (int i = 0; i < columns.Count(); ++i)
            if (columns.Items(i)->Visible() && columns.Items(i)->Position() <= modified->Position())
                right += columns.Items(i)->Width();
        // The list's client area without a vertical scroll bar, and with one.
        return right <= w->ExpList->ClientWidth() - GetSystemMetrics(SM_CXVSCROLL);
    };
    EXPECT_TRUE(modifiedFits());
    ClickCaption(w->ExpTree, Child(w->ExpTree, w->ExpTree->GetFirst(), "Music"));
    EXPECT_TRUE(modifiedFits());
}

// The window cannot be made smaller than the size at which its parts all
// show: the status bar's path and gauge panels with room for the count, and
// the panes between the tool panel and the mask grid.
TEST_F(MainformRoad, TheWindowKeepsTheSizeAtWhichItsPartsShow) {
    TMainform* w = Window();
    // The frame of a sizeable window: 4 pixels each side and a 19-pixel caption.
    EXPECT_EQ(w->MinimumSize(), (SIZE{380 + 160 + 80 + 8, 36 + 100 + 150 + 20 + 8 + 19}));
    MoveWindow(w->Handle(), 20, 20, 300, 200, TRUE);
    EXPECT_EQ(w->Width(), 628);
    EXPECT_EQ(w->Height(), 333);
    EXPECT_GE(w->ExpList->Width(), 200);
    EXPECT_GE(w->ExpTree->Height(), 100);
    EXPECT_GT(w->StatusBar->Top(), w->GridPanel->Top());
    EXPECT_EQ(w->StatusBar->Top() + w->StatusBar->Height(), w->ClientHeight());
}

// Backspace in the list goes up a folder, but never above the folder the
// tree is rooted at.
TEST_F(MainformRoad, BackspaceInTheListStopsAtTheTreesRoot) {
    MakeAll({"Music/Old/"});
    TMainform* w = Window();
    ClickCaption(w->ExpTree, Child(w->ExpTree, w->ExpTree->GetFirst(), "Music"));
    ASSERT_EQ(WideToUtf8(w->ExpList->RootFolderNamespace()->NameForParsing()), home + "/Music");
    w->ExpList->SetFocus();
    InjectKeyStroke(VK_BACK);
    app->ProcessMessages();
    EXPECT_EQ(WideToUtf8(w->ExpList->RootFolderNamespace()->NameForParsing()), home);
    InjectKeyStroke(VK_BACK);
    app->ProcessMessages();
    EXPECT_EQ(WideToUtf8(w->ExpList->RootFolderNamespace()->NameForParsing()), home)
        << "the list went above the tree's root";
    EXPECT_FALSE(w->ExpList->BrowseToPath(Utf8ToWide(ExtractFileDir(home)), false, false, false, false));
    EXPECT_EQ(WideToUtf8(w->ExpList->RootFolderNamespace()->NameForParsing()), home);
}

} // namespace

namespace {

// As a folder without the read right looks to any user but root: the
// failure is injected, so the tests run the same as root.
int RefuseSecret(const std::string& path) {
    return path.size() >= 7 && path.compare(path.size() - 7, 7, "/secret") == 0 ? EACCES : 0;
}

class Unreadable : public MainformRoad {
protected:
    void SetUp() override {
        MainformRoad::SetUp();
        MakeAll({"secret/", "secret/in.txt"});
        SetFolderReadRefusal(RefuseSecret);
    }
    void TearDown() override {
        SetFolderReadRefusal(nullptr);
        MainformRoad::TearDown();
    }
};

} // namespace

TEST_F(Unreadable, AFolderThatCannotBeReadIsToldNotShownEmpty) {
    TMainform* w = Window();
    PDataNode top = w->ExpTree->GetFirst();
    ClickCaption(w->ExpTree, Child(w->ExpTree, top, "secret"));
    EXPECT_EQ(w->PathPanel->Text(), "Cannot read " + home + "/secret: Permission denied");
    EXPECT_EQ(w->CountPanel->Text(), "") << "not an empty folder of 0 items";
    EXPECT_FALSE(w->GaugePanel->Enabled());
    // It may still be chosen for the backup.
    ClickCheckBox(w->ExpTree, Child(w->ExpTree, top, "secret"));
    EXPECT_EQ(Lines(w->Selection()), (std::vector<std::string>{home + "/secret"}));
    // A folder that can be read is told as before.
    ClickCaption(w->ExpTree, Child(w->ExpTree, top, "Music"));
    EXPECT_EQ(w->PathPanel->Text(), home + "/Music");
    EXPECT_EQ(w->CountPanel->Text(), "2 items");
}

TEST_F(Unreadable, SelectingItFromTheCommandLineSaysSoAndKeepsIt) {
    const std::string job = root + "/secret.JOB";
    std::ostringstream out, err;
    EXPECT_EQ(RunCommandLine({"select", job, home + "/secret", home + "/notes.txt"}, out, err), 0);
    EXPECT_EQ(err.str(), "ardentix: " + home +
                             "/secret: the folder cannot be read (Permission denied); it is selected, but "
                             "nothing in it can be backed up until it can be read\n");
    std::ostringstream listed, quiet;
    EXPECT_EQ(RunCommandLine({"selection", job}, listed, quiet), 0);
    EXPECT_EQ(listed.str(), home + "/notes.txt\n" + home + "/secret\n");
}

// Two names that differ only in what a display drops or draws alike never
// look the same: every pane and the selection window show escapes, while
// the selection keeps the bytes.
TEST_F(MainformRoad, NamesWithALineBreakOrAForeignByteShowEscapedEverywhere) {
    MakeAll({"two\nlines/", "caf\xE9"});
    TMainform* w = Window();
    PDataNode top = w->ExpTree->GetFirst();
    PDataNode lines = Child(w->ExpTree, top, "two\nlines");
    EXPECT_EQ(WideToUtf8(w->ExpTree->Text(lines, NoColumn)), "two\\nlines");
    PDataNode cafe = Child(w->ExpList, nullptr, "caf\xE9");
    EXPECT_EQ(WideToUtf8(w->ExpList->Text(cafe, 0)), "caf\\xE9");
    ClickCheckBox(w->ExpList, cafe);
    ClickCheckBox(w->ExpTree, lines);
    EXPECT_EQ(Lines(w->Selection()), (std::vector<std::string>{home + "/caf\xE9", home + "/two\nlines"}));
    w->ShowSelection();
    EXPECT_EQ(w->SelectionForm->Memo->Text(), home + "/caf\\xE9\n" + home + "/two\\nlines");
    ClickCaption(w->ExpTree, lines);
    EXPECT_EQ(w->PathPanel->Text(), home + "/two\\nlines");
}

TEST_F(MainformRoad, TheSelectionWindowSelectsAllWithCtrlAAndCopiesLinuxLineEnds) {
    TMainform* w = Window();
    ClickCheckBox(w->ExpTree, Child(w->ExpTree, w->ExpTree->GetFirst(), "Photos"));
    w->ShowSelection();
    app->ProcessMessages();
    TMemo* memo = w->SelectionForm->Memo;
    memo->SetFocus();
    app->ProcessMessages();
    ASSERT_TRUE(memo->Focused());
    InjectKey(VK_CONTROL, true);
    InjectKeyStroke('A');
    app->ProcessMessages();
    EXPECT_EQ(memo->SelLength(), int(memo->Text().size())) << "Ctrl+A selects all the text";
    InjectKeyStroke('C');
    InjectKey(VK_CONTROL, false);
    app->ProcessMessages();
    EXPECT_EQ(GetClipboardText().value_or("(nothing)"),
              home + "/Photos\n" + home + "/Photos/x.jpg\n" + home + "/Photos/y.jpg");
}

// The demo's picture is taken once the window has come to rest: the icons
// the panes asked of the icon thread have arrived and been painted.
TEST_F(MainformRoad, TheWindowComesToRestWithEveryIconArrived) {
    auto* w = app->CreateForm<TMainform>();
    w->ErrorDisplay = [this](const AnsiString& text) { boxes.push_back(text); };
    // The icon thread on, as in the program; the change notifier off.
    for (TCustomExplorerTree* pane : std::initializer_list<TCustomExplorerTree*>{w->ExpTree, w->ExpList}) {
        TExplorerTreeOptions& o = pane->TreeOptions();
        o.SetExpMiscOptions(o.ExpMiscOptions() & ~TExpMiscOptions(toChangeNotifierThread));
    }
    ASSERT_TRUE(w->SetRootPath(home));
    w->Show();
    w->BrowseTo(home + "/Photos");
    PresentWhenIdle(*app, w);
    EXPECT_EQ(w->ExpTree->PendingIconRequests(), 0u);
    EXPECT_EQ(w->ExpList->PendingIconRequests(), 0u);
    for (const char* name : {"x.jpg", "y.jpg"}) {
        PDataNode node = Child(w->ExpList, nullptr, name);
        ASSERT_NE(node, nullptr);
        EXPECT_TRUE(w->ExpList->NodeNamespace(node)->ThreadedIconLoaded()) << name;
    }
    EXPECT_FALSE(w->GaugePanel->Enabled());
}

// What the notifier cannot follow is told: folders left to the timer in the
// bar, checked items it lost track of in one box after the pane's refresh.
TEST_F(MainformRoad, WhatTheNotifierCannotFollowIsTold) {
    TMainform* w = Window();
    auto& notifier = static_cast<TShellChangeNotifier&>(ChangeNotifier());
    PostMessage(notifier.Window(), WM_SHELLNOTIFYCANNOTFOLLOW, 12, 0);
    app->ProcessMessages();
    EXPECT_EQ(w->PathPanel->Text(), "The system's limit of watched folders is reached: 12 folders are "
                                    "checked for changes every 5 seconds instead.");
    EXPECT_FALSE(w->Modified());
    w->ExpTree->OnSelectionLost(w->ExpTree, {Utf8ToWide(home + "/a.txt"), Utf8ToWide(home + "/b.txt")});
    w->ExpList->OnSelectionLost(w->ExpList, {Utf8ToWide(home + "/b.txt")});
    EXPECT_TRUE(boxes.empty()) << "not inside the pane's refresh";
    EXPECT_TRUE(w->Modified()) << "the selection changed";
    app->ProcessMessages();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Changes on disk came faster than they could be followed. These checked items are no "
                        "longer where they were and left the selection:\n\n" +
                            home + "/a.txt\n" + home + "/b.txt");
}
