// Sparse storage of the string grid: the pointer array and list, the
// string list over them, the grid's cells and its row and column views.
#include <gtest/gtest.h>

#include "controls/MyStringGrid.h"
#include "controls/SortGrid.h"
#include "grid_fixture.h"

namespace ax {
namespace {

struct Item {
    int value;
};

std::unique_ptr<Item> Make(int v) { return std::make_unique<Item>(Item{v}); }

TEST(SparsePointerArray, HighBoundFollowsWritesAndRemovals) {
    TSparsePointerArray<Item> a(SPASmall);
    EXPECT_EQ(a.HighBound(), -1);
    EXPECT_EQ(a.Get(5), nullptr); // reading creates nothing
    a.Put(3, Make(3));
    a.Put(40, Make(40));
    EXPECT_EQ(a.HighBound(), 40);
    EXPECT_EQ(a.Get(40)->value, 40);
    a.Put(40, nullptr);
    EXPECT_EQ(a.HighBound(), 3);
    a.Put(3, nullptr);
    EXPECT_EQ(a.HighBound(), -1);
    EXPECT_EQ(a.Get(3), nullptr);
}

TEST(SparsePointerArray, TheReadCacheNeverShowsAStaleValue) {
    TSparsePointerArray<Item> a(SPALarge);
    a.Put(7, Make(1));
    EXPECT_EQ(a.Get(7)->value, 1);
    a.Put(7, Make(2)); // a write after a cached read
    EXPECT_EQ(a.Get(7)->value, 2);
    a.Put(7, nullptr);
    EXPECT_EQ(a.Get(7), nullptr);
}

TEST(SparsePointerArray, IndicesBeyondSixteenBitsOfSections) {
    // 16 slots a section: index 1,200,000 lies in section 75,000, beyond a
    // directory counted in 16 bits.
    TSparsePointerArray<Item> a(SPASmall);
    a.Put(1200000, Make(9));
    a.Put(1, Make(1));
    EXPECT_EQ(a.HighBound(), 1200000);
    EXPECT_EQ(a.Get(1200000)->value, 9);
    EXPECT_EQ(a.Get(1200000 - 65536 * 16), nullptr);
    std::vector<int> seen;
    a.ForAll([&](int index, Item& item) {
        seen.push_back(index);
        return item.value == 9 ? 1 : 0;
    });
    EXPECT_EQ(seen, (std::vector<int>{1, 1200000}));
}

TEST(SparseList, InsertDeleteMoveAndExchangeShiftTheEntries) {
    TSparseList<Item> l(SPASmall);
    for (int i : {0, 1, 2, 3}) l.Put(i, Make(i));
    l.Insert(1, Make(10)); // 0 10 1 2 3
    ASSERT_EQ(l.Count(), 5);
    EXPECT_EQ(l.Get(1)->value, 10);
    EXPECT_EQ(l.Get(4)->value, 3);
    l.Delete(0); // 10 1 2 3
    EXPECT_EQ(l.Count(), 4);
    EXPECT_EQ(l.Get(0)->value, 10);
    l.Move(0, 3); // 1 2 3 10
    EXPECT_EQ(l.Get(3)->value, 10);
    EXPECT_EQ(l.Get(0)->value, 1);
    l.Exchange(0, 3); // 10 2 3 1
    EXPECT_EQ(l.Get(0)->value, 10);
    EXPECT_EQ(l.Get(3)->value, 1);
    l.Insert(2, nullptr); // a gap: 10 2 - 3 1
    EXPECT_EQ(l.Count(), 5);
    EXPECT_EQ(l.Get(2), nullptr);
    EXPECT_EQ(l.Get(3)->value, 3);
}

TEST(SparseList, ANegativeIndexRaisesTheListError) {
    TSparseList<Item> l(SPASmall);
    try {
        l.Get(-1);
        FAIL() << "no exception";
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (-1)");
    }
    EXPECT_THROW(l.Put(-3, Make(1)), EListError);
}

TEST(StringSparseList, EmptyTextWithoutObjectTakesNoStorage) {
    TStringSparseList l(SPASmall);
    TObject marker;
    l.Put(4, "four");
    EXPECT_EQ(l.Count(), 5);
    l.Put(4, "");
    EXPECT_EQ(l.Count(), 0); // the record went
    l.PutObject(2, &marker);
    EXPECT_EQ(l.Count(), 3);
    l.Put(2, "");
    EXPECT_EQ(l.Count(), 3); // the object keeps the record
    EXPECT_EQ(l.GetObject(2), &marker);
    EXPECT_EQ(l.Get(2), "");
    l.Put(2, "two");
    EXPECT_EQ(l.GetObject(2), &marker); // a text replaces the record, the object stays
    EXPECT_EQ(l.Get(9), "");
    EXPECT_EQ(l.GetObject(9), nullptr);
}

class StringGridCells : public test::GridTest {};

TEST_F(StringGridCells, ReadingCreatesNoStorage) {
    auto* g = TComponent::Create<TMyStringGrid>(app.get());
    EXPECT_EQ(g->Cells(3, 3), "");
    EXPECT_EQ(g->Objects(3, 3), nullptr);
    EXPECT_EQ(g->Cells(-1, 2), "");
    g->SetCells(1, 1, "x");
    EXPECT_EQ(g->Cells(1, 1), "x");
}

TEST_F(StringGridCells, ShrinkingKeepsTextsWhileDeletingRemovesThem) {
    auto* g = TComponent::Create<TMyStringGrid>(app.get());
    g->SetRowCount(6);
    for (int r = 1; r < 6; ++r) g->SetCells(1, r, "r" + std::to_string(r));
    g->SetRowCount(3);
    EXPECT_EQ(g->Cells(1, 4), "r4"); // still stored
    g->SetRowCount(6);
    EXPECT_EQ(g->Cells(1, 5), "r5");
    g->DeleteRow(2);
    EXPECT_EQ(g->RowCount(), 5);
    EXPECT_EQ(g->Cells(1, 2), "r3");
    EXPECT_EQ(g->Cells(1, 4), "r5");
    g->SetRowCount(6);
    EXPECT_EQ(g->Cells(1, 5), ""); // the deleted row does not come back
}

TEST_F(StringGridCells, DeletingAColumnShiftsTheCellsBeyondIt) {
    auto* g = TComponent::Create<TMyStringGrid>(app.get());
    for (int c = 0; c < 5; ++c) g->SetCells(c, 1, "c" + std::to_string(c));
    g->SetCells(5, 1, "beyond"); // stored past the last column
    g->DeleteColumn(1);
    EXPECT_EQ(g->ColCount(), 4);
    EXPECT_EQ(g->Cells(1, 1), "c2");
    EXPECT_EQ(g->Cells(3, 1), "c4");
    EXPECT_EQ(g->Cells(4, 1), "beyond");
}

TEST_F(StringGridCells, ColumnViewAddUsesTheFirstEmptyCell) {
    auto* g = TComponent::Create<TMyStringGrid>(app.get());
    g->SetRowCount(3);
    g->SetCells(2, 1, "a");
    g->SetCells(2, 2, "b");
    TMyStringGridStrings& col = g->Cols(2);
    EXPECT_EQ(&col, &g->Cols(2)); // kept
    EXPECT_EQ(col.Add("new"), 0);
    EXPECT_EQ(g->Cells(2, 0), "new");
    EXPECT_EQ(col.Add("more"), -1); // every cell holds text
    g->SetCells(2, 1, "");
    EXPECT_EQ(col.Add(""), 1);
    EXPECT_EQ(g->Cells(2, 1), " ");
}

TEST_F(StringGridCells, RowViewAssignCopiesOnlyColCountItems) {
    auto* g = TComponent::Create<TMyStringGrid>(app.get());
    TStringList source;
    for (const char* s : {"a", "b", "c", "d", "e", "f", "g"}) source.Add(s);
    g->Rows(1).Assign(source);
    EXPECT_EQ(g->Cells(4, 1), "e");
    EXPECT_EQ(g->Cells(5, 1), "");
    EXPECT_EQ(g->Rows(1).Count(), 5);
    EXPECT_EQ(g->Rows(1).ToStringList().CommaText(), "a,b,c,d,e");
    try {
        g->Rows(1).Insert(0, "x");
        FAIL() << "no exception";
    } catch (const EInvalidGridOperation& e) {
        EXPECT_STREQ(e.what(), "Cannot insert or delete rows from grid");
    }
    EXPECT_THROW(g->Cols(0).Delete(0), EInvalidGridOperation);
}

TEST_F(StringGridCells, MovingARowOrColumnMovesItsCells) {
    auto* g = TComponent::Create<TMyStringGrid>(app.get());
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 5; ++c) g->SetCells(c, r, std::to_string(c) + std::to_string(r));
    std::vector<std::pair<int, int>> moved;
    g->OnRowMoved = [&](TObject*, int from, int to) { moved.push_back({from, to}); };
    g->MoveRow(1, 3);
    EXPECT_EQ(g->Cells(0, 3), "01");
    EXPECT_EQ(g->Cells(0, 1), "02");
    g->MoveColumn(4, 1);
    EXPECT_EQ(g->Cells(1, 0), "40");
    EXPECT_EQ(g->Cells(2, 0), "10");
    EXPECT_EQ(moved, (std::vector<std::pair<int, int>>{{1, 3}}));
}

} // namespace
} // namespace ax
