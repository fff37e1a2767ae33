// The crash reporter's save dialog as the program installs it: the
// standard controls' save dialog, asked with what the reporter gives and
// run on the thread that asks, as the reporter's worker does.
#include "app/ReportSaveDialog.h"

#include "framework_fixture.h"
#include "stdctrls/dialogform.h"
#include "stdctrls/filedialogform.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <thread>

namespace ax {
namespace {

class ReportSaveDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::StartHeadlessApp(clock, app, shown);
        char tmpl[] = "/tmp/axreportdlgXXXXXX";
        folder = ::mkdtemp(tmpl);
        request.title = "save bug report";
        request.filter = "*.txt";
        request.initialDir = folder;
        request.fileName = "bugreport.txt";
        request.flags = 0x8004;
    }
    void TearDown() override {
        OnDialogModal = nullptr;
        test::StopHeadlessApp(app);
        std::filesystem::remove_all(folder);
    }
    // Answers the dialog with name (empty: cancels), noting what it showed.
    void Answer(const std::string& name) {
        OnDialogModal = [this, name](TDialogForm& d) {
            auto& f = dynamic_cast<TFileDialogForm&>(d);
            caption = f.Caption();
            lookedIn = f.Folder();
            offered = f.FileNameEdit().Text();
            type = f.TypeCombo().Text();
            thread = std::this_thread::get_id();
            if (name.empty()) {
                f.CancelButton().Click();
            } else {
                f.FileNameEdit().SetText(name);
                f.Accept();
            }
        };
    }

    ManualClock clock;
    std::unique_ptr<TApplication> app;
    std::vector<std::string> shown;
    std::string folder;
    SaveFileRequest request;
    std::string caption, lookedIn, offered, type;
    std::thread::id thread;
};

TEST_F(ReportSaveDialogTest, InstalledWhileItLives) {
    {
        TReportSaveDialog dialog;
        EXPECT_EQ(SaveFileDialogService(), &dialog);
    }
    EXPECT_EQ(SaveFileDialogService(), nullptr);
}

TEST_F(ReportSaveDialogTest, ShowsTheRequestAndAnswersTheChosenFile) {
    TReportSaveDialog dialog;
    Answer("mine.txt");
    EXPECT_EQ(dialog.SaveFileName(request), folder + "/mine.txt");
    EXPECT_EQ(caption, "save bug report");
    EXPECT_EQ(lookedIn, folder);
    EXPECT_EQ(offered, "bugreport.txt");
    EXPECT_EQ(type, "*.txt");
    EXPECT_FALSE(std::filesystem::exists(folder + "/mine.txt")) << "the dialog makes no file";
}

TEST_F(ReportSaveDialogTest, CancelledAnswersNothing) {
    TReportSaveDialog dialog;
    Answer("");
    EXPECT_EQ(dialog.SaveFileName(request), "");
}

TEST_F(ReportSaveDialogTest, RunsOnTheAskingWorkerThread) {
    TReportSaveDialog dialog;
    Answer("worker.txt");
    std::string chosen;
    std::thread worker([&] { chosen = dialog.SaveFileName(request); });
    const std::thread::id workerId = worker.get_id();
    worker.join(); // the GUI thread waits, as a faulting thread does
    EXPECT_EQ(chosen, folder + "/worker.txt");
    EXPECT_EQ(thread, workerId);
}

} // namespace
} // namespace ax
