// The box's save button with a report file name that has no folder of its
// own: the name is asked for in the save dialog the program installed,
// here a stand-in that records what it was asked and answers as scripted.
#include "crash/vorBugReport.h"
#include "crash/vorExcept.h"
#include "crash/vorExceptBox.h"
#include "crash/vorRestart.h"
#include "crash/vorSettings.h"
#include "platform/window/display.h"
#include "platform/window/savefiledialog.h"
#include "platform/window/sound.h"
#include "platform/window/window.h"
#include "rtl/clock.h"
#include "support/beeps.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace ax {
namespace {

class RecordingSaveDialog final : public ISaveFileDialogService {
public:
    std::string SaveFileName(const SaveFileRequest& request) override {
        asked.push_back(request);
        thread = std::this_thread::get_id();
        return answer;
    }
    std::vector<SaveFileRequest> asked;
    std::string answer;
    std::thread::id thread;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string ProgramFolder() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

class ReportSaveDialog : public ::testing::Test {
protected:
    void SetUp() override {
        SelectDisplay(DisplayKind::Headless);
        SetTestFont(true);
        SetClock(&clock);
        saved = ReporterSettings();
        char tmpl[] = "/tmp/axsavedlgXXXXXX";
        folder = ::mkdtemp(tmpl);
        // Relative: beside the program, which the dialog must keep us from.
        ReporterSettings().BugReportFile = "axsavedlg-never-" + std::to_string(::getpid()) + ".txt";
        ReporterSettings().ButtonFeedback = false;
        ReporterRuntime().ConsoleProgram = false;
        ExceptionHistory() = {};
        SetSaveFileDialogService(&dialog);
        TakeSoundRequests();
    }
    void TearDown() override {
        SetSaveFileDialogService(nullptr);
        ReporterSettings() = saved;
        SetClock(nullptr);
        std::filesystem::remove_all(folder);
    }
    std::string Beside() const { return ProgramFolder() + "/" + ReporterSettings().BugReportFile.str(); }
    ManualClock clock;
    VorSettings saved;
    std::string folder;
    RecordingSaveDialog dialog;
};

TEST_F(ReportSaveDialog, TheBoxAsksForTheNameAndSavesWhereTheUserChose) {
    dialog.answer = folder + "/chosen/report.txt";
    TExceptionBox box(true, false, "the report", "Access violation");
    test::TakeBeeps();
    SendMessage(box.Window(), WM_COMMAND, bbSave, 0);
    ASSERT_EQ(dialog.asked.size(), 1u);
    const SaveFileRequest& r = dialog.asked[0];
    EXPECT_EQ(r.owner, reinterpret_cast<std::uintptr_t>(box.Window()));
    EXPECT_EQ(r.title, "save bug report");
    EXPECT_EQ(r.filter, "*.txt");
    EXPECT_EQ(r.initialDir, ProgramFolder());
    EXPECT_EQ(r.fileName, ReporterSettings().BugReportFile.str());
    EXPECT_EQ(r.flags, 0x8004u);
    EXPECT_EQ(dialog.thread, std::this_thread::get_id()) << "asked on another thread than the box's";
    EXPECT_EQ(ReadAll(dialog.answer), "the report\r\n\r\n");
    EXPECT_FALSE(std::filesystem::exists(Beside()));
    EXPECT_EQ(test::TakeBeeps(), std::vector<UINT>{64});
    // A chosen name may be saved again, somewhere else.
    ASSERT_NE(box.Button(bbSave), nullptr);
    dialog.answer = folder + "/second.txt";
    SendMessage(box.Window(), WM_COMMAND, bbSave, 0);
    EXPECT_EQ(dialog.asked.size(), 2u);
    EXPECT_TRUE(std::filesystem::exists(dialog.answer));
}

TEST_F(ReportSaveDialog, ACancelledDialogSavesNothingAndBeepsPlainly) {
    dialog.answer = "";
    TExceptionBox box(true, false, "the report", "Access violation");
    test::TakeBeeps();
    SendMessage(box.Window(), WM_COMMAND, bbSave, 0);
    EXPECT_EQ(dialog.asked.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(Beside()));
    EXPECT_EQ(test::TakeBeeps(), std::vector<UINT>{0});
    EXPECT_NE(box.Button(bbSave), nullptr);
}

TEST_F(ReportSaveDialog, TheAutomaticSaveAndAFixedFolderAskNobody) {
    std::string savedAs;
    ReporterSettings().BugReportFile = folder + "/fixed.txt";
    EXPECT_TRUE(SaveBugReport("r", false, &savedAs));
    EXPECT_EQ(savedAs, folder + "/fixed.txt");
    ReporterSettings().BugReportFile = "axsavedlg-silent-" + std::to_string(::getpid()) + ".txt";
    const std::string beside = Beside();
    const bool silent = SaveBugReport("r", true, &savedAs);
    std::filesystem::remove(beside);
    std::filesystem::remove(FallbackReportFileName());
    EXPECT_TRUE(silent);
    EXPECT_TRUE(dialog.asked.empty());
}

TEST_F(ReportSaveDialog, ANameTheDialogCannotGiveIsRefused) {
    dialog.answer = "relative.txt";
    EXPECT_FALSE(SaveBugReport("r", false));
    dialog.answer = "/dev/null/report.txt";
    EXPECT_FALSE(SaveBugReport("r", false));
    EXPECT_EQ(dialog.asked.size(), 2u);
}

} // namespace
} // namespace ax
