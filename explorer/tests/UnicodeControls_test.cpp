// Wide text of edit-style controls: round trips of any text (also bytes
// that are not UTF-8), UTF-16 positions, typed characters beyond ASCII and
// surrogate pairs, the caret and deleting by whole characters, the posted
// selection, the wide caption holder and the window-procedure trap.
#include "framework/forms.h"
#include "framework_fixture.h"
#include "platform/window/display.h"
#include "rtl/clock.h"
#include "rtl/threads.h"
#include "explorer/UnicodeControls.h"
#include "explorer/WideCaptionHolder.h"
#include "explorer/WndProcTrap.h"
#include "stdctrls/button.h"
#include "stdctrls/messages.h"

#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace ax {
namespace {

// "a", "é" (2 bytes), "b", U+1D11E (4 bytes, a surrogate pair), "c" and the
// byte E9 alone: 10 bytes, 7 UTF-16 units.
const AnsiString kMixed = "a\xC3\xA9"
                          "b\xF0\x9D\x84\x9E"
                          "c\xE9";
const WideString kMixedWide = WideString(u"a\u00E9b\U0001D11Ec") + char16_t(0xDCE9);

class UnicodeControlsTest : public test::FrameworkTest {
protected:
    void SetUp() override {
        FrameworkTest::SetUp();
        form = app->CreateForm<TForm>();
        form->SetBounds(100, 100, 0, 0);
        form->SetClientSize(300, 100);
        form->Show();
        edit = TComponent::Create<TCustomWideEdit>(form);
        edit->SetParent(form);
        edit->SetBounds(10, 10, 200, 21);
        app->ProcessMessages();
    }
    void TearDown() override {
        FrameworkTest::TearDown();
        EXPECT_TRUE(shown.empty()) << shown.front();
    }
    void Focus() {
        edit->SetFocus();
        app->ProcessMessages();
    }
    void Key(UINT vk, char32_t ch = 0) {
        InjectKeyStroke(vk, ch);
        app->ProcessMessages();
    }
    void ShiftKey(UINT vk) {
        InjectKey(VK_SHIFT, true);
        Key(vk);
        InjectKey(VK_SHIFT, false);
        app->ProcessMessages();
    }
    // Text, caret and selection as the user sees them (UTF-16 units).
    WideString Text() const { return edit->WideText(); }

    TForm* form = nullptr;
    TCustomWideEdit* edit = nullptr;
};

TEST(WidePositions, CountUtf16UnitsOverUtf8Text) {
    // Unit 4 lies inside the pair: the position after it.
    const int bytes[] = {0, 1, 3, 4, 8, 8, 9, 10};
    for (int unit = 0; unit <= 7; ++unit)
        EXPECT_EQ(WideToBytePosition(kMixed, unit), bytes[unit]) << unit;
    EXPECT_EQ(WideToBytePosition(kMixed, 100), 10);
    const int units[] = {0, 1, 1, 2, 3, 3, 3, 3, 5, 6, 7};
    for (int byte = 0; byte <= 10; ++byte)
        EXPECT_EQ(ByteToWidePosition(kMixed, byte), units[byte]) << byte;
    EXPECT_EQ(ByteToWidePosition(kMixed, 99), 7);
    EXPECT_EQ(ByteToWidePosition("", 3), 0);
    EXPECT_EQ(WideToBytePosition("\r\nx", 1), 2) << "CR LF is one character";
}

TEST_F(UnicodeControlsTest, TextRoundTripsWhateverItHolds) {
    edit->SetWideText(kMixedWide);
    EXPECT_EQ(edit->Text(), kMixed);
    EXPECT_EQ(Text(), kMixedWide);
    EXPECT_EQ(GetWindowTextW(edit->Handle()), kMixedWide);
    EXPECT_EQ(GetWindowText(edit->Handle()), kMixed);

    // A file name that is not UTF-8 set as 8-bit text comes back byte for byte.
    const AnsiString name = "/tmp/caf\xE9\xFF\xC3";
    edit->SetText(name);
    EXPECT_EQ(Text(), u"/tmp/caf" + WideString({0xDCE9, 0xDCFF, 0xDCC3}));
    edit->SetWideText(Text());
    EXPECT_EQ(edit->Text(), name);

    // Wide selection text.
    edit->SetWideText(u"x\u00E9y");
    edit->SetWideSelStart(1);
    edit->SetWideSelLength(1);
    EXPECT_EQ(edit->WideSelText(), u"\u00E9");
    edit->SetWideSelText(u"\U0001F600");
    EXPECT_EQ(Text(), u"x\U0001F600y");
}

TEST_F(UnicodeControlsTest, SelectionIsInUtf16Units) {
    edit->SetWideText(kMixedWide);
    edit->SetWideSelStart(3);
    edit->SetWideSelLength(2);
    EXPECT_EQ(edit->WideSelStart(), 3);
    EXPECT_EQ(edit->WideSelLength(), 2);
    EXPECT_EQ(edit->WideSelText(), u"\U0001D11E");
    EXPECT_EQ(edit->SelStart(), 4) << "bytes underneath";
    EXPECT_EQ(edit->SelLength(), 4);

    DWORD start = 0, end = 0;
    const LRESULT packed = SendMessage(edit->Handle(), EM_GETSEL, WPARAM(&start), LPARAM(&end));
    EXPECT_EQ(start, 3u);
    EXPECT_EQ(end, 5u);
    EXPECT_EQ(packed, MAKELPARAM(3, 5));

    SendMessage(edit->Handle(), EM_SETSEL, 1, 2);
    EXPECT_EQ(edit->SelText(), "\xC3\xA9");
    SendMessage(edit->Handle(), EM_SETSEL, 6, -1);
    EXPECT_EQ(edit->WideSelText(), WideString(1, char16_t(0xDCE9))) << "-1: to the end";
    SendMessage(edit->Handle(), EM_SETSEL, WPARAM(-1), 0);
    EXPECT_EQ(edit->WideSelLength(), 0) << "-1: no selection";
    SendMessage(edit->Handle(), EM_SETSEL, 50, 60);
    EXPECT_EQ(edit->WideSelStart(), 7);
}

TEST_F(UnicodeControlsTest, APostedSelectionComesAfterTheMessageInProgress) {
    Focus();
    bool completing = false;
    edit->OnChange = [&](TObject*) {
        if (completing || Text() != u"/h\u00F6") return;
        // Completes what was typed and selects the added part, as an
        // auto-complete does.
        completing = true;
        edit->SetWideText(u"/h\u00F6me/\U0001F600");
        completing = false;
        edit->PostSelection(3, 5);
        EXPECT_EQ(edit->WideSelLength(), 0) << "not yet";
    };
    Key('/', U'/');
    Key('H', U'h');
    Key('O', U'\u00F6');
    EXPECT_EQ(Text(), u"/h\u00F6me/\U0001F600");
    EXPECT_EQ(edit->WideSelStart(), 3);
    EXPECT_EQ(edit->WideSelLength(), 5);
    EXPECT_EQ(edit->WideSelText(), u"me/\U0001F600");

    TCustomWideEdit bare(nullptr);
    bare.SetWideText(u"\u00E9t\u00E9");
    bare.PostSelection(1, 2);
    EXPECT_EQ(bare.WideSelText(), u"t\u00E9") << "no window: at once";
}

TEST_F(UnicodeControlsTest, TypesCharactersBeyondAsciiWhole) {
    Focus();
    Key('E', U'\u00E9');
    Key('G', U'\U0001D11E'); // two WM_CHAR units
    Key('X', U'x');
    Key('Z', U'\u20AC');
    EXPECT_EQ(Text(), u"\u00E9\U0001D11Ex\u20AC");
    EXPECT_EQ(edit->Text(), "\xC3\xA9\xF0\x9D\x84\x9Ex\xE2\x82\xAC");
    EXPECT_EQ(edit->WideSelStart(), 5) << "the caret after what was typed";
}

TEST_F(UnicodeControlsTest, TheCaretMovesByWholeCharacters) {
    Focus();
    edit->SetWideText(u"a\u00E9\U0001D11Eb");
    edit->SetWideSelStart(5);
    const int left[] = {4, 2, 1, 0, 0};
    for (int want : left) {
        Key(VK_LEFT);
        EXPECT_EQ(edit->WideSelStart(), want);
        EXPECT_EQ(edit->WideSelLength(), 0);
    }
    const int right[] = {1, 2, 4, 5, 5};
    for (int want : right) {
        Key(VK_RIGHT);
        EXPECT_EQ(edit->WideSelStart() + edit->WideSelLength(), want);
    }
    ShiftKey(VK_LEFT);
    ShiftKey(VK_LEFT);
    EXPECT_EQ(edit->WideSelText(), u"\U0001D11Eb");
    Key(VK_LEFT);
    EXPECT_EQ(edit->WideSelStart(), 2) << "collapses to the start";
    EXPECT_EQ(edit->WideSelLength(), 0);
    ShiftKey(VK_RIGHT);
    EXPECT_EQ(edit->WideSelText(), u"\U0001D11E");
}

TEST_F(UnicodeControlsTest, BackspaceAndDeleteRemoveWholeCharacters) {
    Focus();
    edit->SetWideText(u"a\u00E9\U0001D11Eb");
    edit->SetWideSelStart(4);
    Key(VK_BACK);
    EXPECT_EQ(Text(), u"a\u00E9b");
    EXPECT_EQ(edit->Text(), "a\xC3\xA9"
                            "b");
    Key(VK_BACK);
    EXPECT_EQ(Text(), u"ab");
    edit->SetWideText(u"\u00E9\U0001D11Ez");
    edit->SetWideSelStart(0);
    Key(VK_DELETE);
    EXPECT_EQ(Text(), u"\U0001D11Ez");
    Key(VK_DELETE);
    EXPECT_EQ(Text(), u"z");
    Key(VK_RIGHT);
    Key(VK_DELETE);
    EXPECT_EQ(Text(), u"z") << "nothing after the caret";
    // A byte that is not UTF-8 is one character.
    edit->SetText("x\xE9");
    edit->SetWideSelStart(2);
    Key(VK_BACK);
    EXPECT_EQ(edit->Text(), "x");
    // The edit's undo brings the character back whole.
    SendMessage(edit->Handle(), EM_UNDO);
    EXPECT_EQ(edit->Text(), "x\xE9");

    edit->SetWideText(u"\u00E9\u00E9");
    edit->SetReadOnly(true);
    edit->SetWideSelStart(1);
    Key(VK_BACK);
    Key(VK_DELETE);
    Key('E', U'\u00E9');
    EXPECT_EQ(Text(), u"\u00E9\u00E9") << "read-only";
}

TEST_F(UnicodeControlsTest, ACharacterThatDoesNotFitIsDroppedWhole) {
    Focus();
    edit->SetMaxLength(4);
    Key('A', U'a');
    Key('E', U'\u00E9');
    Key('G', U'\U0001D11E'); // four more bytes
    EXPECT_EQ(edit->Text(), "a\xC3\xA9");
    Key('X', U'x');
    EXPECT_EQ(edit->Text(), "a\xC3\xA9x");
}

TEST_F(UnicodeControlsTest, TypedCharactersFollowTheCharacterCase) {
    Focus();
    edit->SetCharCase(ecUpperCase);
    Key('E', U'\u00E9');
    EXPECT_EQ(Text(), u"\u00C9");
}

TEST_F(UnicodeControlsTest, ClicksPlaceTheCaretOnCharacterStarts) {
    edit->SetWideText(u"\u00E9\U0001D11E\u20ACa\u00E9");
    const AnsiString text = edit->Text();
    std::vector<int> starts{0, 2, 6, 9, 10, 12};
    for (int x = 0; x < 120; x += 3) {
        const POINT p = edit->ClientToScreen(POINT{x, 8});
        InjectClick(MouseButton::Left, p.x, p.y);
        clock.Advance(1000); // no double clicks
        app->ProcessMessages();
        EXPECT_NE(std::find(starts.begin(), starts.end(), edit->CaretPos()), starts.end())
            << "x " << x;
    }
    // A drag keeps both ends on character starts.
    const POINT a = edit->ClientToScreen(POINT{1, 8}), b = edit->ClientToScreen(POINT{40, 8});
    InjectMouseMove(a.x, a.y);
    InjectMouseButton(MouseButton::Left, true);
    InjectMouseMove(b.x, b.y);
    InjectMouseButton(MouseButton::Left, false);
    app->ProcessMessages();
    EXPECT_NE(std::find(starts.begin(), starts.end(), edit->SelStart()), starts.end());
    EXPECT_NE(std::find(starts.begin(), starts.end(), edit->SelStart() + edit->SelLength()),
              starts.end());
    EXPECT_EQ(Utf8ToWide(edit->SelText()), edit->WideSelText());
}

// ---- Caption holder and trap ----------------------------------------------------------------

TEST_F(UnicodeControlsTest, TheCaptionHolderKeepsAnyWideCaption) {
    auto* button = TComponent::Create<TButton>(form);
    button->SetParent(form);
    auto* holder = TComponent::Create<TWideCaptionHolder>(button);
    EXPECT_EQ(holder->Owner(), button);
    const WideString caption = u"Gr\u00FC\u00DFe " + WideString(1, char16_t(0xD800)) + u"!";
    holder->SetCaption(caption);
    EXPECT_EQ(holder->Caption(), caption)
        << "a lone surrogate has no 8-bit form and still comes back";
    EXPECT_EQ(button->Caption(), WideToUtf8(caption));
    button->SetCaption("plain");
    EXPECT_EQ(holder->Caption(), u"plain") << "changed elsewhere";

    TComponent notAControl(nullptr);
    EXPECT_THROW(TWideCaptionHolder bad(&notAControl), EAssertionFailed);
}

TEST_F(UnicodeControlsTest, TheTrapPassesEveryMessageOn) {
    Focus();
    {
        TWndProcTrap trap(edit->Handle());
        EXPECT_TRUE(trap.Installed());
        EXPECT_EQ(trap.Window(), edit->Handle());
        Key('E', U'\u00E9');
        Key('G', U'\U0001D11E');
        EXPECT_EQ(Text(), u"\u00E9\U0001D11E") << "typed characters arrive wide";
        EXPECT_EQ(GetWindowTextW(edit->Handle()), u"\u00E9\U0001D11E");
        EXPECT_EQ(SendMessage(edit->Handle(), WM_GETDLGCODE) & DLGC_WANTCHARS, DLGC_WANTCHARS);
    }
    Key('Z', U'\u20AC');
    EXPECT_EQ(Text(), u"\u00E9\U0001D11E\u20AC") << "the window works on without the trap";

    auto trap = std::make_unique<TWndProcTrap>(edit->Handle());
    edit->DestroyHandle();
    trap.reset(); // the window went first
    EXPECT_FALSE(TWndProcTrap(nullptr).Installed());
}

} // namespace
} // namespace ax
