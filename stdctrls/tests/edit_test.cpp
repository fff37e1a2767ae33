// Edit and memo: typing, selection, keyboard editing, clipboard, read-only,
// maximum length, the formatting rectangle and change notification.
#include "fixture.h"
#include "platform/window/ime.h"
#include "stdctrls/edit.h"
#include "stdctrls/messages.h"

namespace ax {
namespace {

class EditTest : public test::StdCtrlsTest {
protected:
    TEdit* MakeEdit() {
        form = MakeForm();
        edit = TComponent::Create<TEdit>(form);
        edit->SetParent(form);
        edit->SetBounds(10, 10, 150, 21);
        edit->OnChange = [this](TObject*) { ++changes; };
        edit->SetFocus();
        app->ProcessMessages();
        return edit;
    }
    TForm* form = nullptr;
    TEdit* edit = nullptr;
    int changes = 0;
};

TEST_F(EditTest, TypingSelectingAndDeletingWithTheKeyboard) {
    MakeEdit();
    ASSERT_TRUE(edit->Focused());
    Type("hello");
    EXPECT_EQ(edit->Text(), "hello");
    EXPECT_EQ(changes, 5);
    EXPECT_EQ(edit->SelStart(), 5);
    EXPECT_TRUE(edit->Modified());

    // Shift+Left twice selects "lo", the caret at its start.
    Chord(VK_SHIFT, VK_LEFT);
    Chord(VK_SHIFT, VK_LEFT);
    EXPECT_EQ(edit->SelStart(), 3);
    EXPECT_EQ(edit->SelLength(), 2);
    EXPECT_EQ(edit->SelText(), "lo");
    EXPECT_EQ(edit->CaretPos(), 3);

    // Typing replaces the selection: one change.
    Type("p");
    EXPECT_EQ(edit->Text(), "help");
    EXPECT_EQ(changes, 6);

    Key(VK_HOME);
    EXPECT_EQ(edit->SelStart(), 0);
    Key(VK_DELETE);
    EXPECT_EQ(edit->Text(), "elp");
    Key(VK_END);
    Key(VK_BACK, U'\b');
    EXPECT_EQ(edit->Text(), "el");
    EXPECT_EQ(changes, 8);

    // Moves and selections alone change nothing.
    Chord(VK_SHIFT, VK_HOME);
    EXPECT_EQ(edit->SelLength(), 2);
    Key(VK_RIGHT); // collapses to the selection's end
    EXPECT_EQ(edit->SelStart(), 2);
    EXPECT_EQ(edit->SelLength(), 0);
    Key(VK_LEFT);
    EXPECT_EQ(edit->SelStart(), 1);
    EXPECT_EQ(changes, 8);

    // Deleting at the ends does nothing and reports nothing.
    Key(VK_END);
    Key(VK_DELETE);
    Key(VK_HOME);
    Key(VK_BACK, U'\b');
    EXPECT_EQ(edit->Text(), "el");
    EXPECT_EQ(changes, 8);
}

TEST_F(EditTest, CharactersBeyondAsciiAreKeptAsUtf8) {
    MakeEdit();
    Type("a");
    Key(VK_PROCESSKEY, U'\u00E9');
    Key(VK_PROCESSKEY, U'\u0436');
    Key(VK_PROCESSKEY, U'\U0001D11E'); // two units
    EXPECT_EQ(edit->Text(), "a\xC3\xA9\xD0\xB6\xF0\x9D\x84\x9E");
    EXPECT_EQ(changes, 4);

    // Half a character is dropped, and a first half is not kept past a
    // character of its own.
    SendMessage(edit->Handle(), WM_CHAR, 0xDD1E, 0);
    SendMessage(edit->Handle(), WM_CHAR, 0xD834, 0);
    SendMessage(edit->Handle(), WM_CHAR, 'b', 0);
    SendMessage(edit->Handle(), WM_CHAR, 0xDD1E, 0);
    EXPECT_EQ(edit->Text(), "a\xC3\xA9\xD0\xB6\xF0\x9D\x84\x9E" "b");
}

TEST_F(EditTest, ImeModeAndNameReachTheWindowAndOutliveIt) {
    MakeEdit();
    EXPECT_EQ(edit->ImeMode(), imDontCare);
    EXPECT_EQ(GetImeUse(edit->Handle()), ImeUse::Default);
    edit->SetImeMode(imDisable);
    EXPECT_EQ(GetImeUse(edit->Handle()), ImeUse::Disabled);
    edit->SetImeMode(imClose);
    EXPECT_EQ(GetImeUse(edit->Handle()), ImeUse::Closed);
    edit->SetImeMode(imHira); // a script mode asks for composing
    EXPECT_EQ(GetImeUse(edit->Handle()), ImeUse::Open);
    edit->SetImeName("ibus");
    EXPECT_EQ(GetImeName(edit->Handle()), "ibus");

    // A new window gets the settings again.
    edit->SetImeMode(imDisable);
    edit->RecreateWnd();
    EXPECT_EQ(GetImeUse(edit->Handle()), ImeUse::Disabled);
    EXPECT_EQ(GetImeName(edit->Handle()), "ibus");

    // Set before the window exists, they wait for it.
    auto* later = TComponent::Create<TEdit>(form);
    later->SetImeMode(imOpen);
    later->SetParent(form);
    EXPECT_EQ(GetImeUse(later->Handle()), ImeUse::Open);
}

TEST_F(EditTest, ClipboardCopyCutAndPaste) {
    MakeEdit();
    Type("abcdef");
    Chord(VK_SHIFT, VK_LEFT);
    Chord(VK_SHIFT, VK_LEFT);
    Chord(VK_CONTROL, 'C');
    EXPECT_EQ(GetClipboardText().value_or(""), "ef");
    EXPECT_EQ(edit->Text(), "abcdef");
    Key(VK_HOME);
    Chord(VK_SHIFT, VK_RIGHT);
    Chord(VK_CONTROL, 'X');
    EXPECT_EQ(GetClipboardText().value_or(""), "a");
    EXPECT_EQ(edit->Text(), "bcdef");
    Key(VK_END);
    Chord(VK_CONTROL, 'V');
    EXPECT_EQ(edit->Text(), "bcdefa");
    EXPECT_EQ(edit->SelStart(), 6);
    EXPECT_EQ(changes, 6 + 2);
    // A single line takes only the first line of the clipboard.
    SetClipboardText("xy\r\nsecond");
    Chord(VK_CONTROL, 'V');
    EXPECT_EQ(edit->Text(), "bcdefaxy");
    // Copying nothing leaves the clipboard alone.
    Chord(VK_CONTROL, 'C');
    EXPECT_EQ(GetClipboardText().value_or(""), "xy\r\nsecond");
}

TEST_F(EditTest, ReadOnlyRefusesEditingButCopies) {
    MakeEdit();
    edit->SetText("fixed");
    changes = 0;
    edit->SetReadOnly(true);
    Type("zz");
    Key(VK_BACK, U'\b');
    Key(VK_HOME);
    Key(VK_DELETE);
    EXPECT_EQ(edit->Text(), "fixed");
    Chord(VK_SHIFT, VK_END);
    Chord(VK_CONTROL, 'X');
    EXPECT_EQ(edit->Text(), "fixed");
    Chord(VK_CONTROL, 'C');
    EXPECT_EQ(GetClipboardText().value_or(""), "fixed");
    SetClipboardText("other");
    Chord(VK_CONTROL, 'V');
    EXPECT_EQ(edit->Text(), "fixed");
    EXPECT_EQ(changes, 0);
    EXPECT_FALSE(edit->Modified());
    // The program may still change it.
    edit->SelectAll();
    edit->Perform(EM_REPLACESEL, 0, reinterpret_cast<LPARAM>("new"));
    EXPECT_EQ(edit->Text(), "new");
    EXPECT_EQ(changes, 1);
    EXPECT_NE(GetWindowLongPtr(edit->Handle(), GWL_STYLE) & ES_READONLY, 0);
}

TEST_F(EditTest, MaximumLengthLimitsTypingAndPasting) {
    MakeEdit();
    edit->SetMaxLength(4);
    Type("abcdef");
    EXPECT_EQ(edit->Text(), "abcd");
    EXPECT_EQ(changes, 4);
    Key(VK_HOME);
    Chord(VK_SHIFT, VK_RIGHT);
    SetClipboardText("XYZ");
    Chord(VK_CONTROL, 'V'); // one character free: the paste is cut to it
    EXPECT_EQ(edit->Text(), "Xbcd");
    EXPECT_EQ(edit->Perform(EM_GETLIMITTEXT), 4);
    // Setting the text is not limited.
    edit->SetText("longer text");
    EXPECT_EQ(edit->Text(), "longer text");
    EXPECT_FALSE(edit->Modified());
}

TEST_F(EditTest, SelectionMessagesAndFormattingRectangle) {
    MakeEdit();
    edit->SetText("0123456789");
    edit->Perform(EM_SETSEL, 2, 5);
    DWORD start = 0, end = 0;
    const LRESULT packed = edit->Perform(EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 2u);
    EXPECT_EQ(end, 5u);
    EXPECT_EQ(packed, MAKELPARAM(2, 5));
    edit->Perform(EM_SETSEL, 3, -1);
    EXPECT_EQ(edit->SelText(), "3456789");
    edit->Perform(EM_SETSEL, WPARAM(-1), 0);
    EXPECT_EQ(edit->SelLength(), 0);

    RECT r{0, 0, 60, 18};
    edit->Perform(EM_SETRECTNP, 0, reinterpret_cast<LPARAM>(&r));
    RECT back{};
    edit->Perform(EM_GETRECT, 0, reinterpret_cast<LPARAM>(&back));
    EXPECT_EQ(back, r);
    // The caret stays inside the rectangle: with 7-pixel characters the
    // end of ten characters (70) scrolls the text left.
    edit->Perform(EM_SETSEL, 10, 10);
    const LRESULT at = edit->Perform(EM_POSFROMCHAR, 10);
    EXPECT_LT(GET_X_LPARAM(at), 60);
    EXPECT_GE(GET_X_LPARAM(at), 0);
    edit->Perform(EM_SETSEL, 0, 0);
    EXPECT_EQ(GET_X_LPARAM(edit->Perform(EM_POSFROMCHAR, 0)), 0);
    EXPECT_EQ(GET_X_LPARAM(edit->Perform(EM_POSFROMCHAR, 3)), 21);
}

TEST_F(EditTest, SetTextResetsSelectionAndReportsOnce) {
    MakeEdit();
    edit->SetText("abc");
    EXPECT_EQ(changes, 1);
    edit->SetText("abc");
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(edit->SelStart(), 0);
    edit->SetCharCase(ecUpperCase);
    EXPECT_EQ(edit->Text(), "ABC");
    Key(VK_END);
    Type("d");
    EXPECT_EQ(edit->Text(), "ABCD");
}

TEST_F(EditTest, MemoKeepsLinesAndScrollsToTheCaret) {
    TForm* f = MakeForm();
    auto* memo = TComponent::Create<TMemo>(f);
    memo->SetParent(f);
    memo->SetBounds(10, 10, 150, 4 * 13 + 6); // four lines of the test font
    TStringList lines;
    for (int i = 0; i < 10; ++i) lines.Add("line " + std::to_string(i));
    memo->SetLines(lines);
    EXPECT_EQ(memo->Lines().Count(), 10);
    EXPECT_EQ(memo->Lines()[9], "line 9");
    memo->SetFocus();
    app->ProcessMessages();
    Chord(VK_CONTROL, VK_END);
    EXPECT_EQ(memo->Perform(EM_LINEFROMCHAR, WPARAM(-1)), 10);
    EXPECT_EQ(memo->Perform(EM_GETFIRSTVISIBLELINE), 7);
    Chord(VK_CONTROL, VK_HOME);
    EXPECT_EQ(memo->Perform(EM_GETFIRSTVISIBLELINE), 0);
    Key(VK_DOWN);
    Key(VK_END);
    Key(VK_RETURN, U'\r');
    Type("x");
    EXPECT_EQ(memo->Lines()[1], "line 1");
    EXPECT_EQ(memo->Lines()[2], "x");
    // Backspace at a line start joins the lines (the CR LF goes as one).
    Key(VK_HOME);
    Key(VK_BACK, U'\b');
    EXPECT_EQ(memo->Lines()[1], "line 1x");
    memo->SetReadOnly(true);
    Key(VK_RETURN, U'\r');
    EXPECT_EQ(memo->Lines()[1], "line 1x");
}

// The memo keeps its line starts between edits: every kind of edit must
// show in the lines asked for right after it.
TEST_F(EditTest, MemoLinesFollowEveryEdit) {
    TForm* f = MakeForm();
    auto* memo = TComponent::Create<TMemo>(f);
    memo->SetParent(f);
    memo->SetBounds(10, 10, 200, 8 * 13 + 6);
    auto lineOf = [&](int pos) { return int(memo->Perform(EM_LINEFROMCHAR, WPARAM(pos))); };
    auto lineStart = [&](int line) { return int(memo->Perform(EM_LINEINDEX, WPARAM(line))); };
    auto lineCount = [&] { return int(memo->Perform(EM_GETLINECOUNT)); };
    auto column = [&](int pos) { return pos - lineStart(lineOf(pos)); };

    memo->SetText("ab\r\ncd\r\n\r\nefg");
    EXPECT_EQ(lineCount(), 4);
    EXPECT_EQ(lineOf(0), 0);
    EXPECT_EQ(lineOf(4), 1);
    EXPECT_EQ(lineOf(8), 2);
    EXPECT_EQ(lineOf(11), 3);
    EXPECT_EQ(column(11), 1);
    EXPECT_EQ(lineStart(3), 10);
    EXPECT_EQ(memo->Perform(EM_LINELENGTH, 10), 3);
    // Three lines of the test font down: y = 1 + 3 * 13; x = 1 + 7.
    EXPECT_EQ(memo->Perform(EM_POSFROMCHAR, 11), MAKELPARAM(8, 40));

    // A new text: one line only.
    memo->SetText("xyz");
    EXPECT_EQ(lineCount(), 1);
    EXPECT_EQ(lineOf(3), 0);
    EXPECT_EQ(lineStart(1), -1);

    // Inserted line breaks.
    memo->SetSelStart(1);
    memo->SetSelText("1\r\n22\r\n");
    EXPECT_EQ(memo->Text(), "x1\r\n22\r\nyz");
    EXPECT_EQ(lineCount(), 3);
    EXPECT_EQ(lineStart(1), 4);
    EXPECT_EQ(lineStart(2), 8);
    EXPECT_EQ(lineOf(9), 2);
    EXPECT_EQ(column(9), 1);

    // A deleted line break joins two lines.
    memo->SetSelStart(2);
    memo->SetSelLength(2);
    memo->ClearSelection();
    EXPECT_EQ(memo->Text(), "x122\r\nyz");
    EXPECT_EQ(lineCount(), 2);
    EXPECT_EQ(lineStart(1), 6);
    EXPECT_EQ(lineOf(5), 0);
    EXPECT_EQ(column(5), 5);

    // Undone: the break is back.
    memo->Undo();
    EXPECT_EQ(memo->Text(), "x1\r\n22\r\nyz");
    EXPECT_EQ(lineCount(), 3);
    EXPECT_EQ(lineStart(2), 8);

    // A bare line feed breaks a line too.
    memo->SetSelStart(0);
    memo->SetSelText("\n");
    EXPECT_EQ(lineCount(), 4);
    EXPECT_EQ(lineStart(1), 1);
    EXPECT_EQ(lineOf(1), 1);

    // The text set through the plain control setter.
    memo->TControl::SetText("a\r\nb\r\nc\r\nd");
    EXPECT_EQ(lineCount(), 4);
    EXPECT_EQ(lineStart(3), 9);
    EXPECT_EQ(memo->Lines()[3], "d");
}

// A long text given in pieces: the lines and the window's text follow each
// piece, a CR LF split between two pieces breaks one line, and the caret and
// what undo brings back stay.
TEST_F(EditTest, MemoTextAppendedInPieces) {
    TForm* f = MakeForm();
    auto* memo = TComponent::Create<TMemo>(f);
    memo->SetParent(f);
    memo->SetBounds(10, 10, 200, 8 * 13 + 6);
    int changes = 0;
    memo->OnChange = [&](TObject*) { ++changes; };
    auto lineStart = [&](int line) { return int(memo->Perform(EM_LINEINDEX, WPARAM(line))); };
    auto lineCount = [&] { return int(memo->Perform(EM_GETLINECOUNT)); };

    memo->SetText("ab");
    memo->SetSelStart(1);
    memo->SetSelText("X"); // undo now brings back "ab"
    EXPECT_EQ(lineCount(), 1);
    changes = 0;
    memo->AppendText("c\r");
    memo->AppendText("\nde\nf");
    memo->AppendText("");
    EXPECT_EQ(memo->Text(), "aXbc\r\nde\nf");
    EXPECT_EQ(GetWindowText(memo->Handle()), "aXbc\r\nde\nf");
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(lineCount(), 3);
    EXPECT_EQ(lineStart(1), 6);
    EXPECT_EQ(lineStart(2), 9);
    EXPECT_EQ(memo->Lines()[1], "de");
    EXPECT_EQ(memo->SelStart(), 2);
    memo->Undo();
    EXPECT_EQ(memo->Text(), "ab");

    memo->SetCharCase(ecUpperCase);
    memo->AppendText("\r\nxy");
    EXPECT_EQ(memo->Text(), "AB\r\nXY");
    EXPECT_EQ(lineCount(), 2);
    EXPECT_EQ(lineStart(1), 4);
}

} // namespace
} // namespace ax
