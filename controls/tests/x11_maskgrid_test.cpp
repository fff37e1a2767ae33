// The mask grid on a real display under a window manager, used with real X
// input: masks typed in place, a sort by a title click, a column sized by
// its line in the title row, scrolling by the bar's arrow and the wheel.
// mask_grid_x11.png is the grid with its three columns and a few masks.
#include "mask_grid.h"
#include "x11_program.h"

namespace ax {
namespace {

using Row = std::vector<std::string>;

// Key symbols (X11/keysym.h stays out: its macros clash with ours).
constexpr unsigned long kXK_Return = 0xFF0D, kXK_Down = 0xFF54;

class X11MaskGridTest : public test::X11FormTest {
protected:
    TForm* Build(TApplication& app) override {
        TForm* form = nullptr;
        grid = test::BuildMaskGrid(app, form);
        return form;
    }
    // The centre of a cell, on the screen.
    POINT CellPoint(int col, int row) {
        return program->Get<POINT>([=, this] {
            const RECT r = grid->CellRect(col, row);
            return grid->ClientToScreen(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
        });
    }
    std::vector<Row> Rows() {
        return program->Get<std::vector<Row>>([&] {
            std::vector<Row> out;
            for (int r = 1; r < grid->RowCount(); ++r)
                out.push_back({grid->Cells(0, r), grid->Cells(1, r), grid->Cells(2, r)});
            return out;
        });
    }
    // What the rows hold, as written: the other rows are empty.
    static std::vector<Row> Expected(const std::vector<std::pair<int, Row>>& filled) {
        std::vector<Row> out(29, Row{"", "", ""});
        for (const auto& [r, row] : filled) out[size_t(r - 1)] = row;
        return out;
    }
    int TopRow() {
        return program->Get<int>([&] { return grid->TopRow(); });
    }

    TSortGrid* grid = nullptr;
};

TEST_F(X11MaskGridTest, MasksAreTypedInPlace) {
    EXPECT_EQ(server.TextProperty(window, "_NET_WM_NAME"), "Inclusion Grid");
    Click(CellPoint(0, 2));
    EXPECT_TRUE(Until([&] { return grid->Row() == 2 && grid->Col() == 0; })) << "the click did not reach the cell";
    server.Type("*.doc");
    server.KeyStroke(kXK_Return);
    EXPECT_TRUE(Until([&] { return grid->Cells(0, 2) == "*.doc" && !grid->EditorMode(); }))
        << "the cell holds \"" << program->Get<std::string>([&] { return grid->Cells(0, 2); }) << "\"";
    // Return opens the editor on an empty cell; Down leaves it with the text.
    Click(CellPoint(0, 3));
    EXPECT_TRUE(Until([&] { return grid->Row() == 3; }));
    server.KeyStroke(kXK_Return);
    EXPECT_TRUE(Until([&] { return grid->EditorMode(); }));
    server.Type("*.txt");
    server.KeyStroke(kXK_Down);
    EXPECT_TRUE(Until([&] { return grid->Row() == 4; }));
    EXPECT_EQ(Rows(), Expected({{1, {"*.*", "*.tmp", "*.zip"}},
                                {2, {"*.doc", "*.bak", "*.jpg"}},
                                {3, {"*.txt", "~*.*", "*.7z"}}}));
    EXPECT_TRUE(program->Get<bool>([&] { return grid->Modified(); }));
    // The titles stay.
    EXPECT_EQ(program->Get<Row>([&] { return Row{grid->Cells(0, 0), grid->Cells(1, 0), grid->Cells(2, 0)}; }),
              (Row{"Include", "Exclude", "NoComp"}));
    Shot(program->formWindow(), "mask_grid_x11");
}

TEST_F(X11MaskGridTest, ATitleClickSortsByItsColumn) {
    // Not sortable as built: the click changes nothing.
    const std::vector<Row> built = Expected(
        {{1, {"*.*", "*.tmp", "*.zip"}}, {2, {"", "*.bak", "*.jpg"}}, {3, {"", "~*.*", "*.7z"}}});
    Click(CellPoint(1, 0));
    Click(CellPoint(0, 3)); // input is handled in order: this one after the title's
    EXPECT_TRUE(Until([&] { return grid->Row() == 3; }));
    EXPECT_EQ(Rows(), built);

    ASSERT_TRUE(program->Call([&] { grid->SortOptions().CanSort = true; }));
    // A new sort column sorts ascending: empty masks first, whole rows move.
    Click(CellPoint(1, 0));
    const std::vector<Row> ascending =
        Expected({{27, {"", "*.bak", "*.jpg"}}, {28, {"*.*", "*.tmp", "*.zip"}}, {29, {"", "~*.*", "*.7z"}}});
    EXPECT_TRUE(server.WaitFor([&] { return Rows() == ascending; })) << "not sorted ascending by Exclude";
    EXPECT_EQ(program->Get<int>([&] { return grid->SortOptions().SortCol; }), 1);
    // The same title again: descending, masks on top.
    Click(CellPoint(1, 0));
    const std::vector<Row> descending =
        Expected({{1, {"", "~*.*", "*.7z"}}, {2, {"*.*", "*.tmp", "*.zip"}}, {3, {"", "*.bak", "*.jpg"}}});
    EXPECT_TRUE(server.WaitFor([&] { return Rows() == descending; })) << "not sorted descending by Exclude";
    EXPECT_EQ(program->Get<int>([&] { return int(grid->SortOptions().SortDirection); }), int(sdDescending));
    Shot(program->formWindow(), "mask_grid_x11_sorted");
}

TEST_F(X11MaskGridTest, AColumnIsSizedByItsLineInTheTitleRow) {
    ASSERT_TRUE(program->Call([&] { grid->SetOptions(grid->Options() | goColSizing); }));
    EXPECT_EQ(program->Get<int>([&] { return grid->ColWidths(0); }), 64);
    // The line after column 0 lies just right of its cell.
    const POINT line = program->Get<POINT>([&] {
        const RECT r = grid->CellRect(0, 0);
        return grid->ClientToScreen(POINT{r.right, (r.top + r.bottom) / 2});
    });
    Drag(line, {line.x + 30, line.y}, 6);
    EXPECT_TRUE(Until([&] { return grid->ColWidths(0) == 94; }))
        << "width " << program->Get<int>([&] { return grid->ColWidths(0); });
    EXPECT_EQ(program->Get<int>([&] { return grid->ColWidths(1); }), 64);
    // Narrower again, from where the line now is.
    Drag({line.x + 30, line.y}, {line.x - 20, line.y}, 6);
    EXPECT_TRUE(Until([&] { return grid->ColWidths(0) == 44; }))
        << "width " << program->Get<int>([&] { return grid->ColWidths(0); });
    Shot(program->formWindow(), "mask_grid_x11_sized");
}

TEST_F(X11MaskGridTest, TheBarsArrowAndTheWheelScroll) {
    ASSERT_EQ(TopRow(), 1);
    // The vertical bar lies right of the client area; its down arrow is at
    // the bottom, a bar's width high.
    const POINT arrow = program->Get<POINT>([&] {
        const int w = GetSystemMetrics(SM_CXVSCROLL);
        return grid->ClientToScreen(POINT{grid->ClientWidth() + w / 2, grid->ClientHeight() - w / 2});
    });
    // Every row tells itself apart on the screen.
    ASSERT_TRUE(program->Call([&] {
        for (int r = 1; r < 30; ++r) grid->SetCells(0, r, "*." + std::to_string(r));
    }));
    for (int top = 2; top <= 4; ++top) {
        Click(arrow);
        EXPECT_TRUE(Until([&] { return grid->TopRow() == top; })) << "arrow click " << top - 1;
    }
    // The wheel over the grid: one row down, three up.
    const POINT inside = CellPoint(1, 3);
    Click(inside, 5);
    EXPECT_TRUE(Until([&] { return grid->TopRow() == 5; })) << "wheel down: " << TopRow();
    // What the scrolls left on the screen is what a full repaint shows.
    ExpectAsRepainted(grid, "mask_grid_x11_scrolled");
    Click(inside, 4);
    EXPECT_TRUE(Until([&] { return grid->TopRow() == 2; })) << "wheel up: " << TopRow();
    ExpectAsRepainted(grid, "mask_grid_x11_scrolled_back");
    Click(inside, 4);
    EXPECT_TRUE(Until([&] { return grid->TopRow() == 1; })) << "wheel up to the first row: " << TopRow();
    // Scrolling leaves the current cell where it was.
    EXPECT_EQ(program->Get<int>([&] { return grid->Row(); }), 1);
}

} // namespace
} // namespace ax
