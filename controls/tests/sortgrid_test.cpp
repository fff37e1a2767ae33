// Sorting and filtering of the sort grid, the comparisons under them and
// the row structure they rely on.
#include <random>

#include "controls/SortGrid.h"
#include "grid_fixture.h"

namespace ax {
namespace {

using Table = std::vector<std::vector<std::string>>;

class SortGridTest : public test::GridTest {
protected:
    void SetUp() override {
        GridTest::SetUp();
        FormatSettings() = TFormatSettings{};
    }
    // A windowless grid holding a title row and the given rows.
    TSortGrid* Grid(const Table& rows) {
        auto* g = TComponent::Create<TSortGrid>(app.get());
        g->SetColCount(int(rows.empty() ? 1 : rows[0].size()));
        g->SetRowCount(int(rows.size()) + 1);
        for (size_t r = 0; r < rows.size(); ++r)
            for (size_t c = 0; c < rows[r].size(); ++c) g->SetCells(int(c), int(r) + 1, rows[r][c]);
        for (int c = 0; c < g->ColCount(); ++c) g->SetCells(c, 0, "T" + std::to_string(c));
        shown.clear();
        return g;
    }
    std::vector<std::string> Column(TSortGrid* g, int col) {
        std::vector<std::string> out;
        for (int r = 1; r < g->RowCount(); ++r) out.push_back(g->Cells(col, r));
        return out;
    }
    std::vector<std::string> Stored(TSortGrid* g, int col, int rows) {
        std::vector<std::string> out;
        for (int r = 1; r <= rows; ++r) out.push_back(g->Cells(col, r));
        return out;
    }
};

using S = std::vector<std::string>;

// ---- Comparisons -----------------------------------------------------------------------------

TEST(SortCompare, NumericComparisonIsAStrictWeakOrder) {
    const S texts = {"", "", "10", "9", "1a", "2", "9x", "-1", "1e3", "1000", "abc", "ABC", "0", "00", " 5",
                     "1.5", "1.50", "nan", "inf", "1,5", "+3"};
    for (const auto& a : texts) {
        EXPECT_EQ(CompareNumeric(a, a), 0) << a;
        for (const auto& b : texts) {
            const int ab = CompareNumeric(a, b), ba = CompareNumeric(b, a);
            EXPECT_EQ(ab < 0, ba > 0) << a << " / " << b;
            for (const auto& c : texts) {
                if (ab < 0 && CompareNumeric(b, c) < 0) {
                    EXPECT_LT(CompareNumeric(a, c), 0) << a << b << c;
                }
                if (ab == 0 && CompareNumeric(b, c) == 0) {
                    EXPECT_EQ(CompareNumeric(a, c), 0) << a << b << c;
                }
            }
        }
    }
    EXPECT_EQ(CompareNumeric("", ""), 0);
    EXPECT_LT(CompareNumeric("", "5"), 0);
    EXPECT_LT(CompareNumeric("9", "10"), 0);
    EXPECT_EQ(CompareNumeric("1.5", "1.50"), 0);
    EXPECT_EQ(CompareNumeric("1000", "1e3"), 0);
}

TEST(SortCompare, NumbersInsideTextCompareByValue) {
    EXPECT_LT(CompareNumericExtended("file9", "file10"), 0);
    EXPECT_LT(CompareNumericExtended("a2b", "a10b"), 0);
    EXPECT_GT(CompareNumericExtended("a2c", "a2b"), 0);
    EXPECT_EQ(CompareNumericExtended("x007", "x7"), 0);
    EXPECT_EQ(CompareNumericExtended("", ""), 0);
    EXPECT_LT(CompareNumericExtended("", "a"), 0);
    EXPECT_GT(CompareNumericExtended("a", ""), 0);
    // Runs longer than any integer type compare without converting.
    EXPECT_LT(CompareNumericExtended("n99999999999999999999998", "n99999999999999999999999"), 0);
    // Three texts that make a cycle when the differing parts are compared
    // as integers where both convert and as text otherwise (2 < 10 < 1a <
    // 2) are in one order here: 1a < 2 < 10.
    EXPECT_LT(CompareNumericExtended("1a", "2"), 0);
    EXPECT_LT(CompareNumericExtended("2", "10"), 0);
    EXPECT_LT(CompareNumericExtended("1a", "10"), 0);
}

TEST(SortCompare, NumbersInsideTextFormAStrictWeakOrder) {
    std::mt19937 rng(18);
    const std::string alphabet = "ab0129 .";
    S texts;
    for (int i = 0; i < 60; ++i) {
        std::string s;
        const int n = int(rng() % 6);
        for (int k = 0; k < n; ++k) s += alphabet[rng() % alphabet.size()];
        texts.push_back(s);
    }
    for (const auto& a : texts)
        for (const auto& b : texts) {
            const int ab = CompareNumericExtended(a, b);
            EXPECT_EQ(ab < 0, CompareNumericExtended(b, a) > 0) << a << " / " << b;
            if (ab >= 0) continue;
            for (const auto& c : texts)
                if (CompareNumericExtended(b, c) < 0) {
                    EXPECT_LT(CompareNumericExtended(a, c), 0) << a << b << c;
                }
        }
}

TEST(SortCompare, Conversions) {
    TFormatSettings fs;
    double v = 0;
    EXPECT_TRUE(TryStrToFloat(" -1.25e2 ", v, fs));
    EXPECT_EQ(v, -125.0);
    EXPECT_FALSE(TryStrToFloat("1,5", v, fs));
    EXPECT_FALSE(TryStrToFloat("", v, fs));
    EXPECT_FALSE(TryStrToFloat("1e999", v, fs));
    fs.DecimalSeparator = ',';
    EXPECT_TRUE(TryStrToFloat("1,5", v, fs));
    EXPECT_EQ(v, 1.5);
    TFormatSettings d;
    EXPECT_TRUE(TryStrToTime("13:30", v, d));
    EXPECT_DOUBLE_EQ(v, 13.5 / 24);
    EXPECT_TRUE(TryStrToTime("1:30 PM", v, d));
    EXPECT_DOUBLE_EQ(v, 13.5 / 24);
    EXPECT_FALSE(TryStrToTime("25:00", v, d));
    EXPECT_TRUE(TryStrToDateTime("31/12/1999", v, d)); // dd/mm/yyyy
    EXPECT_EQ(v, EncodeDate(1999, 12, 31));
    EXPECT_TRUE(TryStrToDateTime("01/02/2000 06:00", v, d));
    EXPECT_DOUBLE_EQ(v, EncodeDate(2000, 2, 1) + 0.25);
    EXPECT_FALSE(TryStrToDateTime("30/02/2000", v, d));
    EXPECT_FALSE(TryStrToDateTime("abc", v, d));
}

// ---- Sorting ---------------------------------------------------------------------------------

TEST_F(SortGridTest, NumericAndNormalStyles) {
    TSortGrid* g = Grid({{"10"}, {"9"}, {"100"}});
    g->SortOptions().SortStyle = ssNumeric;
    g->SortByColumn(0);
    EXPECT_EQ(Column(g, 0), (S{"9", "10", "100"}));
    g->SortOptions().SortStyle = ssNormal;
    g->SortByColumn(0);
    EXPECT_EQ(Column(g, 0), (S{"10", "100", "9"}));
    EXPECT_EQ(g->Cells(0, 0), "T0"); // the title row stays
}

TEST_F(SortGridTest, EqualKeysKeepTheirOrderInBothDirections) {
    TSortGrid* g = Grid({{"x", "1"}, {"y", "2"}, {"X", "3"}, {"y", "4"}, {"x", "5"}});
    g->SortByColumn(0); // case-insensitive: x, X and x are equal
    EXPECT_EQ(Column(g, 1), (S{"1", "3", "5", "2", "4"}));
    g->SortOptions().SortDirection = sdDescending;
    g->SortByColumn(0);
    EXPECT_EQ(Column(g, 1), (S{"2", "4", "1", "3", "5"}));
    g->SortOptions().SortCaseSensitive = true;
    g->SortOptions().SortDirection = sdAscending;
    g->SortByColumn(0);
    EXPECT_EQ(Column(g, 0), (S{"X", "x", "x", "y", "y"}));
}

TEST_F(SortGridTest, SecondaryKeysOrderTiesOfThePrimary) {
    TSortGrid* g = Grid({{"b", "2", "p"}, {"a", "9", "q"}, {"b", "1", "r"}, {"a", "9", "s"}, {"b", "1", "t"}});
    g->SortOptions().SecondaryIndex = "1,0";
    g->SortOptions().SortStyle = ssNumeric;
    g->SortByColumn(0);
    // Primary column 0 (numeric: both kinds are text, byte order), then
    // column 1; the rest keep their row order.
    EXPECT_EQ(Column(g, 2), (S{"q", "s", "r", "t", "p"}));
    g->SortOptions().SortDirection = sdDescending;
    g->SortOptions().SecondaryIndex = "1";
    g->SortByColumn(0);
    EXPECT_EQ(Column(g, 2), (S{"p", "r", "t", "q", "s"}));
}

TEST_F(SortGridTest, AutomaticStyleDetectionStays) {
    TSortGrid* g = Grid({{"10"}, {""}, {"9"}});
    g->SortOptions().SortStyle = ssAutomatic;
    g->SortByColumn(0);
    EXPECT_EQ(g->SortOptions().SortStyle, ssNormal);
    EXPECT_EQ(Column(g, 0), (S{"", "10", "9"}));
    g->SetCells(0, 1, "1");
    g->SortByColumn(0);
    EXPECT_EQ(g->SortOptions().SortStyle, ssNormal); // stays until set again
    EXPECT_EQ(Column(g, 0), (S{"1", "10", "9"}));
    g->SortOptions().SortStyle = ssAutomatic;
    g->SortByColumn(0);
    EXPECT_EQ(g->SortOptions().SortStyle, ssNumeric);
    EXPECT_EQ(Column(g, 0), (S{"1", "9", "10"}));
}

TEST_F(SortGridTest, DetectionOfEachKind) {
    EXPECT_EQ(Grid({{"1.5"}, {"-2"}})->DetectSortStyle(0), ssNumeric);
    EXPECT_EQ(Grid({{"31/12/1999"}, {"01/01/2000 10:00"}})->DetectSortStyle(0), ssDateTime);
    EXPECT_EQ(Grid({{"10:00"}, {"9:30 PM"}})->DetectSortStyle(0), ssDateTime); // a time alone is a date-time too
    EXPECT_EQ(Grid({{"a"}, {"1"}})->DetectSortStyle(0), ssNormal);
    TSortGrid* empty = TComponent::Create<TSortGrid>(app.get());
    empty->SetRowCount(1);
    shown.clear();
    EXPECT_EQ(empty->DetectSortStyle(0), ssNumeric); // no data rows
}

TEST_F(SortGridTest, EachKeyOfOneSortIsDetectedOnItsOwn) {
    // Numbers as the primary key, text as the secondary one.
    TSortGrid* g = Grid({{"10", "b"}, {"9", "a"}, {"100", "c"}, {"9", "b"}});
    g->SortOptions().SortStyle = ssAutomatic;
    g->SortOptions().SecondaryIndex = "1";
    g->SortByColumn(0);
    EXPECT_EQ(Column(g, 0), (S{"9", "9", "10", "100"}));
    EXPECT_EQ(Column(g, 1), (S{"a", "b", "b", "c"}));
    EXPECT_EQ(g->SortOptions().SortStyle, ssNumeric); // the primary key's
}

TEST_F(SortGridTest, DateTimeTimeAndExtendedStyles) {
    TSortGrid* g = Grid({{"02/01/2000", "10:00", "img10"}, {"31/12/1999", "9:30", "img9"}, {"01/01/2000", "", "img100"}});
    g->SortOptions().SortStyle = ssDateTime;
    g->SortByColumn(0);
    EXPECT_EQ(Column(g, 0), (S{"31/12/1999", "01/01/2000", "02/01/2000"}));
    g->SortOptions().SortStyle = ssTime;
    g->SortByColumn(1);
    EXPECT_EQ(Column(g, 1), (S{"", "9:30", "10:00"}));
    g->SortOptions().SortStyle = ssNumericExtended;
    g->SortByColumn(2);
    EXPECT_EQ(Column(g, 2), (S{"img9", "img10", "img100"}));
}

TEST_F(SortGridTest, CustomRoutinesAreUsedOnceAndMayBeInconsistent) {
    TSortGrid* g = Grid({{"bb"}, {"a"}, {"ccc"}});
    g->SortOptions().SortStyle = ssCustom;
    g->SortOptions().SortCompare = [](const AnsiString& a, const AnsiString& b) {
        return int(b.size()) - int(a.size());
    };
    g->SortByColumn(0);
    EXPECT_EQ(Column(g, 0), (S{"ccc", "bb", "a"}));
    EXPECT_FALSE(g->SortOptions().SortCompare); // cleared after the sort
    g->SortByColumn(0); // no routine: byte order
    EXPECT_EQ(Column(g, 0), (S{"a", "bb", "ccc"}));

    // A routine that answers at random still leaves every row in place once.
    Table many;
    for (int i = 0; i < 500; ++i) many.push_back({std::to_string(i)});
    TSortGrid* big = Grid(many);
    std::mt19937 rng(7);
    big->SortOptions().SortStyle = ssCustom;
    big->SortOptions().SortCompare = [&rng](const AnsiString&, const AnsiString&) { return int(rng() % 3) - 1; };
    big->SortByColumn(0);
    S values = Column(big, 0);
    std::sort(values.begin(), values.end());
    S expected;
    for (int i = 0; i < 500; ++i) expected.push_back(std::to_string(i));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(values, expected);
}

TEST_F(SortGridTest, CanSortOffLeavesTheRows) {
    TSortGrid* g = Grid({{"b"}, {"a"}});
    g->SortOptions().CanSort = false;
    g->SortByColumn(0);
    EXPECT_EQ(Column(g, 0), (S{"b", "a"}));
}

TEST_F(SortGridTest, SortEventsAndTheirColumn) {
    TSortGrid* g = Grid({{"b", "1"}, {"a", "2"}});
    std::vector<int> ends;
    g->OnSortBegin = [](TObject*, int& col) { col = 1; }; // the handler moves the sort
    g->OnSortEnd = [&](TObject*, int col) { ends.push_back(col); };
    g->SortOptions().SortDirection = sdDescending;
    g->SortByColumn(0);
    EXPECT_EQ(Column(g, 1), (S{"2", "1"}));
    EXPECT_EQ(ends, (std::vector<int>{1}));
    EXPECT_FALSE(g->NowUpdating());
}

TEST_F(SortGridTest, SelectedRowsFollowTheSort) {
    TSortGrid* g = Grid({{"c"}, {"a"}, {"b"}});
    g->SelectGridCell(0, 1, false); // "c"
    g->SortByColumn(0);
    EXPECT_EQ(g->Row(), 3);
    EXPECT_EQ(g->SelectedRows(), (std::vector<int>{3}));
}

TEST_F(SortGridTest, ABracketInsideAnUpdateKeepsUpdateOnSizeChange) {
    TSortGrid* g = Grid({{"b"}, {"a"}});
    g->SortOptions().UpdateOnSizeChange = true;
    int ended = 0;
    g->OnEndUpdate = [&](TObject*) { ++ended; };
    g->BeginUpdate();
    g->BeginUpdate();
    EXPECT_FALSE(g->SortOptions().UpdateOnSizeChange);
    g->EndUpdate(); // ends both
    EXPECT_FALSE(g->NowUpdating());
    EXPECT_TRUE(g->SortOptions().UpdateOnSizeChange);
    EXPECT_EQ(ended, 1);
    g->EndUpdate();
    EXPECT_TRUE(g->SortOptions().UpdateOnSizeChange);
    // And a size change now sorts again.
    g->SetRowCount(4);
    EXPECT_EQ(Column(g, 0), (S{"", "a", "b"}));
}

// ---- Sorting cannot be re-entered --------------------------------------------------------------

TEST_F(SortGridTest, InputArrivingWhileSortingChangesNothing) {
    auto* g = MakeGrid<TSortGrid>(300, 200, ssNone, bsSingle);
    g->SetColCount(2);
    g->SetRowCount(4);
    const Table rows = {{"c", "3"}, {"a", "1"}, {"b", "2"}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 2; ++c) g->SetCells(c, r + 1, rows[size_t(r)][size_t(c)]);
    g->SetOptions(g->Options() | goEditing);
    g->SetFocus();
    Pump();
    int begins = 0;
    g->OnSortBegin = [&](TObject*, int&) {
        ++begins;
        // Served by the sort's own message pumping: a title click, typing
        // and a direct call all arrive while the rows move.
        const RECT title = g->CellRect(1, 0);
        const LPARAM at = MAKELPARAM(title.left + 20, 10);
        PostMessage(g->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessage(g->Handle(), WM_LBUTTONUP, 0, at);
        PostMessage(g->Handle(), WM_CHAR, 'z', 0);
        g->SortByColumn(1);
    };
    g->SortByColumn(0);
    Pump();
    EXPECT_EQ(begins, 1);
    EXPECT_EQ(Column(g, 0), (S{"a", "b", "c"}));
    EXPECT_EQ(Column(g, 1), (S{"1", "2", "3"}));
    EXPECT_FALSE(g->EditorMode());
    EXPECT_TRUE(g->Enabled());
}

// ---- Filtering -------------------------------------------------------------------------------

std::function<void(const TStringList&, bool&)> Accepting(std::vector<std::string> keep) {
    return [keep](const TStringList& row, bool& accept) {
        accept = std::find(keep.begin(), keep.end(), row[0]) != keep.end();
    };
}

TEST_F(SortGridTest, FilterShowsAcceptedRowsAndBringsAllBack) {
    TSortGrid* g = Grid({{"e"}, {"d"}, {"c"}, {"b"}, {"a"}});
    g->OnSetFilter = Accepting({"d", "b"}); // rows 2 and 4
    g->SetFiltered(true);
    EXPECT_EQ(g->RowCount(), 3);
    EXPECT_EQ(Column(g, 0), (S{"b", "d"})); // sorted by SortCol
    EXPECT_EQ(g->HiddenRowCount(), 3);
    g->SetFiltered(false);
    EXPECT_EQ(g->RowCount(), 6);
    EXPECT_EQ(Column(g, 0), (S{"a", "b", "c", "d", "e"}));
}

TEST_F(SortGridTest, AFilterThatAcceptsNothingShowsOneEmptyRow) {
    TSortGrid* g = Grid({{"b"}, {"a"}, {"c"}});
    g->OnSetFilter = Accepting({});
    g->SetFiltered(true);
    EXPECT_EQ(g->RowCount(), 2);
    EXPECT_EQ(Column(g, 0), (S{""}));
    g->SetFiltered(false);
    EXPECT_EQ(g->RowCount(), 4);
    EXPECT_EQ(Column(g, 0), (S{"a", "b", "c"}));
}

TEST_F(SortGridTest, FilteringTwiceKeepsTheRowsHiddenTheFirstTime) {
    TSortGrid* g = Grid({{"e"}, {"d"}, {"c"}, {"b"}, {"a"}});
    g->OnSetFilter = Accepting({"d", "b"});
    g->SetFiltered(true);
    g->SetFiltered(true);
    EXPECT_EQ(Column(g, 0), (S{"b", "d"}));
    g->OnSetFilter = Accepting({"a"}); // judged again over every row
    g->SetFiltered(true);
    EXPECT_EQ(Column(g, 0), (S{"a"}));
    g->SetFiltered(false);
    EXPECT_EQ(Column(g, 0), (S{"a", "b", "c", "d", "e"}));
}

TEST_F(SortGridTest, FilteringKeepsUpdateOnSizeChange) {
    // The filter sorts inside its own update; both brackets used to end
    // with the cleared setting saved.
    TSortGrid* g = Grid({{"e"}, {"d"}, {"c"}, {"b"}, {"a"}});
    g->SortOptions().UpdateOnSizeChange = true;
    g->OnSetFilter = Accepting({"d", "b"});
    g->SetFiltered(true);
    EXPECT_EQ(Column(g, 0), (S{"b", "d"}));
    EXPECT_TRUE(g->SortOptions().UpdateOnSizeChange);
    g->SetFiltered(false);
    EXPECT_TRUE(g->SortOptions().UpdateOnSizeChange);
    EXPECT_FALSE(g->NowUpdating());
    // A size change still sorts: the new empty row goes first.
    g->SetCells(0, 1, "z");
    g->SetRowCount(7);
    EXPECT_EQ(Column(g, 0), (S{"", "b", "c", "d", "e", "z"}));
}

TEST_F(SortGridTest, InsertingAndDeletingWhileFilteredLosesNoHiddenRow) {
    TSortGrid* g = Grid({{"e"}, {"d"}, {"c"}, {"b"}, {"a"}});
    g->OnSetFilter = Accepting({"d", "b"});
    g->SetFiltered(true);
    g->InsertRow(1);
    EXPECT_EQ(g->RowCount(), 4);
    EXPECT_EQ(Column(g, 0), (S{"", "b", "d"}));
    g->SetCells(0, 1, "new");
    g->DeleteRow(3); // "d"
    EXPECT_EQ(Column(g, 0), (S{"new", "b"}));
    g->SetFiltered(false);
    EXPECT_EQ(Column(g, 0), (S{"a", "b", "c", "e", "new"}));
}

TEST_F(SortGridTest, SwitchingTheFilterOffNeverDeletesARealRow) {
    // An accepted empty row sorts first; it is a row of the user's.
    TSortGrid* g = Grid({{"b"}, {""}, {"a"}});
    g->OnSetFilter = Accepting({"b", ""});
    g->SetFiltered(true);
    EXPECT_EQ(Column(g, 0), (S{"", "b"}));
    g->SetFiltered(false);
    EXPECT_EQ(Column(g, 0), (S{"", "a", "b"}));
    // The shown empty row of a filter that accepted nothing becomes a
    // real row once written into.
    TSortGrid* h = Grid({{"b"}, {"a"}});
    h->OnSetFilter = Accepting({});
    h->SetFiltered(true);
    h->SetCells(0, 1, "typed");
    h->SetFiltered(false);
    EXPECT_EQ(Column(h, 0), (S{"a", "b", "typed"}));
}

TEST_F(SortGridTest, FilteringLeavesTheModifiedFlagAsItWas) {
    TSortGrid* g = Grid({{"b"}, {"a"}});
    g->SetModified(false);
    g->OnSetFilter = Accepting({"a"});
    g->SetFiltered(true);
    EXPECT_FALSE(g->Modified());
    g->SetFiltered(false);
    EXPECT_FALSE(g->Modified());
}

// ---- Rows and columns ------------------------------------------------------------------------

TEST_F(SortGridTest, InsertRowGoesBeforeTheRowOrAfterTheLastOne) {
    TSortGrid* g = Grid({{"r1"}, {"r2"}, {"r3"}, {"r4"}});
    std::vector<int> inserted;
    g->OnRowInsert = [&](TObject*, int row) { inserted.push_back(row); };
    g->InsertRow(3); // before the second-to-last data row
    EXPECT_EQ(Column(g, 0), (S{"r1", "r2", "", "r3", "r4"}));
    g->InsertRow(5); // the last row: after it
    EXPECT_EQ(Column(g, 0), (S{"r1", "r2", "", "r3", "r4", ""}));
    EXPECT_EQ(inserted, (std::vector<int>{3, 6}));
    EXPECT_EQ(g->Row(), 6);
    EXPECT_EQ(g->SelectedRows(), (std::vector<int>{6}));
}

TEST_F(SortGridTest, DeleteRowOnTwoRowsOnlyClearsRowOne) {
    TSortGrid* g = Grid({{"only"}});
    std::vector<int> deleted;
    g->OnRowDelete = [&](TObject*, int row) { deleted.push_back(row); };
    g->DeleteRow(1);
    EXPECT_EQ(g->RowCount(), 2);
    EXPECT_EQ(g->Cells(0, 1), "");
    EXPECT_EQ(deleted, (std::vector<int>{1}));
    EXPECT_TRUE(g->Modified());
}

TEST_F(SortGridTest, InsertAndDeleteColumnsKeepRowSettingsBeyondTheLast) {
    TSortGrid* g = Grid({{"a", "b"}});
    g->SetCells(2, 1, "clRed,1,0,0,clWhite"); // the row's setting
    g->InsertColumn(0);
    EXPECT_EQ(g->ColCount(), 3);
    EXPECT_EQ(g->Cells(1, 1), "a");
    EXPECT_EQ(g->Cells(3, 1), "clRed,1,0,0,clWhite");
    g->DeleteColumn(0);
    EXPECT_EQ(g->Cells(0, 1), "a");
    EXPECT_EQ(g->Cells(2, 1), "clRed,1,0,0,clWhite");
}

TEST_F(SortGridTest, SwapRowsAndColumnMovesFollowedByTheSortColumn) {
    TSortGrid* g = Grid({{"1", "a"}, {"2", "b"}, {"3", "c"}});
    g->SwapRows(1, 3);
    EXPECT_EQ(Column(g, 0), (S{"3", "2", "1"}));
    g->SwapRows(3, 1);
    EXPECT_EQ(Column(g, 0), (S{"1", "2", "3"}));
    g->SortOptions().SortCol = 1;
    g->MoveColumn(1, 0);
    EXPECT_EQ(g->SortOptions().SortCol, 0);
    g->MoveColumn(1, 0);
    EXPECT_EQ(g->SortOptions().SortCol, 1); // shifted up by the column put before it
}

TEST_F(SortGridTest, TooFewRowsIsReported) {
    TSortGrid* g = Grid({{"a"}});
    g->SetRowCount(1);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "Rowsize too small");
    shown.clear();
}

} // namespace
} // namespace ax
