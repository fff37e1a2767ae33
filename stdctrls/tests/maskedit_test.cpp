// The masked edit, from a table of masks and typed keys: what the window
// shows, what Text gives, and how many beeps the refused keys made.
#include "fixture.h"
#include "platform/window/sound.h"
#include "stdctrls/maskedit.h"

namespace ax {
namespace {

struct MaskCase {
    const char* mask;
    // Characters typed; {L} {R} {H} {E} are Left, Right, Home, End, {D}
    // Delete and {B} Backspace.
    const char* keys;
    const char* editText;
    const char* text;
    int beeps;
};

const MaskCase kCases[] = {
    {"!99/99/0000;1;_", "12312026", "12/31/2026", "12/31/2026", 0},
    {"!99/99/0000;1;_", "1a2", "12/__/____", "12/  /    ", 1},
    {"000;0;_", "12x", "12_", "12", 1},
    {">LL<ll;1;*", "abCD", "ABcd", "ABcd", 0},
    {">l<>l;1;_", "ab", "Ab", "Ab", 0},
    {"(999) 000-0000;0;_", "5551234567", "(555) 123-4567", "5551234567", 0},
    {"(999) 000-0000;0;_", "55{L}{L}9", "(95_) ___-____", "95", 0},
    {"00:00;1;_", "123{B}{B}", "1_:__", "1 :  ", 0},
    {"#99;0;_", "-5x", "-5_", "-5", 1},
    {"aaa;0;_", "a b", "a_b", "a b", 0},
    {"0000;1;_", "1234{H}{D}", "_234", " 234", 0},
    {"\\A00;1;_", "12", "A12", "A12", 0},
    {"LC;1;_", "1x!", "x!", "x!", 1},
    {"00;1;_", "123", "12", "12", 1},
    {"00-00;1;_", "1{E}{L}7", "1_-_7", "1 - 7", 0},
    {"", "abc", "abc", "abc", 0},
};

class MaskEditTest : public test::StdCtrlsTest {
protected:
    TMaskEdit* MakeEdit(const AnsiString& mask) {
        form = MakeForm();
        edit = TComponent::Create<TMaskEdit>(form);
        edit->SetParent(form);
        edit->SetBounds(10, 10, 150, 21);
        edit->SetEditMask(mask);
        edit->SetFocus();
        app->ProcessMessages();
        TakeSoundRequests();
        return edit;
    }
    void TypeKeys(const std::string& keys) {
        for (size_t i = 0; i < keys.size(); ++i) {
            if (keys[i] == '{' && i + 2 < keys.size() && keys[i + 2] == '}') {
                switch (keys[i + 1]) {
                case 'L': Key(VK_LEFT); break;
                case 'R': Key(VK_RIGHT); break;
                case 'H': Key(VK_HOME); break;
                case 'E': Key(VK_END); break;
                case 'D': Key(VK_DELETE); break;
                case 'B': Key(VK_BACK, U'\b'); break;
                }
                i += 2;
            } else {
                Type(std::string(1, keys[i]));
            }
        }
    }
    static int Beeps() {
        int n = 0;
        for (const SoundRequest& r : TakeSoundRequests()) n += r.kind == SoundRequest::Beep;
        return n;
    }
    TForm* form = nullptr;
    TMaskEdit* edit = nullptr;
};

TEST_F(MaskEditTest, TypedKeysGiveTheTextTheMaskDefines) {
    for (const MaskCase& c : kCases) {
        SCOPED_TRACE(std::string(c.mask) + " <- " + c.keys);
        MakeEdit(c.mask);
        ASSERT_TRUE(edit->Focused());
        TypeKeys(c.keys);
        EXPECT_EQ(edit->EditText(), c.editText);
        EXPECT_EQ(edit->Text(), c.text);
        EXPECT_EQ(Beeps(), c.beeps);
        delete form;
    }
}

TEST_F(MaskEditTest, CharactersBeyondAsciiTakeNoPlaceOfTheMask) {
    MakeEdit("999;0;_");
    Key(VK_PROCESSKEY, U'\u0663'); // a digit of another script
    TypeKeys("4");
    EXPECT_EQ(edit->EditText(), "4__");
    delete form;
    MakeEdit("");
    Key(VK_PROCESSKEY, U'\u0436');
    EXPECT_EQ(edit->Text(), "\xD0\xB6");
}

TEST_F(MaskEditTest, SettingTextPlacesItUnderTheMask) {
    MakeEdit("999;0;_");
    edit->SetText("7");
    EXPECT_EQ(edit->EditText(), "7__");
    edit->SetEditMask("!999;0;_");
    EXPECT_EQ(edit->EditText(), "__7");
    EXPECT_EQ(edit->Text(), "7");
    // Saved literals travel in the text; a character a position refuses
    // leaves it blank.
    edit->SetEditMask("00/00;1;_");
    edit->SetText("1x/34");
    EXPECT_EQ(edit->EditText(), "1_/34");
    // An edit text goes position by position, literals kept.
    edit->SetEditText("99x7");
    EXPECT_EQ(edit->EditText(), "99/7_");
    // Without a mask the text is the edit's own again.
    edit->SetEditMask("");
    EXPECT_EQ(edit->Text(), "99/7 ");
}

TEST_F(MaskEditTest, EscapeAbandonsTheChanges) {
    MakeEdit("000;1;_");
    edit->SetText("123");
    edit->SelectAll();
    Type("9");
    EXPECT_EQ(edit->EditText(), "9__");
    EXPECT_TRUE(edit->Modified());
    Key(VK_ESCAPE, U'\x1b');
    EXPECT_EQ(edit->Text(), "123");
    EXPECT_FALSE(edit->Modified());
}

TEST_F(MaskEditTest, LeavingWithAnUnfilledRequiredPositionKeepsTheFocus) {
    MakeEdit("00/00;1;_");
    TEdit* other = TComponent::Create<TEdit>(form);
    other->SetParent(form);
    other->SetBounds(10, 40, 150, 21);
    Type("123");
    EXPECT_EQ(edit->EditText(), "12/3_");
    try {
        edit->ValidateEdit();
        ADD_FAILURE() << "12/3_ passed";
    } catch (const EDBEditError& e) {
        EXPECT_STREQ(e.what(), "Invalid input value.  Use escape key to abandon changes");
    }
    EXPECT_EQ(edit->CaretPos(), 4);
    EXPECT_EQ(Beeps(), 1);

    // Tab away: the error is shown and the field keeps the focus.
    Key(VK_TAB, U'\t');
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "Invalid input value.  Use escape key to abandon changes.");
    shown.clear();
    EXPECT_TRUE(edit->Focused());
    EXPECT_EQ(edit->CaretPos(), 4);

    Type("4");
    EXPECT_NO_THROW(edit->ValidateEdit());
    Key(VK_TAB, U'\t');
    EXPECT_TRUE(other->Focused());
    EXPECT_TRUE(shown.empty());
}

TEST_F(MaskEditTest, AnUntouchedFieldIsNotJudgedOnLeaving) {
    MakeEdit("00/00;1;_");
    TEdit* other = TComponent::Create<TEdit>(form);
    other->SetParent(form);
    other->SetBounds(10, 40, 150, 21);
    Key(VK_TAB, U'\t');
    EXPECT_TRUE(other->Focused());
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(edit->Text(), "  /  ");
}

} // namespace
} // namespace ax
