// Cell events of the draw grid.
#include "controls/MyDrawGrid.h"

#include "rtl/scopeguard.h"

namespace ax {

void TMyDrawGrid::DrawCell(int col, int row, RECT rect, TGridDrawState state) {
    if (!OnDrawCell) return;
    if (!CanvasMirrored()) {
        OnDrawCell(this, col, row, rect, state);
        return;
    }
    // The handler draws where the window shows the cell, unmirrored.
    const int width = ClientWidth();
    MirrorCanvas(false);
    ScopeGuard again([this] { MirrorCanvas(true); });
    OnDrawCell(this, col, row, RECT{width - rect.right, rect.top, width - rect.left, rect.bottom}, state);
}

bool TMyDrawGrid::SelectCell(int col, int row) {
    bool canSelect = true;
    if (OnSelectCell) OnSelectCell(this, col, row, canSelect);
    return canSelect;
}

AnsiString TMyDrawGrid::GetEditMask(int col, int row) {
    AnsiString value;
    if (OnGetEditMask) OnGetEditMask(this, col, row, value);
    return value;
}

AnsiString TMyDrawGrid::GetEditText(int col, int row) {
    AnsiString value;
    if (OnGetEditText) OnGetEditText(this, col, row, value);
    return value;
}

void TMyDrawGrid::SetEditText(int col, int row, const AnsiString& value) {
    if (OnSetEditText) OnSetEditText(this, col, row, value);
}

void TMyDrawGrid::ColumnMoved(int from, int to) {
    if (OnColumnMoved) OnColumnMoved(this, from, to);
}

void TMyDrawGrid::RowMoved(int from, int to) {
    if (OnRowMoved) OnRowMoved(this, from, to);
}

void TMyDrawGrid::TopLeftChanged() {
    TMyCustomGrid::TopLeftChanged();
    if (OnTopLeftChanged) OnTopLeftChanged(this);
}

} // namespace ax
