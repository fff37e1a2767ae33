// Masked cells of the grid and the masked edit with a button: what typing
// leaves in the cell or the edit, the literals kept and the letters refused
// with a beep.
#include "controls/ComboEdit.h"
#include "controls/MyStringGrid.h"
#include "grid_fixture.h"
#include "platform/window/sound.h"

namespace ax {
namespace {

using namespace test;

constexpr const char* kDateMask = "!99/99/0000;1;_";

int Beeps() {
    int n = 0;
    for (const SoundRequest& r : TakeSoundRequests()) n += r.kind == SoundRequest::Beep;
    return n;
}

class MaskedCellsTest : public GridTest {
protected:
    // Column 2 holds dates; the others take any text.
    TMyStringGrid* DateGrid() {
        TMyStringGrid* g = MakeGrid(330, 130);
        g->SetOptions(g->Options() | goEditing);
        g->OnGetEditMask = [](TObject*, int col, int, AnsiString& value) {
            if (col == 2) value = kDateMask;
        };
        g->SetFocus();
        Pump();
        TakeSoundRequests();
        return g;
    }
};

TEST_F(MaskedCellsTest, TypingIntoADateCellKeepsTheLiteralsAndRefusesLetters) {
    TMyStringGrid* g = DateGrid();
    g->SetCol(2);
    Type("12a312026");
    ASSERT_TRUE(g->EditorMode());
    EXPECT_EQ(g->InplaceEditor()->EditMask(), kDateMask);
    EXPECT_EQ(g->InplaceEditor()->EditText(), "12/31/2026");
    EXPECT_EQ(g->Cells(2, 1), "12/31/2026");
    EXPECT_EQ(Beeps(), 1);
    Key(VK_DOWN);
    // Half typed: the unfilled positions are spaces in the cell.
    Type("0704");
    EXPECT_EQ(g->Cells(2, 2), "07/04/    ");
    EXPECT_EQ(Beeps(), 0);

    // The next column has no mask: letters go in as typed.
    Key(VK_ESCAPE);
    g->SetCol(3);
    Type("ab");
    EXPECT_EQ(g->InplaceEditor()->EditMask(), "");
    EXPECT_EQ(g->Cells(3, 2), "ab");
    EXPECT_EQ(Beeps(), 0);
}

TEST_F(MaskedCellsTest, TheCaretOfAMaskedCellSkipsTheLiterals) {
    TMyStringGrid* g = DateGrid();
    g->SetCells(2, 1, "01/02/2003");
    g->SetCol(2);
    Key(VK_RETURN);
    ASSERT_TRUE(g->EditorMode());
    TInplaceEdit* e = g->InplaceEditor();
    EXPECT_EQ(e->EditText(), "01/02/2003");
    Key(VK_HOME);
    Key(VK_RIGHT);
    Key(VK_RIGHT);
    EXPECT_EQ(e->CaretPos(), 3);
    Type("9");
    EXPECT_EQ(g->Cells(2, 1), "01/92/2003");
    EXPECT_EQ(e->CaretPos(), 4);
    Key(VK_BACK, U'\b');
    Key(VK_BACK, U'\b');
    EXPECT_EQ(e->CaretPos(), 1);
    EXPECT_EQ(g->Cells(2, 1), "0 / 2/2003");
}

class MaskedComboEditTest : public GridTest {};

TEST_F(MaskedComboEditTest, TypingFollowsTheMaskAndTheButtonStillWorks) {
    TForm* f = MakeForm();
    TComboEdit* edit = TComponent::Create<TComboEdit>(f);
    edit->SetBounds(20, 20, 160, 21);
    edit->SetParent(f);
    edit->SetEditMask(kDateMask);
    int clicks = 0;
    edit->OnButtonClick = [&](TObject*) { ++clicks; };
    edit->SetFocus();
    Pump();
    TakeSoundRequests();
    EXPECT_EQ(edit->EditText(), "__/__/____");
    Type("1x2312026");
    EXPECT_EQ(edit->Text(), "12/31/2026");
    EXPECT_EQ(Beeps(), 1);
    Chord(VK_MENU, VK_DOWN);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(edit->Text(), "12/31/2026");
    // Not typable: the mask does not let typing in.
    edit->SetDirectInput(false);
    Type("0");
    EXPECT_EQ(edit->Text(), "12/31/2026");
}

} // namespace
} // namespace ax
