// Nothing the user checked is lost without a question: check changes mark
// the window modified (" *" in the caption) until a load or a save; closing
// the window by any road and "Open job..." ask whether to save first, and
// the answer is kept. The question is a real message box, answered from
// its modal loop.
#include "mainform_fixture.h"

#include "controls/MessageBoxes.h"
#include "stdctrls/buttons.h"
#include "stdctrls/filedialogform.h"
#include "stdctrls/label.h"

#include <sys/stat.h>
#include <unistd.h>

using namespace ax;
using namespace ax::testing;

namespace {

class MainformUnsaved : public MainformTest {
protected:
    void SetUp() override {
        MainformTest::SetUp();
        MakeAll({"Music/", "Music/a.ogg", "Photos/", "Photos/x.jpg", "notes.txt"});
        job = root + "/work.JOB";
    }
    void TearDown() override {
        OnMessageBoxModal = nullptr;
        OnDialogModal = nullptr;
        MainformTest::TearDown();
    }

    // Answers every question with answer, keeping its text and buttons (and
    // a picture of it, when named).
    void Answer(int answer, const std::string& picture = "") {
        OnMessageBoxModal = [this, answer, picture](TForm& box) {
            if (!picture.empty()) {
                RedrawWindow(box.Handle(), nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
                EXPECT_TRUE(SnapshotWindow(box.Handle(), picture));
            }
            AnsiString buttons;
            for (int i = 0; i < box.ControlCount(); ++i) {
                if (auto* label = dynamic_cast<TLabel*>(box.Controls(i))) questions.push_back(label->Caption());
                if (auto* button = dynamic_cast<TBitBtn*>(box.Controls(i)))
                    buttons += (buttons.empty() ? "" : "|") + button->Caption();
            }
            questionButtons = buttons;
            if (whileAsked) whileAsked();
            box.SetModalResult(answer);
        };
    }
    // Counts the file dialogs shown and lets script answer them (none:
    // cancelled).
    void Dialogs(std::function<void(TFileDialogForm&)> script = nullptr) {
        OnDialogModal = [this, script](TDialogForm& d) {
            ++dialogs;
            auto& f = dynamic_cast<TFileDialogForm&>(d);
            if (script) script(f);
            else f.EndDialog(dciCancel);
        };
    }
    // The check box of the list's item (the list shows the home folder).
    void CheckInList(TMainform* w, const std::string& name) {
        ClickCheckBox(w->ExpList, Child(w->ExpList, nullptr, name));
    }
    // Whether the application was told to end.
    bool Ended() {
        app->ProcessMessages();
        return app->Terminated();
    }
    std::vector<std::string> Selected(TMainform* w) { return Lines(w->Selection()); }

    std::string job;
    std::vector<AnsiString> questions;
    AnsiString questionButtons;
    std::function<void()> whileAsked; // runs while the question is up
    int dialogs = 0;
};

TEST_F(MainformUnsaved, ChecksMarkTheCaptionUntilALoadOrASave) {
    TMainform* w = Window();
    EXPECT_FALSE(w->Modified());
    EXPECT_EQ(w->Caption(), "ArdentixXP");
    CheckInList(w, "notes.txt");
    EXPECT_TRUE(w->Modified());
    EXPECT_EQ(w->Caption(), "ArdentixXP *");
    ASSERT_TRUE(w->SaveJob(job));
    EXPECT_FALSE(w->Modified());
    EXPECT_EQ(w->Caption(), "ArdentixXP - work.JOB");

    // A check in the tree marks it too; browsing does not (the list shows
    // a checked folder, its boxes set to match).
    PDataNode top = w->ExpTree->GetFirst();
    ClickCheckBox(w->ExpTree, Child(w->ExpTree, top, "Photos"));
    EXPECT_EQ(w->Caption(), "ArdentixXP - work.JOB *");
    ASSERT_TRUE(w->SaveJob(job));
    ClickCaption(w->ExpTree, Child(w->ExpTree, top, "Photos"));
    w->ExpTree->SetExpanded(Child(w->ExpTree, top, "Photos"), true);
    app->ProcessMessages();
    EXPECT_EQ(int(Child(w->ExpList, nullptr, "x.jpg")->CheckState), csCheckedNormal);
    EXPECT_FALSE(w->Modified());
    EXPECT_EQ(w->Caption(), "ArdentixXP - work.JOB");

    // A failed save leaves the mark; a load of the job clears it, and the
    // load's own refresh of the boxes does not set it again.
    ClickCheckBox(w->ExpList, Child(w->ExpList, nullptr, "x.jpg"));
    EXPECT_FALSE(w->SaveJob(root + "/no/such/folder/x.JOB"));
    EXPECT_EQ(w->Caption(), "ArdentixXP - work.JOB *");
    EXPECT_FALSE(w->LoadJob(root + "/missing.JOB"));
    EXPECT_TRUE(w->Modified());
    ASSERT_TRUE(w->LoadJob(job));
    EXPECT_FALSE(w->Modified());
    app->ProcessMessages();
    EXPECT_FALSE(w->Loading());
    EXPECT_FALSE(w->Modified());
    EXPECT_EQ(w->Caption(), "ArdentixXP - work.JOB");
    EXPECT_EQ(int(Child(w->ExpList, nullptr, "Photos")->CheckState), csCheckedNormal);
    boxes.clear();

    // A fresh window that loads the job is not modified either.
    TMainform* again = Window();
    ASSERT_TRUE(again->LoadJob(job));
    app->ProcessMessages();
    EXPECT_EQ(again->Caption(), "ArdentixXP - work.JOB");
    EXPECT_FALSE(again->Modified());
}

TEST_F(MainformUnsaved, AnUnchangedWindowClosesWithoutAQuestion) {
    TMainform* w = Window();
    Answer(mrCancel);
    w->Close();
    EXPECT_TRUE(questions.empty());
    EXPECT_TRUE(Ended());
}

TEST_F(MainformUnsaved, CloseAnsweredYesSavesToTheJobAndEnds) {
    TMainform* w = Window();
    CheckInList(w, "notes.txt");
    ASSERT_TRUE(w->SaveJob(job));
    CheckInList(w, "Music");
    // The picture goes to the test's working folder in the build tree.
    Answer(mrYes, "save_question_job.png");
    // The window manager's close request, as the X display delivers it.
    SendMessage(w->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], "Save changes to the backup selection?\n\n" + job);
    EXPECT_EQ(questionButtons, "&Yes|&No|&Cancel");
    EXPECT_FALSE(w->Modified());
    EXPECT_TRUE(Ended());

    TMainform* again = Window();
    ASSERT_TRUE(again->LoadJob(job));
    EXPECT_EQ(Selected(again), (std::vector<std::string>{home + "/Music", home + "/Music/a.ogg", home + "/notes.txt"}));
}

TEST_F(MainformUnsaved, CloseAnsweredNoEndsAndKeepsTheJobAsItWas) {
    TMainform* w = Window();
    CheckInList(w, "notes.txt");
    ASSERT_TRUE(w->SaveJob(job));
    const std::string saved = Read(job);
    CheckInList(w, "Music");
    Answer(mrNo);
    // Alt+F4.
    InjectKey(VK_MENU, true);
    InjectKeyStroke(VK_F4);
    InjectKey(VK_MENU, false);
    EXPECT_TRUE(Ended());
    EXPECT_EQ(questions.size(), 1u);
    EXPECT_EQ(Read(job), saved);
}

TEST_F(MainformUnsaved, CloseAnsweredCancelKeepsTheWindowAsItIs) {
    TMainform* w = Window();
    CheckInList(w, "notes.txt");
    Answer(mrCancel);
    // The caption's close button, found by asking the window.
    RECT frame;
    GetWindowRect(w->Handle(), frame);
    POINT close{-1, -1};
    for (int x = frame.right - 1; x > frame.left && close.x < 0; --x)
        for (int y = frame.top; y < frame.top + 40 && close.x < 0; ++y)
            if (SendMessage(w->Handle(), WM_NCHITTEST, 0, MAKELPARAM(x, y)) == HTCLOSE) close = {x, y};
    ASSERT_GE(close.x, 0) << "no close button in the caption";
    // A second request while the question is up asks nothing more.
    whileAsked = [&] { SendMessage(w->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0); };
    clock.Advance(1000);
    InjectClick(MouseButton::Left, close.x, close.y);
    EXPECT_FALSE(Ended());
    // Without a job the question names none.
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], "Save changes to the backup selection?");
    EXPECT_TRUE(w->Visible());
    EXPECT_TRUE(w->Modified());
    EXPECT_EQ(w->Caption(), "ArdentixXP *");
    EXPECT_EQ(Selected(w), (std::vector<std::string>{home + "/notes.txt"}));
}

TEST_F(MainformUnsaved, YesWithoutAJobSavesThroughTheDialog) {
    TMainform* w = Window();
    CheckInList(w, "notes.txt");
    Answer(mrYes);
    Dialogs([&](TFileDialogForm& f) {
        f.FileNameEdit().SetText(job);
        f.OkButton().Click();
    });
    w->Close();
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(Ended());
    EXPECT_EQ(w->JobFileName(), job);
    TMainform* again = Window();
    ASSERT_TRUE(again->LoadJob(job));
    EXPECT_EQ(Selected(again), (std::vector<std::string>{home + "/notes.txt"}));
}

TEST_F(MainformUnsaved, ASaveCancelledOrFailedAfterYesKeepsTheWindow) {
    TMainform* w = Window();
    CheckInList(w, "notes.txt");
    Answer(mrYes);
    Dialogs();
    w->Close();
    EXPECT_EQ(dialogs, 1);
    EXPECT_FALSE(Ended());
    EXPECT_TRUE(w->Modified());

    // A name longer than the system takes: the save fails and says so.
    Dialogs([&](TFileDialogForm& f) {
        f.FileNameEdit().SetText(root + "/" + std::string(300, 'x') + ".JOB");
        f.OkButton().Click();
    });
    w->Close();
    EXPECT_EQ(dialogs, 2);
    EXPECT_FALSE(Ended());
    EXPECT_EQ(boxes.size(), 1u);
    boxes.clear();
    EXPECT_TRUE(w->Modified());
    EXPECT_TRUE(w->Visible());

    // So does a job that cannot be written any more.
    ASSERT_TRUE(w->SaveJob(job));
    CheckInList(w, "Music");
    ASSERT_EQ(::unlink(job.c_str()), 0);
    ASSERT_EQ(::mkdir(job.c_str(), 0755), 0);
    w->Close();
    EXPECT_EQ(dialogs, 2);
    EXPECT_FALSE(Ended());
    EXPECT_EQ(boxes.size(), 1u);
    boxes.clear();
    EXPECT_TRUE(w->Modified());
}

TEST_F(MainformUnsaved, OpenJobAsksFirst) {
    TMainform* w = Window();
    CheckInList(w, "notes.txt");
    ASSERT_TRUE(w->SaveJob(job));
    const std::string saved = Read(job);
    CheckInList(w, "Music");
    Dialogs();
    // Cancel: no dialog, nothing changed.
    Answer(mrCancel);
    w->OpenJobButton->Click();
    EXPECT_EQ(questions.size(), 1u);
    EXPECT_EQ(dialogs, 0);
    EXPECT_TRUE(w->Modified());
    // No: the dialog comes, the job stays as it was.
    Answer(mrNo);
    w->OpenJobButton->Click();
    EXPECT_EQ(questions.size(), 2u);
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(Read(job), saved);
    // Yes: saved first, then the dialog; the job chosen there is loaded.
    Answer(mrYes);
    Dialogs([&](TFileDialogForm& f) {
        f.FileNameEdit().SetText(job);
        f.OkButton().Click();
    });
    w->OpenJobButton->Click();
    EXPECT_EQ(questions.size(), 3u);
    EXPECT_NE(Read(job), saved);
    EXPECT_TRUE(w->Loading());
    app->ProcessMessages();
    EXPECT_FALSE(w->Modified());
    EXPECT_EQ(Selected(w), (std::vector<std::string>{home + "/Music", home + "/Music/a.ogg", home + "/notes.txt"}));
    // Unchanged since: no question.
    Dialogs();
    w->OpenJobButton->Click();
    EXPECT_EQ(questions.size(), 3u);
    EXPECT_FALSE(Ended());
}

} // namespace
