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

HWND MakeWindow() {
    SelectDisplay(DisplayKind::Headless);
    WNDCLASS wc;
    wc.lpszClassName = "SysMenuTest";
    wc.lpfnWndProc = [](HWND h, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
        if (msg == WM_SYSCOMMAND) commands.push_back(wp & 0xFFF0);
        if (msg == WM_SYSCOMMAND && (wp & 0xFFF0) == SC_CLOSE) return 0; // stays
        return DefWindowProc(h, msg, wp, lp);
    };
    RegisterClass(wc);
    const HWND h = CreateWindowEx(0, "SysMenuTest", "", WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 100, 100, 200, 100,
                                  nullptr);
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

} // namespace
} // namespace ax
