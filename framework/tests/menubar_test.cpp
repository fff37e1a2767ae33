// The form's menu bar: the frame it takes, its layout with the test font,
// and tracking it by mouse and keyboard.
#include "framework_fixture.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace ax {
namespace {

using test::FrameworkTest;

// Thick frame 4, caption 19, bar 19 (SM_CYMENU).
constexpr int kLeft = 100, kTop = 100, kWidth = 300, kHeight = 200;
constexpr int kBarTop = 4 + 19, kBarBottom = kBarTop + 19;

class MenuBarTest : public FrameworkTest {
protected:
    void SetUp() override {
        FrameworkTest::SetUp();
        form = app->CreateForm<TForm>();
        form->SetBounds(kLeft, kTop, kWidth, kHeight);
        form->SetCaption("Backup");
        menu = TComponent::Create<TMainMenu>(form);
        auto log = [this](const char* name) { return [this, name](TObject*) { OnChosen(name); }; };
        file = menu->Items()->NewItem("&File");
        file->SetHint("file");
        auto* newItem = file->NewItem("&New", 0, log("new"));
        newItem->SetHint("new");
        file->NewItem("-");
        auto* exitItem = file->NewItem("E&xit", 0, log("exit"));
        exitItem->SetHint("exit");
        options = menu->Items()->NewItem("&Options");
        options->SetHint("options");
        options->NewItem("&Settings", 0, log("settings"))->SetHint("settings");
        options->NewItem("&Schedule", 0, log("schedule"))->SetHint("schedule");
        tools = menu->Items()->NewItem("&Tools");
        tools->SetHint("tools");
        tools->NewItem("&Verify", 0, log("verify"));
        tools->SetEnabled(false);
        go = menu->Items()->NewItem("&Go", 0, log("go"));
        go->SetHint("go");
        form->SetMenu(menu);
        form->Show();
        app->ProcessMessages();
        // Selections show up as the items' hints while tracking.
        app->OnHint = [this](TObject*) {
            if (menu && menu->Tracking()) hints.push_back(app->Hint());
        };
    }
    void TearDown() override {
        TMainMenu::OnTrackingStarted = nullptr;
        FrameworkTest::TearDown();
    }
    void OnChosen(const char* name) {
        // The command runs once the menu is gone.
        EXPECT_FALSE(menu->Tracking());
        EXPECT_EQ(menu->BarSelected(), -1);
        chosen.push_back(name);
    }
    // Screen point in the middle of a bar item.
    POINT BarPoint(int index) {
        const RECT r = menu->BarItemRects(form->Handle())[size_t(index)];
        return {kLeft + (r.left + r.right) / 2, kTop + (r.top + r.bottom) / 2};
    }

    TForm* form = nullptr;
    TMainMenu* menu = nullptr;
    TMenuItem *file = nullptr, *options = nullptr, *tools = nullptr, *go = nullptr;
    std::vector<std::string> chosen, hints;
};

TEST_F(MenuBarTest, TheBarTakesItsHeightFromTheClientArea) {
    RECT client;
    GetClientRect(form->Handle(), client);
    EXPECT_EQ(client.width(), kWidth - 8);
    EXPECT_EQ(client.height(), kHeight - 8 - 19 - 19);
    EXPECT_EQ(form->ClientHeight(), kHeight - 8 - 19 - 19);
    POINT origin{0, 0};
    ClientToScreen(form->Handle(), origin);
    EXPECT_EQ(origin.y, kTop + kBarBottom);
    RECT bar;
    ASSERT_TRUE(GetMenuBarRect(form->Handle(), bar));
    EXPECT_EQ(bar, (RECT{kLeft + 4, kTop + kBarTop, kLeft + kWidth - 4, kTop + kBarBottom}));
    RECT adjusted{0, 0, kWidth - 8, kHeight - 8 - 38};
    AdjustWindowRectEx(adjusted, DWORD(GetWindowLongPtr(form->Handle(), GWL_STYLE)), TRUE, 0);
    EXPECT_EQ(adjusted.height(), kHeight);

    // Taking the menu away gives the height back; freeing it does too.
    form->SetMenu(nullptr);
    EXPECT_EQ(GetMenu(form->Handle()), HMENU{});
    EXPECT_FALSE(GetMenuBarRect(form->Handle(), bar));
    GetClientRect(form->Handle(), client);
    EXPECT_EQ(client.height(), kHeight - 8 - 19);
    form->SetMenu(menu);
    EXPECT_NE(GetMenu(form->Handle()), HMENU{});
    form->FreeComponent(menu);
    menu = nullptr;
    GetClientRect(form->Handle(), client);
    EXPECT_EQ(client.height(), kHeight - 8 - 19);
}

TEST_F(MenuBarTest, ChildWindowsHaveNoMenu) {
    WNDCLASS wc;
    wc.lpszClassName = "MenuBarTestChild";
    wc.lpfnWndProc = &DefWindowProc;
    RegisterClass(wc);
    HWND child = CreateWindowEx(0, "MenuBarTestChild", "", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50,
                                form->Handle());
    ASSERT_TRUE(child);
    EXPECT_FALSE(SetMenu(child, reinterpret_cast<HMENU>(uintptr_t(7))));
    EXPECT_EQ(GetMenu(child), HMENU{});
}

TEST_F(MenuBarTest, HitTestFindsTheBarBetweenCaptionAndClient) {
    auto hit = [&](int x, int y) {
        return SendMessage(form->Handle(), WM_NCHITTEST, 0, MAKELPARAM(kLeft + x, kTop + y));
    };
    EXPECT_EQ(hit(150, kBarTop - 1), HTCAPTION);
    EXPECT_EQ(hit(150, kBarTop), HTMENU);
    EXPECT_EQ(hit(4, kBarBottom - 1), HTMENU);
    EXPECT_EQ(hit(kWidth - 5, kBarTop + 5), HTMENU);
    EXPECT_EQ(hit(150, kBarBottom), HTCLIENT);
    EXPECT_EQ(hit(2, kBarTop + 5), HTLEFT);
}

TEST_F(MenuBarTest, ItemRectanglesFollowTheTextWidth) {
    // 7 px a character plus 6 px each side, from the frame's inner edge.
    const std::vector<RECT> expected{{4, kBarTop, 44, kBarBottom},     // File
                                     {44, kBarTop, 105, kBarBottom},   // Options
                                     {105, kBarTop, 152, kBarBottom},  // Tools
                                     {152, kBarTop, 178, kBarBottom}}; // Go
    EXPECT_EQ(menu->BarItemRects(form->Handle()), expected);
    // Hidden items take no room.
    options->SetVisible(false);
    const std::vector<RECT> without{{4, kBarTop, 44, kBarBottom},
                                    {44, kBarTop, 91, kBarBottom},
                                    {91, kBarTop, 117, kBarBottom}};
    EXPECT_EQ(menu->BarItemRects(form->Handle()), without);
}

TEST_F(MenuBarTest, ClickOpensTheDropDownUnderTheItemAndChooses) {
    int enter = 0, exit = 0;
    form->WindowProc = [&, base = form->WindowProc](TMessage& m) {
        if (m.Msg == WM_ENTERMENULOOP) ++enter;
        if (m.Msg == WM_EXITMENULOOP) ++exit;
        base(m);
    };
    RECT dropDown{};
    TMainMenu::OnTrackingStarted = [&](TMainMenu& m) {
        EXPECT_EQ(m.BarSelected(), 1);
        ASSERT_EQ(m.TrackingWindows().size(), 1u);
        GetWindowRect(m.TrackingWindows()[0], dropDown);
        // Second item of the drop-down: 2 px margin, 18 px items.
        InjectClick(MouseButton::Left, dropDown.left + 30, dropDown.top + 2 + 18 + 9);
    };
    const POINT p = BarPoint(1);
    InjectClick(MouseButton::Left, p.x, p.y);
    app->ProcessMessages();
    EXPECT_EQ(dropDown.left, kLeft + 44);
    EXPECT_EQ(dropDown.top, kTop + kBarBottom);
    EXPECT_EQ(chosen, (std::vector<std::string>{"schedule"}));
    EXPECT_EQ(enter, 1);
    EXPECT_EQ(exit, 1);
    EXPECT_EQ(GetCapture(), HWND{});
}

TEST_F(MenuBarTest, MouseMovesTheOpenDropDownAndAClickElsewhereDismisses) {
    TMainMenu::OnTrackingStarted = [&](TMainMenu&) {
        const POINT o = BarPoint(1);
        InjectMouseMove(o.x, o.y);
    };
    // Moves coalesce in the input queue: the click follows once Options is
    // selected.
    app->OnHint = [&](TObject*) {
        if (!menu->Tracking()) return;
        hints.push_back(app->Hint());
        if (app->Hint() == "options") {
            EXPECT_EQ(menu->TrackingWindows().size(), 1u);
            InjectClick(MouseButton::Left, kLeft + 150, kTop + 150);
        }
    };
    const POINT p = BarPoint(0);
    InjectClick(MouseButton::Left, p.x, p.y);
    app->ProcessMessages();
    EXPECT_EQ(hints, (std::vector<std::string>{"file", "options"}));
    EXPECT_TRUE(chosen.empty());
    EXPECT_FALSE(menu->Tracking());
}

TEST_F(MenuBarTest, ABarItemWithoutDropDownActsOnClick) {
    const POINT p = BarPoint(3);
    InjectClick(MouseButton::Left, p.x, p.y);
    app->ProcessMessages();
    EXPECT_EQ(chosen, (std::vector<std::string>{"go"}));
}

TEST_F(MenuBarTest, ADisabledBarItemRefuses) {
    size_t windows = 99;
    TMainMenu::OnTrackingStarted = [&](TMainMenu& m) { windows = m.TrackingWindows().size(); };
    const POINT p = BarPoint(2);
    InjectClick(MouseButton::Left, p.x, p.y);
    app->ProcessMessages();
    EXPECT_EQ(windows, 0u);
    EXPECT_FALSE(menu->Tracking());
    // Nor does its accelerator open it, or Enter on it.
    InjectKey(VK_MENU, true);
    InjectKeyStroke('T', U't');
    InjectKey(VK_MENU, false);
    app->ProcessMessages();
    EXPECT_FALSE(menu->Tracking());
    TMainMenu::OnTrackingStarted = [&](TMainMenu& m) {
        // Right twice to Tools; neither Enter nor Down opens it.
        for (UINT vk : {VK_RIGHT, VK_RIGHT, VK_RETURN, VK_DOWN})
            InjectKeyStroke(vk);
        InjectKeyStroke(VK_ESCAPE);
        windows = m.TrackingWindows().size();
    };
    InjectKeyStroke(VK_F10);
    app->ProcessMessages();
    EXPECT_EQ(windows, 0u);
    EXPECT_EQ(hints, (std::vector<std::string>{"tools", "file", "options", "tools"}));
    EXPECT_TRUE(chosen.empty());
    EXPECT_FALSE(menu->Tracking());
}

TEST_F(MenuBarTest, AltLetterOpensItsItem) {
    TMainMenu::OnTrackingStarted = [&](TMainMenu& m) {
        EXPECT_EQ(m.BarSelected(), 1);
        EXPECT_EQ(m.TrackingWindows().size(), 1u);
        // Opened by keyboard, the first item is already selected.
        InjectKeyStroke(VK_DOWN);
        InjectKeyStroke(VK_RETURN);
    };
    InjectKey(VK_MENU, true);
    InjectKeyStroke('O', U'o');
    InjectKey(VK_MENU, false);
    app->ProcessMessages();
    EXPECT_EQ(chosen, (std::vector<std::string>{"schedule"}));
    // Alt+G chooses the item that has no drop-down at once.
    InjectKey(VK_MENU, true);
    InjectKeyStroke('G', U'g');
    InjectKey(VK_MENU, false);
    app->ProcessMessages();
    EXPECT_EQ(chosen, (std::vector<std::string>{"schedule", "go"}));
}

TEST_F(MenuBarTest, F10ArrowsAndEnter) {
    TMainMenu::OnTrackingStarted = [&](TMainMenu& m) {
        // The bar is entered with its first item selected and nothing open.
        EXPECT_EQ(m.BarSelected(), 0);
        EXPECT_TRUE(m.TrackingWindows().empty());
        // Right to Options, Down opens it on Settings, Left moves the open
        // drop-down to File (on New), Left again wraps to Go (nothing to
        // open), Right opens File again, Up wraps to Exit past the line,
        // Enter chooses.
        for (UINT vk : {VK_RIGHT, VK_DOWN, VK_LEFT, VK_LEFT, VK_RIGHT, VK_UP, VK_RETURN})
            InjectKeyStroke(vk);
    };
    InjectKeyStroke(VK_F10);
    app->ProcessMessages();
    EXPECT_EQ(chosen, (std::vector<std::string>{"exit"}));
    EXPECT_EQ(hints, (std::vector<std::string>{"file", "options", "settings", "file", "new", "go",
                                               "file", "new", "exit"}));
}

TEST_F(MenuBarTest, AltAloneEntersAndEscapeBacksOut) {
    std::vector<size_t> states;
    TMainMenu::OnTrackingStarted = [&](TMainMenu& m) {
        states.push_back(m.TrackingWindows().size());
        // Down opens File, Escape closes it back to the bar, Escape leaves.
        for (UINT vk : {VK_DOWN, VK_ESCAPE, VK_ESCAPE})
            InjectKeyStroke(vk);
    };
    InjectKeyStroke(VK_MENU);
    app->ProcessMessages();
    EXPECT_FALSE(menu->Tracking());
    EXPECT_EQ(states, (std::vector<size_t>{0}));
    EXPECT_EQ(hints, (std::vector<std::string>{"file", "new"}));
    EXPECT_TRUE(chosen.empty());

    // Alt again while tracking leaves too, and its release does not enter
    // the bar a second time.
    TMainMenu::OnTrackingStarted = [&](TMainMenu& m) {
        states.push_back(m.TrackingWindows().size());
        InjectKeyStroke(VK_MENU);
    };
    InjectKeyStroke(VK_MENU);
    app->ProcessMessages();
    EXPECT_EQ(states, (std::vector<size_t>{0, 0}));
    EXPECT_FALSE(menu->Tracking());

    // Alt with another key between is no menu request.
    InjectKey(VK_MENU, true);
    InjectKeyStroke(VK_SHIFT);
    InjectKey(VK_MENU, false);
    app->ProcessMessages();
    EXPECT_EQ(states.size(), 2u);
}

TEST_F(MenuBarTest, SnapshotShowsTheBarWithTheSelectedItem) {
    HWND h = form->Handle();
    auto pixel = [&](int x, int y) {
        HDC dc = GetWindowDC(h);
        const COLORREF c = GetPixel(dc, x, y);
        ReleaseDC(h, dc);
        return c;
    };
    // Bar background, and the test font's box for the "F" of File (text
    // starts at 4 + 6, centred vertically: (19 - 13) / 2 = 3 down).
    EXPECT_EQ(pixel(160, kBarTop + 2), GetSysColor(COLOR_MENU));
    EXPECT_EQ(pixel(10 + 2, kBarTop + 3 + 4), GetSysColor(COLOR_MENUTEXT));
    // The disabled Tools item is grey: box at 105 + 6.
    EXPECT_EQ(pixel(111 + 2, kBarTop + 3 + 4), GetSysColor(COLOR_GRAYTEXT));
    std::string path;
    TMainMenu::OnTrackingStarted = [&](TMainMenu& m) {
        EXPECT_EQ(pixel(44 + 1, kBarTop + 1), GetSysColor(COLOR_HIGHLIGHT));
        EXPECT_EQ(pixel(50 + 2, kBarTop + 3 + 4), GetSysColor(COLOR_HIGHLIGHTTEXT));
        const char* dir = std::getenv("AX_MENUBAR_SNAPSHOT_DIR");
        if (dir) {
            EXPECT_TRUE(SnapshotWindow(h, std::string(dir) + "/menubar_form.png"));
            EXPECT_TRUE(
                SnapshotWindow(m.TrackingWindows()[0], std::string(dir) + "/menubar_dropdown.png"));
        }
        InjectKeyStroke(VK_ESCAPE);
        InjectKeyStroke(VK_ESCAPE);
    };
    InjectKey(VK_MENU, true);
    InjectKeyStroke('O', U'o');
    InjectKey(VK_MENU, false);
    app->ProcessMessages();
    // Highlight gone after tracking.
    EXPECT_EQ(pixel(44 + 1, kBarTop + 1), GetSysColor(COLOR_MENU));
}

} // namespace
} // namespace ax
