// Keyboard, mouse and in-place editor of the grid engine, driven through
// the display's input injection. The grid is 330 x 130 without border or
// scroll bars, so all 5 x 5 default cells (64 x 24 plus a line) are in view.
#include "grid_fixture.h"
#include "platform/window/sound.h"

namespace ax {
namespace {

using namespace test;

class ReadOnlyGrid : public TMyStringGrid {
public:
    using TMyStringGrid::TMyStringGrid;

protected:
    int GetEditLimit() override { return -1; }
};

class GridInputTest : public GridTest {
protected:
    template <class G = TMyStringGrid> G* Focused(int width = 330, int height = 130) {
        G* g = MakeGrid<G>(width, height);
        g->SetFocus();
        Pump();
        return g;
    }
    // The centre of a cell, in the grid's client coordinates.
    POINT Centre(TMyCustomGrid* g, int col, int row) {
        const RECT r = g->CellRect(col, row);
        return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
};

TEST_F(GridInputTest, ArrowsHomeAndEndStayInTheScrollingCells) {
    TMyStringGrid* g = Focused();
    EXPECT_EQ(g->Col(), 1);
    Key(VK_RIGHT);
    Key(VK_DOWN);
    EXPECT_EQ(g->Col(), 2);
    EXPECT_EQ(g->Row(), 2);
    Key(VK_LEFT);
    Key(VK_LEFT);
    EXPECT_EQ(g->Col(), 1); // never into the fixed column
    Key(VK_UP);
    Key(VK_UP);
    EXPECT_EQ(g->Row(), 1);
    Key(VK_END);
    EXPECT_EQ(g->Col(), 4);
    Key(VK_HOME);
    EXPECT_EQ(g->Col(), 1);
    WithKey(VK_CONTROL, VK_END);
    EXPECT_EQ(g->Col(), 4);
    EXPECT_EQ(g->Row(), 4);
    WithKey(VK_CONTROL, VK_HOME);
    EXPECT_EQ(g->Col(), 1);
    EXPECT_EQ(g->Row(), 1);
}

TEST_F(GridInputTest, TabWrapsAndSkipsColumnsWithoutTabStop) {
    TMyStringGrid* g = Focused();
    g->SetOptions(g->Options() | goTabs);
    WithKey(VK_CONTROL, VK_END);
    Key(VK_TAB); // from the last cell
    EXPECT_EQ(g->Col(), 1);
    EXPECT_EQ(g->Row(), 1);
    WithKey(VK_SHIFT, VK_TAB);
    EXPECT_EQ(g->Col(), 4);
    EXPECT_EQ(g->Row(), 4);
    EXPECT_EQ(g->Selection(), (TGridRect{4, 4, 4, 4})); // Shift+Tab moves, it does not select
    WithKey(VK_CONTROL, VK_HOME);
    g->SetTabStops(2, false);
    Key(VK_TAB);
    EXPECT_EQ(g->Col(), 3);
}

TEST_F(GridInputTest, PageDownMovesRowAndTopRowByAPage) {
    TMyStringGrid* g = Focused();
    g->SetRowCount(20);
    // Rows 1..4 are fully visible: a page is 3 rows.
    Key(VK_NEXT);
    EXPECT_EQ(g->Row(), 4);
    EXPECT_EQ(g->TopRow(), 4);
    Key(VK_PRIOR);
    EXPECT_EQ(g->Row(), 1);
    EXPECT_EQ(g->TopRow(), 1);
    WithKey(VK_CONTROL, VK_DOWN); // scrolls, the current cell stays
    EXPECT_EQ(g->TopRow(), 2);
    EXPECT_EQ(g->Row(), 1);
    WithKey(VK_CONTROL, VK_NEXT); // to the bottom visible row
    EXPECT_EQ(g->Row(), 5);
}

TEST_F(GridInputTest, ShiftArrowsExtendTheRange) {
    TMyStringGrid* g = Focused();
    WithKey(VK_SHIFT, VK_DOWN);
    WithKey(VK_SHIFT, VK_RIGHT);
    EXPECT_EQ(g->Selection(), (TGridRect{1, 1, 2, 2}));
    Key(VK_DOWN);
    EXPECT_EQ(g->Selection(), (TGridRect{2, 3, 2, 3}));
}

TEST_F(GridInputTest, TypingOpensTheEditorWithTheCharacter) {
    TMyStringGrid* g = Focused();
    g->SetOptions(g->Options() | goEditing);
    Type("qx");
    ASSERT_TRUE(g->EditorMode());
    ASSERT_NE(g->InplaceEditor(), nullptr);
    EXPECT_TRUE(g->InplaceEditor()->Visible());
    EXPECT_EQ(g->InplaceEditor()->Text(), "qx");
    EXPECT_EQ(g->Cells(1, 1), "qx"); // every keystroke reaches the cell
    EXPECT_EQ(g->InplaceEditor()->BoundsRect(), g->CellRect(1, 1));
    Key(VK_RETURN);
    EXPECT_FALSE(g->EditorMode());
    EXPECT_FALSE(g->InplaceEditor()->Visible());
    EXPECT_EQ(g->Cells(1, 1), "qx");
    Key(VK_DOWN);
    EXPECT_EQ(g->Row(), 2);
}

TEST_F(GridInputTest, EnterOnTheGridOpensTheEditorAndGoesNoFurther) {
    TMyStringGrid* g = Focused();
    g->SetOptions(g->Options() | goEditing);
    g->SetCells(1, 1, "abc");
    Key(VK_RETURN);
    ASSERT_TRUE(g->EditorMode());
    EXPECT_EQ(g->InplaceEditor()->Text(), "abc");
    EXPECT_EQ(g->InplaceEditor()->SelLength(), 3);
    EXPECT_EQ(g->Row(), 1);
    EXPECT_EQ(GetFocus(), g->InplaceEditor()->Handle());
}

TEST_F(GridInputTest, KeysOfTheEditorThatMoveBetweenCellsGoToTheGrid) {
    TMyStringGrid* g = Focused();
    g->SetOptions(g->Options() | goEditing);
    Type("a");
    Key(VK_DOWN);
    EXPECT_EQ(g->Row(), 2);
    EXPECT_EQ(g->Cells(1, 1), "a");
    EXPECT_FALSE(g->InplaceEditor()->Visible());
    Type("b");
    Key(VK_LEFT); // stays in the editor: moves the caret
    EXPECT_EQ(g->Col(), 1);
    EXPECT_EQ(g->InplaceEditor()->CaretPos(), 0);
}

TEST_F(GridInputTest, AReadOnlyCellBeepsAndKeepsItsText) {
    ReadOnlyGrid* g = Focused<ReadOnlyGrid>();
    g->SetOptions(g->Options() | goEditing);
    g->SetCells(1, 1, "keep");
    TakeSoundRequests();
    Type("x");
    EXPECT_EQ(TakeSoundRequests().size(), 1u);
    EXPECT_EQ(g->Cells(1, 1), "keep");
    Key(VK_BACK);
    EXPECT_EQ(TakeSoundRequests().size(), 1u);
    Key(VK_DELETE);
    EXPECT_EQ(g->Cells(1, 1), "keep");
}

TEST_F(GridInputTest, RowSelectKeepsTheEditorAway) {
    TMyStringGrid* g = Focused();
    g->SetOptions(g->Options() | goEditing | goRowSelect);
    Type("x");
    Key(VK_F2);
    Key(VK_RETURN);
    EXPECT_TRUE(g->InplaceEditor() == nullptr || !g->InplaceEditor()->Visible());
    EXPECT_EQ(g->Cells(1, 1), "");
    EXPECT_EQ(g->Selection(), (TGridRect{1, 1, 4, 1})); // the whole row
}

TEST_F(GridInputTest, EnterInAnAlwaysShownEditorTogglesTheSelection) {
    TMyStringGrid* g = Focused();
    g->SetOptions(g->Options() | goEditing | goAlwaysShowEditor);
    Pump();
    ASSERT_NE(g->InplaceEditor(), nullptr);
    g->InplaceEditor()->SetFocus();
    Type("ab"); // replaces the selected (empty) text; the caret ends up behind it
    TInplaceEdit* e = g->InplaceEditor();
    EXPECT_EQ(e->SelLength(), 0);
    Key(VK_RETURN);
    EXPECT_EQ(e->SelStart(), 0);
    EXPECT_EQ(e->SelLength(), 2);
    Key(VK_RETURN);
    EXPECT_EQ(e->SelLength(), 0);
    EXPECT_EQ(e->CaretPos(), 2);
    EXPECT_TRUE(e->Visible());
}

TEST_F(GridInputTest, ClickingTheCurrentCellOpensTheEditor) {
    TMyStringGrid* g = Focused();
    g->SetOptions(g->Options() | goEditing);
    ClickCell(g, 3, 2);
    EXPECT_EQ(g->Col(), 3);
    EXPECT_EQ(g->Row(), 2);
    EXPECT_FALSE(g->EditorMode());
    clock.Advance(1000); // not a double click
    ClickCell(g, 3, 2);
    EXPECT_TRUE(g->EditorMode());
    EXPECT_TRUE(g->InplaceEditor()->Visible());
    Type("z");
    EXPECT_EQ(g->Cells(3, 2), "z");
    clock.Advance(1000);
    ClickCell(g, 1, 1); // leaving writes back and closes the editor
    EXPECT_FALSE(g->EditorMode());
    EXPECT_EQ(g->Cells(3, 2), "z");
}

TEST_F(GridInputTest, DraggingSelectsARangeAndClicksOnce) {
    TMyStringGrid* g = Focused();
    int clicks = 0;
    g->OnClick = [&](TObject*) { ++clicks; };
    const POINT a = Centre(g, 1, 1), b = Centre(g, 3, 2);
    Drag(g, a.x, a.y, b.x, b.y);
    EXPECT_EQ(g->Selection(), (TGridRect{1, 1, 3, 2}));
    EXPECT_EQ(g->Col(), 1);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(g->GridState(), gsNormal);
}

TEST_F(GridInputTest, SelectingBeyondTheEdgeScrollsOnTheTimer) {
    TMyStringGrid* g = Focused();
    g->SetRowCount(20);
    const POINT a = Centre(g, 1, 1);
    Press(g, a.x, a.y);
    MoveTo(g, a.x, 128); // on the last pixel row: below the fully visible rows
    EXPECT_EQ(g->Selection().Bottom, 5);
    for (int i = 0; i < 3; ++i) {
        clock.Advance(60);
        app->ProcessMessages();
    }
    EXPECT_EQ(g->Selection().Bottom, 8);
    EXPECT_EQ(g->TopRow(), 5); // row 8 in view as the last fully visible row
    Release(); // one last step: the partly shown row under the pointer
    EXPECT_EQ(g->Selection().Bottom, 9);
    clock.Advance(60);
    app->ProcessMessages();
    EXPECT_EQ(g->Selection().Bottom, 9); // the timer stopped
}

TEST_F(GridInputTest, SizingAColumnByItsLineInTheFixedRow) {
    TMyStringGrid* g = Focused();
    g->SetOptions(g->Options() | goColSizing);
    Drag(g, 129, 10, 150, 10); // the line after column 1 is at x 129
    EXPECT_EQ(g->ColWidths(1), 85);
    Drag(g, 150, 10, 66, 10); // a width of 1: left alone
    EXPECT_EQ(g->ColWidths(1), 85);
    Drag(g, 150, 40, 200, 40); // not in the fixed row: a selection, no sizing
    EXPECT_EQ(g->ColWidths(1), 85);
    g->SetOptions(g->Options() | goRowSizing);
    Drag(g, 10, 49, 10, 70); // the line after row 1 is at y 49
    EXPECT_EQ(g->RowHeights(1), 45);
}

TEST_F(GridInputTest, AHiddenColumnKeepsItsWidthWhenItsLineIsDragged) {
    TMyStringGrid* g = Focused();
    g->SetFixedCols(0);
    g->SetOptions(g->Options() | goColSizing);
    g->SetColWidths(0, -1); // its line lies at x 0
    Drag(g, 1, 10, 50, 10);
    EXPECT_EQ(g->ColWidths(0), -1);
}

TEST_F(GridInputTest, TheSizingLineIsDrawnByInversionAndLeavesNoTrace) {
    TMyStringGrid* g = Focused();
    g->SetOptions(g->Options() | goColSizing);
    const COLORREF before = Pixel(g, 129, 1); // the black line of the fixed row
    ASSERT_EQ(before, kBlack);
    Press(g, 129, 10);
    EXPECT_EQ(Pixel(g, 129, 1), kWhite); // a dot of the sizing line
    Release();
    EXPECT_EQ(Pixel(g, 129, 1), before);
    EXPECT_EQ(g->ColWidths(1), 64);
}

TEST_F(GridInputTest, MovingAColumnByItsTitle) {
    TMyStringGrid* g = Focused();
    g->SetOptions(g->Options() | goColMoving);
    for (int c = 0; c < 5; ++c) g->SetCells(c, 1, "c" + std::to_string(c));
    std::vector<std::pair<int, int>> moves;
    g->OnColumnMoved = [&](TObject*, int from, int to) { moves.push_back({from, to}); };
    const POINT from = Centre(g, 1, 0), to = Centre(g, 3, 0);
    Drag(g, from.x, from.y, to.x, to.y);
    EXPECT_EQ(moves, (std::vector<std::pair<int, int>>{{1, 3}}));
    EXPECT_EQ(g->Cells(3, 1), "c1");
    EXPECT_EQ(g->Cells(1, 1), "c2");
}

TEST_F(GridInputTest, MovingARowByItsFixedCell) {
    TMyStringGrid* g = Focused();
    g->SetOptions(g->Options() | goRowMoving);
    for (int r = 0; r < 5; ++r) g->SetCells(1, r, "r" + std::to_string(r));
    std::vector<std::pair<int, int>> moves;
    g->OnRowMoved = [&](TObject*, int from, int to) { moves.push_back({from, to}); };
    const POINT from = Centre(g, 0, 1), to = Centre(g, 0, 3);
    Press(g, from.x, from.y);
    EXPECT_EQ(g->GridState(), gsRowMoving);
    MoveTo(g, to.x, to.y);
    Release();
    EXPECT_EQ(moves, (std::vector<std::pair<int, int>>{{1, 3}}));
    EXPECT_EQ(g->Cells(1, 3), "r1");
    EXPECT_EQ(g->Cells(1, 1), "r2");
    EXPECT_EQ(g->Row(), 3); // the current row moved with it
}

TEST_F(GridInputTest, AColumnHeldOverTheFixedColumnsScrollsBackOnePerTick) {
    TMyStringGrid* g = Focused();
    g->SetColCount(12);
    for (int c = 0; c < 12; ++c) g->SetCells(c, 0, "t" + std::to_string(c));
    g->SetOptions(g->Options() | goColMoving);
    g->SetLeftCol(5);
    const POINT title = Centre(g, 6, 0);
    Press(g, title.x, title.y);
    MoveTo(g, 10, title.y); // over the fixed column
    EXPECT_EQ(g->LeftCol(), 4);
    std::vector<int> lefts;
    for (int i = 0; i < 4; ++i) {
        clock.Advance(60);
        app->ProcessMessages();
        lefts.push_back(g->LeftCol());
    }
    EXPECT_EQ(lefts, (std::vector<int>{3, 2, 1, 1}));
    Release();
    EXPECT_EQ(g->Cells(1, 0), "t6"); // moved to the first scrolling column
    EXPECT_EQ(g->Cells(2, 0), "t1");
    EXPECT_EQ(g->GridState(), gsNormal);
}

TEST_F(GridInputTest, TheWheelMovesTheCurrentRow) {
    TMyStringGrid* g = Focused();
    MoveTo(g, 100, 60);
    InjectMouseWheel(-WHEEL_DELTA);
    app->ProcessMessages();
    EXPECT_EQ(g->Row(), 2);
    InjectMouseWheel(WHEEL_DELTA);
    InjectMouseWheel(WHEEL_DELTA);
    app->ProcessMessages();
    EXPECT_EQ(g->Row(), 1);
}

} // namespace
} // namespace ax
