// The main window's mask grid: three columns titled Include, Exclude and
// NoComp, a title row and mask rows 1 to 29, the built-in masks, editable
// in place, not sorted by a title click. (Its own source: the grid's
// headers and the explorer's do not meet in one.)
#include "app/MainForm.h"
#include "controls/SortGrid.h"
#include "platform/window/display.h"
#include "rtl/clock.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using namespace ax;
using Row = std::vector<std::string>;

// A headless display, a still clock and the test font for each test.
class MainformMaskGrid : public testing::Test {
protected:
    void SetUp() override {
        SetClock(&clock);
        SelectDisplay(DisplayKind::Headless);
        SetTestFont(true);
    }
    void TearDown() override { SetClock(nullptr); }
    ManualClock clock;
};

TEST_F(MainformMaskGrid, ThreeColumnsWithTheBuiltInMasks) {
    {
        TApplication app(nullptr);
        auto* w = app.CreateForm<TMainform>();
        TSortGrid* g = w->MaskGrid;
        ASSERT_NE(g, nullptr);
        EXPECT_EQ(w->GridLabel->Caption(), "Inclusion Grid");
        EXPECT_EQ(g->ColCount(), 3);
        EXPECT_EQ(g->RowCount(), 30);
        EXPECT_EQ(g->FixedRows(), 1);
        std::vector<Row> rows;
        for (int r = 0; r < 5; ++r) rows.push_back({g->Cells(0, r), g->Cells(1, r), g->Cells(2, r)});
        EXPECT_EQ(rows, (std::vector<Row>{{"Include", "Exclude", "NoComp"},
                                          {"*.*", "*.tmp", "*.zip"},
                                          {"", "*.bak", "*.jpg"},
                                          {"", "~*.*", "*.7z"},
                                          {"", "", ""}}));
        EXPECT_TRUE(g->Options() & goEditing);
        EXPECT_FALSE(g->SortOptions().CanSort);
    }
}

// The grid spans the window's width below its title, and follows it.
TEST_F(MainformMaskGrid, TakesTheWindowsWidth) {
    {
        TApplication app(nullptr);
        auto* w = app.CreateForm<TMainform>();
        w->Show();
        app.ProcessMessages();
        TSortGrid* g = w->MaskGrid;
        EXPECT_EQ(w->ClientWidth(), 760);
        EXPECT_EQ(g->Left(), 0);
        EXPECT_EQ(g->Width(), 760);
        EXPECT_EQ(g->Top(), 22);
        EXPECT_EQ(g->Height(), 128);
        w->SetClientSize(900, 520);
        app.ProcessMessages();
        EXPECT_EQ(g->Width(), 900);
        EXPECT_EQ(g->Height(), 128);
    }
}

} // namespace
