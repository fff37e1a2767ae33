#include <gtest/gtest.h>

#include "app/DisplayMenuTracker.h"
#include "framework/forms.h"
#include "framework/menus.h"
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

TEST_F(DisplayMenuTrackerTest, DismissedMenuChoosesNothing) {
    EXPECT_EQ(Track({VK_ESCAPE}), 0u);
}

} // namespace
} // namespace ax
