#pragma once
// The grid engine with its cell events: drawing, selecting, editing text
// and moves are handed to the application's handlers.
#include "controls/MyCustomGrid.h"

namespace ax {

class TMyDrawGrid : public TMyCustomGrid {
public:
    using TMyCustomGrid::TMyCustomGrid;
    AnsiString ClassName() const override { return "TMyDrawGrid"; }

    TMovedEvent OnColumnMoved;
    TMovedEvent OnRowMoved;
    TDrawCellEvent OnDrawCell;
    TGetEditEvent OnGetEditMask;
    TGetEditEvent OnGetEditText;
    TSetEditEvent OnSetEditText;
    TSelectCellEvent OnSelectCell;
    TNotifyEvent OnTopLeftChanged;

protected:
    void DrawCell(int col, int row, RECT rect, TGridDrawState state) override;
    bool SelectCell(int col, int row) override;
    AnsiString GetEditMask(int col, int row) override;
    AnsiString GetEditText(int col, int row) override;
    void SetEditText(int col, int row, const AnsiString& value) override;
    void ColumnMoved(int from, int to) override;
    void RowMoved(int from, int to) override;
    void TopLeftChanged() override;
};

} // namespace ax
