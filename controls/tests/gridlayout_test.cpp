// Layout, hit tests, painting and scrolling of the grid engine. Defaults:
// 5 x 5 cells of 64 x 24 pixels, one fixed row and column, 1-pixel lines;
// every expected number below is worked out from those.
#include "grid_fixture.h"

namespace ax {
namespace {

using namespace test;

struct SizeRecord {
    int oldCols, oldRows, cols, rows;
};

class RecordingGrid : public TMyStringGrid {
public:
    using TMyStringGrid::TMyStringGrid;
    std::vector<SizeRecord> sizes;

protected:
    void SizeChanged(int oldCols, int oldRows) override {
        sizes.push_back({oldCols, oldRows, ColCount(), RowCount()});
        TMyStringGrid::SizeChanged(oldCols, oldRows);
    }
};

class GridLayoutTest : public GridTest {};

TEST_F(GridLayoutTest, CellRectanglesLeaveOneLineBetweenCells) {
    TMyStringGrid* g = MakeGrid(200, 100);
    EXPECT_EQ(g->CellRect(0, 0), (RECT{0, 0, 64, 24}));
    EXPECT_EQ(g->CellRect(1, 0), (RECT{65, 0, 129, 24}));
    EXPECT_EQ(g->CellRect(2, 1), (RECT{130, 25, 194, 49}));
    // Column 3 starts at 195 and is cut by the client edge at 200.
    EXPECT_EQ(g->CellRect(3, 1), (RECT{195, 25, 200, 49}));
    // Two past the last fully visible column: not in view.
    EXPECT_EQ(g->CellRect(4, 1), (RECT{}));
    EXPECT_EQ(g->VisibleColCount(), 2); // columns 1 and 2
    EXPECT_EQ(g->VisibleRowCount(), 3); // rows 1 to 3 end at 100
}

TEST_F(GridLayoutTest, HitTestGivesTheGapToTheCellBeforeIt) {
    TMyStringGrid* g = MakeGrid(200, 100);
    EXPECT_EQ(g->MouseCoord(63, 10), (TGridCoord{0, 0}));
    EXPECT_EQ(g->MouseCoord(64, 10), (TGridCoord{0, 0})); // the line after column 0
    EXPECT_EQ(g->MouseCoord(65, 10), (TGridCoord{1, 0}));
    EXPECT_EQ(g->MouseCoord(199, 99), (TGridCoord{3, 3}));
    // Below the last row (row 4 ends at 125): no cell.
    EXPECT_EQ(g->MouseCoord(10, 125), (TGridCoord{-1, -1}));
    int col = 0, row = 0;
    g->MouseToCell(130, 50, col, row);
    EXPECT_EQ(col, 2);
    EXPECT_EQ(row, 2);
}

TEST_F(GridLayoutTest, ScrolledRowsLeaveTheFixedRowsInPlace) {
    TMyStringGrid* g = MakeGrid(200, 100);
    g->SetRowCount(20);
    g->SetTopRow(5);
    EXPECT_EQ(g->CellRect(1, 0), (RECT{65, 0, 129, 24}));
    EXPECT_EQ(g->CellRect(1, 5), (RECT{65, 25, 129, 49}));
    EXPECT_EQ(g->CellRect(1, 2), (RECT{})); // scrolled out
    EXPECT_EQ(g->MouseCoord(70, 30), (TGridCoord{1, 5}));
    EXPECT_EQ(g->MouseCoord(70, 10), (TGridCoord{1, 0}));
    EXPECT_EQ(g->MouseCoord(10, 60), (TGridCoord{0, 6}));
}

TEST_F(GridLayoutTest, HiddenColumnsTakeNoSpaceAndAreNotPainted) {
    TMyStringGrid* g = MakeGrid(300, 100);
    g->SetColWidths(1, -1);
    g->SetCells(1, 1, "hidden");
    g->SetCells(2, 1, "W");
    EXPECT_EQ(g->CellRect(2, 0), (RECT{65, 0, 129, 24}));
    EXPECT_EQ(g->MouseCoord(70, 5), (TGridCoord{2, 0}));
    // "W" of column 2 row 1 is drawn at (65 + 2, 25 + 2): its test-font box
    // covers x 68..72, y 29..36.
    EXPECT_EQ(Pixel(g, 69, 30), kBlack);
    EXPECT_EQ(Pixel(g, 80, 30), kWhite); // only one character there
}

TEST_F(GridLayoutTest, ZeroLineWidthLetsCellsAbut) {
    TMyStringGrid* g = MakeGrid(200, 100);
    g->SetGridLineWidth(0);
    EXPECT_EQ(g->CellRect(1, 0), (RECT{64, 0, 128, 24}));
    EXPECT_EQ(g->CellRect(1, 1), (RECT{64, 24, 128, 48}));
    EXPECT_EQ(g->MouseCoord(64, 24), (TGridCoord{1, 1}));
    // No line is drawn: the scrolling cells are white right to their edge
    // (row 2; row 1 holds the current cell).
    EXPECT_EQ(Pixel(g, 127, 55), kWhite);
    EXPECT_EQ(Pixel(g, 128, 55), kWhite);
}

TEST_F(GridLayoutTest, LinesOfTheFourPasses) {
    TMyStringGrid* g = MakeGrid(200, 100);
    // Fixed area: black lines after column 0 (x 64) and row 0 (y 24).
    EXPECT_EQ(Pixel(g, 64, 10), kBlack);
    EXPECT_EQ(Pixel(g, 10, 24), kBlack);
    // Scrolling area: silver lines.
    EXPECT_EQ(Pixel(g, 129, 30), kSilver);
    EXPECT_EQ(Pixel(g, 100, 49), kSilver);
    // A grid whose colour is silver draws them grey.
    g->SetColor(clSilver);
    g->Invalidate();
    EXPECT_EQ(Pixel(g, 129, 30), kGray);
}

TEST_F(GridLayoutTest, FixedVerticalLinesWithoutTheirOptionTakeTheFixedColour) {
    TMyStringGrid* g = MakeGrid(200, 100);
    g->SetOptions(goFixedHorzLine | goVertLine | goHorzLine);
    g->SetFixedColor(clYellow);
    // The vertical line after column 1 in the fixed row: fixed colour; the
    // horizontal line of row 0 crosses it in black.
    EXPECT_EQ(Pixel(g, 129, 10), ColorToRGB(clYellow));
    EXPECT_EQ(Pixel(g, 129, 24), kBlack);
    // In the scrolling area the vertical line is drawn (goVertLine).
    EXPECT_EQ(Pixel(g, 129, 30), kSilver);
}

TEST_F(GridLayoutTest, SizeChangesInsideAnUpdateWaitForItsEnd) {
    RecordingGrid* g = MakeGrid<RecordingGrid>(200, 100);
    g->SetRowHeights(2, 30);
    g->sizes.clear();
    g->BeginUpdate();
    EXPECT_TRUE(g->NowUpdating());
    EXPECT_FALSE(g->Enabled());
    g->SetRowCount(30);
    EXPECT_TRUE(g->sizes.empty());
    EXPECT_EQ(g->RowHeights(29), 24); // read beyond the array: the default
    g->EndUpdate();
    ASSERT_EQ(g->sizes.size(), 1u);
    EXPECT_EQ(g->sizes[0].oldRows, 30);
    EXPECT_EQ(g->sizes[0].rows, 30);
    EXPECT_EQ(g->RowHeights(2), 30);
    EXPECT_FALSE(g->NowUpdating());
    EXPECT_TRUE(g->Enabled());
}

TEST_F(GridLayoutTest, TheFirstEndUpdateEndsEveryBeginUpdate) {
    RecordingGrid* g = MakeGrid<RecordingGrid>(200, 100);
    g->sizes.clear();
    g->BeginUpdate();
    g->BeginUpdate();
    g->SetRowCount(12);
    EXPECT_TRUE(g->sizes.empty());
    g->EndUpdate();
    EXPECT_FALSE(g->NowUpdating());
    EXPECT_TRUE(g->Enabled());
    EXPECT_EQ(Screen()->Cursor(), crDefault);
    ASSERT_EQ(g->sizes.size(), 1u);
    EXPECT_EQ(g->sizes[0].oldRows, 12);
    EXPECT_EQ(g->sizes[0].rows, 12);
    // The second EndUpdate finds nothing to end and changes nothing shown.
    g->EndUpdate();
    EXPECT_FALSE(g->NowUpdating());
    EXPECT_TRUE(g->Enabled());
}

TEST_F(GridLayoutTest, ASecondBeginUpdateRunsItsStepsAgain) {
    TMyStringGrid* g = MakeGrid(200, 100);
    int begun = 0;
    g->OnBeginUpdate = [&](TObject*) { ++begun; };
    g->BeginUpdate();
    g->SetEnabled(true);
    Screen()->SetCursor(crDefault);
    g->BeginUpdate();
    EXPECT_EQ(begun, 2);
    EXPECT_FALSE(g->Enabled());
    EXPECT_EQ(Screen()->Cursor(), crHourGlass);
    g->EndUpdate();
    EXPECT_TRUE(g->Enabled());
}

TEST_F(GridLayoutTest, EndUpdateWithoutBeginStillEnablesAndResetsTheCursor) {
    TMyStringGrid* g = MakeGrid(200, 100);
    g->SetEnabled(false);
    Screen()->SetCursor(crHourGlass);
    g->EndUpdate();
    EXPECT_TRUE(g->Enabled());
    EXPECT_EQ(Screen()->Cursor(), crDefault);
    EXPECT_FALSE(g->NowUpdating());
}

TEST_F(GridLayoutTest, TheUpdateLockHoldsOnlyItsOwnGrid) {
    TMyStringGrid* a = MakeGrid(200, 100, ssNone, bsNone, 0, 0);
    TMyStringGrid* b = MakeGrid(200, 100, ssNone, bsNone, 0, 200);
    Pump();
    a->BeginUpdate();
    b->BeginUpdate();
    a->EndUpdate(); // b's lock must not be released by a
    b->SetCells(2, 2, "W");
    EXPECT_EQ(ShownPixel(b, 133, 55), kWhite) << "b is still locked";
    a->SetCells(2, 2, "W");
    EXPECT_EQ(ShownPixel(a, 133, 55), kBlack) << "a paints again";
    b->EndUpdate();
    EXPECT_EQ(ShownPixel(b, 133, 55), kBlack);
}

TEST_F(GridLayoutTest, CountsAndFixedCountsAreChecked) {
    TMyStringGrid* g = MakeGrid(200, 100);
    g->SetColCount(0);
    EXPECT_EQ(g->ColCount(), 1);
    EXPECT_EQ(g->FixedCols(), 0);
    try {
        g->SetFixedRows(g->RowCount());
        FAIL() << "no exception";
    } catch (const EInvalidGridOperation& e) {
        EXPECT_STREQ(e.what(), "Fixed row count must be less than row count");
    }
    try {
        g->SetFixedCols(-1);
        FAIL() << "no exception";
    } catch (const EInvalidGridOperation& e) {
        EXPECT_STREQ(e.what(), "Grid index out of range");
    }
    try {
        g->SetRowHeights(5, 10);
        FAIL() << "no exception";
    } catch (const EInvalidGridOperation& e) {
        EXPECT_STREQ(e.what(), "Grid index out of range");
    }
}

TEST_F(GridLayoutTest, AdjustingTheCellCountMovesTheCurrentCellAndChecksLimits) {
    TMyStringGrid* g = MakeGrid(200, 100);
    g->SetRowHeights(3, 30);
    g->SetRow(3);
    g->AdjustCellCount(2, 2, true);
    EXPECT_EQ(g->RowCount(), 7);
    EXPECT_EQ(g->Row(), 5);
    EXPECT_EQ(g->RowHeights(5), 24); // entries from the index on take the default
    g->AdjustCellCount(4, -2, true); // the current row lay among the deleted ones
    EXPECT_EQ(g->RowCount(), 5);
    EXPECT_EQ(g->Row(), 4);
    try {
        g->AdjustCellCount(8, -1, true);
        FAIL() << "no exception";
    } catch (const EInvalidGridOperation& e) {
        EXPECT_STREQ(e.what(), "Too many rows or columns deleted");
    }
    try {
        g->SetRowCount(0x7FFFFFE);
        FAIL() << "no exception";
    } catch (const EInvalidGridOperation& e) {
        EXPECT_STREQ(e.what(), "Grid too large for operation");
    }
    EXPECT_EQ(g->RowCount(), 5); // as it was
}

// ---- Scrolling -------------------------------------------------------------------------------

TEST_F(GridLayoutTest, TheLastRowScrollsToPosition127) {
    TMyStringGrid* g = MakeGrid(200, 100, ssVertical);
    g->SetRowCount(100);
    Pump();
    int lo = -1, hi = -1;
    GetScrollRange(g->Handle(), SB_VERT, &lo, &hi);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 127);
    g->Perform(WM_VSCROLL, SB_BOTTOM);
    EXPECT_EQ(GetScrollPos(g->Handle(), SB_VERT), 127);
    // Rows 96..99 fill the 100-pixel height below the fixed row: 25 + 4 * 25 = 125 > 101,
    // so three rows fit: the largest top row is 97.
    EXPECT_EQ(g->TopRow(), 97);
    g->Perform(WM_VSCROLL, SB_TOP);
    EXPECT_EQ(g->TopRow(), 1);
    EXPECT_EQ(GetScrollPos(g->Handle(), SB_VERT), 0);
    // Half-way on the 0..127 scale: 1 + round(64 * 96 / 127) = 49.
    g->Perform(WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 64));
    EXPECT_EQ(g->TopRow(), 49);
}

TEST_F(GridLayoutTest, RowsThatAllFitHaveAnEmptyRange) {
    TMyStringGrid* g = MakeGrid(300, 200, ssBoth);
    Pump();
    int lo = -1, hi = -1;
    GetScrollRange(g->Handle(), SB_VERT, &lo, &hi);
    EXPECT_EQ(hi - lo, 0);
    EXPECT_EQ(GetScrollPos(g->Handle(), SB_VERT), 0);
    // With nothing to scroll the position is 0, never a division by zero.
    g->Perform(WM_VSCROLL, SB_BOTTOM);
    EXPECT_EQ(g->TopRow(), 1);
}

TEST_F(GridLayoutTest, PageDownMovesByTheFullyVisibleRows) {
    TMyStringGrid* g = MakeGrid(200, 100, ssVertical);
    g->SetRowCount(100);
    g->Perform(WM_VSCROLL, SB_PAGEDOWN);
    // Rows 1..3 fully visible: a page is 2 rows (last - first).
    EXPECT_EQ(g->TopRow(), 3);
    g->Perform(WM_VSCROLL, SB_LINEDOWN);
    EXPECT_EQ(g->TopRow(), 4);
    g->Perform(WM_VSCROLL, SB_PAGEUP);
    EXPECT_EQ(g->TopRow(), 2);
}

TEST_F(GridLayoutTest, LineDownStepsOverHiddenRows) {
    TMyStringGrid* g = MakeGrid(200, 100, ssVertical);
    g->SetRowCount(20);
    g->SetRowHeights(2, -1);
    g->SetRowHeights(3, -1);
    g->Perform(WM_VSCROLL, SB_LINEDOWN);
    EXPECT_EQ(g->TopRow(), 4);
}

TEST_F(GridLayoutTest, LineDownOverHiddenRowsAtTheEndStopsAtTheLargestTopRow) {
    TMyStringGrid* g = MakeGrid(200, 100, ssVertical);
    g->SetRowCount(8);
    for (int r = 5; r < 8; ++r) g->SetRowHeights(r, -1);
    // Visible rows 1..4 and 3 rows fit: the largest top row is 2.
    g->SetTopRow(2);
    g->Perform(WM_VSCROLL, SB_LINEDOWN);
    EXPECT_EQ(g->TopRow(), 2);
}

TEST_F(GridLayoutTest, AOneColumnGridScrollsByPixels) {
    TMyStringGrid* g = MakeGrid(200, 100, ssHorizontal);
    g->SetColCount(1);
    g->SetRowCount(2);
    g->SetColWidths(0, 300);
    Pump();
    int lo = -1, hi = -1;
    GetScrollRange(g->Handle(), SB_HORZ, &lo, &hi);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 100);
    g->Perform(WM_HSCROLL, SB_LINEDOWN);
    EXPECT_EQ(GetScrollPos(g->Handle(), SB_HORZ), 7); // the width of "0"
    g->Perform(WM_HSCROLL, SB_PAGEDOWN);
    EXPECT_EQ(GetScrollPos(g->Handle(), SB_HORZ), 100); // clamped to the largest offset
    // Text drawn at x 2 now lies 100 pixels further left: a cell text at
    // 102 in the column shows at 2.
    g->SetCells(0, 1, "               W"); // 15 blanks: "W" starts at 2 + 105 = 107 -> 7
    EXPECT_EQ(Pixel(g, 8, 30), kBlack);
    g->Perform(WM_HSCROLL, SB_LEFT);
    EXPECT_EQ(GetScrollPos(g->Handle(), SB_HORZ), 0);
}

TEST_F(GridLayoutTest, ScrollingMovesPaintedPixels) {
    TMyStringGrid* g = MakeGrid(200, 100, ssVertical);
    g->SetRowCount(50);
    for (int r = 1; r < 50; ++r) g->SetCells(1, r, std::string(size_t(r % 5 + 1), 'W'));
    Pump();
    // Row 3 shows 4 characters; after one line down it is at the row 2 place.
    g->Perform(WM_VSCROLL, SB_LINEDOWN);
    // Row 2 place: y 50..73; row 3 text "WWWW": boxes at x 68, 75, 82, 89.
    EXPECT_EQ(Pixel(g, 90, 55), kBlack);
    EXPECT_EQ(Pixel(g, 97, 55), kWhite);
}

} // namespace
} // namespace ax
