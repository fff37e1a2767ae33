// Layout arithmetic of one grid axis.
#include "controls/GridLayout.h"

#include <algorithm>

namespace ax {

void TGridAxisDrawInfo::CalcVisible(int extent) {
    GridExtent = extent;
    GridBoundary = FullVisBoundary = FixedBoundary;
    LastFullVisibleCell = FirstGridCell;
    for (int i = FirstGridCell; i < GridCellCount; ++i) {
        GridBoundary += Span(i);
        if (GridBoundary > GridExtent + EffectiveLineWidth) {
            GridBoundary = GridExtent;
            break;
        }
        LastFullVisibleCell = i;
        FullVisBoundary = GridBoundary;
    }
}

int TGridAxisDrawInfo::CellAt(int pos) const {
    int cell = 0, end = 0;
    if (pos >= FixedBoundary) {
        cell = FirstGridCell;
        end = FixedBoundary;
    }
    for (; cell < GridCellCount; ++cell) {
        end += Span(cell);
        if (pos < end) return cell;
    }
    return -1;
}

int TGridAxisDrawInfo::LinePos(int cell) const {
    int first = 0, pos = 0;
    if (cell >= FixedCellCount) {
        if (cell < FirstGridCell) return 0;
        first = FirstGridCell;
        pos = FixedBoundary;
    }
    for (int i = first; i < cell; ++i) {
        pos += Span(i);
        if (pos > GridExtent) return 0;
    }
    return pos;
}

bool TGridAxisDrawInfo::RangePos(int first, int last, bool includeLine, int& start, int& end) const {
    if (first >= FixedCellCount && first < FirstGridCell) {
        if (last < FirstGridCell) return false;
        first = FirstGridCell;
    }
    if (last > LastFullVisibleCell) {
        last = LastFullVisibleCell + 1 < GridCellCount ? LastFullVisibleCell + 1 : LastFullVisibleCell;
        if (last > 0 && LinePos(last) == 0) --last;
    }
    start = LinePos(first);
    const int lastPos = LinePos(last);
    if (lastPos == 0 && last != 0) end = start + std::max(GetExtent(first), 0);
    else end = lastPos + std::max(GetExtent(last), 0);
    end = std::min(end, GridExtent);
    if (includeLine) end += EffectiveLineWidth;
    return true;
}

int TGridAxisDrawInfo::MaxFirstCell(int start) const {
    if (start < FixedCellCount) return start;
    int result = start;
    bool anyFitted = false;
    int free = GridExtent + EffectiveLineWidth;
    for (int i = start; i >= FixedCellCount; --i) {
        const int e = GetExtent(i);
        if (e > 0) {
            free -= e + EffectiveLineWidth;
            if (free < FixedBoundary) {
                // Not even the start fitted: the start itself, or where the
                // walk stopped when the start is hidden.
                if (!anyFitted) result = GetExtent(start) > 0 ? start : i;
                break;
            }
            anyFitted = true;
        }
        result = i;
    }
    return result;
}

} // namespace ax
