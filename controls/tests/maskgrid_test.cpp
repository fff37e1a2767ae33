// The backup window's mask grid ("Inclusion Grid"), rendered headless into
// mask_grid.png in the test's working directory (the build tree) and
// checked at hand-computed pixels; then edited through keys and mouse as
// the main window's user does.
#include "grid_fixture.h"
#include "mask_grid.h"

namespace ax {
namespace {

using namespace test;

class MaskGridTest : public GridTest {
protected:
    TSortGrid* BuildMaskGrid() {
        TSortGrid* g = test::BuildMaskGrid(*app, form);
        Pump();
        shown.clear();
        return g;
    }
    std::vector<std::string> Column(TSortGrid* g, int col) {
        std::vector<std::string> out;
        for (int r = 1; r < g->RowCount(); ++r) out.push_back(g->Cells(col, r));
        while (!out.empty() && out.back().empty()) out.pop_back();
        return out;
    }
    // Whether the text box of character k of a cell text starting at
    // (x, y) (client coordinates of the grid) is drawn in colour.
    bool Glyph(TSortGrid* g, int x, int y, int k, COLORREF colour) {
        return ShownPixel(g, x + 3 + 7 * k, y + 4) == colour;
    }
};

// Wider, the last column fills the client area; narrower again, it gives
// the widening back, and no horizontal bar comes up; a width set on it
// is its own.
TEST_F(MaskGridTest, TheFilledLastColumnFollowsTheGridBothWays) {
    TSortGrid* g = BuildMaskGrid();
    ASSERT_EQ(g->ColWidths(2), 150);
    g->SetBounds(8, 8, 504, 184);
    Pump();
    // 504 - 2 * 2 - 16 = 484 pixels of client: 484 - (64 + 64) - (3 + 3).
    EXPECT_EQ(g->ColWidths(2), 350);
    g->SetBounds(8, 8, 304, 184);
    Pump();
    EXPECT_EQ(g->ColWidths(2), 150);
    EXPECT_FALSE(GetWindowLongPtr(g->Handle(), GWL_STYLE) & WS_HSCROLL);
    g->SetColWidths(2, 400);
    g->SetBounds(8, 8, 254, 184);
    Pump();
    EXPECT_EQ(g->ColWidths(2), 400);
}

TEST_F(MaskGridTest, RendersTitlesMasksAndTheWidenedLastColumn) {
    TSortGrid* g = BuildMaskGrid();
    // 304 wide with a 2-pixel client edge and a vertical bar: 284 pixels of
    // client; the last column fills the rest: 284 - (64 + 64) - (3 + 3).
    EXPECT_EQ(g->ColWidths(2), 150);
    EXPECT_EQ(g->ClientWidth(), 284);
    EXPECT_EQ(g->CellRect(2, 1).right, 130 + 150);
    EXPECT_EQ(g->FixedCols(), 0);
    EXPECT_EQ(g->FixedRows(), 1);
    EXPECT_TRUE(SnapshotWindow(form->Handle(), "mask_grid.png"));

    // Titles in the fixed row, from x 65c + 2, y 2; "Include" is 7 boxes.
    for (int k = 0; k < 7; ++k) EXPECT_TRUE(Glyph(g, 2, 2, k, kBlack)) << k;
    EXPECT_TRUE(Glyph(g, 2, 2, 7, ColorToRGB(clBtnFace)));
    for (int k = 0; k < 6; ++k) EXPECT_TRUE(Glyph(g, 130 + 2, 2, k, kBlack)) << k; // "NoComp"
    // Row 2 (y 50): "*.bak" and "*.jpg" in black on white.
    for (int k = 0; k < 5; ++k) {
        EXPECT_TRUE(Glyph(g, 65 + 2, 52, k, kBlack)) << k;
        EXPECT_TRUE(Glyph(g, 130 + 2, 52, k, kBlack)) << k;
    }
    EXPECT_TRUE(Glyph(g, 65 + 2, 52, 5, kWhite));
    // The current row (1) is the range selection: highlight colours.
    EXPECT_TRUE(Glyph(g, 65 + 2, 27, 0, ColorToRGB(clHighlightText)));
    EXPECT_EQ(ShownPixel(g, 65 + 40, 30), ColorToRGB(clHighlight));
    // Lines: black in the fixed row, silver between the masks.
    EXPECT_EQ(ShownPixel(g, 64, 10), kBlack);
    EXPECT_EQ(ShownPixel(g, 64, 60), kSilver);
    EXPECT_EQ(ShownPixel(g, 20, 74), kSilver);
}

TEST_F(MaskGridTest, MasksAreTypedInPlaceAndReadByColumn) {
    TSortGrid* g = BuildMaskGrid();
    ClickCell(g, 0, 2);
    Type("*.doc");
    Key(VK_RETURN);
    ClickCell(g, 0, 3);
    Key(VK_RETURN); // opens the editor on the empty cell
    Type("*.txt");
    Key(VK_DOWN); // moves on, the text stays
    EXPECT_EQ(Column(g, 0), (std::vector<std::string>{"*.*", "*.doc", "*.txt"}));
    const TStringList exclude = g->Cols(1).ToStringList();
    ASSERT_EQ(exclude.Count(), 30);
    EXPECT_EQ(exclude[0], "Exclude");
    EXPECT_EQ(exclude[3], "~*.*");
    EXPECT_TRUE(g->Modified());
    // Not sortable: a title click leaves the masks.
    ClickCell(g, 1, 0);
    EXPECT_EQ(Column(g, 1), (std::vector<std::string>{"*.tmp", "*.bak", "~*.*"}));
}

TEST_F(MaskGridTest, ScrollsToTheLastMaskRow) {
    TSortGrid* g = BuildMaskGrid();
    g->SetCells(0, 29, "*.last");
    WithKey(VK_CONTROL, VK_END);
    Key(VK_HOME);
    EXPECT_EQ(g->Row(), 29);
    EXPECT_EQ(g->Col(), 0);
    EXPECT_EQ(GetScrollPos(g->Handle(), SB_VERT), 127);
    const RECT r = g->CellRect(0, 29);
    EXPECT_FALSE(IsRectEmpty(&r));
    EXPECT_TRUE(Glyph(g, r.left + 2, r.top + 2, 0, ColorToRGB(clHighlightText)));
}

} // namespace
} // namespace ax
