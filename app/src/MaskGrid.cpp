// The main window's mask grid: included, excluded and stored-uncompressed
// file masks, filled with the built-in defaults.
#include "MainFormParts.h"

#include "controls/SortGrid.h"

namespace ax {
namespace {

constexpr const char* kGridTitles[3] = {"Include", "Exclude", "NoComp"};
// The built-in masks, by column: included, excluded, stored uncompressed.
constexpr const char* kDefaultMasks[3][3] = {
    {"*.*", "", ""},
    {"*.tmp", "*.bak", "~*.*"},
    {"*.zip", "*.jpg", "*.7z"},
};

} // namespace

TSortGrid* BuildMaskGrid(TWinControl* parent, TAlign align, int x, int y, int width, int height) {
    auto* grid = TComponent::Create<TSortGrid>(parent);
    grid->SetParent(parent);
    grid->SetBounds(x, y, width, height);
    if (align != alNone) grid->SetAlign(align);
    grid->SetColCount(3);
    grid->SetRowCount(30);
    grid->SetOptions(grid->Options() | goEditing);
    grid->SortOptions().CanSort = false;
    for (int c = 0; c < 3; ++c) {
        grid->SetCells(c, 0, kGridTitles[c]);
        for (int r = 0; r < 3; ++r) grid->SetCells(c, r + 1, kDefaultMasks[c][r]);
    }
    return grid;
}

} // namespace ax
