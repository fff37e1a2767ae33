// System menus: the default commands, greying and deleting, and the close
// requests that follow the state of SC_CLOSE.
#include <gtest/gtest.h>

#include <vector>

#include "platform/window/display.h"
#include "platform/window/sysmenu.h"
#include "platform/window/window.h"

namespace ax {
namespace {

std::vector<WPARAM> commands;
// WM_INITMENUPOPUP of the window menu greys Size, as a window that may not
// be resized does.
bool greySizeOnInit = false;
std::vector<LPARAM> menuInits;

HWND MakeWindow(DWORD style = WS_CAPTION | WS_SYSMENU | WS_VISIBLE) {
    SelectDisplay(DisplayKind::Headless);
    WNDCLASS wc;
    wc.lpszClassName = "SysMenuTest";
    wc.lpfnWndProc = [](HWND h, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
        if (msg == WM_SYSCOMMAND) commands.push_back(wp & 0xFFF0);
        if (msg == WM_SYSCOMMAND && (wp & 0xFFF0) == SC_CLOSE) return 0; // stays
        if (msg == WM_INITMENUPOPUP) {
            menuInits.push_back(lp);
            if (greySizeOnInit) EnableMenuItem(reinterpret_cast<HMENU>(wp), SC_SIZE, MF_BYCOMMAND | MF_GRAYED);
            return 0;
        }
        return DefWindowProc(h, msg, wp, lp);
    };
    RegisterClass(wc);
    const HWND h = CreateWindowEx(0, "SysMenuTest", "", style, 100, 100, 200, 100, nullptr);
    SetActiveWindow(h);
    SetFocus(h);
    return h;
}

void Pump() {
    MSG m;
    while (PeekMessage(m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(m);
        DispatchMessage(m);
    }
}

void AltF4() {
    InjectKey(VK_MENU, true);
    InjectKeyStroke(VK_F4);
    InjectKey(VK_MENU, false);
    Pump();
}

void ClickClose(HWND h) {
    RECT r;
    GetWindowRect(h, r);
    // The close button sits at the caption's right end.
    InjectClick(MouseButton::Left, r.right - 12, r.top + 10);
    Pump();
}

TEST(SystemMenu, DefaultItemsAndTheEditsOfAMessageBox) {
    const HWND h = MakeWindow();
    HMENU menu = GetSystemMenu(h, FALSE);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(GetMenuItemCount(menu), 7);
    EXPECT_EQ(GetMenuItemID(menu, 0), UINT(SC_RESTORE));
    EXPECT_EQ(GetMenuItemID(menu, 5), 0u); // the separator
    EXPECT_EQ(GetMenuState(menu, 5, MF_BYPOSITION), MF_SEPARATOR);
    EXPECT_EQ(EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | MF_GRAYED), MF_ENABLED);
    EXPECT_EQ(GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND), MF_GRAYED);
    for (UINT cmd : {SC_MAXIMIZE, SC_MINIMIZE, SC_SIZE, SC_RESTORE, SC_CLOSE})
        EXPECT_TRUE(DeleteMenu(menu, cmd, MF_BYCOMMAND));
    EXPECT_TRUE(DeleteMenu(menu, 1, MF_BYPOSITION));
    EXPECT_EQ(GetMenuItemCount(menu), 1);
    EXPECT_EQ(GetMenuItemID(menu, 0), UINT(SC_MOVE));
    EXPECT_FALSE(DeleteMenu(menu, SC_CLOSE, MF_BYCOMMAND));
    EXPECT_EQ(EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND), kMenuItemAbsent);
    DestroyWindow(h);
}

TEST(SystemMenu, CloseRequestsFollowTheCloseCommand) {
    const HWND h = MakeWindow();
    commands.clear();
    AltF4();
    ClickClose(h);
    EXPECT_EQ(commands, (std::vector<WPARAM>{SC_CLOSE, SC_CLOSE}));
    commands.clear();
    EnableMenuItem(GetSystemMenu(h, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
    AltF4();
    ClickClose(h);
    EXPECT_TRUE(commands.empty());
    // The default menu back: closing works again.
    EXPECT_EQ(GetSystemMenu(h, TRUE), nullptr);
    AltF4();
    EXPECT_EQ(commands, (std::vector<WPARAM>{SC_CLOSE}));
    DestroyWindow(h);
    EXPECT_EQ(GetSystemMenu(h, FALSE), nullptr);
}

// What the presenter saw of the menu: each item's command and whether it
// could be picked; it picks the command set beforehand.
struct ShownMenu {
    HWND window = nullptr;
    POINT at{};
    std::vector<std::pair<UINT, bool>> items;
};

class WindowMenu : public ::testing::Test {
protected:
    void SetUp() override {
        commands.clear();
        menuInits.clear();
        greySizeOnInit = false;
        SetWindowMenuPresenter([this](HWND window, HMENU menu, POINT at) -> UINT {
            ShownMenu m{window, at, {}};
            for (int i = 0; i < GetMenuItemCount(menu); ++i) {
                const UINT id = GetMenuItemID(menu, i);
                if (id) m.items.push_back({id, !(GetMenuState(menu, UINT(i), MF_BYPOSITION) & MF_GRAYED)});
            }
            shown.push_back(m);
            return pick;
        });
    }
    void TearDown() override { SetWindowMenuPresenter(nullptr); }
    std::vector<ShownMenu> shown;
    UINT pick = 0;
};

using Items = std::vector<std::pair<UINT, bool>>;

TEST_F(WindowMenu, AltSpaceAndTheCaptionIconOpenIt) {
    const HWND h = MakeWindow(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    InjectKey(VK_MENU, true);
    InjectKeyStroke(VK_SPACE);
    InjectKey(VK_MENU, false);
    Pump();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].window, h);
    // A sizeable window at its normal size: only Restore is greyed.
    EXPECT_EQ(shown[0].items, (Items{{SC_RESTORE, false},
                                     {SC_MOVE, true},
                                     {SC_SIZE, true},
                                     {SC_MINIMIZE, true},
                                     {SC_MAXIMIZE, true},
                                     {SC_CLOSE, true}}));
    // Under the caption icon: frame 4, caption 19 below the window's top.
    EXPECT_EQ(shown[0].at.x, 104);
    EXPECT_EQ(shown[0].at.y, 123);
    // The window menu's own WM_INITMENUPOPUP: position 0, system menu.
    EXPECT_EQ(menuInits, (std::vector<LPARAM>{MAKELPARAM(0, TRUE)}));
    InjectClick(MouseButton::Left, 108, 110); // the caption icon
    Pump();
    EXPECT_EQ(shown.size(), 2u);
    EXPECT_EQ(commands, (std::vector<WPARAM>{SC_KEYMENU, SC_MOUSEMENU}));
    DestroyWindow(h);
}

TEST_F(WindowMenu, TheWindowGreysCommandsAndThePickedOneIsSent) {
    const HWND h = MakeWindow(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    greySizeOnInit = true;
    pick = SC_MAXIMIZE;
    SendMessage(h, WM_SYSCOMMAND, SC_KEYMENU, ' ');
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].items[2], (std::pair<UINT, bool>{SC_SIZE, false}));
    EXPECT_TRUE(IsZoomed(h));
    // Maximised: Restore comes on, Move, Size and Maximize go.
    pick = 0;
    greySizeOnInit = false;
    SendMessage(h, WM_SYSCOMMAND, SC_KEYMENU, ' ');
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].items, (Items{{SC_RESTORE, true},
                                     {SC_MOVE, false},
                                     {SC_SIZE, false},
                                     {SC_MINIMIZE, true},
                                     {SC_MAXIMIZE, false},
                                     {SC_CLOSE, true}}));
    DestroyWindow(h);
}

TEST_F(WindowMenu, AWindowWithoutSizingFrameOrBoxesOffersLess) {
    const HWND h = MakeWindow(); // caption and system menu only
    SendMessage(h, WM_SYSCOMMAND, SC_KEYMENU, ' ');
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].items, (Items{{SC_RESTORE, false},
                                     {SC_MOVE, true},
                                     {SC_SIZE, false},
                                     {SC_MINIMIZE, false},
                                     {SC_MAXIMIZE, false},
                                     {SC_CLOSE, true}}));
    // A command greyed for the user is not sent, even if picked.
    pick = SC_MAXIMIZE;
    SendMessage(h, WM_SYSCOMMAND, SC_KEYMENU, ' ');
    EXPECT_FALSE(IsZoomed(h));
    DestroyWindow(h);
}

} // namespace
} // namespace ax
