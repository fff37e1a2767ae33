#include <gtest/gtest.h>

#include "app/DisplayMenuTracker.h"
#include "framework/forms.h"
#include "framework/menus.h"
#include "platform/window/sysmenu.h"
#include "platform/window/window.h"
#include "framework_fixture.h"

namespace ax {
namespace {

ShellMenuItem Item(uint32_t id, const char16_t* caption) {
    ShellMenuItem item;
    item.id = id;
    item.caption = caption;
    return item;
}

class DisplayMenuTrackerTest : public test::FrameworkTest {
protected:
    void SetUp() override {
        FrameworkTest::SetUp();
        // The menu takes the keyboard from the active window, as a context
        // menu opened over the explorer would.
        TForm* form = app->CreateForm<TForm>();
        form->Show();
        app->ProcessMessages();
        ShellMenuItem line;
        line.separator = true;
        ShellMenuItem disabled = Item(11, u"&Paste");
        disabled.disabled = true;
        auto sub = std::make_shared<ShellMenu>();
        sub->items = {Item(20, u"&Archive"), Item(21, u"&Mail")};
        ShellMenuItem sendTo = Item(0, u"Send &to");
        sendTo.subMenu = sub;
        menu.items = {Item(10, u"&Open"), line, disabled, sendTo, Item(12, u"&Delete")};
    }
    void TearDown() override {
        TPopupMenu::OnTrackingStarted = nullptr;
        FrameworkTest::TearDown();
    }
    uint32_t Track(std::vector<UINT> keys) {
        TPopupMenu::OnTrackingStarted = [keys](TPopupMenu&) {
            for (UINT vk : keys) InjectKeyStroke(vk);
        };
        return tracker.TrackPopupMenu(menu, 0, ShellPoint{40, 40}, 0);
    }
    ShellMenu menu;
    TDisplayMenuTracker tracker;
};

TEST_F(DisplayMenuTrackerTest, ChoosesByKeysThroughSubMenus) {
    // Down from nothing: Open. Lines are passed over; the disabled Paste
    // can be reached but not chosen; Right opens Send to on its first item.
    EXPECT_EQ(Track({VK_DOWN, VK_RETURN}), 10u);
    EXPECT_EQ(Track({VK_DOWN, VK_DOWN, VK_DOWN, VK_RIGHT, VK_DOWN, VK_RETURN}), 21u);
    EXPECT_EQ(Track({VK_UP, VK_RETURN}), 12u);
}

TEST_F(DisplayMenuTrackerTest, DisabledItemIsNotChosen) {
    EXPECT_EQ(Track({VK_DOWN, VK_DOWN, VK_RETURN, VK_ESCAPE}), 0u);
}

// What the owner window is told while the menu tracks: each highlight
// with the shell's id (a sub-menu's opener by its position, its sub-menu
// to be had while the menu is up), and the closing.
struct Highlight {
    UINT id, flags;
    HMENU menu, sub;
    bool operator==(const Highlight&) const = default;
};
std::vector<Highlight> g_highlights;

LRESULT OwnerProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
    if (msg == WM_MENUSELECT) {
        const HMENU menu = reinterpret_cast<HMENU>(l);
        g_highlights.push_back({LOWORD(w), HIWORD(w), menu, menu ? GetSubMenu(menu, LOWORD(w)) : nullptr});
        return 0;
    }
    return DefWindowProc(h, msg, w, l);
}

TEST_F(DisplayMenuTrackerTest, TheOwnerIsToldOfEachHighlightAndTheClosing) {
    WNDCLASS wc;
    wc.lpszClassName = "MenuOwnerTest";
    wc.lpfnWndProc = &OwnerProc;
    RegisterClass(wc);
    const HWND owner = CreateWindowEx(0, "MenuOwnerTest", "", WS_POPUP, 0, 0, 10, 10, nullptr);
    g_highlights.clear();
    TPopupMenu::OnTrackingStarted = [](TPopupMenu&) {
        for (UINT vk : {VK_DOWN, VK_DOWN, VK_DOWN, VK_RIGHT, VK_DOWN, VK_RETURN}) InjectKeyStroke(vk);
    };
    EXPECT_EQ(tracker.TrackPopupMenu(menu, 0, ShellPoint{40, 40}, reinterpret_cast<uintptr_t>(owner)), 21u);
    ASSERT_EQ(g_highlights.size(), 6u);
    const HMENU top = g_highlights[0].menu, sendTo = g_highlights[2].sub;
    ASSERT_NE(top, nullptr);
    ASSERT_NE(sendTo, nullptr);
    EXPECT_EQ(g_highlights, (std::vector<Highlight>{{10, MF_HILITE, top, nullptr},
                                                    {11, MF_HILITE | MF_GRAYED | MF_DISABLED, top, nullptr},
                                                    {3, MF_HILITE | MF_POPUP, top, sendTo},
                                                    {20, MF_HILITE, sendTo, nullptr},
                                                    {21, MF_HILITE, sendTo, nullptr},
                                                    {0, 0xFFFF, nullptr, nullptr}}));
    EXPECT_EQ(GetSubMenu(top, 3), nullptr) << "handles are good while the menu is up only";
    DestroyWindow(owner);
}

TEST_F(DisplayMenuTrackerTest, DismissedMenuChoosesNothing) {
    EXPECT_EQ(Track({VK_ESCAPE}), 0u);
}

} // namespace
} // namespace ax
