#pragma once
// The drawing layout of one grid axis: where the fixed cells end, which
// scrolling cells are fully visible and where the drawn cells end. Computed
// from the first scrolling cell shown, so every query costs what the visible
// part costs, whatever the number of rows.
#include <functional>

namespace ax {

struct TGridAxisDrawInfo {
    int EffectiveLineWidth = 0;
    int FixedBoundary = 0;
    int GridBoundary = 0;
    int GridExtent = 0;
    int LastFullVisibleCell = 0;
    int FullVisBoundary = 0;
    int FixedCellCount = 0;
    int FirstGridCell = 0;
    int GridCellCount = 0;
    // Width of a column or height of a row; -1 for a hidden one.
    std::function<int(int)> GetExtent;

    // What a cell takes on the axis, its trailing line included; a hidden
    // cell takes nothing.
    int Span(int cell) const {
        const int e = GetExtent(cell);
        return e < 0 ? 0 : e + EffectiveLineWidth;
    }
    // Lays out the visible part for an extent (client width or height).
    void CalcVisible(int extent);
    // The cell under a position on this axis, -1 for none.
    int CellAt(int pos) const;
    // The start of a cell: 0 for cell 0 and for cells without a position
    // (scrolled out, or beyond the grid extent).
    int LinePos(int cell) const;
    // The start and end pixels of the cells first..last; false when the
    // range lies wholly among the scrolled-out cells.
    bool RangePos(int first, int last, bool includeLine, int& start, int& end) const;
    // The earliest first scrolling cell that still shows `start` (the
    // scroll limit when start is the last cell).
    int MaxFirstCell(int start) const;
};

struct TGridDrawInfo {
    TGridAxisDrawInfo Horz, Vert;
};

} // namespace ax
