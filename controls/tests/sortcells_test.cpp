// The sort grid's cells and input: check, drop-down and ellipsis cells,
// titles and sort arrows, header clicks, multi-selection, incremental
// search, validation, keyboard row and column insertion, the wheel and
// automatic column width. The grid has no fixed column, so column c spans
// x 65c .. 65c + 63 and row r >= 1 spans y 25r .. 25r + 23.
#include "controls/SortGrid.h"
#include "framework/streaming.h"
#include "grid_fixture.h"
#include "stdctrls/listbox.h"

namespace ax {
namespace {

using namespace test;
using S = std::vector<std::string>;

class SortCellsTest : public GridTest {
protected:
    TSortGrid* Focused(int rows = 5, int width = 330, int height = 130) {
        TSortGrid* g = MakeGrid<TSortGrid>(width, height);
        g->SetRowCount(rows);
        g->SetFocus();
        Pump();
        return g;
    }
    void WithHeld(UINT key, const std::function<void()>& action) {
        InjectKey(key, true);
        action();
        InjectKey(key, false);
        app->ProcessMessages();
    }
    std::vector<std::string> Column(TSortGrid* g, int col) {
        std::vector<std::string> out;
        for (int r = 1; r < g->RowCount(); ++r) out.push_back(g->Cells(col, r));
        return out;
    }
    // Column `kind` of every data row is a check (1), drop-down (2) or
    // ellipsis (3) cell.
    void Kinds(TSortGrid* g, int checkCol, int comboCol, int ellipsisCol) {
        g->OnGetCellFormat = [=](TObject*, int col, int row, TGridDrawState, TFormatOptions&, bool& check,
                                 bool& combo, bool& ellipsis) {
            if (row < 1) return;
            check = col == checkCol;
            combo = col == comboCol;
            ellipsis = col == ellipsisCol;
        };
    }
};

TEST_F(SortCellsTest, ACheckCellDrawsItsStateAndTogglesOnSpaceAndClick) {
    TSortGrid* g = Focused();
    g->SetCol(1); // the current cell, before it becomes a check cell
    g->SetCells(1, 1, "true");
    Kinds(g, 1, -1, -1);
    std::vector<bool> events;
    g->OnSetChecked = [&](TObject*, int, int, bool state) { events.push_back(state); };
    g->Invalidate();
    // The glyph: a 10 x 10 box centred in the 64-pixel cell (x 92, y 12 + 25 - 5 = 32).
    EXPECT_EQ(Pixel(g, 92, 32), ColorToRGB(clBtnShadow));
    EXPECT_EQ(Pixel(g, 94, 36), kBlack); // the mark
    EXPECT_TRUE(g->CellChecked(1, 1));
    Key(VK_SPACE);
    EXPECT_EQ(g->Cells(1, 1), "");
    EXPECT_EQ(Pixel(g, 94, 36), kWhite);
    ClickCell(g, 1, 2); // a check cell is never made current; the click toggles it
    EXPECT_EQ(g->Cells(1, 2), "true");
    EXPECT_EQ(g->Row(), 1);
    EXPECT_EQ(events, (std::vector<bool>{false, true}));
    g->SetCellChecked(3, 1, true); // not a check cell: nothing
    EXPECT_EQ(g->Cells(3, 1), "");
}

TEST_F(SortCellsTest, ADropDownCellOpensItsListAndTakesTheChoice) {
    TSortGrid* g = Focused();
    Kinds(g, -1, 2, -1);
    g->OnGetComboBox = [](TObject*, int, int, TStringList& s, int&, int&, bool&) {
        for (const char* t : {"zeta", "alpha", "mid"}) s.Add(t);
    };
    std::vector<std::string> chosen;
    g->OnSetComboBox = [&](TObject*, int, int, const AnsiString& text) { chosen.push_back(text); };
    ClickCell(g, 2, 2);
    TListBox* list = g->ComboList();
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(list->Visible());
    EXPECT_EQ(list->Items().ToStringList().CommaText(), "alpha,mid,zeta");
    EXPECT_EQ(list->ItemIndex(), 0);
    EXPECT_EQ(list->Height(), 3 * list->ItemHeight() + 5);
    EXPECT_EQ(GetFocus(), list->Handle());
    Key(VK_DOWN);
    Key(VK_RETURN);
    EXPECT_FALSE(list->Visible());
    EXPECT_EQ(g->Cells(2, 2), "mid");
    EXPECT_EQ(chosen, (S{"mid"}));
    EXPECT_EQ(GetFocus(), g->Handle());
    // Opened again, the list starts on the cell's text; a click chooses.
    ClickCell(g, 2, 2);
    ASSERT_TRUE(list->Visible());
    EXPECT_EQ(list->ItemIndex(), 1);
    const RECT item = list->ItemRect(2);
    Click(list, item.left + 5, item.top + 3);
    EXPECT_EQ(g->Cells(2, 2), "zeta");
    EXPECT_FALSE(list->Visible());
}

TEST_F(SortCellsTest, AnEllipsisCellReportsClicksOnItsButton) {
    TSortGrid* g = Focused();
    Kinds(g, -1, -1, 3);
    std::vector<std::pair<int, int>> clicked;
    g->OnSetEllipsis = [&](TObject*, int col, int row) { clicked.push_back({col, row}); };
    const RECT r = g->CellRect(3, 2);
    Click(g, r.left + 5, r.top + 5); // left part: the cell is made current
    clock.Advance(1000);
    EXPECT_TRUE(clicked.empty());
    Click(g, r.right - 4, r.top + 5);
    EXPECT_EQ(clicked, (std::vector<std::pair<int, int>>{{3, 2}}));
}

TEST_F(SortCellsTest, TitlesAreShortenedAndTheSortColumnShowsItsArrow) {
    TSortGrid* g = Focused();
    g->SetCells(1, 0, "Extensions"); // 70 pixels in a space of 63
    g->SetCells(0, 0, "Inc");
    // "Extensi.." fits exactly: nine boxes from x 65 + 2, the tenth place empty.
    for (int k = 0; k < 9; ++k) EXPECT_EQ(Pixel(g, 70 + 7 * k, 6), kBlack) << k;
    // Column 0 is the sort column: its title moves 11 pixels right and an
    // up arrow (rows y 10..13, widths 2, 4, 6, 8 centred in x 3..10) shows.
    EXPECT_EQ(Pixel(g, 2 + 11 + 3, 6), kBlack);
    EXPECT_EQ(Pixel(g, 6, 10), kBlack);
    EXPECT_EQ(Pixel(g, 3, 10), ColorToRGB(clBtnFace));
    EXPECT_EQ(Pixel(g, 3, 13), kBlack);
    g->SortOptions().SortDirection = sdDescending;
    g->Invalidate();
    EXPECT_EQ(Pixel(g, 3, 10), kBlack); // the down arrow is widest at the top
    EXPECT_EQ(Pixel(g, 3, 13), ColorToRGB(clBtnFace));
}

TEST_F(SortCellsTest, HeaderClicksSortAndTurnTheDirection) {
    TSortGrid* g = Focused(4);
    for (const auto& [r, t] : std::vector<std::pair<int, std::string>>{{1, "b"}, {2, "a"}, {3, "c"}}) g->SetCells(0, r, t);
    ClickCell(g, 0, 0); // the sort column, ascending: turns descending
    EXPECT_EQ(g->SortOptions().SortDirection, sdDescending);
    EXPECT_EQ(Column(g, 0), (S{"c", "b", "a"}));
    ClickCell(g, 0, 0);
    EXPECT_EQ(Column(g, 0), (S{"a", "b", "c"}));
    ClickCell(g, 0, 0, MouseButton::Right); // always descending
    EXPECT_EQ(Column(g, 0), (S{"c", "b", "a"}));
    Click(g, 2, 10); // within 5 pixels of the edge: no sort
    EXPECT_EQ(g->SortOptions().SortDirection, sdDescending);
    EXPECT_EQ(GetFocus(), g->Handle()); // the grid keeps the focus through the sort
    g->SortOptions().CanSort = false;
    ClickCell(g, 0, 0);
    EXPECT_EQ(g->SortOptions().SortDirection, sdAscending);
    EXPECT_EQ(Column(g, 0), (S{"c", "b", "a"}));
}

TEST_F(SortCellsTest, MultiSelectionByMouse) {
    TSortGrid* g = Focused(8, 330, 220);
    g->SetMultiSelect(true);
    EXPECT_TRUE(g->Options() & goRowSelect);
    int events = 0;
    g->OnRowSelected = [&](TObject*) { ++events; };
    ClickCell(g, 1, 2);
    EXPECT_EQ(g->SelectedRows(), (std::vector<int>{2}));
    WithHeld(VK_CONTROL, [&] { ClickCell(g, 1, 4); });
    EXPECT_EQ(g->SelectedRows(), (std::vector<int>{2, 4}));
    EXPECT_EQ(g->Row(), 4);
    WithHeld(VK_SHIFT, [&] { ClickCell(g, 1, 6); });
    EXPECT_EQ(g->SelectedRows(), (std::vector<int>{4, 5, 6}));
    ClickCell(g, 1, 3);
    EXPECT_EQ(g->SelectedRows(), (std::vector<int>{3}));
    WithHeld(VK_CONTROL, [&] { ClickCell(g, 1, 3); }); // the only one stays
    EXPECT_EQ(g->SelectedRows(), (std::vector<int>{3}));
    EXPECT_GE(events, 5);
    // Selected rows are drawn in the highlight colours (row 3), as is the
    // range of the current row (4); row 5 is not.
    EXPECT_EQ(Pixel(g, 100, 80), ColorToRGB(clHighlight));
    EXPECT_EQ(Pixel(g, 100, 130), kWhite);
}

TEST_F(SortCellsTest, MultiSelectionByKeyboard) {
    TSortGrid* g = Focused(8, 330, 220);
    g->SetMultiSelect(true);
    Key(VK_DOWN);
    EXPECT_EQ(g->SelectedRows(), (std::vector<int>{2}));
    InjectKey(VK_SHIFT, true);
    app->ProcessMessages();
    InjectKeyStroke(VK_DOWN);
    InjectKeyStroke(VK_DOWN);
    InjectKey(VK_SHIFT, false);
    app->ProcessMessages();
    EXPECT_EQ(g->SelectedRows(), (std::vector<int>{2, 3, 4}));
    Key(VK_UP);
    EXPECT_EQ(g->SelectedRows(), (std::vector<int>{3}));
}

TEST_F(SortCellsTest, TypingSearchesTheSortColumnByFirstLetter) {
    TSortGrid* g = Focused(5);
    const S texts = {"apple", "banana", "cherry", "Avocado"};
    for (int r = 0; r < 4; ++r) g->SetCells(0, r + 1, texts[size_t(r)]);
    Type("a");
    EXPECT_EQ(g->Row(), 4); // the next row below starting with A
    Type("a");
    EXPECT_EQ(g->Row(), 1); // from the top again
    Type("c");
    EXPECT_EQ(g->Row(), 3);
    Type("q");
    EXPECT_EQ(g->Row(), 3);
}

TEST_F(SortCellsTest, EditedCellsAreValidated) {
    TSortGrid* g = Focused();
    g->SetOptions(g->Options() | goEditing);
    g->SetCells(0, 1, "old");
    g->SetModified(false);
    std::vector<std::string> seen;
    g->OnCellValidate = [&](TObject*, int, int, const AnsiString& oldValue, AnsiString& newValue, bool& valid) {
        seen.push_back(oldValue + ">" + newValue);
        if (newValue == "bad") valid = false;
        if (newValue == "x") newValue = "X";
    };
    Key(VK_F2);
    Key(VK_BACK);
    Type("bad");
    EXPECT_TRUE(g->Modified());
    Key(VK_RETURN);
    EXPECT_EQ(g->Cells(0, 1), "old");
    EXPECT_FALSE(g->Modified()); // back as it was when the edit started
    Key(VK_RETURN);
    Key(VK_BACK);
    Type("x");
    Key(VK_RETURN);
    EXPECT_EQ(g->Cells(0, 1), "X");
    // Leaving by a click validates too.
    Key(VK_RETURN);
    Key(VK_BACK);
    Type("bad");
    ClickCell(g, 2, 3);
    EXPECT_EQ(g->Cells(0, 1), "X");
    EXPECT_EQ(seen, (S{"old>bad", "old>x", "X>bad"}));
}

TEST_F(SortCellsTest, ControlKeysInsertAndDeleteRowsAndColumns) {
    TSortGrid* g = Focused(3);
    g->SetExtendedKeys(true);
    g->SetCells(0, 1, "one");
    g->SetCells(0, 2, "two");
    WithKey(VK_CONTROL, VK_INSERT); // at row 1
    EXPECT_EQ(g->RowCount(), 4);
    EXPECT_EQ(Column(g, 0), (S{"", "one", "two"}));
    WithKey(VK_CONTROL, VK_DELETE);
    EXPECT_EQ(Column(g, 0), (S{"one", "two"}));
    WithKeys(VK_CONTROL, VK_SHIFT, VK_INSERT);
    EXPECT_EQ(g->ColCount(), 6);
    EXPECT_EQ(g->Cells(1, 1), "one");
    WithKeys(VK_CONTROL, VK_SHIFT, VK_DELETE);
    EXPECT_EQ(g->ColCount(), 5);
    EXPECT_EQ(g->Cells(0, 1), "one");
    g->DeleteRow(1);
    EXPECT_EQ(g->RowCount(), 2);
    WithKey(VK_CONTROL, VK_DELETE); // two rows: nothing
    EXPECT_EQ(g->RowCount(), 2);
    EXPECT_EQ(g->Cells(0, 1), "two");
}

TEST_F(SortCellsTest, TheWheelScrollsOneRowDownAndThreeUp) {
    TSortGrid* g = Focused(30, 330, 130);
    g->SetTopRow(10);
    MoveTo(g, 100, 60);
    InjectMouseWheel(-WHEEL_DELTA);
    app->ProcessMessages();
    EXPECT_EQ(g->TopRow(), 11);
    InjectMouseWheel(WHEEL_DELTA);
    app->ProcessMessages();
    EXPECT_EQ(g->TopRow(), 8);
    EXPECT_EQ(g->Row(), 1); // the current cell stays
}

TEST_F(SortCellsTest, DoubleClickOnATitleBorderSizesTheColumn) {
    TSortGrid* g = Focused(4);
    g->SetCells(1, 1, "abc");
    g->SetCells(1, 2, "abcdefgh");
    const RECT title = g->CellRect(1, 0);
    DoubleClick(g, title.right - 1, 10);
    EXPECT_EQ(g->ColWidths(1), 7 + 56); // "X" and the widest text
    const RECT next = g->CellRect(3, 0);
    DoubleClick(g, next.left + 1, 10); // the left border: the column before
    EXPECT_EQ(g->ColWidths(2), 14); // empty: "xx"
}

TEST_F(SortCellsTest, ARightClickInADataRowShowsTheGridsMenu) {
    TSortGrid* g = Focused();
    auto* menu = TComponent::Create<TPopupMenu>(form);
    menu->Items()->NewItem("&Delete mask");
    g->SetPopupMenu(menu);
    int opened = 0;
    TPopupMenu::OnTrackingStarted = [&](TPopupMenu& m) {
        ++opened;
        m.CloseMenu();
    };
    ClickCell(g, 1, 2, MouseButton::Right);
    ClickCell(g, 1, 0, MouseButton::Right); // the title row sorts instead
    TPopupMenu::OnTrackingStarted = nullptr;
    EXPECT_EQ(opened, 1);
}

} // namespace
} // namespace ax

namespace ax {
namespace {

class SortFormatTest : public test::GridTest {
protected:
    TSortGrid* Shown(int rows = 5) {
        TSortGrid* g = MakeGrid<TSortGrid>(330, 130);
        g->SetRowCount(rows);
        Pump();
        return g;
    }
};

TEST_F(SortFormatTest, AlignmentPlacesTheText) {
    TSortGrid* g = Shown();
    g->SetCells(1, 2, "W"); // row 2: y 50..73, column 1: x 65..128
    g->SetAlignmentHorz(taRightJustify);
    g->SetAlignmentVert(taBottomJustify);
    // Right: 64 - 7 - 2 = 55 from the cell's left; bottom: 24 - 13 - 3 = 8 from its top.
    // The box of "W" then covers x 65 + 55 + 1 .. +5, y 50 + 8 + 2 .. +9.
    EXPECT_EQ(Pixel(g, 65 + 55 + 3, 50 + 8 + 4), test::kBlack);
    EXPECT_EQ(Pixel(g, 65 + 2 + 3, 50 + 2 + 4), test::kWhite);
    g->SetAlignmentHorz(taCenter);
    g->SetAlignmentVert(taMiddle);
    // Centre: (64 - 7) / 2 = 28; middle: (24 - 13) / 2 = 5.
    EXPECT_EQ(Pixel(g, 65 + 28 + 3, 50 + 5 + 4), test::kBlack);
}

TEST_F(SortFormatTest, RowAndColumnSettingsColourCells) {
    TSortGrid* g = Shown();
    g->ColumnSetting(2).InUse = true;
    g->ColumnSetting(2).BrushColor = clAqua;
    g->RowSetting(3).InUse = true;
    g->SetCells(g->ColCount(), 3, "clRed,1,0,0,clYellow"); // beyond the last column
    g->Invalidate();
    EXPECT_EQ(Pixel(g, 130 + 40, 55), ColorToRGB(clAqua));   // column 2, row 2
    EXPECT_EQ(Pixel(g, 130 + 40, 80), ColorToRGB(clYellow)); // the row's setting wins in row 3
    EXPECT_EQ(Pixel(g, 65 + 40, 80), ColorToRGB(clYellow));
    g->SetCells(g->ColCount(), 3, "nonsense,1,0,0,alsonot"); // no colours: nothing breaks
    g->Invalidate();
    EXPECT_EQ(Pixel(g, 65 + 40, 80), test::kWhite);
}

TEST_F(SortFormatTest, HiddenRowsAndUpdatesLeaveDataRowsBlank) {
    TSortGrid* g = Shown();
    g->SetCells(1, 2, "W");
    EXPECT_EQ(Pixel(g, 65 + 5, 55), test::kBlack);
    g->SetHideRows(true);
    EXPECT_EQ(Pixel(g, 65 + 5, 55), test::kWhite);
    EXPECT_EQ(Pixel(g, 65 + 31, 49), test::kWhite); // the grid lines too
    g->SetHideRows(false);
    EXPECT_EQ(Pixel(g, 65 + 5, 55), test::kBlack);
}

TEST_F(SortFormatTest, RaisedBevelsEdgeTheDataCells) {
    TSortGrid* g = Shown();
    g->SetBevelStyle(cbRaised);
    // Row 2 of column 1: upper-left highlight, lower-right shadow.
    EXPECT_EQ(Pixel(g, 65, 60), ColorToRGB(clBtnHighlight));
    EXPECT_EQ(Pixel(g, 128, 60), ColorToRGB(clBtnShadow));
    EXPECT_EQ(Pixel(g, 90, 50), ColorToRGB(clBtnHighlight));
    EXPECT_EQ(Pixel(g, 90, 73), ColorToRGB(clBtnShadow));
}

TEST_F(SortFormatTest, ProportionalScrollBarsKeepTheLastPositionReachable) {
    TSortGrid* g = MakeGrid<TSortGrid>(330, 130, ssVertical);
    g->SetRowCount(101);
    g->SetProportionalScrollBars(true);
    Pump();
    SCROLLINFO info;
    info.fMask = SIF_RANGE | SIF_PAGE;
    ASSERT_TRUE(GetScrollInfo(g->Handle(), SB_VERT, info));
    // Rows 1..4 in view: page = round((4 + 1) * 128 / 101) = 6; the range
    // grows by it so that positions still run 0..127.
    EXPECT_EQ(info.nPage, 6u);
    EXPECT_EQ(info.nMax, 127 + 6 - 1);
    g->Perform(WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 127));
    EXPECT_EQ(g->TopRow(), 97);
    EXPECT_EQ(GetScrollPos(g->Handle(), SB_VERT), 127);
}

TEST_F(SortFormatTest, StoredInAFormDescription) {
    auto* g = TComponent::Create<TSortGrid>(app.get());
    g->SetColCount(3);
    g->SetColWidths(1, 90);
    g->SetRowHeights(2, 40);
    g->SortOptions().CanSort = false;
    g->SortOptions().SecondaryIndex = "2,0"; // a name of 26 characters
    g->SetProportionalScrollBars(true);
    TMemoryStream stream;
    WriteComponentResource(stream, *g);
    stream.SetPosition(0);
    auto* h = TComponent::Create<TSortGrid>(app.get());
    ReadComponentResource(stream, *h);
    EXPECT_EQ(h->ColCount(), 3);
    EXPECT_EQ(h->ColWidths(1), 90);
    EXPECT_EQ(h->ColWidths(0), 64);
    EXPECT_EQ(h->RowHeights(2), 40);
    EXPECT_FALSE(h->SortOptions().CanSort);
    EXPECT_EQ(h->SortOptions().SecondaryIndex, "2,0");
    EXPECT_EQ(h->FixedCols(), 0);
    EXPECT_TRUE(h->ProportionalScrollBars());
    shown.clear();
}

} // namespace
} // namespace ax
