// The open dialog and the caption bar button on a real display: a private
// Xvfb with openbox, driven by XTest input. A file is picked in the open
// dialog by a click and by typing its path; the caption button is pressed
// and let go. The application runs on its own thread as a program would;
// the test thread is the user. Screenshots go to the snapshot folder.
#include "controls/CaptionButton.h"
#include "controls/PlacesOpenDialog.h"
#include "platform/window/display.h"
#include "rtl/clock.h"
#include "stdctrls/filedialogform.h"
#include "x11_program.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace ax {
namespace {

using test::Xvfb;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr unsigned long kXK_Return = 0xFF0D;

class X11DialogsTest : public test::X11Test {
protected:
    void SetUp() override {
        test::X11Test::SetUp();
        if (!Started()) return;
        const char* dir = std::getenv("AX_CONTROLS_SNAPSHOT_DIR");
        shots = dir ? dir : "snapshots";
        fs::create_directories(shots);
        // Only letters, digits, "-" and "/": typed on any keyboard map.
        folder = (fs::temp_directory_path() / ("ax-dialogs-" + std::to_string(getpid()))).string();
        fs::remove_all(folder);
        fs::create_directories(folder + "/sub");
        for (const char* f : {"alpha.txt", "backup.zip", "notes", "sub/deep.txt"})
            std::ofstream(folder + "/" + f) << "x";
    }
    void TearDown() override {
        test::X11Test::TearDown();
        if (!folder.empty()) fs::remove_all(folder);
    }
    void Start() {
        ASSERT_NO_FATAL_FAILURE(StartProgram({.build = [this](TApplication& app) { return Build(app); },
                                              .afterRun = [] { OnDialogModal = nullptr; },
                                              .testFont = true}));
        ASSERT_TRUE(server.WaitFor([&] {
            return server.WmState(program->xWindow()) == 1 && server.WindowGeometry(program->xWindow()).viewable;
        })) << "the form was never mapped";
    }
    // The application's thread: a main form with a caption button and a
    // places open dialog.
    TForm* Build(TApplication& app) {
        form = app.CreateForm<TForm>();
        form->SetCaption("ArdentixXP");
        form->SetBounds(40, 40, 0, 0);
        form->SetClientSize(480, 200);
        button = TComponent::Create<TCaptionButton>(form);
        TBitmap glyph;
        glyph.SetSize(13, 11);
        glyph.Canvas().Brush().SetColor(clBtnFace);
        glyph.Canvas().FillRect({0, 0, 13, 11});
        glyph.Canvas().Brush().SetColor(clNavy);
        glyph.Canvas().FillRect({3, 2, 10, 9});
        button->SetGlyph(&glyph);
        button->SetRightMargin(90);
        button->OnClick = [this](TObject*) { program->Change([&] { ++clicks; }); };

        dialog = TComponent::Create<TPlacesOpenDialog>(form);
        dialog->SetFilter("Archives (*.zip)|*.zip|All files|*.*");
        dialog->SetFilterIndex(2);
        dialog->SetInitialDir(folder);
        dialog->SetOptions(OpenOptions({ofHideReadOnly, ofEnableSizing, ofFileMustExist}));
        OnDialogModal = [this](TDialogForm& d) {
            auto* f = dynamic_cast<TFileDialogForm*>(&d);
            if (!f) return;
            const unsigned long x = NativeWindow(f->Handle());
            program->Change([&] {
                shown = f;
                xDialog = x;
                ++dialogs;
            });
        };
        form->Show();
        return form;
    }
    // Starts the dialog; it runs modally on the application's thread.
    void StartDialog() {
        program->Post([this] {
            const bool ok = dialog->Execute();
            program->Change([&] {
                lastResult = ok;
                lastFile = dialog->FileName();
                shown = nullptr;
                ++results;
            });
        });
    }
    // Opens the dialog and waits until the server shows it where the
    // program thinks it is.
    void OpenDialog() {
        const int before = program->Read(dialogs);
        StartDialog();
        ASSERT_TRUE(program->Wait([&] { return dialogs > before; }, Xvfb::kBound))
            << "the dialog did not come up";
        const unsigned long x = program->Read(xDialog);
        ASSERT_TRUE(server.WaitFor([&] {
            const Xvfb::Geometry g = server.WindowGeometry(x);
            if (!g.viewable) return false;
            const RECT r = program->Get<RECT>([&] {
                RECT wr{};
                GetWindowRect(shown->Handle(), wr);
                return wr;
            });
            return r.left == g.x && r.top == g.y;
        })) << "the dialog was not shown where it is";
        ASSERT_TRUE(server.WindowManagerBarrier());
    }
    POINT OnScreen(std::function<POINT(TFileDialogForm&)> where) {
        return program->Get<POINT>([&] { return where(*shown); });
    }
    void Click(POINT p) {
        clock.Advance(1000); // never a double click
        server.Click(p.x, p.y);
    }
    bool WaitResult(int count) {
        return program->Wait([&] { return results >= count; }, Xvfb::kBound);
    }

    fs::path shots;
    std::string folder;
    // The application thread's own; what the dialog's runs leave is read
    // under the program's lock.
    TForm* form = nullptr;
    TCaptionButton* button = nullptr;
    TPlacesOpenDialog* dialog = nullptr;
    TFileDialogForm* shown = nullptr; // the dialog while it runs
    unsigned long xDialog = 0;
    int dialogs = 0, results = 0, clicks = 0;
    bool lastResult = false;
    std::string lastFile;
};

TEST_F(X11DialogsTest, AFileIsPickedByClickAndByTypingItsPath) {
    Start();
    OpenDialog();
    // The item and the button, where they are on the screen.
    const POINT item = OnScreen([](TFileDialogForm& f) {
        const RECT r = f.FileList().ItemRect(f.IndexOfItem("backup.zip"));
        return f.FileList().ClientToScreen(POINT{r.left + 10, r.top + r.height() / 2});
    });
    Click(item);
    ASSERT_TRUE(server.WaitFor([&] {
        return program->Get<AnsiString>([&] { return shown->FileNameEdit().Text(); }) == "backup.zip";
    })) << "the click did not choose the file";
    program->Call([] { PumpDisplay(); });
    EXPECT_TRUE(server.Screenshot((shots / "x11_open_dialog.png").string(), program->Read(xDialog)));
    const POINT ok = OnScreen([](TFileDialogForm& f) {
        return f.OkButton().ClientToScreen(POINT{f.OkButton().Width() / 2, f.OkButton().Height() / 2});
    });
    Click(ok);
    ASSERT_TRUE(WaitResult(1)) << "the dialog did not end";
    EXPECT_TRUE(program->Read(lastResult));
    EXPECT_EQ(program->Read(lastFile), folder + "/backup.zip");

    // Again, the path typed into the empty name field and Enter.
    program->Call([&] { dialog->SetFileName(""); });
    OpenDialog();
    const POINT field = OnScreen([](TFileDialogForm& f) {
        return f.FileNameEdit().ClientToScreen(POINT{20, f.FileNameEdit().Height() / 2});
    });
    Click(field);
    ASSERT_TRUE(server.WaitFor(
        [&] { return program->Get<bool>([&] { return shown->FileNameEdit().Focused(); }); }))
        << "the name field did not take the focus";
    const std::string path = folder + "/sub/deep.txt";
    for (char c : path) server.KeyStroke(static_cast<unsigned char>(c));
    ASSERT_TRUE(server.WaitFor([&] {
        return program->Get<AnsiString>([&] { return shown->FileNameEdit().Text(); }) == path;
    })) << "typed: " << program->Get<AnsiString>([&] { return shown->FileNameEdit().Text(); });
    server.KeyStroke(kXK_Return);
    ASSERT_TRUE(WaitResult(2)) << "Enter did not end the dialog";
    EXPECT_TRUE(program->Read(lastResult));
    EXPECT_EQ(program->Read(lastFile), path);
}

TEST_F(X11DialogsTest, TheCaptionButtonIsPressedAndLetGo) {
    Start();
    ASSERT_TRUE(server.WindowManagerBarrier());
    // The button's frame starts at x = width - 90 - 6 and y = 6 of the
    // window; its middle is 8 and 6 further in.
    const POINT middle = program->Get<POINT>([&] {
        RECT wr{};
        GetWindowRect(form->Handle(), wr);
        return POINT{wr.left + wr.width() - 90 - 6 + 8, wr.top + 6 + 6};
    });
    const Xvfb::Geometry g = server.WindowGeometry(program->xWindow());
    ASSERT_TRUE(server.WaitFor([&] {
        const RECT r = program->Get<RECT>([&] { return form->BoundsRect(); });
        return r.left == server.WindowGeometry(program->xWindow()).x && r.top == server.WindowGeometry(program->xWindow()).y;
    })) << "the form is not where the server shows it: " << g.x << "," << g.y;
    server.MoveTo(middle.x, middle.y);
    server.Button(1, true);
    ASSERT_TRUE(server.WaitFor([&] { return program->Get<bool>([&] { return button->Pressed(); }); }))
        << "the press did not reach the button";
    program->Call([] { PumpDisplay(); });
    EXPECT_TRUE(server.Screenshot((shots / "x11_caption_button_pressed.png").string(), program->xWindow()));
    server.Button(1, false);
    ASSERT_TRUE(program->Wait([&] { return clicks == 1; }, Xvfb::kBound)) << "no click";
    EXPECT_FALSE(program->Get<bool>([&] { return button->Pressed(); }));
    // The window stayed where it was: the press moved nothing.
    const Xvfb::Geometry after = server.WindowGeometry(program->xWindow());
    EXPECT_EQ(after.x, g.x);
    EXPECT_EQ(after.y, g.y);
    program->Call([] { PumpDisplay(); });
    EXPECT_TRUE(server.Screenshot((shots / "x11_caption_button.png").string(), program->xWindow()));

    // Pressed, moved off and let go: no click.
    clock.Advance(1000);
    server.MoveTo(middle.x, middle.y);
    server.Button(1, true);
    ASSERT_TRUE(server.WaitFor([&] { return program->Get<bool>([&] { return button->Pressed(); }); }));
    server.MoveTo(middle.x - 60, middle.y + 60);
    ASSERT_TRUE(server.WaitFor([&] { return !program->Get<bool>([&] { return button->Pressed(); }); }))
        << "leaving did not let the button up";
    server.Button(1, false);
    ASSERT_TRUE(server.WindowManagerBarrier());
    program->Call([] {});
    EXPECT_EQ(program->Read(clicks), 1);
}

} // namespace
} // namespace ax
