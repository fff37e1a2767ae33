// Masks typed with real X input under a window manager: a date column of a
// sort grid and an edit with a button that both take "!99/99/0000;1;_".
// masks_x11.png shows the typed date in the cell and in the edit.
#include "controls/ComboEdit.h"
#include "controls/SortGrid.h"
#include "platform/window/sound.h"
#include "x11_program.h"

namespace ax {
namespace {

constexpr const char* kDateMask = "!99/99/0000;1;_";
constexpr unsigned long kXK_Return = 0xFF0D;

class X11MasksTest : public test::X11FormTest {
protected:
    TForm* Build(TApplication& app) override {
        TForm* form = app.CreateForm<TForm>();
        form->SetCaption("Masks");
        form->SetBorderStyle(bsSingle);
        form->SetBounds(40, 40, 0, 0);
        form->SetClientSize(320, 200);
        grid = TComponent::Create<TSortGrid>(form);
        grid->SetBounds(8, 8, 304, 140);
        grid->SetColCount(3);
        grid->SetRowCount(6);
        grid->SetColWidths(1, 120);
        grid->SetOptions(grid->Options() | goEditing);
        grid->SetParent(form);
        grid->SetCells(0, 0, "Name");
        grid->SetCells(1, 0, "Date");
        grid->OnGetEditMask = [](TObject*, int col, int, AnsiString& value) {
            if (col == 1) value = kDateMask;
        };
        edit = TComponent::Create<TComboEdit>(form);
        edit->SetBounds(8, 160, 160, 21);
        edit->SetEditMask(kDateMask);
        edit->SetParent(form);
        form->DoCreate();
        form->Show();
        form->SetClientSize(320, 200);
        grid->SetFocus();
        return form;
    }
    POINT CellPoint(int col, int row) {
        return program->Get<POINT>([=, this] {
            const RECT r = grid->CellRect(col, row);
            return grid->ClientToScreen(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
        });
    }
    int Beeps() {
        return program->Get<int>([] {
            int n = 0;
            for (const SoundRequest& r : TakeSoundRequests()) n += r.kind == SoundRequest::Beep;
            return n;
        });
    }

    TSortGrid* grid = nullptr;
    TComboEdit* edit = nullptr;
};

TEST_F(X11MasksTest, DatesAreTypedThroughTheirMask) {
    Click(CellPoint(1, 1));
    ASSERT_TRUE(Until([&] { return grid->Row() == 1 && grid->Col() == 1; })) << "the click did not reach the cell";
    Beeps();
    server.Type("12a312026");
    server.KeyStroke(kXK_Return);
    EXPECT_TRUE(Until([&] { return grid->Cells(1, 1) == "12/31/2026" && !grid->EditorMode(); }))
        << "the cell holds \"" << program->Get<std::string>([&] { return grid->Cells(1, 1); }) << "\"";
    EXPECT_EQ(Beeps(), 1) << "the letter was not refused with a beep";

    // The edit with a button: clicked at its left end, the caret starts at
    // the first position.
    Click(program->Get<POINT>([&] { return edit->ClientToScreen(POINT{2, 10}); }));
    ASSERT_TRUE(Until([&] { return edit->Focused(); })) << "the click did not focus the edit";
    server.Type("0x704b1999");
    EXPECT_TRUE(Until([&] { return edit->Text() == "07/04/1999"; }))
        << "the edit holds \"" << program->Get<std::string>([&] { return edit->EditText(); }) << "\"";
    EXPECT_EQ(Beeps(), 2);
    Shot(program->formWindow(), "masks_x11");
}

} // namespace
} // namespace ax
