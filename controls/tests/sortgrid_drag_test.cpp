// Dragging the rows of a multi-selection out of the sort grid onto a
// target. Row r >= 1 spans y 25r .. 25r + 23; the drag starts once the
// pointer is more than 10 pixels from the press.
#include "controls/SortGrid.h"
#include "grid_fixture.h"

namespace ax {
namespace {

using namespace test;

class SortGridDragTest : public GridTest {
protected:
    void SetUp() override {
        GridTest::SetUp();
        grid = MakeGrid<TSortGrid>(330, 220);
        grid->SetRowCount(8);
        grid->SetMultiSelect(true);
        target = TComponent::Create<TCustomControl>(form);
        target->SetParent(form);
        target->SetBounds(400, 0, 150, 150);
        target->OnDragOver = [this](TObject*, TObject* source, int, int, TDragState, bool& accept) {
            accept = source == grid;
        };
        target->OnDragDrop = [this](TObject*, TObject*, int, int) { dropped = grid->SelectedRows(); };
        grid->SetFocus();
        Pump();
        ClickCell(grid, 1, 2);
        InjectKey(VK_CONTROL, true);
        ClickCell(grid, 1, 4);
        InjectKey(VK_CONTROL, false);
        app->ProcessMessages();
    }
    static constexpr int kRow2 = 2 * 25 + 12;
    TSortGrid* grid = nullptr;
    TCustomControl* target = nullptr;
    std::vector<int> dropped;
};

TEST_F(SortGridDragTest, TheSelectedRowsGoOnceThePointerIsMoreThanTenPixelsAway) {
    ASSERT_EQ(grid->SelectedRows(), (std::vector<int>{2, 4}));
    Press(grid, 100, kRow2);
    MoveTo(grid, 110, kRow2 + 10); // ten each way: not yet
    EXPECT_FALSE(grid->Dragging());
    MoveTo(grid, 100, kRow2 + 11);
    EXPECT_TRUE(grid->Dragging());
    MoveTo(target, 40, 40);
    Release();
    EXPECT_EQ(dropped, (std::vector<int>{2, 4}));
    EXPECT_EQ(grid->SelectedRows(), (std::vector<int>{2, 4})) << "the drop leaves the selection";
    // The grid is itself again: a plain click selects one row.
    clock.Advance(1000);
    ClickCell(grid, 1, 5);
    EXPECT_EQ(grid->SelectedRows(), (std::vector<int>{5}));
}

TEST_F(SortGridDragTest, AMoveWithinTenPixelsIsStillAClick) {
    Press(grid, 100, kRow2);
    MoveTo(grid, 105, kRow2 + 5);
    Release();
    EXPECT_FALSE(grid->Dragging());
    EXPECT_TRUE(dropped.empty());
    EXPECT_EQ(grid->SelectedRows(), (std::vector<int>{2}));
}

TEST_F(SortGridDragTest, ADragReleasedOutsideAnyTargetDropsNothing) {
    bool ended = false;
    grid->OnEndDrag = [&](TObject*, TObject* t, int, int) { ended = t == nullptr; };
    Press(grid, 100, kRow2);
    MoveTo(grid, 100, kRow2 + 30);
    MoveTo(form, 380, 300); // the form, beside the grid
    Release();
    EXPECT_TRUE(ended);
    EXPECT_TRUE(dropped.empty());
    EXPECT_EQ(grid->SelectedRows(), (std::vector<int>{2, 4}));
}

} // namespace
} // namespace ax
