// The main window in the desktop's GTK theme and in the classic look, on a
// private Xvfb with openbox, driven by real X input: the same clicks (check
// box, expand button, header sort, scroll bar drag) give the same results
// in both looks; the column settings dialog (a theme-aware tree) is drawn
// by the theme, follows a theme change of the desktop at once, and is
// classic again once the theme library is let go. Pictures in the snapshot
// folder: main_window_themed, main_window_classic, column_settings_themed,
// column_settings_highcontrast and column_settings_classic.
#include "app/MainForm.h"
#include "controls/ThemeBinding.h"
#include "explorer/ColumnSettingsDialog.h"
#include "explorer/ExplorerViews.h"
#include "pane_points.h"
#include "platform/theme/GtkThemeLibrary.h"
#include "x11_program.h"
#include "xsettings_manager.h"

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace ax {
namespace {

namespace fs = std::filesystem;
using testing::CheckBoxPoint;
using testing::ChildNamed;
using testing::QuietPane;

// {-1, -1} when the row shows no expand button.
POINT ButtonPoint(TCustomExplorerTree* tree, PDataNode node) {
    tree->ScrollIntoView(node, false, false);
    const RECT row = tree->GetDisplayRect(node, NoColumn, false);
    const int y = (row.top + row.bottom) / 2;
    for (int x = 0; x < 200; ++x) {
        THitInfo hit;
        tree->GetHitTestInfoAt(x, y, true, hit);
        if (hit.HitNode == node && (hit.HitPositions & hiOnItemButton)) return {x + 2, y};
    }
    return {-1, -1};
}

class X11ThemeTest : public test::X11FormTest {
protected:
    void SetUp() override {
        folder = (fs::temp_directory_path() / ("ax-theme-" + std::to_string(getpid()))).string();
        fs::remove_all(folder);
        home = folder + "/home";
        for (const char* d : {"Music/Albums", "Photos"}) fs::create_directories(home + "/" + d);
        std::ofstream(home + "/Music/a.ogg") << "x";
        // Enough files for the list to scroll.
        for (int i = 0; i < 60; ++i) std::ofstream(home + "/file" + std::to_string(100 + i) + ".txt") << "x";
        savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
        setenv("HOME", home.c_str(), 1);
        unsetenv("GTK_THEME");
        unsetenv(ClassicLookVariable);
        test::X11FormTest::SetUp();
    }
    void TearDown() override {
        test::X11FormTest::TearDown();
        settings.reset();
        setenv("HOME", savedHome.c_str(), 1);
        fs::remove_all(folder);
    }
    TForm* Build(TApplication& app) override {
        // The desktop runs a settings manager with GTK's own theme; the
        // program draws it, as the program does at start on a display.
        settings = std::make_unique<test::XSettingsManager>(server.Name());
        settings->SetThemeName("Adwaita");
        themed = RegisterGtkThemeLibrary() && BindThemeLibrary() && ThemesAvailable();
        main = app.CreateForm<TMainform>();
        QuietPane(main->ExpTree);
        QuietPane(main->ExpList);
        main->ErrorDisplay = [](const AnsiString&) {};
        main->SetRootPath(home);
        if (themed) FollowDesktopTheme(main->Handle());
        return main;
    }
    void BeforeEnd() override {
        StopFollowingDesktopTheme();
        UnbindThemeLibrary();
        UnregisterGtkThemeLibrary();
    }
    // The middle of the list's "Name" header item, on the screen.
    POINT NameHeader() {
        return program->Get<POINT>([this] {
            TExplorerListview* list = main->ExpList;
            const RECT header = list->HeaderRect();
            RECT window{};
            GetWindowRect(list->Handle(), window);
            return POINT{window.left + header.left + 30, window.top + (header.top + header.bottom) / 2};
        });
    }
    // What one look does with the same clicks: a file checked and then
    // unchecked in the list, a folder expanded and collapsed by its
    // button, the sort direction flipped by the header, the list scrolled
    // by its bar.
    void ClickThrough(const std::string& look) {
        SCOPED_TRACE(look);
        const POINT box = program->Get<POINT>([this] {
            TExplorerListview* list = main->ExpList;
            return list->ClientToScreen(CheckBoxPoint(list, ChildNamed(list, nullptr, "file100.txt")));
        });
        auto state = [this] { return int(ChildNamed(main->ExpList, nullptr, "file100.txt")->CheckState); };
        Click(box);
        EXPECT_TRUE(Until([&] { return state() == csCheckedNormal; })) << "the click did not check file100.txt";
        Click(box);
        EXPECT_TRUE(Until([&] { return state() == csUncheckedNormal; })) << "the second click did not uncheck it";

        auto music = [this] { return ChildNamed(main->ExpTree, main->ExpTree->GetFirst(), "Music"); };
        const POINT button = program->Get<POINT>([&] {
            return main->ExpTree->ClientToScreen(ButtonPoint(main->ExpTree, music()));
        });
        ASSERT_GE(button.x, 0) << "Music shows no expand button";
        Click(button);
        EXPECT_TRUE(Until([&] { return main->ExpTree->Expanded(music()); })) << "the button did not expand Music";
        Click(button);
        EXPECT_TRUE(Until([&] { return !main->ExpTree->Expanded(music()); })) << "the button did not collapse Music";

        // Sorted by name, ascending: a click on the name turns it.
        ASSERT_TRUE(program->Call([this] {
            main->ExpList->Header().SetSortColumn(0);
            main->ExpList->Header().SetSortDirection(sdAscending);
        }));
        Click(NameHeader());
        EXPECT_TRUE(Until([&] {
            return main->ExpList->Header().SortColumn() == 0 &&
                   main->ExpList->Header().SortDirection() == sdDescending;
        })) << "the header click did not turn the sort";

        struct Bar {
            POINT from, to;
        };
        const Bar bar = program->Get<Bar>([this] {
            TExplorerListview* list = main->ExpList;
            const int x = list->ClientWidth() + GetSystemMetrics(SM_CXVSCROLL) / 2;
            const int arrow = GetSystemMetrics(SM_CYVSCROLL);
            return Bar{list->ClientToScreen(POINT{x, arrow + 4}),
                       list->ClientToScreen(POINT{x, list->ClientHeight() - arrow - 2})};
        });
        Drag(bar.from, bar.to, 8);
        EXPECT_TRUE(Until([&] { return main->ExpList->OffsetY() > 0; })) << "dragging the thumb did not scroll";
        ASSERT_TRUE(program->Call([this] { main->ExpList->SetOffsetY(0); }));
    }
    // The list's column settings dialog ("More ..." of its header menu),
    // shown modal; its window.
    HWND ShowColumnSettings() {
        program->Post([this] { RunColumnSettings(*main->ExpList); });
        dialogForm = nullptr;
        EXPECT_TRUE(server.WaitFor([&] {
            return program->Call([&] {
                for (int i = 0; i < Screen()->FormCount(); ++i)
                    if (auto* d = dynamic_cast<TFormColumnSettings*>(Screen()->Forms(i)); d && d->Visible())
                        dialogForm = d;
            }) && dialogForm;
        })) << "the dialog did not show";
        const HWND d = dialogForm ? program->Get<HWND>([this] { return dialogForm->Handle(); }) : nullptr;
        EXPECT_TRUE(d && Shown(d)) << "the dialog was not shown";
        return d;
    }
    void CloseColumnSettings() {
        ASSERT_TRUE(program->Call([this] { dialogForm->SetModalResult(mrCancel); }));
        ASSERT_TRUE(Until([] {
            for (int i = 0; i < Screen()->FormCount(); ++i)
                if (dynamic_cast<TFormColumnSettings*>(Screen()->Forms(i))) return false;
            return true;
        })) << "the dialog did not close";
        dialogForm = nullptr;
    }

    std::string folder, home, savedHome;
    std::unique_ptr<test::XSettingsManager> settings;
    TMainform* main = nullptr;
    bool themed = false;
    TFormColumnSettings* dialogForm = nullptr; // the open dialog (the program's)
};

TEST_F(X11ThemeTest, BothLooksAnswerTheSameClicksAndTheThemeFollowsTheDesktop) {
    if (!themed) GTEST_SKIP() << "GTK3 cannot draw the desktop's theme here";
    ClickThrough("themed");
    Shot(program->formWindow(), "main_window_themed");

    HWND dialog = ShowColumnSettings();
    const std::string adwaita = Picture(dialog, "column_settings_themed");
    // The desktop switches to HighContrast: the open dialog is drawn again
    // in it, with nothing done in the program.
    settings->SetThemeName("HighContrast");
    std::string highContrast;
    EXPECT_TRUE(server.WaitFor([&] {
        highContrast = Picture(dialog, "column_settings_highcontrast");
        return highContrast != adwaita;
    })) << "the dialog was not drawn in the new theme";
    CloseColumnSettings();

    // The classic look: the library let go, every window told.
    ASSERT_TRUE(program->Call([] {
        StopFollowingDesktopTheme();
        UnbindThemeLibrary();
        for (HWND top : EnumWindows()) {
            SendMessage(top, WM_THEMECHANGED);
            for (HWND child : EnumChildWindows(top)) SendMessage(child, WM_THEMECHANGED);
            RedrawWindow(top, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
        }
    }));
    EXPECT_FALSE(program->Get<bool>([] { return ThemesAvailable(); }));
    ClickThrough("classic");
    Shot(program->formWindow(), "main_window_classic");
    dialog = ShowColumnSettings();
    const std::string classic = Picture(dialog, "column_settings_classic");
    EXPECT_NE(classic, adwaita) << "the classic dialog looks themed";
    EXPECT_NE(classic, highContrast);
    CloseColumnSettings();
}

} // namespace
} // namespace ax
