// Pop-up help on a real display: a private Xvfb with openbox, driven by
// XTest input. The form's "?" button enters the help mode, as the main
// window does; a click on a control then shows that control's topic from
// the application's help file in a pop-up at the pointer, which a click or
// Escape closes. The application runs on its own thread as a program
// would; the test thread is the user.
#include "controls/PopUpHelp.h"
#include "framework/helppopup.h"
#include "platform/window/display.h"
#include "rtl/clock.h"
#include "stdctrls/button.h"
#include "stdctrls/edit.h"
#include "stdctrls/label.h"
#include "x11_program.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace ax {
namespace {

using test::Xvfb;
namespace fs = std::filesystem;

constexpr unsigned long kXK_Escape = 0xFF1B;

class X11HelpTest : public test::X11FormTest {
protected:
    void SetUp() override {
        helpFile = (fs::temp_directory_path() / ("ax-x11-help-" + std::to_string(getpid()) + ".axh")).string();
        std::ofstream(helpFile) << "AXHELP 1 Test Help\n"
                                   "[100] Job file\n"
                                   "The job file keeps the backup selection: every ticked folder and file.\n"
                                   "=> 200\n"
                                   "[200] Status\n"
                                   "What the program is doing now.\n";
        test::X11FormTest::SetUp();
    }
    void TearDown() override {
        test::X11FormTest::TearDown();
        fs::remove(helpFile);
    }
    TForm* Build(TApplication& app) override {
        app.SetHelpFile(helpFile);
        form = app.CreateForm<TForm>();
        form->SetCaption("Help");
        form->SetBounds(60, 70, 420, 220);
        edit = TComponent::Create<TEdit>(form);
        edit->SetBounds(20, 30, 220, 24);
        edit->SetText("/home/user/backup.JOB");
        edit->SetHelpContext(100);
        edit->SetParent(form);
        status = TComponent::Create<TLabel>(form);
        status->SetBounds(20, 90, 200, 18);
        status->SetCaption("Ready");
        status->SetTag(200); // a graphic control's topic is its tag
        status->SetParent(form);
        helpButton = TComponent::Create<TButton>(form);
        helpButton->SetBounds(360, 20, 30, 26);
        helpButton->SetCaption("?");
        helpButton->SetParent(form);
        popUpHelp = TComponent::Create<TPopUpHelp>(form);
        helpButton->OnClick = [this](TObject*) { popUpHelp->StartHelp(); };
        THelpPopup::OnShown = [this](HWND popup) { program->Change([&] { popups.push_back(popup); }); };
        form->Show();
        return form;
    }
    void BeforeEnd() override { THelpPopup::OnShown = nullptr; }

    POINT CentreOf(TControl* c) {
        return program->Get<POINT>([=] { return c->ClientToScreen(POINT{c->Width() / 2, c->Height() / 2}); });
    }
    bool InHelpMode() { return program->Get<bool>([&] { return popUpHelp->InHelpMode(); }); }
    HWND Showing() { return program->Get<HWND>([] { return THelpPopup::Showing(); }); }
    size_t PopupCount() { return program->Read(popups).size(); }
    // Enters the help mode with the "?" button.
    void StartHelpMode() {
        Click(CentreOf(helpButton));
        ASSERT_TRUE(server.WaitFor([&] { return InHelpMode(); })) << "the ? button did not start the help mode";
        EXPECT_EQ(program->Get<TCursor>([] { return Screen()->Cursor(); }), crHelp);
    }

    std::string helpFile;
    TForm* form = nullptr;
    TEdit* edit = nullptr;
    TLabel* status = nullptr;
    TButton* helpButton = nullptr;
    TPopUpHelp* popUpHelp = nullptr;
    std::vector<HWND> popups; // under the program's lock
};

TEST_F(X11HelpTest, AClickInHelpModeShowsTheControlsTopicAtThePointer) {
    ASSERT_NO_FATAL_FAILURE(StartHelpMode());
    const POINT at = CentreOf(edit);
    Click(at);
    ASSERT_TRUE(server.WaitFor([&] { return PopupCount() == 1 && Showing(); })) << "no pop-up topic showed";
    EXPECT_FALSE(InHelpMode());
    const HWND popup = Showing();
    ASSERT_TRUE(Shown(popup)) << "the pop-up is not on the screen";
    const RECT r = program->Get<RECT>([=] {
        RECT w{};
        GetWindowRect(popup, w);
        return w;
    });
    EXPECT_EQ(r.left, at.x);
    EXPECT_EQ(r.top, at.y);
    program->Call([] { PumpDisplay(); });
    EXPECT_TRUE(server.Screenshot(SnapshotPath("x11_help_popup").string()));
    server.KeyStroke(kXK_Escape);
    EXPECT_TRUE(server.WaitFor([&] { return !Showing(); })) << "Escape did not close the pop-up";
    EXPECT_TRUE(program->Get<bool>([=] { return !IsWindow(popup); }));
    EXPECT_EQ(program->Get<AnsiString>([&] { return edit->Text(); }), "/home/user/backup.JOB");

    // The label's topic, closed by a click beside it.
    ASSERT_NO_FATAL_FAILURE(StartHelpMode());
    Click(CentreOf(status));
    ASSERT_TRUE(server.WaitFor([&] { return PopupCount() == 2 && Showing(); })) << "no pop-up for the label";
    ASSERT_TRUE(Shown(Showing()));
    Click(POINT{80, 260});
    EXPECT_TRUE(server.WaitFor([&] { return !Showing(); })) << "a click did not close the pop-up";
    EXPECT_EQ(program->Get<TCursor>([] { return Screen()->Cursor(); }), crDefault);
}

} // namespace
} // namespace ax
