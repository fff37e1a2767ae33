// A sort grid holding Hebrew and Arabic names on a right-to-left form, and
// its left-to-right twin, on a real display under a window manager with
// real X input: clicked, keyed through, scrolled to the end and back, and
// sorted by a title click. rtl_grid_x11.png and ltr_grid_x11.png are the
// two after the sort.
#include "controls/SortGrid.h"
#include "x11_program.h"

namespace ax {
namespace {

// Key symbols (X11/keysym.h stays out: its macros clash with ours).
constexpr unsigned long kXK_Left = 0xFF51, kXK_Right = 0xFF53, kXK_Home = 0xFF50, kXK_End = 0xFF57;

// Hebrew sorts before Arabic (by code point): after the sort column 1
// reads alef, bet, gimel, then alif, ba, ta.
const char* const kNames[] = {"גשם", "باب", "אור", "تفاح", "בית", "اسم"};
const char* const kSorted[] = {"אור", "בית", "גשם", "اسم", "باب", "تفاح"};
const char* const kNotes[] = {"קובץ 12", "ملف 3", "תיקייה", "مجلد", "גיבוי 7", "نسخة"};

class X11RtlGridTest : public test::X11FormTest, public ::testing::WithParamInterface<bool> {
protected:
    bool RightToLeft() const { return GetParam(); }
    TForm* Build(TApplication& app) override {
        TForm* form = app.CreateForm<TForm>();
        form->SetCaption(RightToLeft() ? "Right to left" : "Left to right");
        form->SetBorderStyle(bsSingle);
        form->SetBounds(40, 40, 0, 0);
        form->SetClientSize(320, 200);
        // The grid follows its form's mode.
        if (RightToLeft()) form->SetBiDiMode(bdRightToLeft);
        grid = TComponent::Create<TSortGrid>(form);
        grid->SetBounds(8, 8, 304, 184);
        grid->SetColCount(6);
        grid->SetRowCount(7);
        grid->SetDefaultColWidth(90);
        grid->SetFixedCols(1);
        grid->SetColWidths(0, 30);
        grid->SortOptions().CanSort = true;
        grid->SetParent(form);
        const char* titles[] = {"#", "שם / اسم", "הערה / ملاحظة", "C", "D", "E"};
        for (int c = 0; c < 6; ++c) grid->SetCells(c, 0, titles[c]);
        for (int r = 1; r <= 6; ++r) {
            grid->SetCells(0, r, std::to_string(r));
            grid->SetCells(1, r, kNames[r - 1]);
            grid->SetCells(2, r, kNotes[r - 1]);
        }
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
    TGridCoord Current() {
        return program->Get<TGridCoord>([&] { return TGridCoord{grid->Col(), grid->Row()}; });
    }
    int HorzPos() {
        return program->Get<int>([&] { return GetScrollPos(grid->Handle(), SB_HORZ); });
    }

    TSortGrid* grid = nullptr;
};

TEST_P(X11RtlGridTest, ClickedKeyedScrolledAndSorted) {
    ASSERT_EQ(program->Get<bool>([&] { return grid->RightToLeftLayout(); }), RightToLeft());
    // Column 2 lies left of column 1 right to left, right of it otherwise.
    EXPECT_EQ(CellPoint(2, 2).x < CellPoint(1, 2).x, RightToLeft());
    Click(CellPoint(2, 2));
    ASSERT_TRUE(Until([&] { return grid->Col() == 2 && grid->Row() == 2; })) << "the click did not reach the cell";

    // Left moves on in reading order: to column 3 right to left, back to 1
    // left to right.
    server.KeyStroke(kXK_Left);
    const int afterLeft = RightToLeft() ? 3 : 1;
    EXPECT_TRUE(Until([&] { return grid->Col() == afterLeft; })) << "Left: column " << Current().X;
    server.KeyStroke(kXK_Right);
    EXPECT_TRUE(Until([&] { return grid->Col() == 2; })) << "Right: column " << Current().X;

    // End scrolls the last column in: the bar's thumb at its far end, which
    // is the left one right to left.
    server.KeyStroke(kXK_End);
    EXPECT_TRUE(Until([&] { return grid->Col() == 5 && grid->LeftCol() > 1; })) << "End: column " << Current().X;
    EXPECT_EQ(HorzPos(), RightToLeft() ? 0 : 127);
    Shot(program->formWindow(), RightToLeft() ? "rtl_grid_x11_end" : "ltr_grid_x11_end");
    server.KeyStroke(kXK_Home);
    EXPECT_TRUE(Until([&] { return grid->Col() == 1 && grid->LeftCol() == 1; }))
        << "Home: column " << Current().X << ", left column " << program->Get<int>([&] { return grid->LeftCol(); });
    EXPECT_EQ(HorzPos(), RightToLeft() ? 127 : 0);

    // A click on the names' title sorts by them, whole rows moving.
    Click(CellPoint(1, 0));
    EXPECT_TRUE(Until([&] {
        for (int r = 1; r <= 6; ++r)
            if (grid->Cells(1, r) != kSorted[r - 1]) return false;
        return true;
    })) << "not sorted: row 1 holds " << program->Get<std::string>([&] { return grid->Cells(1, 1); });
    // The row of "אור" (3) came along.
    EXPECT_EQ(program->Get<std::string>([&] { return grid->Cells(0, 1) + grid->Cells(2, 1); }), "3תיקייה");
    Shot(program->formWindow(), RightToLeft() ? "rtl_grid_x11" : "ltr_grid_x11");
}

INSTANTIATE_TEST_SUITE_P(Twins, X11RtlGridTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "RightToLeft" : "LeftToRight";
                         });

} // namespace
} // namespace ax
