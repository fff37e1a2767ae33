// The edit with a button: the button and its shortcut, read-only and
// direct-input rules, the ellipsis glyph, the button's width, and text that
// stays clear of the button.
#include "controls/ComboEdit.h"
#include "controls_fixture.h"
#include "stdctrls/button.h"
#include "stdctrls/messages.h"

namespace ax {
namespace {

class ComboEditTest : public test::ControlsTest {
protected:
    void SetUp() override {
        ControlsTest::SetUp();
        form = MainForm();
        edit = TComponent::Create<TComboEdit>(form);
        edit->SetBounds(20, 20, 160, 21);
        edit->SetParent(form);
        edit->OnButtonClick = [this](TObject* sender) {
            EXPECT_EQ(sender, edit);
            ++clicks;
        };
        app->ProcessMessages();
    }
    void ClickButton() {
        TEditButton& b = edit->Button();
        ClickAt(&b, b.Width() / 2, b.Height() / 2);
    }
    TForm* form = nullptr;
    TComboEdit* edit = nullptr;
    int clicks = 0;
};

TEST_F(ComboEditTest, TheButtonAndItsShortcutClick) {
    ClickButton();
    EXPECT_EQ(clicks, 1);
    edit->SetFocus();
    app->ProcessMessages();
    Chord(VK_MENU, VK_DOWN); // Alt+Down
    EXPECT_EQ(clicks, 2);
    edit->SetClickKey(0);
    Chord(VK_MENU, VK_DOWN);
    EXPECT_EQ(clicks, 2);
    edit->SetClickKey(ShortCut(VK_F4, 0));
    Key(VK_F4);
    EXPECT_EQ(clicks, 3);
}

TEST_F(ComboEditTest, ReadOnlyStopsTheButtonDirectInputOnlyTheTyping) {
    edit->SetFocus();
    app->ProcessMessages();
    edit->SetReadOnly(true);
    ClickButton();
    Chord(VK_MENU, VK_DOWN);
    EXPECT_EQ(clicks, 0);
    edit->SetReadOnly(false);
    edit->SetDirectInput(false);
    edit->SetFocus();
    app->ProcessMessages();
    Type("abc");
    EXPECT_EQ(edit->Text(), "");
    SetClipboardText("pasted");
    Chord(VK_CONTROL, 'V');
    EXPECT_EQ(edit->Text(), "");
    ClickButton();
    EXPECT_EQ(clicks, 1);
    edit->SetDirectInput(true);
    edit->SetFocus();
    app->ProcessMessages();
    Type("abc");
    EXPECT_EQ(edit->Text(), "abc");
}

TEST_F(ComboEditTest, EnterStillReachesTheDefaultButton) {
    TButton* ok = TComponent::Create<TButton>(form);
    ok->SetBounds(20, 60, 75, 25);
    ok->SetParent(form);
    ok->SetDefault(true);
    int pressed = 0;
    ok->OnClick = [&](TObject*) { ++pressed; };
    edit->SetDirectInput(false);
    edit->SetFocus();
    app->ProcessMessages();
    Key(VK_RETURN, U'\r');
    EXPECT_EQ(pressed, 1);
}

TEST_F(ComboEditTest, TheEllipsisGlyphHasThreeDots) {
    edit->SetGlyphKind(gkEllipsis);
    TBitmap& g = edit->Glyph();
    ASSERT_EQ(g.Width(), 15); // 21 - 6
    ASSERT_EQ(g.Height(), 4);
    std::string row1, row0;
    for (int x = 0; x < 15; ++x) {
        row0 += g.Canvas().Pixel(x, 0) == RGB(0, 0, 0) ? '#' : '.';
        row1 += g.Canvas().Pixel(x, 1) == RGB(0, 0, 0) ? '#' : '.';
    }
    EXPECT_EQ(row0, "...............");
    EXPECT_EQ(row1, ".##...##...##..");
    EXPECT_EQ(g.Canvas().Pixel(1, 2), RGB(0, 0, 0));
    EXPECT_EQ(g.Canvas().Pixel(1, 3), RGB(255, 255, 255));
    edit->SetGlyphKind(gkDropDown);
    EXPECT_EQ(edit->ButtonWidth(), GetSystemMetrics(SM_CXVSCROLL));
}

TEST_F(ComboEditTest, TheButtonKeepsRoomForTheText) {
    const int client = edit->ClientWidth();
    edit->SetButtonWidth(client);
    EXPECT_EQ(edit->ButtonWidth(), 21);
    edit->SetButtonWidth(client + 10);
    EXPECT_EQ(edit->ButtonWidth(), 21);
    edit->SetButtonWidth(30);
    EXPECT_EQ(edit->ButtonWidth(), 30);
    // The button sits at the right edge of the client area, the text stops
    // 2 pixels before it.
    EXPECT_EQ(edit->Button().ClientToScreen({0, 0}).x, edit->ClientToScreen({client - 30, 0}).x);
    RECT format{};
    edit->Perform(EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
    EXPECT_EQ(format.right, client - 30 - 2);
    edit->SetGlyphKind(gkEllipsis);
    edit->SetText("C:\\Backups\\weekly.zip");
    app->ProcessMessages();
    Snapshot(form->Handle(), "edit_with_button");
}

TEST_F(ComboEditTest, DisablingTheEditDisablesItsButton) {
    edit->SetEnabled(false);
    EXPECT_FALSE(edit->Button().Enabled());
    edit->SetEnabled(true);
    EXPECT_TRUE(edit->Button().Enabled());
}

} // namespace
} // namespace ax
