// A right-to-left grid: column 0 at the right, clicks, keys, column sizing
// and the horizontal scroll bar mirrored, the same painting mirrored, and a
// cell-drawing handler given the cell where the window shows it. The grid
// is 330 x 130 without border: the 5 x 5 default cells (64 x 24 plus a
// line) lie at x 0..324 left to right, so right to left a cell from l to r
// shows from 330 - r to 330 - l.
#include "controls/MyDrawGrid.h"
#include "grid_fixture.h"

namespace ax {
namespace {

using namespace test;

constexpr COLORREF kRed = RGB(255, 0, 0);

class GridRtlTest : public GridTest {
protected:
    template <class G = TMyStringGrid> G* RtlGrid(int width = 330, int height = 130, TScrollStyle bars = ssNone) {
        G* g = MakeGrid<G>(width, height, bars);
        g->SetBiDiMode(bdRightToLeft);
        g->SetFocus();
        Pump();
        return g;
    }
};

TEST_F(GridRtlTest, ClicksHitTheMirroredColumn) {
    TMyStringGrid* g = RtlGrid();
    EXPECT_TRUE(g->RightToLeftLayout());
    EXPECT_EQ(g->CellRect(0, 0), (RECT{266, 0, 330, 24}));
    EXPECT_EQ(g->CellRect(1, 1), (RECT{201, 25, 265, 49}));
    EXPECT_EQ(g->MouseCoord(300, 12), (TGridCoord{0, 0}));
    EXPECT_EQ(g->MouseCoord(10, 30), (TGridCoord{4, 1}));
    // x 330 - 265 = 65 starts column 1; 266 is 64, the line after column 0.
    EXPECT_EQ(g->MouseCoord(265, 30), (TGridCoord{1, 1}));
    EXPECT_EQ(g->MouseCoord(266, 30), (TGridCoord{0, 1}));
    // Left of the last column (330 - 5 = 325, past its line): no cell.
    EXPECT_EQ(g->MouseCoord(5, 30), (TGridCoord{-1, -1}));
    ClickCell(g, 3, 2);
    EXPECT_EQ(g->Col(), 3);
    EXPECT_EQ(g->Row(), 2);
    Click(g, 70, 80); // 330 - 70 = 260: column 4, row 3
    EXPECT_EQ(g->Col(), 4);
    EXPECT_EQ(g->Row(), 3);
}

TEST_F(GridRtlTest, LeftGoesOnToTheNextColumnAndRightBack) {
    TMyStringGrid* g = RtlGrid();
    EXPECT_EQ(g->Col(), 1);
    Key(VK_LEFT);
    EXPECT_EQ(g->Col(), 2);
    Key(VK_LEFT);
    Key(VK_LEFT);
    Key(VK_LEFT); // stops at the last column
    EXPECT_EQ(g->Col(), 4);
    Key(VK_RIGHT);
    EXPECT_EQ(g->Col(), 3);
    Key(VK_HOME);
    Key(VK_RIGHT); // stops at the first scrolling column
    EXPECT_EQ(g->Col(), 1);
    g->SetOptions(g->Options() | goRowSelect);
    Key(VK_LEFT);
    EXPECT_EQ(g->Row(), 2);
    Key(VK_RIGHT);
    EXPECT_EQ(g->Row(), 1);
    // Back to left to right: the keys are the usual ones again.
    g->SetBiDiMode(bdRightToLeftNoAlign);
    EXPECT_FALSE(g->RightToLeftLayout());
    Key(VK_LEFT);
    EXPECT_EQ(g->Row(), 1);
    Key(VK_RIGHT);
    EXPECT_EQ(g->Row(), 2);
}

TEST_F(GridRtlTest, PaintingIsTheLeftToRightPictureMirrored) {
    TMyStringGrid* ltr = MakeGrid(330, 130, ssNone, bsNone, 0, 0);
    TMyStringGrid* rtl = MakeGrid(330, 130, ssNone, bsNone, 0, 200);
    rtl->SetBiDiMode(bdRightToLeft);
    for (TMyStringGrid* g : {ltr, rtl}) g->SetCells(2, 1, "WW");
    Pump();
    const COLORREF face = ColorToRGB(clBtnFace);
    // The fixed column: at the left, at the right.
    EXPECT_EQ(Pixel(ltr, 30, 60), face);
    EXPECT_EQ(Pixel(rtl, 300, 60), face);
    EXPECT_EQ(Pixel(rtl, 30, 60), kWhite);
    // Its black line: after x 63 left to right, before 330 - 64 right to left.
    EXPECT_EQ(Pixel(ltr, 64, 60), kBlack);
    EXPECT_EQ(Pixel(rtl, 265, 60), kBlack);
    // A scrolling line in silver: x 129 and 330 - 130.
    EXPECT_EQ(Pixel(ltr, 129, 60), kSilver);
    EXPECT_EQ(Pixel(rtl, 200, 60), kSilver);
    // "WW" at 2 from the cell's start: 133..137 and 140..144 left to right;
    // right to left it ends 2 from the cell's right edge (200): its box is
    // 184..197, its glyphs unturned at 185..189 and 192..196.
    EXPECT_EQ(Pixel(ltr, 134, 30), kBlack);
    EXPECT_EQ(Pixel(ltr, 139, 30), kWhite);
    EXPECT_EQ(Pixel(rtl, 186, 30), kBlack);
    EXPECT_EQ(Pixel(rtl, 191, 30), kWhite);
    EXPECT_EQ(Pixel(rtl, 193, 30), kBlack);
    EXPECT_EQ(Pixel(rtl, 197, 30), kWhite);
}

TEST_F(GridRtlTest, ACellHandlerDrawsWhereTheWindowShowsTheCell) {
    TMyDrawGrid* g = RtlGrid<TMyDrawGrid>();
    RECT given{};
    g->OnDrawCell = [&](TObject*, int col, int row, RECT rect, TGridDrawState) {
        if (col != 2 || row != 2) return; // not the focused cell: no focus frame over it
        given = rect;
        g->Canvas().Brush().SetColor(clRed);
        g->Canvas().FillRect(rect);
    };
    g->Invalidate();
    Pump();
    EXPECT_EQ(given, (RECT{136, 50, 200, 74}));
    EXPECT_EQ(Pixel(g, 136, 50), kRed);
    EXPECT_EQ(Pixel(g, 199, 73), kRed);
    EXPECT_EQ(Pixel(g, 135, 60), kSilver);
    EXPECT_EQ(Pixel(g, 140, 50), kRed);
    EXPECT_EQ(Pixel(g, 150, 60), kRed);
    EXPECT_EQ(Pixel(g, 131, 60), kWhite); // where it would be left to right
}

TEST_F(GridRtlTest, SizingAColumnByItsMirroredLine) {
    TMyStringGrid* g = RtlGrid();
    g->SetOptions(g->Options() | goColSizing);
    // The line after column 1 is at 129, shown at 330 - 129 = 201; the
    // press at 200 (130 in the layout) is in its zone, 1 past it.
    Press(g, 200, 10);
    EXPECT_EQ(g->GridState(), gsColSizing);
    MoveTo(g, 180, 10); // 150 in the layout: the line goes to 149
    Release();
    EXPECT_EQ(g->ColWidths(1), 84); // 149 - 65
    EXPECT_EQ(g->CellRect(1, 1), (RECT{181, 25, 265, 49}));
}

// Ten columns in 330 pixels: from column 9 back, columns 9 to 6 fit beside
// the fixed one (331 - 4 x 65 = 71 >= 65), so the largest left column is 6.
TEST_F(GridRtlTest, TheHorizontalBarRunsFromTheOtherEnd) {
    for (bool mirrored : {false, true}) {
        SCOPED_TRACE(mirrored ? "right to left" : "left to right");
        form = nullptr;
        TMyStringGrid* g = MakeGrid(330, 130, ssHorizontal);
        g->SetColCount(10);
        g->SetRowCount(3);
        if (mirrored) g->SetBiDiMode(bdRightToLeft);
        Pump();
        auto pos = [&] { return GetScrollPos(g->Handle(), SB_HORZ); };
        EXPECT_EQ(pos(), mirrored ? 127 : 0);
        // The bar's left arrow: back left to right, on right to left.
        g->Perform(WM_HSCROLL, SB_LINEUP);
        EXPECT_EQ(g->LeftCol(), mirrored ? 2 : 1);
        g->Perform(WM_HSCROLL, SB_LINEDOWN);
        g->Perform(WM_HSCROLL, SB_LINEDOWN);
        EXPECT_EQ(g->LeftCol(), mirrored ? 1 : 3);
        // Left column 3 is 2 of 5 steps: round(2 x 127 / 5) = 51.
        EXPECT_EQ(pos(), mirrored ? 127 : 51);
        // To the end with the keys: the last column comes into view.
        g->SetFocus();
        Key(VK_END);
        EXPECT_EQ(g->Col(), 9);
        EXPECT_EQ(g->LeftCol(), 6);
        EXPECT_EQ(pos(), mirrored ? 0 : 127);
        // The thumb at the bar's right end: the start, right to left.
        g->Perform(WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 127));
        EXPECT_EQ(g->LeftCol(), mirrored ? 1 : 6);
        g->Perform(WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 51));
        EXPECT_EQ(g->LeftCol(), mirrored ? 4 : 3);
        delete form;
    }
}

} // namespace
} // namespace ax
